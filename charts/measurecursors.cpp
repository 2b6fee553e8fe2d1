#include "charts/measurecursors.h"

#include "charts/chartview.h"

#include <QDateTime>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QMouseEvent>
#include <QPen>
#include <QtCharts/QDateTimeAxis>

QT_CHARTS_USE_NAMESPACE

namespace {

// How near a line (in pixels) a press takes that line.
constexpr double kGrab = 6.0;

QDateTimeAxis *timeAxis(QChart *chart)
{
    return chart ? qobject_cast<QDateTimeAxis *>(chart->axes(Qt::Horizontal).value(0)) : nullptr;
}

} // namespace

MeasureCursors::MeasureCursors(ChartView *view)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_chart(view->chart())
{
    QChart *chart = view->chart();
    const QColor colours[2] = {QColor(255, 64, 64), QColor(64, 160, 255)};
    for (int c = 0; c < 2; ++c) {
        // Items of the chart: it deletes them.
        m_line[c] = new QGraphicsLineItem(chart);
        m_line[c]->setZValue(6);
        m_line[c]->setPen(QPen(colours[c], 1.5, Qt::DashLine));
        m_line[c]->setVisible(false);
        m_label[c] = new QGraphicsSimpleTextItem(chart);
        m_label[c]->setZValue(6);
        m_label[c]->setBrush(colours[c]);
        m_label[c]->setVisible(false);
    }
    view->viewport()->installEventFilter(this);
    follow(chart);
}

void MeasureCursors::follow(QChart *chart)
{
    if (QDateTimeAxis *axis = timeAxis(chart))
        connect(axis, &QDateTimeAxis::rangeChanged, this, &MeasureCursors::place);
    connect(chart, &QChart::plotAreaChanged, this, &MeasureCursors::place);
}

void MeasureCursors::setChart(QChart *chart)
{
    if (!chart || chart == m_chart)
        return;
    clear();
    if (QChart *old = m_chart) {
        disconnect(old, nullptr, this, nullptr);
        if (QDateTimeAxis *axis = timeAxis(old))
            disconnect(axis, nullptr, this, nullptr);
        for (int c = 0; c < 2; ++c) {
            m_line[c]->setParentItem(chart);
            m_label[c]->setParentItem(chart);
        }
    } else {
        // The chart they were on is gone, and its items with it.
        const QColor colours[2] = {QColor(255, 64, 64), QColor(64, 160, 255)};
        for (int c = 0; c < 2; ++c) {
            m_line[c] = new QGraphicsLineItem(chart);
            m_line[c]->setZValue(6);
            m_line[c]->setPen(QPen(colours[c], 1.5, Qt::DashLine));
            m_label[c] = new QGraphicsSimpleTextItem(chart);
            m_label[c]->setZValue(6);
            m_label[c]->setBrush(colours[c]);
        }
    }
    for (int c = 0; c < 2; ++c) {
        m_line[c]->setVisible(false);
        m_label[c]->setVisible(false);
    }
    m_chart = chart;
    follow(chart);
}

MeasureCursors::~MeasureCursors()
{
    if (m_viewport)
        m_viewport->removeEventFilter(this);
}

void MeasureCursors::setActive(bool on)
{
    m_active = on;
    if (!on)
        clear();
}

void MeasureCursors::set(qint64 a, qint64 b)
{
    m_t[0] = a;
    m_t[1] = b;
    m_set = true;
    place();
    emit changed();
}

void MeasureCursors::clear()
{
    m_dragging = -1;
    if (!m_set)
        return;
    m_set = false;
    place();
    emit changed();
}

bool MeasureCursors::followEnd(qint64 previousEnd, qint64 end)
{
    if (!m_set || m_dragging >= 0)
        return false;
    bool moved = false;
    for (qint64 &t : m_t) {
        if (t >= previousEnd && t != end) {
            t = end;
            moved = true;
        }
    }
    if (moved)
        place();
    return moved;
}

