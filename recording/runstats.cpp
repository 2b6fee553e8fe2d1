#include "recording/runstats.h"

#include "recording/readinglog.h"

#include <algorithm>

RunStats::Sample RunStats::sampleOf(const ReadingLog &log, int i)
{
    Sample s;
    s.runMs = log.runMs(i);
    s.value[Vbus] = log.value(ReadingLog::Vbus, i);
    s.value[Ibus] = log.value(ReadingLog::Ibus, i);
    s.value[Power] = log.value(ReadingLog::Power, i);
    s.cap = log.value(ReadingLog::Cap, i);
    s.ele = log.value(ReadingLog::Ele, i);
    return s;
}

void RunStats::addPair(Sums &into, const Sample &a, const Sample &b)
{
    const qint64 dt = b.runMs - a.runMs;
    if (dt > kMaxPairGapMs)
        return;
    into.weightMs += double(dt);
    for (int c = 0; c < ChannelCount; ++c)
        into.integral[c] += (double(a.value[c]) + double(b.value[c])) / 2.0 * double(dt);
}

void RunStats::addPlain(Sums &into, const Sample &s)
{
    for (int c = 0; c < ChannelCount; ++c)
        into.plain[c] += double(s.value[c]);
}

void RunStats::clear()
{
    std::vector<Sample>().swap(m_samples);
    std::vector<Block>().swap(m_blocks);
    m_total = Sums();
}

void RunStats::append(const Sample &s)
{
    const int i = size();
    if (i > 0) {
        addPlain(m_total, m_samples.back());
        addPair(m_total, m_samples.back(), s);
    }
    if (i % kBlock == 0) {
        Block block;
        block.start = m_total;
        for (int c = 0; c < ChannelCount; ++c)
            block.min[c] = block.max[c] = s.value[c];
        m_blocks.push_back(block);
    }
    Block &block = m_blocks.back();
    ++block.count;
    for (int c = 0; c < ChannelCount; ++c) {
        block.min[c] = std::min(block.min[c], s.value[c]);
        block.max[c] = std::max(block.max[c], s.value[c]);
        m_min[c] = i == 0 ? s.value[c] : std::min(m_min[c], s.value[c]);
        m_max[c] = i == 0 ? s.value[c] : std::max(m_max[c], s.value[c]);
    }
    m_samples.push_back(s);
}

void RunStats::append(const ReadingLog &log, int i)
{
    append(sampleOf(log, i));
}

void RunStats::build(const ReadingLog &log)
{
    clear();
    m_samples.reserve(size_t(log.size()));
    m_blocks.reserve(size_t(log.size() / kBlock + 1));
    for (int i = 0; i < log.size(); ++i)
        append(log, i);
}

void RunStats::truncate(int records)
{
    if (records >= size())
        return;
    records = std::max(records, 0);
    // The blocks before the cut stay as they are; the last one is built anew.
    const int whole = records / kBlock;
    const std::vector<Sample> tail(m_samples.begin() + qint64(whole) * kBlock, m_samples.begin() + records);
    m_blocks.resize(size_t(whole));
    m_samples.resize(size_t(whole) * kBlock);
    m_total = m_blocks.empty() ? Sums() : m_blocks.back().start;
    if (!m_blocks.empty()) {
        // Back to the sums at the last whole block's last record.
        const int b0 = (whole - 1) * kBlock;
        for (int k = b0; k + 1 < whole * kBlock; ++k) {
            addPlain(m_total, m_samples[size_t(k)]);
            addPair(m_total, m_samples[size_t(k)], m_samples[size_t(k + 1)]);
        }
    }
    for (int c = 0; c < ChannelCount; ++c) {
        m_min[c] = m_blocks.empty() ? 0.0f : m_blocks.front().min[c];
        m_max[c] = m_blocks.empty() ? 0.0f : m_blocks.front().max[c];
        for (const Block &b : m_blocks) {
            m_min[c] = std::min(m_min[c], b.min[c]);
            m_max[c] = std::max(m_max[c], b.max[c]);
        }
    }
    for (const Sample &s : tail)
        append(s);
}

IntervalStats RunStats::finish(int first, int last, const Sums &from, const Sums &to, const Sample &a,
                               const Sample &z, const float *min, const float *max)
{
    IntervalStats r;
    r.first = first;
    r.last = last;
    r.records = last - first + 1;
    r.duration_s = double(z.runMs - a.runMs) / 1000.0;
    const double weight = to.weightMs - from.weightMs;
    ChannelStats *channels[ChannelCount] = {&r.vbus, &r.ibus, &r.power};
    for (int c = 0; c < ChannelCount; ++c) {
        ChannelStats &ch = *channels[c];
        ch.min = min[c];
        ch.max = max[c];
        ch.first = a.value[c];
        ch.last = z.value[c];
        ch.mean = weight > 0.0 ? (to.integral[c] - from.integral[c]) / weight
                               : (to.plain[c] - from.plain[c]) / double(r.records);
    }
    r.charge_ah = (to.integral[Ibus] - from.integral[Ibus]) / 3600000.0;
    r.energy_wh = (to.integral[Power] - from.integral[Power]) / 3600000.0;
    r.meter_cap_ah = double(z.cap) - double(a.cap);
    r.meter_ele_wh = double(z.ele) - double(a.ele);
    return r;
}

IntervalStats RunStats::interval(int first, int last) const
{
    first = std::max(first, 0);
    last = std::min(last, size() - 1);
    return compute(
        first, last, [this](int b) -> const Block & { return m_blocks[size_t(b)]; },
        [this](int k) -> const Sample & { return m_samples[size_t(k)]; });
}

IntervalStats RunStats::total() const
{
    if (m_samples.empty())
        return IntervalStats();
    Sums to = m_total;
    addPlain(to, m_samples.back());
    return finish(0, size() - 1, Sums(), to, m_samples.front(), m_samples.back(), m_min, m_max);
}

int RunStats::firstAtOrAfter(qint64 runMs) const
{
    return int(std::lower_bound(m_samples.begin(), m_samples.end(), runMs,
                                [](const Sample &s, qint64 t) { return s.runMs < t; })
               - m_samples.begin());
}

int RunStats::lastAtOrBefore(qint64 runMs) const
{
    return int(std::upper_bound(m_samples.begin(), m_samples.end(), runMs,
                                [](qint64 t, const Sample &s) { return t < s.runMs; })
               - m_samples.begin())
           - 1;
}

IntervalStats RunStats::between(qint64 fromRunMs, qint64 toRunMs) const
{
    return interval(firstAtOrAfter(fromRunMs), lastAtOrBefore(toRunMs));
}
