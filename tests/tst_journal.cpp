// The run journal and the interval statistics: records kept exactly, a killed
// writer's run closed as interrupted and a live one left alone, each fault
// reported and caught up, damaged files moved aside, retention, and the
// statistics against a plain computation.
#include "base/setting.h"
#include "journalrecords.h"
#include "sqlitefile.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "recording/runstats.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Every record of `got` equal to `want`'s, floats bit for bit.
void compareLogs(const ReadingLog &got, const ReadingLog &want)
{
    QCOMPARE(got.size(), want.size());
    for (int i = 0; i < want.size(); ++i) {
        QCOMPARE(got.runMs(i), want.runMs(i));
        QCOMPARE(got.timeMs(i), want.timeMs(i));
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            QCOMPARE(bits(got.value(ReadingLog::Column(c), i)), bits(want.value(ReadingLog::Column(c), i)));
    }
}

// The figures of records first..last the plain way.
IntervalStats bruteForce(const ReadingLog &log, int first, int last)
{
    IntervalStats r;
    r.first = first;
    r.last = last;
    r.records = last - first + 1;
    r.duration_s = double(log.runMs(last) - log.runMs(first)) / 1000.0;
    const ReadingLog::Column cols[3] = {ReadingLog::Vbus, ReadingLog::Ibus, ReadingLog::Power};
    ChannelStats *out[3] = {&r.vbus, &r.ibus, &r.power};
    double weight = 0, integral[3] = {0, 0, 0}, plain[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) {
        out[c]->min = out[c]->max = out[c]->first = log.value(cols[c], first);
        out[c]->last = log.value(cols[c], last);
    }
    for (int k = first; k <= last; ++k) {
        for (int c = 0; c < 3; ++c) {
            const float v = log.value(cols[c], k);
            out[c]->min = std::min(out[c]->min, v);
            out[c]->max = std::max(out[c]->max, v);
            plain[c] += v;
        }
        if (k == last)
            continue;
        const qint64 dt = log.runMs(k + 1) - log.runMs(k);
        if (dt > 2500)
            continue;
        weight += double(dt);
        for (int c = 0; c < 3; ++c)
            integral[c] += (double(log.value(cols[c], k)) + double(log.value(cols[c], k + 1))) / 2.0 * double(dt);
    }
    for (int c = 0; c < 3; ++c)
        out[c]->mean = weight > 0 ? integral[c] / weight : plain[c] / r.records;
    r.charge_ah = integral[1] / 3.6e6;
    r.energy_wh = integral[2] / 3.6e6;
    r.meter_cap_ah = double(log.value(ReadingLog::Cap, last)) - double(log.value(ReadingLog::Cap, first));
    r.meter_ele_wh = double(log.value(ReadingLog::Ele, last)) - double(log.value(ReadingLog::Ele, first));
    return r;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

void compareStats(const IntervalStats &got, const IntervalStats &want, const char *what)
{
    const QByteArray where = QByteArray(what) + " " + QByteArray::number(want.first) + ".." + QByteArray::number(want.last);
    QVERIFY2(got.first == want.first && got.last == want.last && got.records == want.records, where);
    QVERIFY2(near(got.duration_s, want.duration_s), where);
    QVERIFY2(near(got.charge_ah, want.charge_ah), where);
    QVERIFY2(near(got.energy_wh, want.energy_wh), where);
    QVERIFY2(near(got.meter_cap_ah, want.meter_cap_ah) && near(got.meter_ele_wh, want.meter_ele_wh), where);
    const ChannelStats *g[3] = {&got.vbus, &got.ibus, &got.power};
    const ChannelStats *w[3] = {&want.vbus, &want.ibus, &want.power};
    for (int c = 0; c < 3; ++c) {
        QVERIFY2(g[c]->min == w[c]->min && g[c]->max == w[c]->max, where);
        QVERIFY2(g[c]->first == w[c]->first && g[c]->last == w[c]->last, where);
        QVERIFY2(near(g[c]->mean, w[c]->mean), where);
    }
}

ReadingLog::Values flat(float vbus, float ibus)
{
    ReadingLog::Values v{};
    v[ReadingLog::Vbus] = vbus;
    v[ReadingLog::Ibus] = ibus;
    v[ReadingLog::Power] = vbus * ibus;
    return v;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void microUnitsGiveBackEveryMeterValue();
    void killedWriterIsInterruptedLiveOneIsNot();
    void readerBesideTheWriterKeepsOtherProgramsRuns();
    void faultsAreReportedAndCaughtUp();
    void brokenFilesAreMovedAside();
    void retentionRemovesOldestFinishedRuns();
    void statisticsOverAnyInterval();
    void olderJournalKeepsItsRunsAndTakesMarks();

private:
    QTemporaryDir m_dir;
};

void TestJournal::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestJournal::microUnitsGiveBackEveryMeterValue()
{
    // The meter sends unsigned 32-bit counts of millionths, decoded as
    // float(count / 1e6). Below 16 every count is its own float: all of them.
    // From 16 up a float's step exceeds a millionth, so every float of the
    // range is some count's value: all floats up to the largest count.
    auto roundTrips = [](float f) { return bits(RunJournal::fromMicro(RunJournal::toMicro(f))) == bits(f); };
    for (uint32_t raw = 0; raw <= 16000000u; ++raw) {
        const float f = static_cast<float>(static_cast<double>(raw) / 1000000.0);
        if (!roundTrips(f))
            QFAIL(qPrintable(QStringLiteral("count %1").arg(raw)));
    }
    const float top = static_cast<float>(static_cast<double>(0xFFFFFFFFu) / 1000000.0);
    for (uint32_t b = bits(16.0f); b <= bits(top); ++b) {
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (!roundTrips(f))
            QFAIL(qPrintable(QStringLiteral("float %1").arg(double(f), 0, 'g', 12)));
    }
    QCOMPARE(RunJournal::toMicro(5.123456f), qint64(5123456));
    QCOMPARE(RunJournal::toMicro(top), qint64(4294967285));
}

void TestJournal::killedWriterIsInterruptedLiveOneIsNot()
{
    const QString db = m_dir.filePath(QStringLiteral("killed/runs.sqlite"));
    const quint64 seed = QRandomGenerator::global()->generate();
    const int target = 20 + int(QRandomGenerator::global()->bounded(400));
    QProcess child;
    child.start(QStringLiteral(OMBREL_JOURNAL_CHILD), {db, QString::number(seed)});
    QVERIFY(child.waitForStarted());
    int reported = 0;
    bool checkedLive = false;
    QByteArray pending;
    while (reported < target) {
        QVERIFY2(child.waitForReadyRead(10000), "the writer stopped reporting");
        pending += child.readAllStandardOutput();
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(nl);
            pending.remove(0, nl + 1);
            if (!line.startsWith("run"))
                reported = line.toInt();
        }
        if (!checkedLive && reported >= 10) {
            // Another process opening the database meanwhile leaves the live run open.
            checkedLive = true;
            RunJournal other;
            QVERIFY(other.open(db));
            QCOMPARE(other.recoveredRuns(), 0);
            const std::vector<JournalRun> runs = other.runs();
            QCOMPARE(int(runs.size()), 1);
            QVERIFY(!runs[0].finished());
            // A run of its own left without an end, as by a program that
            // died: closed at the next open too.
            ReadingLog log;
            for (int k = 0; k < 3; ++k)
                journalrecords::appendRecord(log, seed + 1, k);
            const qint64 id = other.beginRun(log.timeMs(0), {}, {}, {});
            QVERIFY(other.sync(id, log));
        }
    }
    QTest::qSleep(1 + int(QRandomGenerator::global()->bounded(7)));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(10000));
    pending += child.readAllStandardOutput();
    for (const QByteArray &line : pending.split('\n'))
        if (!line.isEmpty())
            reported = line.toInt();

    // Read only, the dead runs read as interrupted and stay as they are.
    RunJournal reader;
    QVERIFY(reader.open(db, RunJournal::Mode::Read));
    const std::vector<JournalRun> read = reader.runs();
    reader.close();
    RunJournal journal;
    QVERIFY(journal.open(db));
    QCOMPARE(journal.recoveredRuns(), 2);
    const std::vector<JournalRun> runs = journal.runs();
    QCOMPARE(int(runs.size()), 2);
    QCOMPARE(int(read.size()), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(read[size_t(r)].endReason, runs[size_t(r)].endReason);
        QCOMPARE(read[size_t(r)].endMs, runs[size_t(r)].endMs);
        QCOMPARE(read[size_t(r)].records, runs[size_t(r)].records);
        QCOMPARE(read[size_t(r)].charge_ah, runs[size_t(r)].charge_ah);
        QCOMPARE(read[size_t(r)].cap_end_ah, runs[size_t(r)].cap_end_ah);
    }
    const bool childFirst = runs[0].serial == QStringLiteral("0012345678");
    const JournalRun &left = runs[childFirst ? 1 : 0];
    QCOMPARE(left.endReason, QStringLiteral("interrupted"));
    QCOMPARE(left.records, 3);
    const JournalRun &run = runs[childFirst ? 0 : 1];
    QCOMPARE(run.endReason, QStringLiteral("interrupted"));
    // Every record it said was committed, and at most the one being reported.
    QVERIFY2(run.records == reported || run.records == reported + 1,
             qPrintable(QStringLiteral("%1 kept, %2 reported").arg(run.records).arg(reported)));
    QCOMPARE(run.serial, QStringLiteral("0012345678"));
    QCOMPARE(run.model, QStringLiteral("M512X"));
    ReadingLog want;
    for (int k = 0; k < run.records; ++k)
        journalrecords::appendRecord(want, seed, k);
    ReadingLog got;
    QVERIFY(journal.load(run.id, got));
    compareLogs(got, want);
    QCOMPARE(run.endMs, want.timeMs(want.size() - 1));
    const IntervalStats whole = bruteForce(want, 0, want.size() - 1);
    QVERIFY(near(run.charge_ah, whole.charge_ah));
    QVERIFY(near(run.energy_wh, whole.energy_wh));
    QCOMPARE(run.vbus_max, double(whole.vbus.max));
    QCOMPARE(run.cap_end_ah, double(want.value(ReadingLog::Cap, want.size() - 1)));

    // A second open finds nothing more to close.
    RunJournal again;
    QVERIFY(again.open(db));
    QCOMPARE(again.recoveredRuns(), 0);
}

