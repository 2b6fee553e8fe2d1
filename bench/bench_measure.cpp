// The statistics panel of the measurement cursors over a 7-day run (604,800
// records, one a second, a gap now and then): the whole update for an
// interval between two random times (the query of the run's statistics, the
// figures' texts, and painting the panel), and the same with the interval
// from the run's start to its end. Target: <= 5 ms for any interval.
// Usage: bench_measure [intervals]
#include "benchfolders.h"
#include "recording/runstats.h"
#include "ui/statspanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolders dir;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int intervals = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;

    const int n = 7 * 24 * 3600;
    const qint64 t0 = 1796616000000;
    RunStats stats;
    QRandomGenerator rng(11);
    qint64 t = t0;
    double cap = 0, ele = 0;
    for (int i = 0; i < n; ++i) {
        RunStats::Sample s;
        s.runMs = t;
        s.value[RunStats::Vbus] = float(5.0 + rng.bounded(4.0));
        s.value[RunStats::Ibus] = float(1.5 + std::sin(i / 600.0));
        s.value[RunStats::Power] = s.value[RunStats::Vbus] * s.value[RunStats::Ibus];
        cap += double(s.value[RunStats::Ibus]) / 3600.0;
        ele += double(s.value[RunStats::Power]) / 3600.0;
        s.cap = float(cap);
        s.ele = float(ele);
        stats.append(s);
        t += rng.bounded(5000) == 0 ? 60000 : 1000;
    }

    StatsPanel panel;
    panel.show();
    auto update = [&](qint64 a, qint64 b) {
        QElapsedTimer timer;
        timer.start();
        panel.showInterval(stats, a, b);
        panel.repaint();
        return double(timer.nsecsElapsed()) / 1e6;
    };
    update(t0, t);   // the first paint lays the panel out

    std::vector<double> ms;
    for (int k = 0; k < intervals; ++k) {
        const qint64 a = t0 + qint64(rng.bounded(double(t - t0)));
        const qint64 b = t0 + qint64(rng.bounded(double(t - t0)));
        ms.push_back(update(a, b));
    }
    std::vector<double> whole;
    for (int k = 0; k < 50; ++k)
        whole.push_back(update(t0, t));
    std::printf("statistics panel update, 7-day run (%d records), %d random intervals: median %.3f ms, "
                "99th percentile %.3f ms, max %.3f ms (target <= 5 ms)\n",
                n, intervals, percentile(ms, 0.5), percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));
    std::printf("statistics panel update, the whole run: median %.3f ms, max %.3f ms\n", percentile(whole, 0.5),
                *std::max_element(whole.begin(), whole.end()));
    return 0;
}
