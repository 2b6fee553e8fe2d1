#pragma once

#include "recording/readinglog.h"
#include "recording/runstats.h"
#include "recording/runtimeline.h"
#include "recording/stopconditions.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LiveRun;
struct MeterReading;

// Something that keeps or sends a run as it goes: the run journal, a CSV
// file, JSON lines. Each is told what happens to the run it is attached to,
// in the order the sinks were attached (their ends in the reverse order, so
// the first attached is the last to close). A sink never stops the run nor
// the other sinks: what it cannot do it says through its status, and what it
// missed it takes at the next call it can.
class RunSink
{
public:
    enum class State {
        Ok,
        Fault,   // cannot write now; `message` says why
        Closed,  // its reader went away (a pipe's reader left): no fault
    };
    struct Status {
        State state = State::Ok;
        QString message;
        bool operator==(const Status &o) const { return state == o.state && message == o.message; }
        bool operator!=(const Status &o) const { return !(*this == o); }
    };

    virtual ~RunSink() = default;

    virtual void begun(const LiveRun &) {}
    // Records were added: the run's records from taken() on are new to it.
    virtual void recorded(const LiveRun &) {}
    virtual void paused(const LiveRun &) {}
    virtual void resumed(const LiveRun &) {}
    virtual void ended(const LiveRun &) {}
    // How many of the run's records it holds; the run keeps in its log every
    // record some sink has not taken yet.
    virtual qint64 taken() const = 0;

    Status status() const { return m_status; }

protected:
    void setStatus(State state, const QString &message = QString()) { m_status = {state, message}; }

private:
    Status m_status;
};

// The meter a run is recorded from.
struct RunMeter {
    QString model;     // the model word of the product string, e.g. "UM34C"
    QString version;
    QString serial;    // empty when unknown
};

