#pragma once

#include "ui/statspanel.h"

#include <QObject>

namespace QtCharts {
class QChart;
}
class ChartView;
class MeasureCursors;
class QPushButton;
class QShortcut;
class QWidget;
class LiveRun;
class RunJournal;

// The measurement cursors of the chart and the panel with the statistics of
// the interval between them: the live run's from its running statistics, a
// stored run's from the journal.
class MeasureController : public QObject
{
    Q_OBJECT
public:
    // `window` takes the Esc that clears the cursors; the button is placed by
    // the window.
    MeasureController(ChartView *view, const LiveRun &run, RunJournal *journal, QWidget *window);

    QPushButton *button() const { return m_button; }
    MeasureCursors *cursors() const { return m_cursors; }
    // The statistics panel, made when first needed: the window starts
    // without it.
    StatsPanel *panel();
    void retranslate();

    // The chart the cursors lie on, and its stored run's id (0: the live run).
    void setChart(QtCharts::QChart *chart);
    void setShownRun(qint64 storedId) { m_storedId = storedId; }

signals:
    // The panel was made (hidden, over the view).
    void panelMade(StatsPanel *panel);

private:
    // The live run began, or grew by `added` records.
    void liveRunStarted();
    void liveRunGrew(int added);
    void showIntervalStats();
    // The panel at the chart's top right, below the cursors' labels.
    void placePanel();

    ChartView *m_view;
    const LiveRun &m_run;
    RunJournal *m_journal;
    QPushButton *m_button;
    MeasureCursors *m_cursors;
    StatsPanel *m_panel = nullptr;
    QShortcut *m_clear;
    qint64 m_storedId = 0;
};
