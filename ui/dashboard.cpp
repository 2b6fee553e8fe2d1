#include "ui/dashboard.h"

namespace Dashboard {

const char *const kSelectedStyle =
    "QPushButton{background-color: rgb(0, 170, 0);}QPushButton:hover{background-color:rgb(126, 255, 206); "
    "color: black;}QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";
const char *const kUnselectedStyle =
    "QPushButton{background-color: rgb(72, 72, 72);}QPushButton:hover{background-color:rgb(126, 255, 206); "
    "color: black;}QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";

QString bigValueText(double value)
{
    const int decimals = value >= 100.0 ? 4 : value >= 10.0 ? 5 : 6;
    return QStringLiteral("%1").arg(value, 8, 'f', decimals, QLatin1Char(' '));
}

QString smallValueText(double value)
{
    return QString::number(value, 'f', 3);
}

QString temperatureText(double value)
{
    return QString::number(value, 'f', 1);
}

QString deviceTitle(const QString &modelWord, const QString &serialPrefix)
{
    return QStringLiteral("%1%2%3%4").arg(QString(), QStringLiteral(" | "), modelWord + QLatin1Char(' '), serialPrefix);
}

Bar barLevel(double value, double fullScale)
{
    const double level = value / fullScale * 87.0 + 13.0;
    if (level >= 100.0)
        return {100, true};
    return {static_cast<int>(level), false};
}

QString barStyle(const QString &normalColour, bool overRange)
{
    return QStringLiteral("QProgressBar{border-radius: 5px;}QProgressBar::chunk {border-radius: 5px;background: %1;}")
        .arg(overRange ? QStringLiteral("rgb(230, 0, 0)") : normalColour);
}

std::optional<QString> directionStyle(unsigned direction)
{
    switch (direction) {
    case 0: return QStringLiteral("image: url(:/sys/rs/rs/down.png)");
    case 1: return QStringLiteral("image: url(:/sys/rs/rs/up.png)");
    case 2: return QString();
    default: return std::nullopt;
    }
}

std::optional<int> minCurrentChoice(double amps)
{
    if (amps < 0.001)
        return 0;
    if (amps > 0.009 && amps < 0.011)
        return 1;
    if (amps > 0.019 && amps < 0.021)
        return 2;
    return std::nullopt;
}

bool showsFloatingInputTip(double vbus)
{
    return vbus < 3.0;
}

} // namespace Dashboard