// A run read in the process that records (a comparison in the window) must
// leave the recording connection its locks: another program closing the
// database would otherwise take itself for the last one, remove the -wal the
// window writes into, and its own run would be lost at the window's close.
void TestJournal::readerBesideTheWriterKeepsOtherProgramsRuns()
{
    const QString db = m_dir.filePath(QStringLiteral("beside/runs.sqlite"));
    const quint64 seed = 77;
    ReadingLog log;
    RunJournal writer;
    QVERIFY(writer.open(db));
    const qint64 id = writer.beginRun(journalrecords::wallMs(seed, 0), {}, {}, QStringLiteral("window"));
    for (int k = 0; k < 5; ++k)
        journalrecords::appendRecord(log, seed, k);
    QVERIFY(writer.sync(id, log));
    {
        RunJournal reader;
        QVERIFY(reader.open(db, RunJournal::Mode::Read));
        QCOMPARE(int(reader.runs().size()), 1);
    }
    QProcess other;
    other.start(QStringLiteral(OMBREL_JOURNAL_CHILD), {db, QStringLiteral("78"), QStringLiteral("4")});
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    QVERIFY2(QFileInfo::exists(db + QStringLiteral("-wal")), "the other program removed the window's -wal");
    for (int k = 5; k < 9; ++k)
        journalrecords::appendRecord(log, seed, k);
    QVERIFY(writer.sync(id, log));
    {
        RunJournal fresh;
        QVERIFY(fresh.open(db, RunJournal::Mode::Read));
        const std::vector<JournalRun> runs = fresh.runs();
        QCOMPARE(int(runs.size()), 2);
        ReadingLog got;
        QVERIFY(fresh.load(writer.storedId(id), got));
        compareLogs(got, log);
    }
    QVERIFY(writer.endRun(id, log.timeMs(log.size() - 1), QStringLiteral("stopped")));
    writer.close();
    RunJournal after;
    QVERIFY(after.open(db, RunJournal::Mode::Read));
    const std::vector<JournalRun> runs = after.runs();
    QCOMPARE(int(runs.size()), 2);
    for (const JournalRun &run : runs) {
        const bool window = run.serial == QStringLiteral("window");
        QCOMPARE(run.records, window ? 9 : 4);
        QCOMPARE(run.endReason, QStringLiteral("stopped"));
    }
}

