// The live outputs of `ombrel-sim record` against the real programs that
// read them, each started here on loopback ports of its own: a Prometheus
// server scraping the metrics endpoint, promtool, an InfluxDB server
// receiving the points. What they got is compared with the run's own JSON
// lines and journal.
#include "childprocess.h"
#include "influxserver.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

namespace {

QString g_dataHome;

QProcessEnvironment childEnvironment()
{
    return ChildProcess::environment(g_dataHome);
}

void startSim(QProcess &p, const QStringList &arguments, const QString &influxPassword = QString())
{
    QProcessEnvironment env = childEnvironment();
    if (!influxPassword.isEmpty())
        env.insert(QStringLiteral("OMBREL_INFLUX_PASSWORD"), influxPassword);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
}

using ChildProcess::Result;
using ChildProcess::finish;

Result runSim(const QStringList &arguments)
{
    QProcess p;
    startSim(p, arguments);
    return finish(p);
}


// The records of the run's JSON lines.
QList<QJsonObject> jsonRecords(const QByteArray &text)
{
    QList<QJsonObject> records;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    }
    return records;
}

qint64 msOf(const QJsonObject &record)
{
    return QDateTime::fromString(record.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();
}

// Every second has its record: none missing, none late by a tick.
QString gapIn(const QList<QJsonObject> &records)
{
    for (int i = 1; i < records.size(); ++i) {
        const qint64 step = msOf(records[i]) - msOf(records[i - 1]);
        if (step < 500 || step > 1500)
            return QStringLiteral("records %1 and %2 are %3 ms apart").arg(i - 1).arg(i).arg(step);
    }
    return QString();
}

// The newest run of the journal, as `runs --json` lists it.
QJsonObject lastRun()
{
    const Result r = runSim({QStringLiteral("runs"), QStringLiteral("--json")});
    return QJsonDocument::fromJson(r.out).array().first().toObject();
}

const char *const kFields[] = {"vbus", "ibus", "power", "cap", "ele", "pd", "pm", "cc1", "cc2", "cpu_temp"};

// A program of the system's, or an empty string.
QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

// A connection to the loopback port, being opened (without waiting).
int loopbackSocket(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0)
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    return fd;
}

// Clients that hold connections to a port and never finish a request: every
// other one sends nothing, the others a request a byte every 100 ms; each is
// opened again as soon as the server closes it.
class HeldConnections
{
public:
    HeldConnections(int port, int count) : m_thread([this, port, count] { hold(port, count); }) {}
    ~HeldConnections()
    {
        m_stop = true;
        m_thread.join();
    }
    // Connections the server closed, opened again.
    int reopened() const { return m_reopened; }

private:
    void hold(int port, int count)
    {
        const QByteArray start = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
        std::vector<int> sockets, sent(size_t(count), 0);
        for (int i = 0; i < count; ++i)
            sockets.push_back(loopbackSocket(port));
        while (!m_stop) {
            ::usleep(100000);
            for (size_t i = 0; i < sockets.size(); ++i) {
                char sink[4096];
                const ssize_t got = ::recv(sockets[i], sink, sizeof sink, 0);
                bool closed = got == 0 || (got < 0 && errno != EAGAIN);
                if (!closed && i % 2 == 1) {
                    const char byte = sent[i] < start.size() ? start[sent[i]] : 'x';
                    if (::send(sockets[i], &byte, 1, MSG_NOSIGNAL) == 1)
                        ++sent[i];
                    else
                        closed = errno != EAGAIN;
                }
                if (closed) {
                    ::close(sockets[i]);
                    sockets[i] = loopbackSocket(port);
                    sent[i] = 0;
                    ++m_reopened;
                }
            }
        }
        for (const int fd : sockets)
            ::close(fd);
    }

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reopened{0};
    std::thread m_thread;
};

// `ombrel-sim record --metrics-listen` on a free port, with the options
// given, and Debian's Prometheus server scraping it every second (1 s
// time-out), its API on another free port, its files in a folder.
struct ScrapedRun {
    const int metricsPort = freePort();
    const int webPort = freePort();
    QProcess recorder, prometheus;

