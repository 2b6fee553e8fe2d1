#include "charts/chartview.h"

#include "charts/timezoom.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>

#include <cmath>
#include <optional>

QT_CHARTS_USE_NAMESPACE

bool viewHeld = false;

ChartView::ChartView(QWidget *parent) : QChartView(parent)
{
    setDragMode(QGraphicsView::RubberBandDrag);
    // The read-out follows the mouse without a button pressed.
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    // Its charts fill it edge to edge with their own background (see
    // LiveChart::styleChart), so the window's pictures beneath it are never
    // painted under the chart.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // A live chart changes all over its plot every second: repainted within
    // one plain rectangle around what changed, which the raster engine fills
    // many times faster than the many small rectangles of each change. The
    // labels of the value axes beside the plot stay as they were.
    setViewportUpdateMode(QGraphicsView::BoundingRectViewportUpdate);
}

ChartView::ChartView(QChart *chart, QWidget *parent) : ChartView(parent)
{
    // The base view made an empty chart of its own, which setChart() hands
    // back rather than deleting.
    QChart *empty = this->chart();
    setChart(chart);
    delete empty;
    // The scene shows the items it was given (the legend among them) in a
    // call it queues for itself; shown only once the view is on the screen,
    // the legend would have the chart laid out once more after the view's
    // first layout. Shown now, the view's first layout is the last.
    QCoreApplication::sendPostedEvents(scene(), QEvent::MetaCall);
}

void ChartView::showChart(QChart *chart, HoverText text)
{
    m_hoverText = nullptr;
    setChart(chart);
    if (m_hoverItem) {
        m_hoverItem->setParentItem(chart);
        m_hoverItem->setText(QString());
        m_hoverLine->setParentItem(chart);
        m_hoverLine->setVisible(false);
    }
    m_hoverText = std::move(text);
}

void ChartView::paintEvent(QPaintEvent *event)
{
    if (QChart *shown = chart())
        keepStillItems(shown);
    QChartView::paintEvent(event);
}

void ChartView::keepStillItems(QGraphicsItem *item)
{
    // Qt Charts draws the grid lines, the axes and their ticks as line items
    // of its own, and makes them anew when an axis's labels change; the
    // legend's box is stroked with rounded corners. Each is kept as a
    // picture and put back as it is on a repaint until it changes, instead
    // of being stroked again under curves that move every second. An item
    // of no size has no picture: one cannot be painted into. (The axes'
    // labels are not kept so: Qt loses some of them from their pictures.)
    std::optional<bool> keep;
    if (item->type() == QGraphicsLineItem::Type) {
        // Empty as boundingRect() would find it, worked out from the ends and
        // the pen instead of by stroking the line's outline as it does.
        const auto *lineItem = static_cast<QGraphicsLineItem *>(item);
        const QLineF line = lineItem->line();
        keep = line.p1() != line.p2() && (lineItem->pen().widthF() != 0.0 || (line.dx() != 0.0 && line.dy() != 0.0));
    } else if (item == chart()->legend()) {
        keep = !item->boundingRect().isEmpty();
    }
    if (keep) {
        const QGraphicsItem::CacheMode mode = *keep ? QGraphicsItem::DeviceCoordinateCache : QGraphicsItem::NoCache;
        if (item->cacheMode() != mode)
            item->setCacheMode(mode);
    }
    const QList<QGraphicsItem *> children = item->childItems();
    for (QGraphicsItem *child : children)
        keepStillItems(child);
}

void ChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_lastPos = event->localPos().toPoint();
        m_leftPressed = true;
    } else if (event->button() == Qt::RightButton) {
        viewHeld = false;
    }
}

void ChartView::mouseReleaseEvent(QMouseEvent *)
{
    m_leftPressed = false;
}

void ChartView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->localPos().toPoint();
    if (!m_hoverItem) {
        m_hoverItem = new QGraphicsSimpleTextItem(chart());
        m_hoverItem->setZValue(5);
        m_hoverItem->setPos(100, 60);
        m_hoverItem->setVisible(true);
        m_hoverLine = new QGraphicsLineItem(chart());
        m_hoverLine->setZValue(5);
        m_hoverLine->setPen(QPen(QColor(128, 128, 128), 1));
        m_hoverLine->setVisible(false);
    }
    m_cursorPos = pos;
    m_cursorInside = true;
    if (m_leftPressed) {
        const int dx = pos.x() - m_lastPos.x();
        m_lastPos = pos;
        const auto *axis = qobject_cast<QDateTimeAxis *>(chart()->axes(Qt::Horizontal).value(0));
        const double width = chart()->plotArea().width();
        if (m_timeRange && axis && width > 0) {
            // As the chart scrolls: the plot's width is the axis' span.
            const qint64 min = axis->min().toMSecsSinceEpoch(), max = axis->max().toMSecsSinceEpoch();
            const qint64 shift = qint64(std::llround(dx * double(max - min) / width));
            m_timeRange(min - shift, max - shift);
        } else {
            chart()->scroll(-dx, 0);
        }
        viewHeld = true;
    }
    showHover(pos);
}

void ChartView::refreshHover()
{
    if (m_hoverItem && m_cursorInside)
        showHover(m_cursorPos);
}

void ChartView::leaveEvent(QEvent *event)
{
    m_cursorInside = false;
    if (m_hoverItem) {
        m_hoverItem->setText(QString());
        m_hoverLine->setVisible(false);
    }
    QChartView::leaveEvent(event);
}

void ChartView::showHover(const QPoint &pos)
{
    const auto *axis = qobject_cast<QDateTimeAxis *>(chart()->axes(Qt::Horizontal).value(0));
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(pos));
    QString text;
    if (axis && m_hoverText && plot.width() > 0 && plot.contains(at)) {
        const qint64 min = axis->min().toMSecsSinceEpoch();
        const qint64 max = axis->max().toMSecsSinceEpoch();
        const qint64 t = min + qint64((at.x() - plot.left()) / plot.width() * double(max - min));
        text = m_hoverText(t);
    }
    if (axis)
        m_hoverItem->setBrush(axis->labelsBrush());
    m_hoverItem->setText(text);
    m_hoverLine->setVisible(!text.isEmpty());
    if (!text.isEmpty())
        m_hoverLine->setLine(at.x(), plot.top(), at.x(), plot.bottom());
}

void ChartView::wheelEvent(QWheelEvent *event)
{
    viewHeld = true;
    // Ctrl held, whether or not the chart has the keyboard focus.
    if (m_ctrlPressed || (event->modifiers() & Qt::ControlModifier))
        return;
    auto *axis = qobject_cast<QDateTimeAxis *>(chart()->axes(Qt::Horizontal).value(0));
    const double width = chart()->geometry().width();
    if (!axis || width <= 0)
        return;
    const double r = event->position().toPoint().x() / width;
    const TimeZoom::Range range = TimeZoom::wheel(axis->min().toSecsSinceEpoch(), axis->max().toSecsSinceEpoch(),
                                                  r, event->angleDelta().y() > 0);
    if (m_timeRange)
        m_timeRange(range.min * 1000, range.max * 1000);
    else
        axis->setRange(QDateTime::fromSecsSinceEpoch(range.min), QDateTime::fromSecsSinceEpoch(range.max));
}

void ChartView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        m_ctrlPressed = true;
}

void ChartView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        m_ctrlPressed = false;
}
