#pragma once

// A user's input as Qt routes it: through the top-level window that holds
// the widget, at a point of it (its centre unless given).
#include <QPoint>
#include <QTest>
#include <QWidget>
#include <QWindow>

inline void clickOn(QWidget *w, QPoint at = QPoint(), Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, modifiers,
                      w->mapTo(top, at.isNull() ? w->rect().center() : at));
}
