#include "meterbench/benchjournal.h"

#include "recording/jsonlines.h"
#include "recording/readinglog.h"

#include <algorithm>
#include <limits>

namespace Bench {

std::vector<Point> pointsOf(const ReadingLog &log)
{
    std::vector<Point> points;
    if (log.size() == 0)
        return points;
    points.reserve(size_t(log.size()));
    const qint64 origin = log.timeMs(0) - log.runMs(0);
    for (int i = 0; i < log.size(); ++i)
        points.push_back({origin + log.runMs(i), log.value(ReadingLog::Vbus, i), log.value(ReadingLog::Ibus, i),
                          log.value(ReadingLog::Power, i)});
    return points;
}

std::vector<Derived> derivedOf(RunJournal &journal, const JournalBench &bench)
{
    const JournalBench::Member *in = bench.member(QStringLiteral("in"));
    const JournalBench::Member *out = bench.member(QStringLiteral("out"));
    if (!in || !out)
        return {};
    ReadingLog inLog, outLog;
    journal.load(in->run, inLog);
    journal.load(out->run, outLog);
    return pairAll(pointsOf(inLog), pointsOf(outLog), bench.periodMs);
}

Summary summaryOf(RunJournal &journal, const JournalBench &bench, std::optional<qint64> fromWall,
                  std::optional<qint64> toWall)
{
    Summary s;
    const qint64 from = fromWall.value_or(std::numeric_limits<qint64>::min() / 2);
    const qint64 to = toWall.value_or(std::numeric_limits<qint64>::max() / 2);
    for (const JournalBench::Member &m : bench.members) {
        MemberFigures f{m, journal.stats(m.run, from, to, true)};
        qint64 runMs = 0;
        if (f.stats.records > 0) {
            journal.recordTime(m.run, f.stats.first, runMs, f.fromWall);
            journal.recordTime(m.run, f.stats.last, runMs, f.toWall);
        }
        s.members.push_back(f);
    }
    const JournalBench::Member *in = bench.member(QStringLiteral("in"));
    const JournalBench::Member *out = bench.member(QStringLiteral("out"));
    s.inOut = in && out;
    if (!s.inOut)
        return s;
    std::vector<Derived> inside;
    for (const Derived &d : derivedOf(journal, bench)) {
        if (d.t >= from && d.t <= to)
            inside.push_back(d);
    }
    auto energy = [&](const JournalBench::Member *m) {
        for (const MemberFigures &f : s.members) {
            if (f.member.run == m->run)
                return f.stats.energy_wh;
        }
        return 0.0;
    };
    s.figures = figures(energy(in), energy(out), inside);
    return s;
}

QByteArray jsonLinesOf(RunJournal &journal, const JournalBench &bench, std::optional<qint64> fromWall,
                       std::optional<qint64> toWall)
{
    const qint64 from = fromWall.value_or(std::numeric_limits<qint64>::min() / 2);
    const qint64 to = toWall.value_or(std::numeric_limits<qint64>::max() / 2);
    // Each line with its time and its order among lines of the same time:
    // the meters' records in the bench's order, then the pair.
    struct Line {
        qint64 t;
        int order;
        QByteArray text;
    };
    std::vector<Line> lines;
    for (size_t k = 0; k < bench.members.size(); ++k) {
        const JournalBench::Member &m = bench.members[k];
        ReadingLog log;
        journal.load(m.run, log);
        QByteArray more = ",\"serial\":";
        JsonLines::appendString(more, m.serial);
        more += ",\"role\":";
        JsonLines::appendString(more, m.role);
        const std::vector<Point> points = pointsOf(log);
        for (int i = 0; i < log.size(); ++i) {
            if (points[size_t(i)].t < from || points[size_t(i)].t > to)
                continue;
            QByteArray text;
            JsonLines::appendRecord(text, log, i, more);
            lines.push_back({points[size_t(i)].t, int(k), text});
        }
    }
    for (const Derived &d : derivedOf(journal, bench)) {
        if (d.t >= from && d.t <= to)
            lines.push_back({d.t, int(bench.members.size()), json(bench.name, d) + '\n'});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line &a, const Line &b) { return a.t != b.t ? a.t < b.t : a.order < b.order; });
    QByteArray out;
    for (const Line &l : lines)
        out += l.text;
    return out;
}

QByteArray summaryObject(const JournalBench &bench, const Summary &summary)
{
    QByteArray out = "{\"bench\":" + QByteArray::number(bench.id) + ",\"name\":";
    JsonLines::appendString(out, bench.name);
    out += ",\"members\":[";
    for (size_t k = 0; k < summary.members.size(); ++k) {
        const MemberFigures &m = summary.members[k];
        out += k ? ",{\"run\":" : "{\"run\":";
        out += QByteArray::number(m.member.run) + ",\"role\":";
        JsonLines::appendString(out, m.member.role);
        out += ",\"serial\":";
        JsonLines::appendString(out, m.member.serial);
        out += ",\"stats\":" + JsonLines::statsObject(m.stats, m.fromWall, m.toWall).trimmed() + '}';
    }
    out += ']';
    const Figures none;
    const Figures &f = summary.inOut ? summary.figures : none;
    const double nan = qQNaN();
    const std::pair<const char *, double> numbers[] = {
        {"energy_in_wh", summary.inOut ? f.energyInWh : nan},
        {"energy_out_wh", summary.inOut ? f.energyOutWh : nan},
        {"energy_efficiency_pct", f.energyEfficiencyPct}};
    for (const auto &n : numbers) {
        out += ",\"";
        out += n.first;
        out += "\":";
        JsonLines::appendNumber(out, n.second);
    }
    out += ",\"loss_w\":{\"mean\":";
    JsonLines::appendNumber(out, f.lossMeanW);
    out += ",\"min\":";
    JsonLines::appendNumber(out, f.lossMinW);
    out += ",\"max\":";
    JsonLines::appendNumber(out, f.lossMaxW);
    out += "},\"pairs\":" + QByteArray::number(f.pairs) + ",\"gaps\":" + QByteArray::number(f.gaps) + "}\n";
    return out;
}

} // namespace Bench
