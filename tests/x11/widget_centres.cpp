// Where buttons of the main window lie when the window has a given size. The
// X server knows only the top-level window, so the window test asks this
// program, which lays out the same window on the offscreen platform, where to
// click. Only widgets placed by layouts come out right: the few that the
// window places by hand depend on the sizes it had before.
// Usage: widget_centres WIDTH HEIGHT OBJECT-NAME...
// Prints one line "name x y" per widget: its centre relative to the window.
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
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
