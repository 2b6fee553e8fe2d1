#pragma once

#include "recording/liverun.h"
#include "recording/runjournal.h"

#include <QObject>
#include <QString>

class QEvent;
class RunJournalSink;

// A run's life without any window, as the window and `ombrel record` both
// drive it: one LiveRun (its timeline, statistics and stop conditions) kept
// in the run journal as it goes, the journal's sink attached once, from run to
// run, before any other sink (files, live outputs), the journal the history
// reads, the rule for a meter that comes back, and what the session has to
// say in one translated text (the window's tip line, record's standard
// error).
//
// Opening the journal (its recovery of runs whose program died, moving a
// damaged file aside, the size cap's removals) can wait until the window is
// on the screen: openAfterFirstPaint() does it once the window has painted
// itself, and journal() or the run's first record open it at once when they
// come first. A run begun meanwhile is taken into the journal, with every
// record, when it opens; the runs to recover are closed before it is written.
class RunSession : public QObject
{
    Q_OBJECT
public:
    // The size cap comes from the settings file (a bad value is said in tip()).
    explicit RunSession(QObject *parent = nullptr);
    ~RunSession() override;

    LiveRun &run() { return m_run; }
    const LiveRun &run() const { return m_run; }
    // The journal, opened first when it was not.
    RunJournal &journal();
    // The journal without opening it (the history's and the cursors' handle).
    RunJournal *journalHandle() { return &m_journal; }
    bool journalOpened() const { return m_opened; }
    // Opens the journal now, unless it was; a run under way is taken into it.
    void openJournal();
    // Opens the journal after `window`'s first paint.
    void openAfterFirstPaint(QObject *window);

    RunJournalSink &journalSink() const { return *m_sink; }
    // The journal's stored id of the run under way, 0 for none; writes what
    // the journal misses of it first (before it is read back).
    qint64 storedRunId() const;
    void catchUp();
    // The name and fields the runs begun from now on are kept with.
    void describeNextRuns(const QString &name, const RunFields &fields);

    // The meter was pulled out: the run waits for it.
    void meterLost();
    // A meter came (back): the run that waited for this serial number goes
    // on, true; for any other meter false (the caller begins a run on it).
    bool meterBack(const QString &serial);

    // What the journal has to say on the tip line: its opening (a bad size
    // cap, a file moved aside, runs recovered), a fault while it lasts, what
    // the size cap removed; empty for nothing.
    QString tip() const { return m_tip; }

signals:
    void tipChanged();
    // The run under way in the journal: its stored id (0 for none), and its
    // records as they grow.
    void liveRunChanged(qint64 storedId);
    void liveRunGrew(int records);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sayFault();
    void sayRetention();

    RunJournal m_journal;   // before the run: its sink writes to it
    LiveRun m_run;
    RunJournalSink *m_sink = nullptr;
    bool m_opened = false;
    bool m_openPosted = false;
    QString m_badCap;
    QString m_tip;
    QString m_fault;
};
