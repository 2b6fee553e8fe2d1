#include "charts/marklines.h"

#include <QDateTime>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>

QT_CHARTS_USE_NAMESPACE

namespace {

const QColor kColour(230, 160, 0);

QDateTimeAxis *timeAxis(QChart *chart)
{
    return chart ? qobject_cast<QDateTimeAxis *>(chart->axes(Qt::Horizontal).value(0)) : nullptr;
}

} // namespace

MarkLines::MarkLines(QObject *parent) : QObject(parent)
{
}

MarkLines::~MarkLines()
{
    dropItems();
}

void MarkLines::dropItems()
{
    // Items of a chart that is gone went with it.
    if (m_chart) {
        for (QGraphicsLineItem *l : m_lines)
            delete l;
        for (QGraphicsSimpleTextItem *t : m_labels)
            delete t;
    }
    m_lines.clear();
    m_labels.clear();
}

void MarkLines::setChart(QChart *chart)
{
    if (chart == m_chart)
        return;
    dropItems();
    if (m_chart) {
        disconnect(m_chart, nullptr, this, nullptr);
        if (QDateTimeAxis *axis = timeAxis(m_chart))
            disconnect(axis, nullptr, this, nullptr);
    }
    m_chart = chart;
    if (chart) {
        if (QDateTimeAxis *axis = timeAxis(chart))
            connect(axis, &QDateTimeAxis::rangeChanged, this, &MarkLines::place);
        connect(chart, &QChart::plotAreaChanged, this, &MarkLines::place);
    }
    const std::vector<Mark> marks = m_marks;
    m_marks.clear();
    setMarks(marks);
}

void MarkLines::setMarks(const std::vector<Mark> &marks)
{
    if (marks == m_marks && int(marks.size()) == count())
        return;
    m_marks = marks;
    if (!m_chart) {
        m_lines.clear();
        m_labels.clear();
        return;
    }
    while (count() > int(marks.size())) {
        delete m_lines.back();
        delete m_labels.back();
        m_lines.pop_back();
        m_labels.pop_back();
    }
    while (count() < int(marks.size())) {
        auto *line = new QGraphicsLineItem(m_chart);
        line->setZValue(5.5);
        line->setPen(QPen(kColour, 1.2, Qt::DashDotLine));
        auto *label = new QGraphicsSimpleTextItem(m_chart);
        label->setZValue(5.5);
        label->setBrush(kColour);
        m_lines.push_back(line);
        m_labels.push_back(label);
    }
    for (size_t i = 0; i < marks.size(); ++i)
        m_labels[i]->setText(marks[i].name);
    place();
}

void MarkLines::place()
{
    QDateTimeAxis *axis = timeAxis(m_chart);
    if (!axis)
        return;
    const QRectF plot = m_chart->plotArea();
    const double t0 = double(axis->min().toMSecsSinceEpoch());
    const double t1 = double(axis->max().toMSecsSinceEpoch());
    const double height = m_labels.empty() ? 0.0 : m_labels.front()->boundingRect().height();
    for (size_t i = 0; i < m_marks.size(); ++i) {
        const double t = double(m_marks[i].t);
        const bool shown = t1 > t0 && t >= t0 && t <= t1 && plot.width() > 0;
        m_lines[i]->setVisible(shown);
        m_labels[i]->setVisible(shown);
        if (!shown)
            continue;
        const double x = plot.left() + (t - t0) / (t1 - t0) * plot.width();
        m_lines[i]->setLine(x, plot.top(), x, plot.bottom());
        // Labels at the plot's bottom, stepping up so neighbours stay apart.
        const double y = plot.bottom() - height * double(1 + i % 3) - 2;
        m_labels[i]->setPos(x + 3, y);
    }
}