void TestJournal::faultsAreReportedAndCaughtUp()
{
    // A data folder that cannot be made: a file stands where it should be.
    const QString blocked = m_dir.filePath(QStringLiteral("blocked"));
    writeFile(blocked, "not a folder");
    RunJournal journal;
    QVERIFY(!journal.open(blocked + QStringLiteral("/data/runs.sqlite")));
    QCOMPARE(journal.status(), RunJournal::Status::FolderNotWritable);
    QVERIFY2(journal.message().contains(blocked + QStringLiteral("/data")), qPrintable(journal.message()));
    QCOMPARE(journal.beginRun(1, {}, {}, {}), qint64(0));

    const QString db = m_dir.filePath(QStringLiteral("faults/runs.sqlite"));
    QVERIFY2(journal.open(db), qPrintable(journal.message()));
    QCOMPARE(journal.status(), RunJournal::Status::Ok);
    const qint64 id = journal.beginRun(journalrecords::wallMs(7, 0), QStringLiteral("M512X"), QStringLiteral("V1.2"),
                                       QStringLiteral("42"));
    QVERIFY(id > 0);
    ReadingLog log;
    int k = 0;
    for (; k < 50; ++k) {
        journalrecords::appendRecord(log, 7, k);
        QVERIFY(journal.sync(id, log));
    }

    // Past the first block of stored sums, so that the writes the full disk
    // fails below are taken back to within the second.
    while (k < RunStats::kBlock + 100)
        journalrecords::appendRecord(log, 7, k++);
    QVERIFY(journal.sync(id, log));

    // The disk full: no file may grow past its present size.
    auto size = [](const QString &p) { return QFileInfo(p).size(); };
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit full = old;
    full.rlim_cur = rlim_t(std::max(size(db), size(db + QStringLiteral("-wal"))) + 8192);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &full) == 0);
    bool failed = false;
    for (; k < 4000 && !failed; ++k) {
        journalrecords::appendRecord(log, 7, k);
        failed = !journal.sync(id, log);
    }
    for (int more = 0; more < 5; ++more, ++k) {
        journalrecords::appendRecord(log, 7, k);
        QVERIFY(!journal.sync(id, log));
    }
    QVERIFY(setrlimit(RLIMIT_FSIZE, &old) == 0);
    QVERIFY(failed);
    QVERIFY2(journal.status() == RunJournal::Status::DiskFull, qPrintable(journal.message()));
    QVERIFY(journal.written(id) < log.size());
    journalrecords::appendRecord(log, 7, k++);
    QVERIFY(journal.sync(id, log));
    QCOMPARE(journal.status(), RunJournal::Status::Ok);
    QVERIFY(journal.message().isEmpty());
    QCOMPARE(journal.written(id), log.size());

    // Held by another program in an exclusive transaction, then let go.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (int more = 0; more < 3; ++more, ++k) {
        journalrecords::appendRecord(log, 7, k);
        QVERIFY(!journal.sync(id, log));
        QCOMPARE(journal.status(), RunJournal::Status::Locked);
    }
    QVERIFY(!journal.message().isEmpty());
    QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    journalrecords::appendRecord(log, 7, k++);
    QVERIFY(journal.sync(id, log));
    QCOMPARE(journal.status(), RunJournal::Status::Ok);
    QVERIFY(journal.endRun(id, journalrecords::wallMs(7, k), QStringLiteral("stopped")));

    // None lost, none twice, and the stored sums hold across the failed writes.
    ReadingLog got;
    QVERIFY(journal.load(id, got));
    compareLogs(got, log);
    compareStats(journal.statsOfRecords(id, 0, log.size() - 1), bruteForce(log, 0, log.size() - 1), "caught up");
    QVERIFY(journal.rename(id, QStringLiteral("Phone, 20 W")));
    const JournalRun run = journal.runs().front();
    QCOMPARE(run.name, QStringLiteral("Phone, 20 W"));
    QCOMPARE(run.records, log.size());
    QCOMPARE(run.endReason, QStringLiteral("stopped"));
    QVERIFY(near(run.charge_ah, bruteForce(log, 0, log.size() - 1).charge_ah));
}

