#include "outputs/homeassistant.h"

#include "recording/liverun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace HomeAssistantDiscovery {

namespace {
struct Sensor {
    const char *key;           // the key of the state message (the JSON lines record's)
    const char *name;
    const char *deviceClass;   // nullptr: none
    const char *unit;
    const char *stateClass;
    int precision;
};

// D− with the minus sign, as the meter's screen shows it.
const Sensor kSensors[] = {
    {"vbus", "VBUS", "voltage", "V", "measurement", 3},
    {"ibus", "IBUS", "current", "A", "measurement", 3},
    {"power", "POWER", "power", "W", "measurement", 3},
    {"ele", "ELE", "energy", "Wh", "total_increasing", 3},
    {"cap", "CAP", nullptr, "Ah", "total_increasing", 3},
    {"cpu_temp", "Temperature", "temperature", "\u00b0C", "measurement", 1},
    {"cc1", "CC1", "voltage", "V", "measurement", 3},
    {"cc2", "CC2", "voltage", "V", "measurement", 3},
    {"pd", "D+", "voltage", "V", "measurement", 3},
    {"pm", "D\u2212", "voltage", "V", "measurement", 3},
};

// A bench's pairs, as Bench::json carries them.
const Sensor kBenchSensors[] = {
    {"efficiency_pct", "Efficiency", "power_factor", "%", "measurement", 1},
    {"loss_w", "Loss", "power", "W", "measurement", 3},
    {"drop_v", "Voltage drop", "voltage", "V", "measurement", 3},
    {"resistance_ohm", "Resistance", nullptr, "\u03a9", "measurement", 3},
};

QByteArray configTopic(const QString &discoveryPrefix, const QString &device, const char *key)
{
    return (discoveryPrefix + QStringLiteral("/sensor/") + device + QLatin1Char('/') + QLatin1String(key)
            + QStringLiteral("/config"))
        .toUtf8();
}
} // namespace

QString deviceId(const QString &serial)
{
    QString id = QStringLiteral("ombrel_");
    for (const QChar c : serial.isEmpty() ? QStringLiteral("unknown") : serial)
        id += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('-') ? c : QLatin1Char('_');
    return id;
}

namespace {

// A config for each of `sensors` of one device.
template <size_t N>
QVector<MqttMessage> sensorConfigs(const Sensor (&sensors)[N], const QString &device, const QJsonObject &deviceObject,
                                   const QString &prefix, const QString &availabilityTopic, const QString &discoveryPrefix)
{
    QVector<MqttMessage> messages;
    for (const Sensor &s : sensors) {
        QJsonObject config{
            {QStringLiteral("name"), QString::fromUtf8(s.name)},
            {QStringLiteral("unique_id"), device + QLatin1Char('_') + QLatin1String(s.key)},
            {QStringLiteral("object_id"), device + QLatin1Char('_') + QLatin1String(s.key)},
            {QStringLiteral("state_topic"), prefix + QStringLiteral("/state")},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(s.key))},
            {QStringLiteral("unit_of_measurement"), QString::fromUtf8(s.unit)},
            {QStringLiteral("state_class"), QLatin1String(s.stateClass)},
            {QStringLiteral("suggested_display_precision"), s.precision},
            {QStringLiteral("availability_topic"), availabilityTopic},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"), deviceObject},
        };
        if (s.deviceClass)
            config.insert(QStringLiteral("device_class"), QLatin1String(s.deviceClass));
        messages.push_back({configTopic(discoveryPrefix, device, s.key),
                            QJsonDocument(config).toJson(QJsonDocument::Compact), 1, true});
    }
    return messages;
}

} // namespace

QVector<MqttMessage> configs(const RunMeter &meter, const QString &prefix, const QString &discoveryPrefix)
{
    const QString device = deviceId(meter.serial);
    const QJsonObject deviceObject{
        {QStringLiteral("identifiers"), QJsonArray{device}},
        {QStringLiteral("name"), QStringLiteral("Ombrel %1 %2").arg(meter.model, meter.serial).trimmed()},
        {QStringLiteral("model"), meter.model},
        {QStringLiteral("sw_version"), meter.version},
        {QStringLiteral("serial_number"), meter.serial},
    };
    return sensorConfigs(kSensors, device, deviceObject, prefix, prefix + QStringLiteral("/availability"),
                         discoveryPrefix);
}

QVector<MqttMessage> benchConfigs(const QString &key, const QString &name, const QString &benchPrefix,
                                  const QString &availabilityTopic, const QString &discoveryPrefix)
{
    const QString device = deviceId(QStringLiteral("bench_") + key);
    const QJsonObject deviceObject{
        {QStringLiteral("identifiers"), QJsonArray{device}},
        {QStringLiteral("name"), QStringLiteral("Ombrel bench %1").arg(name.isEmpty() ? key : name)},
        {QStringLiteral("model"), QStringLiteral("bench")},
    };
    return sensorConfigs(kBenchSensors, device, deviceObject, benchPrefix, availabilityTopic, discoveryPrefix);
}

QVector<MqttMessage> forget(const QString &serial, const QString &discoveryPrefix)
{
    const QString device = deviceId(serial);
    QVector<MqttMessage> messages;
    for (const Sensor &s : kSensors)
        messages.push_back({configTopic(discoveryPrefix, device, s.key), QByteArray(), 1, true});
    return messages;
}

} // namespace HomeAssistantDiscovery
