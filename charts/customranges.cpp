#include "charts/customranges.h"

#include "base/setting.h"

namespace {

struct Keys {
    const char *min;
    const char *max;
    const char *flag;
    double top;
};

const Keys kKeys[kChannelCount] = {
    {"Vbus_Min_Value", "Vbus_Max_Value", "VbusIsOpen", 100},
    {"Ibus_Min_Value", "Ibus_Max_Value", "IbusIsOpen", 100},
    {"Powe_Min_Value", "Powe_Max_Value", "PoweIsOpen", 1000},
    {"PD_Min_Value", "PD_Max_Value", "PDIsOpen", 100},
    {"PM_Min_Value", "PM_Max_Value", "PMIsOpen", 100},
    {"CC1_Min_Value", "CC1_Max_Value", "CC1IsOpen", 100},
    {"CC2_Min_Value", "CC2_Max_Value", "CC2IsOpen", 100},
    {"CPU_Min_Value", "CPU_Max_Value", "CPUIsOpen", 200},
};

} // namespace

QString CustomRanges::minKey(int channel)
{
    return QLatin1String(kKeys[channel].min);
}

QString CustomRanges::maxKey(int channel)
{
    return QLatin1String(kKeys[channel].max);
}

QString CustomRanges::flagKey(int channel)
{
    return QLatin1String(kKeys[channel].flag);
}

int CustomRanges::decimals(int channel)
{
    return channel == CPU_Temp ? 1 : 2;
}

double CustomRanges::top(int channel)
{
    return kKeys[channel].top;
}

QString CustomRanges::boundText(int channel, float value)
{
    return QString::number(double(value), 'f', decimals(channel));
}

void CustomRanges::load()
{
    const Setting settings;
    for (int c = 0; c < kChannelCount; ++c) {
        min[c] = settings.read(minKey(c)).toFloat();
        max[c] = settings.read(maxKey(c)).toFloat();
    }
    for (int c = 0; c < kChannelCount; ++c)
        on[c] = settings.read(flagKey(c)).toInt(nullptr, 10) != 0;
}
