#include "outputs/outputsettings.h"

#include "base/regularfile.h"
#include "base/setting.h"
#include "outputs/addresstext.h"
#include "outputs/influxsinks.h"
#include "outputs/metricssink.h"
#include "outputs/mqttsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

using S = LiveOutputsSettings;
using V = OutputField::Value;
using K = OutputKind;

QString key(const char *name)
{
    return QStringLiteral("LiveOutputs/") + QLatin1String(name);
}

} // namespace

const std::vector<OutputField> &outputFields()
{
    // Each output's first field turns it on; the dialog shows the fields
    // with a label in this order.
    static const std::vector<OutputField> fields = {
        {K::Csv, "csv", "file|-",
         "Write the run to this CSV file, in the window's format (an existing file is appended to), or to "
         "standard output for -.",
         V::File, &S::csvFile},
        {K::JsonLines, "jsonl", "file|-",
         "Write one JSON object a record to this file (appended to), or to standard output for -.", V::File,
         &S::jsonLinesFile},
        {K::InfluxFile, "influx", "file|-",
         "Write one InfluxDB line-protocol line a record to this file (appended to), or to standard output "
         "for - (Telegraf's execd or tail input).",
         V::File, &S::influxFile},
        {K::Mqtt, "mqtt", "url",
         "Publish the run to this MQTT broker: mqtt://HOST[:PORT] (port 1883 by default) or mqtts://HOST[:PORT] "
         "(TLS, port 8883).",
         V::Text, &S::mqttUrl, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "代理地址"),
         "mqtt://127.0.0.1:1883", "MqttUrl"},
        {K::Mqtt, "mqtt-user", "user", "The user name at the broker.", V::Verbatim, &S::mqttUser, nullptr,
         QT_TRANSLATE_NOOP("LiveOutputsDialog", "用户名"), nullptr, "MqttUser"},
        {K::Mqtt, "mqtt-password-file", "file",
         "The password at the broker, the first line of this file (else the environment variable "
         "OMBREL_MQTT_PASSWORD; never on the command line).",
         V::Secret, &S::mqttPassword, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "密码"), nullptr, nullptr,
         "OMBREL_MQTT_PASSWORD"},
        {K::Mqtt, "mqtt-ca", "file",
         "mqtts: trust the broker's certificate when this CA certificate file (PEM) signed it; by default the "
         "system's CAs.",
         V::Path, &S::mqttCaFile, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "CA 文件 (mqtts)"), nullptr,
         "MqttCaFile"},
        {K::Mqtt, "mqtt-topic", "prefix",
         "The topics' prefix: PREFIX/state, PREFIX/availability, PREFIX/run (default ombrel/SERIAL).", V::Text,
         &S::mqttTopic, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "主题前缀"),
         QT_TRANSLATE_NOOP("LiveOutputsDialog", "ombrel/<序列号>"), "MqttTopic"},
        {K::Mqtt, "mqtt-discovery", nullptr,
         "Publish Home Assistant discovery configs of the meter's sensors under homeassistant/ (the default "
         "with --mqtt).",
         V::Switch, nullptr, &S::mqttDiscovery, QT_TRANSLATE_NOOP("LiveOutputsDialog", "Home Assistant 自动发现"),
         nullptr, "MqttDiscovery"},
        {K::Mqtt, "no-mqtt-discovery", nullptr, "No Home Assistant discovery configs.", V::Switch, nullptr,
         &S::mqttDiscovery},
        {K::Metrics, "metrics-listen", "[addr:]port",
         "Serve the run's readings as Prometheus metrics at http://ADDR:PORT/metrics (ADDR 127.0.0.1 unless "
         "given; 0.0.0.0 for every interface).",
         V::Text, &S::metricsListen, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "监听 [地址:]端口"), "9464",
         "MetricsListen"},
        {K::InfluxHttp, "influx-url", "url",
         "Post the records in batches to this InfluxDB server's /write endpoint (the 1.x API, which 2.x serves "
         "too), e.g. http://127.0.0.1:8086.",
         V::Text, &S::influxUrl, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "服务器地址"),
         "http://127.0.0.1:8086", "InfluxUrl"},
        {K::InfluxHttp, "influx-db", "db", "The database (2.x: the bucket) of --influx-url.", V::Text, &S::influxDb,
         nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "数据库"), nullptr, "InfluxDb"},
        {K::InfluxHttp, "influx-user", "user", "The user of --influx-url.", V::Verbatim, &S::influxUser, nullptr,
         QT_TRANSLATE_NOOP("LiveOutputsDialog", "用户名"), nullptr, "InfluxUser"},
        {K::InfluxHttp, "influx-password-file", "file",
         "Read the password of --influx-user from this file (else from OMBREL_INFLUX_PASSWORD); without a user "
         "it is sent as a token, as the window's one secret field is.",
         V::Secret,
         &S::influxPassword, nullptr, QT_TRANSLATE_NOOP("LiveOutputsDialog", "密码或令牌"), nullptr, nullptr,
         "OMBREL_INFLUX_PASSWORD"},
        {K::InfluxHttp, "influx-token-file", "file",
         "Read an API token for --influx-url from this file (else from OMBREL_INFLUX_TOKEN).", V::Secret,
         &S::influxToken, nullptr, nullptr, nullptr, nullptr, "OMBREL_INFLUX_TOKEN"},
    };
    return fields;
}