bool MeasureCursors::xOf(qint64 t, double *x) const
{
    QChart *chart = m_chart;
    QDateTimeAxis *axis = alive() ? timeAxis(chart) : nullptr;
    if (!axis)
        return false;
    const QRectF plot = chart->plotArea();
    const qint64 min = axis->min().toMSecsSinceEpoch();
    const qint64 max = axis->max().toMSecsSinceEpoch();
    if (max <= min)
        return false;
    *x = plot.left() + double(t - min) / double(max - min) * plot.width();
    return true;
}

bool MeasureCursors::timeAt(const QPoint &viewportPos, qint64 *t, double *chartX) const
{
    QChart *chart = m_chart;
    QDateTimeAxis *axis = timeAxis(chart);
    const QRectF plot = chart->plotArea();
    if (!axis || plot.width() <= 0)
        return false;
    const QPointF at = chart->mapFromScene(m_view->mapToScene(viewportPos));
    const double x = qBound(plot.left(), at.x(), plot.right());
    const qint64 min = axis->min().toMSecsSinceEpoch();
    const qint64 max = axis->max().toMSecsSinceEpoch();
    *t = min + qint64(qRound64((x - plot.left()) / plot.width() * double(max - min)));
    if (chartX)
        *chartX = at.x();
    return true;
}

void MeasureCursors::place()
{
    if (!alive())
        return;
    const QRectF plot = m_chart->plotArea();
    for (int c = 0; c < 2; ++c) {
        double x = 0;
        const bool shown = m_set && xOf(m_t[c], &x) && x >= plot.left() - 0.5 && x <= plot.right() + 0.5;
        m_line[c]->setVisible(shown);
        m_label[c]->setVisible(shown);
        if (!shown)
            continue;
        m_line[c]->setLine(x, plot.top(), x, plot.bottom());
        m_label[c]->setText(QLatin1String(c == 0 ? "A " : "B ")
                            + QDateTime::fromMSecsSinceEpoch(m_t[c]).toString(QStringLiteral("hh:mm:ss")));
        // A above B, so two lines close together keep readable labels.
        m_label[c]->setPos(x + 3, plot.top() + 2 + c * labelStep());
    }
    emit placed();
}

double MeasureCursors::labelStep() const
{
    return qMax(16.0, m_label[0]->boundingRect().height() + 2);
}

double MeasureCursors::labelsBottom() const
{
    const double plotTop = alive() ? m_chart->plotArea().top() : 0.0;
    return plotTop + 2 + labelStep() + m_label[1]->boundingRect().height();
}

bool MeasureCursors::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_active || !alive() || watched != m_viewport)
        return QObject::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint pos = mouse->localPos().toPoint();
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton)
            return false;
        qint64 t = 0;
        double x = 0;
        const QRectF plot = m_chart->plotArea();
        const QPointF at = m_chart->mapFromScene(m_view->mapToScene(pos));
        if (!plot.contains(at) || !timeAt(pos, &t, &x))
            return false;
        m_dragging = -1;
        if (m_set) {
            // The nearer line within reach is taken.
            double best = kGrab;
            for (int c = 0; c < 2; ++c) {
                double lx = 0;
                if (xOf(m_t[c], &lx) && qAbs(lx - x) <= best) {
                    best = qAbs(lx - x);
                    m_dragging = c;
                }
            }
        }
        if (m_dragging < 0) {
            m_dragging = 1;
            set(t, t);
        }
        return true;
    }
    if (m_dragging < 0)
        return false;
    if (type == QEvent::MouseMove) {
        qint64 t = 0;
        if (timeAt(pos, &t, nullptr) && t != m_t[m_dragging]) {
            m_t[m_dragging] = t;
            place();
            emit changed();
        }
        return true;
    }
    // Release
    if (mouse->button() == Qt::LeftButton)
        m_dragging = -1;
    return true;
}
