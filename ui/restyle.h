#pragma once

#include <QString>
#include <QWidget>

// Gives the widget a style sheet unless it has that one already: a new style
// sheet re-polishes the widget (its look worked out again against the whole
// application's sheet), and the live readings set theirs every second.
inline void restyle(QWidget *widget, const QString &styleSheet)
{
    if (widget->styleSheet() != styleSheet)
        widget->setStyleSheet(styleSheet);
}
