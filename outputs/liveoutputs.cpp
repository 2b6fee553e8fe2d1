#include "outputs/liveoutputs.h"

#include "base/setting.h"
#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/mqttsink.h"
#include "recording/liverun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <memory>

namespace {

QString key(const char *name)
{
    return QStringLiteral("LiveOutputs/") + QLatin1String(name);
}

const char kMqttPassword[] = "mqtt_password";
const char kInfluxPassword[] = "influx_password";

bool mqttDiffers(const LiveOutputsSettings &a, const LiveOutputsSettings &b)
{
    return a.mqttUrl != b.mqttUrl || a.mqttUser != b.mqttUser || a.mqttPassword != b.mqttPassword
           || a.mqttCaFile != b.mqttCaFile || a.mqttTopic != b.mqttTopic || a.mqttDiscovery != b.mqttDiscovery;
}

bool influxDiffers(const LiveOutputsSettings &a, const LiveOutputsSettings &b)
{
    return a.influxUrl != b.influxUrl || a.influxDb != b.influxDb || a.influxUser != b.influxUser
           || a.influxPassword != b.influxPassword;
}

} // namespace

bool LiveOutputsSettings::operator==(const LiveOutputsSettings &o) const
{
    return !mqttDiffers(*this, o) && !influxDiffers(*this, o) && metricsListen == o.metricsListen;
}

QString LiveOutputsSettings::secretsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
           + QStringLiteral("/live-outputs.secrets");
}

LiveOutputsSettings LiveOutputsSettings::load()
{
    const Setting setting;
    LiveOutputsSettings s;
    s.mqttUrl = setting.read(key("MqttUrl"));
    s.mqttUser = setting.read(key("MqttUser"));
    s.mqttCaFile = setting.read(key("MqttCaFile"));
    s.mqttTopic = setting.read(key("MqttTopic"));
    s.mqttDiscovery = setting.read(key("MqttDiscovery")) != QLatin1String("false");
    s.metricsListen = setting.read(key("MetricsListen"));
    s.influxUrl = setting.read(key("InfluxUrl"));
    s.influxDb = setting.read(key("InfluxDb"));
    s.influxUser = setting.read(key("InfluxUser"));
    QFile file(secretsFile());
    if ((!s.mqttUrl.isEmpty() || !s.influxUrl.isEmpty()) && file.open(QIODevice::ReadOnly)) {
        const QJsonObject secrets = QJsonDocument::fromJson(file.read(1 << 16)).object();
        s.mqttPassword = secrets.value(QLatin1String(kMqttPassword)).toString();
        s.influxPassword = secrets.value(QLatin1String(kInfluxPassword)).toString();
    }
    return s;
}

