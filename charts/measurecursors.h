#pragma once

#include <QObject>
#include <QtCharts/QChart>
#include <QPointer>
#include <QtGlobal>

class QGraphicsLineItem;
class QGraphicsSimpleTextItem;
class ChartView;
namespace QtCharts {
class QChart;
}

// Two measurement cursors on the chart: vertical lines A and B at times of
// the run's timeline, each labelled with its time. While they are switched
// on, a press and drag with the left button on the plot sets A where it
// started and B where it ends, and either line can be dragged afterwards;
// elsewhere, and while they are off, the view pans, zooms and reads out as
// ever. The lines keep their times when the time axis moves or zooms.
class MeasureCursors : public QObject
{
    Q_OBJECT
public:
    explicit MeasureCursors(ChartView *view);
    ~MeasureCursors() override;

    // The chart the view shows now (a stored run's, the live run's again):
    // the cursors are cleared and go over to it.
    void setChart(QtCharts::QChart *chart);
    QtCharts::QChart *chart() const { return m_chart; }

    // Off clears the cursors.
    void setActive(bool on);
    bool isActive() const { return m_active; }
    // Both cursors are on the chart.
    bool isSet() const { return m_set; }
    qint64 a() const { return m_t[0]; }
    qint64 b() const { return m_t[1]; }
    void set(qint64 a, qint64 b);
    void clear();
    // The run grew from `previousEnd` to `end`: a cursor at or beyond the
    // previous end moves on with it (without changed(): the owner, which
    // grew the run, updates what depends on the cursors). True if one moved.
    bool followEnd(qint64 previousEnd, qint64 end);

    QGraphicsLineItem *line(int cursor) const { return m_line[cursor]; }
    QGraphicsSimpleTextItem *label(int cursor) const { return m_label[cursor]; }
    // Below this y of the chart the labels never reach: they lie at the
    // plot's top, one above the other.
    double labelsBottom() const;

public slots:
    // Puts the lines where their times are now on the chart.
    void place();

signals:
    // The cursors were set, moved or cleared.
    void changed();
    // The lines and labels were put in place (the chart moved or resized).
    void placed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool timeAt(const QPoint &viewportPos, qint64 *t, double *chartX) const;
    // The chart's x of a time; false when the chart has no time axis.
    bool xOf(qint64 t, double *x) const;

    bool alive() const { return m_viewport && m_chart; }
    double labelStep() const;
    void follow(QtCharts::QChart *chart);

    ChartView *m_view = nullptr;
    // Gone first when the view goes.
    QPointer<QWidget> m_viewport;
    QPointer<QtCharts::QChart> m_chart;
    bool m_active = false;
    bool m_set = false;
    qint64 m_t[2] = {0, 0};
    int m_dragging = -1;   // cursor being dragged, -1 for none
    QGraphicsLineItem *m_line[2] = {};
    QGraphicsSimpleTextItem *m_label[2] = {};
};
