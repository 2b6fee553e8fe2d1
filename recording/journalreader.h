#pragma once

#include "recording/readinglog.h"
#include "recording/runstats.h"

#include <QString>
#include <QtGlobal>

#include <climits>
#include <map>
#include <vector>

class JournalFile;

// What a run is about, as the user describes it for test reports.
struct RunFields {
    QString notes;            // free text, lines included
    QString dut;              // the device under test
    QString source;           // the charger or source
    QString cable;
    double ambientC = qQNaN();   // ambient temperature in degrees Celsius; NaN when not given
    bool hasAmbient() const { return !qIsNaN(ambientC); }
    // An ambient temperature as a user types it ("25", "-5.5", empty for
    // none) into ambientC; false for any other text and for a temperature
    // below absolute zero or above 1000 °C.
    bool setAmbient(const QString &text);
    bool operator==(const RunFields &o) const
    {
        return notes == o.notes && dut == o.dut && source == o.source && cable == o.cable
               && (ambientC == o.ambientC || (!hasAmbient() && !o.hasAmbient()));
    }
};

// A named moment of a run.
struct RunMark {
    qint64 id = 0;       // the mark's own id
    qint64 runId = 0;
    qint64 atMs = 0;     // on the run's timeline, from its first record (record i is at about 1000 * i)
    qint64 wallMs = 0;   // wall clock when the mark was made, ms since the epoch
    QString name;
};

// One run as the journal keeps it.
struct JournalRun {
    qint64 id = 0;
    qint64 startMs = 0;       // wall clock, ms since the epoch
    qint64 endMs = 0;         // 0 while the run goes on
    QString endReason;        // RunJournal::kStopped, kUnplugged, kInterrupted, or a stop condition's code
    QString name;
    QString model, version, serial;
    int records = 0;
    double duration_s = 0.0;
    double charge_ah = 0.0;
    double energy_wh = 0.0;
    double vbus_max = 0.0, ibus_max = 0.0, power_max = 0.0;
    double cap_start_ah = 0.0, cap_end_ah = 0.0;   // the meter's own CAP at the first and last record
    double ele_start_wh = 0.0, ele_end_wh = 0.0;   // and its ELE
    RunFields fields;
    bool finished() const { return endMs != 0 || !endReason.isEmpty(); }
    // The end of `ended` (the same run): its time, reason, records and figures.
    void takeEnd(const JournalRun &ended);
    // The summary figures of its records' statistics (the meter's own
    // CAP and ELE apart).
    void takeFigures(const IntervalStats &stats);
};

// The figures a run's end gives it, in the order of the run table's columns.
inline constexpr double JournalRun::*kRunEndFigures[] = {
    &JournalRun::duration_s, &JournalRun::charge_ah,    &JournalRun::energy_wh,  &JournalRun::vbus_max,
    &JournalRun::ibus_max,   &JournalRun::power_max,    &JournalRun::cap_start_ah, &JournalRun::cap_end_ah,
    &JournalRun::ele_start_wh, &JournalRun::ele_end_wh};

// Reads the runs the journal keeps: the list of runs, a run's records and
// times, and the statistics of any stretch of a run from the blocks stored
// beside its records (two blocks' records read at most).
class JournalReader
{
public:
    explicit JournalReader(JournalFile &file) : m_file(file) {}

    // Newest first.
    std::vector<JournalRun> runs();
    // The run's timeline at its first record and that record's wall-clock
    // time; false for a run that does not exist or has no record yet.
    bool timeline(qint64 id, qint64 &t0Ms, qint64 &firstWallMs);
    // Times of record i of a run, on its timeline and on the wall clock.
    bool recordTime(qint64 id, int i, qint64 &runMs, qint64 &wallMs);
    // Each moment of the run its wall clock showed wallMs, on the run's
    // timeline: more than one when the clock was set back during the run.
    // Records read in the same millisecond share their wall time: `latest`
    // takes the last of them (an interval's end), else the first (its start).
    std::vector<qint64> runTimesAtWall(qint64 id, qint64 wallMs, bool latest = true);
    // The run's records `first` to `last` (both included; all of them by
    // default) in place of what the log held.
    bool load(qint64 id, ReadingLog &log, int first = 0, int last = INT_MAX);
    // One column of the run's records in place of `values`, and their times
    // on its timeline (as a log loaded whole holds them) in place of
    // `runTimes` unless that is null.
    bool loadColumn(qint64 id, ReadingLog::Column column, std::vector<float> &values, std::vector<qint64> *runTimes);
    // Several columns at once (values[k] of columns[k]), in one reading.
    bool loadColumns(qint64 id, const std::vector<ReadingLog::Column> &columns,
                     const std::vector<std::vector<float> *> &values, std::vector<qint64> *runTimes);
    // The run's marks, in the order of their times.
    std::vector<RunMark> marks(qint64 runId);
    // Statistics of the records between two times, both included: on the
    // run's timeline, or on the wall clock (taken as the run's timeline moved
    // by the offset of its first record).
    IntervalStats stats(qint64 id, qint64 fromMs, qint64 toMs, bool wallClock);
    // The same between record indices.
    IntervalStats statsOfRecords(qint64 id, int first, int last);

    // A run's timeline, its records so far and the wall-clock offset of its
    // first record; false for a run that does not exist.
    bool runInfo(qint64 id, qint64 &t0, int &records, qint64 &skew0);
    // Statistics of records first..last of a run whose figures runInfo gave.
    IntervalStats storedStats(qint64 id, int first, int last, qint64 t0, int records);

    // Opened for reading: a run whose process died is listed as recovery
    // would close it.
    void setClosed(qint64 id, const JournalRun &run) { m_closed[id] = run; }
    void clearClosed() { m_closed.clear(); }

private:
    bool lagAt(qint64 id, int i, qint64 &lag);

    JournalFile &m_file;
    std::map<qint64, JournalRun> m_closed;
};
