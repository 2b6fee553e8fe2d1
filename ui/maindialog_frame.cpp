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
    if (!m_haveSavedGeometry) {
        m_savedGeometry = geometry();
        m_haveSavedGeometry = true;
    }
    if (m_maximised) {
        setGeometry(m_savedGeometry);
    } else {
        m_savedGeometry = geometry();
        setGeometry(QApplication::primaryScreen()->availableGeometry());
    }
    m_maximised = !m_maximised;
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
        m_pressed = true;
        m_dragging = false;
        m_pressPos = event->globalPos();
        QWindow *window = windowHandle();
        if (m_region == Frameless::None) {
            m_dragOffset = event->globalPos() - frameGeometry().topLeft();
        } else if (window && window->startSystemResize(Frameless::edgesOf(m_region))) {
            m_pressed = false;
        }
    }
    QDialog::mousePressEvent(event);
}

void MainDialog::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint topLeft = geometry().topLeft();
    const QPoint bottomRight = topLeft + QPoint(width() - 1, height() - 1);
    if (!m_pressed) {
        m_region = Frameless::regionAt(topLeft, bottomRight, event->globalPos());
        setCursor(Frameless::cursorFor(m_region));
    } else if (m_region == Frameless::None) {
        event->accept();
        if (followsPointer(event->globalPos()))
            move(event->globalPos() - m_dragOffset);
    } else {
        setGeometry(Frameless::resized(topLeft, bottomRight, event->globalPos(), m_region, minimumSize()));
    }
    QDialog::mouseMoveEvent(event);
}

bool MainDialog::followsPointer(const QPoint &global)
{
    if (m_dragging)
        return true;
    // Within the drag distance of the press nothing moves, so a click or a
    // double click stays with the title bar.
    if ((global - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return false;
    m_dragging = true;
    // Where a window cannot place itself (Wayland), the window system moves
    // it from here on. Elsewhere the window follows the pointer itself: a
    // window manager taking over now would leave it behind by the drag
    // distance.
    QWindow *window = windowHandle();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && window
        && window->startSystemMove()) {
        m_pressed = false;
        return false;
    }
    return true;
}

void MainDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        if (m_region != Frameless::None)
            setCursor(Qt::ArrowCursor);
    }
    QDialog::mouseReleaseEvent(event);
}
