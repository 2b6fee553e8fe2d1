#include "report/runcomparison.h"

#include "base/timetext.h"
#include "device/channels.h"
#include "recording/runinterval.h"
#include "recording/runjournal.h"
#include "recording/sigroksession.h"
#include "recording/stopconditions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RunComparison", text);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

RunComparison::RunComparison() = default;
RunComparison::~RunComparison() = default;

bool RunComparison::load(RunJournal *journal, const QVector<qint64> &ids, QString *error)
{
    return loadRuns(journal, ids, error, nullptr);
}

bool RunComparison::loadRuns(RunJournal *journal, const QVector<qint64> &ids, QString *error, PairColumns *pairs)
{
    m_runs.clear();
    m_bench = JournalBench();
    m_hasDerived = false;
    m_in = m_out = -1;
    m_pairs.clear();
    m_derived = Run();
    if (m_channel >= kChannelCount)
        m_channel = 0;
    m_journal = journal;
    if (ids.size() < kFewestRuns || ids.size() > kMostRuns) {
        *error = tr("请选择 %1 到 %2 次运行进行对比。").arg(kFewestRuns).arg(kMostRuns);
        return false;
    }
    if (!journal || !journal->isOpen()) {
        *error = journal ? journal->message() : QString();
        return false;
    }
    const std::vector<JournalRun> all = journal->runs();
    for (qint64 id : ids) {
        const auto found = std::find_if(all.begin(), all.end(), [id](const JournalRun &r) { return r.id == id; });
        if (found == all.end()) {
            *error = tr("无法读取运行 %1：%2").arg(id).arg(journal->message());
            m_runs.clear();
            return false;
        }
        m_runs.push_back(std::make_unique<Run>());
        m_runs.back()->info = *found;
    }
    if (!readColumn(m_channel, true, error, pairs)) {
        m_runs.clear();
        return false;
    }
    for (auto &run : m_runs) {
        const qint64 id = run->info.id;
        run->marks = journal->marks(id);
        if (run->records() > 0) {
            run->total = journal->statsOfRecords(id, 0, run->records() - 1);
            run->zeroRunMs = run->times.front();
        }
    }
    return true;
}

bool RunComparison::loadBench(RunJournal *journal, const JournalBench &bench, QString *error)
{
    QVector<qint64> ids;
    PairColumns pairs;
    for (const JournalBench::Member &m : bench.members) {
        if (m.role == QLatin1String("in"))
            pairs.in = ids.size();
        else if (m.role == QLatin1String("out"))
            pairs.out = ids.size();
        ids << m.run;
    }
    if (pairs.in < 0 || pairs.out < 0)
        pairs.in = pairs.out = -1;
    if (!loadRuns(journal, ids, error, &pairs))
        return false;
    m_bench = bench;
    // Each run's zero where its own clock reads the bench's earliest first
    // record, so one time since start is one moment for every meter.
    std::vector<qint64> firstWall(m_runs.size(), 0);
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (size_t k = 0; k < m_runs.size(); ++k) {
        const RunInterval interval(*journal, m_runs[k]->info.id);
        if (!interval.hasRecords())
            continue;
        firstWall[k] = interval.firstWall();
        m_runs[k]->zeroRunMs = interval.t0();
        earliest = std::min(earliest, firstWall[k]);
    }
    if (earliest == std::numeric_limits<qint64>::max())
        earliest = bench.startMs;
    for (size_t k = 0; k < m_runs.size(); ++k)
        m_runs[k]->zeroRunMs -= firstWall[k] ? firstWall[k] - earliest : 0;
    m_in = pairs.in;
    m_out = pairs.out;
    m_hasDerived = m_in >= 0 && m_out >= 0;
    if (m_hasDerived) {
        // The in and out meters' records paired as while recording, from
        // the columns read with their times, at times since start.
        const std::vector<float> (&read)[2][3] = pairs.values;
        const int sides[2] = {m_in, m_out};
        std::vector<Bench::Point> points[2];
        for (int s = 0; s < 2; ++s) {
            const Run &r = *m_runs[size_t(sides[s])];
            const size_t n = std::min({r.times.size(), read[s][0].size(), read[s][1].size(), read[s][2].size()});
            points[s].reserve(n);
            for (size_t i = 0; i < n; ++i)
                points[s].push_back({r.times[i] - r.zeroRunMs, read[s][0][i], read[s][1][i], read[s][2][i]});
        }
        m_pairs = Bench::pairAll(points[0], points[1], bench.periodMs);
    }
    return true;
}

