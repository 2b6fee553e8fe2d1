// The live outputs of `ombrel record`: a Prometheus endpoint and InfluxDB
// line protocol.
#include "cli/recordoutputs.h"

#include "cli/command.h"
#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/outputsettings.h"
#include "recording/liverun.h"

namespace Cli {

namespace {
const char kCommand[] = "record";
} // namespace

RecordOutputs::RecordOutputs() = default;
RecordOutputs::~RecordOutputs() = default;

std::optional<int> RecordOutputs::open(const LiveOutputsSettings &settings)
{
    if (!settings.metricsListen.isEmpty())
        m_metricsSink = std::make_unique<MetricsSink>(settings.metrics());
    if (!settings.influxFile.isEmpty())
        m_influxFile = std::make_unique<InfluxFileRunSink>(settings.influxFile, RegularFile::Accept::Streams);
    if (!settings.influxUrl.isEmpty())
        m_influxHttp = std::make_unique<InfluxHttpSink>(settings.influx());
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
