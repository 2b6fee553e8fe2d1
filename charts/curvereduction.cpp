#include "charts/curvereduction.h"

#include <algorithm>
#include <cmath>

namespace {

// Samples at least this many pixels apart are drawn as a smooth curve.
constexpr int kSmoothPixels = 4;
// Pixels between the points of a smooth curve.
constexpr double kCurveStepPixels = 2.0;

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

void GapIndex::clear()
{
    m_gapAfter.clear();
    m_covered = 0;
}

void GapIndex::sync(const std::vector<qint64> &times)
{
    const int n = int(times.size());
    if (n < m_covered)
        clear();
    for (int i = std::max(0, m_covered - 1); i + 1 < n; ++i) {
        if (times[size_t(i + 1)] - times[size_t(i)] > kGapMs)
            m_gapAfter.push_back(i);
    }
    m_covered = n;
}

std::vector<GapIndex::Stretch> GapIndex::stretches(const std::vector<qint64> &times, int begin, int end,
                                                   qint64 minGapMs) const
{
    std::vector<Stretch> out;
    if (end <= begin)
        return out;
    const qint64 longer = std::max(minGapMs, kGapMs);
    int from = begin;
    for (auto gap = std::lower_bound(m_gapAfter.begin(), m_gapAfter.end(), begin);
         gap != m_gapAfter.end() && *gap + 1 < end; ++gap) {
        if (times[size_t(*gap + 1)] - times[size_t(*gap)] <= longer)
            continue;
        out.push_back({from, *gap + 1});
        from = *gap + 1;
    }
    out.push_back({from, end});
    return out;
}

std::vector<GapIndex::Stretch> GapIndex::widestGaps(const std::vector<qint64> &times, std::vector<Stretch> stretches,
                                                   size_t most)
{
    if (most == 0 || stretches.size() <= most)
        return stretches;
    // Gap k lies between stretch k and k + 1; the widest most - 1 stay.
    std::vector<std::pair<qint64, size_t>> gaps;
    gaps.reserve(stretches.size() - 1);
    for (size_t k = 0; k + 1 < stretches.size(); ++k)
        gaps.emplace_back(times[size_t(stretches[k + 1].begin)] - times[size_t(stretches[k].end - 1)], k);
    std::stable_sort(gaps.begin(), gaps.end(),
                     [](const std::pair<qint64, size_t> &a, const std::pair<qint64, size_t> &b) { return a.first > b.first; });
    std::vector<bool> kept(gaps.size(), false);
    for (size_t i = 0; i < most - 1; ++i)
        kept[gaps[i].second] = true;
    std::vector<Stretch> out;
    out.reserve(most);
    out.push_back(stretches.front());
    for (size_t k = 0; k + 1 < stretches.size(); ++k) {
        if (kept[k])
            out.push_back(stretches[k + 1]);
        else
            out.back().end = stretches[k + 1].end;
    }
    return out;
}

std::vector<GapIndex::Stretch> GapIndex::visible(const std::vector<qint64> &times, int begin, int end, qint64 t0,
                                                 qint64 t1, int columns, size_t most) const
{
    const qint64 msPerColumn = t1 > t0 && columns > 0 ? (t1 - t0) / columns : 0;
    std::vector<Stretch> inside;
    for (const Stretch &s : stretches(times, begin, end, msPerColumn)) {
        if (times[size_t(s.end - 1)] >= t0 && times[size_t(s.begin)] <= t1)
            inside.push_back(s);
    }
    return widestGaps(times, std::move(inside), most);
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

QVector<QPointF> stretchCurve(const std::vector<qint64> &times, const std::vector<float> &values,
                              const MinMaxIndex &index, const GapIndex::Stretch &stretch, CurveShape shape,
                              qint64 t0, qint64 t1, int columns, double tolerance)
{
    SampleSpan part;
    part.begin = stretch.begin;
    part.end = stretch.end;
    QVector<QPointF> points = curvePoints(times, values, index, part, shape, t0, t1, columns);
    if (shape == CurveShape::Smooth)
        points = monotoneCurve(points, t0, t1, columns, tolerance);
    if (points.size() == 1) {
        const double halfDash = t1 > t0 && columns > 0 ? double(t1 - t0) / columns : 500.0;
        const QPointF p = points[0];
        points = {QPointF(p.x() - halfDash, p.y()), p, QPointF(p.x() + halfDash, p.y())};
    }
    return points;
}

QVector<QPointF> withinRow(const QVector<QPointF> &points, double rowValue)
{
    const int n = points.size();
    if (n < 3 || !(rowValue > 0))
        return points;
    QVector<QPointF> out;
    out.reserve(n);
    out.append(points[0]);
    // From the last point kept (the anchor), the slopes of the lines that
    // pass within a row of every point since: a later point whose line from
    // the anchor has such a slope may stand for all of them.
    QPointF anchor = points[0], last = points[0];
    double low = -qInf(), high = qInf();
    for (int k = 1; k < n; ++k) {
        const QPointF p = points[k];
        double dx = p.x() - anchor.x();
        if (dx > 0) {
            const double slope = (p.y() - anchor.y()) / dx;
            if (slope >= low && slope <= high) {
                low = std::max(low, (p.y() - rowValue - anchor.y()) / dx);
                high = std::min(high, (p.y() + rowValue - anchor.y()) / dx);
                last = p;
                continue;
            }
        }
        // The line cannot reach p: the last point that could be reached is kept.
        if (last != anchor) {
            out.append(last);
            anchor = last;
        }
        dx = p.x() - anchor.x();
        if (dx > 0) {
            low = (p.y() - rowValue - anchor.y()) / dx;
            high = (p.y() + rowValue - anchor.y()) / dx;
        } else {
            // At the anchor's own time: a step, kept as it is.
            out.append(p);
            anchor = p;
            low = -qInf();
            high = qInf();
        }
        last = p;
    }
    if (last != anchor)
        out.append(last);
    return out;
}

QVector<QPointF> monotoneCurve(const QVector<QPointF> &samples, qint64 t0, qint64 t1, int columns,
                               double tolerance)
{
    const int n = samples.size();
    if (n < 3 || columns < 1 || t1 <= t0)
        return samples;

    // Slopes of the chords, then a tangent at each sample: zero at a turn
    // or a flat, else the weighted harmonic mean of the chords beside it,
    // which keeps the cubic of each interval monotone.
    std::vector<double> chord(static_cast<size_t>(n - 1));
    for (int k = 0; k + 1 < n; ++k) {
        const double h = samples[k + 1].x() - samples[k].x();
        chord[size_t(k)] = h > 0 ? (samples[k + 1].y() - samples[k].y()) / h : 0.0;
    }
    std::vector<double> tangent(static_cast<size_t>(n));
    tangent[0] = chord[0];
    tangent[size_t(n - 1)] = chord[size_t(n - 2)];
    for (int k = 1; k + 1 < n; ++k) {
        const double before = chord[size_t(k - 1)], after = chord[size_t(k)];
        if (before * after <= 0) {
            tangent[size_t(k)] = 0;
            continue;
        }
        const double h0 = samples[k].x() - samples[k - 1].x();
        const double h1 = samples[k + 1].x() - samples[k].x();
        const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
        tangent[size_t(k)] = (w0 + w1) / (w0 / before + w1 / after);
    }

    const double pixelsPerMs = double(columns) / double(t1 - t0);
    QVector<QPointF> points;
    points.reserve(n + int(columns / kCurveStepPixels) + 2 * n);
    // One interval's points, from its first sample to the next, when they
    // are thinned.
    QVector<QPointF> interval;
    for (int k = 0; k + 1 < n; ++k) {
        const QPointF a = samples[k], b = samples[k + 1];
        QVector<QPointF> &out = tolerance > 0 ? interval : points;
        if (tolerance > 0)
            interval.clear();
        out.append(a);
        const double h = b.x() - a.x();
        // Only the part inside the window is worth the points.
        const double from = std::max(a.x(), double(t0)), to = std::min(b.x(), double(t1));
        if (h <= 0 || to <= from) {
            if (tolerance > 0)
                points.append(a);
            continue;
        }
        const int steps = int(std::ceil((to - from) * pixelsPerMs / kCurveStepPixels));
        const double lo = std::min(a.y(), b.y()), hi = std::max(a.y(), b.y());
        const double m0 = tangent[size_t(k)] * h, m1 = tangent[size_t(k + 1)] * h;
        for (int j = 0; j <= steps; ++j) {
            const double x = from + (to - from) * j / steps;
            if (x <= a.x() || x >= b.x())
                continue;
            const double t = (x - a.x()) / h, t2 = t * t, t3 = t2 * t;
            const double y = (2 * t3 - 3 * t2 + 1) * a.y() + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * b.y()
                             + (t3 - t2) * m1;
            // Rounding must not carry it past its samples either.
            out.append(QPointF(x, std::min(hi, std::max(lo, y))));
        }
        if (tolerance > 0) {
            // Thinned with the next sample as its end, which the next
            // interval begins with.
            interval.append(b);
            const QVector<QPointF> kept = withinRow(interval, tolerance);
            for (int j = 0; j + 1 < kept.size(); ++j)
                points.append(kept[j]);
        }
    }
    points.append(samples[n - 1]);
    return points;
}
