#pragma once

#include "meterbench/benchpairing.h"
#include "outputs/mqttclient.h"
#include "outputs/mqttsettings.h"
#include "recording/liverun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <memory>

// A run sent to an MQTT broker as it goes, for the command line and the
// window alike. Under <prefix> (MqttSettings::prefixFor):
//  - state: each record, the JSON object of the JSON lines record (the same
//    keys and values), not retained;
//  - availability: "online" while the recorder runs with the meter plugged
//    in, "offline" when it is pulled out or the recorder ends, and as the
//    last will (a recorder killed, a network gone); retained;
//  - run: {"event": "begin"|"unplugged"|"replugged"|"end", ...}, the end
//    with its reason (the journal's code and in words) and summary;
// and with discovery on, Home Assistant's configs of the meter's sensors.
// Never in the run's way: the network is the client's own thread, and a
// record that cannot be sent in time is dropped for MQTT only (counted). It
// never holds back the run's log. Records that come faster than ten a second
// (--all-reports) are handed to the connection ten times a second, a batch at
// a time, so its thread does not wake for each.
class MqttSink : public QObject, public RunSink
{
    Q_OBJECT
public:
    explicit MqttSink(const MqttSettings &settings, QObject *parent = nullptr);
    ~MqttSink() override;

    // Connects for this meter (its topics, its last will): before the run
    // begins, so the first records find a connection. begun() does it for a
    // meter not started yet.
    void start(const RunMeter &meter);

    void begun(const LiveRun &run) override;
    void recorded(const LiveRun &run) override;
    void paused(const LiveRun &run) override;
    void resumed(const LiveRun &run) override;
    void ended(const LiveRun &run) override;
    qint64 taken() const override { return m_taken; }

    // Says "offline", waits up to `timeoutMs` for what was handed over, and
    // disconnects. False when the broker did not get it all.
    bool close(int timeoutMs = 3000);
    // The same on a thread of its own: the caller (the window) never waits
    // for the broker. The sink sends nothing more.
    void closeInBackground(int timeoutMs = 3000);

    // This meter's connection carries a bench's too: its sensors' configs
    // (HomeAssistantDiscovery::benchConfigs, available with this meter) and
    // its pairs, each as Bench::json, to <bench prefix>/state.
    void carryBench(const QString &key, const QString &name);
    void benchValues(const std::vector<Bench::Derived> &values);

    const MqttSettings &settings() const { return m_settings; }
    QString prefix() const { return m_prefix; }
    MqttStatus mqttStatus() const;
    // Records handed to the client, and those dropped for MQTT.
    qint64 sent() const;
    qint64 dropped() const;

signals:
    void statusChanged(const MqttStatus &status);

private:
    MqttMessage message(const char *level, const QByteArray &payload, int qos, bool retain) const;
    void availability(bool online);
    QVector<MqttMessage> retained(bool online) const;
    void handOver();

    MqttSettings m_settings;
    RunMeter m_meter;
    QString m_prefix;
    std::unique_ptr<MqttClient> m_client;
    qint64 m_taken = 0;
    QVector<MqttMessage> m_waiting;
    QElapsedTimer m_sinceHandOver;
    QTimer m_handOverTimer;
    QByteArray m_benchTopic;
    QString m_benchName;
    QVector<MqttMessage> m_benchConfigs;
};
