#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtGlobal>

#include <vector>

class QGraphicsLineItem;
class QGraphicsSimpleTextItem;
namespace QtCharts {
class QChart;
}

// The marks of a run on its chart: a vertical line at each mark's time,
// labelled with its name at the plot's bottom. The lines keep their times
// when the time axis moves or zooms; a mark outside the shown range is hidden.
class MarkLines : public QObject
{
    Q_OBJECT
public:
    struct Mark {
        qint64 t = 0;   // on the chart's time axis (ms)
        QString name;
        bool operator==(const Mark &o) const { return t == o.t && name == o.name; }
    };

    explicit MarkLines(QObject *parent = nullptr);
    ~MarkLines() override;

    // The chart the lines are drawn on: they leave the one before.
    void setChart(QtCharts::QChart *chart);
    QtCharts::QChart *chart() const { return m_chart; }
    void setMarks(const std::vector<Mark> &marks);
    const std::vector<Mark> &marks() const { return m_marks; }

    int count() const { return int(m_lines.size()); }
    QGraphicsLineItem *line(int i) const { return m_lines[size_t(i)]; }
    QGraphicsSimpleTextItem *label(int i) const { return m_labels[size_t(i)]; }

public slots:
    // Puts the lines where their times are now on the chart.
    void place();

private:
    void dropItems();

    QPointer<QtCharts::QChart> m_chart;
    std::vector<Mark> m_marks;
    std::vector<QGraphicsLineItem *> m_lines;
    std::vector<QGraphicsSimpleTextItem *> m_labels;
};
