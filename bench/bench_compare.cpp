// Eight stored 7-day runs (604,800 records each) compared: the window opened
// and drawn, wheel zoom and pan steps, a change of channel, the memory it
// holds against one run's chart, and the PDF report of one 7-day run. The
// live chart of a 7-day run in the main window takes the same zoom and pan
// steps in the same run, at the same window size, each step timed until the
// chart has repainted, as bench_chart times it.
// Targets: open no slower than before (1.64 s); a zoom or pan step <= 2x
// the live chart's; memory <= 3x one run's chart; the report <= 2 s.
// Usage: bench_compare
#include "benchfolders.h"
#include "chartsteps.h"
#include "livesession.h"
#include "app/startup.h"
#include "charts/chartview.h"
#include "charts/customranges.h"
#include "charts/livechart.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "report/runreport.h"
#include "simulator.h"
#include "ui/comparewindow.h"
#include "ui_maindialog.h"   // for livesession.h

#include <QApplication>
#include <QComboBox>
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
#include <functional>

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
    const size_t oneChart = openRunChart(journal, ids[0]);

    // The live chart of a 7-day run, in the main window.
    Steps live;
    QSize liveSize;
    int liveColumns = 0;
    {
        livesession::plugMeter();
        MainDialog d;
        d.chartTimer().stop();
        d.setClock([] { return livesession::g_now; });
        d.show();
        livesession::prefillRun(d, records);
        livesession::tick(d, records);   // builds the chart's indexes once
        liveSize = d.size();
        liveColumns = int(d.liveChart()->chart()->plotArea().width());
        live = steps(d.chartView()->viewport());
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
    window->show();
    app.processEvents();
    window->view()->grab();   // drawn
    const double open = clock.nsecsElapsed() / 1e9;
    std::printf("open a comparison of eight 7-day runs: %.2f s (target <= 1.64 s; the window's thread's CPU %.2f s), %s\n",
                open, (cpuMs() - openCpu0) / 1e3,
                window->isLoaded() ? "loaded" : qPrintable(window->error()));
    // As large as the main window, so both charts are about as wide.
    window->resize(liveSize);
    livesession::paint(window->view()->viewport());

    // The points alone, for the whole weeks.
    {
        RunComparison &c = window->comparison();
        clock.restart();
        size_t n = 0;
        for (int i = 0; i < c.count(); ++i)
            n += size_t(c.points(i, c.beginMs(), c.endMs(), 1300).size());
        std::printf("(the points of eight whole weeks on 1300 columns: %.1f ms, %zu points)\n", ms(clock), n);
    }
    const int columns = int(window->chart()->plotArea().width());
    const Steps compared = steps(window->view()->viewport());
    print("the live chart of a 7-day run", live);
    print("a comparison of eight 7-day runs", compared);
    std::printf("(plot widths: the live chart %d, the comparison %d pixels)\n", liveColumns, columns);
    std::printf("comparison / live chart: zoom step %.2fx (CPU %.2fx), pan step %.2fx (CPU %.2fx) (target <= 2x)\n",
                compared.zoomMean / live.zoomMean, compared.zoomCpu / live.zoomCpu, compared.panMean / live.panMean,
                compared.panCpu / live.panCpu);

    // Another channel, chosen in the box: read again for every run.
    {
        QComboBox *box = window->channelBox();
        clock.restart();
        box->setCurrentIndex(1);
        emit box->activated(1);
        livesession::paint(window->view()->viewport());
        std::printf("(another channel for eight 7-day runs: %.2f s)\n", clock.nsecsElapsed() / 1e9);
        window->showAll();
        const Steps ibus = steps(window->view()->viewport());
        print("the comparison's IBUS", ibus);
        std::printf("comparison of IBUS / live chart: zoom step %.2fx (CPU %.2fx), pan step %.2fx (CPU %.2fx)\n",
                    ibus.zoomMean / live.zoomMean, ibus.zoomCpu / live.zoomCpu, ibus.panMean / live.panMean,
                    ibus.panCpu / live.panCpu);
    }
    const size_t held = window->comparison().memoryBytes();
    std::printf("memory of the comparison: %.1f MB, one run's chart %.1f MB: %.2fx (target <= 3x)\n", held / 1e6,
                oneChart / 1e6, double(held) / double(oneChart));
    delete window;

    clock.restart();
    QString why;
    const bool written = RunReport::writeRun(journal, ids[0], dir.filePath(QStringLiteral("week.pdf")), false, &why);
    std::printf("PDF report of a 7-day run: %.2f s (target <= 2 s)%s\n", clock.nsecsElapsed() / 1e9,
                written ? "" : qPrintable(QStringLiteral(", FAILED: ") + why));
    return 0;
}
