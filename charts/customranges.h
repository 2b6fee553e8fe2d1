#pragma once

#include "device/channels.h"

#include <QString>

// Fixed value-axis ranges the user set per channel, and whether each is on.
struct CustomRanges {
    bool on[kChannelCount] = {};
    float min[kChannelCount] = {};
    float max[kChannelCount] = {};

    // Settings keys, spelled as the file has always had them.
    static QString minKey(int channel);
    static QString maxKey(int channel);
    static QString flagKey(int channel);
    // Decimals of a stored bound (and of its edit): 1 for the temperature, else 2.
    static int decimals(int channel);
    // Largest bound the edits accept.
    static double top(int channel);

    // Reads every bound and flag; missing or unreadable values give 0 and off.
    void load();
    // Text of a bound as it is stored and shown ("3.30", "45.0").
    static QString boundText(int channel, float value);
};
