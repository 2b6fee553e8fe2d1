#include "charts/livechart.h"

#include "base/setting.h"
#include "charts/axislabels.h"
#include "charts/chartview.h"
#include "charts/customranges.h"
#include "recording/readinglog.h"

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>

#include <QGraphicsLayout>
#include <QPalette>

#include <algorithm>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {

// Columns assumed before the chart has been laid out.
constexpr int kUnlaidColumns = 1000;
// How far (in pixel rows) a smooth curve's segments may pass from the curve
// itself: a quarter of a row, which the eye cannot tell from the curve, and
// a long bend needs a few segments instead of one every two pixels, each
// stroked by Qt Charts for the series' shape whenever the curve changes.
constexpr double kCurveToleranceRows = 0.25;

} // namespace

LiveChart::LiveChart(const ReadingLog &log, const CustomRanges &ranges, const CurveStyles &styles, qint64 nowMs,
                     QObject *parent)
    : QObject(parent), m_log(log), m_ranges(ranges), m_styles(styles)
{
    for (int c = 0; c < kChannelCount; ++c)
        m_channelMax[c] = kChannels[c].initialMax;
    m_groupSwitchTime = QDateTime::fromMSecsSinceEpoch(nowMs);

    m_chart = new QChart;
    m_chart->legend()->hide();
    for (int c = 0; c < kChannelCount; ++c) {
        m_lines[c].push_back(new QLineSeries);
        penCurve(c);
    }
    styleChart(m_chart, CurveStyleText::themeIndex(Setting().read(QStringLiteral("ChartTheme"))));

    m_axisX = new QDateTimeAxis;
    m_axisX->setFormat(QStringLiteral("hh:mm:ss"));
    m_axisX->setGridLineVisible(true);
    m_axisX->setLinePenColor(QColor(205, 115, 14));
    m_axisX->setTickCount(10);
    m_axisX->setRange(m_groupSwitchTime, m_groupSwitchTime.addSecs(10));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);

    for (int a = 0; a < 3; ++a) {
        m_axisY[a] = new QCategoryAxis;
        const int channel = a;   // VBUS, IBUS, POWER own the three axes at first
        if (a > 0)
            m_axisY[a]->setGridLineVisible(false);
        m_axisY[a]->setLinePenColor(m_styles[channel].color);
        applyChannelRange(channel);
        m_axisY[a]->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        m_chart->addAxis(m_axisY[a], a == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }

    for (int c = 0; c < kChannelCount; ++c)
        m_lines[c][0]->setName(QLatin1String(kChannels[c].seriesName));
    for (int c : groupChannels(CurveGroup::Main))
        attach(c);

    connect(m_axisX, &QDateTimeAxis::rangeChanged, this, &LiveChart::refresh);
    connect(m_chart, &QChart::plotAreaChanged, this, &LiveChart::refresh);
}

LiveChart::~LiveChart()
{
    // The curves on the chart belong to it (and went with it if it is gone
    // already); the others are ours.
    for (int c = 0; c < kChannelCount; ++c) {
        for (size_t k = size_t(m_pieces[c]); k < m_lines[c].size(); ++k)
            delete m_lines[c][k];
    }
    if (m_chart) {
        disconnect(m_chart, nullptr, this, nullptr);
        disconnect(m_axisX, nullptr, this, nullptr);
        if (!m_chart->scene())
            delete m_chart;
    }
}

void LiveChart::styleChart(QChart *chart, int theme)
{
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);

    QLegend *legend = chart->legend();
    legend->setVisible(true);
    legend->setAlignment(Qt::AlignBottom);
    legend->setBackgroundVisible(true);
    legend->setAutoFillBackground(true);
    legend->setColor(QColor(222, 233, 251));
    legend->setLabelColor(QColor(0, 100, 255));
    legend->setMaximumHeight(40);

    applyTheme(chart, theme < 0 ? 0 : theme);
    // The background fills the view edge to edge, so a drop shadow would fall
    // outside it: never seen, yet blurred anew on every repaint.
    chart->setDropShadowEnabled(false);
    chart->setAutoFillBackground(true);
}

