#pragma once

#include <QColor>
#include <QPen>
#include <QString>
#include <QtCharts/QChart>

#include <array>

#include "device/channels.h"

// Colour and pen width of one curve; the table holds one per channel.
struct CurveStyle {
    QColor color = Qt::black;
    double width = 0.5;   // pen width, one of the six choices
};
using CurveStyles = std::array<CurveStyle, kChannelCount>;

namespace CurveStyleText {

// Settings keys of a channel's colour and width ("VBUS_col", "VBUS_lw").
QString colorKey(int channel);
QString widthKey(int channel);

// "ffrrggbb": alpha (always ff) then red, green, blue, lower case.
QString fromColor(const QColor &color);
// Opaque colour of such a text; black when it is missing or not hexadecimal.
QColor toColor(const QString &text);

// The six width choices "0.5" ... "3.0".
constexpr int kWidthChoices = 6;
QString widthChoice(int index);
// Pen width of a choice; 0.6 for an index that is not one.
double widthOfChoice(int index);
// Index of a saved width text, -1 when it is none of the choices.
int choiceOfWidth(const QString &text);

// Chart themes in selector order, under the names they are saved as.
constexpr int kThemeCount = 7;
QString themeName(int index);
QtCharts::QChart::ChartTheme theme(int index);
// Index of a saved theme name, -1 when it is none of them.
int themeIndex(const QString &name);

} // namespace CurveStyleText

// The pen of every curve: solid, square caps, bevel joins.
QPen curvePen(const CurveStyle &style);

// The colour a curve gets while the settings file holds none for it.
QColor defaultCurveColor(int channel);

// The table as the settings file holds it. A curve without a stored colour
// gets its default colour, which is stored then; a missing width is 0.5.
CurveStyles loadCurveStyles();
