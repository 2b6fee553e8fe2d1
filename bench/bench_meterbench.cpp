// A bench of meters in the window, measured side by side in one run:
// - the window's CPU at rest with one simulated meter, then recording a
//   bench of two and of four (the Bench dialog, every meter ticked), each a
//   process of its own, beside the floor of a Qt Charts window
//   (bench_floor), as bench_app measures them;
// - a 7-day two-meter bench (604,800 records a meter) opened from the
//   history into its chart, against one 7-day run opened into the main
//   window's chart;
// - the bench chart's wheel zoom and pan steps with a derived channel on
//   show (the efficiency) against a meter's channel (POWER).
// Targets: two meters at most 1.3x the CPU of one, four at most 2x; the
// bench opens in at most 1.5x the time of one run; a derived channel's
// steps at most 1.1x a meter channel's.
//
// Usage: bench_meterbench [seconds] [rounds]   (defaults 20, 3)
//        bench_meterbench --window meters seconds   (one window)
#include "benchfolders.h"
#include "benchprocess.h"
#include "chartsteps.h"
#include "app/startup.h"
#include "charts/chartview.h"
#include "charts/customranges.h"
#include "charts/livechart.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "simulator.h"
#include "ui/benchdialog.h"
#include "ui/comparewindow.h"
#include "ui/maindialog.h"
#include "ui_maindialog.h"   // for livesession.h

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The window with `meters` simulated meters attached; from two on, a bench
// of all of them recorded from the Bench dialog. CPU at rest from 4 s on.
int runWindow(int argc, char *argv[], int meters, int seconds)
{
    const BenchFolders dir;
    const sim::Scenario scenarios[] = {sim::Scenario::ConverterIn, sim::Scenario::ConverterOut, sim::Scenario::Charge,
                                       sim::Scenario::Standard};
    for (int i = 0; i < meters; ++i) {
        sim::Identity id;
        id.serial = std::to_wstring(12345678 + i);
        id.serial.insert(0, 10 - id.serial.size(), L'0');
        sim::attach(id).setScenario(scenarios[i % 4]);
    }
    QApplication app(argc, argv);
    Startup::applyLook(app);
    MainDialog dialog;
    dialog.show();
    bool recording = meters < 2;
    QTimer::singleShot(2000, [&] {
        if (meters < 2)
            return;
        QMetaObject::invokeMethod(&dialog, "onBench_Slot");
        auto *bench = dialog.findChild<BenchDialog *>();
        for (int row = 0; bench && row < meters; ++row)
            if (bench->tick(row))
                bench->tick(row)->setChecked(true);
        if (bench) {
            bench->startButton()->click();
            recording = bench->recording();
        }
    });
    double cpu0 = 0.0, wall0 = 0.0;
    QTimer::singleShot(4000, [&] {
        cpu0 = BenchProcess::cpuSeconds();
        wall0 = BenchProcess::secondsSinceStart();
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    });
    app.exec();
    const double rest = 100.0 * (BenchProcess::cpuSeconds() - cpu0) / (BenchProcess::secondsSinceStart() - wall0);
    if (!recording) {
        std::fprintf(stderr, "the bench of %d meters did not start\n", meters);
        return 1;
    }
    BenchProcess::report(0.0, 0.0, rest);
    return 0;
}

// CPU at rest that a process of this command reports; -1 for none.
double restOf(const std::string &command)
{
    FILE *out = popen(command.c_str(), "r");
    if (!out)
        return -1.0;
    char line[512];
    double paint = 0, paintCpu = 0, rest = -1.0;
    while (std::fgets(line, sizeof line, out))
        std::sscanf(line, "figures %lf %lf %lf", &paint, &paintCpu, &rest);
    return pclose(out) == 0 ? rest : -1.0;
}

