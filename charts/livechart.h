#pragma once

#include "device/channels.h"
#include "charts/curvereduction.h"
#include "charts/curvestyle.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <array>

namespace QtCharts {
class QCategoryAxis;
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QXYSeries;
} // namespace QtCharts

class ReadingLog;
struct CustomRanges;

// The live chart of a run: eight curves against time, one group
// of them on the chart at a time, value axes that widen with the values, and
// a time axis that scrolls or keeps the whole run in view. Its times (the
// axis, the nowMs arguments) are on the run's timeline of the reading log: ms
// since the epoch, from the wall clock at the run's start on a steady clock.
//
// The samples stay in the reading log; each curve is given only what the
// visible time range needs (a few points a pixel column at most), so a tick
// costs the same after a week as after a minute. Sparse samples are joined by
// a smooth curve that never leaves the range of the two samples it runs
// between, dense ones by straight segments, and denser ones still are drawn
// as each pixel column's minimum and maximum. Where the records break off (a
// pause, an unplugged meter) the curves break off too: each stretch between
// gaps is a series of its own, only the first of them in the legend.
class LiveChart : public QObject
{
    Q_OBJECT
public:
    enum DisplayMode { Accumulate = 1, Scroll = 2 };

    // Builds the chart with its axes and the main group shown; the time axis
    // shows the ten seconds from nowMs.
    LiveChart(const ReadingLog &log, const CustomRanges &ranges, const CurveStyles &styles, qint64 nowMs,
              QObject *parent = nullptr);
    ~LiveChart() override;

    QtCharts::QChart *chart() const { return m_chart; }
    QtCharts::QDateTimeAxis *axisX() const { return m_axisX; }
    // axis 0 is axisY1 (left), 1 and 2 are axisY2 and axisY3 (right).
    QtCharts::QCategoryAxis *axisY(int axis) const { return m_axisY[axis]; }
    // The series that draws the channel: the one in the legend, which draws
    // its first stretch.
    QtCharts::QXYSeries *series(int channel) const;
    CurveShape shape() const { return m_shape; }

    int displayMode() const { return m_displayMode; }
    // The mode chosen: the time axis follows the run again, even one the
    // user has zoomed or panned.
    void setDisplayMode(int mode);
    CurveGroup group() const { return m_group; }
    double axisMax(int axis) const { return m_axisMax[axis]; }
    double channelMax(int channel) const { return m_channelMax[channel]; }
    qint64 plotStartSecs() const { return m_plotStartSecs; }
    qint64 plotFirstEndSecs() const { return m_plotFirstEndSecs; }
    QDateTime groupSwitchTime() const { return m_groupSwitchTime; }
    const CurveStyle &style(int channel) const { return m_styles[channel]; }

    // A new run: the curves empty, the time axis on the ten seconds from now,
    // followed as the display mode says, whatever the user did to the last
    // run's. (The owner clears the log.)
    void startRun(qint64 nowMs);
    // A finished run on show: the time axis over all of it, the value axes
    // over the values of the shown curves.
    void showWholeRun();
    // The value axes of the shown curves over all their values.
    void fitValues();
    // After a record was appended to the log: widen the value axes its values
    // outgrow, move the time axis as the display mode says, redraw.
    void recorded(qint64 nowMs);
    // Puts the group's curves on the chart with their axis ranges.
    void showGroup(CurveGroup group, qint64 nowMs);
    // The channel's axis range: its custom range when that is on, else its default.
    void applyChannelRange(int channel);
    // applyChannelRange for every channel of the group on the chart, the
    // curves drawn for the new ranges; an axis put back on its default range
    // covers the curve again at the next tick.
    void reapplyRanges();

    void setCurveStyle(int channel, const CurveStyle &style);
    // Applies a theme of the selector (others leave the theme); the curves
    // keep their own pens either way.
    void setTheme(int index);

    // How far from a sample the read-out still shows it.
    static constexpr qint64 kReadoutReachMs = 1500;

    // The read-out at a time of the run's timeline: the nearest sample's
    // wall-clock time "hh:mm:ss" and, for each curve on the chart, its value
    // there with its unit; empty when no sample is within kReadoutReachMs.
    QString hoverText(qint64 msecsSinceEpoch) const;

    // Gives the curves on the chart the points of the visible range, if that
    // or the log changed since the last time.
    void refresh();

    // Margins, legend and theme (one of the selector's, else the light one)
    // of the live chart.
    static void styleChart(QtCharts::QChart *chart, int theme);

    // Bytes held for drawing, beyond the log itself.
    size_t memoryBytes() const;

signals:
    // The curves or the time axis may have moved.
    void redrawn();

private:
    struct DrawnState {
        qint64 t0 = 0, t1 = 0;
        int columns = 0, begin = 0, end = 0, shown = 0;
        quint64 generation = ~quint64(0);
        // Per value axis, the value of a pixel row.
        std::array<double, 3> rows{};
        bool operator==(const DrawnState &o) const
        {
            return t0 == o.t0 && t1 == o.t1 && columns == o.columns && begin == o.begin && end == o.end
                   && shown == o.shown && generation == o.generation && rows == o.rows;
        }
    };

    // One of the selector's themes (0 ... kThemeCount - 1).
    static void applyTheme(QtCharts::QChart *chart, int theme);
    void redraw();
    void attach(int channel);
    void detach(int channel);
    // Gives the channel one series on the chart per stretch of points.
    void drawPieces(int channel, const std::vector<QVector<QPointF>> &pieces);
    void attachPiece(int channel);
    void detachPiece(int channel);
    void autoRange(int channel, float value);
    void followTime(qint64 nowMs);
    // The time axis on a new range; refresh() after.
    void moveTimeAxis(const QDateTime &min, const QDateTime &max);
    void colorAxes();
    void penCurve(int channel);
    int shownMask() const;

    const ReadingLog &m_log;
    const CustomRanges &m_ranges;
    CurveStyles m_styles;
    QPointer<QtCharts::QChart> m_chart;
    QtCharts::QDateTimeAxis *m_axisX = nullptr;
    std::array<QtCharts::QCategoryAxis *, 3> m_axisY{};
    // Per channel the series of its stretches between gaps, the first named
    // in the legend; the first m_pieces[c] of them are on the chart while the
    // channel is shown.
    std::array<std::vector<QtCharts::QLineSeries *>, kChannelCount> m_lines;
    std::array<int, kChannelCount> m_pieces{};
    std::array<bool, kChannelCount> m_shown{};
    std::array<MinMaxIndex, kChannelCount> m_index;
    GapIndex m_gaps;

    int m_displayMode = Accumulate;
    CurveGroup m_group = CurveGroup::Main;
    std::array<double, 3> m_axisMax{{20, 10, 10}};
    std::array<double, kChannelCount> m_channelMax{};
    qint64 m_plotStartSecs = 0;
    qint64 m_plotFirstEndSecs = 0;
    QDateTime m_groupSwitchTime;

    CurveShape m_shape = CurveShape::Smooth;
    DrawnState m_drawn;
    quint64 m_indexedGeneration = ~quint64(0);
    bool m_refreshing = false;
    bool m_movingAxis = false;
    bool m_refreshAgain = false;
};
