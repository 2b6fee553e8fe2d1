// The live outputs of a run recorded without a window.
#include "outputs/recordoutputs.h"

#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/mqttsink.h"
#include "outputs/outputsettings.h"
#include "outputs/outputvalues.h"
#include "meterbench/benchrecording.h"
#include "recording/liverun.h"

#include <algorithm>

#include <QCoreApplication>

RecordOutputs::RecordOutputs(std::function<void(const QString &)> say) : m_say(std::move(say)) {}
RecordOutputs::~RecordOutputs()
{
    for (const QMetaObject::Connection &c : m_connections)
        QObject::disconnect(c);
}

bool RecordOutputs::open(const LiveOutputsSettings &settings, QString *words)
{
    m_settings = settings;
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
    if (m_metricsSink) {
        m_metrics = run.attach(std::move(m_metricsSink));
        m_say(QStringLiteral("metrics at %1").arg(m_metrics->url()));
    }
    if (m_influxHttp)
        m_https.push_back(run.attach(std::move(m_influxHttp)));
    watch(run);
    if (m_mqttSink)
        attachMqtt(run, std::move(m_mqttSink), meter);
}

void RecordOutputs::watch(LiveRun &run)
{
    m_connections.push_back(QObject::connect(&run, &LiveRun::sinkStatusChanged, &run, [this, &run](int i) { statusChanged(run.sink(i)); }));
}

MqttSink *RecordOutputs::attachMqtt(LiveRun &run, std::unique_ptr<MqttSink> sink, const RunMeter &meter)
{
    // Its connection is said once at each change.
    MqttSink *mqtt = run.attach(std::move(sink));
    m_mqtts.push_back(mqtt);
    m_connections.push_back(QObject::connect(mqtt, &MqttSink::statusChanged, mqtt, [this, mqtt](const MqttStatus &status) {
        if (status.kind != MqttStatus::Connecting)
            m_say(status.words(mqtt->settings().url()));
    }));
    mqtt->start(meter);
    return mqtt;
}

void RecordOutputs::attachBench(BenchRecording &bench)
{
    const QString name = bench.name();
    int carrier = 0;
    QStringList serials;
    for (int i = 0; i < bench.size(); ++i) {
        RecordedRun &member = bench.run(i);
        LiveRun &run = member.run();
        const QString role = bench.member(i).role;
        const RunMeter meter{member.product().modelWord, member.product().versionWord, member.recorder().serialNumber()};
        serials << meter.serial;
        if (role == QLatin1String("in"))
            carrier = i;
        if (m_metricsSink) {
            m_metricsSink->setRole(role);
            m_metrics = run.attach(std::move(m_metricsSink));
            m_say(QStringLiteral("metrics at %1").arg(m_metrics->url()));
        } else if (m_metrics) {
            run.attach(m_metrics->memberSink(role));
        }
        if (!m_settings.influxUrl.isEmpty()) {
            std::unique_ptr<InfluxHttpSink> sink =
                m_influxHttp ? std::move(m_influxHttp) : std::make_unique<InfluxHttpSink>(m_settings.influx());
            sink->setRole(role);
            m_https.push_back(run.attach(std::move(sink)));
        }
        watch(run);
        if (!m_settings.mqttUrl.isEmpty())
            attachMqtt(run, std::make_unique<MqttSink>(m_settings.mqtt().forRole(role)), meter);
    }
    m_mqttSink.reset();
    MqttSink *mqtt = m_mqtts.empty() ? nullptr : m_mqtts[size_t(carrier)];
    if (mqtt)
        mqtt->carryBench(name.isEmpty() ? serials.join(QLatin1Char('_')) : name, name);
    if (!bench.pairsInOut())
        return;
    m_connections.push_back(QObject::connect(&bench, &BenchRecording::derived, &bench,
                                             [this, &bench, mqtt, name](const std::vector<Bench::Derived> &values) {
        const Bench::Figures f = bench.figures();
        if (m_metrics)
            m_metrics->benchDerived(name, values.back(), f.energyInWh, f.energyOutWh);
        if (mqtt)
            mqtt->benchValues(values);
        if (!m_https.empty()) {
            QList<QByteArray> lines;
            for (const Bench::Derived &d : values) {
                QByteArray line;
                OutputValues::appendBenchLine(line, name, d);
                if (!line.isEmpty())
                    lines << line;
            }
            m_https.front()->post(std::move(lines));
        }
    }));
}

void RecordOutputs::statusChanged(const RunSink &sink)
{
    const auto http = std::find(m_https.begin(), m_https.end(), &sink);
    if (http == m_https.end())
        return;
    // Each fault said once; back to work said after one.
    const QString where = (*http)->settings().url.toString();
    const RunSink::Status status = sink.status();
    if (status.state == RunSink::State::Fault) {
        if (!m_faultsSaid.contains(status.message)) {
            m_faultsSaid << status.message;
            m_say(QStringLiteral("InfluxDB %1: %2; the points wait and are tried again (the oldest are dropped "
                                 "beyond %3)")
                      .arg(where, status.message)
                      .arg((*http)->settings().maxQueuedPoints));
        }
        m_httpFault = status.message;
    } else if (!m_httpFault.isEmpty()) {
        m_httpFault.clear();
        m_say(QStringLiteral("InfluxDB %1: writing again").arg(where));
    }
}

void RecordOutputs::finish()
{
    for (InfluxHttpSink *http : m_https) {
        http->drain(5000);
        const InfluxHttpSink::Counters c = http->counters();
        const QString where = http->settings().url.toString();
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
    for (MqttSink *mqtt : m_mqtts) {
        mqtt->close(3000);
        if (mqtt->dropped() > 0)
            m_say(QStringLiteral("%1 of %2 records were not sent to the MQTT broker %3 (no connection, or it did "
                                 "not keep up): only MQTT missed them")
                      .arg(mqtt->dropped())
                      .arg(mqtt->dropped() + mqtt->sent())
                      .arg(mqtt->settings().url()));
    }
}
