// The run journal: the time a tick spends writing its record (on the thread
// that calls sync(), the window's), the disk taken per record, loading a
// 7-day run (604,800 records) into a reading log, and interval statistics of
// that run from a journal just opened and from the live statistics.
// Targets: a tick's write median <= 0.3 ms and 99th percentile <= 3 ms;
// <= 64 bytes a record; the load <= 1.5 s; a stored interval <= 50 ms; a live
// one <= 5 ms. Then the command line on that run, as whole commands of
// ombrel-sim: `export last --csv` and `--sr` (targets <= 2 s) and `stats` over random
// intervals (target <= 50 ms each). Last, the Python module on that run
// (bench_python.py).
// Usage: bench_journal [ticks]
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "recording/runstats.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A value as the meter sends it: a count of millionths.
float meter(double v)
{
    const double raw = std::floor(std::max(v, 0.0) * 1e6 + 0.5);
    return static_cast<float>(raw / 1000000.0);
}

// A charge at 5 V, then 9 V, with a noisy current; the meter's own CAP and
// ELE counting up.
struct Charger {
    QRandomGenerator rng{7};
    double cap = 0.0, ele = 0.0;
    ReadingLog::Values next(int i)
    {
        const double v = (i / 3600) % 2 ? 9.0 + rng.bounded(0.05) : 5.1 + rng.bounded(0.03);
        const double a = 1.5 + std::sin(i / 600.0) + rng.bounded(0.02);
        cap += a / 3600.0;
        ele += v * a / 3600.0;
        return {meter(v), meter(a), meter(v * a), meter(0.6 + rng.bounded(0.01)), meter(0.59 + rng.bounded(0.01)),
                meter(1.68 + rng.bounded(0.005)), 0.0f, meter(cap), meter(ele), meter(31.0 + rng.bounded(2.0))};
    }
};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 5000;
    // On the disk the program would use, not a memory file system.
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench_journal-XXXXXX")));
    // Where the command line finds it with XDG_DATA_HOME set to the folder.
    const QString path = dir.filePath(QStringLiteral("ombrel/runs.sqlite"));
    const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0)).toMSecsSinceEpoch();
    QElapsedTimer clock;

    // A tick: one record appended and written.
    {
        RunJournal journal;
        if (!journal.open(path)) {
            std::printf("cannot open %s: %s\n", qPrintable(path), qPrintable(journal.message()));
            return 1;
        }
        const qint64 id = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
        ReadingLog log;
        Charger charger;
        std::vector<double> ms;
        ms.reserve(size_t(ticks));
        for (int i = 0; i < ticks; ++i) {
            log.append(start + 1000ll * i, charger.next(i));
            clock.start();
            if (!journal.sync(id, log)) {
                std::printf("sync failed: %s\n", qPrintable(journal.message()));
                return 1;
            }
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        journal.endRun(id, start + 1000ll * ticks, QStringLiteral("stopped"));
        std::printf("tick write, %d ticks: median %.3f ms (target <= 0.3), 99th percentile %.3f ms (target <= 3), "
                    "max %.3f ms\n",
                    ticks, percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
    }

    // A 7-day run, written an hour at a time.
    const int records = 7 * 24 * 3600;
    qint64 weekId = 0;
    ReadingLog week;
    {
        RunJournal journal;
        journal.open(path);
        const qint64 before = QFileInfo(path).size();
        weekId = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
        week.reserve(records);
        Charger charger;
        clock.start();
        for (int i = 0; i < records; ++i) {
            // A few ms late now and then, as a timer is.
            const qint64 t = start + 1000ll * i + (i % 17 == 0 ? 3 : 0);
            week.append(t, t, charger.next(i));
            if (i % 3600 == 3599 || i == records - 1)
                journal.sync(weekId, week);
        }
        const double writeS = clock.nsecsElapsed() / 1e9;
        journal.endRun(weekId, start + 1000ll * records, QStringLiteral("stopped"));
        journal.close();   // the last connection: checkpointed into the file
        const qint64 bytes = QFileInfo(path).size() - before;
        std::printf("7-day run, %d records: written in %.2f s, %.1f MB, %.1f bytes a record (target <= 64)\n", records,
                    writeS, bytes / 1e6, double(bytes) / records);
    }

    // Loading it into a reading log, from a journal just opened.
    {
        RunJournal journal;
        clock.start();
        journal.open(path);
        ReadingLog log;
        journal.load(weekId, log);
        const double s = clock.nsecsElapsed() / 1e9;
        std::printf("7-day run loaded into a reading log (open included): %.3f s (target <= 1.5), %d records, %s\n", s,
                    log.size(), log.size() == records && log.value(ReadingLog::Ele, records - 1) == week.value(ReadingLog::Ele, records - 1) ? "same values" : "DIFFERENT");
    }

    // Interval statistics from a journal just opened, by times.
    QRandomGenerator rng(11);
    {
        std::vector<double> ms;
        double firstMs = 0;
        for (int n = 0; n < 50; ++n) {
            const int a = int(rng.bounded(records)), b = int(rng.bounded(records));
            clock.start();
            RunJournal journal;
            journal.open(path);
            const IntervalStats s = journal.stats(weekId, week.runMs(std::min(a, b)), week.runMs(std::max(a, b)));
            ms.push_back(clock.nsecsElapsed() / 1e6);
            if (n == 0)
                firstMs = ms.back();
            if (s.records != std::abs(a - b) + 1) {
                std::printf("wrong interval\n");
                return 1;
            }
        }
        std::printf("stored statistics of an interval, journal opened for it: first %.2f ms, median %.2f ms, "
                    "max %.2f ms (target <= 50)\n",
                    firstMs, percentile(ms, 0.5), percentile(ms, 1.0));
    }

    // The live statistics of the same run.
    {
        clock.start();
        RunStats stats;
        stats.build(week);
        const double buildMs = clock.nsecsElapsed() / 1e6;
        std::vector<double> ms;
        for (int n = 0; n < 2000; ++n) {
            const int a = int(rng.bounded(records)), b = int(rng.bounded(records));
            clock.start();
            const IntervalStats s = stats.interval(std::min(a, b), std::max(a, b));
            ms.push_back(clock.nsecsElapsed() / 1e6);
            if (s.records != std::abs(a - b) + 1)
                return 1;
        }
        const IntervalStats whole = stats.total();
        std::printf("live statistics: built from the log in %.1f ms; an interval median %.3f ms, max %.3f ms "
                    "(target <= 5); whole run %.3f Ah, %.3f Wh\n",
                    buildMs, percentile(ms, 0.5), percentile(ms, 1.0), whole.charge_ah, whole.energy_wh);
    }

    // The same run through the command line, each a whole process.
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        auto command = [&](const QStringList &arguments, QByteArray *out) {
            QProcess p;
            p.setProcessEnvironment(env);
            clock.start();
            p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
            p.waitForFinished(600000);
            const double s = clock.nsecsElapsed() / 1e9;
            if (out)
                *out = p.readAllStandardOutput();
            return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? s : -1.0;
        };
        const QString csv = dir.filePath(QStringLiteral("week.csv"));
        const double exportS = command({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), csv},
                                       nullptr);
        std::printf("ombrel-sim export last --csv (7-day run): %.3f s (target <= 2), %.1f MB\n", exportS,
                    QFileInfo(csv).size() / 1e6);
        const QString sr = dir.filePath(QStringLiteral("week.sr"));
        const double srS = command({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--sr"), sr}, nullptr);
        std::printf("ombrel-sim export last --sr (7-day run): %.3f s (target <= 2), %.1f MB\n", srS,
                    QFileInfo(sr).size() / 1e6);
        std::vector<double> ms;
        for (int n = 0; n < 20; ++n) {
            const int a = int(rng.bounded(records)), b = int(rng.bounded(records));
            QByteArray out;
            const double s = command({QStringLiteral("stats"), QStringLiteral("last"), QStringLiteral("--from"),
                                      QString::number(std::min(a, b) - 0.5, 'f', 1), QStringLiteral("--to"),
                                      QString::number(std::max(a, b) + 0.5, 'f', 1), QStringLiteral("--json")},
                                     &out);
            if (s < 0 || !out.contains("\"records\":" + QByteArray::number(std::abs(a - b) + 1) + ',')) {
                std::printf("stats failed: %s\n", out.constData());
                return 1;
            }
            ms.push_back(s * 1000);
        }
        std::printf("ombrel-sim stats last --from --to over random intervals: median %.1f ms, max %.1f ms "
                    "(target <= 50, the whole process)\n",
                    percentile(ms, 0.5), percentile(ms, 1.0));

        // The Python module on the same run, its figures printed by the script.
        std::fflush(stdout);
        QProcess python;
        env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(OMBREL_PYTHON_DIR));
        python.setProcessEnvironment(env);
        python.setProcessChannelMode(QProcess::ForwardedChannels);
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(OMBREL_SOURCE_DIR "/bench/bench_python.py"), QStringLiteral("60")});
        python.waitForFinished(600000);
    }
    return 0;
}