void TestJournal::brokenFilesAreMovedAside()
{
    // A damaged database: its first page overwritten.
    const QString damagedPath = m_dir.filePath(QStringLiteral("damaged/runs.sqlite"));
    {
        RunJournal journal;
        QVERIFY(journal.open(damagedPath));
        ReadingLog log;
        const qint64 id = journal.beginRun(1, {}, {}, {});
        for (int k = 0; k < 10; ++k)
            journalrecords::appendRecord(log, 3, k);
        QVERIFY(journal.sync(id, log));
        QVERIFY(journal.endRun(id, 2, QStringLiteral("stopped")));
    }
    QByteArray damaged = fileBytes(damagedPath);
    QVERIFY(damaged.size() > 4096);
    const QByteArray cut = damaged.left(damaged.size() - 100);
    for (int i = 100; i < 4096; ++i)
        damaged[i] = char(0x5A);

    const QString newerPath = m_dir.filePath(QStringLiteral("newer/runs.sqlite"));
    QDir().mkpath(QFileInfo(newerPath).absolutePath());
    QCOMPARE(sqlOn(newerPath, "CREATE TABLE run(id INTEGER PRIMARY KEY, future TEXT); PRAGMA user_version = 2;"),
             QString());
    // Another program's database, of no version of ours.
    const QString otherPath = m_dir.filePath(QStringLiteral("other/notes.sqlite"));
    QDir().mkpath(QFileInfo(otherPath).absolutePath());
    QCOMPARE(sqlOn(otherPath, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT); INSERT INTO notes VALUES(1, 'keep');"),
             QString());

    const struct {
        const char *folder;
        QByteArray content;
        bool newer;
    } cases[] = {
        {"notdb", QByteArray("time,vbus\r\n2024-01-01,5.0\r\n").repeated(300), false},
        {"damaged", damaged, false},
        {"newer", fileBytes(newerPath), true},
        {"other", fileBytes(otherPath), false},
        {"cut", cut, false},   // inside its last page
        {"byte", cut.left(1), false},
    };
    for (const auto &c : cases) {
        const QString path = m_dir.filePath(QLatin1String(c.folder) + QStringLiteral("/runs.sqlite"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeFile(path, c.content);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        // Reading only, it is named and left where it is.
        RunJournal reader;
        QVERIFY2(!reader.open(path, RunJournal::Mode::Read), c.folder);
        QCOMPARE(reader.status(), c.newer ? RunJournal::Status::Newer : RunJournal::Status::Damaged);
        QVERIFY2(reader.message().contains(path), qPrintable(reader.message()));
        QVERIFY(QDir(QFileInfo(path).absolutePath()).entryList({QStringLiteral("*.broken-*")}).isEmpty());
        QCOMPARE(fileBytes(path), c.content);
        RunJournal journal;
        QVERIFY2(journal.open(path), c.folder);
        QCOMPARE(journal.status(), RunJournal::Status::MovedAside);
        const QString moved = journal.movedAsidePath();
        QVERIFY2(QRegularExpression(QRegularExpression::escape(path) + QStringLiteral("\\.broken-") + today
                                    + QStringLiteral("-\\d{6}$"))
                     .match(moved)
                     .hasMatch(),
                 qPrintable(moved));
        QVERIFY2(journal.message().contains(moved), qPrintable(journal.message()));
        QVERIFY(journal.message().contains(c.newer ? QStringLiteral("较新") : QStringLiteral("损坏")));
        QCOMPARE(fileBytes(moved), c.content);
        // A new database in its place takes runs.
        ReadingLog log;
        const qint64 id = journal.beginRun(5, {}, {}, {});
        QVERIFY(id > 0);
        for (int k = 0; k < 3; ++k)
            journalrecords::appendRecord(log, 9, k);
        QVERIFY(journal.sync(id, log));
        ReadingLog got;
        QVERIFY(journal.load(id, got));
        compareLogs(got, log);
        QCOMPARE(int(journal.runs().size()), 1);
    }
}

void TestJournal::retentionRemovesOldestFinishedRuns()
{
    const QString db = m_dir.filePath(QStringLiteral("retention/runs.sqlite"));
    RunJournal journal;
    QVERIFY(journal.open(db));
    std::vector<qint64> ids;
    for (int r = 0; r < 5; ++r) {
        ReadingLog log;
        const qint64 id = journal.beginRun(1000 * r, {}, {}, {});
        for (int k = 0; k < 3000; ++k)
            journalrecords::appendRecord(log, quint64(r), k);
        QVERIFY(journal.sync(id, log));
        if (r < 4)
            QVERIFY(journal.endRun(id, 1000 * r + 1, QStringLiteral("stopped")));
        ids.push_back(id);
    }
    QCOMPARE(journal.takeRemovedRuns(), 0);
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    const qint64 before = QFileInfo(db).size();
    // Room for two and a half runs: the three oldest finished ones go.
    journal.setSizeCap(before / 2);
    QCOMPARE(journal.applyRetention(), 3);
    QCOMPARE(journal.takeRemovedRuns(), 3);
    QCOMPARE(journal.takeRemovedRuns(), 0);
    std::vector<qint64> left;
    for (const JournalRun &r : journal.runs())
        left.push_back(r.id);
    QCOMPARE(left, (std::vector<qint64>{ids[4], ids[3]}));
    const qint64 after = QFileInfo(db).size();
    QVERIFY2(after <= journal.sizeCap() && after < before / 2,
             qPrintable(QStringLiteral("%1 -> %2 bytes").arg(before).arg(after)));
    // However small the cap, the run that goes on stays, and the newest
    // finished one; that they are over the cap is said once. Nor is the run
    // that goes on removed by hand.
    QVERIFY(!journal.remove(ids[4]));
    journal.setSizeCap(1);
    QCOMPARE(journal.applyRetention(), 0);
    QVERIFY(journal.takeOverCap());
    QVERIFY(!journal.takeOverCap());
    QCOMPARE(int(journal.runs().size()), 2);
    // Once it has ended it is the newest finished run: the one before goes.
    QVERIFY(journal.endRun(ids[4], 4001, QStringLiteral("stopped")));
    QCOMPARE(journal.takeRemovedRuns(), 1);
    QCOMPARE(int(journal.runs().size()), 1);
    QCOMPARE(journal.runs().front().id, ids[4]);
    QVERIFY(!journal.takeOverCap());

    // The cap comes from the settings file, in MiB, 2 GiB when not set.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QCOMPARE(RunJournal::sizeCapFromSettings(Setting()), qint64(2048) << 20);
    Setting().write(QStringLiteral("RunDatabaseLimitMB"), QStringLiteral("300"));
    QCOMPARE(RunJournal::sizeCapFromSettings(Setting()), qint64(300) << 20);
    QString bad;
    for (const char *value : {"9000000000000", "0", "-5", "lots"}) {
        Setting().write(QStringLiteral("RunDatabaseLimitMB"), QLatin1String(value));
        QCOMPARE(RunJournal::sizeCapFromSettings(Setting(), &bad), qint64(2048) << 20);
        QCOMPARE(bad, QLatin1String(value));
    }
    // Mended, no bad value is said any more.
    Setting().write(QStringLiteral("RunDatabaseLimitMB"), QStringLiteral("300"));
    QCOMPARE(RunJournal::sizeCapFromSettings(Setting(), &bad), qint64(300) << 20);
    QVERIFY(bad.isEmpty());
    QVERIFY(QDir::setCurrent(cwd));
}

void TestJournal::statisticsOverAnyInterval()
{
    // 5 V at 2 A for an hour, a record a second: 2 Ah and 10 Wh; then 3 s
    // without a record, which adds nothing.
    ReadingLog hour;
    for (int s = 0; s <= 3600; ++s)
        hour.append(1000ll * s, flat(5.0f, 2.0f));
    hour.append(3603000, flat(5.0f, 2.0f));
    RunStats stats;
    for (int i = 0; i < hour.size(); ++i)
        stats.append(hour, i);
    const IntervalStats h = stats.total();
    QCOMPARE(h.records, 3602);
    QCOMPARE(h.charge_ah, 2.0);
    QCOMPARE(h.energy_wh, 10.0);
    QCOMPARE(h.duration_s, 3603.0);
    QCOMPARE(h.ibus.mean, 2.0);
    QCOMPARE(stats.interval(3600, 3601).charge_ah, 0.0);
    QCOMPARE(stats.interval(3600, 3601).vbus.mean, 5.0);
    QCOMPARE(stats.between(1800000, 3600000).charge_ah, 1.0);
    // The extremes at the first record: the voltage falls, the current rises.
    ReadingLog slope;
    for (int s = 0; s < 3; ++s)
        slope.append(1000ll * s, flat(9.0f - 3.0f * float(s), 1.0f + float(s)));
    RunStats slopeStats;
    for (int i = 0; i < slope.size(); ++i)
        slopeStats.append(slope, i);
    QCOMPARE(slopeStats.total().vbus.max, 9.0f);
    QCOMPARE(slopeStats.total().ibus.min, 1.0f);

    // Random runs with gaps of every kind against the plain computation: the
    // live statistics, and the journal's from its stored blocks. The wall
    // clock is set back an hour in the middle of the run.
    QRandomGenerator rng(QRandomGenerator::global()->generate());
    ReadingLog log;
    std::vector<qint64> runAt, wallAt;   // each record's times, as recorded
    const int step = 1000 + int(rng.bounded(3000));
    qint64 t = 1700000000000ll;
    for (int i = 0; i < 5000; ++i) {
        const quint32 kind = rng.bounded(100);
        t += kind < 80 ? 990 + rng.bounded(20) : kind < 90 ? 2400 + rng.bounded(200) : kind < 95 ? 0 : 3000 + rng.bounded(60000);
        ReadingLog::Values v;
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            v[size_t(c)] = float(rng.bounded(25000000u) / 1e6);
        runAt.push_back(t);
        wallAt.push_back(t + 5 - (i >= step ? 3600000 : 0));
        log.append(wallAt.back(), t, v);
    }
    RunStats live;
    for (int i = 0; i < log.size(); ++i)
        live.append(log, i);
    RunJournal journal;
    QVERIFY(journal.open(m_dir.filePath(QStringLiteral("stats/runs.sqlite"))));
    const qint64 id = journal.beginRun(log.timeMs(0), {}, {}, {});
    QVERIFY(journal.sync(id, log));
    RunJournal reader;   // a process that has just opened the database
    QVERIFY(reader.open(m_dir.filePath(QStringLiteral("stats/runs.sqlite"))));
    // Each record comes back with its times as they were: the wall clock's
    // hour back is kept, the run's timeline goes on.
    ReadingLog back;
    QVERIFY(reader.load(id, back));
    QCOMPARE(back.size(), 5000);
    for (int i = 0; i < 5000; i += 7) {
        QCOMPARE(back.runMs(i), runAt[size_t(i)]);
        QCOMPARE(back.timeMs(i), wallAt[size_t(i)]);
    }
    QCOMPARE(back.timeMs(step) - back.timeMs(step - 1), runAt[size_t(step)] - runAt[size_t(step - 1)] - 3600000);
    // The same times in the view the database offers other programs.
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(m_dir.filePath(QStringLiteral("stats/runs.sqlite")).toUtf8().constData(), &db,
                                 SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt *q = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT i, run_ms, wall_ms FROM reading WHERE run = ? ORDER BY i", -1, &q,
                                    nullptr), SQLITE_OK);
        sqlite3_bind_int64(q, 1, journal.storedId(id));
        int rows = 0;
        while (sqlite3_step(q) == SQLITE_ROW) {
            const int i = sqlite3_column_int(q, 0);
            QCOMPARE(i, rows++);
            QCOMPARE(sqlite3_column_int64(q, 1), runAt[size_t(i)]);
            QCOMPARE(sqlite3_column_int64(q, 2), wallAt[size_t(i)]);
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        QCOMPARE(rows, 5000);
    }
    // The records from one time to another on the run's timeline, by a
    // count over the recorded times.
    auto within = [&](qint64 from, qint64 to) {
        int first = -1, last = -1;
        for (int k = 0; k < 5000; ++k) {
            if (runAt[size_t(k)] >= from && runAt[size_t(k)] <= to) {
                if (first < 0)
                    first = k;
                last = k;
            }
        }
        return std::make_pair(first, last);
    };
    compareStats(live.total(), bruteForce(log, 0, log.size() - 1), "total");
    for (int n = 0; n < 300; ++n) {
        int a = int(rng.bounded(log.size())), b = int(rng.bounded(log.size()));
        if (n % 10 == 0)
            a = b;
        if (a > b)
            std::swap(a, b);
        const IntervalStats want = bruteForce(log, a, b);
        compareStats(live.interval(a, b), want, "live");
        compareStats(reader.statsOfRecords(id, a, b), want, "stored");
        // The same by times on the run's timeline.
        const auto ends = within(runAt[size_t(a)], runAt[size_t(b)]);
        const IntervalStats byTime = bruteForce(log, ends.first, ends.second);
        compareStats(reader.stats(id, runAt[size_t(a)], runAt[size_t(b)]), byTime, "stored by time");
        // A record's wall-clock time: the run showed it once, or twice when
        // the clock went through it again after the step. Before the step
        // the clock ran from the first record's time up to (not including)
        // the last record's before the step, after it from the next
        // record's time up to the end.
        for (const int r : {a, b}) {
            const qint64 wall = wallAt[size_t(r)];
            if (wall == wallAt[size_t(step - 1)])
                continue;   // the moment the clock was set back
            const int count = int(wall >= wallAt[0] && wall < wallAt[size_t(step - 1)])
                              + int(wall >= wallAt[size_t(step)] && wall <= wallAt.back());
            const std::vector<qint64> times = reader.runTimesAtWall(id, wall);
            QVERIFY2(int(times.size()) == count, qPrintable(QStringLiteral("record %1 of a step at %2: %3 times, not %4")
                                                                 .arg(r).arg(step).arg(times.size()).arg(count)));
            QCOMPARE(times[r < step ? 0 : times.size() - 1], runAt[size_t(r)]);
        }
    }
    QCOMPARE(reader.stats(id, 0, runAt[0] - 1).records, 0);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"

// A database as the first version of the journal made it: its runs open and
// stay, it takes notes, fields and marks, and it stays one an older program
// opens and writes as before.
void TestJournal::olderJournalKeepsItsRunsAndTakesMarks()
{
    const QString path = m_dir.filePath(QStringLiteral("older/runs.sqlite"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto sql = [&](const char *text) { QCOMPARE(sqlOn(path, text), QString()); };
    auto userVersion = [&] {
        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &q, nullptr);
        const int v = sqlite3_step(q) == SQLITE_ROW ? sqlite3_column_int(q, 0) : -1;
        sqlite3_finalize(q);
        sqlite3_close(db);
        return v;
    };
    sql("PRAGMA journal_mode = WAL;"
        "CREATE TABLE run(id INTEGER PRIMARY KEY AUTOINCREMENT, start_ms INTEGER NOT NULL, end_ms INTEGER,"
        " end_reason TEXT, name TEXT NOT NULL DEFAULT '', model TEXT NOT NULL DEFAULT '',"
        " version TEXT NOT NULL DEFAULT '', serial TEXT NOT NULL DEFAULT '', t0_ms INTEGER,"
        " records INTEGER NOT NULL DEFAULT 0, duration_s REAL, charge_ah REAL, energy_wh REAL,"
        " vbus_max REAL, ibus_max REAL, power_max REAL,"
        " cap_start_ah REAL, cap_end_ah REAL, ele_start_wh REAL, ele_end_wh REAL);"
        "CREATE TABLE sample(run INTEGER NOT NULL, i INTEGER NOT NULL, lag_ms INTEGER NOT NULL,"
        " skew_ms INTEGER NOT NULL, vbus_uv INTEGER NOT NULL, ibus_ua INTEGER NOT NULL, power_uw INTEGER NOT NULL,"
        " dp_uv INTEGER NOT NULL, dm_uv INTEGER NOT NULL, cc1_uv INTEGER NOT NULL, cc2_uv INTEGER NOT NULL,"
        " cap_uah INTEGER NOT NULL, ele_uwh INTEGER NOT NULL, temp_uc INTEGER NOT NULL,"
        " PRIMARY KEY(run, i)) WITHOUT ROWID;"
        "CREATE TABLE block(run INTEGER NOT NULL, b INTEGER NOT NULL, records INTEGER NOT NULL,"
        " weight_ms REAL NOT NULL, vbus_vms REAL NOT NULL, ibus_ams REAL NOT NULL, power_wms REAL NOT NULL,"
        " vbus_sum REAL NOT NULL, ibus_sum REAL NOT NULL, power_sum REAL NOT NULL,"
        " vbus_min REAL NOT NULL, vbus_max REAL NOT NULL, ibus_min REAL NOT NULL, ibus_max REAL NOT NULL,"
        " power_min REAL NOT NULL, power_max REAL NOT NULL, PRIMARY KEY(run, b)) WITHOUT ROWID;"
        "INSERT INTO run(start_ms, end_ms, end_reason, name, model, t0_ms, records)"
        " VALUES(1700000000000, 1700000002000, 'stopped', 'old cable', 'M512X', 5000, 2);"
        "INSERT INTO sample VALUES(1, 0, 3, 7, 5000000, 1000000, 5000000, 0, 0, 0, 0, 0, 0, 30000000);"
        "INSERT INTO sample VALUES(1, 1, 4, 7, 5100000, 1000000, 5100000, 0, 0, 0, 0, 0, 0, 30000000);"
        "PRAGMA user_version = 1;");
    const QByteArray before = fileBytes(path);

    {
        // Read only, as it is: the run, no fields, no marks, nothing written.
        RunJournal reader;
        QVERIFY(reader.open(path, RunJournal::Mode::Read));
        const auto runs = reader.runs();
        QCOMPARE(runs.size(), size_t(1));
        QCOMPARE(runs[0].name, QStringLiteral("old cable"));
        QCOMPARE(runs[0].records, 2);
        QVERIFY(runs[0].fields == RunFields());
        QVERIFY(reader.marks(runs[0].id).empty());
    }
    QCOMPARE(fileBytes(path), before);

    qint64 kept = 0;
    {
        RunJournal journal;
        QVERIFY(journal.open(path));
        QCOMPARE(journal.status(), RunJournal::Status::Ok);
        const auto runs = journal.runs();
        QCOMPARE(runs.size(), size_t(1));
        kept = runs[0].id;
        QCOMPARE(runs[0].name, QStringLiteral("old cable"));
        RunFields fields;
        fields.notes = QStringLiteral("after 100 cycles\nsecond line");
        fields.dut = QStringLiteral("power bank");
        fields.source = QStringLiteral("65 W charger");
        fields.cable = QStringLiteral("1 m C-C");
        fields.ambientC = 35.5;
        QVERIFY(journal.setFields(kept, fields));
        // Marks at times of the run's timeline; the one from the wall clock
        // (the journal's first mark) is placed by the last record (wall =
        // t0 + 1000 + 4 + 7), and its time given back.
        qint64 at = 0;
        const qint64 late = journal.addMarkAtWall(kept, 5000 + 1000 + 4 + 7 + 300, QStringLiteral("late"), &at);
        QCOMPARE(late, qint64(1));
        QCOMPARE(at, qint64(1000 + 4 + 300));
        const qint64 plug = journal.addMark(kept, 2500, 1700000002500, QStringLiteral("plug"));
        QVERIFY(plug > 0);
        const qint64 early = journal.addMark(kept, 100, 1700000000100, QStringLiteral("early"));
        QVERIFY(early > 0);
        QCOMPARE(journal.addMark(kept + 99, 100, 1, QStringLiteral("no run")), qint64(0));
        QVERIFY(journal.renameMark(plug, QStringLiteral("unplug")));
        QVERIFY(journal.removeMark(early));
        QVERIFY(!journal.removeMark(early));
        journal.close();

        QVERIFY(journal.open(path, RunJournal::Mode::Read));
        QVERIFY(journal.runs()[0].fields == fields);
        QCOMPARE(journal.runs()[0].fields.ambientC, 35.5);
        const auto marks = journal.marks(kept);
        QCOMPARE(marks.size(), size_t(2));
        QCOMPARE(marks[0].name, QStringLiteral("late"));
        QCOMPARE(marks[0].atMs, qint64(1304));
        QCOMPARE(marks[1].name, QStringLiteral("unplug"));
        QCOMPARE(marks[1].atMs, qint64(2500));
        QCOMPARE(marks[1].wallMs, qint64(1700000002500));
        QCOMPARE(marks[1].runId, kept);
    }
    // Still a database of the first version, which an older program opens
    // and writes as it always did: a run begun, the marked run removed.
    QCOMPARE(userVersion(), 1);
    sql("INSERT INTO run(start_ms, model, version, serial) VALUES(1700000100000, 'M512X', 'V1.2', '1');"
        "DELETE FROM sample WHERE run = 1; DELETE FROM block WHERE run = 1; DELETE FROM run WHERE id = 1;");
    {
        RunJournal journal;
        QVERIFY(journal.open(path));
        QCOMPARE(journal.runs().size(), size_t(1));   // the older program's run, closed as interrupted
        QCOMPARE(journal.runs()[0].endReason, QString::fromLatin1(RunJournal::kInterrupted));
        QVERIFY(journal.marks(kept).empty());
        // A run removed here takes its marks with it.
        const qint64 other = journal.runs()[0].id;
        QVERIFY(journal.addMark(other, 0, 1700000100000, QStringLiteral("start")) > 0);
        // Before a run's first record, the wall clock places a mark from its
        // start, never before it.
        qint64 at = -1;
        QVERIFY(journal.addMarkAtWall(other, 1700000101500, QStringLiteral("soon"), &at) > 0);
        QCOMPARE(at, qint64(1500));
        QVERIFY(journal.addMarkAtWall(other, 1700000099000, QStringLiteral("clock set back"), &at) > 0);
        QCOMPARE(at, qint64(0));
        QVERIFY(journal.remove(other));
        QVERIFY(journal.marks(other).empty());
    }
    QCOMPARE(userVersion(), 1);
}
