// Start-up time and CPU use of the whole application with the simulated
// meter: the time from process start to the first painted main window, then
// the process's CPU use over a stretch of seconds with the meter connected.
// Prints its figures; targets: first paint within 0.15 s (the CPU time to it
// is printed too, which other load on the machine does not change), at most
// 1.5 % of one core with an idle meter and the chart running.
//
// Usage: bench_app [seconds] [reports-per-second]   (defaults 10 and 0)
#include "benchfolders.h"
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Seconds since the process was started, from the kernel's record of it.
double secondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name, which is in parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i)
        rest >> field;
    unsigned long long startTicks = 0;
    rest >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec + now.tv_nsec / 1e9 - double(startTicks) / sysconf(_SC_CLK_TCK);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
           + usage.ru_stime.tv_usec / 1e6;
}

class FirstPaint : public QObject
{
public:
    double at = -1.0;
    double cpu = -1.0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && at < 0) {
            // Report once the paint has been handled.
            QTimer::singleShot(0, [this] {
                at = secondsSinceProcessStart();
                cpu = cpuSeconds();
            });
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const double rate = argc > 2 ? std::atof(argv[2]) : 0.0;
    if (!Startup::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const BenchFolders dir;
    sim::Meter &meter = sim::attach();
    meter.setReportRate(rate);

    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    Startup::applyLook(app);

    FirstPaint paint;
    MainDialog dialog;
    dialog.installEventFilter(&paint);
    dialog.show();
    QElapsedTimer guard;
    guard.start();
    while (paint.at < 0 && guard.elapsed() < 10000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);

    std::printf("Platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("First paint of the main window: %.3f s after process start (target at most 0.15 s), "
                "%.3f s of CPU\n",
                paint.at, paint.cpu);

    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("CPU over %.1f s with the meter connected (%.1f reports/s): %.3f s = %.2f %% of one core "
                "(target at most 1.5 %% when idle)\n",
                elapsed, rate, cpu, 100.0 * cpu / elapsed);
    return 0;
}
