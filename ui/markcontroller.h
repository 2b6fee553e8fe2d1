#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QtGlobal>

#include <functional>

namespace QtCharts {
class QChart;
}
class ChartView;
class MarkLines;
class MeasureCursors;
class QShortcut;
class QTimer;
class QWidget;
class ReadingLog;
class RunJournal;
class StatsPanel;

// The marks of the window's chart and the export of the interval between the
// measurement cursors. "Mark" (or its shortcut) marks the live run at the
// moment it is pressed, with a name typed after; on a stored run it waits
// for a click on the chart, which marks that time. The marks of the run on
// show are drawn as labelled lines, read anew every second, so a mark made
// by another program (ombrel mark) or in the history shows too. "Export
// interval" beside the cursors' figures writes the records between the
// cursors to CSV or JSON lines.
class MarkController : public QObject
{
    Q_OBJECT
public:
    struct Sources {
        // The live run's id in the journal (as beginRun gave it; 0: none).
        std::function<qint64()> liveRunId;
        // The stored id of the run the live chart shows: the one under way,
        // or the last that ended until the next begins (0: none).
        std::function<qint64()> liveChartRunId;
        // The log of the run the chart shows.
        std::function<const ReadingLog &()> shownLog;
        // Now on the live run's timeline, and on the wall clock.
        std::function<qint64()> now;
        std::function<qint64()> wallNow;
    };

    MarkController(ChartView *view, MeasureCursors *cursors, StatsPanel *panel, RunJournal *journal,
                   QWidget *window, Sources sources);
    ~MarkController() override;

    QPushButton *button() const { return m_button; }
    QPushButton *exportButton() const { return m_export; }
    // Puts "Export interval" into the statistics panel, beside its copy button.
    void placeExport(StatsPanel *panel);
    QShortcut *shortcut() const { return m_shortcut; }
    MarkLines *lines() const { return m_lines; }
    // Waiting for a click on a stored run's chart.
    bool isArmed() const { return m_armed; }
    void retranslate();

    // The chart on show and its stored run's id (0: the live run's).
    void setChart(QtCharts::QChart *chart, qint64 storedId);

public slots:
    // The marks of the run on show read again.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void markPressed();
    void setArmed(bool on);
    // Asks for the name and writes the mark; false when cancelled or not written.
    bool addMark(qint64 runId, qint64 atMs);
    // The run on show in the journal (0: none).
    qint64 shownRun() const;
    bool timeAt(const QPoint &viewportPos, qint64 *t) const;
    void exportInterval();

    ChartView *m_view;
    MeasureCursors *m_cursors;
    QPointer<StatsPanel> m_panel;
    RunJournal *m_journal;
    QWidget *m_window;
    Sources m_sources;
    MarkLines *m_lines;
    QPushButton *m_button;
    // Without a panel yet, it is ours.
    QPointer<QPushButton> m_export;
    QShortcut *m_shortcut;
    QTimer *m_timer;
    qint64 m_storedId = 0;
    bool m_armed = false;
    bool m_pressed = false;
    QPoint m_pressAt;
};
