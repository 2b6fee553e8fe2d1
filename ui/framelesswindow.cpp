#include "ui/framelesswindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

FramelessWindow::FramelessWindow(QWidget *window, QWidget *titleBar)
    : QObject(window), m_window(window), m_titleBar(titleBar)
{
    window->installEventFilter(this);
    titleBar->installEventFilter(this);
}

void FramelessWindow::toggleMaximised()
{
    if (!m_drag.haveSavedGeometry) {
        m_drag.savedGeometry = m_window->geometry();
        m_drag.haveSavedGeometry = true;
    }
    if (m_drag.maximised) {
        m_window->setGeometry(m_drag.savedGeometry);
    } else {
        m_drag.savedGeometry = m_window->geometry();
        m_window->setGeometry(QApplication::primaryScreen()->availableGeometry());
    }
    m_drag.maximised = !m_drag.maximised;
}

// The window's own mouse events are seen here before its handlers, which
// still get them.
bool FramelessWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_titleBar && event->type() == QEvent::MouseButtonDblClick) {
        toggleMaximised();
        return true;
    }
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            pressed(static_cast<QMouseEvent *>(event)->globalPos());
        break;
    case QEvent::MouseMove:
        moved(static_cast<QMouseEvent *>(event)->globalPos());
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_drag.pressed = false;
            if (m_drag.region != Frameless::None)
                m_window->setCursor(Qt::ArrowCursor);
        }
        break;
    default:
        break;
    }
    return false;
}

void FramelessWindow::pressed(const QPoint &global)
{
    m_drag.pressed = true;
    m_drag.dragging = false;
    m_drag.pressPos = global;
    QWindow *window = m_window->windowHandle();
    if (m_drag.region == Frameless::None)
        m_drag.dragOffset = global - m_window->frameGeometry().topLeft();
    else if (window && window->startSystemResize(Frameless::edgesOf(m_drag.region)))
        m_drag.pressed = false;
}

void FramelessWindow::moved(const QPoint &global)
{
    const QPoint topLeft = m_window->geometry().topLeft();
    const QPoint bottomRight = topLeft + QPoint(m_window->width() - 1, m_window->height() - 1);
    if (!m_drag.pressed) {
        m_drag.region = Frameless::regionAt(topLeft, bottomRight, global);
        m_window->setCursor(Frameless::cursorFor(m_drag.region));
    } else if (m_drag.region == Frameless::None) {
        if (followsPointer(global))
            m_window->move(global - m_drag.dragOffset);
    } else {
        m_window->setGeometry(
            Frameless::resized(topLeft, bottomRight, global, m_drag.region, m_window->minimumSize()));
    }
}

bool FramelessWindow::followsPointer(const QPoint &global)
{
    if (m_drag.dragging)
        return true;
    // Within the drag distance of the press nothing moves, so a click or a
    // double click stays with the title bar.
    if ((global - m_drag.pressPos).manhattanLength() < QApplication::startDragDistance())
        return false;
    m_drag.dragging = true;
    // Where a window cannot place itself (Wayland), the window system moves
    // it from here on. Elsewhere the window follows the pointer itself: a
    // window manager taking over now would leave it behind by the drag
    // distance.
    QWindow *window = m_window->windowHandle();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && window
        && window->startSystemMove()) {
        m_drag.pressed = false;
        return false;
    }
    return true;
}
