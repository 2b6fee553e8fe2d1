#include "device/channels.h"

#include "device/meterreading.h"

const std::array<ChannelInfo, kChannelCount> kChannels = {{
    {"VBUS", "VBUS", 0, "V", 2, 20, 20, CurveGroup::Main},
    {"IBUS", "IBUS", 1, "A", 2, 10, 10, CurveGroup::Main},
    {"POWER", "Power", 2, "W", 2, 10, 10, CurveGroup::Main},
    {"PD", "DP", 0, "V", 2, 5, 5, CurveGroup::DpDm},
    {"PM", "DM", 1, "V", 2, 5, 5, CurveGroup::DpDm},
    {"CC1", "CC1", 0, "V", 2, 5, 5, CurveGroup::Cc},
    {"CC2", "CC2", 1, "V", 2, 5, 5, CurveGroup::Cc},
    {"CPU_Temp", "CPU", 0, "\u2103", 1, 40, 100, CurveGroup::Temp},
}};

QVector<int> groupChannels(CurveGroup group)
{
    QVector<int> channels;
    for (int c = 0; c < kChannelCount; ++c) {
        if (kChannels[c].group == group)
            channels << c;
    }
    return channels;
}

float channelValue(const MeterReading &r, int channel)
{
    switch (channel) {
    case VBUS: return r.vbus;
    case IBUS: return r.ibus;
    case POWER: return r.power;
    case PD: return r.pd;
    case PM: return r.pm;
    case CC1: return r.cc1;
    case CC2: return r.cc2;
    case CPU_Temp: return r.cpu_temp;
    default: return 0.0f;
    }
}
