// Where buttons of the main window lie when the window has a given size. The
// X server knows only the top-level window, so the window test asks this
// program, which lays out the same window on the offscreen platform, where to
// click. Only widgets placed by layouts come out right: the few that the
// window places by hand depend on the sizes it had before.
// Usage: widget_centres WIDTH HEIGHT OBJECT-NAME...
// Prints one line "name x y" per widget: its centre relative to the window.
// widget_centres --cursors: on the X server, a strip of five squares of
// 100x100 px at the screen's top left corner, each with one of Qt's cursors
// (arrow, left-right, up-down, top-left to bottom-right, top-right to
// bottom-left), so the window test knows the images of those cursors; prints
// the strip's window id and stays until it is ended.
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

// The strip of cursors.
int cursors(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget strip(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    strip.setGeometry(0, 0, 500, 100);
    const Qt::CursorShape shapes[] = {Qt::ArrowCursor, Qt::SizeHorCursor, Qt::SizeVerCursor, Qt::SizeFDiagCursor,
                                      Qt::SizeBDiagCursor};
    for (int i = 0; i < 5; ++i) {
        auto *square = new QWidget(&strip);
        square->setGeometry(100 * i, 0, 100, 100);
        square->setCursor(shapes[i]);
    }
    strip.show();
    std::printf("%llu\n", static_cast<unsigned long long>(strip.winId()));
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--cursors") == 0)
        return cursors(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT OBJECT-NAME...\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the program starts: the same scaling, look and a meter plugged in.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    Startup::applyLook(app);
    sim::attach(sim::Identity());

    int result = 0;
    {
        MainDialog dialog;
        dialog.show();
        dialog.resize(width, height);
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        if (dialog.size() != QSize(width, height)) {
            std::fprintf(stderr, "the window cannot take the size %dx%d\n", width, height);
            result = 1;
        }
        for (int i = 3; i < argc && result == 0; ++i) {
            const auto *w = dialog.findChild<QWidget *>(QString::fromLocal8Bit(argv[i]));
            if (!w || !w->isVisible()) {
                std::fprintf(stderr, "no visible widget %s\n", argv[i]);
                result = 1;
                break;
            }
            const QPoint c = w->mapTo(&dialog, w->rect().center());
            std::printf("%s %d %d\n", argv[i], c.x(), c.y());
        }
    }
    return result;
}
