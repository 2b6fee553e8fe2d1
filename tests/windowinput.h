#pragma once

// A user's clicks on the main window, routed as Qt routes them: through the
// top-level window that holds the widget, and through the pop-up menus.
#include "device/meterreading.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui_maindialog.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QtTest>

namespace {

// The window's meter measures `r` (by default what the dashboard shows):
// its report through the simulated meter, decoded by the dashboard's tick
// as its timer does. The window records nothing of a meter before this.
inline void meterMeasures(MainDialog &d, sim::Meter &meter, const MeterReading &r = meterReading())
{
    meter.inject(sim::measurementReport(r.vbus, r.ibus, r.power, r.pd, r.pm, r.cc1, r.cc2, r.cpu_temp, r.ntc_temp,
                                        r.capacity, r.energy, r.direction));
    d.dashboardTick();
}

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