const OutputField &outputField(const char *option)
{
    for (const OutputField &f : outputFields()) {
        if (qstrcmp(f.option, option) == 0)
            return f;
    }
    qFatal("no output option --%s", option);
}

bool OutputField::opens() const
{
    for (const OutputField &f : outputFields()) {
        if (f.output == output)
            return &f == this;
    }
    return false;
}

bool LiveOutputsSettings::differs(OutputKind output, const LiveOutputsSettings &o) const
{
    for (const OutputField &f : outputFields()) {
        if (f.output == output && ((f.text && this->*f.text != o.*f.text) || (f.flag && this->*f.flag != o.*f.flag)))
            return true;
    }
    return false;
}

bool LiveOutputsSettings::operator==(const LiveOutputsSettings &o) const
{
    for (const K output : {K::Csv, K::JsonLines, K::InfluxFile, K::InfluxHttp, K::Mqtt, K::Metrics}) {
        if (differs(output, o))
            return false;
    }
    return true;
}

QString LiveOutputsSettings::secretsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
           + QStringLiteral("/live-outputs.secrets");
}

namespace {
// The secrets file's names of the dialog's secrets.
const struct {
    QString LiveOutputsSettings::*field;
    const char *name;
} kSecrets[] = {{&S::mqttPassword, "mqtt_password"}, {&S::influxPassword, "influx_password"}};
} // namespace

LiveOutputsSettings LiveOutputsSettings::load()
{
    const Setting setting;
    LiveOutputsSettings s;
    for (const OutputField &f : outputFields()) {
        if (!f.key)
            continue;
        const QString value = setting.read(key(f.key));
        if (f.text)
            s.*f.text = value;
        else
            s.*f.flag = value != QLatin1String("false");
    }
    QFile file(secretsFile());
    if ((!s.mqttUrl.isEmpty() || !s.influxUrl.isEmpty()) && file.open(QIODevice::ReadOnly)) {
        const QJsonObject secrets = QJsonDocument::fromJson(file.read(1 << 16)).object();
        for (const auto &secret : kSecrets)
            s.*secret.field = secrets.value(QLatin1String(secret.name)).toString();
    }
    return s;
}

