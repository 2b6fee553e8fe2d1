#pragma once

#include <QPointF>
#include <QVector>
#include <QtGlobal>

#include <vector>

// Minimum and maximum of every stretch of one channel's samples, kept as a
// pyramid of blocks (16 samples, then 32, 64, ...), so the extremes of any
// range are found in logarithmic time however long the run.
class MinMaxIndex
{
public:
    struct Extremes {
        float min;
        float max;
        int minAt;   // sample index of the minimum (the first one on a tie)
        int maxAt;   // sample index of the maximum
    };

    static constexpr int kBlock = 16;

    // Takes in the samples appended since the last call. A shorter column
    // than before means a new run: the index starts again.
    void sync(const std::vector<float> &values);
    void clear();

    // Extremes of values[begin, end); end > begin, and sync() has seen values.
    Extremes query(const std::vector<float> &values, int begin, int end) const;

    size_t memoryBytes() const;

private:
    std::vector<std::vector<Extremes>> m_levels;   // level k: blocks of kBlock << k samples
    int m_covered = 0;                             // samples folded into whole blocks
};

// Where the samples break off: places where more than kGapMs pass between
// two records (a pause, an unplugged meter). Kept up to date as the run
// grows, so finding the gaps of a range costs only the gaps in it.
class GapIndex
{
public:
    static constexpr qint64 kGapMs = 2500;

    struct Stretch {
        int begin;
        int end;   // one past
    };

    // Takes in the times appended since the last call. Fewer times than
    // before means a new run: the index starts again.
    void sync(const std::vector<qint64> &times);
    void clear();

    // The stretches of the samples [begin, end), in order, that no gap of
    // more than minGapMs (and more than kGapMs) interrupts; none when the
    // range is empty. sync() has seen the times.
    std::vector<Stretch> stretches(const std::vector<qint64> &times, int begin, int end, qint64 minGapMs) const;
    // At most `most` stretches: beyond that, the narrowest gaps are bridged
    // and only the widest stay breaks (an earlier one first among equals).
    static std::vector<Stretch> widestGaps(const std::vector<qint64> &times, std::vector<Stretch> stretches,
                                           size_t most);
    // The stretches of the samples [begin, end) that reach into the time
    // window [t0, t1] drawn on `columns` pixel columns: a gap narrower than
    // a column is no break, and at most `most` stretches are kept.
    std::vector<Stretch> visible(const std::vector<qint64> &times, int begin, int end, qint64 t0, qint64 t1,
                                 int columns, size_t most) const;

    size_t memoryBytes() const { return m_gapAfter.capacity() * sizeof(int); }

private:
    std::vector<int> m_gapAfter;   // i: a gap between samples i and i + 1
    int m_covered = 0;             // times looked at
};

// Curve pieces one curve is drawn in at most: each is a series of a chart
// with its own graphics, so a run unplugged and plugged in again hundreds of
// times would otherwise hold one for every gap it shows.
constexpr size_t kMostCurvePieces = 32;

// How a visible stretch of samples is best drawn on `columns` pixel columns.
enum class CurveShape {
    Smooth,    // sparse samples: a smooth curve through every one
    Straight,  // dense samples: straight segments through every one
    Envelope,  // denser than two a column: each column's minimum and maximum
};

// Index range of the samples to draw for the time window [t0, t1] (ms): the
// samples inside it plus one neighbour on each side, so the curve runs on to
// the plot's edges.
struct SampleSpan {
    int begin = 0;
    int end = 0;
    int inside = 0;   // samples within the window itself
};
SampleSpan visibleSpan(const std::vector<qint64> &times, qint64 t0, qint64 t1);

CurveShape shapeFor(int samplesInside, int columns);

// The points that draw values over the span: every sample, or for Envelope
// the minimum and maximum of the samples of each pixel column, in the order
// they were measured. Each point is a real sample (time in ms, value).
QVector<QPointF> curvePoints(const std::vector<qint64> &times, const std::vector<float> &values,
                             const MinMaxIndex &index, const SampleSpan &span, CurveShape shape,
                             qint64 t0, qint64 t1, int columns);

// The points that draw one stretch between gaps over [t0, t1] on `columns`
// pixel columns: curvePoints over it, a smooth curve where the shape is
// Smooth (its points between samples thinned to `tolerance`, as
// monotoneCurve does), and a lone sample as a dash two columns wide.
QVector<QPointF> stretchCurve(const std::vector<qint64> &times, const std::vector<float> &values,
                              const MinMaxIndex &index, const GapIndex::Stretch &stretch, CurveShape shape,
                              qint64 t0, qint64 t1, int columns, double tolerance = 0.0);

// The points of a dense curve (time in ms, value) in time order that a
// plot whose pixel rows are `rowValue` of the value apart needs: those the
// line through the points kept would pass more than a row away from are
// kept, the others left out. The line drawn stays within a row of every
// point left out, so a flat or straight stretch of any length costs two
// points, not two a pixel column; a peak is kept. In one pass.
QVector<QPointF> withinRow(const QVector<QPointF> &points, double rowValue);

// A smooth curve through samples (time in ms, value) in time order, drawn on
// `columns` pixel columns over [t0, t1]: a monotone cubic (Fritsch-Carlson
// tangents), so between two samples it never leaves their range and shows
// no value that was not measured. Returns every sample, and between them
// points a few pixels apart within the window; fewer than three samples are
// returned as they are. A tolerance above zero (in the value's units) leaves
// out the points between two samples that the line through those kept
// passes within the tolerance of, as withinRow does: where the curve is all
// but straight it is drawn with a few long segments instead of one every
// few pixels, and every sample stays.
QVector<QPointF> monotoneCurve(const QVector<QPointF> &samples, qint64 t0, qint64 t1, int columns,
                               double tolerance = 0.0);
