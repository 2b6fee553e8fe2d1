#include "charts/curvestyle.h"

#include "base/setting.h"

QT_CHARTS_USE_NAMESPACE

namespace CurveStyleText {

namespace {
const char *const kWidths[kWidthChoices] = {"0.5", "1.0", "1.5", "2.0", "2.5", "3.0"};

struct Theme {
    const char *name;
    QChart::ChartTheme theme;
};
const Theme kThemes[kThemeCount] = {
    {"Light", QChart::ChartThemeLight},
    {"BlueCerulean", QChart::ChartThemeBlueCerulean},
    {"Dark", QChart::ChartThemeDark},
    {"BrownSand", QChart::ChartThemeBrownSand},
    {"BlueNcs", QChart::ChartThemeBlueNcs},
    {"HighContrast", QChart::ChartThemeHighContrast},
    {"BlueIcy", QChart::ChartThemeBlueIcy},
};
} // namespace

QString colorKey(int channel)
{
    return QLatin1String(kChannels[channel].key) + QLatin1String("_col");
}

QString widthKey(int channel)
{
    return QLatin1String(kChannels[channel].key) + QLatin1String("_lw");
}

QString fromColor(const QColor &color)
{
    return QStringLiteral("%1").arg(color.rgb() | 0xFF000000u, 8, 16, QLatin1Char('0'));
}

QColor toColor(const QString &text)
{
    bool ok = false;
    const uint rgb = text.toUInt(&ok, 16);
    if (!ok)
        return QColor(Qt::black);
    QColor c = QColor::fromRgb(rgb);
    c.setAlpha(255);
    return c;
}

QString widthChoice(int index)
{
    return index >= 0 && index < kWidthChoices ? QLatin1String(kWidths[index]) : QString();
}

double widthOfChoice(int index)
{
    return index >= 0 && index < kWidthChoices ? 0.5 * (index + 1) : 0.6;
}

int choiceOfWidth(const QString &text)
{
    for (int i = 0; i < kWidthChoices; ++i) {
        if (text == QLatin1String(kWidths[i]))
            return i;
    }
    return -1;
}

QString themeName(int index)
{
    return QLatin1String(kThemes[index].name);
}

QChart::ChartTheme theme(int index)
{
    return kThemes[index].theme;
}

int themeIndex(const QString &name)
{
    for (int i = 0; i < kThemeCount; ++i) {
        if (name == QLatin1String(kThemes[i].name))
            return i;
    }
    return -1;
}

} // namespace CurveStyleText

QPen curvePen(const CurveStyle &style)
{
    return QPen(QBrush(style.color), style.width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

QColor defaultCurveColor(int channel)
{
    // Mid-tones, each far from the others, that read on white as on the
    // dark themes; the curves shown together differ most.
    static const QRgb colours[kChannelCount] = {
        0xe5483f,   // VBUS: red
        0x3b8fd9,   // IBUS: blue
        0xd99a1e,   // POWER: amber
        0x3aa655,   // PD: green
        0xa15fd6,   // PM: violet
        0x1fa5a0,   // CC1: teal
        0xd9569a,   // CC2: pink
        0xe67a22,   // CPU_Temp: orange
    };
    return QColor(colours[channel]);
}

CurveStyles loadCurveStyles()
{
    Setting settings;
    CurveStyles styles;
    // A colour not in the file yet is written there, as the curve settings
    // table reads each colour from the file: all of them in one write.
    std::vector<std::pair<QString, QString>> defaults;
    for (int c = 0; c < kChannelCount; ++c) {
        const QString key = CurveStyleText::colorKey(c);
        const QString text = settings.read(key);
        if (text.isEmpty()) {
            styles[c].color = defaultCurveColor(c);
            defaults.emplace_back(key, CurveStyleText::fromColor(styles[c].color));
        } else {
            styles[c].color = CurveStyleText::toColor(text);
        }
        const int choice = CurveStyleText::choiceOfWidth(settings.read(CurveStyleText::widthKey(c)));
        styles[c].width = CurveStyleText::widthOfChoice(choice < 0 ? 0 : choice);
    }
    settings.write(defaults);
    return styles;
}