    bool start(const QStringList &options, const QString &dir)
    {
        startSim(recorder, QStringList{QStringLiteral("record"), QStringLiteral("--metrics-listen"),
                                       QString::number(metricsPort)} + options);
        QDir().mkpath(dir);
        QFile yml(dir + QStringLiteral("/prometheus.yml"));
        if (!yml.open(QIODevice::WriteOnly))
            return false;
        yml.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                 "scrape_configs:\n  - job_name: ombrel\n    static_configs:\n"
                                 "      - targets: ['127.0.0.1:%1']\n")
                      .arg(metricsPort)
                      .toUtf8());
        yml.close();
        prometheus.setProcessChannelMode(QProcess::MergedChannels);
        prometheus.start(tool("prometheus"),
                         {QStringLiteral("--config.file=") + yml.fileName(),
                          QStringLiteral("--storage.tsdb.path=") + dir + QStringLiteral("/tsdb"),
                          QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort),
                          QStringLiteral("--log.level=warn")});
        return recorder.waitForStarted() && prometheus.waitForStarted();
    }

    ~ScrapedRun()
    {
        prometheus.terminate();
        prometheus.waitForFinished(20000);
    }

    // The series of a PromQL query at a time (seconds since the epoch; now
    // when 0), as the server's API gives them: "metric" and "values" or
    // "value".
    QJsonArray query(const QString &promql, double at = 0) const
    {
        QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(webPort));
        QUrlQuery items;
        items.addQueryItem(QStringLiteral("query"), promql);
        items.addQueryItem(QStringLiteral("time"),
                           QString::number(at > 0 ? at : QDateTime::currentMSecsSinceEpoch() / 1000.0, 'f', 3));
        url.setQuery(items);
        const Http answer = get(webPort, url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
        return QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("data")).toObject()
            .value(QStringLiteral("result")).toArray();
    }
};

} // namespace

