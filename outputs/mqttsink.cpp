#include "outputs/mqttsink.h"

#include <QDateTime>
#include "outputs/homeassistant.h"
#include "recording/jsonlines.h"
#include "recording/stopconditions.h"

#include <thread>

#include <unistd.h>

namespace {
QByteArray runEvent(const char *event, const LiveRun &run, qint64 wallMs)
{
    QByteArray out = "{\"event\":\"";
    out += event;
    out += "\",\"time\":\"";
    out += JsonLines::isoTime(wallMs);
    out += "\",\"model\":";
    JsonLines::appendString(out, run.meter().model);
    out += ",\"version\":";
    JsonLines::appendString(out, run.meter().version);
    out += ",\"serial\":";
    JsonLines::appendString(out, run.meter().serial);
    out += ",\"start\":\"";
    out += JsonLines::isoTime(run.startWallMs());
    out += "\",\"records\":";
    out += QByteArray::number(run.records());
    return out;
}
} // namespace

namespace {
constexpr int kHandOverMs = 100;
}

MqttSink::MqttSink(const MqttSettings &settings, QObject *parent) : QObject(parent), m_settings(settings)
{
    m_handOverTimer.setSingleShot(true);
    connect(&m_handOverTimer, &QTimer::timeout, this, &MqttSink::handOver);
}

void MqttSink::handOver()
{
    m_handOverTimer.stop();
    m_sinceHandOver.start();
    if (m_client) {
        for (const MqttMessage &m : m_waiting)
            m_client->publish(m);
    }
    m_waiting.clear();
}

MqttSink::~MqttSink() = default;

MqttMessage MqttSink::message(const char *level, const QByteArray &payload, int qos, bool retain) const
{
    return {(m_prefix + QLatin1Char('/') + QLatin1String(level)).toUtf8(), payload, qos, retain};
}

void MqttSink::start(const RunMeter &meter)
{
    const QString prefix = m_settings.prefixFor(meter.serial);
    if (m_client && prefix == m_prefix && meter.model == m_meter.model && meter.version == m_meter.version
        && meter.serial == m_meter.serial)
        return;
    // Another meter: the last one's connection says "offline" and goes
    // without holding the caller.
    closeInBackground(1000);
    m_meter = meter;
    m_prefix = prefix;
    const QString clientId = HomeAssistantDiscovery::deviceId(meter.serial) + QLatin1Char('-')
                             + QString::number(::getpid());
    m_client.reset(new MqttClient(m_settings, clientId));
    connect(m_client.get(), &MqttClient::statusChanged, this, &MqttSink::statusChanged);
    m_client->setRetained(retained(true));
    m_client->start(message("availability", "offline", 1, true));
}

QVector<MqttMessage> MqttSink::retained(bool online) const
{
    QVector<MqttMessage> messages;
    if (m_settings.discovery)
        messages = HomeAssistantDiscovery::configs(m_meter, m_prefix, m_settings.discoveryPrefix) + m_benchConfigs;
    messages.push_back(message("availability", online ? "online" : "offline", 1, true));
    return messages;
}

void MqttSink::availability(bool online)
{
    if (m_client)
        m_client->setRetained(retained(online));
}

void MqttSink::carryBench(const QString &key, const QString &name)
{
    m_benchTopic = (m_settings.benchPrefixFor(key) + QStringLiteral("/state")).toUtf8();
    m_benchConfigs = HomeAssistantDiscovery::benchConfigs(key, name, m_settings.benchPrefixFor(key),
                                                          m_prefix + QStringLiteral("/availability"),
                                                          m_settings.discoveryPrefix);
    m_benchName = name;
    if (m_client)
        m_client->setRetained(retained(true));
}

void MqttSink::benchValues(const std::vector<Bench::Derived> &values)
{
    if (!m_client || m_benchTopic.isEmpty())
        return;
    for (const Bench::Derived &d : values)
        m_waiting.push_back({m_benchTopic, Bench::json(m_benchName, d), 0, false});
    handOver();
}

void MqttSink::begun(const LiveRun &run)
{
    start(run.meter());
    availability(true);
    m_taken = run.records();
    m_client->publishEvent(message("run", runEvent("begin", run, run.startWallMs()) + '}', 1, false));
}

void MqttSink::recorded(const LiveRun &run)
{
    if (!m_client)
        return;
    const ReadingLog &log = run.log();
    QByteArray payload;
    for (qint64 i = std::max(m_taken, run.logStart()); i < run.records(); ++i) {
        payload.resize(0);
        JsonLines::appendRecord(payload, log, int(i - run.logStart()));
        payload.chop(1);   // the line's end
        m_waiting.push_back(message("state", payload, 0, false));
    }
    m_taken = run.records();
    if (!m_sinceHandOver.isValid() || m_sinceHandOver.elapsed() >= kHandOverMs)
        handOver();
    else if (!m_handOverTimer.isActive())
        m_handOverTimer.start(int(kHandOverMs - m_sinceHandOver.elapsed()));
}

void MqttSink::paused(const LiveRun &run)
{
    if (!m_client)
        return;
    handOver();
    m_client->publishEvent(message("run", runEvent("unplugged", run, QDateTime::currentMSecsSinceEpoch()) + '}', 1, false));
    availability(false);
}

void MqttSink::resumed(const LiveRun &run)
{
    if (!m_client)
        return;
    availability(true);
    m_client->publishEvent(message("run", runEvent("replugged", run, QDateTime::currentMSecsSinceEpoch()) + '}', 1, false));
}

void MqttSink::ended(const LiveRun &run)
{
    if (!m_client)
        return;
    handOver();
    const IntervalStats total = run.stats().total();
    QByteArray out = runEvent("end", run, run.endWallMs());
    out += ",\"reason\":";
    JsonLines::appendString(out, run.endReason());
    out += ",\"reason_words\":";
    JsonLines::appendString(out, StopConditions::reasonWords(run.endReason()));
    out += ",\"duration_s\":";
    JsonLines::appendNumber(out, run.elapsedMs() / 1000.0);
    out += ",\"charge_ah\":";
    JsonLines::appendNumber(out, total.charge_ah);
    out += ",\"energy_wh\":";
    JsonLines::appendNumber(out, total.energy_wh);
    out += ",\"dropped\":";
    out += QByteArray::number(m_client->dropped());
    out += '}';
    m_client->publishEvent(message("run", out, 1, false));
}

bool MqttSink::close(int timeoutMs)
{
    if (!m_client)
        return true;
    handOver();
    const bool delivered = m_client->finish({message("availability", "offline", 1, true)}, timeoutMs);
    return delivered;
}

void MqttSink::closeInBackground(int timeoutMs)
{
    if (!m_client)
        return;
    handOver();
    disconnect(m_client.get(), nullptr, this, nullptr);
    MqttClient *client = m_client.release();
    const QVector<MqttMessage> last{message("availability", "offline", 1, true)};
    // The client goes in its own thread after the events posted to it.
    std::thread([client, last, timeoutMs] {
        client->finish(last, timeoutMs);
        client->deleteLater();
    }).detach();
}

MqttStatus MqttSink::mqttStatus() const
{
    return m_client ? m_client->status() : MqttStatus();
}

qint64 MqttSink::sent() const
{
    return m_client ? m_client->offered() - m_client->dropped() : 0;
}

qint64 MqttSink::dropped() const
{
    return m_client ? m_client->dropped() : 0;
}
