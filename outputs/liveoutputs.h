#pragma once

#include "outputs/outputsettings.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class InfluxHttpSink;
class LiveRun;
class MetricsSink;
class MqttSink;
class RunSink;

// The window's live outputs on its run: the same sinks as `ombrel record`'s
// (MQTT with Home Assistant discovery, the metrics endpoint, InfluxDB),
// attached to the run as they are set, kept from run to run, detached when
// turned off. A sink joining a run under way hears of it at once. Nothing
// here waits on the network: the sinks do their network work on threads of
// their own, and a connection given up is closed in the background. Each
// output has a status line, brought up to date from the sinks' signals (and
// once a second for InfluxDB, which has none), and what goes wrong is put on
// the tip line once while it lasts.
class LiveOutputs : public QObject
{
    Q_OBJECT
public:
    enum Output { Mqtt, Metrics, Influx, OutputCount };

    explicit LiveOutputs(LiveRun &run, QObject *parent = nullptr);
    ~LiveOutputs() override;

    // Checks and attaches: an output whose settings changed starts anew, one
    // turned off is detached. False with the reason, nothing changed.
    bool apply(const LiveOutputsSettings &settings, QString *error);
    const LiveOutputsSettings &settings() const { return m_settings; }

    // "已连接 MQTT 代理 mqtt://…", "正在监听 http://…/metrics", "未启用", …
    QString words(Output output) const { return m_words[output]; }
    // What is wrong now, for the tip line; empty when nothing is.
    QString tip() const { return m_tip; }

    MqttSink *mqttSink() const { return m_mqtt; }
    MetricsSink *metricsSink() const { return m_metrics; }

    // The words of the outputs' states again, in the language now chosen.
    void retranslate() { update(); }

signals:
    void statusChanged();
    void tipChanged();

private:
    void update();
    void join(RunSink *sink);
    void retire(Output output);

    QPointer<LiveRun> m_run;
    LiveOutputsSettings m_settings;
    MqttSink *m_mqtt = nullptr;
    MetricsSink *m_metrics = nullptr;
    InfluxHttpSink *m_influx = nullptr;
    QString m_metricsError;
    QString m_words[OutputCount];
    QString m_tip;
    QTimer m_poll;
};