QString RunComparison::channelName(int channel)
{
    switch (channel - kChannelCount) {
    case Efficiency: return tr("效率");
    case Loss: return tr("损耗");
    case Drop: return tr("压降");
    case Resistance: return tr("电阻");
    default: break;
    }
    return QLatin1String(kChannels[qBound(0, channel, kChannelCount - 1)].seriesName);
}

QString RunComparison::channelUnitOf(int channel)
{
    switch (channel - kChannelCount) {
    case Efficiency: return QStringLiteral("%");
    case Loss: return QStringLiteral("W");
    case Drop: return QStringLiteral("V");
    case Resistance: return QStringLiteral("\u03a9");
    default: break;
    }
    return channelUnit(qBound(0, channel, kChannelCount - 1));
}

int RunComparison::channelDecimals(int channel)
{
    if (channel >= kChannelCount)
        return channel - kChannelCount == Efficiency ? 2 : 3;
    return kChannels[qBound(0, channel, kChannelCount - 1)].decimals;
}

Bench::Figures RunComparison::benchFigures(qint64 fromMs, qint64 toMs) const
{
    if (!m_hasDerived)
        return Bench::Figures();
    if (fromMs > toMs)
        std::swap(fromMs, toMs);
    const auto first = std::lower_bound(m_pairs.begin(), m_pairs.end(), fromMs,
                                        [](const Bench::Derived &d, qint64 t) { return d.t < t; });
    const auto last = std::upper_bound(first, m_pairs.end(), toMs,
                                       [](qint64 t, const Bench::Derived &d) { return t < d.t; });
    // The pairs in place: a whole week's are not copied on every move of a cursor.
    Bench::Figures f = Bench::figures(interval(m_in, fromMs, toMs).energy_wh, interval(m_out, fromMs, toMs).energy_wh, {});
    for (auto d = first; d != last; ++d)
        Bench::add(f, *d);
    return f;
}

bool RunComparison::readColumns(std::vector<ColumnRead> &reads, QString *error) const
{
    auto readOne = [&](RunJournal &from, const ColumnRead &r) {
        return from.loadColumns(r.run, r.columns, r.values, r.times);
    };
    // A few readers of their own at once (each its own connection to the
    // database); what they could not read, by this one.
    std::vector<char> loaded(reads.size(), 0);
    std::atomic<int> next{0};
    const QString path = m_journal->path();
    auto read = [&] {
        RunJournal reader;
        if (!reader.open(path, RunJournal::Mode::Read))
            return;
        for (int k = next++; k < int(reads.size()); k = next++)
            loaded[size_t(k)] = readOne(reader, reads[size_t(k)]);
    };
    std::vector<std::thread> readers;
    const int threads = std::min(int(reads.size()), std::max(1, QThread::idealThreadCount()));
    for (int t = 1; t < threads; ++t)
        readers.emplace_back(read);
    read();
    for (std::thread &t : readers)
        t.join();
    for (size_t k = 0; k < reads.size(); ++k) {
        if (!loaded[k] && !readOne(*m_journal, reads[k])) {
            if (error)
                *error = tr("无法读取运行 %1：%2").arg(reads[k].run).arg(m_journal->message());
            return false;
        }
    }
    return true;
}

bool RunComparison::readColumn(int channel, bool times, QString *error, PairColumns *pairs)
{
    const ReadingLog::Column column = ReadingLog::columnOf(channel);
    std::vector<std::vector<float>> values(m_runs.size());
    std::vector<std::vector<qint64>> runTimes(times ? m_runs.size() : 0);
    std::vector<ColumnRead> reads;
    for (size_t k = 0; k < m_runs.size(); ++k) {
        reads.push_back({m_runs[k]->info.id, {column}, {&values[k]}, times ? &runTimes[k] : nullptr});
        for (int side = 0; pairs && side < 2; ++side) {
            if (int(k) != (side == 0 ? pairs->in : pairs->out))
                continue;
            reads.back().columns.insert(reads.back().columns.end(), {ReadingLog::Vbus, ReadingLog::Ibus, ReadingLog::Power});
            for (std::vector<float> &v : pairs->values[side])
                reads.back().values.push_back(&v);
        }
    }
    if (!readColumns(reads, error))
        return false;
    for (size_t k = 0; k < m_runs.size(); ++k) {
        Run &run = *m_runs[k];
        if (times) {
            run.times = std::move(runTimes[k]);
            run.gaps.clear();
            run.gaps.sync(run.times);
        }
        // A run still being recorded may have grown since its times were read.
        values[k].resize(run.times.size());
        run.values = std::move(values[k]);
        run.index.clear();
        run.index.sync(run.values);
    }
    m_channel = channel;
    return true;
}

