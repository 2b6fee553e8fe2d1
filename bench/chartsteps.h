#pragma once

// A chart's wheel zoom and pan steps, each timed (wall and the thread's CPU)
// until the chart has repainted, as the chart benches take them; a stored
// run opened into a chart as the history opens it.
#include "livesession.h"
#include "charts/customranges.h"
#include "charts/livechart.h"
#include "recording/runjournal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

double ms(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

// CPU time of this thread, ms: on a machine shared with other work the
// wall clock also counts the time the others had the processor.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}


// Wheel zoom and pan steps on a chart view, each timed until the chart has
// repainted: twelve steps in and twelve out at the middle of the plot, then
// four in and a drag of 40 pixels a step, ten to the left and ten back.
struct Steps {
    double zoomMean = 0, zoomWorst = 0, zoomCpu = 0;
    double panMean = 0, panWorst = 0, panCpu = 0;
};

Steps steps(QWidget *port)
{
    Steps s;
    const QPoint middle(port->width() / 2, port->height() / 2);
    auto wheel = [&](bool in) {
        QWheelEvent e(QPointF(middle), QPointF(port->mapToGlobal(middle)), QPoint(), QPoint(0, in ? 120 : -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(port, &e);
        livesession::paint(port);
    };
    auto timed = [](double &sum, double &worst, double &cpu, const std::function<void()> &step) {
        QElapsedTimer clock;
        clock.start();
        const double c0 = cpuMs();
        step();
        const double t = ms(clock);
        cpu += cpuMs() - c0;
        worst = std::max(worst, t);
        sum += t;
    };
    livesession::paint(port);
    for (int k = 0; k < 24; ++k)
        timed(s.zoomMean, s.zoomWorst, s.zoomCpu, [&] { wheel(k < 12); });
    for (int k = 0; k < 4; ++k)
        wheel(true);
    QPoint at = middle;
    QMouseEvent press(QEvent::MouseButtonPress, at, port->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(port, &press);
    for (int k = 0; k < 20; ++k) {
        at.rx() += k < 10 ? -40 : 40;
        timed(s.panMean, s.panWorst, s.panCpu, [&] {
            QMouseEvent move(QEvent::MouseMove, at, port->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(port, &move);
            livesession::paint(port);
        });
    }
    QMouseEvent release(QEvent::MouseButtonRelease, at, port->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(port, &release);
    s.zoomMean /= 24;
    s.zoomCpu /= 24;
    s.panMean /= 20;
    s.panCpu /= 20;
    return s;
}

// A stored run opened into a chart of 1400 x 700 as the history opens it:
// its log loaded, the chart and its indexes built, drawn once. The bytes the
// log and the chart hold.
size_t openRunChart(RunJournal &journal, qint64 id)
{
    ReadingLog log;
    journal.load(id, log);
    CustomRanges ranges;
    LiveChart chart(log, ranges, loadCurveStyles(), log.runMs(0));
    ChartView view(chart.chart());
    view.resize(1400, 700);
    chart.showWholeRun();
    view.grab();
    return log.memoryBytes() + chart.memoryBytes();
}

void print(const char *what, const Steps &s)
{
    std::printf("%s: wheel zoom step mean %.1f ms, worst %.1f ms (CPU mean %.1f ms); "
                "pan step mean %.1f ms, worst %.1f ms (CPU mean %.1f ms)\n",
                what, s.zoomMean, s.zoomWorst, s.zoomCpu, s.panMean, s.panWorst, s.panCpu);
}

} // namespace