class TestMetrics : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        g_dataHome = path(QStringLiteral("data"));
        // A thousand connections of the test's own.
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = qMin<rlim_t>(files.rlim_max, 4096);
        setrlimit(RLIMIT_NOFILE, &files);
        for (const char *program : {"prometheus", "promtool", "influxd"})
            QVERIFY2(!tool(program).isEmpty(), program);   // installed by scripts/setup
    }

    // A Prometheus server scrapes the endpoint every second during a run:
    // every VBUS sample it stored is the value of the record of its time, as
    // the run's JSON lines have it, with the meter's labels; promtool takes a
    // scrape; anything but GET /metrics is 404.
    void prometheusScrapesTheRun()
    {
        const QString jsonl = path(QStringLiteral("prometheus.jsonl"));
        ScrapedRun run;
        QVERIFY(run.start({QStringLiteral("--jsonl"), jsonl, QStringLiteral("--until-duration"), QStringLiteral("14")},
                          path(QStringLiteral("prometheus"))));

        // A scrape while it records: promtool's check, the values labelled.
        QTRY_VERIFY_WITH_TIMEOUT(get(run.metricsPort, "/metrics").body.contains("ombrel_vbus_volts{"), 20000);
        const Http scrape = get(run.metricsPort, "/metrics");
        QCOMPARE(scrape.code, 200);
        QVERIFY2(scrape.body.contains("ombrel_meter_connected{model=\"M512X\",serial=\"0012345678\"} 1\n"),
                 scrape.body.constData());
        for (const char *name : {"ombrel_ibus_amperes", "ombrel_power_watts", "ombrel_dplus_volts",
                                 "ombrel_dminus_volts", "ombrel_cc1_volts", "ombrel_cc2_volts",
                                 "ombrel_temperature_celsius", "ombrel_meter_charge_amperehours",
                                 "ombrel_meter_energy_watthours", "ombrel_run_records",
                                 "ombrel_run_charge_amperehours", "ombrel_run_energy_watthours"})
            QVERIFY2(scrape.body.contains(QByteArray(name) + "{model=\"M512X\",serial=\"0012345678\"} "), name);
        QProcess promtool;
        promtool.start(tool("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(promtool.waitForStarted());
        promtool.write(scrape.body);
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished(30000));
        QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());

        // Only GET /metrics: other paths and methods find nothing, and
        // nothing is changed.
        QCOMPARE(get(run.metricsPort, "/").code, 404);
        QCOMPARE(get(run.metricsPort, "/metrics/").code, 404);
        QCOMPARE(get(run.metricsPort, "/metricsx").code, 404);
        QCOMPARE(get(run.metricsPort, "/../metrics/../etc/passwd").code, 404);
        for (const QByteArray method : {"POST", "PUT", "DELETE", "HEAD", "OPTIONS", "PATCH"}) {
            const Http h = http(run.metricsPort, method + " /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n"
                                                          "Connection: close\r\n\r\nabc");
            QVERIFY2(h.code == 404, method.constData());
        }
        QCOMPARE(get(run.metricsPort, "/metrics?name[]=x").code, 200);

        const Result r = finish(run.recorder);
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.err.startsWith(QStringLiteral("ombrel-sim record: metrics at http://127.0.0.1:%1/metrics\n")
                                      .arg(run.metricsPort)
                                      .toUtf8()),
                 r.err.constData());
        const QList<QJsonObject> records = jsonRecords(readFile(jsonl));
        QVERIFY(records.size() >= 12);

        // What the server stored, sample by sample, against the records.
        const QJsonArray result = run.query(QStringLiteral("ombrel_vbus_volts[1m]"));
        const QByteArray answer = QJsonDocument(result).toJson(QJsonDocument::Compact);
        QVERIFY2(result.size() == 1, answer.constData());
        const QJsonObject labels = result[0].toObject().value(QStringLiteral("metric")).toObject();
        QCOMPARE(labels.value(QStringLiteral("model")).toString(), QStringLiteral("M512X"));
        QCOMPARE(labels.value(QStringLiteral("serial")).toString(), QStringLiteral("0012345678"));
        const QJsonArray samples = result[0].toObject().value(QStringLiteral("values")).toArray();
        QVERIFY2(samples.size() >= 6, answer.constData());
        QSet<double> seen;
        for (const QJsonValue &s : samples) {
            const qint64 at = qint64(s.toArray().at(0).toDouble() * 1000);
            const double value = s.toArray().at(1).toString().toDouble();
            // The record shown at a scrape is the newest one taken before it
            // (or the one being taken as it ran).
            bool found = false;
            for (const QJsonObject &record : records) {
                if (msOf(record) <= at + 200 && msOf(record) >= at - 2500
                    && record.value(QStringLiteral("vbus")).toDouble() == value)
                    found = true;
            }
            QVERIFY2(found, qPrintable(QStringLiteral("%1 at %2 is no record's VBUS: %3")
                                           .arg(value, 0, 'g', 17)
                                           .arg(at)
                                           .arg(QString::fromUtf8(readFile(jsonl)))));
            seen.insert(value);
        }
        QVERIFY2(seen.size() >= 4, answer.constData());
    }

    // Fifty clients hold connections to the endpoint, idle or sending a
    // request a byte at a time, opened again as the endpoint closes them:
    // a Prometheus server scraping every second has every scrape answered
    // (the target is up) in well under its 1 s time-out.
    void slowClientsLeaveScrapesOnTime()
    {
        ScrapedRun run;
        QVERIFY(run.start({QStringLiteral("--until-duration"), QStringLiteral("300")},
                          path(QStringLiteral("prometheus-held"))));
        const QString up = QStringLiteral("up{job=\"ombrel\"}");
        QTRY_VERIFY_WITH_TIMEOUT(run.query(up).size() == 1, 30000);

        int reopened = 0;
        double until = 0;
        {
            HeldConnections held(run.metricsPort, 50);
            // Long enough for each to be closed and opened again.
            QTest::qWait(13000);
            reopened = held.reopened();
            until = QDateTime::currentMSecsSinceEpoch() / 1000.0 - 1;   // the last scrape is stored
        }
        // The scrapes from 2 s after the clients came.
        for (const QString &name : {up, QStringLiteral("scrape_duration_seconds{job=\"ombrel\"}")}) {
            const QJsonArray series = run.query(name + QStringLiteral("[10s]"), until);
            QVERIFY2(series.size() == 1, qPrintable(name));
            const QJsonArray samples = series[0].toObject().value(QStringLiteral("values")).toArray();
            const QByteArray text = QJsonDocument(samples).toJson(QJsonDocument::Compact);
            QVERIFY2(samples.size() >= 8, text.constData());
            for (const QJsonValue &sample : samples) {
                const double value = sample.toArray().at(1).toString().toDouble();
                QVERIFY2(name == up ? value == 1 : value < 1, qPrintable(name + QLatin1Char(' ') + text));
            }
        }
        QVERIFY2(reopened >= 50, qPrintable(QString::number(reopened)));

        run.recorder.terminate();
        const Result r = finish(run.recorder);
        QVERIFY2(r.status == 0, r.err.constData());
    }

    // A thousand connections, most of them malformed or left half-sent,
    // while a run records: every tick is on time, every record in the JSON
    // lines and the journal, and the endpoint answers once they are gone.
    // A port taken and an address that is not this machine's are refused
    // before the run begins (status 4), a malformed one is a usage error.
    void endpointUnderAttack()
    {
        const int port = freePort();
        const QString jsonl = path(QStringLiteral("attack.jsonl"));
        QProcess recorder;
        startSim(recorder, {QStringLiteral("record"), QStringLiteral("--metrics-listen"),
                            QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--jsonl"), jsonl,
                            QStringLiteral("--until-duration"), QStringLiteral("12")});
        QVERIFY(recorder.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(get(port, "/metrics").code, 200, 20000);

        const QByteArray longTarget(20000, 'A');
        const QList<QByteArray> payloads = {
            "GARBAGE\r\n\r\n",
            "GET /metrics HTTP/1.1\r\nHost: x\r\n",   // never finished
            "POST /metrics HTTP/1.1\r\nContent-Length: 100000\r\n\r\nhalf a body",
            QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11),   // TLS to a plain port
            "GET /" + longTarget + " HTTP/1.1\r\n\r\n",
            "GET /metrics HTTP/9.9\r\nHost: \x01\x02\r\n\r\n",
        };
        std::vector<int> sockets;
        for (int i = 0; i < 1000; ++i) {
            sockets.push_back(loopbackSocket(port));
            QVERIFY(sockets.back() >= 0);
        }
        // Each connection sends its payload once it is connected, over the
        // run's remaining seconds.
        std::vector<bool> sent(sockets.size(), false);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 6000) {
            std::vector<pollfd> waits;
            for (size_t i = 0; i < sockets.size(); ++i)
                waits.push_back({sockets[i], short(sent[i] ? POLLIN : POLLOUT), 0});
            ::poll(waits.data(), nfds_t(waits.size()), 100);
            for (size_t i = 0; i < sockets.size(); ++i) {
                if (!sent[i] && (waits[i].revents & POLLOUT)) {
                    const QByteArray &p = payloads[int(i % size_t(payloads.size()))];
                    (void)!::send(sockets[i], p.constData(), size_t(p.size()), MSG_NOSIGNAL);
                    sent[i] = true;
                } else if (sent[i] && (waits[i].revents & POLLIN)) {
                    char sink[4096];
                    (void)!::recv(sockets[i], sink, sizeof sink, 0);
                }
            }
        }
        const long answered = std::count(sent.begin(), sent.end(), true);
        for (const int fd : sockets)
            ::close(fd);
        QVERIFY2(answered > 100, qPrintable(QString::number(answered)));

        // Served again once the attack is over, and still only GET /metrics.
        QTRY_COMPARE_WITH_TIMEOUT(get(port, "/metrics").code, 200, 15000);
        QCOMPARE(http(port, "PUT /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\n\r\nx").code, 404);

        const Result r = finish(recorder);
        QVERIFY2(r.status == 0, r.err.constData());
        const QList<QJsonObject> records = jsonRecords(readFile(jsonl));
        QVERIFY2(records.size() >= 11 && records.size() <= 13, readFile(jsonl).constData());
        const QString gap = gapIn(records);
        QVERIFY2(gap.isEmpty(), qPrintable(gap));
        QCOMPARE(lastRun().value(QStringLiteral("records")).toInt(), records.size());

        // A port another program listens on.
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        Result busy = runSim({QStringLiteral("record"), QStringLiteral("--metrics-listen"),
                              QString::number(other.serverPort()), QStringLiteral("--until-duration"), QStringLiteral("3")});
        QCOMPARE(busy.status, 4);
        QVERIFY2(busy.err == QStringLiteral("ombrel-sim record: the metrics endpoint cannot listen on 127.0.0.1:%1: "
                                            "Address already in use\n")
                                 .arg(other.serverPort())
                                 .toUtf8(),
                 busy.err.constData());
        // An address of no interface here (TEST-NET-1).
        busy = runSim({QStringLiteral("record"), QStringLiteral("--metrics-listen"), QStringLiteral("192.0.2.7:9464"),
                       QStringLiteral("--until-duration"), QStringLiteral("3")});
        QCOMPARE(busy.status, 4);
        QVERIFY2(busy.err.contains("cannot listen on 192.0.2.7:9464: Cannot assign requested address"),
                 busy.err.constData());
        for (const char *bad : {"127.0.0.1:65536", "bench:9464", "::1:9464", "12x", ""}) {
            busy = runSim({QStringLiteral("record"), QStringLiteral("--metrics-listen"), QLatin1String(bad),
                           QStringLiteral("--until-duration"), QStringLiteral("3")});
            QVERIFY2(busy.status == 2 && busy.err.contains("--metrics-listen"), bad);
        }
        // Nothing was recorded by the refused ones.
        QCOMPARE(lastRun().value(QStringLiteral("records")).toInt(), records.size());
    }

    // The points go to Debian's InfluxDB server, which starts only after
    // the run has begun and asks for a password (read from a file): the
    // refused posts are said once, the points wait and all arrive, each
    // equal to its record (values and time); the lines on standard output
    // are the same records, and no tick was late. A wrong password (from
    // the environment) is said once, and the points it could not send are
    // counted.
    void influxReceivesEveryRecord()
    {
        InfluxServer influx(path(QStringLiteral("influxdb")));
        const int httpPort = influx.port();
        const QString jsonl = path(QStringLiteral("influx.jsonl"));
        const QString secret = path(QStringLiteral("influx-password"));
        QFile secretFile(secret);
        QVERIFY(secretFile.open(QIODevice::WriteOnly));
        secretFile.write("pw s3cret\n");
        secretFile.close();
        const QStringList server = {QStringLiteral("--influx-url"), QStringLiteral("http://127.0.0.1:%1").arg(httpPort),
                                    QStringLiteral("--influx-db"), QStringLiteral("bench"),
                                    QStringLiteral("--influx-user"), QStringLiteral("ombrel")};
        QProcess recorder;
        startSim(recorder, QStringList{QStringLiteral("record"), QStringLiteral("--influx-password-file"), secret}
                               + server + QStringList{QStringLiteral("--influx"), QStringLiteral("-"),
                            QStringLiteral("--jsonl"), jsonl, QStringLiteral("--until-duration"), QStringLiteral("12")});
        QVERIFY(recorder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(jsonRecords(readFile(jsonl)).size() >= 3, 20000);

        QVERIFY2(influx.start(true), influx.log().constData());
        auto influxQuery = [&](const QByteArray &q) { return influx.query(q, "u=ombrel&p=pw%20s3cret&"); };
        // The first user may be made without one.
        QCOMPARE(influxQuery("CREATE USER ombrel WITH PASSWORD 'pw s3cret' WITH ALL PRIVILEGES").code, 200);
        QCOMPARE(influxQuery("CREATE DATABASE bench").code, 200);

        const Result r = finish(recorder);
        QVERIFY2(r.status == 0, r.err.constData());
        // Said once, not at every retry.
        QVERIFY2(r.err.count("Connection refused") == 1, r.err.constData());
        const QList<QJsonObject> records = jsonRecords(readFile(jsonl));
        QVERIFY2(records.size() >= 11 && records.size() <= 13, readFile(jsonl).constData());
        const QString gap = gapIn(records);
        QVERIFY2(gap.isEmpty(), qPrintable(gap));
        QCOMPARE(lastRun().value(QStringLiteral("records")).toInt(), records.size());

        // Standard output: a line a record, in line protocol.
        const QList<QByteArray> lines = r.out.split('\n').mid(0, r.out.count('\n'));
        QCOMPARE(lines.size(), records.size());
        const QRegularExpression layout(QStringLiteral(
            "^ombrel,model=M512X,serial=0012345678 vbus=([^,]+),ibus=([^,]+),power=([^,]+),cap=([^,]+),"
            "ele=([^,]+),pd=([^,]+),pm=([^,]+),cc1=([^,]+),cc2=([^,]+),cpu_temp=([^, ]+) (\\d+)$"));
        for (int i = 0; i < lines.size(); ++i) {
            const auto m = layout.match(QString::fromUtf8(lines[i]));
            QVERIFY2(m.hasMatch(), lines[i].constData());
            for (int f = 0; f < 10; ++f)
                QVERIFY2(m.captured(f + 1).toDouble() == records[i].value(QLatin1String(kFields[f])).toDouble(),
                         lines[i].constData());
            QCOMPARE(m.captured(11), QString::number(msOf(records[i])) + QStringLiteral("000000"));
        }

        // The server's points, queried back.
        const Http answer = get(httpPort, "/query?u=ombrel&p=pw%20s3cret&db=bench&epoch=ms&q=SELECT%20*%20FROM%20ombrel");
        QCOMPARE(answer.code, 200);
        const QJsonObject series = QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("results"))
                                       .toArray().at(0).toObject().value(QStringLiteral("series")).toArray()
                                       .at(0).toObject();
        const QJsonArray columns = series.value(QStringLiteral("columns")).toArray();
        const QJsonArray points = series.value(QStringLiteral("values")).toArray();
        QVERIFY2(points.size() == records.size(), answer.body.constData());
        auto column = [&](const char *name) {
            for (int c = 0; c < columns.size(); ++c) {
                if (columns[c].toString() == QLatin1String(name))
                    return c;
            }
            return -1;
        };
        for (int i = 0; i < points.size(); ++i) {
            const QJsonArray point = points[i].toArray();
            QCOMPARE(qint64(point.at(column("time")).toDouble()), msOf(records[i]));
            QCOMPARE(point.at(column("model")).toString(), QStringLiteral("M512X"));
            QCOMPARE(point.at(column("serial")).toString(), QStringLiteral("0012345678"));
            for (const char *f : kFields)
                QVERIFY2(column(f) >= 0 && point.at(column(f)).toDouble() == records[i].value(QLatin1String(f)).toDouble(),
                         f);
        }

        QProcess wrong;
        startSim(wrong, QStringList{QStringLiteral("record")} + server
                            + QStringList{QStringLiteral("--until-duration"), QStringLiteral("4")},
                 QStringLiteral("not the password"));
        const Result refused = finish(wrong);
        QVERIFY2(refused.status == 0, refused.err.constData());
        QVERIFY2(refused.err.count("wrong user, password or token (HTTP 401)") == 1, refused.err.constData());
        QVERIFY2(QRegularExpression(QStringLiteral("0 points sent, [3-5] could not be sent"))
                     .match(QString::fromUtf8(refused.err))
                     .hasMatch(),
                 refused.err.constData());
    }

    // A serial with every character the line protocol treats specially
    // reaches the server, each as it is where the protocol can carry it and
    // as documented where not; a server that refuses every point (a field
    // of another type) has each batch refused at once, counted and said once;
    // one that takes the connection and never answers is said so, in the
    // program's own words.
    void influxTakesAnySerialAndCountsRefusals()
    {
        InfluxServer influx(path(QStringLiteral("influx-any")));
        QVERIFY2(influx.start(false), influx.log().constData());
        QCOMPARE(influx.query("CREATE DATABASE bench").code, 200);
        QCOMPARE(influx.query("CREATE DATABASE typed").code, 200);
        const QString serial = QStringLiteral("a b,c=d\"e\\f\\,g\\ h\\=i\\");
        const QStringList server = {QStringLiteral("--influx-url"),
                                    QStringLiteral("http://127.0.0.1:%1").arg(influx.port()),
                                    QStringLiteral("--influx-db")};
        const Result r = runSim(QStringList{QStringLiteral("--sim-serial"), serial, QStringLiteral("record")} + server
                                + QStringList{QStringLiteral("bench"), QStringLiteral("--influx"), QStringLiteral("-"),
                                              QStringLiteral("--until-duration"), QStringLiteral("3")});
        QVERIFY2(r.status == 0 && !r.err.contains("InfluxDB"), r.err.constData());
        const QList<QByteArray> lines = r.out.split('\n').mid(0, r.out.count('\n'));
        QVERIFY(lines.size() >= 2);
        for (const QByteArray &line : lines)
            QVERIFY2(line.startsWith("ombrel,model=M512X,serial=a\\ b\\,c\\=d\"e\\f/\\,g/\\ h/\\=i/ vbus="),
                     line.constData());
        const Http answer = get(influx.port(), "/query?db=bench&q=SELECT%20serial,vbus%20FROM%20ombrel");
        const QJsonArray points = QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("results"))
                                      .toArray().at(0).toObject().value(QStringLiteral("series")).toArray()
                                      .at(0).toObject().value(QStringLiteral("values")).toArray();
        QVERIFY2(points.size() == lines.size(), answer.body.constData());
        for (const QJsonValue &point : points)
            QCOMPARE(point.toArray().at(1).toString(), QStringLiteral("a b,c=d\"e\\f/,g/ h/=i/"));

        // A point of now (field types are kept per week) whose vbus is text.
        const QByteArray typed = "ombrel vbus=\"volt\" " + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "000000";
        QCOMPARE(http(influx.port(), "POST /write?db=typed HTTP/1.0\r\nContent-Length: "
                                         + QByteArray::number(typed.size()) + "\r\n\r\n" + typed)
                     .code,
                 204);
        const Result refused = runSim(QStringList{QStringLiteral("record")} + server
                                      + QStringList{QStringLiteral("typed"), QStringLiteral("--jsonl"), path(QStringLiteral("typed.jsonl")),
                                                    QStringLiteral("--until-duration"), QStringLiteral("4")});
        QVERIFY2(refused.status == 0, refused.err.constData());
        const int records = jsonRecords(readFile(path(QStringLiteral("typed.jsonl")))).size();
        QVERIFY(records >= 3);
        QVERIFY2(refused.err.count("InfluxDB") == 1 && !refused.err.contains("QIODevice")
                     && refused.err.contains(QStringLiteral(": %1 points refused by the server, which cannot store them (HTTP 400: ")
                                                 .arg(records).toUtf8())
                     && refused.err.contains("field type conflict"),
                 refused.err.constData());
        // The kernel takes the connection; nobody ever reads or answers it.
        QTcpServer hung;
        QVERIFY(hung.listen(QHostAddress::LocalHost));
        const Result silent = runSim({QStringLiteral("record"), QStringLiteral("--influx-url"),
                                      QStringLiteral("http://127.0.0.1:%1").arg(hung.serverPort()),
                                      QStringLiteral("--influx-db"), QStringLiteral("bench"),
                                      QStringLiteral("--until-duration"), QStringLiteral("13")});
        QVERIFY2(silent.status == 0 && silent.err.count("the server does not answer (nothing in 10 s)") == 1
                     && !silent.err.contains("QIODevice") && !silent.err.contains("canceled"),
                 silent.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
