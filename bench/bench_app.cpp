// The whole application with the simulated meter against the floor of a Qt
// Charts window (bench_floor: a bare dialog with a chart of three series),
// side by side: each round runs the floor, then the window, each in a
// process of its own and measured the same way, the time from process start
// to the first paint (and the CPU used to it) and the CPU at rest, from 4 s
// after the first paint on, with the meter plugged in and its run recording.
// Prints each round and the medians' ratios to the floor's.
// Targets: first paint at most 3 times the floor's, CPU at rest at most 4
// times the floor's.
//
// Usage: bench_app [seconds] [reports-per-second] [rounds]   (defaults 20, 4, 3)
//        bench_app --window seconds reports-per-second       (one window)
#include "benchfolders.h"
#include "benchprocess.h"
#include "app/startup.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Figures {
    double firstPaint = -1.0;
    double firstPaintCpu = -1.0;
    double restPercent = -1.0;
};

class FirstPaint : public QObject
{
public:
    Figures figures;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && figures.firstPaint < 0) {
            figures.firstPaint = 0.0;
            // Once the paint has been handled.
            QTimer::singleShot(0, [this] {
                figures.firstPaint = BenchProcess::secondsSinceStart();
                figures.firstPaintCpu = BenchProcess::cpuSeconds();
            });
        }
        return false;
    }
    bool painted() const { return figures.firstPaint > 0; }
};

int runWindow(int argc, char *argv[], int seconds, double rate)
{
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
    while (!paint.painted() && guard.elapsed() < 10000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);

    // At rest: after what follows the first paint (the journal opened, the
    // run's first records), as the floor is measured from 4 s on.
    double cpu0 = 0.0;
    QElapsedTimer rest;
    QTimer::singleShot(4000, [&] {
        cpu0 = BenchProcess::cpuSeconds();
        rest.start();
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    });
    app.exec();
    paint.figures.restPercent = 100.0 * (BenchProcess::cpuSeconds() - cpu0) / (rest.elapsed() / 1000.0);
    BenchProcess::report(paint.figures.firstPaint, paint.figures.firstPaintCpu, paint.figures.restPercent);
    return 0;
}

// Runs a bench that reports its figures; false when it reports none.
bool run(const std::string &command, Figures &figures)
{
    FILE *out = popen(command.c_str(), "r");
    if (!out)
        return false;
    char line[512];
    bool found = false;
    while (std::fgets(line, sizeof line, out)) {
        if (std::sscanf(line, "figures %lf %lf %lf", &figures.firstPaint, &figures.firstPaintCpu,
                        &figures.restPercent) == 3)
            found = true;
    }
    return pclose(out) == 0 && found;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!Startup::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::strcmp(argv[1], "--window") == 0)
        return runWindow(argc, argv, std::max(1, std::atoi(argv[2])), std::atof(argv[3]));

    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const double rate = argc > 2 ? std::atof(argv[2]) : 4.0;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    const std::string floor = QFileInfo(QString::fromStdString(self)).absolutePath().toStdString() + "/bench_floor";

    std::printf("Platform: %s; the window with the simulated meter at %.1f reports/s; %d s at rest a round\n",
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "display" : qgetenv("QT_QPA_PLATFORM").constData(), rate,
                seconds);
    std::vector<double> floorPaint, floorPaintCpu, floorRest, windowPaint, windowPaintCpu, windowRest;
    for (int r = 1; r <= rounds; ++r) {
        Figures f, w;
        if (!run("'" + floor + "' " + std::to_string(seconds), f)
            || !run("'" + self + "' --window " + std::to_string(seconds) + " " + std::to_string(rate), w)) {
            std::fprintf(stderr, "round %d: a bench reported no figures\n", r);
            return 1;
        }
        std::printf("round %d: first paint: floor %.3f s (%.3f s CPU), window %.3f s (%.3f s CPU); "
                    "CPU at rest: floor %.3f %%, window %.3f %% of one core\n",
                    r, f.firstPaint, f.firstPaintCpu, w.firstPaint, w.firstPaintCpu, f.restPercent, w.restPercent);
        std::fflush(stdout);
        floorPaint.push_back(f.firstPaint);
        floorPaintCpu.push_back(f.firstPaintCpu);
        floorRest.push_back(f.restPercent);
        windowPaint.push_back(w.firstPaint);
        windowPaintCpu.push_back(w.firstPaintCpu);
        windowRest.push_back(w.restPercent);
    }
    const double paint = median(windowPaint) / median(floorPaint);
    const double paintCpu = median(windowPaintCpu) / median(floorPaintCpu);
    const double rest = median(windowRest) / median(floorRest);
    std::printf("First paint (medians): window %.3f s, floor %.3f s: %.1f times the floor's (target at most 3); "
                "CPU to it %.3f s and %.3f s: %.1f times\n",
                median(windowPaint), median(floorPaint), paint, median(windowPaintCpu), median(floorPaintCpu),
                paintCpu);
    std::printf("CPU at rest (medians): window %.3f %%, floor %.3f %% of one core: %.1f times the floor's "
                "(target at most 4)\n",
                median(windowRest), median(floorRest), rest);
    return 0;
}