// The life of one run at a time, without any window: begun on a meter, fed
// readings with their wall-clock time and their time on the run's timeline
// (a steady clock's), it keeps the reading log, the running statistics, the
// stop conditions and, once it has ended, the end reason (the journal's codes:
// RunJournal::kStopped, kUnplugged, kInterrupted, or a stop condition's
// code). A meter pulled out pauses it; the same meter back resumes it, the
// same run going on. Its sinks are told each step.
//
// How the window drives it (the command line does the same with its own
// ticks, see cli/record.cpp):
//  - setClock() with the window's injected clocks (MainDialog::setClock):
//    the run's timeline, which stamps its records and times its start, end
//    and elapsed time, is the window's;
//  - attach the journal's sink once (RunJournalSink on the window's journal,
//    which the history also reads); it stays attached from run to run;
//  - the Run button: begin() on the meter shown (a run under way ends first,
//    as unplugged when it was paused, else stopped) or stop();
//  - the once-a-second chart tick: add() the latest reading, stamped on
//    the run's timeline, flush(), then
//    checkConditions() with the tick's interval; recorded() tells the chart,
//    the statistics panel and page six;
//  - the worker's unplug: pause(); the same serial back: resume(); another
//    meter: begin() (the paused run ends as unplugged);
//  - page six: setConditions() when its values change (the run under way
//    follows them at once), its Start button begin() then armConditions(),
//    its Stop button stop();
// (RunSession holds the window's run with its journal; the window hands
// it out as MainDialog::liveRun().)
//  - the history opening the live run: RunJournalSink::catchUp() first, so
//    the journal holds every record before it is read back; the live run
//    keeps recording meanwhile;
//  - sinkStatusChanged() puts a sink's fault on the tip line once, and
//    clears it when the sink has caught up;
//  - the window closing: stop().
class LiveRun : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle, Recording, Paused, Ended };

    explicit LiveRun(QObject *parent = nullptr);
    ~LiveRun() override;

    // The clocks, ms: wall since the epoch, steady from any origin. By default
    // the system's (see RunTimeline).
    void setClock(std::function<qint64()> wall, std::function<qint64()> steady);
    // The run's timeline: anchored at each begin(), it stamps every record.
    RunTimeline &timeline() { return m_timeline; }
    const RunTimeline &timeline() const { return m_timeline; }

    // Sinks, told in this order; owned by the run.
    template <class Sink> Sink *attach(std::unique_ptr<Sink> sink)
    {
        Sink *raw = sink.get();
        m_sinks.push_back(std::move(sink));
        m_said.emplace_back();
        return raw;
    }
    // Takes a sink off the run and hands it back: one detached while the run
    // is under way hears ended() first, and the log no longer keeps records
    // for it. Not from a receiver of sinkStatusChanged(). Null for a sink not
    // attached.
    std::unique_ptr<RunSink> detach(const RunSink *sink);
    int sinkCount() const { return int(m_sinks.size()); }
    const RunSink &sink(int i) const { return *m_sinks[size_t(i)]; }
    RunSink::Status sinkStatus(int i) const { return m_sinks[size_t(i)]->status(); }

    // Command line: the records every sink has taken leave the log, so a run
    // of days stays small. The window keeps them all (its chart draws them).
    void setKeepRecords(bool keep) { m_keepRecords = keep; }

    // A new run on this meter; a run under way ends first (unplugged when
    // paused, else stopped). The stop conditions start afresh, not armed.
    void begin(const RunMeter &meter);
    // Adds a record taken now, stamped on the run's timeline, while
    // recording (false otherwise); sinks hear of it at flush().
    bool add(const MeterReading &reading);
    // Tells the sinks of the records added since the last flush.
    void flush();
    // The meter went away; it came back (the same serial number).
    void pause();
    void resume();
    // Ends the run (flushing first): stop() as stopped, or as unplugged when
    // its meter is out (paused), whoever stops it; end() with any code.
    void stop();
    void end(const QString &reason);

    // The stop conditions: their values can change during the run; armed,
    // checkConditions() ends the run when one holds (at the check nearest a
    // duration, `tickMs` being the interval of the checks).
    void setConditions(const StopConditions &conditions);
    const StopConditions &conditions() const { return m_conditions; }
    void armConditions(bool armed = true) { m_armed = armed; }
    bool conditionsArmed() const { return m_armed; }
    std::optional<StopConditions::Kind> checkConditions(int tickMs);

    Phase phase() const { return m_phase; }
    bool recording() const { return m_phase == Phase::Recording; }
    bool paused() const { return m_phase == Phase::Paused; }
    // Begun and not ended.
    bool underWay() const { return m_phase == Phase::Recording || m_phase == Phase::Paused; }
    const RunMeter &meter() const { return m_meter; }
    qint64 startWallMs() const { return m_startWallMs; }
    qint64 endWallMs() const { return m_endWallMs; }
    // Time since begin() on the steady clock, a pause included; frozen at the end.
    qint64 elapsedMs() const;
    QString endReason() const { return m_endReason; }

    // The log holds the run's records from logStart() on.
    const ReadingLog &log() const { return m_log; }
    // Records appended straight to the log (a long run filled at once) are
    // taken into the statistics at the next add().
    ReadingLog &log() { return m_log; }
    qint64 logStart() const { return m_logStart; }
    qint64 records() const { return m_logStart + m_log.size(); }
    const RunStats &stats() const { return m_stats; }

signals:
    void begun();
    void recorded(int added);
    void pausedChanged(bool paused);
    void ended(const QString &reason);
    // A sink's status changed (a fault, or back to Ok): said once each time.
    // Emitted while the sinks are being told a step: a receiver must not
    // begin or end the run from it (the command line ends it once its event
    // loop is left).
    void sinkStatusChanged(int sink);

private:
    template <class Step> void tell(Step step, bool reverse = false);
    void dropTaken();

    RunTimeline m_timeline;
    std::vector<std::unique_ptr<RunSink>> m_sinks;
    std::vector<RunSink::Status> m_said;
    bool m_keepRecords = true;

    Phase m_phase = Phase::Idle;
    RunMeter m_meter;
    ReadingLog m_log;
    qint64 m_logStart = 0;
    int m_flushed = 0;   // log records the sinks have heard of
    RunStats m_stats;
    StopConditions m_conditions;
    bool m_armed = false;
    qint64 m_startWallMs = 0;
    qint64 m_endWallMs = 0;
    qint64 m_startSteadyMs = 0;
    qint64 m_endSteadyMs = 0;
    QString m_endReason;
};
