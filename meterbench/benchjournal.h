#pragma once

#include "meterbench/benchpairing.h"
#include "recording/runjournal.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <vector>

class ReadingLog;

// A bench kept in the run journal, read back: its in and out meters' records
// paired as they were while recording, and its figures over any stretch of
// wall-clock time.
namespace Bench {

// A member's records as the pairing reads them: its times carried on from
// its first record by its run's timeline.
std::vector<Point> pointsOf(const ReadingLog &log);

// The values of the bench's in/out pairs (gaps included), in the order of
// their times; none for a bench without an in and an out meter.
std::vector<Derived> derivedOf(RunJournal &journal, const JournalBench &bench);

// A member's share of the figures.
struct MemberFigures {
    JournalBench::Member member;
    IntervalStats stats;
    qint64 fromWall = 0, toWall = 0;   // its first and last record there
};
struct Summary {
    std::vector<MemberFigures> members;   // in the bench's order
    Figures figures;                      // with an in and an out meter
    bool inOut = false;
};
// Between two wall-clock times, both included (the whole bench when not
// given): each member's statistics there and the pairs that fall in it.
Summary summaryOf(RunJournal &journal, const JournalBench &bench, std::optional<qint64> fromWall = std::nullopt,
                  std::optional<qint64> toWall = std::nullopt);

// The bench's JSON lines as `record --meter … --jsonl` wrote them: every
// meter's records with its serial and role, and each in/out pair's values,
// in the order of their times (a pair after its out record), between two
// wall-clock times, both included (the whole bench when not given).
QByteArray jsonLinesOf(RunJournal &journal, const JournalBench &bench, std::optional<qint64> fromWall = std::nullopt,
                       std::optional<qint64> toWall = std::nullopt);

// The summary as one JSON object (`ombrel stats BENCH --json`): "bench",
// "name", "members" (each {"run", "role", "serial", "stats": as `stats RUN
// --json` gives it over the same times}), "energy_in_wh", "energy_out_wh",
// "energy_efficiency_pct", "loss_w" {mean, min, max}, "pairs", "gaps" (the
// in/out figures null without an in and an out meter). "\n" included.
QByteArray summaryObject(const JournalBench &bench, const Summary &summary);

} // namespace Bench