bool LiveOutputsSettings::save(QString *error) const
{
    Setting setting;
    for (const OutputField &f : outputFields()) {
        if (f.key)
            setting.write(key(f.key), f.text ? this->*f.text : QLatin1String(this->*f.flag ? "true" : "false"));
    }

    const QString name = secretsFile();
    QJsonObject secrets;
    for (const auto &secret : kSecrets) {
        if (!(this->*secret.field).isEmpty())
            secrets.insert(QLatin1String(secret.name), this->*secret.field);
    }
    if (secrets.isEmpty()) {
        if (QFile::exists(name) && !QFile::remove(name)) {
            *error = QCoreApplication::translate("LiveOutputs", "无法删除密码文件 %1").arg(QDir::toNativeSeparators(name));
            return false;
        }
        return true;
    }
    QDir().mkpath(QFileInfo(name).absolutePath());
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

MqttSettings LiveOutputsSettings::mqtt() const
{
    MqttSettings mqtt;
    if (!mqtt.setUrl(mqttUrl, nullptr))
        mqtt.host.clear();
    mqtt.user = mqttUser;
    mqtt.password = mqttPassword;
    mqtt.caFile = mqttCaFile;
    mqtt.topicPrefix = mqttTopic;
    mqtt.discovery = mqttDiscovery;
    return mqtt;
}

MetricsSettings LiveOutputsSettings::metrics() const
{
    MetricsSettings metrics;
    MetricsSettings::parse(metricsListen, &metrics, nullptr);
    return metrics;
}

InfluxSettings LiveOutputsSettings::influx() const
{
    InfluxSettings influx;
    InfluxSettings::parseUrl(influxUrl, &influx.url, nullptr);
    influx.database = influxDb;
    influx.user = influxUser.isEmpty() ? influx.url.userName() : influxUser;
    // Without a user the one secret is a token.
    if (influx.user.isEmpty()) {
        influx.token = influxToken.isEmpty() ? influxPassword : influxToken;
    } else {
        influx.password = influxPassword;
        influx.token = influxToken;
    }
    return influx;
}

bool LiveOutputsSettings::check(Problem *problem) const
{
    auto fault = [problem](const char *option, const QString &words, bool unreadable = false) {
        problem->field = &outputField(option);
        problem->words = words;
        problem->unreadable = unreadable;
        return false;
    };
    QString reason;
    // Standard output takes one output's lines.
    int toStdout = 0;
    for (const OutputField &f : outputFields()) {
        if (f.value == OutputField::Value::File && this->*f.text == QLatin1String("-") && ++toStdout > 1)
            return fault(f.option, QCoreApplication::translate("LiveOutputs", "只有一个输出能写到标准输出（-）"));
    }
    if (!mqttUrl.isEmpty()) {
        MqttSettings mqtt;
        if (!mqtt.setUrl(mqttUrl, &reason))
            return fault("mqtt", reason);
        mqtt = this->mqtt();
        const QString ca = QDir::toNativeSeparators(mqttCaFile);
        switch (mqtt.check(&reason)) {
        case MqttSettings::Fault::None:
            break;
        case MqttSettings::Fault::TopicPrefix:
            return fault("mqtt-topic", QCoreApplication::translate("LiveOutputs", "MQTT 主题前缀“%1”无效：不能含有 + 或 #，也不能以 / 结尾").arg(mqttTopic));
        case MqttSettings::Fault::CaWithoutTls:
            return fault("mqtt-ca", QCoreApplication::translate("LiveOutputs", "CA 文件只用于 TLS 连接的代理：mqtts://%1").arg(mqtt.host));
        case MqttSettings::Fault::CaUnreadable:
            return fault("mqtt-ca", QCoreApplication::translate("LiveOutputs", "无法读取 CA 文件 %1：%2").arg(ca, reason), true);
        case MqttSettings::Fault::CaNoCertificate:
            return fault("mqtt-ca", QCoreApplication::translate("LiveOutputs", "CA 文件 %1 中没有证书（PEM 格式，-----BEGIN CERTIFICATE-----）").arg(ca),
                         true);
        case MqttSettings::Fault::PasswordWithoutUser:
            return fault("mqtt-password-file", QCoreApplication::translate("LiveOutputs", "MQTT 代理的密码需要用户名"));
        }
    }
    if (!metricsListen.isEmpty()) {
        MetricsSettings metrics;
        if (!MetricsSettings::parse(metricsListen, &metrics, &reason))
            return fault("metrics-listen", QCoreApplication::translate("LiveOutputs", "指标监听地址“%1”无效：%2").arg(metricsListen, reason));
    }
    if (!influxUrl.isEmpty()) {
        QUrl url;
        if (!InfluxSettings::parseUrl(influxUrl, &url, &reason))
            return fault("influx-url", reason);
        if (influxDb.isEmpty())
            return fault("influx-db", QCoreApplication::translate("LiveOutputs", "请填写 InfluxDB 的数据库名称"));
    }
    return true;
}

bool LiveOutputsSettings::read(const Given &given, Problem *problem)
{
    auto fault = [problem](const OutputField *field, const QString &words, bool unreadable = false) {
        problem->field = field;
        problem->words = words;
        problem->unreadable = unreadable;
        return false;
    };
    const OutputField *switched = nullptr;
    for (const OutputField *f : given.fields) {
        // Without its output's first option, an option has nothing to set.
        const OutputField *opener = nullptr;
        for (const OutputField *g : given.fields) {
            if (g->output == f->output && g->opens())
                opener = g;
        }
        const bool on = opener && (given.value(*opener) || !(this->*opener->text).isEmpty());
        const std::optional<QString> value = given.value(*f);
        if (!value) {
            if (on && f->value == OutputField::Value::Secret)
                this->*f->text = qEnvironmentVariable(f->environment);
            continue;
        }
        if (!on)
            return fault(f, QStringLiteral("%1 needs %2").arg(given.name(*f), given.name(*opener)));
        if (f->value == OutputField::Value::Switch) {
            if (switched)
                return fault(f, QStringLiteral("%1 and %2 contradict each other")
                                    .arg(given.name(*switched), given.name(*f)));
            switched = f;
            this->*f->flag = !QByteArray(f->option).startsWith("no-");
            continue;
        }
        if (value->isEmpty() && f->value != OutputField::Value::Verbatim)
            return fault(f, QStringLiteral("%1: the value is empty").arg(given.name(*f)));
        QString reason;
        switch (f->value) {
        case OutputField::Value::Secret:
            // A secret from a file (its first line), never from a command
            // line, where any user sees it.
            if (!RegularFile::readSecret(*value, &(this->*f->text), &reason))
                return fault(f, QStringLiteral("cannot read %1 %2: %3").arg(given.name(*f), QDir::toNativeSeparators(*value), reason),
                             true);
            break;
        case OutputField::Value::Path:
            this->*f->text = QFileInfo(*value).absoluteFilePath();
            break;
        default:
            this->*f->text = *value;
            break;
        }
    }
    if (check(problem))
        return true;
    problem->words = QStringLiteral("%1: %2").arg(given.name(*problem->field), problem->words);
    return false;
}
