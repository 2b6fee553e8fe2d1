#pragma once

#include "charts/curvereduction.h"
#include "device/channels.h"
#include "meterbench/benchpairing.h"
#include "recording/journalreader.h"
#include "recording/runjournal.h"
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
// Each run keeps only what its curve needs: its records' times and the
// channel on show (read again from the journal when the channel changes),
// with a minimum/maximum index of that channel and where its records break
// off, so the points drawn for any window are a few per pixel column whatever
// the runs' lengths, and the curves break where the runs were unplugged.
// Whatever else a figure or the CSV needs is read from the journal.
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
        std::vector<qint64> times;    // each record's time on the run's timeline, in order
        std::vector<float> values;    // each record's value of the channel on show
        IntervalStats total;          // the whole run, from the journal's sums
        qint64 zeroRunMs = 0;         // time since start 0, on the run's timeline
        MinMaxIndex index;            // of the channel on show
        GapIndex gaps;
        std::vector<RunMark> marks;   // in the order of their times
        int records() const { return int(times.size()); }
    };

    RunComparison();
    ~RunComparison();

    // Loads the runs from the journal, in the order given. False with a
    // message (a run that is missing or cannot be read, too few or too many).
    bool load(RunJournal *journal, const QVector<qint64> &ids, QString *error);
    // Loads a bench: its meters' runs in its order, each named by its role,
    // on one clock (the wall clock at each run's first record carried on
    // by its timeline), so that what the meters measured together is at the
    // same time since start; with an in and an out meter, its pairs too.
    bool loadBench(RunJournal *journal, const JournalBench &bench, QString *error);
    bool isBench() const { return m_bench.id != 0; }
    const JournalBench &bench() const { return m_bench; }

    // A bench with an in and an out meter has four channels more, after
    // kChannels' (kChannelCount + Efficiency, ...): one curve of its pairs.
    enum Derived { Efficiency, Loss, Drop, Resistance, DerivedCount };
    bool hasDerived() const { return m_hasDerived; }
    bool showsDerived() const { return m_channel >= kChannelCount; }
    // A channel's name, unit and decimals, a derived one's too.
    static QString channelName(int channel);
    static QString channelUnitOf(int channel);
    static int channelDecimals(int channel);
    // The curves: one a run, then the derived channel's (only drawn while
    // it is on show, when the runs' are not). Curve count() is the pairs'.
    int curves() const { return count() + (m_hasDerived ? 1 : 0); }
    bool curveShown(int i) const { return i < count() ? !showsDerived() : showsDerived(); }
    // A bench's figures between two times since start, both included: the
    // in and out meters' energies there and the pairs in it.
    Bench::Figures benchFigures(qint64 fromMs, qint64 toMs) const;

    int count() const { return int(m_runs.size()); }
    // Run i; run count() is a bench's pairs, in the derived channel on show.
    const Run &run(int i) const { return i == count() ? m_derived : *m_runs[size_t(i)]; }
    // The legend's name of a run: its name, else "#id start".
    QString runName(int i) const;
    static QColor colour(int i);

    // The channel drawn (kChannels' order), read from the journal for every
    // run; false with a message, the channel on show kept, when it cannot be.
    bool setChannel(int channel, QString *error = nullptr);
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

    // The pieces that draw run i's channel between two times since start on
    // `columns` pixel columns, one for each stretch between gaps (two records
    // more than GapIndex::kGapMs apart) at most `most`, as the live chart
    // draws them: x in ms since start, y the value.
    std::vector<QVector<QPointF>> pieces(int i, qint64 fromMs, qint64 toMs, int columns,
                                         size_t most = kMostCurvePieces) const;
    // The same as one curve over the gaps.
    QVector<QPointF> points(int i, qint64 fromMs, qint64 toMs, int columns) const;
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

    // A wide table of every record of every run, read from the journal: a
    // row for each time since start a record has (seconds with the ms, in
    // order), then for every run its record at that time in each of the eight
    // channels, or empty cells where it has none. Records of different runs
    // at the same time share a row; a second record of a run at the same
    // time takes a row of its own.
    bool writeCsv(QIODevice &out) const;
    // The runs as one sigrok session, their times since start on one grid,
    // each run's channels named R<id>_VBUS_V, ...; empty with the reason
    // when it cannot be made.
    QByteArray sigrokSession(QString *error) const;

    // Bytes held, the runs' records included.
    size_t memoryBytes() const;

private:
    double figureValue(int figure, int i, bool *number) const;
    // Reads the channel's column of every run (and their times too, with
    // `times`), a few runs at once, each reader with a connection of its
    // own; false with a message, nothing changed, when one cannot be read.
    // With `pairs`, runs pairs->in and pairs->out also give their VBUS,
    // IBUS and POWER, in the same reading.
    struct PairColumns {
        int in = -1, out = -1;
        std::vector<float> values[2][3];
    };
    bool readColumn(int channel, bool times, QString *error, PairColumns *pairs = nullptr);
    bool loadRuns(RunJournal *journal, const QVector<qint64> &ids, QString *error, PairColumns *pairs);
    // Columns of runs read, a few at once; false with a message when one
    // cannot be.
    struct ColumnRead {
        qint64 run;
        std::vector<ReadingLog::Column> columns;
        std::vector<std::vector<float> *> values;   // one for each column
        std::vector<qint64> *times;
    };
    bool readColumns(std::vector<ColumnRead> &reads, QString *error) const;

    RunJournal *m_journal = nullptr;
    std::vector<std::unique_ptr<Run>> m_runs;
    int m_channel = 0;
    JournalBench m_bench;
    bool m_hasDerived = false;
    int m_in = -1, m_out = -1;               // the bench's in and out runs
    std::vector<Bench::Derived> m_pairs;     // every pair and gap, times since start
    Run m_derived;                           // the pairs' curve of the derived channel on show
};