QString RunComparison::runName(int i) const
{
    if (i == count())
        return channelName(m_channel);
    if (isBench())
        return m_bench.members[size_t(i)].role;
    const JournalRun &r = run(i).info;
    if (!r.name.trimmed().isEmpty())
        return r.name.trimmed();
    return QStringLiteral("#%1 %2").arg(r.id).arg(
        QDateTime::fromMSecsSinceEpoch(r.startMs).toString(QStringLiteral("MM-dd hh:mm")));
}

QColor RunComparison::colour(int i)
{
    // Eight colours told apart on a light and a dark background alike.
    static const QColor colours[kMostRuns] = {
        QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
        QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf),
    };
    return colours[((i % kMostRuns) + kMostRuns) % kMostRuns];
}

bool RunComparison::setChannel(int channel, QString *error)
{
    channel = qBound(0, channel, kChannelCount - 1 + (m_hasDerived ? DerivedCount : 0));
    if (channel == m_channel)
        return true;
    if (channel >= kChannelCount) {
        // The pairs that have a value of that channel (not a gap, nor a
        // resistance at too little current); the runs keep their channel.
        m_derived.times.clear();
        m_derived.values.clear();
        for (const Bench::Derived &d : m_pairs) {
            const double v[] = {d.efficiencyPct, d.lossW, d.dropV, d.resistanceOhm};
            const double value = v[channel - kChannelCount];
            if (std::isfinite(value)) {
                m_derived.times.push_back(d.t);
                m_derived.values.push_back(float(value));
            }
        }
        m_derived.gaps.clear();
        m_derived.gaps.sync(m_derived.times);
        m_derived.index.clear();
        m_derived.index.sync(m_derived.values);
        m_channel = channel;
        return true;
    }
    if (m_runs.empty()) {
        m_channel = channel;
        return true;
    }
    return readColumn(channel, false, error);
}

void RunComparison::alignAtStart()
{
    if (isBench())
        return;   // a bench's runs stay on its one clock
    for (auto &run : m_runs)
        run->zeroRunMs = run->records() ? run->times.front() : 0;
}

void RunComparison::setZero(int i, qint64 runMs)
{
    m_runs[size_t(i)]->zeroRunMs = runMs;
}

QStringList RunComparison::markNames() const
{
    QStringList names;
    for (const auto &run : m_runs) {
        for (const RunMark &m : run->marks) {
            if (!names.contains(m.name))
                names << m.name;
        }
    }
    return names;
}

int RunComparison::alignAtMark(const QString &name)
{
    if (isBench())
        return 0;
    alignAtStart();
    int found = 0;
    for (auto &run : m_runs) {
        for (const RunMark &m : run->marks) {
            if (m.name == name) {
                run->zeroRunMs += m.atMs;
                ++found;
                break;
            }
        }
    }
    return found;
}

qint64 RunComparison::markSinceStart(int i, const RunMark &mark) const
{
    const Run &r = run(i);
    const qint64 first = r.records() ? r.times.front() : 0;
    return first + mark.atMs - r.zeroRunMs;
}

qint64 RunComparison::endMs() const
{
    qint64 end = 0;
    for (const auto &run : m_runs) {
        if (run->records())
            end = std::max(end, run->times.back() - run->zeroRunMs);
    }
    return end;
}

qint64 RunComparison::beginMs() const
{
    qint64 begin = 0;
    for (const auto &run : m_runs) {
        if (run->records())
            begin = std::min(begin, run->times.front() - run->zeroRunMs);
    }
    return begin;
}

std::vector<QVector<QPointF>> RunComparison::pieces(int i, qint64 fromMs, qint64 toMs, int columns, size_t most) const
{
    const Run &r = run(i);
    std::vector<QVector<QPointF>> out;
    if (r.times.empty() || toMs <= fromMs || !curveShown(i))
        return out;
    columns = std::max(columns, 1);
    const qint64 t0 = fromMs + r.zeroRunMs, t1 = toMs + r.zeroRunMs;
    const SampleSpan span = visibleSpan(r.times, t0, t1);
    if (span.end <= span.begin)
        return out;
    const CurveShape shape = shapeFor(span.inside, columns);
    const double shift = double(r.zeroRunMs);
    for (const GapIndex::Stretch &s : r.gaps.visible(r.times, span.begin, span.end, t0, t1, columns, most)) {
        QVector<QPointF> pts = stretchCurve(r.times, r.values, r.index, s, shape, t0, t1, columns);
        for (QPointF &p : pts)
            p.setX(p.x() - shift);
        out.push_back(std::move(pts));
    }
    return out;
}