// A 7-day run's records at 1 s, the converter's in or out side with a load
// that changes every hour.
qint64 weekRun(RunJournal &journal, qint64 start, bool out)
{
    const int records = 7 * 24 * 3600;
    const qint64 run = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
    ReadingLog week;
    week.reserve(records);
    for (int i = 0; i < records; ++i) {
        const float load = float(0.5 + 0.5 * ((i / 3600) % 3) + 0.05 * std::sin(i / 60.0));
        const float v = out ? 5.0f : 12.5f, a = out ? 2.0f * load : load;
        week.append(start + 1000ll * i, start + 1000ll * i,
                    ReadingLog::Values{v, a, v * a, 0.6f, 0.59f, 1.68f, 0.0f, i / 3600.0f, i / 700.0f, 31.0f});
        if (i % 3600 == 3599 || i == records - 1)
            journal.sync(run, week);
    }
    journal.endRun(run, start + 1000ll * records, QStringLiteral("stopped"));
    return journal.storedId(run);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!Startup::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::strcmp(argv[1], "--window") == 0)
        return runWindow(argc, argv, std::max(1, std::atoi(argv[2])), std::max(1, std::atoi(argv[3])));
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // The window's CPU with one, two and four meters, beside the floor.
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    const std::string floor = QFileInfo(QString::fromStdString(self)).absolutePath().toStdString() + "/bench_floor";
    std::vector<double> floors, windows[3];
    const int counts[3] = {1, 2, 4};
    for (int r = 1; r <= rounds; ++r) {
        const double f = restOf("'" + floor + "' " + std::to_string(seconds));
        double w[3];
        for (int k = 0; k < 3; ++k)
            w[k] = restOf("'" + self + "' --window " + std::to_string(counts[k]) + " " + std::to_string(seconds));
        if (f < 0 || w[0] < 0 || w[1] < 0 || w[2] < 0) {
            std::fprintf(stderr, "round %d: a window reported no figures\n", r);
            return 1;
        }
        std::printf("round %d: CPU at rest: floor %.3f %%, window with one meter %.3f %%, a bench of two %.3f %%, "
                    "of four %.3f %% of one core\n", r, f, w[0], w[1], w[2]);
        std::fflush(stdout);
        floors.push_back(f);
        for (int k = 0; k < 3; ++k)
            windows[k].push_back(w[k]);
    }
    const double one = median(windows[0]), two = median(windows[1]), four = median(windows[2]);
    std::printf("window CPU at rest (medians): one meter %.3f %% (%.1fx the floor's %.3f %%), two %.3f %% (%.1fx the "
                "floor's), four %.3f %% (%.1fx the floor's)\n", one, one / median(floors), median(floors), two,
                two / median(floors), four, four / median(floors));
    std::printf("window recording a bench: two meters %.2fx one meter's CPU (target <= 1.3x), four %.2fx "
                "(target <= 2x)\n", two / one, four / one);

    // A 7-day two-meter bench and a 7-day run, opened.
    const BenchFolders dir;
    QApplication app(argc, argv);
    Startup::applyLook(app);
    RunJournal journal;
    if (!journal.open()) {
        std::printf("cannot open the journal: %s\n", qPrintable(journal.message()));
        return 1;
    }
    const qint64 start = 1796000000000;
    const qint64 lone = weekRun(journal, start - 8 * 86400000ll, true);
    const qint64 in = weekRun(journal, start, false), out = weekRun(journal, start, true);
    const qint64 benchId = journal.addBench(QStringLiteral("week"), start, 1000,
                                            {{in, QStringLiteral("in"), QStringLiteral("0012345678")},
                                             {out, QStringLiteral("out"), QStringLiteral("0012345679")}});
    const JournalBench bench = journal.bench(benchId);
    std::vector<double> runOpen, benchOpen;
    for (int r = 0; r < rounds; ++r) {
        // One run, as the history opens it into the main window's chart.
        QElapsedTimer clock;
        clock.start();
        openRunChart(journal, lone);
        runOpen.push_back(clock.nsecsElapsed() / 1e9);
        // The bench, as the history opens it into its chart.
        clock.restart();
        auto *window = new CompareWindow(&journal, bench, nullptr);
        window->resize(1400, 900);
        window->show();
        app.processEvents();
        window->view()->grab();
        benchOpen.push_back(clock.nsecsElapsed() / 1e9);
        if (!window->isLoaded()) {
            std::printf("the bench cannot be opened: %s\n", qPrintable(window->error()));
            return 1;
        }
        if (r + 1 < rounds) {
            delete window;
            continue;
        }
        // A meter's channel, then the efficiency, each stepped through.
        QComboBox *box = window->channelBox();
        const int power = box->findData(int(POWER)), efficiency = box->findData(kChannelCount + RunComparison::Efficiency);
        box->setCurrentIndex(power);
        emit box->activated(power);
        window->showAll();
        const Steps meter = steps(window->view()->viewport());
        box->setCurrentIndex(efficiency);
        emit box->activated(efficiency);
        window->showAll();
        const Steps derived = steps(window->view()->viewport());
        print("the bench chart's POWER", meter);
        print("the bench chart's efficiency", derived);
        std::printf("derived channel / meter channel: zoom step %.2fx (CPU %.2fx), pan step %.2fx (CPU %.2fx) "
                    "(target <= 1.1x)\n", derived.zoomMean / meter.zoomMean, derived.zoomCpu / meter.zoomCpu,
                    derived.panMean / meter.panMean, derived.panCpu / meter.panCpu);
        delete window;
    }
    std::printf("open (medians of %d): one 7-day run %.2f s, a 7-day two-meter bench %.2f s: %.2fx (target <= 1.5x)\n",
                rounds, median(runOpen), median(benchOpen), median(benchOpen) / median(runOpen));
    return 0;
}
