#pragma once

// A user's clicks on the main window, routed as Qt routes them: through the
// top-level window that holds the widget, and through the pop-up menus.
#include "ui/maindialog.h"
#include "ui_maindialog.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QtTest>

namespace {

// A click on a widget (its centre, or a point of it), through its window.
inline void clickOn(QWidget *w, QPoint at = QPoint(), Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, modifiers,
                      w->mapTo(top, at.isNull() ? w->rect().center() : at));
}

// An entry of the main window's data menu (or of another button's), chosen
// as a user does: the menu button clicked through the window, and the entry
// clicked in the menu that pops up, through the menu's window, whoever pops
// it up (the button's click, or the button itself once it holds the menu).
// False when the menu has no such entry.
inline bool chooseFromMenu(MainDialog &d, const QString &entry, QPushButton *button = nullptr)
{
    bool found = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible() || !menu->windowHandle() || !menu->windowHandle()->isExposed())
            return;
        poll.stop();
        for (QAction *a : menu->actions()) {
            if (a->text() == entry && a->isEnabled() && a->isVisible()) {
                found = true;
                QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                                  menu->actionGeometry(a).center());
                return;
            }
        }
        menu->close();
    });
    poll.start();
    clickOn(button ? button : d.form()->disp_btn_menu);
    static_cast<void>(QTest::qWaitFor([&] { return !poll.isActive(); }, 2000));
    poll.stop();
    return found;
}

} // namespace
