#pragma once

#include "ui/frameless.h"

#include <QObject>

class QWidget;

// A frameless top-level window moved by dragging it, resized from its edges
// and corners, and maximised by a double click on its title bar. Where the
// window system can resize the window itself (X11, Wayland), it is asked to;
// elsewhere the window sets its own geometry. A drag moves the window itself,
// except on Wayland, where only the window system can place a window.
class FramelessWindow : public QObject
{
    Q_OBJECT
public:
    FramelessWindow(QWidget *window, QWidget *titleBar);

    // Maximised to the primary screen's available area, or back.
    void toggleMaximised();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pressed(const QPoint &global);
    void moved(const QPoint &global);
    // Whether a drag moves the window itself from the pointer at `global`.
    bool followsPointer(const QPoint &global);

    QWidget *m_window;
    QWidget *m_titleBar;
    Frameless::DragState m_drag;
};
