// The life of a run without a window: begun, fed readings with an injected
// clock, paused and resumed by a replug, ended each way, and what its sinks
// (the run journal, CSV, JSON lines) keep of it.
#include "device/meterreading.h"
#include "recording/liverun.h"
#include "recording/runjournal.h"
#include "recording/runsinks.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <vector>

namespace {

// 2026-12-08 10:00:00 UTC: the wall clock of every run here.
constexpr qint64 kWall0 = 1796724000000ll;

struct Clock {
    qint64 wall = kWall0;
    qint64 steady = 50000;
    void advance(qint64 ms)
    {
        wall += ms;
        steady += ms;
    }
};

MeterReading reading(float vbus, float ibus)
{
    MeterReading r;
    r.vbus = vbus;
    r.ibus = ibus;
    r.power = vbus * ibus;
    return r;
}

QByteArrayList dataLines(const QString &path, const QByteArray &end)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = f.readAll().split('\n');
    QByteArrayList kept;
    for (const QByteArray &l : lines)
        if (l.startsWith(end))
            kept << l;
    return kept;
}

} // namespace

class TestLiveRun : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Clock m_clock;

    void useClock(LiveRun &run)
    {
        m_clock = Clock();
        run.setClock([this] { return m_clock.wall; }, [this] { return m_clock.steady; });
    }
    // One record a second, as the window's tick takes it.
    void tick(LiveRun &run, float vbus, float ibus)
    {
        run.add(reading(vbus, ibus));
        run.flush();
        m_clock.advance(1000);
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("HOME", m_dir.path().toUtf8());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        QDir::setCurrent(m_dir.path());
    }

    // A meter pulled out and put back: one run, in the journal and in both
    // files, every record once, the pause a gap that adds nothing.
    void replugContinuesTheRun()
    {
        RunJournal journal;
        QVERIFY(journal.open(path(QStringLiteral("replug.sqlite"))));
        LiveRun run;
        useClock(run);
        auto *sink = run.attach(std::make_unique<RunJournalSink>(journal));
        auto csv = std::make_unique<CsvRunSink>(run, QStringLiteral("UM34C"), path(QStringLiteral("replug.csv")));
        auto json = std::make_unique<JsonLinesRunSink>(path(QStringLiteral("replug.jsonl")));
        QString error;
        QVERIFY2(csv->open(&error), qPrintable(error));
        QVERIFY2(json->open(&error), qPrintable(error));
        run.attach(std::move(csv));
        run.attach(std::move(json));
        QSignalSpy paused(&run, &LiveRun::pausedChanged);
        QSignalSpy statuses(&run, &LiveRun::sinkStatusChanged);

        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1.3"), QStringLiteral("A1B2")});
        for (int i = 0; i < 3; ++i)
            tick(run, 5.0f, 2.0f);
        run.pause();
        QVERIFY(run.paused());
        // Unplugged: nothing is recorded, the run stays open in the journal.
        QVERIFY(!run.add(reading(9.0f, 9.0f)));
        m_clock.advance(20000);
        QCOMPARE(journal.runs().size(), size_t(1));
        QVERIFY(!journal.runs().front().finished());
        const qint64 id = sink->storedId();
        run.resume();
        for (int i = 0; i < 2; ++i)
            tick(run, 5.0f, 2.0f);
        run.stop();

        QCOMPARE(paused.size(), 2);
        QCOMPARE(paused.at(0).at(0).toBool(), true);
        QCOMPARE(paused.at(1).at(0).toBool(), false);
        QCOMPARE(statuses.size(), 0);   // no sink had anything to say
        const std::vector<JournalRun> runs = journal.runs();
        QCOMPARE(runs.size(), size_t(1));
        QCOMPARE(runs[0].id, id);
        QCOMPARE(runs[0].records, 5);
        QCOMPARE(runs[0].endReason, QStringLiteral("stopped"));
        QCOMPARE(runs[0].serial, QStringLiteral("A1B2"));
        QCOMPARE(runs[0].model, QStringLiteral("UM34C"));
        QCOMPARE(runs[0].startMs, kWall0);
        // 3 + 2 records a second apart: 3 seconds of 2 A, the 21 s pause none.
        QCOMPARE(runs[0].charge_ah, 3 * 2.0 / 3600);
        QCOMPARE(run.stats().total().charge_ah, 3 * 2.0 / 3600);
        // Elapsed: 5 ticks and the pause.
        QCOMPARE(run.elapsedMs(), 25000);
        QCOMPARE(dataLines(path(QStringLiteral("replug.csv")), "20").size(), 5);
        QCOMPARE(dataLines(path(QStringLiteral("replug.jsonl")), "{").size(), 5);
    }

    void endReasons_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("runs");
        QTest::newRow("stopped") << "stop" << "stopped" << 2;
        QTest::newRow("interrupted") << "interrupt" << "interrupted" << 2;
        QTest::newRow("unplugged, another meter") << "other meter" << "unplugged" << 2;
        // Whoever stops it (the window closing, Ctrl+C or SIGTERM to record).
        QTest::newRow("unplugged, stopped while the meter is out") << "unplugged" << "unplugged" << 2;
        QTest::newRow("stopped by a new run") << "new run" << "stopped" << 2;
        QTest::newRow("before its first record") << "empty" << "stopped" << 1;
    }
    void endReasons()
    {
        QFETCH(QString, how);
        QFETCH(QString, reason);
        QFETCH(int, runs);
        RunJournal journal;
        QVERIFY(journal.open(path(QStringLiteral("reasons-%1.sqlite").arg(QTest::currentDataTag()))));
        LiveRun run;
        useClock(run);
        run.attach(std::make_unique<RunJournalSink>(journal));
        QSignalSpy ended(&run, &LiveRun::ended);
        // A run before, kept whatever happens to the next one.
        run.begin({QStringLiteral("UM25C"), QStringLiteral("V1"), QStringLiteral("OLD")});
        tick(run, 5.0f, 1.0f);
        run.stop();

        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S1")});
        if (how != QLatin1String("empty"))
            tick(run, 5.0f, 1.0f);
        if (how == QLatin1String("stop") || how == QLatin1String("empty"))
            run.stop();
        else if (how == QLatin1String("interrupt"))
            run.end(QLatin1String(RunJournal::kInterrupted));
        else if (how == QLatin1String("other meter")) {
            run.pause();
            run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S2")});
        } else if (how == QLatin1String("unplugged")) {
            run.pause();
            run.stop();
        } else if (how == QLatin1String("new run")) {
            run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S1")});
        }
        QCOMPARE(ended.size(), 2);
        QCOMPARE(ended.at(1).at(0).toString(), reason);
        std::vector<JournalRun> kept = journal.runs();
        // A run begun after it goes on, with nothing yet.
        if (how == QLatin1String("other meter") || how == QLatin1String("new run")) {
            QVERIFY(run.recording());
            run.stop();
            kept = journal.runs();
        }
        QCOMPARE(int(kept.size()), runs);
        // Oldest last.
        QCOMPARE(kept.back().serial, QStringLiteral("OLD"));
        QCOMPARE(kept.back().endReason, QStringLiteral("stopped"));
        if (runs == 2) {
            QCOMPARE(kept.front().serial, QStringLiteral("S1"));
            QCOMPARE(kept.front().endReason, reason);
            QCOMPARE(kept.front().records, 1);
            // Ended at its one tick's end (by the next run's begin, too).
            QCOMPARE(kept.front().endMs, kWall0 + 2000);
        }
    }

    // Each stop condition ends the run at the record that meets it, with its
    // code as the end reason; records a second apart from 0 s.
    void stopConditions_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QVector<float>>("vbus");
        QTest::addColumn<QVector<float>>("ibus");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("reason");
        const QVector<float> five(12, 5.0f), two(12, 2.0f);
        QTest::newRow("duration") << int(StopConditions::Duration) << 5.0 << 0.0 << five << two << 6
                                  << "duration:5";
        // 1 A, then 0.2 A from 4 s: below 0.5 A for 3 s at 7 s.
        QTest::newRow("current below") << int(StopConditions::CurrentBelow) << 0.5 << 3.0 << five
                                       << QVector<float>{1, 1, 1, 1, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f}
                                       << 8 << "current_below:0.5:3";
        QTest::newRow("voltage below") << int(StopConditions::VoltageBelow) << 3.0 << 0.0
                                       << QVector<float>{4.2f, 4.0f, 3.8f, 3.5f, 3.2f, 3.0f, 2.9f, 2.8f, 2.7f, 2.6f,
                                                         2.5f, 2.4f}
                                       << two << 7 << "voltage_below:3";
        // 2 A: 0.002 Ah is 3.6 s, passed at 4 s.
        QTest::newRow("charge") << int(StopConditions::Charge) << 0.002 << 0.0 << five << two << 5 << "charge:0.002";
        // 10 W: 0.01 Wh is 3.6 s, passed at 4 s.
        QTest::newRow("energy") << int(StopConditions::Energy) << 0.01 << 0.0 << five << two << 5 << "energy:0.01";
    }
    void stopConditions()
    {
        QFETCH(int, kind);
        QFETCH(double, value);
        QFETCH(double, seconds);
        QFETCH(QVector<float>, vbus);
        QFETCH(QVector<float>, ibus);
        QFETCH(int, records);
        QFETCH(QString, reason);
        RunJournal journal;
        QVERIFY(journal.open(path(QStringLiteral("conditions-%1.sqlite").arg(kind))));
        LiveRun run;
        useClock(run);
        run.attach(std::make_unique<RunJournalSink>(journal));
        StopConditions conditions;
        conditions[StopConditions::Kind(kind)] = {true, value, seconds};
        run.setConditions(conditions);
        // Not armed: the run goes past the condition.
        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S")});
        for (int k = 0; k < vbus.size(); ++k) {
            tick(run, vbus[k], ibus[k]);
            QVERIFY(!run.checkConditions(1000));
        }
        QVERIFY(run.recording());
        // Armed, on a new run (begin() disarms them).
        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S")});
        run.armConditions();
        QVERIFY(!run.checkConditions(1000));
        run.stop();
        m_clock = Clock();
        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S")});
        run.armConditions();
        int i = 0;
        std::optional<StopConditions::Kind> met;
        for (; i < vbus.size() && !met; ++i) {
            run.add(reading(vbus[i], ibus[i]));
            run.flush();
            met = run.checkConditions(1000);
            if (!met)
                m_clock.advance(1000);
        }
        QVERIFY(met);
        QCOMPARE(int(*met), kind);
        QCOMPARE(i, records);
        QVERIFY(!run.underWay());
        QCOMPARE(run.endReason(), reason);
        const JournalRun kept = journal.runs().front();
        QCOMPARE(kept.records, records);
        QCOMPARE(kept.endReason, reason);
    }

    // The journal held by another program: it says so once and its records
    // wait while the CSV goes on; a JSON output on a full disk says so once
    // and never holds the others back; the journal catches up when let go.
    // Records a sink has not taken stay in the run's log.
    void failingSinks()
    {
        const QString db = path(QStringLiteral("held.sqlite"));
        RunJournal journal;
        QVERIFY(journal.open(db));
        LiveRun run;
        useClock(run);
        run.setKeepRecords(false);
        auto *journalSink = run.attach(std::make_unique<RunJournalSink>(journal));
        auto csvFile = std::make_unique<CsvRunSink>(run, QStringLiteral("UM34C"), path(QStringLiteral("held.csv")));
        auto jsonFile = std::make_unique<JsonLinesRunSink>(QStringLiteral("/dev/full"), RegularFile::Accept::Streams);
        QString error;
        QVERIFY2(csvFile->open(&error), qPrintable(error));
        QVERIFY2(jsonFile->open(&error), qPrintable(error));
        run.attach(std::move(csvFile));
        auto *json = run.attach(std::move(jsonFile));
        QSignalSpy statuses(&run, &LiveRun::sinkStatusChanged);

        run.begin({QStringLiteral("UM34C"), QStringLiteral("V1"), QStringLiteral("S")});
        tick(run, 5.0f, 1.0f);
        // The full disk, said once, the run going on.
        QCOMPARE(statuses.size(), 1);
        QCOMPARE(statuses.at(0).at(0).toInt(), 2);
        QCOMPARE(json->status().state, RunSink::State::Fault);
        QVERIFY(!json->status().message.isEmpty());
        QVERIFY(run.recording());

        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        for (int i = 0; i < 3; ++i)
            tick(run, 5.0f, 1.0f);
        QCOMPARE(statuses.size(), 2);
        QCOMPARE(statuses.at(1).at(0).toInt(), 0);
        QCOMPARE(run.sinkStatus(0).state, RunSink::State::Fault);
        QCOMPARE(run.sinkStatus(0).message, journal.message());
        QCOMPARE(run.sinkStatus(1).state, RunSink::State::Ok);
        QCOMPARE(journalSink->taken(), 1);
        // Neither the journal nor the JSON output has them: they wait.
        QCOMPARE(run.logStart(), 0);
        QCOMPARE(run.log().size(), 4);
        QCOMPARE(dataLines(path(QStringLiteral("held.csv")), "20").size(), 4);

        QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        tick(run, 5.0f, 1.0f);
        // Caught up: back to Ok, said once, the log emptied.
        QCOMPARE(statuses.size(), 3);
        QCOMPARE(statuses.at(2).at(0).toInt(), 0);
        QCOMPARE(run.sinkStatus(0).state, RunSink::State::Ok);
        QCOMPARE(journalSink->taken(), 5);
        QCOMPARE(json->status().state, RunSink::State::Fault);
        QCOMPARE(run.logStart(), 0);
        QCOMPARE(run.log().size(), 5);
        // The JSON output taken off the run: the log no longer waits for it.
        const std::unique_ptr<RunSink> detached = run.detach(json);
        QCOMPARE(detached.get(), static_cast<RunSink *>(json));
        QCOMPARE(run.sinkCount(), 2);
        QVERIFY(!run.detach(json));
        QCOMPARE(run.logStart(), 5);
        QCOMPARE(run.log().size(), 0);
        run.stop();
        QVERIFY(journalSink->keptWhole());
        QCOMPARE(statuses.size(), 3);
        const JournalRun kept = journal.runs().front();
        QCOMPARE(kept.records, 5);
        QCOMPARE(kept.endReason, QStringLiteral("stopped"));
        QCOMPARE(dataLines(path(QStringLiteral("held.csv")), "20").size(), 5);
        ReadingLog back;
        QVERIFY(journal.load(kept.id, back));
        QCOMPARE(back.size(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(back.timeMs(i), kWall0 + 1000 * i);
    }
};

QTEST_GUILESS_MAIN(TestLiveRun)
#include "tst_liverun.moc"
