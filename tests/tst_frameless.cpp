// The frameless main window: border bands and cursors, and the window driven
// by mouse events offscreen, where it moves and resizes itself.
#include "app/startup.h"
#include "charts/customcoordinates.h"
#include "device/usbthread.h"
#include "simulator.h"
#include "ui/frameless.h"
#include "ui/maindialog.h"
#include "ui_maindialog.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace Frameless;

namespace {

// Mouse input as the window system hands it over: to the top-level window at
// a global position, routed by Qt to whichever widget is under the pointer.
void send(QWidget *top, QEvent::Type type, const QPoint &global, Qt::MouseButton button = Qt::NoButton)
{
    QWindow *window = top->windowHandle();
    const QPoint local = window->mapFromGlobal(global);
    if (type == QEvent::MouseMove)
        QTest::mouseMove(window, local);
    else if (type == QEvent::MouseButtonPress)
        QTest::mousePress(window, button, Qt::NoModifier, local);
    else
        QTest::mouseRelease(window, button, Qt::NoModifier, local);
}

void clickThroughWindow(QWidget *w)
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, w->mapTo(top, w->rect().center()));
}

// Hover, press, drag to `to`, release: what a user does with the mouse.
void drag(QWidget *w, const QPoint &from, const QPoint &to, Qt::MouseButton button = Qt::LeftButton)
{
    send(w, QEvent::MouseMove, from);
    send(w, QEvent::MouseButtonPress, from, button);
    send(w, QEvent::MouseMove, to);
    send(w, QEvent::MouseButtonRelease, to, button);
}

} // namespace

