// The live outputs of a run recorded without a window.
#include "outputs/recordoutputs.h"

#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/mqttsink.h"
#include "outputs/outputsettings.h"
#include "recording/liverun.h"

#include <QCoreApplication>

RecordOutputs::RecordOutputs(std::function<void(const QString &)> say) : m_say(std::move(say)) {}
RecordOutputs::~RecordOutputs()
{
    for (const QMetaObject::Connection &c : m_connections)
        QObject::disconnect(c);
}

bool RecordOutputs::open(const LiveOutputsSettings &settings, QString *words)
{
    if (!settings.metricsListen.isEmpty())
        m_metricsSink = std::make_unique<MetricsSink>(settings.metrics());
    if (!settings.influxFile.isEmpty())
        m_influxFile = std::make_unique<InfluxFileRunSink>(settings.influxFile, RegularFile::Accept::Streams);
    if (!settings.influxUrl.isEmpty())
        m_influxHttp = std::make_unique<InfluxHttpSink>(settings.influx());
    if (!settings.mqttUrl.isEmpty())
        m_mqttSink = std::make_unique<MqttSink>(settings.mqtt());
    QString reason;
    if (m_metricsSink && !m_metricsSink->start(&reason)) {
        *words = QStringLiteral("the metrics endpoint %1").arg(reason);
        return false;
    }
    if (m_influxFile && !m_influxFile->open(&reason)) {
        const QString name = m_influxFile->fileName();
        *words = QStringLiteral("cannot write %1: %2")
                     .arg(name == QLatin1String("-") ? QCoreApplication::translate("Cli", "标准输出") : name, reason);
        return false;
    }
    return true;
}

void RecordOutputs::attach(LiveRun &run, const RunMeter &meter, std::vector<FileRunSink *> &files)
{
    if (m_influxFile)
        files.push_back(run.attach(std::move(m_influxFile)));
    if (m_metricsSink)
        m_say(QStringLiteral("metrics at %1").arg(run.attach(std::move(m_metricsSink))->url()));
    if (m_influxHttp)
        m_httpAttached = run.attach(std::move(m_influxHttp));
    m_connections.push_back(QObject::connect(&run, &LiveRun::sinkStatusChanged, &run, [this, &run](int i) { statusChanged(run.sink(i)); }));
    if (m_mqttSink) {
        // Its connection is said once at each change.
        m_mqtt = run.attach(std::move(m_mqttSink));
        m_connections.push_back(QObject::connect(m_mqtt, &MqttSink::statusChanged, m_mqtt, [this](const MqttStatus &status) {
            if (status.kind != MqttStatus::Connecting)
                m_say(status.words(m_mqtt->settings().url()));
        }));
        m_mqtt->start(meter);
    }
}

void RecordOutputs::statusChanged(const RunSink &sink)
{
    if (&sink != m_httpAttached)
        return;
    // Each fault said once; back to work said after one.
    const QString where = m_httpAttached->settings().url.toString();
    const RunSink::Status status = sink.status();
    if (status.state == RunSink::State::Fault) {
        if (!m_faultsSaid.contains(status.message)) {
            m_faultsSaid << status.message;
            m_say(QStringLiteral("InfluxDB %1: %2; the points wait and are tried again (the oldest are dropped "
                                 "beyond %3)")
                      .arg(where, status.message)
                      .arg(m_httpAttached->settings().maxQueuedPoints));
        }
        m_httpFault = status.message;
    } else if (!m_httpFault.isEmpty()) {
        m_httpFault.clear();
        m_say(QStringLiteral("InfluxDB %1: writing again").arg(where));
    }
}

void RecordOutputs::finish()
{
    if (m_httpAttached) {
        m_httpAttached->drain(5000);
        const InfluxHttpSink::Counters c = m_httpAttached->counters();
        const QString where = m_httpAttached->settings().url.toString();
        if (c.refused > 0)
            m_say(QStringLiteral("InfluxDB %1: %2 points refused by the server, which cannot store them (HTTP 400: %3)")
                      .arg(where)
                      .arg(c.refused)
                      .arg(c.refusal));
        if (c.dropped > 0)
            m_say(QStringLiteral("InfluxDB %1: %2 points sent, %3 could not be sent").arg(where).arg(c.sent).arg(c.dropped));
    }
    // The end of the run and "offline" reach the broker when it is there;
    // the records it missed are said.
    if (m_mqtt) {
        m_mqtt->close(3000);
        if (m_mqtt->dropped() > 0)
            m_say(QStringLiteral("%1 of %2 records were not sent to the MQTT broker %3 (no connection, or it did "
                                 "not keep up): only MQTT missed them")
                      .arg(m_mqtt->dropped())
                      .arg(m_mqtt->dropped() + m_mqtt->sent())
                      .arg(m_mqtt->settings().url()));
    }
}
