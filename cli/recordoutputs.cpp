// The live outputs of `ombrel record`: a Prometheus endpoint and InfluxDB
// line protocol.
#include "cli/recordoutputs.h"

#include "base/regularfile.h"
#include "cli/command.h"
#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "recording/liverun.h"

#include <QDir>
#include <QUrl>

namespace Cli {

namespace {

const char kCommand[] = "record";

// A secret from a file (its first line) or, without the option, from the
// environment; never from the command line, where any user sees it.
bool readSecret(const QCommandLineParser &parser, const QCommandLineOption &option, const char *variable,
                QString *secret)
{
    if (!parser.isSet(option)) {
        *secret = qEnvironmentVariable(variable);
        return true;
    }
    const QString name = parser.value(option);
    QString reason;
    if (!RegularFile::readSecret(name, secret, &reason)) {
        error(QLatin1String(kCommand), QStringLiteral("cannot read --%1 %2: %3")
                                           .arg(option.names().first(), QDir::toNativeSeparators(name), reason));
        return false;
    }
    return true;
}

} // namespace

RecordOutputs::RecordOutputs()
    : m_metrics(QStringLiteral("metrics-listen"),
                QStringLiteral("Serve the run's readings as Prometheus metrics at http://ADDR:PORT/metrics "
                               "(ADDR 127.0.0.1 unless given; 0.0.0.0 for every interface)."),
                QStringLiteral("[addr:]port")),
      m_influx(QStringLiteral("influx"),
               QStringLiteral("Write one InfluxDB line-protocol line a record to this file (appended to), or to "
                              "standard output for - (Telegraf's execd or tail input)."),
               QStringLiteral("file|-")),
      m_influxUrl(QStringLiteral("influx-url"),
                  QStringLiteral("Post the records in batches to this InfluxDB server's /write endpoint (the 1.x "
                                 "API, which 2.x serves too), e.g. http://127.0.0.1:8086."),
                  QStringLiteral("url")),
      m_influxDb(QStringLiteral("influx-db"), QStringLiteral("The database (2.x: the bucket) of --influx-url."),
                 QStringLiteral("db")),
      m_influxUser(QStringLiteral("influx-user"), QStringLiteral("The user of --influx-url."),
                   QStringLiteral("user")),
      m_influxPasswordFile(QStringLiteral("influx-password-file"),
                           QStringLiteral("Read the password of --influx-user from this file (else from "
                                          "OMBREL_INFLUX_PASSWORD)."),
                           QStringLiteral("file")),
      m_influxTokenFile(QStringLiteral("influx-token-file"),
                        QStringLiteral("Read an API token for --influx-url from this file (else from "
                                       "OMBREL_INFLUX_TOKEN)."),
                        QStringLiteral("file"))
{
}

RecordOutputs::~RecordOutputs() = default;

QList<QCommandLineOption> RecordOutputs::options() const
{
    return {m_metrics, m_influx, m_influxUrl, m_influxDb, m_influxUser, m_influxPasswordFile, m_influxTokenFile};
}

std::optional<int> RecordOutputs::read(const QCommandLineParser &parser)
{
    auto usage = [](const QString &text) {
        error(QLatin1String(kCommand), text);
        return std::optional<int>(Usage);
    };
    if (parser.isSet(m_metrics)) {
        MetricsSettings settings;
        QString reason;
        if (!MetricsSettings::parse(parser.value(m_metrics), &settings, &reason))
            return usage(QStringLiteral("bad value '%1' for --metrics-listen: %2").arg(parser.value(m_metrics), reason));
        m_metricsSink = std::make_unique<MetricsSink>(settings);
    }
    if (parser.isSet(m_influx)) {
        const QString name = parser.value(m_influx);
        if (name.isEmpty())
            return usage(QStringLiteral("the file name of --influx is empty"));
        if (name == QLatin1String("-")
            && (parser.value(QStringLiteral("csv")) == QLatin1String("-")
                || parser.value(QStringLiteral("jsonl")) == QLatin1String("-")))
            return usage(QStringLiteral("only one of --csv, --jsonl and --influx can write to standard output (-)"));
        m_influxFile = std::make_unique<InfluxFileRunSink>(name, RegularFile::Accept::Streams);
    }
    for (const QCommandLineOption *o : {&m_influxDb, &m_influxUser, &m_influxPasswordFile, &m_influxTokenFile}) {
        if (parser.isSet(*o) && !parser.isSet(m_influxUrl))
            return usage(QStringLiteral("--%1 goes with --influx-url").arg(o->names().first()));
    }
    if (parser.isSet(m_influxUrl)) {
        InfluxSettings settings;
        QString reason;
        if (!InfluxSettings::parseUrl(parser.value(m_influxUrl), &settings.url, &reason))
            return usage(QStringLiteral("bad value for --influx-url: %1").arg(reason));
        settings.database = parser.value(m_influxDb);
        if (settings.database.isEmpty())
            return usage(QStringLiteral("--influx-url needs --influx-db, the database to write to"));
        settings.user = parser.isSet(m_influxUser) ? parser.value(m_influxUser) : settings.url.userName();
        if (!readSecret(parser, m_influxPasswordFile, "OMBREL_INFLUX_PASSWORD", &settings.password)
            || !readSecret(parser, m_influxTokenFile, "OMBREL_INFLUX_TOKEN", &settings.token))
            return Usage;
        if (parser.isSet(m_influxPasswordFile) && settings.user.isEmpty())
            return usage(QStringLiteral("--influx-password-file goes with --influx-user"));
        m_influxHttp = std::make_unique<InfluxHttpSink>(settings);
    }
    return std::nullopt;
}

std::optional<int> RecordOutputs::open()
{
    if (m_metricsSink) {
        QString reason;
        if (!m_metricsSink->start(&reason)) {
            error(QLatin1String(kCommand), QStringLiteral("the metrics endpoint %1").arg(reason));
            return CannotWrite;
        }
    }
    if (m_influxFile) {
        QString reason;
        if (!m_influxFile->open(&reason)) {
            error(QLatin1String(kCommand),
                  QStringLiteral("cannot write %1: %2").arg(outputName(m_influxFile->fileName()), reason));
            return CannotWrite;
        }
    }
    return std::nullopt;
}

void RecordOutputs::attach(LiveRun &run, std::vector<FileRunSink *> &files)
{
    if (m_influxFile)
        files.push_back(run.attach(std::move(m_influxFile)));
    if (m_metricsSink) {
        m_metricsAttached = run.attach(std::move(m_metricsSink));
        error(QLatin1String(kCommand), QStringLiteral("metrics at %1").arg(m_metricsAttached->url()));
    }
    if (m_influxHttp)
        m_httpAttached = run.attach(std::move(m_influxHttp));
}

bool RecordOutputs::statusChanged(const RunSink &sink)
{
    if (&sink == m_metricsAttached)
        return true;
    if (&sink != m_httpAttached)
        return false;
    // Each fault said once; back to work said after one.
    const QString where = m_httpAttached->settings().url.toString();
    const RunSink::Status status = sink.status();
    if (status.state == RunSink::State::Fault) {
        if (!m_faultsSaid.contains(status.message)) {
            m_faultsSaid << status.message;
            error(QLatin1String(kCommand),
                  QStringLiteral("InfluxDB %1: %2; the points wait and are tried again (the oldest are dropped "
                                 "beyond %3)")
                      .arg(where, status.message)
                      .arg(m_httpAttached->settings().maxQueuedPoints));
        }
        m_httpFault = status.message;
    } else if (!m_httpFault.isEmpty()) {
        m_httpFault.clear();
        error(QLatin1String(kCommand), QStringLiteral("InfluxDB %1: writing again").arg(where));
    }
    return true;
}

void RecordOutputs::finish()
{
    if (!m_httpAttached)
        return;
    m_httpAttached->drain(5000);
    const InfluxHttpSink::Counters c = m_httpAttached->counters();
    if (c.refused > 0)
        error(QLatin1String(kCommand), QStringLiteral("InfluxDB %1: %2 points refused by the server, which cannot "
                                                      "store them (HTTP 400: %3)")
                                           .arg(m_httpAttached->settings().url.toString())
                                           .arg(c.refused)
                                           .arg(c.refusal));
    if (c.dropped > 0)
        error(QLatin1String(kCommand), QStringLiteral("InfluxDB %1: %2 points sent, %3 could not be sent")
                                           .arg(m_httpAttached->settings().url.toString())
                                           .arg(c.sent)
                                           .arg(c.dropped));
}

} // namespace Cli
