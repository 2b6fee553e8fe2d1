#pragma once

#include "recording/readinglog.h"
#include "recording/runstats.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

class RunJournal;

// A moment of a run as a user names it: a wall-clock time, or a time from
// the run's first record.
struct RunMoment {
    bool wall = false;   // ms since the epoch; else ms from the run's first record
    qint64 ms = 0;

    // An ISO 8601 local date-time (an offset or Z taken as given), or
    // seconds from the run's first record (90, 1.5).
    static std::optional<RunMoment> parse(const QString &text);
    // Why `text`, given for `name` (--from, frm), is not a moment.
    static QString badWords(const QString &text, const QString &name);
};

// Where moments of a stored run fall on its timeline (its first record at
// t0 on the timeline, at firstWall on the wall clock), as the commands and
// the Python module read intervals of it.
class RunInterval
{
public:
    // The run's timeline as the journal keeps it (none before its first
    // record).
    RunInterval(RunJournal &journal, qint64 runId);
    bool hasRecords() const { return m_hasTimeline; }
    qint64 t0() const { return m_t0; }
    qint64 firstWall() const { return m_firstWall; }

    // The moment on the timeline. A wall-clock time is where the run's clock
    // showed it: an interval's start takes the first of the records that
    // share it, its end the last; one the clock never showed is taken by the
    // offset of the first record. False, with the times on the timeline it
    // names, for one the clock showed more than once (set back during the
    // run).
    bool place(const RunMoment &moment, bool end, qint64 *at, std::vector<qint64> *times = nullptr) const;
    // The words for such a moment, typed as `typed` for `name`.
    QString ambiguousWords(const QString &typed, const QString &name, const std::vector<qint64> &times) const;

    // The records of `log` from `fromRun` to `toRun` on the timeline, both
    // included.
    static ReadingLog slice(const ReadingLog &log, qint64 fromRun, qint64 toRun);

    // The statistics of the records from `fromRun` to `toRun` (the run's
    // first and last record when not given), and the wall-clock times of
    // the interval's ends: its first and last record, or for an interval
    // without records the times asked for (the run's start when not given).
    struct Summary {
        IntervalStats stats;
        qint64 fromWall = 0, toWall = 0;
    };
    Summary summary(std::optional<qint64> fromRun, std::optional<qint64> toRun, qint64 startMs) const;

private:
    RunJournal &m_journal;
    qint64 m_run;
    qint64 m_t0 = 0;
    qint64 m_firstWall = 0;
    bool m_hasTimeline = false;
};
