#pragma once

#include "recording/readinglog.h"
#include "ui/runhistory.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ChartView;
class CompareWindow;
class LiveChart;
class RunJournal;
struct CustomRanges;

// The run history of the window: the history window, a stored run opened in
// a chart of its own in place of the live one (which goes on recording
// behind it), the way back to the live run, and a stored run's exports.
class RunHistoryController : public QObject
{
    Q_OBJECT
public:
    // `now` is the chart's timeline, for a stored chart's first axis.
    RunHistoryController(QWidget *owner, RunJournal *journal, ChartView *view, LiveChart *live,
                         const CustomRanges &ranges, std::function<qint64()> now);
    ~RunHistoryController() override;

    RunHistoryWindow *window() const { return m_window; }
    // The chart on show: the live run's, or a stored run's.
    LiveChart *shownChart() const;
    bool showsStoredRun() const { return bool(m_stored); }
    qint64 storedId() const { return m_storedId; }
    const ReadingLog &storedLog() const { return m_storedLog; }

    // The history window, opened over the owner; `liveId` is the live run's
    // id in the journal (0: none).
    void open(qint64 liveId);
    void openStoredRun(qint64 id);
    void showLiveRun();
    // The live run began or ended (`liveId` 0), or grew to `records`.
    void liveRunChanged(qint64 liveId);
    void liveRunGrew(int records);

signals:
    // Before a stored run is read: the live run must be written up to its
    // last record if it is that run.
    void aboutToRead(qint64 id);
    // The shown chart is about to be replaced (its cursors leave it), and
    // the chart now shown, with its stored run's id (0: the live run).
    void chartLeaving();
    void chartShown(LiveChart *chart, qint64 storedId);
    void csvExportRequested(const ReadingLog &log, const QString &model);
    void pngExportRequested();

private:
    bool load(qint64 id, ReadingLog &log, QString *model);
    void exportCsv(qint64 id);
    void exportPng(qint64 id);
    void compare(const QVector<qint64> &ids);
    void report(qint64 id);
    // A bench in a window of its own, and its report.
    void openBench(qint64 benchId);
    void reportBench(qint64 benchId);
    // A report of these runs, named after `name`, written where the user
    // saves it (as HTML for a .html name) by `write`.
    void writeReport(const QString &name, const QVector<qint64> &runs,
                     const std::function<bool(const QString &path, bool html, QString *why)> &write);
    void showComparison(CompareWindow *window);

    QWidget *m_owner;
    RunJournal *m_journal;
    ChartView *m_view;
    LiveChart *m_live;
    const CustomRanges &m_ranges;
    std::function<qint64()> m_now;
    QPointer<RunHistoryWindow> m_window;
    ReadingLog m_storedLog;
    std::unique_ptr<LiveChart> m_stored;
    qint64 m_storedId = 0;
};
