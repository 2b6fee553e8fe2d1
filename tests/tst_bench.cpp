// Benches of several meters: the pairing of in and out records with values
// worked out by hand, the bench kept in the run journal, and `record
// --meter` run as its own process on simulated meters (a converter whose
// output is 80 % of its input: 12.5 V 1 A in, 5 V 2 A out).
#include "app/startup.h"
#include "base/appname.h"
#include "meterbench/benchpairing.h"
#include "recording/runinterval.h"
#include "recording/runjournal.h"
#include "simulator.h"
#include "ui/benchdialog.h"
#include "ui/benchstrip.h"
#include "charts/chartview.h"
#include "charts/measurecursors.h"
#include "ui/comparewindow.h"
#include "ui/runhistory.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include "childprocess.h"
#include "influxserver.h"
#include "mqttbroker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtTest>

#include <sqlite3.h>

namespace {

QString g_dataHome;

ChildProcess::Result ombrelSim(const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(ChildProcess::environment(g_dataHome));
    p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
    return ChildProcess::finish(p, timeoutMs);
}

const QStringList kConverter{"record", "--sim-meters", "2", "--sim-scenario", "converter-in,converter-out",
                             "--meter", "in=0012345678", "--meter", "out=0012345679"};

// The figures of record's last line: in Wh, out Wh, energy efficiency, loss
// mean, min, max, pairs, gaps.
QList<double> benchLine(const QByteArray &err)
{
    static const QRegularExpression line(QStringLiteral(
        "in ([0-9.]+) Wh, out ([0-9.]+) Wh, energy efficiency ([0-9.]+) %, loss mean ([0-9.]+) W \\(([0-9.]+) to "
        "([0-9.]+) W\\), ([0-9]+) pairs of records, ([0-9]+) gaps"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(err));
    QList<double> figures;
    for (int i = 1; m.hasMatch() && i <= 8; ++i)
        figures << m.captured(i).toDouble();
    return figures;
}

Bench::Point point(qint64 t, float v, float i)
{
    return {t, v, i, v * i};
}

} // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static QTemporaryDir dir;
        QVERIFY(dir.isValid());
        g_dataHome = dir.path();
        qputenv("XDG_DATA_HOME", g_dataHome.toUtf8());
        qputenv("HOME", g_dataHome.toUtf8());
        QVERIFY(QDir::setCurrent(g_dataHome));
        AppName::apply();
        Startup::applyLook(*qApp);
        Prompts::setWarningHandler([](QWidget *, const QString &, const QString &text) { QFAIL(qPrintable(text)); });
    }

    // Each pair's values, and which records pair, by hand.
    void pairsWorkedOutByHand()
    {
        // A cable: 5.25 V in, 5.00 V out, 2 A through it.
        Bench::Derived d = Bench::derive(point(0, 5.25f, 2.0f), point(0, 5.0f, 2.0f));
        QCOMPARE(qRound64(d.efficiencyPct * 1e6), qint64(95238095));   // 10 / 10.5
        QCOMPARE(d.lossW, 0.5);
        QCOMPARE(d.dropV, 0.25);
        QCOMPARE(d.resistanceOhm, 0.125);
        // Under the current floor no resistance; nothing in, no efficiency.
        d = Bench::derive(point(0, 5.2f, 0.04f), point(0, 5.0f, 0.04f));
        QVERIFY(qIsNaN(d.resistanceOhm) && !qIsNaN(d.dropV));
        d = Bench::derive(point(0, 5.2f, 0.0f), point(0, 5.0f, 0.0f));
        QVERIFY(qIsNaN(d.efficiencyPct) && !d.gap());

        // Period 1 s: a record pairs with the first one at most 0.5 s away.
        Bench::Pairing pairing(1000);
        for (qint64 t : {0, 1000, 2000, 3000})
            pairing.addIn(point(t, 12.5f, 1.0f));
        for (qint64 t : {100, 1550, 2500, 3000})
            pairing.addOut(point(t, 5.0f, 2.0f));
        pairing.settle();
        const std::vector<Bench::Derived> made = pairing.take();
        const QList<qint64> times{100, 1000, 1550, 2500, 3000};
        const QList<bool> gaps{false, true, false, false, true};
        QCOMPARE(int(made.size()), times.size());
        for (int k = 0; k < times.size(); ++k) {
            QCOMPARE(made[size_t(k)].t, times[k]);
            QCOMPARE(made[size_t(k)].gap(), gaps[k]);
            if (!gaps[k])
                QCOMPARE(made[size_t(k)].efficiencyPct, 80.0);
        }

        // A record waits for its partner until the watermark is more than
        // half a period past it.
        Bench::Pairing waiting(1000);
        waiting.addIn(point(5000, 12.5f, 1.0f));
        waiting.settle(5400);
        QVERIFY(waiting.take().empty());
        waiting.addOut(point(5450, 5.0f, 2.0f));
        waiting.addIn(point(6000, 12.5f, 1.0f));
        waiting.settle(6400);
        QCOMPARE(int(waiting.take().size()), 1);
        waiting.settle(7600);
        const std::vector<Bench::Derived> late = waiting.take();
        QVERIFY(late.size() == 1 && late[0].gap() && late[0].t == 6000);

        // Figures: energies from the meters, losses from the pairs only.
        std::vector<Bench::Derived> values(3);
        values[0].lossW = 2.0;
        values[2].lossW = 3.0;
        const Bench::Figures f = Bench::figures(2.0, 1.6, values);
        QCOMPARE(f.energyEfficiencyPct, 80.0);
        QCOMPARE(f.lossMeanW, 2.5);
        QCOMPARE(f.lossMinW, 2.0);
        QCOMPARE(f.lossMaxW, 3.0);
        QCOMPARE(f.pairs, 2);
        QCOMPARE(f.gaps, 1);
        QCOMPARE(Bench::periodOf({0, 250, 500, 760, 1000}), qint64(250));
    }

    // Benches in the journal: kept, found from a member, gone with their
    // last member; a database without the bench tables read as it is and
    // given them when written.
    void journalKeepsBenches()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("runs.sqlite"));
        {
            RunJournal journal;
            QVERIFY(journal.open(path));
            const qint64 a = journal.beginRun(1000, "M512X", "V1.2", "A1");
            const qint64 b = journal.beginRun(1001, "M512X", "V1.2", "B2");
            QVERIFY(a > 0 && b > 0);
            QCOMPARE(journal.addBench("pair", 1000, 1000, {}), qint64(0));
            const qint64 id = journal.addBench("pair", 1000, 250, {{a, "in", "A1"}, {b, "out", "B2"}});
            QVERIFY(id > 0);
            const JournalBench bench = journal.benchOfRun(b);
            QCOMPARE(bench.id, id);
            QCOMPARE(bench.periodMs, qint64(250));
            QCOMPARE(bench.member("out")->serial, QStringLiteral("B2"));
            QCOMPARE(bench.member("in")->run, a);
            QVERIFY(journal.endRun(a, 2000, RunJournal::kStopped) && journal.endRun(b, 2000, RunJournal::kStopped));
            QVERIFY(journal.remove(a));
            QCOMPARE(int(journal.bench(id).members.size()), 1);
            QVERIFY(journal.remove(b));
            QVERIFY(journal.benches().empty());
            journal.beginRun(3000, "M512X", "V1.2", "C3");
        }
        // As an older program leaves it.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "DROP TABLE bench_member; DROP TABLE bench;", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        {
            RunJournal reader;
            QVERIFY(reader.open(path, RunJournal::Mode::Read));
            QVERIFY(reader.benches().empty());
            QCOMPARE(int(reader.runs().size()), 1);
        }
        RunJournal writer;
        QVERIFY(writer.open(path));
        const qint64 run = writer.runs().front().id;
        QVERIFY(writer.addBench("again", 3000, 1000, {{run, "phone", "C3"}}) > 0);
    }

    // The converter's bench on the command line: its figures, its JSON
    // lines, its runs and its stats, and the energies against an integration
    // of its records here.
    void converterBenchRecorded()
    {
        const ChildProcess::Result r =
            ombrelSim(kConverter + QStringList{"--until-duration", "6", "--name", "converter \"A\"", "--jsonl", "-"});
        QVERIFY2(r.status == 0, r.err.constData());
        const QList<double> f = benchLine(r.err);
        QVERIFY2(f.size() == 8, r.err.constData());
        // Every pair: 12.5 W in, 10 W out.
        QCOMPARE(f[3], 2.5);
        QCOMPARE(f[4], 2.5);
        QCOMPARE(f[5], 2.5);
        QVERIFY2(f[6] >= 6 && f[7] == 0, r.err.constData());

        // The JSON lines: each meter's records with its serial and role, and
        // every pair's values as a record of its own.
        QMap<QString, QByteArray> linesOf;
        QMap<QString, QList<QPair<qint64, double>>> powerOf;
        int pairs = 0;
        for (const QByteArray &line : r.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains("bench")) {
                QCOMPARE(o.value("bench").toString(), QStringLiteral("converter \"A\""));
                QCOMPARE(o.value("efficiency_pct").toDouble(), 80.0);
                QCOMPARE(o.value("loss_w").toDouble(), 2.5);
                QCOMPARE(o.value("drop_v").toDouble(), 7.5);
                QCOMPARE(o.value("resistance_ohm").toDouble(), 3.75);
                ++pairs;
                continue;
            }
            const QString role = o.value("role").toString();
            QCOMPARE(o.value("serial").toString(), role == "in" ? QStringLiteral("0012345678") : QStringLiteral("0012345679"));
            const QByteArray tail = ",\"serial\":\"" + o.value("serial").toString().toUtf8() + "\",\"role\":\"" + role.toUtf8() + "\"}";
            QVERIFY(line.endsWith(tail));
            linesOf[role] += line.left(line.size() - tail.size()) + "}\n";
            powerOf[role] << qMakePair(
                QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch(),
                o.value("power").toDouble());
        }
        QCOMPARE(pairs, int(f[6]));
        QCOMPARE(powerOf.keys(), (QStringList{"in", "out"}));

        // The runs: one entry with its members, and each member's records in
        // the journal as the JSON lines gave them.
        const QJsonArray rows = QJsonDocument::fromJson(ombrelSim({"runs", "--json"}).out).array();
        QCOMPARE(rows.size(), 2);
        qint64 benchId = 0;
        for (const QJsonValue &row : rows) {
            const QJsonObject bench = row.toObject().value("bench").toObject();
            QCOMPARE(bench.value("name").toString(), QStringLiteral("converter \"A\""));
            benchId = qint64(bench.value("id").toDouble());
            const QByteArray exported =
                ombrelSim({"export", QString::number(row.toObject().value("id").toDouble()), "--jsonl", "-"}).out;
            QCOMPARE(exported, linesOf[bench.value("role").toString()]);
        }
        const QByteArray text = ombrelSim({"runs"}).out;
        QVERIFY2(QRegularExpression(QStringLiteral("^  b\\d+  \\S+ \\S+  bench of 2 meters  \\| converter \"A\"\\n"
                                                   "  in \\d+  .*M512X 0012345678  condition: duration 6 s\\n"
                                                   "  out \\d+  .*M512X 0012345679  condition: duration 6 s\\n$"))
                     .match(QString::fromUtf8(text))
                     .hasMatch(),
                 text.constData());

        // The energies of both runs, integrated here from their records,
        // against record's line and the bench's stats.
        double wh[2] = {};
        const QList<QPair<qint64, double>> records[2] = {powerOf["in"], powerOf["out"]};
        for (int k = 0; k < 2; ++k) {
            for (int i = 1; i < records[k].size(); ++i)
                wh[k] += (records[k][i].second + records[k][i - 1].second) / 2
                         * (records[k][i].first - records[k][i - 1].first) / 3.6e6;
        }
        QVERIFY2(qAbs(wh[0] - f[0]) < 2e-6 && qAbs(wh[1] - f[1]) < 2e-6, r.err.constData());
        QVERIFY(qAbs(100.0 * wh[1] / wh[0] - f[2]) < 0.01);
        const ChildProcess::Result stats = ombrelSim({"stats", QStringLiteral("b%1").arg(benchId), "--json"});
        const QJsonObject s = QJsonDocument::fromJson(stats.out).object();
        QVERIFY2(qAbs(s.value("energy_in_wh").toDouble() - wh[0]) < 2e-6, stats.out.constData());
        QVERIFY(qAbs(s.value("energy_out_wh").toDouble() - wh[1]) < 2e-6);
        QVERIFY(qAbs(s.value("energy_efficiency_pct").toDouble() - 100.0 * wh[1] / wh[0]) < 0.01);
        QCOMPARE(s.value("loss_w").toObject().value("max").toDouble(), 2.5);
        QCOMPARE(s.value("pairs").toInt(), pairs);
        QCOMPARE(s.value("members").toArray().at(1).toObject().value("role").toString(), QStringLiteral("out"));
        // An interval: the pairs in it alone.
        const QJsonObject part =
            QJsonDocument::fromJson(ombrelSim({"stats", QStringLiteral("b%1").arg(benchId), "--from", "0.5", "--to", "3.5", "--json"}).out)
                .object();
        QCOMPARE(part.value("pairs").toInt(), 3);
        QCOMPARE(part.value("members").toArray().at(0).toObject().value("stats").toObject().value("records").toInt(), 3);
        QVERIFY(ombrelSim({"stats", "b999"}).err.contains("no bench b999 in the run journal"));

        // Exported, the bench gives back the lines record wrote, in the
        // order of their times.
        const QString bench = QStringLiteral("b%1").arg(benchId);
        QList<QByteArray> written = r.out.split('\n'), exported = ombrelSim({"export", bench, "--jsonl", "-"}).out.split('\n');
        std::sort(written.begin(), written.end());
        std::sort(exported.begin(), exported.end());
        QCOMPARE(exported, written);
        QCOMPARE(ombrelSim({"export", bench, "--csv", "-"}).status, 2);
        // Its marks: each member run's, with its role, by time.
        QVERIFY(ombrelSim({"mark", "load on", "--run", QString::number(rows.at(0).toObject().value("id").toDouble()), "--at", "3"}).status == 0);
        QVERIFY(ombrelSim({"mark", "start", "--run", QString::number(rows.at(1).toObject().value("id").toDouble()), "--at", "1"}).status == 0);
        const QByteArray marks = ombrelSim({"marks", bench}).out;
        QVERIFY2(QRegularExpression(QStringLiteral("^in  +\\d+ +0:00:01\\.000  .*  start\\n"
                                                   "out  +\\d+ +0:00:03\\.000  .*  load on\\n$"))
                     .match(QString::fromUtf8(marks)).hasMatch(),
                 marks.constData());

        // Its report: each meter's records and energy, the in/out figures
        // (every pair 12.5 W in, 10 W out) and three charts.
        const QString pdf = g_dataHome + "/bench.pdf", html = g_dataHome + "/bench.html";
        const ChildProcess::Result report = ombrelSim({"report", bench, "--pdf", pdf, "--html", html});
        QVERIFY2(report.status == 0 && report.err.isEmpty(), report.err.constData());
        const QString words = ChildProcess::pdfText(pdf);
        QVERIFY2(words.contains("converter \"A\"") && words.contains("in: 0012345678 · run ")
                     && words.contains("out: 0012345679 · run "),
                 qPrintable(words));
        const QRegularExpressionMatch in = QRegularExpression("\\nin +0012345678 +\\S+ s +(\\d+) +(\\S+) Wh +\\S+ Ah +12\\.500000 W\\n").match(words);
        const QRegularExpressionMatch out = QRegularExpression("\\nout +0012345679 +\\S+ s +(\\d+) +(\\S+) Wh +\\S+ Ah +10\\.000000 W\\n").match(words);
        QVERIFY2(in.hasMatch() && out.hasMatch(), qPrintable(words));
        QCOMPARE(in.captured(1).toInt(), powerOf["in"].size());
        QVERIFY(qAbs(in.captured(2).toDouble() - wh[0]) < 2e-6 && qAbs(out.captured(2).toDouble() - wh[1]) < 2e-6);
        const QRegularExpressionMatch efficiency = QRegularExpression("Energy efficiency +(\\S+) %").match(words);
        QVERIFY2(efficiency.hasMatch() && qAbs(efficiency.captured(1).toDouble() - 100.0 * wh[1] / wh[0]) < 0.006,
                 qPrintable(words));
        for (const QString &row : {QStringLiteral("Mean loss +2\\.500000 W"), QStringLiteral("Greatest loss +2\\.500000 W"),
                                   QStringLiteral("Paired records +%1\\n").arg(pairs), QStringLiteral("Gaps +0\\n"),
                                   QStringLiteral("0:00:01(\\.\\d{3})? +in: start\\n"), QStringLiteral("0:00:03(\\.\\d{3})? +out: load on\\n")})
            QVERIFY2(QRegularExpression(row).match(words).hasMatch(), qPrintable(row + "\n" + words));
        const QByteArray page = readFile(html);
        QCOMPARE(page.count("<img "), 3);
        QVERIFY(page.contains("<title>converter &quot;A&quot;</title>"));
        QVERIFY2(ombrelSim({"report", "b999", "--pdf", pdf}).err.contains("no bench b999"), "");
    }

    // The live outputs of a bench: one metrics endpoint with every meter's
    // gauges (labelled with its role) and the bench's, each meter on MQTT
    // with the pairs and their Home Assistant sensors, the pairs in
    // InfluxDB; every value the converter's, worked out by hand.
    void benchOutputs()
    {
        QTemporaryDir dir;
        InfluxServer influx(dir.filePath(QStringLiteral("influxdb")));
        QVERIFY2(influx.start(false), influx.log().constData());
        QCOMPARE(influx.query("CREATE DATABASE bench").code, 200);
        MqttBroker::Broker broker(dir.path(), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        MqttBroker::Subscriber subscriber(broker.port());
        const int metricsPort = freePort();
        QProcess record;
        record.setProcessEnvironment(ChildProcess::environment(g_dataHome));
        record.start(QStringLiteral(OMBREL_SIM_BINARY),
                     kConverter + QStringList{"--until-duration", "6", "--name", "conv 1", "--metrics-listen",
                                              QString::number(metricsPort), "--mqtt",
                                              QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                                              "--influx-url", influx.url(), "--influx-db", "bench"});
        QByteArray scrape;
        QVERIFY(MqttBroker::waitFor(
            [&] {
                scrape = get(metricsPort, "/metrics").body;
                return scrape.contains("ombrel_bench_loss_watts");
            },
            20000));
        for (const char *line : {"ombrel_bench_efficiency_ratio{bench=\"conv 1\"} 0.8\n",
                                 "ombrel_bench_loss_watts{bench=\"conv 1\"} 2.5\n",
                                 "ombrel_bench_drop_volts{bench=\"conv 1\"} 7.5\n",
                                 "ombrel_bench_resistance_ohms{bench=\"conv 1\"} 3.75\n",
                                 "ombrel_vbus_volts{model=\"M512X\",serial=\"0012345678\",role=\"in\"} 12.5\n",
                                 "ombrel_vbus_volts{model=\"M512X\",serial=\"0012345679\",role=\"out\"} 5\n"})
            QVERIFY2(scrape.contains(line), scrape.constData());
        QCOMPARE(scrape.count("# TYPE ombrel_vbus_volts gauge"), 1);
        const ChildProcess::Result r = ChildProcess::finish(record);
        QVERIFY2(r.status == 0, r.err.constData());
        const int pairs = int(benchLine(r.err).value(6));
        QVERIFY2(pairs >= 5, r.err.constData());

        // MQTT: each meter under its serial number, the pairs under the
        // bench's name, its sensors a device of their own.
        // (All of it read once "offline" has come from both meters.)
        QVERIFY(MqttBroker::waitFor(
            [&] {
                return subscriber.on("ombrel/0012345678/availability").size() >= 2
                       && subscriber.on("ombrel/0012345679/availability").size() >= 2;
            },
            10000));
        QVERIFY(subscriber.on("ombrel/0012345679/state").size() >= pairs);
        QCOMPARE(subscriber.on("ombrel/0012345679/availability").last().payload, QByteArray("offline"));
        const QVector<MqttBroker::Message> values = subscriber.on("ombrel/bench/conv 1/state");
        QCOMPARE(values.size(), pairs);
        for (const MqttBroker::Message &m : values) {
            const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
            QVERIFY2(o.value("efficiency_pct").toDouble() == 80.0 && o.value("loss_w").toDouble() == 2.5
                         && o.value("drop_v").toDouble() == 7.5 && o.value("resistance_ohm").toDouble() == 3.75,
                     m.payload.constData());
        }
        const QVector<MqttBroker::Message> config =
            subscriber.on("homeassistant/sensor/ombrel_bench_conv_1/efficiency_pct/config");
        QVERIFY(!config.isEmpty());
        const QJsonObject c = QJsonDocument::fromJson(config.first().payload).object();
        QCOMPARE(c.value("state_topic").toString(), QStringLiteral("ombrel/bench/conv 1/state"));
        QCOMPARE(c.value("unit_of_measurement").toString(), QStringLiteral("%"));
        QCOMPARE(c.value("availability_topic").toString(), QStringLiteral("ombrel/0012345678/availability"));

        // InfluxDB: the pairs as points of their own, the meters' tagged
        // with their roles.
        const QByteArray pointsOf = get(influx.port(), "/query?db=bench&q=SELECT%20count(loss_w),%20max(efficiency_pct)"
                                                       "%20FROM%20ombrel_bench%20WHERE%20bench='conv%201'").body;
        const QJsonArray value = QJsonDocument::fromJson(pointsOf).object().value("results").toArray().at(0).toObject()
                                     .value("series").toArray().at(0).toObject().value("values").toArray().at(0).toArray();
        QVERIFY2(value.at(1).toInt() == pairs && value.at(2).toDouble() == 80.0, pointsOf.constData());
        const QByteArray roles =
            get(influx.port(), "/query?db=bench&q=SHOW%20TAG%20VALUES%20FROM%20ombrel%20WITH%20KEY%20=%20role").body;
        QVERIFY2(roles.contains("[\"role\",\"in\"]") && roles.contains("[\"role\",\"out\"]"), roles.constData());
    }

    // One meter out and back: the other goes on, the pairs become gaps and
    // no value is made up; refused benches say why.
    void faults()
    {
        // The out meter is pulled out after 3 s, for 2 s.
        const ChildProcess::Result r =
            ombrelSim(kConverter + QStringList{"--until-duration", "9", "--sim-replug", "3"});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.contains("0012345679") && r.err.contains("the meter is back"), r.err.constData());
        const QList<double> f = benchLine(r.err);
        QVERIFY2(f.size() == 8 && f[7] >= 1 && f[6] >= 4, r.err.constData());
        QCOMPARE(f[4], 2.5);
        QCOMPARE(f[5], 2.5);

        const struct {
            QStringList arguments;
            int status;
            const char *words;
        } refused[] = {
            {{"record", "--meter", "in=1"}, 2, "a bench takes 2 to 4 meters, not 1"},
            {{"record", "--meter", "in=1", "--meter", "in=2"}, 2, "the role 'in' is given twice"},
            {{"record", "--meter", "in=1", "--meter", "out=1"}, 2, "the serial number 1 is given twice"},
            {{"record", "--meter", "in", "--meter", "out=1"}, 2, "bad value 'in' for --meter"},
            {{"record", "--sim-meters", "3", "--sim-serial", "77,77", "--meter", "in=77", "--meter", "out=78"}, 3,
             "2 meters have the serial number 77: they cannot be told apart"},
            {{"record", "--sim-meters", "2", "--meter", "in=0012345678", "--meter", "out=0099"}, 3, "0099"},
        };
        for (const auto &c : refused) {
            const ChildProcess::Result no = ombrelSim(c.arguments);
            QVERIFY2(no.status == c.status && no.err.contains(c.words), (c.arguments.join(' ') + ": " + no.err).toUtf8().constData());
        }

        // A meter another program records is not taken.
        QProcess other;
        other.setProcessEnvironment(ChildProcess::environment(g_dataHome));
        other.start(QStringLiteral(OMBREL_SIM_BINARY), {"record", "--sim-serial", "0012345679", "--until-duration", "30"});
        QTRY_VERIFY_WITH_TIMEOUT(ombrelSim({"runs"}).out.contains("recording"), 20000);
        const ChildProcess::Result busy = ombrelSim(kConverter);
        other.terminate();
        QVERIFY(other.waitForFinished(20000));
        QVERIFY2(busy.status == 3 && QRegularExpression(QStringLiteral("meter 0012345679 is being recorded by another "
                                                                       "program \\(run \\d+\\)"))
                                         .match(QString::fromUtf8(busy.err))
                                         .hasMatch(),
                 busy.err.constData());
    }

    // The window's bench, as a user records one: the data menu's "Bench",
    // two meters ticked with the roles they are given, a name, Start, the
    // meters' and the pair's values as they come, Stop; the bench then in
    // the journal.
    void windowRecordsABench()
    {
        sim::reset();
        for (const auto &m : {std::make_pair(L"0012345678", sim::Scenario::ConverterIn),
                              std::make_pair(L"0012345679", sim::Scenario::ConverterOut)}) {
            sim::Identity id;
            id.serial = m.first;
            sim::Meter &meter = sim::attach(id);
            meter.setScenario(m.second);
            meter.unplug();
            meter.plug();
        }
        MainDialog d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(chooseFromMenu(d, QStringLiteral("工作台")));
        auto *dialog = d.findChild<BenchDialog *>();
        QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->meterTable()->rowCount(), 2);
        QCOMPARE(dialog->tick(1)->text(), QStringLiteral("M512X 0012345679"));
        // Nothing ticked: said, nothing recorded.
        clickOn(dialog->startButton());
        QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("工作台需要 2 到 4 个电表，而不是 0 个"));
        // On the box, as a user ticks it (the row is wider than the box and its text).
        for (int row : {0, 1})
            clickOn(dialog->tick(row), QPoint(8, dialog->tick(row)->height() / 2));
        clickOn(dialog->nameEdit());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("desk"));
        clickOn(dialog->startButton());
        QVERIFY2(dialog->recording(), qPrintable(dialog->statusLabel()->text()));
        QTRY_COMPARE_WITH_TIMEOUT(dialog->pairLabel()->text(),
                                  QStringLiteral("效率 80.00 %   损耗 2.500 W   压降 7.500 V   电阻 3.750 \u03a9"), 10000);
        QCOMPARE(dialog->meterLabel(0)->text(), QStringLiteral("in  0012345678   12.500 V   1.000 A   12.500 W"));
        QCOMPARE(dialog->meterLabel(1)->text(), QStringLiteral("out  0012345679   5.000 V   2.000 A   10.000 W"));
        // The dashboard's strip: every meter of the bench.
        BenchStrip *strip = d.benchStrip();
        QVERIFY(strip->isVisible());
        QCOMPARE(strip->meterLabel(0)->text(), QStringLiteral("in   12.500 V   1.000 A   12.500 W"));
        QCOMPARE(strip->meterLabel(1)->text(), QStringLiteral("out   5.000 V   2.000 A   10.000 W"));
        QVERIFY(!strip->meterLabel(2));
        QTest::qWait(3500);   // a few records more of each meter
        clickOn(dialog->startButton());
        QVERIFY(!dialog->recording());
        QVERIFY(!strip->isVisible() && !strip->meterLabel(0));
        RunJournal journal;
        QVERIFY(journal.open(RunJournal::Mode::Read));
        const std::vector<JournalBench> benches = journal.benches();
        QVERIFY(!benches.empty());
        const JournalBench &bench = benches.front();
        QCOMPARE(bench.name, QStringLiteral("desk"));
        QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("工作台 b%1 已保存在历史记录中").arg(bench.id));
        QCOMPARE(bench.member("out")->serial, QStringLiteral("0012345679"));
        QCOMPARE(bench.member("in")->serial, QStringLiteral("0012345678"));
        dialog->close();

        // The history: the bench as one row, its meters' runs in it.
        QVERIFY(chooseFromMenu(d, QStringLiteral("历史记录")));
        RunHistoryWindow *history = d.historyWindow();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        QTableWidget *table = history->table();
        int row = -1;
        for (int r = 0; r < table->rowCount(); ++r) {
            QVERIFY(history->runAt(r) != bench.member("in")->run && history->runAt(r) != bench.member("out")->run);
            if (history->benchAt(r) == bench.id)
                row = r;
        }
        QVERIFY(row >= 0);
        QCOMPARE(table->item(row, RunHistoryWindow::Meter)->text(), QStringLiteral("工作台：in 0012345678, out 0012345679"));
        QCOMPARE(table->item(row, RunHistoryWindow::Name)->text(), QStringLiteral("desk"));
        clickOn(table->viewport(), table->visualItemRect(table->item(row, 0)).center());
        QVERIFY(history->openButton()->isEnabled() && history->reportButton()->isEnabled());
        QVERIFY(!history->csvButton()->isEnabled() && !history->deleteButton()->isEnabled());
        clickOn(history->openButton());
        auto *compare = history->findChild<CompareWindow *>();
        QVERIFY(compare && QTest::qWaitForWindowExposed(compare));
        QCOMPARE(compare->windowTitle(), QStringLiteral("desk"));
        const RunComparison &model = compare->comparison();
        QVERIFY(model.isBench());
        QCOMPARE(compare->series(0)->name(), QStringLiteral("in"));
        QCOMPARE(compare->series(1)->name(), QStringLiteral("out"));
        // The meters on one clock: what they measured together at one time.
        const qint64 firstIn = model.run(0).times.front() - model.run(0).zeroRunMs;
        const qint64 firstOut = model.run(1).times.front() - model.run(1).zeroRunMs;
        const qint64 wallIn = RunInterval(journal, bench.member("in")->run).firstWall();
        const qint64 wallOut = RunInterval(journal, bench.member("out")->run).firstWall();
        QVERIFY2(std::min(firstIn, firstOut) == 0 && firstOut - firstIn == wallOut - wallIn,
                 qPrintable(QStringLiteral("%1 %2, %3 %4").arg(firstIn).arg(firstOut).arg(wallIn).arg(wallOut)));
        // The whole bench's figures: every pair 12.5 W in, 10 W out.
        QTableWidget *figures = compare->benchTable();
        QVERIFY(figures && figures->isVisible());
        QCOMPARE(figures->horizontalHeaderItem(0)->text(), QStringLiteral("整个工作台"));
        QCOMPARE(figures->item(Bench::LossMean, 0)->text(), QStringLiteral("2.500000 W"));
        QCOMPARE(figures->item(Bench::LossMax, 0)->text(), QStringLiteral("2.500000 W"));
        QCOMPARE(figures->item(Bench::Gaps, 0)->text(), QStringLiteral("0"));
        const double inWh = model.run(0).total.energy_wh, outWh = model.run(1).total.energy_wh;
        QCOMPARE(figures->item(Bench::EnergyEfficiency, 0)->text(), QString::number(100.0 * outWh / inWh, 'f', 2) + " %");

        // The efficiency chosen with the keyboard: one curve of the pairs at 80 %.
        compare->channelBox()->setFocus();
        while (compare->channelBox()->currentText() != QStringLiteral("效率") && compare->channelBox()->currentIndex() < compare->channelBox()->count() - 1)
            QTest::keyClick(compare->windowHandle(), Qt::Key_Down);
        QCOMPARE(compare->channelBox()->currentText(), QStringLiteral("效率"));
        QCOMPARE(compare->series(0)->count(), 0);
        QtCharts::QLineSeries *pairs = compare->series(2);
        QVERIFY(pairs && pairs->count() >= 2);
        QCOMPARE(pairs->name(), QStringLiteral("效率"));
        for (const QPointF &p : pairs->points())
            QCOMPARE(p.y(), 80.0);
        const auto legendShows = [&](QtCharts::QLineSeries *s) {
            return compare->chart()->legend()->markers(s).value(0) && compare->chart()->legend()->markers(s).value(0)->isVisible();
        };
        QVERIFY(legendShows(pairs) && !legendShows(compare->series(0)));
        compare->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(compare));
        const auto at = [&](double seconds) {
            const QPointF p = compare->chart()->mapToPosition(QPointF(double(CompareWindow::axisBase()) + seconds * 1000, 80.0), pairs);
            return compare->view()->viewport()->mapTo(compare, compare->view()->mapFromScene(compare->chart()->mapToScene(p)));
        };
        QTest::mouseMove(compare->windowHandle(), at(double(pairs->at(1).x() - CompareWindow::axisBase()) / 1000));
        QVERIFY(compare->view()->hoverItem());
        QVERIFY2(compare->view()->hoverItem()->text().contains(QStringLiteral("效率: 80.000%")),
                 qPrintable(compare->view()->hoverItem()->text()));

        // Cursors A and B: the pairs between them, at the out meter's records there.
        clickOn(compare->measureButton());
        const double last = double(pairs->at(pairs->count() - 1).x() - CompareWindow::axisBase()) / 1000;
        QTest::mousePress(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(0.5));
        QTest::mouseMove(compare->windowHandle(), at(last / 2));
        QTest::mouseMove(compare->windowHandle(), at(last - 0.5));
        QTest::mouseRelease(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(last - 0.5));
        QVERIFY(compare->cursors()->isSet());
        const qint64 a = std::min(compare->cursors()->a(), compare->cursors()->b()) - CompareWindow::axisBase();
        const qint64 b = std::max(compare->cursors()->a(), compare->cursors()->b()) - CompareWindow::axisBase();
        int outRecords = 0;
        for (qint64 t : model.run(1).times)
            outRecords += t - model.run(1).zeroRunMs >= a && t - model.run(1).zeroRunMs <= b;
        QVERIFY(outRecords >= 1);
        QVERIFY(figures->horizontalHeaderItem(0)->text().startsWith(QStringLiteral("A–B ")));
        QCOMPARE(figures->item(Bench::Pairs, 0)->text(), QString::number(outRecords));
        QCOMPARE(figures->item(Bench::LossMin, 0)->text(), QStringLiteral("2.500000 W"));

        // Its report, from the window: the bench's.
        const QString pdf = g_dataHome + "/desk.pdf";
        Prompts::setSaveFileHandler([&](QWidget *, const QString &, const QString &, const QString &) { return pdf; });
        clickOn(compare->reportButton());
        Prompts::setSaveFileHandler(nullptr);
        const QString words = ChildProcess::pdfText(pdf);
        QVERIFY2(words.contains(QStringLiteral("能量效率")) && words.contains(QStringLiteral("in: 0012345678")),
                 qPrintable(words));
        compare->close();

        // One of its runs deleted (by the command line): the other is a run
        // of its own again.
        {
            RunJournal writer;
            QVERIFY(writer.open());
            QVERIFY(writer.remove(bench.member("out")->run));
        }
        history->refresh();
        bool inRow = false;
        for (int r = 0; r < table->rowCount(); ++r) {
            QVERIFY(history->benchAt(r) != bench.id);
            inRow = inRow || history->runAt(r) == bench.member("in")->run;
        }
        QVERIFY(inRow);
        history->close();
        sim::reset();
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
