// The frameless main window: dragging it, resizing it from its edges and
// corners, and the maximise toggle. Where the window system can resize the
// window itself (X11, Wayland), it is asked to; elsewhere the window sets its
// own geometry. A drag by the title bar moves the window itself, except on
// Wayland, where only the window system can place a window.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

void MainDialog::on_btnMenu_Max_clicked()
{
    if (!m_drag.haveSavedGeometry) {
        m_drag.savedGeometry = geometry();
        m_drag.haveSavedGeometry = true;
    }
    if (m_drag.maximised) {
        setGeometry(m_drag.savedGeometry);
    } else {
        m_drag.savedGeometry = geometry();
        setGeometry(QApplication::primaryScreen()->availableGeometry());
    }
    m_drag.maximised = !m_drag.maximised;
}

bool MainDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->widgetTitle && event->type() == QEvent::MouseButtonDblClick) {
        on_btnMenu_Max_clicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_drag.pressed = true;
        m_drag.dragging = false;
        m_drag.pressPos = event->globalPos();
        QWindow *window = windowHandle();
        if (m_drag.region == Frameless::None) {
            m_drag.dragOffset = event->globalPos() - frameGeometry().topLeft();
        } else if (window && window->startSystemResize(Frameless::edgesOf(m_drag.region))) {
            m_drag.pressed = false;
        }
    }
    QDialog::mousePressEvent(event);
}

void MainDialog::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint topLeft = geometry().topLeft();
    const QPoint bottomRight = topLeft + QPoint(width() - 1, height() - 1);
    if (!m_drag.pressed) {
        m_drag.region = Frameless::regionAt(topLeft, bottomRight, event->globalPos());
        setCursor(Frameless::cursorFor(m_drag.region));
    } else if (m_drag.region == Frameless::None) {
        event->accept();
        if (followsPointer(event->globalPos()))
            move(event->globalPos() - m_drag.dragOffset);
    } else {
        setGeometry(Frameless::resized(topLeft, bottomRight, event->globalPos(), m_drag.region, minimumSize()));
    }
    QDialog::mouseMoveEvent(event);
}

bool MainDialog::followsPointer(const QPoint &global)
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
    QWindow *window = windowHandle();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && window
        && window->startSystemMove()) {
        m_drag.pressed = false;
        return false;
    }
    return true;
}

void MainDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_drag.pressed = false;
        if (m_drag.region != Frameless::None)
            setCursor(Qt::ArrowCursor);
    }
    QDialog::mouseReleaseEvent(event);
}
