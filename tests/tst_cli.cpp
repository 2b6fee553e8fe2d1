// The command line of the simulated build (ombrel-sim COMMAND), run as its
// own process without any display, as a script would run it.
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "report/runreport.h"
#include "childprocess.h"
#include "localiso.h"
#include "namedpipe.h"
#include "sigrokcli.h"
#include "sqlitefile.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cmath>
#include <csignal>

#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The children's data folder, where their run journal is, and their working
// directory (where their settings file is; the test's own when empty).
QString g_dataHome;
QString g_workDir;

using ChildProcess::Result;
using ChildProcess::finish;

QProcessEnvironment childEnvironment(const QString &trace = QString())
{
    QProcessEnvironment env = ChildProcess::environment(g_dataHome);
    if (!trace.isEmpty())
        env.insert(QStringLiteral("OMBREL_SIM_TRACE"), trace);
    return env;
}

void start(QProcess &p, const QStringList &arguments, const QString &trace = QString())
{
    p.setProcessEnvironment(childEnvironment(trace));
    if (!g_workDir.isEmpty())
        p.setWorkingDirectory(g_workDir);
    p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
}

Result run(const QStringList &arguments, const QString &trace = QString())
{
    QProcess p;
    start(p, arguments, trace);
    return finish(p);
}

// The program with its standard output into a file or device, in a locale,
// given up after `timeoutMs` (status -1).
Result runWith(const QStringList &arguments, const QString &stdoutFile, const QString &lang = QString(),
               int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment env = childEnvironment();
    if (!lang.isEmpty())
        env.insert(QStringLiteral("LANG"), lang);
    p.setProcessEnvironment(env);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
    return finish(p, timeoutMs);
}

// The program in a shell pipeline, "PROGRAM ARGUMENTS | tail": `status` is
// the program's as the shell saw it (141: killed by SIGPIPE), `out` what the
// tail printed. "true" as the tail is a reader gone before the program
// writes.
Result runPiped(const QStringList &arguments, const QString &tail)
{
    QProcess p;
    p.setProcessEnvironment(childEnvironment());
    const QString script = tail == QLatin1String("true")
                               ? QStringLiteral("{ sleep 0.5; \"$0\" \"$@\"; } | true")
                               : QStringLiteral("\"$0\" \"$@\" | ") + tail;
    p.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"),
                                                script + QStringLiteral("; echo \"status ${PIPESTATUS[0]}\" >&2"),
                                                QStringLiteral(OMBREL_SIM_BINARY)}
                                        + arguments);
    Result r = finish(p);
    const int at = r.err.lastIndexOf("status ");
    r.status = at < 0 ? -1 : r.err.mid(at + 7).trimmed().toInt();
    r.err.truncate(qMax(0, at));
    return r;
}

// Characters of Chinese script in a text.
bool hasChinese(const QByteArray &text)
{
    for (const QChar c : QString::fromUtf8(text)) {
        if (c.unicode() >= 0x3000)
            return true;
    }
    return false;
}

const char *const kKeys[] = {"time", "vbus", "ibus", "power", "cap", "ele", "pd", "pm", "cc1", "cc2", "cpu_temp"};

// The program on a terminal (a pseudo-terminal of script(1)): the lines a
// user is left with once it ends, a carriage return going back to the
// line's start and "erase to the end of the line" erasing.
QStringList onTerminal(const QStringList &arguments, int timeoutMs = 60000)
{
    QString command = QStringLiteral("exec '%1'").arg(QStringLiteral(OMBREL_SIM_BINARY));
    for (const QString &a : arguments)
        command += QStringLiteral(" '") + a + QLatin1Char('\'');
    QProcess p;
    p.setProcessEnvironment(childEnvironment());
    p.start(QStringLiteral("script"), {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
    const QByteArray shown = finish(p, timeoutMs).out;
    QStringList screen{QString()};
    int column = 0;
    for (int i = 0; i < shown.size(); ++i) {
        QString &line = screen.last();
        if (shown[i] == '\r') {
            column = 0;
        } else if (shown[i] == '\n') {
            screen.append(QString());
            column = 0;
        } else if (shown.mid(i, 3) == "\x1b[K") {
            line.truncate(column);
            i += 2;
        } else {
            line = line.left(column).leftJustified(column) + QLatin1Char(shown[i]) + line.mid(column + 1);
            ++column;
        }
    }
    screen.removeAll(QString());
    return screen;
}

// The records of a JSON-lines text, each checked whole: every key, in order,
// a local time with milliseconds and offset, numbers for the values.
QList<QJsonObject> jsonRecords(const QByteArray &text)
{
    QList<QJsonObject> records;
    if (!text.endsWith('\n'))
        return records;
    const QRegularExpression order(QStringLiteral(
        "^\\{\"time\":\"[^\"]+\",\"vbus\":[^,]+,\"ibus\":[^,]+,\"power\":[^,]+,\"cap\":[^,]+,\"ele\":[^,]+,"
        "\"pd\":[^,]+,\"pm\":[^,]+,\"cc1\":[^,]+,\"cc2\":[^,]+,\"cpu_temp\":[^,]+\\}$"));
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject() || !order.match(QString::fromUtf8(line)).hasMatch())
            return {};
        const QJsonObject o = doc.object();
        const QString stamp = o.value(QStringLiteral("time")).toString();
        if (!time.match(stamp).hasMatch()
            || localIso(QDateTime::fromString(stamp, Qt::ISODateWithMs).toMSecsSinceEpoch()) != stamp)
            return {};
        for (int k = 1; k < 11; ++k) {
            if (!o.value(QLatin1String(kKeys[k])).isDouble())
                return {};
        }
        records << o;
    }
    return records;
}

qint64 msOf(const QJsonObject &record)
{
    return QDateTime::fromString(record.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();
}

const char kCsvHead[] = "-------------------------VORANE Ombrel---------------------------\r\n"
                        "-------------------------M512X---------------------------\r\n"
                        "-------------------------VORANE Ombrel---------------------------\r\n"
                        "DATE,VBUS(V),IBUS(A),POWER(W),CAP(Ah),ELE(Wh),PD(V),PM(V),CC1(V),CC2(V),CPU_TEMP(\xE2\x84\x83),\r\n";

// The data lines after the head, each in the window's layout.
QList<QByteArray> csvRecords(const QByteArray &text)
{
    if (!text.startsWith(kCsvHead) || !text.endsWith("\r\n"))
        return {};
    const QRegularExpression layout(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d_\\d\\d:\\d\\d:\\d\\d,\\d+\\.\\d{6},\\d+\\.\\d{6},\\d+\\.\\d{6},\\d+\\.\\d{3},"
        "\\d+\\.\\d{3},\\d+\\.\\d{3},\\d+\\.\\d{3},\\d+\\.\\d{3},\\d+\\.\\d{3},\\d+\\.\\d$"));
    QList<QByteArray> lines = text.mid(int(qstrlen(kCsvHead))).split('\n');
    lines.removeLast();   // after the last line end
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return {};
        line.chop(1);
        if (!layout.match(QString::fromLatin1(line)).hasMatch())
            return {};
    }
    return lines;
}

// The bytes written to the meter, one 64-byte report a line of the trace.
QList<QByteArray> written(const QString &trace)
{
    QList<QByteArray> reports;
    for (const QByteArray &line : readFile(trace).split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 67 || fields[2] != "out")
            continue;
        QByteArray bytes;
        for (int i = 3; i < 67; ++i)
            bytes.append(char(fields[i].toInt(nullptr, 16)));
        reports << bytes;
    }
    return reports;
}

// The runs of the journal, newest first, as `runs --json` lists them.
QJsonArray journalRuns()
{
    const Result r = run({QStringLiteral("runs"), QStringLiteral("--json")});
    if (r.status != 0)
        return {};
    return QJsonDocument::fromJson(r.out).array();
}

QJsonObject statsOf(const QStringList &arguments)
{
    const Result r = run(QStringList{QStringLiteral("stats")} + arguments + QStringList{QStringLiteral("--json")});
    return r.status == 0 ? QJsonDocument::fromJson(r.out).object() : QJsonObject();
}

