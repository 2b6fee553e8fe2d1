#include "outputs/liveoutputs.h"

#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/mqttsink.h"
#include "recording/liverun.h"

#include <memory>

LiveOutputs::LiveOutputs(LiveRun &run, QObject *parent) : QObject(parent), m_run(&run)
{
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (m_influx)
            m_influx->refresh();
        update();
    });
    connect(&run, &LiveRun::sinkStatusChanged, this, &LiveOutputs::update);
    auto meterConnected = [this](bool connected) {
        if (m_metrics)
            m_metrics->setMeterConnected(connected);
    };
    connect(&run, &LiveRun::begun, this, [meterConnected] { meterConnected(true); });
    connect(&run, &LiveRun::pausedChanged, this, [meterConnected](bool paused) { meterConnected(!paused); });
    update();
}

LiveOutputs::~LiveOutputs()
{
    for (int o = 0; o < OutputCount; ++o)
        retire(Output(o));
}

bool LiveOutputs::apply(const LiveOutputsSettings &s, QString *error)
{
    LiveOutputsSettings::Problem problem;
    if (!m_run)
        return false;
    if (!s.check(&problem)) {
        *error = problem.words;
        return false;
    }
    const LiveOutputsSettings old = m_settings;
    m_settings = s;
    if (s.differs(OutputKind::Mqtt, old) || !m_mqtt) {
        retire(Mqtt);
        if (!s.mqttUrl.isEmpty()) {
            auto sink = std::make_unique<MqttSink>(s.mqtt());
            connect(sink.get(), &MqttSink::statusChanged, this, &LiveOutputs::update);
            m_mqtt = m_run->attach(std::move(sink));
            join(m_mqtt);
        }
    }
    if (old.metricsListen != s.metricsListen || !m_metrics) {
        retire(Metrics);
        if (!s.metricsListen.isEmpty()) {
            auto sink = std::make_unique<MetricsSink>(s.metrics());
            if (sink->start(&m_metricsError)) {
                m_metricsError.clear();
                m_metrics = m_run->attach(std::move(sink));
                m_metrics->setMeterConnected(m_run->recording());
                join(m_metrics);
            }
        }
    }
    if (s.differs(OutputKind::InfluxHttp, old) || !m_influx) {
        retire(Influx);
        if (!s.influxUrl.isEmpty()) {
            m_influx = m_run->attach(std::make_unique<InfluxHttpSink>(s.influx()));
            join(m_influx);
            m_poll.start();
        }
    }
    update();
    return true;
}

void LiveOutputs::join(RunSink *sink)
{
    // A sink set during a run takes it from here on.
    if (!m_run->underWay())
        return;
    sink->begun(*m_run);
    if (m_run->paused())
        sink->paused(*m_run);
}

void LiveOutputs::retire(Output output)
{
    switch (output) {
    case Mqtt:
        if (m_mqtt) {
            MqttSink *sink = m_mqtt;
            m_mqtt = nullptr;
            // Without the run its sinks are gone with it.
            if (!m_run)
                break;
            const std::unique_ptr<RunSink> owned = m_run->detach(sink);
            sink->disconnect(this);
            // "offline" and the goodbye to the broker without waiting for it.
            sink->closeInBackground();
        }
        break;
    case Metrics:
        m_metricsError.clear();
        if (m_metrics) {
            if (m_run)
                m_run->detach(m_metrics);
            m_metrics = nullptr;
        }
        break;
    case Influx:
        m_poll.stop();
        if (m_influx) {
            if (m_run)
                m_run->detach(m_influx);
            m_influx = nullptr;
        }
        break;
    case OutputCount:
        break;
    }
}

void LiveOutputs::update()
{
    const QString off = tr("未启用");
    QString words[OutputCount];
    QStringList faults;
    if (m_mqtt) {
        const MqttStatus status = m_mqtt->mqttStatus();
        const QString url = m_mqtt->settings().url();
        words[Mqtt] = status.kind == MqttStatus::Off ? tr("MQTT 代理 %1：等待运行开始").arg(url) : status.words(url);
        if (status.kind != MqttStatus::Off && status.kind != MqttStatus::Connecting
            && status.kind != MqttStatus::Connected)
            faults << words[Mqtt];
    } else {
        words[Mqtt] = off;
    }
    if (m_metrics) {
        words[Metrics] = tr("正在监听 %1").arg(m_metrics->url());
    } else if (!m_metricsError.isEmpty()) {
        words[Metrics] = tr("无法监听 %1：%2").arg(m_settings.metricsListen, m_metricsError);
        faults << words[Metrics];
    } else {
        words[Metrics] = off;
    }
    if (m_influx) {
        const QString url = m_influx->settings().url.toString();
        const RunSink::Status status = m_influx->status();
        if (status.state == RunSink::State::Fault) {
            words[Influx] = tr("InfluxDB %1：%2").arg(url, status.message);
            faults << words[Influx];
        } else if (const InfluxHttpSink::Counters c = m_influx->counters(); c.refused > 0) {
            // Points it cannot store, said beside the work that goes on.
            words[Influx] = tr("正在写入 InfluxDB %1；服务器拒收了 %2 个数据点（%3）").arg(url).arg(c.refused).arg(c.refusal);
        } else if (c.sent > 0) {
            words[Influx] = tr("正在写入 InfluxDB %1").arg(url);
        } else {
            words[Influx] = tr("InfluxDB %1：等待记录").arg(url);
        }
    } else {
        words[Influx] = off;
    }
    bool changed = false;
    for (int o = 0; o < OutputCount; ++o) {
        if (words[o] != m_words[o]) {
            m_words[o] = words[o];
            changed = true;
        }
    }
    if (changed)
        emit statusChanged();
    const QString tip = faults.join(QLatin1Char(' '));
    if (tip != m_tip) {
        m_tip = tip;
        emit tipChanged();
    }
}