void LiveChart::applyTheme(QChart *chart, int theme)
{
    chart->setTheme(CurveStyleText::theme(theme));
    // A theme's background is a gradient, worked out pixel by pixel on every
    // repaint; the light theme's runs from white to white, which one colour
    // paints the same.
    if (const QGradient *gradient = chart->backgroundBrush().gradient()) {
        const QGradientStops stops = gradient->stops();
        const bool flat = std::all_of(stops.begin(), stops.end(), [&](const QGradientStop &stop) {
            return stop.second == stops.front().second;
        });
        if (flat && !stops.isEmpty())
            chart->setBackgroundBrush(stops.front().second);
    }
    // A background of one opaque colour is the chart's own fill, a plain
    // rectangle: the background item would paint every pixel of it again on
    // each repaint.
    const QBrush brush = chart->backgroundBrush();
    const bool plain = brush.style() == Qt::SolidPattern && brush.color().alpha() == 255;
    if (plain) {
        QPalette palette = chart->palette();
        palette.setColor(QPalette::Window, brush.color());
        chart->setPalette(palette);
    }
    chart->setBackgroundVisible(!plain);
}

QXYSeries *LiveChart::series(int channel) const
{
    return m_lines[channel][0];
}

void LiveChart::penCurve(int channel)
{
    const QPen pen = curvePen(m_styles[channel]);
    for (QLineSeries *line : m_lines[channel])
        line->setPen(pen);
}

void LiveChart::attach(int channel)
{
    if (m_shown[channel])
        return;
    attachPiece(channel);
    m_shown[channel] = true;
}

void LiveChart::detach(int channel)
{
    if (!m_shown[channel])
        return;
    while (m_pieces[channel] > 0)
        detachPiece(channel);
    m_shown[channel] = false;
}

void LiveChart::attachPiece(int channel)
{
    std::vector<QLineSeries *> &lines = m_lines[channel];
    const int k = m_pieces[channel];
    if (int(lines.size()) == k) {
        auto *line = new QLineSeries;
        line->setName(QLatin1String(kChannels[channel].seriesName));
        line->setPen(curvePen(m_styles[channel]));
        lines.push_back(line);
    }
    QLineSeries *line = lines[size_t(k)];
    m_chart->addSeries(line);
    line->attachAxis(m_axisX);
    line->attachAxis(m_axisY[kChannels[channel].axis]);
    if (k > 0) {
        for (QLegendMarker *marker : m_chart->legend()->markers(line))
            marker->setVisible(false);
    }
    m_pieces[channel] = k + 1;
}

void LiveChart::detachPiece(int channel)
{
    const int k = m_pieces[channel] - 1;
    QLineSeries *line = m_lines[channel][size_t(k)];
    m_chart->removeSeries(line);
    if (k > 0)
        line->clear();
    m_pieces[channel] = k;
}

void LiveChart::drawPieces(int channel, const std::vector<QVector<QPointF>> &pieces)
{
    const int needed = std::max(1, int(pieces.size()));
    while (m_pieces[channel] < needed)
        attachPiece(channel);
    while (m_pieces[channel] > needed)
        detachPiece(channel);
    for (int k = 0; k < needed; ++k)
        m_lines[channel][size_t(k)]->replace(size_t(k) < pieces.size() ? pieces[size_t(k)] : QVector<QPointF>());
}

int LiveChart::shownMask() const
{
    int mask = 0;
    for (int c = 0; c < kChannelCount; ++c)
        mask |= m_shown[c] ? 1 << c : 0;
    return mask;
}

void LiveChart::setDisplayMode(int mode)
{
    m_displayMode = mode;
    viewHeld = false;
}

void LiveChart::startRun(qint64 nowMs)
{
    viewHeld = false;
    for (const std::vector<QLineSeries *> &lines : m_lines) {
        for (QLineSeries *line : lines)
            line->clear();
    }
    m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(nowMs), QDateTime::fromMSecsSinceEpoch(nowMs + 10000));
    m_plotStartSecs = m_axisX->min().toSecsSinceEpoch();
    m_plotFirstEndSecs = m_axisX->max().toSecsSinceEpoch();
    refresh();
}

void LiveChart::showWholeRun()
{
    const std::vector<qint64> &times = m_log.runTimes();
    if (times.empty())
        return;
    m_plotStartSecs = times.front() / 1000;
    m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(times.front()),
                      QDateTime::fromMSecsSinceEpoch(std::max(times.back(), times.front() + 10000)));
    fitValues();
}

void LiveChart::fitValues()
{
    if (m_log.size() == 0)
        return;
    for (int c : groupChannels(m_group)) {
        const std::vector<float> &values = m_log.column(ReadingLog::columnOf(c));
        autoRange(c, *std::max_element(values.begin(), values.end()));
    }
    refresh();
}

