#pragma once

#include <QString>

#include <optional>

// Widget-free pieces of the live readings page: value texts, bar levels and
// the choices that the meter's reports select.
namespace Dashboard {

// VBUS, IBUS and power: width 8, 4 decimals from 100 up, 5 from 10 up, else 6.
QString bigValueText(double value);
// D+, D-, CC1, CC2, capacity, energy: 3 decimals. CPU temperature: 1 decimal.
QString smallValueText(double value);
QString temperatureText(double value);

// " | " + model word + " " + serial prefix.
QString deviceTitle(const QString &modelWord, const QString &serialPrefix);

// Full scales of the three bars.
constexpr double kVbusFullScale = 50.0;
constexpr double kIbusFullScale = 6.5;
constexpr double kPowerFullScale = 325.0;

struct Bar {
    int value;        // 13..100
    bool overRange;   // shown in the over-range colour
};
// level = value / fullScale * 87 + 13; from 100 on the bar is full and red.
Bar barLevel(double value, double fullScale);
// Style of a bar with its normal colour ("rgb(...)") or the over-range colour.
QString barStyle(const QString &normalColour, bool overRange);

// Style sheet of the direction image, nullopt for an unknown direction.
std::optional<QString> directionStyle(unsigned direction);

// Which minimum-current button the reported value selects: 0 (0 A),
// 1 (0.01 A), 2 (0.02 A), or nullopt to leave the buttons as they are.
std::optional<int> minCurrentChoice(double amps);

// The floating-input tip is shown below 3 V.
bool showsFloatingInputTip(double vbus);

// Styles marking the selected member of a button group and the others.
extern const char *const kSelectedStyle;
extern const char *const kUnselectedStyle;

} // namespace Dashboard