bool LiveOutputsSettings::save(QString *error) const
{
    Setting setting;
    setting.write(key("MqttUrl"), mqttUrl);
    setting.write(key("MqttUser"), mqttUser);
    setting.write(key("MqttCaFile"), mqttCaFile);
    setting.write(key("MqttTopic"), mqttTopic);
    setting.write(key("MqttDiscovery"), QLatin1String(mqttDiscovery ? "true" : "false"));
    setting.write(key("MetricsListen"), metricsListen);
    setting.write(key("InfluxUrl"), influxUrl);
    setting.write(key("InfluxDb"), influxDb);
    setting.write(key("InfluxUser"), influxUser);

    const QString name = secretsFile();
    if (mqttPassword.isEmpty() && influxPassword.isEmpty()) {
        if (QFile::exists(name) && !QFile::remove(name)) {
            *error = QCoreApplication::translate("LiveOutputs", "无法删除密码文件 %1").arg(QDir::toNativeSeparators(name));
            return false;
        }
        return true;
    }
    QDir().mkpath(QFileInfo(name).absolutePath());
    QJsonObject secrets;
    if (!mqttPassword.isEmpty())
        secrets.insert(QLatin1String(kMqttPassword), mqttPassword);
    if (!influxPassword.isEmpty())
        secrets.insert(QLatin1String(kInfluxPassword), influxPassword);
    // The file is the user's alone before a byte of it is written.
    QSaveFile file(name);
    const bool written = file.open(QIODevice::WriteOnly)
                         && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                         && file.write(QJsonDocument(secrets).toJson(QJsonDocument::Compact)) >= 0 && file.commit();
    if (!written) {
        *error = QCoreApplication::translate("LiveOutputs", "无法保存密码文件 %1：%2").arg(QDir::toNativeSeparators(name), file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

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

MqttSettings LiveOutputs::mqttSettings(const LiveOutputsSettings &s)
{
    MqttSettings mqtt;
    if (!mqtt.setUrl(s.mqttUrl, nullptr))
        mqtt.host.clear();
    mqtt.user = s.mqttUser;
    mqtt.password = s.mqttPassword;
    mqtt.caFile = s.mqttCaFile;
    mqtt.topicPrefix = s.mqttTopic;
    mqtt.discovery = s.mqttDiscovery;
    return mqtt;
}

bool LiveOutputs::check(const LiveOutputsSettings &s, QString *error)
{
    if (!s.mqttUrl.isEmpty()) {
        const MqttSettings mqtt = mqttSettings(s);
        if (mqtt.host.isEmpty()) {
            *error = tr("MQTT 代理地址 %1 无效：应为 mqtt://主机[:端口] 或 mqtts://主机[:端口]").arg(s.mqttUrl);
            return false;
        }
        // The settings' own check, as the command line makes it.
        QString reason;
        const QString ca = QDir::toNativeSeparators(s.mqttCaFile);
        switch (mqtt.check(&reason)) {
        case MqttSettings::Fault::None:
            break;
        case MqttSettings::Fault::TopicPrefix:
            *error = tr("MQTT 主题前缀“%1”无效：不能含有 + 或 #，也不能以 / 结尾").arg(s.mqttTopic);
            return false;
        case MqttSettings::Fault::CaWithoutTls:
            *error = tr("CA 文件只用于 TLS 连接的代理：mqtts://%1").arg(mqtt.host);
            return false;
        case MqttSettings::Fault::CaUnreadable:
            *error = tr("无法读取 CA 文件 %1").arg(ca);
            return false;
        case MqttSettings::Fault::CaNoCertificate:
            *error = tr("CA 文件 %1 中没有证书（PEM 格式，-----BEGIN CERTIFICATE-----）").arg(ca);
            return false;
        case MqttSettings::Fault::PasswordWithoutUser:
            *error = tr("MQTT 代理的密码需要用户名");
            return false;
        }
    }
    if (!s.metricsListen.isEmpty()) {
        MetricsSettings metrics;
        if (!MetricsSettings::parse(s.metricsListen, &metrics, nullptr)) {
            *error = tr("指标监听地址 %1 无效：应为 [地址:]端口").arg(s.metricsListen);
            return false;
        }
    }
    if (!s.influxUrl.isEmpty()) {
        QUrl url;
        if (!InfluxSettings::parseUrl(s.influxUrl, &url, nullptr)) {
            *error = tr("InfluxDB 地址 %1 无效：应为 http:// 或 https:// 地址").arg(s.influxUrl);
            return false;
        }
        if (s.influxDb.trimmed().isEmpty()) {
            *error = tr("请填写 InfluxDB 的数据库名称");
            return false;
        }
    }
    return true;
}

bool LiveOutputs::apply(const LiveOutputsSettings &s, QString *error)
{
    if (!m_run || !check(s, error))
        return false;
    const LiveOutputsSettings old = m_settings;
    m_settings = s;
    if (mqttDiffers(old, s) || !m_mqtt) {
        retire(Mqtt);
        if (!s.mqttUrl.isEmpty()) {
            auto sink = std::make_unique<MqttSink>(mqttSettings(s));
            connect(sink.get(), &MqttSink::statusChanged, this, &LiveOutputs::update);
            m_mqtt = m_run->attach(std::move(sink));
            join(m_mqtt);
        }
    }
    if (old.metricsListen != s.metricsListen || !m_metrics) {
        retire(Metrics);
        if (!s.metricsListen.isEmpty()) {
            MetricsSettings metrics;
            MetricsSettings::parse(s.metricsListen, &metrics, nullptr);
            auto sink = std::make_unique<MetricsSink>(metrics);
            if (sink->start(&m_metricsError)) {
                m_metricsError.clear();
                m_metrics = m_run->attach(std::move(sink));
                m_metrics->setMeterConnected(m_run->recording());
                join(m_metrics);
            }
        }
    }
    if (influxDiffers(old, s) || !m_influx) {
        retire(Influx);
        if (!s.influxUrl.isEmpty()) {
            InfluxSettings influx;
            InfluxSettings::parseUrl(s.influxUrl, &influx.url, nullptr);
            influx.database = s.influxDb.trimmed();
            influx.user = s.influxUser;
            (s.influxUser.isEmpty() ? influx.token : influx.password) = s.influxPassword;
            m_influx = m_run->attach(std::make_unique<InfluxHttpSink>(influx));
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
