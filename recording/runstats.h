#pragma once

#include <QtGlobal>

#include <vector>

class ReadingLog;

// Figures of one channel over an interval of records.
struct ChannelStats {
    float min = 0.0f;
    float max = 0.0f;
    double mean = 0.0;    // time-weighted, see IntervalStats
    float first = 0.0f;   // value at the interval's first record
    float last = 0.0f;    // value at its last record
};

// What a run measured between two of its records, both included.
//
// Charge and energy are the trapezoid sums over consecutive records k, k+1:
// (IBUS_k + IBUS_k+1) / 2 x (t_k+1 - t_k), and the same with POWER, where t is
// the run's own timeline (never the wall clock). A pair more than 2.5 s apart
// is a gap in the run and adds nothing. The mean of a channel is weighted the
// same way: its integral over the pairs that count, divided by their time; an
// interval without such a pair gives the plain mean of its records. The
// meter's own CAP and ELE over the interval are their values at the last
// record less those at the first.
struct IntervalStats {
    int first = -1;        // record indices; -1 and 0 records for an empty interval
    int last = -1;
    int records = 0;
    double duration_s = 0.0;   // from the first record to the last on the run's timeline
    double charge_ah = 0.0;
    double energy_wh = 0.0;
    ChannelStats vbus, ibus, power;
    double meter_cap_ah = 0.0;
    double meter_ele_wh = 0.0;
};

// Interval statistics of a run, kept up to date one record at a time. A query
// costs the same whatever the interval's length: the sums are kept as running
// totals at the start of every block of kBlock records, and each block knows
// its channels' minimum and maximum, so a query reads the block table and the
// records of the two blocks its ends fall in. The run journal keeps the same
// blocks on disk and answers from them with the same code.
class RunStats
{
public:
    static constexpr int kBlock = 1024;
    // Consecutive records further apart than this are a gap.
    static constexpr qint64 kMaxPairGapMs = 2500;

    enum Channel { Vbus, Ibus, Power, ChannelCount };

    // The part of a record the statistics read.
    struct Sample {
        qint64 runMs = 0;
        float value[ChannelCount] = {};
        float cap = 0.0f;   // the meter's CAP, Ah
        float ele = 0.0f;   // the meter's ELE, Wh
    };
    // Running totals over the pairs ending at or before a record and the
    // records before it.
    struct Sums {
        double weightMs = 0.0;                  // time of the pairs that count
        double integral[ChannelCount] = {};     // value x ms over those pairs
        double plain[ChannelCount] = {};        // plain sum of the records' values
    };
    // Block b holds records b*kBlock .. b*kBlock + count - 1; `start` are the
    // sums at its first record (including the pair that leads into it).
    struct Block {
        Sums start;
        float min[ChannelCount] = {};
        float max[ChannelCount] = {};
        int count = 0;
    };

    void clear();
    void append(const Sample &sample);
    void append(const ReadingLog &log, int i);
    // All records of the log, from scratch.
    void build(const ReadingLog &log);
    // Keeps the first `records` records only.
    void truncate(int records);

    int size() const { return int(m_samples.size()); }
    const Sample &sample(int i) const { return m_samples[size_t(i)]; }
    const std::vector<Block> &blocks() const { return m_blocks; }

    // Records first .. last, clamped to the run; empty when nothing is left.
    IntervalStats interval(int first, int last) const;
    // The whole run, from running totals: O(1).
    IntervalStats total() const;

    // First record at or after runMs, and last at or before it, on the run's
    // timeline: size() and -1 when there is none.
    int firstAtOrAfter(qint64 runMs) const;
    int lastAtOrBefore(qint64 runMs) const;
    // Interval between two run-timeline times, both included.
    IntervalStats between(qint64 fromRunMs, qint64 toRunMs) const;

    static Sample sampleOf(const ReadingLog &log, int i);

    // The interval query over any store of blocks and records:
    // blockAt(b) gives block b, sampleAt(k) record k; sampleAt is asked only
    // for records of the blocks that hold `first` and `last`.
    template <class BlockAt, class SampleAt>
    static IntervalStats compute(int first, int last, BlockAt blockAt, SampleAt sampleAt);

private:
    // The sums of a pair of consecutive records added to `into`.
    static void addPair(Sums &into, const Sample &a, const Sample &b);
    static void addPlain(Sums &into, const Sample &s);
    static IntervalStats finish(int first, int last, const Sums &from, const Sums &to, const Sample &a,
                                const Sample &b, const float *min, const float *max);

    std::vector<Sample> m_samples;
    std::vector<Block> m_blocks;
    Sums m_total;                 // pairs and records up to the last one
    float m_min[ChannelCount] = {};
    float m_max[ChannelCount] = {};
};

template <class BlockAt, class SampleAt>
IntervalStats RunStats::compute(int first, int last, BlockAt blockAt, SampleAt sampleAt)
{
    if (first > last || first < 0)
        return IntervalStats();
    // Sums up to record j: the block's start plus the records of its block
    // before j (and the pairs between them up to j).
    auto prefix = [&](int j) {
        const int b = j / kBlock;
        Sums s = blockAt(b).start;
        Sample prev = sampleAt(b * kBlock);
        for (int k = b * kBlock; k < j; ++k) {
            const Sample next = sampleAt(k + 1);
            addPlain(s, prev);
            addPair(s, prev, next);
            prev = next;
        }
        return s;
    };
    const Sums from = prefix(first);
    Sums to = prefix(last);
    const Sample a = sampleAt(first);
    const Sample z = sampleAt(last);
    addPlain(to, z);

    float mn[ChannelCount], mx[ChannelCount];
    for (int c = 0; c < ChannelCount; ++c)
        mn[c] = mx[c] = a.value[c];
    auto scan = [&](int from, int to) {
        for (int k = from; k <= to; ++k) {
            const Sample s = sampleAt(k);
            for (int c = 0; c < ChannelCount; ++c) {
                mn[c] = qMin(mn[c], s.value[c]);
                mx[c] = qMax(mx[c], s.value[c]);
            }
        }
    };
    const int bf = first / kBlock, bl = last / kBlock;
    if (bf == bl) {
        scan(first, last);
    } else {
        scan(first, (bf + 1) * kBlock - 1);
        for (int b = bf + 1; b < bl; ++b) {
            const Block &block = blockAt(b);
            for (int c = 0; c < ChannelCount; ++c) {
                mn[c] = qMin(mn[c], block.min[c]);
                mx[c] = qMax(mx[c], block.max[c]);
            }
        }
        scan(bl * kBlock, last);
    }
    return finish(first, last, from, to, a, z, mn, mx);
}