void LiveChart::recorded(qint64 nowMs)
{
    const int last = m_log.size() - 1;
    if (last < 0)
        return;
    for (int c : groupChannels(m_group))
        autoRange(c, m_log.value(ReadingLog::columnOf(c), last));
    followTime(nowMs);
    refresh();
}

void LiveChart::autoRange(int channel, float value)
{
    const int axis = kChannels[channel].axis;
    if (value > m_axisMax[axis] || m_channelMax[channel] > m_axisMax[axis]) {
        const double m = std::max(double(value), m_channelMax[channel]);
        m_axisMax[axis] = m;
        m_channelMax[channel] = m;
        if (!m_ranges.on[channel])
            autoRangeAxis(m_axisY[axis], channelUnit(channel), 10, kChannels[channel].decimals, float(m));
    }
}

void LiveChart::followTime(qint64 nowMs)
{
    if (m_displayMode == Scroll) {
        const qint64 s = nowMs / 1000;
        if (s > m_plotFirstEndSecs) {
            // The ten seconds up to now, moved on by one tick interval.
            const qint64 step = 10000 / m_axisX->tickCount();
            moveTimeAxis(QDateTime::fromMSecsSinceEpoch(nowMs - 10000 + step),
                         QDateTime::fromMSecsSinceEpoch(nowMs + step));
        }
    } else if (m_displayMode == Accumulate) {
        if (m_log.size() > 10 && !viewHeld)
            moveTimeAxis(QDateTime::fromSecsSinceEpoch(m_plotStartSecs), QDateTime::fromMSecsSinceEpoch(nowMs + 1000));
    }
}

void LiveChart::moveTimeAxis(const QDateTime &min, const QDateTime &max)
{
    if (min == m_axisX->min() && max == m_axisX->max())
        return;
    // The curves leave the chart while the axis moves and are drawn for the
    // new range once Qt Charts has taken it in (the caller refreshes): else
    // it would lay the old points out on the new axis, stroking every curve,
    // and then the new ones on the old axis, only to do it all again.
    for (int c = 0; c < kChannelCount; ++c) {
        for (int k = 0; k < m_pieces[c]; ++k)
            m_lines[c][size_t(k)]->clear();
    }
    m_drawn = DrawnState();
    m_movingAxis = true;
    m_axisX->setRange(min, max);
    m_movingAxis = false;
}

void LiveChart::showGroup(CurveGroup group, qint64 nowMs)
{
    m_group = group;
    const QVector<int> shown = groupChannels(group);
    if (group != CurveGroup::Main) {
        for (int c : shown) {
            attach(c);
            applyChannelRange(c);
            m_axisMax[kChannels[c].axis] = kChannels[c].defaultTop;
        }
    }
    for (int c = 0; c < kChannelCount; ++c) {
        if (kChannels[c].group != CurveGroup::Main && !shown.contains(c))
            detach(c);
    }
    if (group != CurveGroup::Main) {
        for (int c : groupChannels(CurveGroup::Main))
            detach(c);
    } else {
        for (int c : shown) {
            attach(c);
            applyChannelRange(c);
            m_axisMax[kChannels[c].axis] = kChannels[c].defaultTop;
        }
        m_groupSwitchTime = QDateTime::fromMSecsSinceEpoch(nowMs);
        if (m_displayMode == Scroll)
            m_axisX->setRange(m_groupSwitchTime.addSecs(-10), m_groupSwitchTime);
    }
    colorAxes();
    refresh();
}

void LiveChart::applyChannelRange(int channel)
{
    QCategoryAxis *axis = m_axisY[kChannels[channel].axis];
    if (m_ranges.on[channel])
        setFixedAxisRange(axis, channelUnit(channel), 10, kChannels[channel].decimals, m_ranges.min[channel],
                          m_ranges.max[channel]);
    else
        applyDefaultAxisRange(axis, channel);
}

void LiveChart::reapplyRanges()
{
    for (int c : groupChannels(m_group)) {
        applyChannelRange(c);
        // An axis back on its default range is widened again by the next
        // tick if the curve has been above it.
        if (!m_ranges.on[c])
            m_axisMax[kChannels[c].axis] = kChannels[c].defaultTop;
    }
    refresh();
}

