#pragma once

#include <QString>
#include <QVector>

#include <array>

struct MeterReading;

// The four sets of curves the chart can show; one is on the chart at a time.
enum class CurveGroup { Main, DpDm, Cc, Temp };

// The eight plotted channels, in the fixed order that indexes the series,
// the curve styles and the per-channel maxima.
enum Channel { VBUS, IBUS, POWER, PD, PM, CC1, CC2, CPU_Temp };
constexpr int kChannelCount = 8;

struct ChannelInfo {
    const char *key;          // prefix of the channel's settings keys
    const char *seriesName;   // name of its curve
    int axis;                 // value axis: 0 left (axisY1), 1 and 2 right (axisY2, axisY3)
    const char *unit;         // UTF-8
    int decimals;             // of the axis labels
    double defaultTop;        // default axis range is 0 to this
    double initialMax;        // first value of its running maximum
    CurveGroup group;
};

extern const std::array<ChannelInfo, kChannelCount> kChannels;

inline QString channelUnit(int channel)
{
    return QString::fromUtf8(kChannels[channel].unit);
}

// The channels of a group, in channel order.
QVector<int> groupChannels(CurveGroup group);

// The channel's value in a reading.
float channelValue(const MeterReading &reading, int channel);