class TestFrameless : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
        QVERIFY(QDir::setCurrent(m_dir.path()));
        sim::reset();
    }

    void bands()
    {
        const QPoint tl(100, 50), br(1099, 849);
        QCOMPARE(regionAt(tl, br, QPoint(100, 400)), Left);
        QCOMPARE(regionAt(tl, br, QPoint(101, 400)), Left);
        QCOMPARE(regionAt(tl, br, QPoint(102, 400)), None);
        QCOMPARE(regionAt(tl, br, QPoint(99, 400)), None);
        QCOMPARE(regionAt(tl, br, QPoint(1098, 400)), Right);
        QCOMPARE(regionAt(tl, br, QPoint(500, 51)), Top);
        QCOMPARE(regionAt(tl, br, QPoint(500, 848)), Bottom);
        QCOMPARE(regionAt(tl, br, QPoint(101, 51)), TopLeft);
        QCOMPARE(regionAt(tl, br, QPoint(100, 849)), BottomLeft);
        QCOMPARE(regionAt(tl, br, QPoint(1099, 848)), BottomRight);
        QCOMPARE(regionAt(tl, br, QPoint(1098, 50)), TopRight);
        QCOMPARE(cursorFor(TopLeft), Qt::SizeFDiagCursor);
        QCOMPARE(cursorFor(BottomRight), Qt::SizeFDiagCursor);
        QCOMPARE(cursorFor(TopRight), Qt::SizeBDiagCursor);
        QCOMPARE(cursorFor(Left), Qt::SizeHorCursor);
        QCOMPARE(cursorFor(Bottom), Qt::SizeVerCursor);
        QCOMPARE(cursorFor(None), Qt::ArrowCursor);
        QCOMPARE(edgesOf(BottomLeft), Qt::BottomEdge | Qt::LeftEdge);

        // The left edge follows only while the minimum width is kept.
        const QSize minimum(900, 700);
        QCOMPARE(resized(tl, br, QPoint(150, 400), Left, minimum), QRect(QPoint(150, 50), br));
        QCOMPARE(resized(tl, br, QPoint(199, 400), Left, minimum), QRect(tl, br));
        QCOMPARE(resized(tl, br, QPoint(150, 140), TopLeft, minimum), QRect(QPoint(150, 140), br));
        QCOMPARE(resized(tl, br, QPoint(150, 149), TopRight, minimum), QRect(tl, QPoint(149, 849)));
        QCOMPARE(resized(tl, br, QPoint(1200, 900), BottomRight, minimum).size(), QSize(1100, 850));
    }

    void windowMovesAndResizes()
    {
        MainDialog d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QRect start(40, 30, 1300, 950);
        d.setGeometry(start);
        QCOMPARE(d.geometry(), start);

        // Drag by the title bar.
        const QPoint title = d.mapToGlobal(d.form()->widgetTitle->geometry().center() + QPoint(0, 5));
        drag(&d, title, title + QPoint(50, 30));
        QCOMPARE(d.geometry(), start.translated(50, 30));
        d.setGeometry(start);

        // The right edge: its cursor while hovering, then wider.
        const QPoint right(start.right(), start.center().y());
        send(&d, QEvent::MouseMove, right - QPoint(2, 0));
        QCOMPARE(d.cursor().shape(), Qt::ArrowCursor);
        send(&d, QEvent::MouseMove, right);
        QCOMPARE(d.cursor().shape(), Qt::SizeHorCursor);
        drag(&d, right, right + QPoint(40, 0));
        // Width = cursor x - left x: the cursor ends on the pixel just outside.
        QCOMPARE(d.geometry(), QRect(start.topLeft(), QSize(1339, 950)));
        QCOMPARE(d.cursor().shape(), Qt::ArrowCursor);
        d.setGeometry(start);

        // The bottom-left corner, then the top edge against the minimum height.
        const QPoint bottomLeft(start.left(), start.bottom());
        drag(&d, bottomLeft, bottomLeft + QPoint(30, 20));
        QCOMPARE(d.geometry(), QRect(QPoint(70, 30), QSize(1270, 969)));
        d.setGeometry(start);
        const QPoint top(start.center().x(), start.top());
        drag(&d, top, top + QPoint(0, 60));   // 950 - 60 would be below 900
        QCOMPARE(d.geometry(), start);
        drag(&d, top, top + QPoint(0, 40));
        QCOMPARE(d.geometry(), QRect(QPoint(40, 70), QSize(1300, 910)));
        d.setGeometry(start);

        // The right button neither drags nor resizes.
        drag(&d, title, title + QPoint(80, 80), Qt::RightButton);
        drag(&d, right, right + QPoint(80, 0), Qt::RightButton);
        QCOMPARE(d.geometry(), start);

        // A press on the title bar and a jitter within the drag distance
        // leave the window where it is.
        send(&d, QEvent::MouseButtonPress, title, Qt::LeftButton);
        send(&d, QEvent::MouseMove, title + QPoint(2, 1));
        send(&d, QEvent::MouseButtonRelease, title + QPoint(2, 1), Qt::LeftButton);
        QCOMPARE(d.geometry(), start);

        // Double clicks on the title bar: the work area, then back.
        const QPoint inTitle = d.windowHandle()->mapFromGlobal(title);
        QTest::mouseDClick(d.windowHandle(), Qt::LeftButton, Qt::NoModifier, inTitle);
        QCOMPARE(d.geometry().topLeft(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
        QTest::mouseDClick(d.windowHandle(), Qt::LeftButton, Qt::NoModifier, inTitle);
        QCOMPARE(d.geometry(), start);
        d.form()->btnMenu_Max->click();
        d.form()->btnMenu_Max->click();
        QCOMPARE(d.geometry(), start);
    }

    // The close button ends the program even with the custom axis window
    // open, which then closes with it.
    void closeEndsTheProgram()
    {
        MainDialog d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        clickThroughWindow(d.form()->tbtn3);
        clickThroughWindow(d.form()->disp_btn_RangCustom);
        QVERIFY(d.customAxis()->isVisible());

        QTimer::singleShot(0, &d, [&] { clickThroughWindow(d.form()->btnMenu_Close); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!d.customAxis()->isVisible());
        QVERIFY(!d.worker()->isRunning());
    }
};

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
