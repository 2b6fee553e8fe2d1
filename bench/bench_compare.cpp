// Eight stored 7-day runs (604,800 records each) compared: the window opened
// and drawn, wheel zoom and pan steps, the memory it holds against one run's
// chart, and the PDF report of one 7-day run.
// Targets: open <= 3 s, a zoom or pan step <= 50 ms, memory <= 8x one run's
// chart, the report <= 2 s.
// Usage: bench_compare
#include "benchfolders.h"
#include "app/startup.h"
#include "charts/chartview.h"
#include "charts/customranges.h"
#include "charts/livechart.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "report/runreport.h"
#include "simulator.h"
#include "ui/comparewindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QVector>
#include <QWheelEvent>
#include <QtCharts/QDateTimeAxis>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

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

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolders dir;
    QApplication app(argc, argv);
    Startup::applyLook(app);
    sim::reset();

    // Eight weeks, written as the window would have, an hour at a time.
    const int records = 7 * 24 * 3600;
    RunJournal journal;
    if (!journal.open()) {
        std::printf("cannot open the journal: %s\n", qPrintable(journal.message()));
        return 1;
    }
    QVector<qint64> ids;
    QElapsedTimer writing;
    writing.start();
    for (int r = 0; r < 8; ++r) {
        const qint64 start = 1796000000000 + qint64(r) * 8 * 86400000;
        const qint64 run = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
        ReadingLog week;
        week.reserve(records);
        for (int i = 0; i < records; ++i) {
            const float v = float(std::round((5.0 + 4.0 * ((i / 3600) % 2) + 0.01 * r + 0.01 * std::sin(i / 7.0)) * 1e6) / 1e6);
            const float a = float(std::round((1.5 + 0.1 * r + std::sin(i / 600.0)) * 1e6) / 1e6);
            week.append(start + 1000ll * i, start + 1000ll * i,
                        ReadingLog::Values{v, a, v * a, 0.6f, 0.59f, 1.68f, 0.0f, i / 3600.0f, i / 700.0f, 31.0f});
            if (i % 3600 == 3599 || i == records - 1)
                journal.sync(run, week);
        }
        journal.endRun(run, start + 1000ll * records, QStringLiteral("stopped"));
        ids << journal.storedId(run);
    }
    std::printf("(eight 7-day runs written in %.1f s)\n", writing.nsecsElapsed() / 1e9);

    // One run's chart, as the history opens it: its log and the chart's indexes.
    size_t oneChart = 0;
    {
        ReadingLog log;
        journal.load(ids[0], log);
        CustomRanges ranges;
        LiveChart chart(log, ranges, loadCurveStyles(), log.runMs(0));
        ChartView view(chart.chart());
        view.resize(1400, 700);
        chart.showWholeRun();
        view.grab();
        oneChart = log.memoryBytes() + chart.memoryBytes();
    }

    QElapsedTimer clock;
    clock.start();
    {
        ReadingLog one;
        journal.load(ids[1], one);
        std::printf("(loading one 7-day run from the journal: %.0f ms)\n", ms(clock));
    }
    clock.restart();
    const double openCpu0 = cpuMs();
    auto *window = new CompareWindow(&journal, ids, nullptr);
    window->resize(1400, 900);
    window->show();
    app.processEvents();
    window->view()->grab();   // drawn
    const double open = clock.nsecsElapsed() / 1e9;
    std::printf("open a comparison of eight 7-day runs: %.2f s (target <= 3 s; the window's thread's CPU %.2f s), %s\n",
                open, (cpuMs() - openCpu0) / 1e3,
                window->isLoaded() ? "loaded" : qPrintable(window->error()));

    // The points alone, for the whole weeks.
    {
        RunComparison &c = window->comparison();
        clock.restart();
        size_t n = 0;
        for (int i = 0; i < c.count(); ++i)
            n += size_t(c.points(i, c.beginMs(), c.endMs(), 1300).size());
        std::printf("(the points of eight whole weeks on 1300 columns: %.1f ms, %zu points)\n", ms(clock), n);
    }
    // Wheel steps in, then out, at the middle of the plot; each drawn.
    QWidget *port = window->view()->viewport();
    const QPoint middle(port->width() / 2, port->height() / 2);
    double worstZoom = 0, sumZoom = 0, zoomEvent = 0, zoomCpu = 0;
    int zooms = 0;
    for (int step = 0; step < 24; ++step) {
        const int delta = step < 12 ? 120 : -120;
        QWheelEvent e(QPointF(middle), QPointF(port->mapToGlobal(middle)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        clock.restart();
        const double c0 = cpuMs();
        QApplication::sendEvent(port, &e);
        zoomEvent += ms(clock);
        port->repaint();
        const double t = ms(clock);
        zoomCpu += cpuMs() - c0;
        worstZoom = std::max(worstZoom, t);
        sumZoom += t;
        ++zooms;
    }
    // Zoomed to about a day, then dragged 40 pixels a step.
    for (int step = 0; step < 4; ++step) {
        QWheelEvent e(QPointF(middle), QPointF(port->mapToGlobal(middle)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(port, &e);
    }
    double worstPan = 0, sumPan = 0, panCpu = 0;
    int pans = 0;
    QPoint at = middle;
    QMouseEvent press(QEvent::MouseButtonPress, at, port->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &press);
    for (int step = 0; step < 20; ++step) {
        at.rx() += step < 10 ? -40 : 40;
        QMouseEvent move(QEvent::MouseMove, at, port->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        clock.restart();
        const double c0 = cpuMs();
        QApplication::sendEvent(port, &move);
        port->repaint();
        const double t = ms(clock);
        panCpu += cpuMs() - c0;
        worstPan = std::max(worstPan, t);
        sumPan += t;
        ++pans;
    }
    QMouseEvent release(QEvent::MouseButtonRelease, at, port->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(port, &release);
    std::printf("wheel zoom step, eight 7-day runs: mean %.1f ms, worst %.1f ms (target <= 50 ms; CPU mean %.1f ms)\n",
                sumZoom / zooms, worstZoom, zoomCpu / zooms);
    std::printf("(of which the curves' points: mean %.1f ms)\n", zoomEvent / zooms);
    std::printf("pan step, eight 7-day runs: mean %.1f ms, worst %.1f ms (target <= 50 ms; CPU mean %.1f ms)\n",
                sumPan / pans, worstPan, panCpu / pans);
    const size_t held = window->comparison().memoryBytes();
    std::printf("memory of the comparison: %.1f MB, one run's chart %.1f MB: %.2fx (target <= 8x)\n", held / 1e6,
                oneChart / 1e6, double(held) / double(oneChart));
    delete window;

    clock.restart();
    QString why;
    const bool written = RunReport::writeRun(journal, ids[0], dir.filePath(QStringLiteral("week.pdf")), false, &why);
    std::printf("PDF report of a 7-day run: %.2f s (target <= 2 s)%s\n", clock.nsecsElapsed() / 1e9,
                written ? "" : qPrintable(QStringLiteral(", FAILED: ") + why));
    return 0;
}
