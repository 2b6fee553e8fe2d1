// Opening a stored 7-day run (604,800 records) from the run history into the
// chart: the journal read, the chart built and drawn in the window.
// Target: <= 1.5 s.
// Usage: bench_history
#include "benchfolders.h"
#include "app/startup.h"
#include "charts/chartview.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "simulator.h"
#include "ui/maindialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolders dir;
    QApplication app(argc, argv);
    Startup::applyLook(app);
    sim::reset();   // no meter: nothing records meanwhile

    // The week, written as the window would have, an hour at a time.
    const int records = 7 * 24 * 3600;
    const qint64 start = 1796000000000;
    qint64 id = 0;
    {
        RunJournal journal;
        if (!journal.open()) {
            std::printf("cannot open the journal: %s\n", qPrintable(journal.message()));
            return 1;
        }
        const qint64 run = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
        ReadingLog week;
        week.reserve(records);
        for (int i = 0; i < records; ++i) {
            const float v = float(std::round((5.0 + 4.0 * ((i / 3600) % 2) + 0.01 * std::sin(i / 7.0)) * 1e6) / 1e6);
            const float a = float(std::round((1.5 + std::sin(i / 600.0)) * 1e6) / 1e6);
            week.append(start + 1000ll * i, start + 1000ll * i,
                        ReadingLog::Values{v, a, v * a, 0.6f, 0.59f, 1.68f, 0.0f, i / 3600.0f, i / 700.0f, 31.0f});
            if (i % 3600 == 3599 || i == records - 1)
                journal.sync(run, week);
        }
        journal.endRun(run, start + 1000ll * records, QStringLiteral("stopped"));
        id = journal.storedId(run);
    }

    MainDialog d;
    d.resize(1400, 900);
    d.show();
    app.processEvents();
    QElapsedTimer clock;
    clock.start();
    d.openStoredRun(id);
    d.chartView()->grab();   // drawn
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("open a 7-day run from the history into the chart: %.2f s (target <= 1.5 s), %d records, %s\n", seconds,
                d.storedLog().size(), d.showsStoredRun() ? "shown" : "NOT SHOWN");
    return 0;
}