QVector<QPointF> RunComparison::points(int i, qint64 fromMs, qint64 toMs, int columns) const
{
    std::vector<QVector<QPointF>> one = pieces(i, fromMs, toMs, columns, 1);
    return one.empty() ? QVector<QPointF>() : std::move(one.front());
}

int RunComparison::recordNear(int i, qint64 sinceStartMs, qint64 reachMs) const
{
    const Run &r = run(i);
    const std::vector<qint64> &times = r.times;
    if (times.empty())
        return -1;
    const qint64 t = sinceStartMs + r.zeroRunMs;
    const auto at = std::lower_bound(times.begin(), times.end(), t);
    int best = -1;
    qint64 bestDistance = reachMs + 1;
    for (auto it : {at, at == times.begin() ? at : at - 1}) {
        if (it == times.end())
            continue;
        const qint64 distance = std::llabs(*it - t);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(it - times.begin());
        }
    }
    return best;
}

float RunComparison::valueAt(int i, int record) const
{
    return run(i).values[size_t(record)];
}

qint64 RunComparison::sinceStart(int i, int record) const
{
    return run(i).times[size_t(record)] - run(i).zeroRunMs;
}

IntervalStats RunComparison::interval(int i, qint64 fromMs, qint64 toMs) const
{
    const Run &r = run(i);
    if (fromMs > toMs)
        std::swap(fromMs, toMs);
    const std::vector<qint64> &times = r.times;
    const int first = int(std::lower_bound(times.begin(), times.end(), fromMs + r.zeroRunMs) - times.begin());
    const int last = int(std::upper_bound(times.begin(), times.end(), toMs + r.zeroRunMs) - times.begin()) - 1;
    if (!m_journal || first > last)
        return IntervalStats();
    return m_journal->statsOfRecords(r.info.id, first, last);
}

QString RunComparison::figureName(int figure)
{
    switch (Figure(figure)) {
    case Start: return tr("开始");
    case Duration: return tr("时长");
    case Records: return tr("记录数");
    case Charge: return tr("电量(Ah)");
    case Energy: return tr("能量(Wh)");
    case VbusMax: return tr("峰值电压(V)");
    case VbusMean: return tr("平均电压(V)");
    case IbusMax: return tr("峰值电流(A)");
    case IbusMean: return tr("平均电流(A)");
    case PowerMax: return tr("峰值功率(W)");
    case PowerMean: return tr("平均功率(W)");
    case EndReason: return tr("结束原因");
    case FigureCount: break;
    }
    return QString();
}

double RunComparison::figureValue(int figure, int i, bool *number) const
{
    const Run &r = run(i);
    *number = true;
    switch (Figure(figure)) {
    case Duration: return r.total.duration_s;
    case Records: return r.records();
    case Charge: return r.total.charge_ah;
    case Energy: return r.total.energy_wh;
    case VbusMax: return double(r.total.vbus.max);
    case VbusMean: return r.total.vbus.mean;
    case IbusMax: return double(r.total.ibus.max);
    case IbusMean: return r.total.ibus.mean;
    case PowerMax: return double(r.total.power.max);
    case PowerMean: return r.total.power.mean;
    default: break;
    }
    *number = false;
    return 0.0;
}

namespace {
int decimalsOf(int figure)
{
    switch (figure) {
    case RunComparison::Records: return 0;
    case RunComparison::Charge:
    case RunComparison::Energy:
    case RunComparison::IbusMax:
    case RunComparison::IbusMean: return 4;
    default: return 3;
    }
}
} // namespace

QString RunComparison::figureText(int figure, int i) const
{
    const Run &r = run(i);
    if (figure == Start)
        return TimeText::localDateTime(r.info.startMs);
    if (figure == Duration)
        return TimeText::runDuration(r.total.duration_s);
    if (figure == EndReason)
        return StopConditions::reasonWords(r.info.endReason, !r.info.finished());
    bool number = false;
    const double v = figureValue(figure, i, &number);
    return number ? QString::number(v, 'f', decimalsOf(figure)) : QString();
}

QString RunComparison::differenceText(int figure, int i) const
{
    if (i == 0 || figure == Start || figure == EndReason)
        return QString();
    bool number = false;
    const double first = figureValue(figure, 0, &number);
    const double v = figureValue(figure, i, &number);
    if (!number)
        return QString();
    const double d = v - first;
    QString text;
    if (figure == Duration)
        text = (d < 0 ? QStringLiteral("-") : QStringLiteral("+"))
               + TimeText::duration(qint64(std::llround(std::fabs(d) * 1000.0)));
    else
        text = (d >= 0 ? QStringLiteral("+") : QString()) + QString::number(d, 'f', decimalsOf(figure));
    if (std::fabs(first) > 1e-12)
        text += QStringLiteral(" (%1%2%)").arg(d >= 0 ? QStringLiteral("+") : QString()).arg(100.0 * d / first, 0, 'f', 1);
    return text;
}

