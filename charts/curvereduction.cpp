#include "charts/curvereduction.h"

#include <algorithm>

namespace {

// Samples at least this many pixels apart are drawn as a spline.
constexpr int kSmoothPixels = 4;

MinMaxIndex::Extremes single(const std::vector<float> &v, int i)
{
    return {v[size_t(i)], v[size_t(i)], i, i};
}

// Merges b, which lies after a, into a.
void merge(MinMaxIndex::Extremes &a, const MinMaxIndex::Extremes &b)
{
    if (b.min < a.min || (b.min == a.min && b.minAt < a.minAt)) {
        a.min = b.min;
        a.minAt = b.minAt;
    }
    if (b.max > a.max || (b.max == a.max && b.maxAt < a.maxAt)) {
        a.max = b.max;
        a.maxAt = b.maxAt;
    }
}

void scan(MinMaxIndex::Extremes &e, const std::vector<float> &v, int begin, int end)
{
    for (int i = begin; i < end; ++i) {
        const float x = v[size_t(i)];
        if (x < e.min) {
            e.min = x;
            e.minAt = i;
        }
        if (x > e.max) {
            e.max = x;
            e.maxAt = i;
        }
    }
}

} // namespace

void MinMaxIndex::clear()
{
    m_levels.clear();
    m_covered = 0;
}

void MinMaxIndex::sync(const std::vector<float> &values)
{
    if (int(values.size()) < m_covered)
        clear();
    while (m_covered + kBlock <= int(values.size())) {
        Extremes block = single(values, m_covered);
        scan(block, values, m_covered + 1, m_covered + kBlock);
        m_covered += kBlock;
        // Entry j of level k + 1 merges entries 2j and 2j + 1 of level k.
        for (size_t k = 0;; ++k) {
            if (m_levels.size() <= k)
                m_levels.emplace_back();
            m_levels[k].push_back(block);
            if (m_levels[k].size() % 2 != 0)
                break;
            Extremes pair = m_levels[k][m_levels[k].size() - 2];
            merge(pair, block);
            block = pair;
        }
    }
}

MinMaxIndex::Extremes MinMaxIndex::query(const std::vector<float> &values, int begin, int end) const
{
    Extremes e = single(values, begin);
    const int firstBlock = (begin + kBlock - 1) / kBlock;
    const int lastBlock = std::min(end, m_covered) / kBlock;   // one past
    if (firstBlock >= lastBlock) {
        scan(e, values, begin + 1, end);
        return e;
    }
    scan(e, values, begin + 1, firstBlock * kBlock);
    size_t level = 0;
    for (int l = firstBlock, r = lastBlock; l < r; l >>= 1, r >>= 1, ++level) {
        const std::vector<Extremes> &blocks = m_levels[level];
        if (l & 1)
            merge(e, blocks[size_t(l++)]);
        if (r & 1)
            merge(e, blocks[size_t(--r)]);
    }
    scan(e, values, lastBlock * kBlock, end);
    return e;
}

size_t MinMaxIndex::memoryBytes() const
{
    size_t bytes = 0;
    for (const std::vector<Extremes> &level : m_levels)
        bytes += level.capacity() * sizeof(Extremes);
    return bytes;
}

SampleSpan visibleSpan(const std::vector<qint64> &times, qint64 t0, qint64 t1)
{
    const auto first = std::lower_bound(times.begin(), times.end(), t0);
    const auto last = std::upper_bound(first, times.end(), t1);
    SampleSpan span;
    span.inside = int(last - first);
    span.begin = std::max(0, int(first - times.begin()) - 1);
    span.end = std::min(int(times.size()), int(last - times.begin()) + 1);
    return span;
}

CurveShape shapeFor(int samplesInside, int columns)
{
    if (samplesInside * kSmoothPixels <= columns)
        return CurveShape::Smooth;
    if (samplesInside <= 2 * columns)
        return CurveShape::Straight;
    return CurveShape::Envelope;
}

QVector<QPointF> curvePoints(const std::vector<qint64> &times, const std::vector<float> &values,
                             const MinMaxIndex &index, const SampleSpan &span, CurveShape shape,
                             qint64 t0, qint64 t1, int columns)
{
    QVector<QPointF> points;
    auto add = [&](int i) { points.append(QPointF(double(times[size_t(i)]), double(values[size_t(i)]))); };
    if (shape != CurveShape::Envelope || columns < 1 || t1 <= t0) {
        points.reserve(span.end - span.begin);
        for (int i = span.begin; i < span.end; ++i)
            add(i);
        return points;
    }

    points.reserve(2 * columns + 2);
    const auto timeBegin = times.begin();
    int i = int(std::lower_bound(timeBegin + span.begin, timeBegin + span.end, t0) - timeBegin);
    if (i > span.begin)
        add(span.begin);   // the neighbour before the window
    const double width = double(t1 - t0) / columns;
    for (int c = 0; c < columns && i < span.end; ++c) {
        const qint64 columnEnd = c + 1 == columns ? t1 + 1 : t0 + qint64(width * (c + 1));
        const int j = int(std::lower_bound(timeBegin + i, timeBegin + span.end, columnEnd) - timeBegin);
        if (j == i)
            continue;
        const MinMaxIndex::Extremes e = index.query(values, i, j);
        const int a = std::min(e.minAt, e.maxAt);
        const int b = std::max(e.minAt, e.maxAt);
        add(a);
        if (b != a)
            add(b);
        i = j;
    }
    if (i < span.end)
        add(span.end - 1);   // the neighbour after the window
    return points;
}
