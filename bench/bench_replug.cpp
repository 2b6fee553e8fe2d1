// Soak of the window through unplugs and replugs: the simulated meter sends
// four reports a second and is pulled out and plugged in again, over and
// over, while the window records its run, as `ombrel-sim --sim-replug 1`
// does. Prints the process's resident memory every few cycles and its growth
// per cycle once the first cycles have warmed up, beside what the window
// holds (widgets, the chart's series, the run's records). A second stretch of
// the same length without replugs gives the growth of a plain run.
//
// Usage: bench_replug [cycles] [plugged-ms] [unplugged-ms]   (defaults 120, 1000, 2000)
#include "app/startup.h"
#include "charts/livechart.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtCharts/QChart>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <algorithm>
#include <vector>

namespace {

// Resident memory of this process, in KiB.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Heap in use (malloc's count), in KiB.
long heapKiB()
{
    return long(mallinfo2().uordblks / 1024);
}

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

void line(const char *what, int cycle, const MainDialog &d)
{
    std::printf("%-10s %5d  RSS %8ld KiB  heap in use %8ld KiB  objects %6d  widgets %6d  series %4d  records %7d\n",
                what, cycle, residentKiB(), heapKiB(),
                int(d.findChildren<QObject *>().size()), int(QApplication::allWidgets().size()),
                int(d.liveChart()->chart()->series().size()), d.readingLog().size());
    std::fflush(stdout);
}

// Growth per cycle by least squares over the samples taken after warm-up.
double slope(const std::vector<std::pair<int, long>> &samples)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &s : samples) {
        n += 1;
        sx += s.first;
        sy += double(s.second);
        sxx += double(s.first) * s.first;
        sxy += double(s.first) * double(s.second);
    }
    const double d = n * sxx - sx * sx;
    return d > 0 ? (n * sxy - sx * sy) / d : 0.0;
}

} // namespace

int main(int argc, char *argv[])
{
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 120;
    const int pluggedMs = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int unpluggedMs = argc > 3 ? std::atoi(argv[3]) : 2000;
    if (!Startup::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A home and data folder of its own: the runs go into a journal that is
    // thrown away with it.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    QDir::setCurrent(home.path());
    sim::Meter &meter = sim::attach();
    meter.setReportRate(4);

    QApplication app(argc, argv);
    Startup::applyLook(app);
    MainDialog dialog;
    dialog.show();
    wait(2000);

    const int every = std::max(1, cycles / 12);
    // The chart's curve pieces grow to their bound in the first tens of
    // cycles; the growth is measured after.
    const int warmUp = std::max(1, cycles / 3);
    std::vector<std::pair<int, long>> samples, heap;
    std::printf("%d cycles: plugged %d ms, unplugged %d ms\n", cycles, pluggedMs, unpluggedMs);
    line("start", 0, dialog);
    for (int c = 1; c <= cycles; ++c) {
        meter.unplug();
        wait(unpluggedMs);
        meter.plug();
        wait(pluggedMs);
        if (c >= warmUp) {
            samples.emplace_back(c, residentKiB());
            heap.emplace_back(c, heapKiB());
        }
        if (c % every == 0 || c == cycles)
            line("replugs", c, dialog);
    }
    const double perCycle = slope(samples);

    // The same time without replugs.
    std::vector<std::pair<int, long>> plain, plainHeap;
    for (int c = 1; c <= cycles; ++c) {
        wait(pluggedMs + unpluggedMs);
        if (c >= warmUp) {
            plain.emplace_back(c, residentKiB());
            plainHeap.emplace_back(c, heapKiB());
        }
        if (c % every == 0 || c == cycles)
            line("no replug", c, dialog);
    }
    std::printf("Growth from cycle %d on: resident memory %.1f KiB, heap in use %.1f KiB per replug cycle; "
                "%.1f KiB and %.1f KiB per the same time without replugs\n",
                warmUp, perCycle, slope(heap), slope(plain), slope(plainHeap));
    return 0;
}
