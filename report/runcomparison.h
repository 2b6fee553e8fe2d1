#pragma once

#include "charts/curvereduction.h"
#include "recording/journalreader.h"
#include "recording/readinglog.h"
#include "recording/runstats.h"

#include <QColor>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class QIODevice;
class RunJournal;

// Runs side by side: each run's records loaded from the journal, drawn on a
// shared axis of time since each run's zero (its first record, or a moment
// chosen in it), with the figures of each run and their difference from the
// first run's. Widget-free: the comparison window and the report both show it.
//
// Times "since start" are ms from a run's zero on that run's own timeline.
// Each run keeps its records (as the stored run's chart does) and a
// minimum/maximum index of the channel on show, so the points drawn for any
// window are a few per pixel column whatever the runs' lengths.
class RunComparison
{
public:
    static constexpr int kMostRuns = 8;
    static constexpr int kFewestRuns = 2;

    // The rows of the table of figures.
    enum Figure {
        Start, Duration, Records, Charge, Energy, VbusMax, VbusMean, IbusMax, IbusMean, PowerMax, PowerMean,
        EndReason, FigureCount
    };

    struct Run {
        JournalRun info;
        ReadingLog log;
        IntervalStats total;       // the whole run, from the journal's sums
        qint64 zeroRunMs = 0;      // time since start 0, on the run's timeline
        MinMaxIndex index;         // of the channel on show
        std::vector<RunMark> marks;   // in the order of their times
    };

    RunComparison();
    ~RunComparison();

    // Loads the runs from the journal, in the order given. False with a
    // message (a run that is missing or cannot be read, too few or too many).
    bool load(RunJournal *journal, const QVector<qint64> &ids, QString *error);

    int count() const { return int(m_runs.size()); }
    const Run &run(int i) const { return *m_runs[size_t(i)]; }
    // The legend's name of a run: its name, else "#id start".
    QString runName(int i) const;
    static QColor colour(int i);

    // The channel drawn (kChannels' order).
    void setChannel(int channel);
    int channel() const { return m_channel; }

    // Every run's zero at its first record.
    void alignAtStart();
    // A run's zero at a time of its timeline (a mark's).
    void setZero(int i, qint64 runMs);
    // The names of the runs' marks, each once, in the order of their first
    // appearance.
    QStringList markNames() const;
    // Every run's zero at its first mark of that name; a run without one at
    // its first record. How many runs have it.
    int alignAtMark(const QString &name);
    // Time since start of a mark of run i.
    qint64 markSinceStart(int i, const RunMark &mark) const;
    // The longest run's length since its zero, and the earliest record
    // before a zero (<= 0).
    qint64 endMs() const;
    qint64 beginMs() const;

    // The points that draw run i's channel between two times since start on
    // `columns` pixel columns: x in ms since start, y the value.
    QVector<QPointF> points(int i, qint64 fromMs, qint64 toMs, int columns);
    // The record of run i nearest to a time since start, within `reachMs`;
    // -1 for none.
    int recordNear(int i, qint64 sinceStartMs, qint64 reachMs) const;
    // The value of the channel on show at a record.
    float valueAt(int i, int record) const;
    // Time since start of a record.
    qint64 sinceStart(int i, int record) const;

    // The figures of run i between two times since start, both included
    // (from the journal's sums); empty when the run has no record there.
    IntervalStats interval(int i, qint64 fromMs, qint64 toMs) const;

    // The table: a figure's name, a run's figure, and its difference from the
    // first run's (empty for the first run and for words).
    static QString figureName(int figure);
    QString figureText(int figure, int i) const;
    QString differenceText(int figure, int i) const;
    // The end reason of a run in words, in the language installed.
    static QString reasonWords(const QString &reason, bool running);

    // A wide table: one row a second since start, then for every run its
    // record nearest that second (within half a second) in each of the eight
    // channels; a run without one there has empty cells.
    bool writeCsv(QIODevice &out) const;

    // Bytes held, the runs' records included.
    size_t memoryBytes() const;

private:
    double figureValue(int figure, int i, bool *number) const;

    RunJournal *m_journal = nullptr;
    std::vector<std::unique_ptr<Run>> m_runs;
    int m_channel = 0;
};