void LiveChart::colorAxes()
{
    for (int c : groupChannels(m_group))
        m_axisY[kChannels[c].axis]->setLinePenColor(m_styles[c].color);
}

void LiveChart::setCurveStyle(int channel, const CurveStyle &style)
{
    m_styles[channel] = style;
    penCurve(channel);
    colorAxes();
}

void LiveChart::setTheme(int index)
{
    if (index >= 0 && index < CurveStyleText::kThemeCount)
        applyTheme(m_chart, index);
    for (int c = 0; c < kChannelCount; ++c)
        penCurve(c);
    refresh();
}

QString LiveChart::hoverText(qint64 msecs) const
{
    const std::vector<qint64> &times = m_log.runTimes();
    if (times.empty() || shownMask() == 0)
        return QString();
    const auto after = std::lower_bound(times.begin(), times.end(), msecs);
    int i = int(after - times.begin());
    if (i == int(times.size()) || (i > 0 && msecs - times[size_t(i - 1)] <= times[size_t(i)] - msecs))
        --i;
    if (qAbs(times[size_t(i)] - msecs) > kReadoutReachMs)
        return QString();
    // The sample's own wall-clock time, which is what its time stamp says.
    QString text = QDateTime::fromMSecsSinceEpoch(m_log.timeMs(i)).toString(QStringLiteral("hh:mm:ss"));
    for (int c = 0; c < kChannelCount; ++c) {
        if (!m_shown[c])
            continue;
        const float v = m_log.value(ReadingLog::columnOf(c), i);
        text += QStringLiteral("  %1 %2 %3")
                    .arg(QLatin1String(kChannels[c].seriesName))
                    .arg(double(v), 0, 'f', c == CPU_Temp ? 1 : 3)
                    .arg(channelUnit(c));
    }
    return text;
}

void LiveChart::refresh()
{
    if (!m_chart || m_movingAxis)
        return;
    if (m_refreshing) {
        // Asked again while swapping series (the plot area may have moved):
        // done once the current pass ends.
        m_refreshAgain = true;
        return;
    }
    m_refreshing = true;
    do {
        m_refreshAgain = false;
        redraw();
    } while (m_refreshAgain);
    m_refreshing = false;
    emit redrawn();
}

void LiveChart::redraw()
{
    if (m_indexedGeneration != m_log.generation()) {
        for (MinMaxIndex &index : m_index)
            index.clear();
        m_gaps.clear();
        m_indexedGeneration = m_log.generation();
    }

    const std::vector<qint64> &times = m_log.runTimes();
    DrawnState now;
    now.t0 = m_axisX->min().toMSecsSinceEpoch();
    now.t1 = m_axisX->max().toMSecsSinceEpoch();
    const int width = int(m_chart->plotArea().width());
    now.columns = width >= 1 ? width : kUnlaidColumns;
    const SampleSpan span = visibleSpan(times, now.t0, now.t1);
    now.begin = span.begin;
    now.end = span.end;
    now.generation = m_log.generation();
    m_shape = shapeFor(span.inside, now.columns);
    now.shown = shownMask();
    const double height = m_chart->plotArea().height();
    for (int a = 0; a < 3; ++a)
        now.rows[size_t(a)] = height >= 1 ? (m_axisY[a]->max() - m_axisY[a]->min()) / height : 0.0;
    if (now == m_drawn)
        return;

    // The stretches between gaps that reach into the window.
    m_gaps.sync(times);
    const std::vector<GapIndex::Stretch> stretches =
        m_gaps.visible(times, span.begin, span.end, now.t0, now.t1, now.columns, kMostCurvePieces);

    std::vector<QVector<QPointF>> pieces;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!m_shown[c])
            continue;
        const std::vector<float> &values = m_log.column(ReadingLog::columnOf(c));
        m_index[c].sync(values);
        const double tolerance = now.rows[size_t(kChannels[c].axis)] * kCurveToleranceRows;
        pieces.clear();
        for (const GapIndex::Stretch &s : stretches)
            pieces.push_back(
                stretchCurve(times, values, m_index[c], s, m_shape, now.t0, now.t1, now.columns, tolerance));
        drawPieces(c, pieces);
    }
    m_drawn = now;
}

size_t LiveChart::memoryBytes() const
{
    size_t bytes = 0;
    for (const MinMaxIndex &index : m_index)
        bytes += index.memoryBytes();
    return bytes;
}