double number(const QJsonObject &o, const char *key, const char *inner = nullptr)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return inner ? v.toObject().value(QLatin1String(inner)).toDouble(NAN) : v.toDouble(NAN);
}

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        g_dataHome = path("data");
    }

    // Five seconds of a run: JSON lines on standard output and the window's
    // CSV, one record a second, the same records in both.
    void recordsOneASecond()
    {
        const QString csv = path("run.csv");
        const Result r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                              QStringLiteral("--csv"), csv, QStringLiteral("--until-duration"), QStringLiteral("6")});
        QVERIFY2(r.status == 0, r.err.constData());
        // No status line off a terminal: only the line that says how the run ended.
        QVERIFY2(r.err.startsWith("ombrel-sim record: the run ended (condition: duration 6 s)") && r.err.count('\n') == 1,
                 r.err.constData());
        const QList<QJsonObject> records = jsonRecords(r.out);
        QVERIFY2(records.size() >= 5 && records.size() <= 7, r.out.constData());
        for (int i = 0; i < records.size(); ++i) {
            const double vbus = records[i].value(QStringLiteral("vbus")).toDouble();
            const double power = records[i].value(QStringLiteral("power")).toDouble();
            QVERIFY2(vbus > 4.9 && vbus < 9.2, qPrintable(QString::number(vbus)));
            QVERIFY(power >= 0 && power < 25);
            QCOMPARE(records[i].value(QStringLiteral("cc1")).toDouble(), 1.68);
            if (i > 0) {
                const qint64 step = msOf(records[i]) - msOf(records[i - 1]);
                QVERIFY2(step >= 900 && step <= 1100, qPrintable(QString::number(step)));
            }
        }
        const QList<QByteArray> lines = csvRecords(readFile(csv));
        QCOMPARE(lines.size(), records.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QString stamp = QDateTime::fromMSecsSinceEpoch(msOf(records[i]))
                                      .toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss"));
            QVERIFY2(lines[i].startsWith(stamp.toLatin1() + ','), lines[i].constData());
            const QString vbus = QString::number(records[i].value(QStringLiteral("vbus")).toDouble(), 'f', 6);
            QVERIFY2(lines[i].split(',').value(1) == vbus.toLatin1(), lines[i].constData());
        }

        // The run is kept: ended by its stop condition, every record, the
        // same CSV and JSON lines again from the journal.
        const QJsonObject kept = journalRuns().first().toObject();
        // The end reason kept as a code, told in words by runs.
        QCOMPARE(kept.value(QStringLiteral("end_reason")).toString(), QStringLiteral("duration:6"));
        const QByteArray listed = run({QStringLiteral("runs")}).out;
        QVERIFY2(listed.split('\n').first().endsWith("  condition: duration 6 s"), listed.constData());
        // One duration, first record to last, in the end line and the list.
        const QByteArray duration =
            "0:00:0" + QByteArray::number(qRound((msOf(records.last()) - msOf(records.first())) / 1000.0));
        QVERIFY2(r.err.contains("(condition: duration 6 s) after " + duration + ": "), r.err.constData());
        QVERIFY2(listed.split('\n').first().contains("  " + duration + "  "), listed.constData());
        QCOMPARE(kept.value(QStringLiteral("records")).toInt(), records.size());
        QCOMPARE(kept.value(QStringLiteral("model")).toString(), QStringLiteral("M512X"));
        const QString copy = path("copy.csv");
        QCOMPARE(run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), copy}).status, 0);
        QCOMPARE(readFile(copy), readFile(csv));
        const Result exported = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                     QStringLiteral("-")});
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.out, r.out);

        // Its statistics over random intervals, against a count by hand over
        // the records: seconds from the start, and ISO 8601 local time.
        QRandomGenerator rng(QRandomGenerator::global()->generate());
        const QString id = QString::number(qint64(kept.value(QStringLiteral("id")).toDouble()));
        // They are taken over the run's own timeline, stored beside each
        // record's wall-clock time, which this machine's clock need not keep
        // to.
        ReadingLog timeline;
        {
            RunJournal journal;
            QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite"), RunJournal::Mode::Read));
            QVERIFY(journal.load(id.toLongLong(), timeline));
        }
        QCOMPARE(timeline.size(), records.size());
        for (int round = 0; round < 4; ++round) {
            int a = int(rng.bounded(records.size())), b = int(rng.bounded(records.size()));
            if (a > b)
                std::swap(a, b);
            const qint64 t0 = msOf(records[0]);
            QStringList span = {QStringLiteral("--from"), QString::number((msOf(records[a]) - t0 - 300) / 1000.0),
                                QStringLiteral("--to"), QString::number((msOf(records[b]) - t0 + 300) / 1000.0)};
            if (round % 2) {
                // Local time, with its offset in the last round.
                auto at = [&](qint64 ms) {
                    return round == 3 ? localIso(ms)
                                      : QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODateWithMs);
                };
                span = QStringList{QStringLiteral("--from"), at(msOf(records[a]) - 300), QStringLiteral("--to"),
                                   at(msOf(records[b]) + 300)};
            }
            const QJsonObject st = statsOf(QStringList{round < 2 ? id : QStringLiteral("last")} + span);
            const QString what = span.join(QLatin1Char(' ')) + QLatin1Char(' ') + QString::fromUtf8(QJsonDocument(st).toJson());
            QVERIFY2(st.value(QStringLiteral("records")).toInt() == b - a + 1, qPrintable(what));
            QCOMPARE(st.value(QStringLiteral("from")).toString(), records[a].value(QStringLiteral("time")).toString());
            QCOMPARE(st.value(QStringLiteral("to")).toString(), records[b].value(QStringLiteral("time")).toString());
            double charge = 0, energy = 0, weight = 0, integral[3] = {0, 0, 0};
            const char *const channels[] = {"vbus", "ibus", "power"};
            for (int c = 0; c < 3; ++c) {
                double mn = INFINITY, mx = -INFINITY, plain = 0;
                for (int k = a; k <= b; ++k) {
                    const double v = records[k].value(QLatin1String(channels[c])).toDouble();
                    mn = qMin(mn, v);
                    mx = qMax(mx, v);
                    plain += v;
                    if (k < b) {
                        const double v2 = records[k + 1].value(QLatin1String(channels[c])).toDouble();
                        const double dt = double(timeline.runMs(k + 1) - timeline.runMs(k));
                        integral[c] += (v + v2) / 2 * dt;
                        if (c == 0)
                            weight += dt;
                    }
                }
                QVERIFY2(float(number(st, channels[c], "min")) == float(mn), qPrintable(what));
                QVERIFY2(float(number(st, channels[c], "max")) == float(mx), qPrintable(what));
                const double mean = a == b ? plain : integral[c] / weight;
                QVERIFY2(near(number(st, channels[c], "mean"), mean, 2e-3 * std::fabs(mean) + 1e-9), qPrintable(what));
            }
            charge = integral[1] / 3.6e6;
            energy = integral[2] / 3.6e6;
            QVERIFY2(near(number(st, "charge_ah"), charge, 2e-3 * charge + 1e-12), qPrintable(what));
            QVERIFY2(near(number(st, "energy_wh"), energy, 2e-3 * energy + 1e-12), qPrintable(what));
            QVERIFY2(near(number(st, "duration_s"), weight / 1000.0, 0.003), qPrintable(what));
            const double cap = double(float(records[b].value(QStringLiteral("cap")).toDouble()))
                               - double(float(records[a].value(QStringLiteral("cap")).toDouble()));
            QVERIFY2(near(number(st, "meter_cap_ah"), cap, 1e-7), qPrintable(what));
        }

        // A second run is appended to the same file, without a second head.
        const Result again = run({QStringLiteral("record"), QStringLiteral("--csv"), csv,
                                  QStringLiteral("--until-duration"), QStringLiteral("2")});
        QCOMPARE(again.status, 0);
        const QList<QByteArray> more = csvRecords(readFile(csv));
        QVERIFY2(more.size() >= lines.size() + 1 && more.size() <= lines.size() + 3, readFile(csv).constData());
    }

    // Runs that end by themselves: a battery discharged at 1 A until its
    // voltage is below a cut-off, until a charge, and until the current has
    // stayed below a level for two seconds.
    void stopConditionsEndTheRun()
    {
        const QString scenario = QStringLiteral("--sim-scenario");
        const QString discharge = QStringLiteral("discharge");
        const QString json = QStringLiteral("--jsonl");
        Result r = run({scenario, discharge, QStringLiteral("record"), json, QStringLiteral("-"),
                        QStringLiteral("--until-voltage-below"), QStringLiteral("4.16")});
        QVERIFY2(r.status == 0, r.err.constData());
        QList<QJsonObject> records = jsonRecords(r.out);
        // 4.2 V less 12 mV a second: below 4.16 V in the fourth second.
        QVERIFY2(records.size() >= 3 && records.size() <= 6, r.out.constData());
        QVERIFY2(records.last().value(QStringLiteral("vbus")).toDouble() < 4.16, r.out.constData());
        for (int i = 0; i + 1 < records.size(); ++i)
            QVERIFY2(records[i].value(QStringLiteral("vbus")).toDouble() >= 4.16, r.out.constData());
        QVERIFY(qAbs(records.first().value(QStringLiteral("ibus")).toDouble() - 1.0) < 0.002);

        // 1 A: a milliampere-hour is 3.6 s, reached at the fifth record.
        r = run({scenario, discharge, QStringLiteral("record"), json, QStringLiteral("-"),
                 QStringLiteral("--until-charge"), QStringLiteral("0.001")});
        QVERIFY2(r.status == 0, r.err.constData());
        records = jsonRecords(r.out);
        QVERIFY2(records.size() == 5, r.out.constData());

        // Below 1.5 A from the first record: two seconds after it.
        r = run({scenario, discharge, QStringLiteral("record"), json, QStringLiteral("-"),
                 QStringLiteral("--until-current-below"), QStringLiteral("1.5:2")});
        QVERIFY2(r.status == 0, r.err.constData());
        records = jsonRecords(r.out);
        QVERIFY2(records.size() == 3, r.out.constData());

        // The computer sleeps a minute 2.5 s into the run: a gap of a minute
        // between two records, counted in the run's duration, so a 20 s
        // limit ends the run at the first tick after waking.
        r = run({QStringLiteral("--sim-sleep"), QStringLiteral("2.5:60"), QStringLiteral("record"), json,
                 QStringLiteral("-"), QStringLiteral("--until-duration"), QStringLiteral("20")});
        QVERIFY2(r.status == 0, r.err.constData());
        records = jsonRecords(r.out);
        QVERIFY2(records.size() >= 3 && records.size() <= 4, r.out.constData());
        const qint64 slept = msOf(records.last()) - msOf(records[records.size() - 2]);
        QVERIFY2(slept >= 60000 && slept <= 61100, r.out.constData());
        const QJsonObject kept = journalRuns().first().toObject();
        QCOMPARE(kept.value(QStringLiteral("end_reason")).toString(), QStringLiteral("duration:20"));
        QVERIFY2(kept.value(QStringLiteral("duration_s")).toDouble() >= 61.0, r.out.constData());

        for (const char *option : {"--until-current-below", "--until-voltage-below", "--until-charge",
                                   "--until-energy"}) {
            r = run({QStringLiteral("record"), json, QStringLiteral("-"), QLatin1String(option),
                     QStringLiteral("0.05;30")});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(option) && r.err.contains("0.05;30"), r.err.constData());
        }
        r = run({QStringLiteral("record"), json, QStringLiteral("-"), QStringLiteral("--until-current-below"),
                 QStringLiteral("0.05")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("--until-current-below"), r.err.constData());
    }

    // SIGINT in the middle of a run that keeps every report: both files end
    // with a whole line, every report of the meter is a record, exit 0.
    void interruptLeavesWholeFiles()
    {
        const QString csv = path("stopped.csv");
        const QString json = path("stopped.jsonl");
        QProcess p;
        start(p, {QStringLiteral("--sim-rate"), QStringLiteral("100"), QStringLiteral("record"),
                  QStringLiteral("--all-reports"), QStringLiteral("--csv"), csv, QStringLiteral("--jsonl"), json});
        QVERIFY(p.waitForStarted());
        // The files fill while the run goes on.
        QTRY_VERIFY_WITH_TIMEOUT(jsonRecords(readFile(json)).size() >= 100, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(csvRecords(readFile(csv)).size() >= 100, 2000);
        QTest::qWait(300);
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QList<QJsonObject> records = jsonRecords(readFile(json));
        const QList<QByteArray> lines = csvRecords(readFile(csv));
        QVERIFY(records.size() >= 120);
        QCOMPARE(lines.size(), records.size());
        // 100 reports a second, each at the time it was read (those waiting
        // at the first read share it).
        const double seconds = (msOf(records.last()) - msOf(records.first())) / 1000.0;
        QVERIFY2(records.size() > 80 * seconds, qPrintable(QStringLiteral("%1 in %2 s").arg(records.size()).arg(seconds)));
        for (int i = 1; i < records.size(); ++i) {
            QVERIFY2(msOf(records[i]) >= msOf(records[i - 1]),
                     qPrintable(QStringLiteral("records %1 and %2 at %3").arg(i - 1).arg(i).arg(localIso(msOf(records[i])))));
        }

        // In the run history as stopped, with every record.
        const QJsonObject kept = journalRuns().first().toObject();
        QCOMPARE(kept.value(QStringLiteral("end_reason")).toString(), QStringLiteral("stopped"));
        QCOMPARE(kept.value(QStringLiteral("records")).toInt(), records.size());
        const Result exported = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                     QStringLiteral("-")});
        QCOMPARE(exported.out, readFile(json));
    }

    // A meter faster than a report a millisecond: records read in the same
    // millisecond share its time, none is given a time the clock has not
    // reached, and an interval at a shared time takes every record there.
    void aFastMeterNeverRunsAheadOfTheClock()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const Result r = run({QStringLiteral("--sim-rate"), QStringLiteral("4000"), QStringLiteral("record"),
                              QStringLiteral("--all-reports"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                              QStringLiteral("--until-duration"), QStringLiteral("3")});
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY2(r.status == 0, r.err.constData());
        const QList<QJsonObject> records = jsonRecords(r.out);
        QVERIFY2(records.size() > 3000, qPrintable(QString::number(records.size())));
        QVERIFY(msOf(records.first()) >= before && msOf(records.last()) <= after);
        for (int i = 1; i < records.size(); ++i)
            QVERIFY(msOf(records[i]) >= msOf(records[i - 1]));
        const QJsonObject kept = journalRuns().first().toObject();
        QVERIFY2(kept.value(QStringLiteral("duration_s")).toDouble() <= (after - before) / 1000.0,
                 qPrintable(QString::number(kept.value(QStringLiteral("duration_s")).toDouble())));
        // On the run's own timeline, as --from and --to in seconds take it.
        ReadingLog log;
        {
            RunJournal journal;
            QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite"), RunJournal::Mode::Read));
            QVERIFY(journal.load(qint64(kept.value(QStringLiteral("id")).toDouble()), log));
        }
        QCOMPARE(log.size(), records.size());
        int shared = -1;
        for (int i = 1; i < log.size() && shared < 0; ++i) {
            if (log.runMs(i) == log.runMs(i - 1))
                shared = i;
        }
        QVERIFY2(shared > 0, "no two records in the same millisecond");
        int same = 0;
        for (int i = 0; i < log.size(); ++i)
            same += log.runMs(i) == log.runMs(shared);
        const QString at = QString::number((log.runMs(shared) - log.runMs(0)) / 1000.0, 'f', 3);
        const Result part = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--from"), at,
                                 QStringLiteral("--to"), at, QStringLiteral("--jsonl"), QStringLiteral("-")});
        QVERIFY2(part.status == 0, part.err.constData());
        QCOMPARE(jsonRecords(part.out).size(), same);
    }

    // A run of some 25000 records, every report of a fast meter:
    // its exports, written a megabyte at a time from the journal's blocks,
    // are the very lines record wrote as the run went; an interval of it
    // across several blocks is the lines between its times.
    void aLargeRunExported()
    {
        const QString csv = path("large.csv");
        const QString json = path("large.jsonl");
        QProcess p;
        // Below a report a millisecond, so that each record's own time is
        // the time it was read.
        start(p, {QStringLiteral("--sim-rate"), QStringLiteral("900"), QStringLiteral("record"),
                  QStringLiteral("--all-reports"), QStringLiteral("--csv"), csv, QStringLiteral("--jsonl"), json});
        QVERIFY(p.waitForStarted());
        // Two megabytes of CSV, four of JSON lines.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(csv).size() > (9 << 18), 180000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray lines = readFile(json);
        const QList<QJsonObject> records = jsonRecords(lines);
        const QList<QByteArray> csvLines = csvRecords(readFile(csv));
        QVERIFY2(records.size() > 20000, qPrintable(QString::number(records.size())));
        QCOMPARE(csvLines.size(), records.size());
        const QJsonObject kept = journalRuns().first().toObject();
        QCOMPARE(kept.value(QStringLiteral("records")).toInt(), records.size());
        // The same records in the CSV, first, last and every 4099th.
        QList<int> sampled;
        for (int i = 0; i < records.size(); i += 4099)
            sampled << i;
        sampled << records.size() - 1;
        for (const int i : sampled) {
            const QList<QByteArray> fields = csvLines[i].split(',');
            QCOMPARE(fields.value(0), QDateTime::fromMSecsSinceEpoch(msOf(records[i]))
                                          .toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss")).toLatin1());
            for (int k = 1; k <= 3; ++k)
                QCOMPARE(fields.value(k),
                         QByteArray::number(double(float(records[i].value(QLatin1String(kKeys[k])).toDouble())), 'f', 6));
        }

        // Exported whole: the same bytes as written during the run.
        const QString copy = path("large-copy.csv");
        QCOMPARE(run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), copy}).status, 0);
        QVERIFY(readFile(copy) == readFile(csv));
        const Result exported = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                     QStringLiteral("-")});
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.out.size(), lines.size());
        QVERIFY(exported.out == lines);

        // From the time of record 3000 to that of record 19000: every record
        // at those times, by a count over the lines.
        const qint64 from = msOf(records[3000]), to = msOf(records[19000]);
        int first = -1, last = -1;
        for (int i = 0; i < records.size(); ++i) {
            if (msOf(records[i]) >= from && msOf(records[i]) <= to) {
                if (first < 0)
                    first = i;
                last = i;
            }
        }
        const QList<QByteArray> all = lines.split('\n');
        QByteArray want;
        for (int i = first; i <= last; ++i)
            want += all[i] + '\n';
        const Result part = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                 QStringLiteral("-"), QStringLiteral("--from"), localIso(from), QStringLiteral("--to"),
                                 localIso(to)});
        QVERIFY2(part.status == 0, part.err.constData());
        QCOMPARE(part.out.count('\n'), last - first + 1);
        QVERIFY(part.out == want);
        const QJsonObject st = statsOf({QStringLiteral("last"), QStringLiteral("--from"), localIso(from),
                                        QStringLiteral("--to"), localIso(to)});
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), last - first + 1);
    }

    // A run killed at a random moment is in the run history as interrupted
    // with at least every record it printed, each with its values; an
    // export killed on the way leaves no file under its name.
    void killedRunIsKept()
    {
        QProcess p;
        start(p, {QStringLiteral("--sim-rate"), QStringLiteral("100"), QStringLiteral("record"),
                  QStringLiteral("--all-reports"), QStringLiteral("--jsonl"), QStringLiteral("-")});
        QVERIFY(p.waitForStarted());
        const int target = 20 + int(QRandomGenerator::global()->bounded(300));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).count('\n') >= target, 30000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGKILL), 0);
        QVERIFY(p.waitForFinished(10000));
        out += p.readAllStandardOutput();
        out.truncate(out.lastIndexOf('\n') + 1);   // whole lines only
        const int printed = jsonRecords(out).size();
        QVERIFY2(printed >= target, out.right(300).constData());

        const QJsonObject kept = journalRuns().first().toObject();
        QCOMPARE(kept.value(QStringLiteral("end_reason")).toString(), QStringLiteral("interrupted"));
        QVERIFY2(kept.value(QStringLiteral("records")).toInt() >= printed,
                 qPrintable(QStringLiteral("%1 of %2").arg(kept.value(QStringLiteral("records")).toInt()).arg(printed)));
        const Result exported = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                     QStringLiteral("-")});
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.out.left(out.size()), out);

        // An export that dies at a file size limit, halfway through a run of
        // 3000 records: nothing named big.csv.
        RunJournal journal;
        QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch() - 86400000;
        const qint64 id = journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("8"));
        ReadingLog log;
        for (int k = 0; k < 3000; ++k)
            log.append(t0 + 1000 * k, {5.1f, 1.25f, 6.375f, 0, 0, 0, 0, 0, 0, 30});
        QVERIFY(journal.sync(id, log) && journal.endRun(id, t0 + 3000000, QStringLiteral("stopped")));
        journal.close();
        const QString big = path("big.csv");
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const rlimit small{128 << 10, before.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        const Result cut = run({QStringLiteral("export"), QString::number(id), QStringLiteral("--csv"), big});
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY2(cut.status != 0, cut.err.constData());
        QVERIFY(!QFileInfo::exists(big));
        // Nor is its part file left behind.
        const QStringList parts = QDir(QFileInfo(big).absolutePath())
                                      .entryList({QStringLiteral(".big.csv.part*")}, QDir::Files | QDir::Hidden);
        QVERIFY2(parts.isEmpty(), qPrintable(parts.join(QLatin1Char(' '))));
        QCOMPARE(run({QStringLiteral("export"), QString::number(id), QStringLiteral("--csv"), big}).status, 0);
        QCOMPARE(csvRecords(readFile(big)).size(), 3000);
        // To a standard output left non-blocking by whoever gave it, read
        // slowly: every line arrives.
        QProcess slow;
        slow.setProcessEnvironment(childEnvironment());
        slow.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("{ python3 -c 'import fcntl, os; fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, "
                                   "fcntl.F_GETFL) | os.O_NONBLOCK)' && \"$0\" \"$@\"; } | { sleep 1; wc -l; }"),
                    QStringLiteral(OMBREL_SIM_BINARY), QStringLiteral("export"), QString::number(id),
                    QStringLiteral("--jsonl"), QStringLiteral("-")});
        const Result slowly = finish(slow);
        QVERIFY2(slowly.out.trimmed() == "3000", (slowly.out + slowly.err).constData());
    }

    // Statistics of a run of known records, written here into the journal:
    // a gap of 4 s adds nothing.
    void statsOfKnownRecords()
    {
        RunJournal journal;
        QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
        const qint64 t0 = QDateTime::fromString(QStringLiteral("2025-03-01T10:00:00"), Qt::ISODate).toMSecsSinceEpoch();
        const qint64 id = journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("7"));
        QVERIFY(id > 0);
        ReadingLog log;
        const float v[] = {5, 5, 9, 9}, a[] = {1, 2, 3, 4};
        const qint64 at[] = {0, 1000, 2000, 6000};
        for (int k = 0; k < 4; ++k)
            log.append(t0 + at[k], {v[k], a[k], v[k] * a[k], 0, 0, 0, 0, 0.1f * float(k + 1), 0.5f * float(k + 1), 30});
        QVERIFY(journal.sync(id, log));
        QVERIFY(journal.endRun(id, t0 + 7000, QStringLiteral("stopped")));
        // A name as a user types it: quotes, a tab, a character beyond 16 bits.
        const QString name = QStringLiteral("充电 \"5 V\"\t\U0001F50B");
        QVERIFY(journal.rename(id, name));
        journal.close();
        QString listedName;
        for (const QJsonValue &r : journalRuns()) {
            if (r.toObject().value(QStringLiteral("id")).toVariant().toLongLong() == id)
                listedName = r.toObject().value(QStringLiteral("name")).toString();
        }
        QCOMPARE(listedName, name);

        const QString run = QString::number(id);
        QJsonObject st = statsOf({run});
        QCOMPARE(st.value(QStringLiteral("from")).toString(), localIso(t0));
        QCOMPARE(st.value(QStringLiteral("to")).toString(), localIso(t0 + 6000));
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), 4);
        QCOMPARE(number(st, "duration_s"), 6.0);
        QVERIFY(near(number(st, "charge_ah"), 4000 / 3.6e6, 1e-15));
        QVERIFY(near(number(st, "energy_wh"), 26000 / 3.6e6, 1e-15));
        QVERIFY(near(number(st, "meter_cap_ah"), 0.3, 1e-7));
        QVERIFY(near(number(st, "meter_ele_wh"), 1.5, 1e-7));
        QCOMPARE(number(st, "vbus", "min"), 5.0);
        QCOMPARE(number(st, "vbus", "max"), 9.0);
        QVERIFY(near(number(st, "vbus", "mean"), 6.0, 1e-12));
        QVERIFY(near(number(st, "ibus", "mean"), 2.0, 1e-12));
        QCOMPARE(number(st, "power", "max"), 36.0);
        QVERIFY(near(number(st, "power", "mean"), 13.0, 1e-12));

        st = statsOf({run, QStringLiteral("--from"), QStringLiteral("2025-03-01T10:00:00.500"), QStringLiteral("--to"),
                      QStringLiteral("2")});
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), 2);
        QCOMPARE(st.value(QStringLiteral("from")).toString(), localIso(t0 + 1000));
        QVERIFY(near(number(st, "charge_ah"), 2500 / 3.6e6, 1e-15));
        QVERIFY(near(number(st, "vbus", "mean"), 7.0, 1e-12));
        QCOMPARE(number(st, "ibus", "min"), 2.0);
        st = statsOf({run, QStringLiteral("--from"), QStringLiteral("2.5"), QStringLiteral("--to"), QStringLiteral("5.5")});
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), 0);

        // The clock set back by 5 s after the tenth record of a run: 10:00:07
        // is twice in it, and said so with seconds from its start instead;
        // a time it showed once is found where it was.
        const qint64 back = journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite"))
                                ? journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("7"))
                                : 0;
        QVERIFY(back > 0);
        ReadingLog stepped;
        for (int k = 0; k < 15; ++k)
            stepped.append(t0 + 1000 * k - (k >= 10 ? 5000 : 0), t0 + 1000 * k, {5, 1, 5, 0, 0, 0, 0, 0, 0, 30});
        QVERIFY(journal.sync(back, stepped) && journal.endRun(back, t0 + 10000, QStringLiteral("stopped")));
        journal.close();
        const QString twice = QDateTime::fromMSecsSinceEpoch(t0 + 7000).toString(Qt::ISODate);
        Result r = ::run({QStringLiteral("stats"), QString::number(back), QStringLiteral("--from"), twice});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(twice.toUtf8()) && r.err.contains("occurs 2 times")
                     && r.err.contains("(7 or 12)"),
                 r.err.constData());
        st = statsOf({QString::number(back), QStringLiteral("--from"),
                      QDateTime::fromMSecsSinceEpoch(t0 + 2000).toString(Qt::ISODate), QStringLiteral("--to"), QStringLiteral("12")});
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), 11);
        QCOMPARE(st.value(QStringLiteral("from")).toString(), localIso(t0 + 2000));

        const Result listed = ::run({QStringLiteral("runs")});
        // Its name after the line, its tab a space.
        QVERIFY2(listed.out.contains(QStringLiteral("%1  2025-03-01 10:00:00  0:00:06        4  M512X 7  stopped  | "
                                                    "充电 \"5 V\" \U0001F50B\n")
                                         .arg(id, 4)
                                         .toUtf8()),
                 listed.out.constData());
    }

    // The report of a run, read back from its PDF: the title, the meter, the
    // start and end in local time, the end in words, and the figures as
    // stats gives them; its second page holds the three charts' curves in
    // their colours. The HTML page carries the same figures.
    void reportOfARun()
    {
        RunJournal journal;
        QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
        const qint64 t0 = QDateTime(QDate(2025, 7, 14), QTime(8, 30, 0)).toMSecsSinceEpoch();
        const qint64 id = journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("4242"));
        QVERIFY(id > 0);
        ReadingLog log;
        // Ten minutes: 2 A throughout, the voltage stepping from 5 V to 9 V
        // after five minutes.
        for (int k = 0; k < 600; ++k) {
            const float v = k < 300 ? 5.0f : 9.0f;
            log.append(t0 + 1000 * k, {v, 2.0f, 2.0f * v, 0, 0, 0, 0, 0.001f * float(k), 0.01f * float(k), 30});
        }
        QVERIFY(journal.sync(id, log));
        QVERIFY(journal.endRun(id, t0 + 600000, QStringLiteral("current_below:0.05:30")));
        QVERIFY(journal.rename(id, QStringLiteral("Charger A cable 2")));
        RunFields fields;
        fields.dut = QStringLiteral("Phone X2");
        fields.source = QStringLiteral("Charger A");
        fields.cable = QStringLiteral("USB-C 1 m");
        fields.ambientC = 23.5;
        fields.notes = QStringLiteral("Bench 3, lid open");
        QVERIFY(journal.setFields(id, fields));
        QVERIFY(journal.addMark(id, 300000, t0 + 300000, QStringLiteral("9 V step")) > 0);
        journal.close();

        const QString pdf = path("report.pdf"), html = path("report.html");
        const Result r = ::run({QStringLiteral("report"), QString::number(id), QStringLiteral("--pdf"), pdf,
                                QStringLiteral("--html"), html});
        // Nothing on standard error but the program's own words: none here.
        QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());
        const QString words = ChildProcess::pdfText(pdf);
        QVERIFY2(words.contains(QStringLiteral("Charger A cable 2")), qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("M512X V1.2 4242")), qPrintable(words));
        const QString start = QDateTime::fromMSecsSinceEpoch(t0).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QString end = QDateTime::fromMSecsSinceEpoch(t0 + 600000).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY2(words.contains(start) && words.contains(end), qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("condition: current below 0.05 A for 30 s")), qPrintable(words));
        // A report a lab can hand over: every page headed by the program,
        // the run and the report's date, and numbered; the test's
        // conditions; units on the figures; the charts' axes titled.
        for (int page = 1; page <= 2; ++page)
            QVERIFY2(QRegularExpression(QStringLiteral("Ombrel \\d+\\.\\d+\\.\\d+ · run %1 · report of \\d{4}-\\d\\d-\\d\\d "
                                                       "\\d\\d:\\d\\d:\\d\\d +page %2 of 2")
                                            .arg(id)
                                            .arg(page))
                         .match(words)
                         .hasMatch(),
                     qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("Stop condition: condition: current below 0.05 A for 30 s")), qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("Recording rate: 1 records/s")), qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("0.332778 Ah")) && words.contains(QStringLiteral("9.000000 V")),
                 qPrintable(words));
        QCOMPARE(words.count(QStringLiteral("record (h:mm:ss)")), 3);   // "first" may come as a ligature
        QCOMPARE(RunReport::fileName(QStringLiteral(" Charger A: 2/3 "), QStringLiteral(".pdf")),
                 QStringLiteral("Charger A_ 2_3.pdf"));
        QCOMPARE(RunReport::fileName(QStringLiteral("../x"), QStringLiteral(".html")), QStringLiteral("_x.html"));
        QCOMPARE(RunReport::fileName(QString(), QStringLiteral(".pdf")), QStringLiteral("report.pdf"));
        // What the run is about, and its mark at 5 minutes with the wall clock then.
        for (const char *text : {"Phone X2", "Charger A", "USB-C 1 m", "23.5 \u00b0C", "Bench 3, lid open", "9 V step"})
            QVERIFY2(words.contains(QString::fromUtf8(text)), text);
        QVERIFY2(words.contains(QStringLiteral("0:05:00 (%1)").arg(
                     QDateTime::fromMSecsSinceEpoch(t0 + 300000).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))),
                 qPrintable(words));
        // 599 s at 2 A; 299 s at 10 W, one step to 18 W, 299 s at 18 W.
        QVERIFY2(words.contains(QStringLiteral("0.332778")), qPrintable(words));
        QVERIFY2(words.contains(QStringLiteral("2.329444")), qPrintable(words));
        const QJsonObject st = statsOf({QString::number(id)});
        QCOMPARE(st.value(QStringLiteral("records")).toInt(), 600);
        const QString figures[] = {
            QString::number(number(st, "charge_ah"), 'f', 6), QString::number(number(st, "energy_wh"), 'f', 6),
            QString::number(number(st, "vbus", "mean"), 'f', 6), QString::number(number(st, "power", "mean"), 'f', 6),
            QString::number(number(st, "power", "max"), 'f', 6), QString::number(number(st, "vbus", "min"), 'f', 6)};
        for (const QString &f : figures)
            QVERIFY2(words.contains(f), qPrintable(f + QStringLiteral(" missing in\n") + words));
        QFile page(html);
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString h = QString::fromUtf8(page.readAll());
        QVERIFY(h.contains(QStringLiteral("<h1>Charger A cable 2</h1>")));
        QVERIFY(h.contains(QStringLiteral("9 V step")) && h.contains(QStringLiteral("Phone X2")));
        for (const QString &f : figures)
            QVERIFY2(h.contains(f), qPrintable(f));
        QCOMPARE(h.count(QStringLiteral("data:image/png;base64,")), 3);
        QVERIFY(h.contains(QStringLiteral("<p>Notes: Bench 3, lid open</p>")));
        QVERIFY(h.contains(QStringLiteral("<h2>Marks</h2>")));
        // Without notes and marks, no line or heading for them.
        {
            RunJournal again;
            QVERIFY(again.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
            fields.notes.clear();
            QVERIFY(again.setFields(id, fields));
            QVERIFY(again.removeMark(again.marks(id).at(0).id));
        }
        const QString bare = path("bare.html");
        QCOMPARE(::run({QStringLiteral("report"), QString::number(id), QStringLiteral("--html"), bare}).status, 0);
        const QByteArray bareText = readFile(bare);
        QVERIFY2(bareText.contains("Phone X2") && !bareText.contains("Notes") && !bareText.contains("Marks"),
                 bareText.left(2000).constData());

        // The pages as pictures: the first has no curve, the second each
        // chart's colour (VBUS red, IBUS blue, POWER amber).
        QProcess pictures;
        pictures.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
                                                    pdf, path("page")});
        QVERIFY(pictures.waitForFinished(60000));
        QCOMPARE(pictures.exitCode(), 0);
        QDir dir(m_dir.path());
        const QStringList pages = dir.entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
        QCOMPARE(pages.size(), 2);
        auto count = [](const QImage &image, QRgb colour) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (std::abs(c.red() - qRed(colour)) < 24 && std::abs(c.green() - qGreen(colour)) < 24
                        && std::abs(c.blue() - qBlue(colour)) < 24)
                        ++n;
                }
            return n;
        };
        const QImage first(dir.filePath(pages[0])), second(dir.filePath(pages[1]));
        for (QRgb colour : {QRgb(0xe5483f), QRgb(0x3b8fd9), QRgb(0xd99a1e)}) {
            QCOMPARE(count(first, colour), 0);
            QVERIFY2(count(second, colour) > 100, qPrintable(QString::number(colour, 16)));
        }
        // The tables' shaded headers take the page's width, each table ends
        // in a grey rule across it, and no chart reaches beyond it.
        // Below the pages' head line, which spans the width on every page.
        auto rightmost = [](const QImage &image) {
            int right = -1;
            for (int y = image.height() / 10; y < image.height(); ++y)
                for (int x = image.width() - 1; x > right; --x)
                    if (image.pixelColor(x, y).lightness() < 245)
                        right = x;
            return right;
        };
        auto rules = [](const QImage &image) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y) {
                int grey = 0;
                for (int x = 0; x < image.width(); ++x)
                    grey += std::abs(image.pixelColor(x, y).lightness() - 160) < 40;
                n += grey > image.width() / 2;
            }
            return n;
        };
        QVERIFY(rules(first) >= 1);
        QVERIFY2(rightmost(second) < rightmost(first),
                 qPrintable(QStringLiteral("%1 %2").arg(rightmost(second)).arg(rightmost(first))));

        // A long note and many marks go on over further pages, every line of
        // them in the PDF.
        {
            RunJournal again;
            QVERIFY(again.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
            QStringList lines;
            for (int k = 1; k <= 120; ++k)
                lines << QStringLiteral("note line %1 of the long note").arg(k, 3, 10, QLatin1Char('0'));
            fields.notes = lines.join(QLatin1Char('\n'));
            QVERIFY(again.setFields(id, fields));
            for (int k = 1; k <= 90; ++k)
                QVERIFY(again.addMark(id, 5000 * k, t0 + 5000 * k, QStringLiteral("mark %1").arg(k, 3, 10, QLatin1Char('0'))) > 0);
        }
        const QString longPdf = path("long.pdf");
        QCOMPARE(::run({QStringLiteral("report"), QString::number(id), QStringLiteral("--pdf"), longPdf}).status, 0);
        const QString longWords = ChildProcess::pdfText(longPdf, false);
        for (int k = 1; k <= 120; ++k)
            QVERIFY2(longWords.contains(QStringLiteral("note line %1 of the long note").arg(k, 3, 10, QLatin1Char('0'))),
                     qPrintable(QString::number(k)));
        for (int k = 1; k <= 90; ++k)
            QVERIFY2(longWords.contains(QStringLiteral("mark %1").arg(k, 3, 10, QLatin1Char('0'))),
                     qPrintable(QString::number(k)));
        QVERIFY(longWords.contains(QStringLiteral("0.332778")));

        // No file for a run that is not there; a folder that cannot be written.
        QCOMPARE(::run({QStringLiteral("report"), QStringLiteral("99999"), QStringLiteral("--pdf"), pdf}).status, 1);
        QCOMPARE(::run({QStringLiteral("report"), QString::number(id)}).status, 2);
        QCOMPARE(::run({QStringLiteral("report"), QString::number(id), QStringLiteral("--pdf"),
                        path("no-such-folder/r.pdf")}).status, 4);
    }

    // Where the output goes: a reader that leaves ends any command quietly
    // (a run as stopped); a full device is said with the system's reason; a
    // pipe is written while a program reads it and refused at once when none
    // does; /dev/null takes every output; an export appended to a file that
    // cannot take it all leaves the file as it was.
    void outputs()
    {
        Result r = runPiped({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-")},
                            QStringLiteral("head -3"));
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(jsonRecords(r.out).size(), 3);
        QVERIFY2(r.err.startsWith("ombrel-sim record: the run ended (stopped)") && r.err.count('\n') == 1,
                 r.err.constData());
        QCOMPARE(journalRuns().first().toObject().value(QStringLiteral("end_reason")).toString(), QStringLiteral("stopped"));
        const QList<QStringList> readers = {{QStringLiteral("runs"), QStringLiteral("--json")},
                                            {QStringLiteral("stats"), QStringLiteral("last")},
                                            {QStringLiteral("list")},
                                            {QStringLiteral("get")},
                                            {QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), QStringLiteral("-")}};
        for (const QStringList &command : readers) {
            r = runPiped(command, QStringLiteral("true"));
            QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(command.join(QLatin1Char(' ')) + QStringLiteral(": %1 ").arg(r.status) + r.err));
        }
        for (const QStringList &command : readers) {
            r = runWith(command, QStringLiteral("/dev/full"));
            QVERIFY2(r.status == 4 && r.err.contains("cannot write standard output: No space left on device"),
                     qPrintable(command.join(QLatin1Char(' ')) + QStringLiteral(": %1 ").arg(r.status) + r.err));
        }
        r = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"), QStringLiteral("/dev/full")});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains("cannot write /dev/full: No space left on device"), r.err.constData());
        r = run({QStringLiteral("record"), QStringLiteral("--csv"), QStringLiteral("/dev/null"), QStringLiteral("--jsonl"),
                 QStringLiteral("/dev/null"), QStringLiteral("--until-duration"), QStringLiteral("1")});
        QVERIFY2(r.status == 0 && r.err.count('\n') == 1, r.err.constData());
        r = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), QStringLiteral("/dev/null"),
                 QStringLiteral("--jsonl"), QStringLiteral("/dev/null")});
        QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());

        // A named pipe nobody reads: refused at once, whichever output.
        const QString lonely = path("lonely.fifo");
        QCOMPARE(mkfifo(QFile::encodeName(lonely).constData(), 0600), 0);
        const QList<QStringList> writers = {
            {QStringLiteral("record"), QStringLiteral("--jsonl"), lonely},
            {QStringLiteral("record"), QStringLiteral("--csv"), lonely},
            {QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"), lonely}};
        for (const QStringList &command : writers) {
            r = runWith(command, QString(), QString(), 20000);
            QVERIFY2(r.status == 4 && r.err.contains(lonely.toUtf8() + ": a named pipe that no program reads"),
                     qPrintable(command.join(QLatin1Char(' ')) + QStringLiteral(": %1 ").arg(r.status) + r.err));
        }
        // One that a program reads: written, a CSV with its head.
        {
            const NamedPipe pipe(path("read.fifo"), NamedPipe::ProgramWrites);
            QVERIFY(pipe.made());
            r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), path("read.fifo"), QStringLiteral("--csv"),
                     path("run2.csv"), QStringLiteral("--until-duration"), QStringLiteral("2")});
            QVERIFY2(r.status == 0, r.err.constData());
            QVERIFY(pipe.touched());
        }
        {
            const NamedPipe pipe(path("export.fifo"), NamedPipe::ProgramWrites);
            r = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), path("export.fifo")});
            QVERIFY2(r.status == 0, r.err.constData());
            QVERIFY(pipe.touched());
            QVERIFY(pipe.inPlace());
        }

        // A report (or any document) named as a pipe, a device, a link or
        // "-": the node and the link stay what they were, a pipe without a
        // reader is refused, and standard output gets the page.
        {
            const QStringList report = {QStringLiteral("report"), QStringLiteral("last")};
            r = run(report + QStringList{QStringLiteral("--pdf"), lonely});
            QVERIFY2(r.status == 4 && r.err.contains("a named pipe that no program reads"), r.err.constData());
            QVERIFY(QFileInfo(lonely).isFile() == false && QFileInfo::exists(lonely));
            const NamedPipe pipe(path("report.fifo"), NamedPipe::ProgramWrites);
            r = run(report + QStringList{QStringLiteral("--pdf"), path("report.fifo")});
            QVERIFY2(r.status == 0, r.err.constData());
            QVERIFY(pipe.touched());
            QVERIFY(pipe.inPlace());
            const QString device = path("null-device");
            if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
                r = run(report + QStringList{QStringLiteral("--pdf"), device, QStringLiteral("--html"), device});
                QVERIFY2(r.status == 0, r.err.constData());
                struct stat st;
                QVERIFY(::stat(QFile::encodeName(device).constData(), &st) == 0);
                QVERIFY2(S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3), "the device was replaced");
            } else {
                qWarning("mknod needs root: the device node is not tried");
            }
            const QString target = path("kept/target.html"), link = path("link.html");
            QVERIFY(QDir().mkpath(path("kept")));
            {
                QFile old(target);
                QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            }
            QVERIFY(QFile::link(QStringLiteral("kept/target.html"), link));
            r = run(report + QStringList{QStringLiteral("--html"), link});
            QVERIFY2(r.status == 0, r.err.constData());
            QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
            QVERIFY(readFile(target).startsWith("<!DOCTYPE html>"));
            r = run(report + QStringList{QStringLiteral("--html"), QStringLiteral("-")});
            QVERIFY2(r.status == 0 && r.out.startsWith("<!DOCTYPE html>") && r.out.endsWith("</html>\n"),
                     r.err.constData());
            QVERIFY(!QFileInfo::exists(QStringLiteral("-")));   // the child runs in this folder
        }

        // A reader that stops reading holds a run only until SIGTERM, which
        // ends it as stopped.
        {
            const QString stalled = path("stalled.fifo");
            QCOMPARE(mkfifo(QFile::encodeName(stalled).constData(), 0600), 0);
            const int reader = ::open(QFile::encodeName(stalled).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
            QProcess p;
            start(p, {QStringLiteral("--sim-rate"), QStringLiteral("200"), QStringLiteral("record"),
                      QStringLiteral("--all-reports"), QStringLiteral("--jsonl"), stalled});
            QVERIFY(p.waitForStarted());
            // The pipe's 64 KiB are full after some 300 records.
            QTest::qWait(4000);
            QCOMPARE(p.state(), QProcess::Running);
            QCOMPARE(::kill(pid_t(p.processId()), SIGTERM), 0);
            const Result ended = finish(p, 10000);
            ::close(reader);
            QVERIFY2(ended.status == 0 && ended.err.startsWith("ombrel-sim record: the run ended (stopped)"),
                     qPrintable(QStringLiteral("%1 ").arg(ended.status) + ended.err));
            QCOMPARE(journalRuns().first().toObject().value(QStringLiteral("end_reason")).toString(),
                     QStringLiteral("stopped"));
        }

        // A file that cannot take a whole export (a size limit, as a full
        // disk): put back to its length, whichever format.
        const QString kept = path("kept.txt");
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray before = QByteArray(200 << 10, 'x') + "\n";
        QVERIFY(file.write(before) == before.size());
        file.close();
        for (const char *option : {"--jsonl", "--csv"}) {
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            const rlimit small{rlim_t(before.size() + 40), limit.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
            r = run({QStringLiteral("export"), QStringLiteral("last"), QLatin1String(option), kept});
            setrlimit(RLIMIT_FSIZE, &limit);
            QVERIFY2(r.status == 4 && r.err.contains(kept.toUtf8() + ": File too large"),
                     qPrintable(QStringLiteral("%1: %2 ").arg(QLatin1String(option)).arg(r.status) + r.err));
            QVERIFY(readFile(kept) == before);
        }
    }

    // A run into the run journal alone: nothing on standard output, one line
    // on standard error that says how it ended and what it measured. A run
    // ended before its first record leaves nothing in the history.
    // What a run is about, given at its start; a mark from another shell
    // while `record` runs lands in that run at that time; a stored run
    // takes a mark at a time given; an interval exported is the same lines
    // as the whole run's export.
    void marksFieldsAndIntervals()
    {
        QProcess recorder;
        start(recorder, {QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                         QStringLiteral("--until-duration"), QStringLiteral("7"), QStringLiteral("--name"),
                         QStringLiteral("cable A"), QStringLiteral("--note"), QStringLiteral("new\nafter a drop"),
                         QStringLiteral("--device"), QStringLiteral("phone"), QStringLiteral("--source"),
                         QStringLiteral("65 W"), QStringLiteral("--cable"), QStringLiteral("1 m C-C"),
                         QStringLiteral("--ambient"), QStringLiteral("25.5")});
        QVERIFY(recorder.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += recorder.readAllStandardOutput()).count('\n') >= 3, 20000);
        const QList<QJsonObject> seen = jsonRecords(out.left(out.lastIndexOf('\n') + 1));
        QVERIFY(seen.size() >= 3);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const Result marked = run({QStringLiteral("mark"), QStringLiteral("plugged in")});
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY2(marked.status == 0, marked.err.constData());
        QVERIFY2(QRegularExpression(QStringLiteral("^mark \\d+ in run \\d+ at 0:00:0\\d\\.\\d{3}\n$"))
                     .match(QString::fromUtf8(marked.out))
                     .hasMatch(),
                 marked.out.constData());
        const Result ended = finish(recorder);
        QVERIFY2(ended.status == 0, ended.err.constData());
        const QList<QJsonObject> records = jsonRecords(out + ended.out);
        QVERIFY(records.size() >= 6);

        const QJsonObject kept = journalRuns().first().toObject();
        const QString id = QString::number(kept.value(QStringLiteral("id")).toInt());
        QCOMPARE(kept.value(QStringLiteral("name")).toString(), QStringLiteral("cable A"));
        QCOMPARE(kept.value(QStringLiteral("notes")).toString(), QStringLiteral("new\nafter a drop"));
        QCOMPARE(kept.value(QStringLiteral("dut")).toString(), QStringLiteral("phone"));
        QCOMPARE(kept.value(QStringLiteral("source")).toString(), QStringLiteral("65 W"));
        QCOMPARE(kept.value(QStringLiteral("cable")).toString(), QStringLiteral("1 m C-C"));
        QCOMPARE(kept.value(QStringLiteral("ambient_c")).toDouble(), 25.5);
        const QByteArray listed = run({QStringLiteral("runs")}).out;
        QVERIFY2(listed.split('\n').first().endsWith(
                     "  condition: duration 7 s  | cable A; device: phone; source: 65 W; cable: 1 m C-C; 25.5 \xC2\xB0"
                     "C; notes: new / after a drop"),
                 listed.constData());

        // The mark: in this run, when the command was given, between the
        // records around it, at its time from the run's first record.
        Result r = run({QStringLiteral("marks"), id, QStringLiteral("--json")});
        QVERIFY2(r.status == 0, r.err.constData());
        QJsonArray marks = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(marks.size(), 1);
        QJsonObject mark = marks[0].toObject();
        QCOMPARE(mark.value(QStringLiteral("name")).toString(), QStringLiteral("plugged in"));
        QCOMPARE(QString::number(mark.value(QStringLiteral("run")).toInt()), id);
        const QString markTime = mark.value(QStringLiteral("time")).toString();
        const qint64 markMs = QDateTime::fromString(markTime, Qt::ISODateWithMs).toMSecsSinceEpoch();
        QCOMPARE(localIso(markMs), markTime);
        QVERIFY2(markMs >= before - 20 && markMs <= after + 20,
                 qPrintable(QStringLiteral("%1 not in %2..%3").arg(markMs).arg(before).arg(after)));
        QVERIFY(markMs >= msOf(seen.last()));
        int next = 0;
        while (next < records.size() && msOf(records[next]) <= markMs)
            ++next;
        QVERIFY2(next >= seen.size() && next < records.size(), qPrintable(markTime));
        QVERIFY(qAbs(mark.value(QStringLiteral("at_s")).toDouble() * 1000.0 - double(markMs - msOf(records[0]))) <= 1.0);

        // Ended: no run to mark now; a time must be given for a stored one.
        r = run({QStringLiteral("mark"), QStringLiteral("late")});
        QCOMPARE(r.status, 1);
        r = run({QStringLiteral("mark"), QStringLiteral("late"), QStringLiteral("--run"), id});
        QCOMPARE(r.status, 2);
        r = run({QStringLiteral("mark"), QStringLiteral("two s"), QStringLiteral("--run"), QStringLiteral("last"),
                 QStringLiteral("--at"), QStringLiteral("2")});
        QVERIFY2(r.status == 0, r.err.constData());
        r = run({QStringLiteral("marks"), QStringLiteral("last")});
        QCOMPARE(r.out.count('\n'), 2);
        QVERIFY2(QRegularExpression(QStringLiteral("^ +\\d+ +0:00:02\\.000  ") + QRegularExpression::escape(
                                        QDateTime::fromMSecsSinceEpoch(msOf(records[0]) + 2000)
                                            .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
                                    + QStringLiteral("  two s$"))
                     .match(QString::fromUtf8(r.out.split('\n').first()))
                     .hasMatch(),
                 r.out.constData());

        // An interval between the times of records 2 and 4, both included,
        // local times as stats takes them: those lines of the whole export.
        const Result whole = run({QStringLiteral("export"), id, QStringLiteral("--jsonl"), QStringLiteral("-")});
        QCOMPARE(whole.status, 0);
        const QList<QByteArray> lines = whole.out.split('\n');
        QVERIFY(lines.size() > 5);
        auto local = [&](int i) {
            return QDateTime::fromMSecsSinceEpoch(msOf(records[i])).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
        };
        r = run({QStringLiteral("export"), id, QStringLiteral("--from"), local(2), QStringLiteral("--to"), local(4),
                 QStringLiteral("--jsonl"), QStringLiteral("-")});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(r.out, lines.mid(2, 3).join('\n') + '\n');
        // One that ends at the first record holds just that record.
        r = run({QStringLiteral("export"), id, QStringLiteral("--to"), QStringLiteral("0"), QStringLiteral("--jsonl"),
                 QStringLiteral("-")});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(r.out, lines.first() + '\n');
        const QString wholeCsv = path("whole.csv"), partCsv = path("part.csv");
        QCOMPARE(run({QStringLiteral("export"), id, QStringLiteral("--csv"), wholeCsv}).status, 0);
        QCOMPARE(run({QStringLiteral("export"), id, QStringLiteral("--csv"), partCsv, QStringLiteral("--from"),
                      QStringLiteral("1.5"), QStringLiteral("--to"), QStringLiteral("4.5")})
                     .status,
                 0);
        const QList<QByteArray> csvWhole = csvRecords(readFile(wholeCsv));
        QCOMPARE(csvWhole.size(), records.size());
        QCOMPARE(csvRecords(readFile(partCsv)), csvWhole.mid(2, 3));
        QVERIFY(readFile(partCsv).startsWith(kCsvHead));
        r = run({QStringLiteral("export"), id, QStringLiteral("--from"), QStringLiteral("soon"), QStringLiteral("--jsonl"),
                 QStringLiteral("-")});
        QCOMPARE(r.status, 2);
        // Times outside the run, or an interval turned round: refused with
        // the run's span, nothing written.
        const QString span = QStringLiteral("(0:00:00.000 – 0:00:0");
        const QList<QPair<QStringList, QString>> refused = {
            {{QStringLiteral("export"), id, QStringLiteral("--from"), QStringLiteral("5"), QStringLiteral("--to"),
              QStringLiteral("2"), QStringLiteral("--csv"), path("turned.csv")},
             QStringLiteral("--from 5 is after --to 2")},
            {{QStringLiteral("export"), id, QStringLiteral("--from"), QStringLiteral("999"), QStringLiteral("--csv"),
              path("late.csv")},
             QStringLiteral("the interval is outside run %1 %2").arg(id, span)},
            {{QStringLiteral("export"), id, QStringLiteral("--to"), QStringLiteral("-5"), QStringLiteral("--csv"),
              path("early.csv")},
             QStringLiteral("the interval is outside run %1 %2").arg(id, span)},
            {{QStringLiteral("mark"), QStringLiteral("x"), QStringLiteral("--run"), id, QStringLiteral("--at"),
              QStringLiteral("-5")},
             QStringLiteral("--at -5 is outside run %1 %2").arg(id, span)},
            {{QStringLiteral("mark"), QStringLiteral("x"), QStringLiteral("--run"), id, QStringLiteral("--at"),
              QStringLiteral("999")},
             QStringLiteral("--at 999 is outside run %1 %2").arg(id, span)}};
        for (const auto &c : refused) {
            r = run(c.first);
            QVERIFY2(r.status == 2 && r.err.contains(c.second.toUtf8()),
                     qPrintable(c.first.join(QLatin1Char(' ')) + QStringLiteral(": %1 ").arg(r.status) + r.err));
        }
        for (const char *name : {"turned.csv", "late.csv", "early.csv"})
            QVERIFY(!QFileInfo::exists(path(name)));
        // A name with a line end and an escape sequence lists as one plain line.
        r = run({QStringLiteral("mark"), QStringLiteral("two\n\x1b[31mred"), QStringLiteral("--run"), id,
                 QStringLiteral("--at"), QStringLiteral("3")});
        QVERIFY2(r.status == 0, r.err.constData());
        r = run({QStringLiteral("marks"), id});
        QCOMPARE(r.out.count('\n'), 3);
        QVERIFY2(r.out.contains("  two /  [31mred\n") && !r.out.contains('\x1b'), r.out.constData());
        // Bad values are refused before anything is recorded or written.
        for (const char *ambient : {"warm", "-274", "1e4"}) {
            r = run({QStringLiteral("record"), QStringLiteral("--ambient"), QLatin1String(ambient)});
            QCOMPARE(r.status, 2);
        }
        r = run({QStringLiteral("mark")});
        QCOMPARE(r.status, 2);
        r = run({QStringLiteral("mark"), QStringLiteral("x"), QStringLiteral("--run"), QStringLiteral("last"),
                 QStringLiteral("--at"), QStringLiteral("later")});
        QCOMPARE(r.status, 2);
        QCOMPARE(run({QStringLiteral("marks"), id}).out.count('\n'), 3);

        // A read that fails half-way (here the second mark's name cannot be
        // worked out) fails the command: no list with a mark left out.
        const QString db = g_dataHome + QStringLiteral("/ombrel/runs.sqlite");
        const QJsonArray three = QJsonDocument::fromJson(run({QStringLiteral("marks"), id, QStringLiteral("--json")}).out).array();
        QCOMPARE(three.size(), 3);
        const QByteArray stored = "name TEXT NOT NULL DEFAULT ''";
        auto nameColumn = [&](const QByteArray &from, const QByteArray &to) {
            QCOMPARE(sqlOn(db, "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = replace(sql, '"
                                   + QByteArray(from).replace('\'', "''") + "', '" + QByteArray(to).replace('\'', "''")
                                   + "') WHERE name = 'mark'"),
                     QString());
        };
        const QByteArray failing = "name TEXT AS (CASE WHEN id = "
                                   + QByteArray::number(three.at(1).toObject().value(QStringLiteral("id")).toInt())
                                   + " THEN abs(-9223372036854775807 - 1) ELSE 'x' END)";
        nameColumn(stored, failing);
        r = run({QStringLiteral("marks"), id});
        nameColumn(failing, stored);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.contains("integer overflow"), r.err.constData());
        QCOMPARE(run({QStringLiteral("marks"), id}).out.count('\n'), 3);
    }

    void recordIntoJournalAlone()
    {
        Result r = run({QStringLiteral("record"), QStringLiteral("--until-duration"), QStringLiteral("2")});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(r.out, QByteArray());
        const QJsonObject kept = journalRuns().first().toObject();
        QCOMPARE(kept.value(QStringLiteral("end_reason")).toString(), QStringLiteral("duration:2"));
        const QRegularExpression line(QStringLiteral(
            "^ombrel-sim record: the run ended \\(condition: duration 2 s\\) after 0:00:0[12]: (\\d+) records, "
            "(\\d+\\.\\d{6}) Ah, (\\d+\\.\\d{6}) Wh\n$"));
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(r.err));
        QVERIFY2(m.hasMatch(), r.err.constData());
        QCOMPARE(m.captured(1).toInt(), kept.value(QStringLiteral("records")).toInt());
        QVERIFY(kept.value(QStringLiteral("records")).toInt() >= 2);
        QCOMPARE(m.captured(2), QString::number(kept.value(QStringLiteral("charge_ah")).toDouble(), 'f', 6));
        QCOMPARE(m.captured(3), QString::number(kept.value(QStringLiteral("energy_wh")).toDouble(), 'f', 6));

        const int runs = journalRuns().size();
        r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("/dev/null"),
                 QStringLiteral("--until-duration"), QStringLiteral("0.001")});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(journalRuns().size(), runs);
    }

    void exitStatus()
    {
        Result r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"), QStringLiteral("--bogus")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("bogus"), r.err.constData());
        r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                 QStringLiteral("--until-duration"), QStringLiteral("soon")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("--until-duration") && r.err.contains("soon"), r.err.constData());
        r = run({QStringLiteral("set"), QStringLiteral("--brightness"), QStringLiteral("10")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("--brightness"), r.err.constData());
        // Timings of the simulated meter that no clock can wait for.
        const QList<QStringList> timings = {{QStringLiteral("--sim-rate"), QStringLiteral("1e-300")},
                                            {QStringLiteral("--sim-replug"), QStringLiteral("inf")},
                                            {QStringLiteral("--sim-replug"), QStringLiteral("1e308")},
                                            {QStringLiteral("--sim-unplugged"), QStringLiteral("inf")},
                                            {QStringLiteral("--sim-rate"), QStringLiteral("nan")}};
        for (const QStringList &timing : timings) {
            r = runWith(timing + QStringList{QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                                             QStringLiteral("--until-duration"), QStringLiteral("1")},
                        QString(), QString(), 20000);
            QVERIFY2(r.status == 2 && r.err.contains(timing[0].toUtf8()) && r.err.contains(timing[1].toUtf8()),
                     qPrintable(timing.join(QLatin1Char(' ')) + QStringLiteral(": %1 ").arg(r.status) + r.err));
        }

        // No meter: the simulated one is plugged in later.
        r = run({QStringLiteral("--sim-unplugged"), QStringLiteral("60"), QStringLiteral("record"),
                 QStringLiteral("--jsonl"), QStringLiteral("-")});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains("no meter"), r.err.constData());

        // A CSV file that cannot be written stops the run before its first record.
        const QString bad = path("no-such-folder/run.csv");
        r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"), QStringLiteral("--csv"), bad});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains(bad.toUtf8()), r.err.constData());
        QCOMPARE(r.out, QByteArray());

        // The run history: a bad RUN or TIME is named, a run not there said.
        r = run({QStringLiteral("stats"), QStringLiteral("first")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("'first'"), r.err.constData());
        r = run({QStringLiteral("export"), QStringLiteral("-3"), QStringLiteral("--jsonl"), QStringLiteral("-")});
        QCOMPARE(r.status, 2);
        r = run({QStringLiteral("stats"), QStringLiteral("last"), QStringLiteral("--from"), QStringLiteral("noon")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("'noon'") && r.err.contains("--from"), r.err.constData());
        r = run({QStringLiteral("export"), QStringLiteral("987654"), QStringLiteral("--jsonl"), QStringLiteral("-")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("no run 987654"), r.err.constData());
        r = run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--csv"), bad});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains(bad.toUtf8()), r.err.constData());

        // A journal that cannot be opened is said; the run goes on.
        const QString dataHome = g_dataHome;
        QFile notAFolder(path("not-a-folder"));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
        notAFolder.close();
        g_dataHome = notAFolder.fileName();
        r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                 QStringLiteral("--until-duration"), QStringLiteral("1")});
        QCOMPARE(r.status, 4);   // the run is not kept in the journal
        QVERIFY2(r.err.contains("The data folder " + QFile::encodeName(g_dataHome)) && r.err.contains("cannot be written"),
                 r.err.constData());
        QCOMPARE(jsonRecords(r.out).size(), 1);
        // In one language: the journal's and the file checks' own texts in
        // English too, or all in Chinese when the locale asks for it.
        const Result english = runWith({QStringLiteral("runs")}, QString());
        QVERIFY2(!hasChinese(english.err), english.err.constData());
        const QString fifo = path("unread.fifo");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const Result chinese = runWith({QStringLiteral("record"), QStringLiteral("--csv"), fifo}, QString(),
                                       QStringLiteral("zh_CN.UTF-8"), 20000);
        QCOMPARE(chinese.status, 4);
        QVERIFY2(chinese.err.contains("ombrel-sim record: 无法写入 " + fifo.toUtf8() + "：命名管道没有读取方"),
                 chinese.err.constData());
        // A whole run in Chinese: the journal's words and the end line with
        // its reason, as the window words them.
        const Result run = runWith({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                                    QStringLiteral("--until-duration"), QStringLiteral("1")},
                                   QString(), QStringLiteral("zh_CN.UTF-8"), 20000);
        g_dataHome = dataHome;
        QCOMPARE(run.status, 4);
        QVERIFY2(run.err.contains("数据文件夹 " + QFile::encodeName(notAFolder.fileName()) + "/ombrel 无法写入")
                     && run.err.contains("运行已结束（条件：运行时长达到 1 秒），历时"),
                 run.err.constData());
        QVERIFY2(!QString::fromUtf8(run.err)
                      .remove(QStringLiteral("ombrel-sim record: "))
                      .contains(QRegularExpression(QStringLiteral("[a-z]{3,} [a-z]{3,}"))),
                 run.err.constData());
    }

    // On a terminal: a line of the run's latest values kept up to date, and
    // what the run says (a meter pulled out and back) each on a line of its
    // own, never run on after that line; a bench's the same.
    void recordsOnATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("said");
        const QString pulled =
            QStringLiteral("ombrel-sim record: the meter was pulled out: waiting for it (serial number %1) to come back");
        const QString back = QStringLiteral("ombrel-sim record: the meter is back: the run goes on");
        const QString ended = QStringLiteral("the run ended (condition: duration 5 s) after ");
        QTest::newRow("one meter") << QStringList{"--sim-replug", "2", "record", "--until-duration", "5"}
                                   << QStringList{pulled.arg("0012345678"), back, "ombrel-sim record: " + ended};
        QTest::newRow("bench") << QStringList{"--sim-meters", "2", "--sim-replug", "2", "record", "--meter",
                                              "in=0012345678", "--meter", "out=0012345679", "--until-duration", "5"}
                               << QStringList{pulled.arg("0012345679"), back, "ombrel-sim record in: " + ended,
                                              "ombrel-sim record out: " + ended, "ombrel-sim record: in "};
    }
    void recordsOnATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, said);
        const QStringList screen = onTerminal(arguments);
        const QRegularExpression status(QStringLiteral(
            "^0:00:0\\d  \\d+\\.\\d{3} V  \\d+\\.\\d{3} A  \\d+\\.\\d{3} W  \\d+\\.\\d{3} Ah  \\d+\\.\\d{3} Wh  "
            "\\d+ records(  \\(unplugged\\))?$"));
        QStringList messages;
        for (const QString &line : screen) {
            if (line.startsWith(QLatin1String("ombrel-sim record")))
                messages.append(line);
            else
                QVERIFY2(status.match(line).hasMatch(), qPrintable(screen.join(QLatin1Char('\n'))));
        }
        QVERIFY2(messages.size() == said.size() && screen.size() > said.size(), qPrintable(screen.join(QLatin1Char('\n'))));
        for (int i = 0; i < said.size(); ++i)
            QVERIFY2(messages[i].startsWith(said[i]), qPrintable(screen.join(QLatin1Char('\n'))));
    }

    // A meter the user may not open: listed as such, and every command that
    // needs it says how to be let in, with the meter's own node.
    void meterWithoutAccess()
    {
        const QByteArray how = "cannot open the meter at sim:1:1: no read and write permission. Install Ombrel's udev "
                               "rule (the package installs it; or copy packaging/70-ombrel-meter.rules to "
                               "/etc/udev/rules.d/), run 'sudo udevadm control --reload', then unplug the meter and "
                               "plug it in again.\n";
        const QStringList refused = {QStringLiteral("--sim-access"), QStringLiteral("refused")};
        Result r = run(refused + QStringList{QStringLiteral("list")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("M512X V1.2 0012345678 sim:1:1 no-access\n"));
        QCOMPARE(r.err, "ombrel-sim list: " + how);
        r = run(refused + QStringList{QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(r.out, QByteArray("[{\"accessible\":false,\"model\":\"M512X\",\"path\":\"sim:1:1\","
                                   "\"serial\":\"0012345678\",\"version\":\"V1.2\"}]\n"));
        const QList<QStringList> needing = {{QStringLiteral("get")},
                                            {QStringLiteral("set"), QStringLiteral("--brightness"), QStringLiteral("5")},
                                            {QStringLiteral("record"), QStringLiteral("--until-duration"), QStringLiteral("1")}};
        for (const QStringList &command : needing) {
            r = run(refused + command);
            QCOMPARE(r.status, 3);
            QCOMPARE(r.err, "ombrel-sim " + command.first().toUtf8() + ": " + how);
        }
    }

    // The size cap of the settings file (1 MiB): a run bigger than it is
    // kept whole, the older runs go, and standard error says so once. A cap
    // value out of range falls back to the default, said; reading the runs
    // removes none.
    void sizeCapKeepsTheRunThatEnded()
    {
        const QString dataHome = g_dataHome;
        g_dataHome = path("capped");
        g_workDir = path("capped-work");
        QVERIFY(QDir().mkpath(g_workDir));
        auto setCap = [](const QByteArray &value) {
            QFile ini(g_workDir + QStringLiteral("/usb-hid.ini"));
            return ini.open(QIODevice::WriteOnly | QIODevice::Truncate)
                   && ini.write("[General]\nRunDatabaseLimitMB=" + value + "\n") > 0;
        };
        QVERIFY(setCap("1"));
        const QString db = g_dataHome + QStringLiteral("/ombrel/runs.sqlite");
        {
            RunJournal journal;
            QVERIFY(journal.open(db));
            const qint64 t0 = QDateTime::currentMSecsSinceEpoch() - 7200000;
            for (int r = 0; r < 2; ++r) {
                const qint64 start = t0 + 600000 * r;
                const qint64 id = journal.beginRun(start, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("5"));
                ReadingLog log;
                for (int k = 0; k < 100; ++k)
                    log.append(start + 1000 * k, {5.1f, 1.25f, 6.375f, 0, 0, 0, 0, 0, 0, 30});
                QVERIFY(journal.sync(id, log) && journal.endRun(id, start + 100000, QStringLiteral("stopped")));
            }
        }
        QCOMPARE(journalRuns().size(), 2);
        // Every report at a high rate, until the run holds clearly more than
        // a MiB (some 60 bytes a record).
        const QString big = g_workDir + QStringLiteral("/big.jsonl");
        QProcess p;
        start(p, {QStringLiteral("--sim-rate"), QStringLiteral("2500"), QStringLiteral("record"),
                  QStringLiteral("--all-reports"), QStringLiteral("--jsonl"), big});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(big).size() >= qint64(180) * 22000, 120000);
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QVERIFY(p.waitForFinished(30000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, err.constData());
        QVERIFY2(QFileInfo(db).size() > (1 << 20), qPrintable(QString::number(QFileInfo(db).size())));
        QVERIFY2(err.count("over the run database's cap of 1 MB") == 1, err.constData());
        // The new run is kept with every record; the two older ones went.
        const QList<QJsonObject> records = jsonRecords(readFile(big));
        QVERIFY(records.size() >= 22000);
        const QJsonArray runs = journalRuns();
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].toObject().value(QStringLiteral("records")).toInt(), records.size());
        QCOMPARE(runs[0].toObject().value(QStringLiteral("end_reason")).toString(), QStringLiteral("stopped"));
        QCOMPARE(run({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"), QStringLiteral("-")}).out,
                 readFile(big));

        // A cap beyond what a MiB count can hold: the default, said by
        // record, and nothing removed by reading or recording.
        QVERIFY(setCap("9000000000000"));
        const Result listed = run({QStringLiteral("runs")});
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out.count('\n'), 1);
        const Result small = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                                  QStringLiteral("--until-duration"), QStringLiteral("1")});
        QCOMPARE(small.status, 0);
        QVERIFY2(small.err.contains("\xE2\x80\x9C" "9000000000000\xE2\x80\x9D of RunDatabaseLimitMB")
                     && small.err.contains("default 2048 MB"),
                 small.err.constData());
        QCOMPARE(journalRuns().size(), 2);
        g_dataHome = dataHome;
        g_workDir.clear();
    }

    // The run journal's faults: a command that reads reads what can be read
    // and never writes, moves or deletes a thing; a damaged or odd file is
    // named; a record whose journal cannot be written goes on to its files,
    // says so once and ends with status 4.
    // Another program holding the journal for less than a tick (`ombrel
    // mark` in a loop) is no fault and nothing is said; an outage of a few
    // seconds is said once when it begins and once when the journal has
    // caught up, for every outage; every record ends in the journal.
    void journalHeldByAnotherProgram()
    {
        const QString db = g_dataHome + QStringLiteral("/ombrel/runs.sqlite");
        QProcess recorder;
        start(recorder, {QStringLiteral("record"), QStringLiteral("--jsonl"), path("held.jsonl")});
        QVERIFY(recorder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path("held.jsonl")).count('\n') >= 2, 20000);
        auto hold = [&](int ms) {
            sqlite3 *other = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &other), SQLITE_OK);
            sqlite3_busy_timeout(other, 5000);
            QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            QTest::qSleep(ms);
            QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(other);
        };
        for (int k = 0; k < 8; ++k) {
            hold(300);
            QTest::qSleep(200);
        }
        const QByteArray quiet = recorder.readAllStandardError();
        for (int outage = 0; outage < 2; ++outage) {
            hold(3500);
            QTest::qSleep(2500);
        }
        ::kill(pid_t(recorder.processId()), SIGINT);
        const Result r = finish(recorder);
        QCOMPARE(r.status, 0);
        QVERIFY2(quiet.isEmpty(), quiet.constData());
        const QByteArray said = r.err;
        QCOMPARE(said.count("is held by another program"), 2);
        QCOMPARE(said.count("has caught up: every record so far is kept"), 2);
        QVERIFY2(said.indexOf("held by") < said.indexOf("caught up")
                     && said.lastIndexOf("held by") < said.lastIndexOf("caught up"),
                 said.constData());
        QCOMPARE(journalRuns().first().toObject().value(QStringLiteral("records")).toInt(),
                 jsonRecords(readFile(path("held.jsonl"))).size());
    }

    void journalFaults()
    {
        const QString dataHome = g_dataHome;
        g_dataHome = path("faulty");
        const QString folder = g_dataHome + QStringLiteral("/ombrel");
        const QString db = folder + QStringLiteral("/runs.sqlite");
        const Result first = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                                  QStringLiteral("--until-duration"), QStringLiteral("2")});
        QCOMPARE(first.status, 0);
        const QString id = QString::number(journalRuns().first().toObject().value(QStringLiteral("id")).toInt());
        // runs, export and stats all answer with the run; empty when they do.
        auto reads = [&]() -> QByteArray {
            const Result listed = run({QStringLiteral("runs")});
            if (listed.status != 0 || !listed.out.contains("condition: duration 2 s"))
                return "runs: " + listed.err;
            const Result exported = run({QStringLiteral("export"), id, QStringLiteral("--jsonl"), QStringLiteral("-")});
            if (exported.status != 0 || exported.out != first.out)
                return "export: " + exported.err;
            const Result stats = run({QStringLiteral("stats"), id, QStringLiteral("--json")});
            if (stats.status != 0
                || QJsonDocument::fromJson(stats.out).object().value(QStringLiteral("records")).toInt()
                       != jsonRecords(first.out).size())
                return "stats: " + stats.err;
            return {};
        };
        QByteArray failed = reads();
        QVERIFY2(failed.isEmpty(), failed.constData());

        // A full disk: no file may grow.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const rlimit full{0, before.rlim_max};
        setrlimit(RLIMIT_FSIZE, &full);
        failed = reads();
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, SIG_DFL);
        QVERIFY2(failed.isEmpty(), failed.constData());

        // A read-only data folder (root writes anyway).
        if (::geteuid() != 0) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            failed = reads();
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY2(failed.isEmpty(), failed.constData());
        }

        // A recorder's -wal deleted under it.
        QProcess recorder;
        start(recorder, {QStringLiteral("record"), QStringLiteral("--jsonl"), path("faulty.jsonl")});
        QVERIFY(recorder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path("faulty.jsonl")).count('\n') >= 2, 20000);
        QVERIFY(QFile::remove(db + QStringLiteral("-wal")));
        failed = reads();
        ::kill(pid_t(recorder.processId()), SIGINT);
        QVERIFY(recorder.waitForFinished(10000));
        QVERIFY2(failed.isEmpty(), failed.constData());

        // A damaged journal, cut inside its last page or to a byte: named by
        // the commands that read, left as it is; moved aside by a writer.
        QFile file(db);
        for (const qint64 size : {file.size() - 100, qint64(1)}) {
            for (const char *suffix : {"-wal", "-shm"})
                QFile::remove(db + QLatin1String(suffix));
            QVERIFY(file.resize(size));
            const QByteArray content = readFile(db);
            const QStringList files = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            for (const QStringList &command : {QStringList{QStringLiteral("runs")},
                                               QStringList{QStringLiteral("stats"), QStringLiteral("last")}}) {
                const Result r = run(command);
                QCOMPARE(r.status, 1);
                QVERIFY2(r.err.contains(db.toUtf8() + " is damaged"), r.err.constData());
            }
            QCOMPARE(readFile(db), content);
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), files);
        }
        Result r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                        QStringLiteral("--until-duration"), QStringLiteral("1")});
        QCOMPARE(r.status, 0);
        const QRegularExpression aside(QRegularExpression::escape(db) + QStringLiteral("\\.broken-[0-9-]+"));
        const QString moved = aside.match(QString::fromUtf8(r.err)).captured();
        QVERIFY2(!moved.isEmpty(), r.err.constData());
        QCOMPARE(readFile(moved), QByteArray(1, 'S'));
        QCOMPARE(journalRuns().size(), 1);

        // A folder, a named pipe, a link to a device where the journal should
        // be: named; a run recorded all the same, with status 4.
        for (const QString &name : QDir(folder).entryList({QStringLiteral("runs.sqlite*")}, QDir::Files))
            QVERIFY(QFile::remove(folder + QLatin1Char('/') + name));
        const struct {
            const char *kind;
            std::function<bool()> make;
        } odd[] = {
            {"a folder", [&] { return QDir().mkdir(db); }},
            {"a named pipe", [&] { return ::mkfifo(QFile::encodeName(db).constData(), 0600) == 0; }},
            {"a device", [&] { return QFile::link(QStringLiteral("/dev/null"), db); }},
        };
        for (const auto &o : odd) {
            QVERIFY(o.make());
            const QByteArray named = db.toUtf8() + " is " + o.kind + ", not a database file";
            r = run({QStringLiteral("runs")});
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains(named), r.err.constData());
            r = run({QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                     QStringLiteral("--until-duration"), QStringLiteral("1")});
            QCOMPARE(r.status, 4);
            QCOMPARE(jsonRecords(r.out).size(), 1);
            // The window's words: "... is a folder, not a file", "... is a
            // device or a socket, not a regular file".
            QVERIFY2(r.err.count(db.toUtf8() + " is " + o.kind) == 1 && r.err.count("run database") == 1,
                     r.err.constData());
            QVERIFY(QDir().rmdir(db) || QFile::remove(db));
        }
        g_dataHome = dataHome;
    }

    // set writes the frames of the settings pages, in the order given,
    // between entering and leaving the page; get prints the meter's report.
    void settingsFrames()
    {
        const QString trace = path("set.trace");
        const Result r = run({QStringLiteral("set"), QStringLiteral("--language"), QStringLiteral("en"),
                              QStringLiteral("--brightness"), QStringLiteral("7"),
                              QStringLiteral("--calibration-voltage"), QStringLiteral("1.234"),
                              QStringLiteral("--min-current"), QStringLiteral("20"), QStringLiteral("--switch"),
                              QStringLiteral("on"), QStringLiteral("--standby-style"), QStringLiteral("original"),
                              QStringLiteral("--zero")},
                             trace);
        QVERIFY2(r.status == 0, r.err.constData());
        const QList<QByteArray> frames = written(trace);
        const QList<QByteArray> expected = {
            QByteArray::fromHex("550509030000 00EEFF"),   QByteArray::fromHex("550509460000 00EEFF"),
            QByteArray::fromHex("550509210000 00EEFF"),   QByteArray::fromHex("55050A22000000 07EEFF"),
            QByteArray::fromHex("55050A2A3F9DF3B6EEFF"), QByteArray::fromHex("5505092F000000EEFF"),
            QByteArray::fromHex("550509310000 00EEFF"),   QByteArray::fromHex("550509300000 00EEFF"),
            QByteArray::fromHex("550509290000 00EEFF"),   QByteArray::fromHex("550509450000 00EEFF"),
        };
        QCOMPARE(frames.size(), expected.size());
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(frames[i], expected[i] + QByteArray(64 - expected[i].size(), '\0'));

        // The compact family: its own brightness range, no calibration.
        const QString compactTrace = path("k4.trace");
        Result k4 = run({QStringLiteral("--sim-model"), QStringLiteral("K4"), QStringLiteral("set"),
                         QStringLiteral("--brightness"), QStringLiteral("80")},
                        compactTrace);
        QCOMPARE(k4.status, 0);
        QCOMPARE(written(compactTrace).value(2), QByteArray::fromHex("55050A22000000 50EEFF") + QByteArray(54, '\0'));
        k4 = run({QStringLiteral("--sim-model"), QStringLiteral("K4"), QStringLiteral("set"),
                  QStringLiteral("--calibration-current"), QStringLiteral("1.1")});
        QCOMPARE(k4.status, 2);

        const Result got = run({QStringLiteral("get"), QStringLiteral("--json")});
        QCOMPARE(got.status, 0);
        QCOMPARE(got.out, QByteArray("{\"brightness\":5,\"calibration-current\":1,\"calibration-temperature\":1,"
                                     "\"calibration-voltage\":1,\"language\":\"zh\",\"min-current\":10,"
                                     "\"standby-brightness\":3,\"standby-style\":1,\"standby-time\":30,"
                                     "\"switch\":\"off\"}\n"));
    }

    // A level at either end of its range is sent as its byte; one past
    // either end is refused, saying the range, and nothing is sent.
    void levelsAtTheEndsOfTheirRange_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::addColumn<QByteArray>("frame");   // the value byte left out
        QTest::newRow("brightness") << "M512X" << "--brightness" << 1 << 9 << QByteArray::fromHex("55050A22000000");
        QTest::newRow("brightness, compact") << "K4" << "--brightness" << 10 << 100 << QByteArray::fromHex("55050A22000000");
        QTest::newRow("standby-time") << "M512X" << "--standby-time" << 10 << 60 << QByteArray::fromHex("55050A24000000");
        QTest::newRow("standby-brightness") << "M512X" << "--standby-brightness" << 0 << 9
                                            << QByteArray::fromHex("55050A23000000");
    }
    void levelsAtTheEndsOfTheirRange()
    {
        QFETCH(QString, model);
        QFETCH(QString, option);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        QFETCH(QByteArray, frame);
        const QString trace = path("level.trace");
        for (const int value : {lowest, highest}) {
            QFile::remove(trace);
            const Result r = run({QStringLiteral("--sim-model"), model, QStringLiteral("set"), option, QString::number(value)},
                                 trace);
            QVERIFY2(r.status == 0, r.err.constData());
            QCOMPARE(written(trace).value(2), frame + char(value) + QByteArray::fromHex("EEFF") + QByteArray(54, '\0'));
        }
        for (const int value : {lowest - 1, highest + 1}) {
            QFile::remove(trace);
            const Result r = run({QStringLiteral("--sim-model"), model, QStringLiteral("set"), option, QString::number(value)},
                                 trace);
            QCOMPARE(r.status, 2);
            QCOMPARE(r.err, QStringLiteral("ombrel-sim set: bad value '%1' for %2: a whole number %3..%4 on this meter\n")
                                .arg(value)
                                .arg(option)
                                .arg(lowest)
                                .arg(highest)
                                .toUtf8());
            QVERIFY(written(trace).isEmpty());
        }
    }

    // Runs as sigrok session files, read by Debian's sigrok-cli: the
    // channels by name, the run's own rate, every record at the sample of
    // its time, a gap as NaN (never a value), and at a meter's own uneven
    // pace no record dropped.
    void sigrokSessions()
    {
        RunJournal journal;
        QVERIFY(journal.open(g_dataHome + QStringLiteral("/ombrel/runs.sqlite")));
        const qint64 t0 = QDateTime::fromString(QStringLiteral("2025-04-01T10:00:00"), Qt::ISODate).toMSecsSinceEpoch();
        // One a second for 300 records, none from 101 s to 105 s (pulled
        // out); then four a second, each up to 10 ms off its beat, none for
        // the four beats after the 100th record.
        auto storeRun = [&](const std::vector<qint64> &at) {
            const qint64 id = journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("7"));
            ReadingLog log;
            for (size_t i = 0; i < at.size(); ++i) {
                const float k = float(i);
                log.append(t0 + at[i], {5.0f + k / 64, k / 128, 3.0f + k / 32, 0.25f, 0.5f, 1.5f, 0.0f,
                                        k / 1024, k / 512, 30.0f + k / 16});
            }
            return journal.sync(id, log) && journal.endRun(id, t0 + at.back() + 1000, QStringLiteral("stopped")) ? id : 0;
        };
        std::vector<qint64> gap, uneven;
        for (qint64 s = 0; s < 305; ++s) {
            if (s <= 100 || s > 105)
                gap.push_back(s * 1000);
        }
        const int jitter[] = {0, 8, -10, 3};
        for (int i = 0; i < 200; ++i)
            uneven.push_back(i * 250 + jitter[i % 4] + (i >= 100 ? 1000 : 0));
        const qint64 ids[] = {storeRun(gap), storeRun(uneven)};
        // A run stopped before its first record: a file without samples.
        const qint64 empty = journal.beginRun(t0, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("7"));
        QVERIFY(journal.endRun(empty, t0 + 500, QStringLiteral("stopped")));
        journal.close();
        QVERIFY(ids[0] > 0 && ids[1] > 0);
        const Result none = run({QStringLiteral("export"), QString::number(empty), QStringLiteral("--sr"), path("empty.sr")});
        QVERIFY2(none.status == 0, none.err.constData());
        // The same run gives the same bytes whenever it is exported (zip
        // times go by two seconds).
        QCOMPARE(run({QStringLiteral("export"), QString::number(ids[0]), QStringLiteral("--sr"), path("early.sr")}).status, 0);
        QTest::qWait(2100);
        QCOMPARE(run({QStringLiteral("export"), QString::number(ids[0]), QStringLiteral("--sr"), path("late.sr")}).status, 0);
        QVERIFY(readFile(path("early.sr")) == readFile(path("late.sr")));
        QVERIFY(SigrokCli::run({QStringLiteral("-i"), path("empty.sr"), QStringLiteral("--show")}).startsWith("Samplerate: 1\nChannels: 10\n"));

        // sigrok's own copy of a file: its samples of a channel.
        auto samples = [](const QString &file, int channel) {
            QProcess p;
            p.start(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("
                                    "sys.argv[2]))"),
                     file, QStringLiteral("analog-1-%1-1").arg(channel)});
            p.waitForFinished(30000);
            const QByteArray bytes = p.readAllStandardOutput();
            std::vector<float> out(size_t(bytes.size() / 4));
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = qFromLittleEndian<float>(bytes.constData() + i * 4);
            return out;
        };
        const QByteArray channels = "- VBUS_V: analog\n- IBUS_A: analog\n- POWER_W: analog\n- CAP_Ah: analog\n"
                                    "- ENERGY_Wh: analog\n- DP_V: analog\n- DM_V: analog\n- CC1_V: analog\n"
                                    "- CC2_V: analog\n- TEMP_C: analog\n";
        const struct {
            qint64 id;
            int records;
            int rate;
            QByteArray count;
            int gapFrom, gapTo;   // the samples of no record
        } cases[] = {{ids[0], 300, 1, "Analog sample count: 305\n", 101, 105},
                     {ids[1], 200, 4, "Analog sample count: 204\n", 100, 103}};
        for (const auto &c : cases) {
            const QString file = path("run.sr"), copy = path("copy.sr");
            QFile::remove(copy);
            const Result r = run({QStringLiteral("export"), QString::number(c.id), QStringLiteral("--sr"), file});
            QVERIFY2(r.status == 0, r.err.constData());
            const QByteArray shown = SigrokCli::run({QStringLiteral("-i"), file, QStringLiteral("--show")});
            QVERIFY2(shown.startsWith("Samplerate: " + QByteArray::number(c.rate) + "\nChannels: 10\n" + channels + c.count),
                     shown.constData());
            QCOMPARE(SigrokCli::run({QStringLiteral("-i"), file, QStringLiteral("-o"), copy}), QByteArray());
            // VBUS (channel 1) and the temperature (channel 10) as stored.
            const std::vector<float> vbus = samples(copy, 1), temp = samples(copy, 10);
            QCOMPARE(int(vbus.size()), c.records + c.gapTo - c.gapFrom + 1);
            QCOMPARE(temp.size(), vbus.size());
            for (int i = 0, k = 0; i < int(vbus.size()); ++i) {
                if (i >= c.gapFrom && i <= c.gapTo) {
                    QVERIFY2(std::isnan(vbus[size_t(i)]) && std::isnan(temp[size_t(i)]), qPrintable(QString::number(i)));
                    continue;
                }
                QCOMPARE(vbus[size_t(i)], 5.0f + float(k) / 64);
                QCOMPARE(temp[size_t(i)], 30.0f + float(k) / 16);
                ++k;
            }
            // Its CSV: a row a sample, six digits of each channel's
            // value, "nan" for a gap.
            const QList<QList<QByteArray>> rows = SigrokCli::csvRows(file);
            QCOMPARE(rows.size(), int(vbus.size()));
            for (int i = 0; i < rows.size(); ++i) {
                const QList<QByteArray> &fields = rows[i];
                const double v = fields[0].toDouble(), t = fields[9].toDouble();
                QVERIFY2(std::isnan(vbus[size_t(i)]) ? fields[0] == "nan" && fields[9] == "nan"
                                                     : near(v, vbus[size_t(i)], 1e-5 * v) && near(t, temp[size_t(i)], 1e-5 * t),
                         rows[i].join(',').constData());
            }
        }
    }

    // The image reaches the loader whole, block by block; a bad image is
    // refused before the meter is touched.
    void upgrade()
    {
        QByteArray image(3000, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7 + (i >> 8));
        const QString file = path("fw.bin");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(image) == image.size());
        f.close();
        const QString trace = path("upgrade.trace");
        Result r = run({QStringLiteral("upgrade"), file}, trace);
        QVERIFY2(r.status == 0, r.err.constData());
        QByteArray received;
        int next = 0;
        for (const QByteArray &report : written(trace)) {
            if (uchar(report[1]) != 0xCC)
                continue;
            const int length = uchar(report[2]);
            const int number = uchar(report[3]) | (uchar(report[4]) << 8);
            QCOMPARE(number, next++);
            received += report.mid(5, length == 0x40 ? 58 : length - 6);
        }
        QCOMPARE(received, image);

        QFile empty(path("empty.bin"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        r = run({QStringLiteral("upgrade"), empty.fileName()});
        QCOMPARE(r.status, 5);
        QVERIFY2(r.err.contains("empty"), r.err.constData());

        // A loader that never answers: said so, with the status of a time-out.
        r = run({QStringLiteral("--sim-loader"), QStringLiteral("silent"), QStringLiteral("upgrade"), file});
        QCOMPARE(r.status, 6);
        QVERIFY2(r.err.contains("the meter's loader stopped answering"), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