QByteArray RunComparison::sigrokSession(QString *error) const
{
    if (!m_journal)
        return QByteArray();
    // One run's records in memory at a time.
    int rate = 1;
    for (int i = 0; i < count(); ++i)
        rate = std::max(rate, SigrokSession::rateOf(run(i).times));
    SigrokSession session(count() > 0 ? run(0).info.model : QString(), rate);
    for (int i = 0; i < count(); ++i) {
        const Run &r = run(i);
        ReadingLog log;
        if (!m_journal->load(r.info.id, log)) {
            *error = QStringLiteral("cannot read run %1 from the run journal (%2)").arg(r.info.id).arg(m_journal->detail());
            return QByteArray();
        }
        session.addRun(log, r.zeroRunMs, QStringLiteral("R%1").arg(r.info.id));
    }
    return session.bytes(error);
}

bool RunComparison::writeCsv(QIODevice &out) const
{
    if (!m_journal)
        return false;
    QStringList header{QStringLiteral("time_s")};
    for (int i = 0; i < count(); ++i) {
        for (int c = 0; c < kChannelCount; ++c)
            header << csvField(QStringLiteral("%1 %2(%3)").arg(runName(i), QLatin1String(kChannels[c].seriesName),
                                                               channelUnit(c)));
    }
    if (out.write((header.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) < 0)
        return false;
    // Each run's records are read a chunk at a time as the rows reach them.
    constexpr int kChunk = 8192;
    struct Reading {
        int next = 0;         // the run's next record
        int chunkFirst = 0;   // the record the chunk begins with
        ReadingLog chunk;
    };
    std::vector<Reading> reading(m_runs.size());
    QByteArray block;
    char number[64];
    for (;;) {
        // The row's time: the earliest of the runs' next records.
        qint64 at = 0;
        bool any = false;
        for (int i = 0; i < count(); ++i) {
            const Run &r = run(i);
            const int k = reading[size_t(i)].next;
            if (k < r.records() && (!any || r.times[size_t(k)] - r.zeroRunMs < at)) {
                at = r.times[size_t(k)] - r.zeroRunMs;
                any = true;
            }
        }
        if (!any)
            break;
        // Seconds with the ms: "1.250", "-0.500".
        const qint64 ms = std::llabs(at);
        std::snprintf(number, sizeof number, "%s%lld.%03lld", at < 0 ? "-" : "", ms / 1000, ms % 1000);
        block += number;
        for (int i = 0; i < count(); ++i) {
            const Run &r = run(i);
            Reading &rd = reading[size_t(i)];
            const int k = rd.next;
            const bool has = k < r.records() && r.times[size_t(k)] - r.zeroRunMs == at;
            if (has && k >= rd.chunkFirst + rd.chunk.size()) {
                if (!m_journal->load(r.info.id, rd.chunk, k, k + kChunk - 1) || rd.chunk.size() == 0)
                    return false;
                rd.chunkFirst = k;
            }
            for (int c = 0; c < kChannelCount; ++c) {
                block += ',';
                if (!has)
                    continue;
                const float v = rd.chunk.value(ReadingLog::columnOf(c), k - rd.chunkFirst);
                const std::to_chars_result written =
                    std::to_chars(number, number + sizeof number, double(v), std::chars_format::fixed, 6);
                block.append(number, int(written.ptr - number));
            }
            if (has)
                ++rd.next;
        }
        block += '\n';
        if (block.size() > (1 << 20)) {
            if (out.write(block) < 0)
                return false;
            block.clear();
        }
    }
    return out.write(block) >= 0;
}

size_t RunComparison::memoryBytes() const
{
    size_t bytes = 0;
    for (const auto &run : m_runs)
        bytes += run->times.capacity() * sizeof(qint64) + run->values.capacity() * sizeof(float)
                 + run->index.memoryBytes() + run->gaps.memoryBytes() + sizeof(Run);
    bytes += m_pairs.capacity() * sizeof(Bench::Derived) + m_derived.times.capacity() * sizeof(qint64)
             + m_derived.values.capacity() * sizeof(float) + m_derived.index.memoryBytes() + m_derived.gaps.memoryBytes();
    return bytes;
}
