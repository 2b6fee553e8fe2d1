// The --mqtt options, and ombrel mqtt-forget: the meter's entities removed
// from Home Assistant.
#include "cli/command.h"
#include "cli/mqttoptions.h"

#include "base/regularfile.h"
#include "outputs/homeassistant.h"
#include "outputs/mqttclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdlib>

namespace Cli {

namespace {
const char kForget[] = "mqtt-forget";
const char kPasswordVariable[] = "OMBREL_MQTT_PASSWORD";

} // namespace

MqttOptions::MqttOptions()
    : url(QStringLiteral("mqtt"),
          QStringLiteral("Publish the run to this MQTT broker: mqtt://HOST[:PORT] (port 1883 by default) or "
                         "mqtts://HOST[:PORT] (TLS, port 8883)."),
          QStringLiteral("url")),
      ca(QStringLiteral("mqtt-ca"),
         QStringLiteral("mqtts: trust the broker's certificate when this CA certificate file (PEM) signed it; "
                        "by default the system's CAs."),
         QStringLiteral("file")),
      user(QStringLiteral("mqtt-user"), QStringLiteral("The user name at the broker."), QStringLiteral("user")),
      passwordFile(QStringLiteral("mqtt-password-file"),
                   QStringLiteral("The password at the broker, the first line of this file (else the environment "
                                  "variable OMBREL_MQTT_PASSWORD; never on the command line)."),
                   QStringLiteral("file")),
      topic(QStringLiteral("mqtt-topic"),
            QStringLiteral("The topics' prefix: PREFIX/state, PREFIX/availability, PREFIX/run (default "
                           "ombrel/SERIAL)."),
            QStringLiteral("prefix")),
      discovery(QStringLiteral("mqtt-discovery"),
                QStringLiteral("Publish Home Assistant discovery configs of the meter's sensors under "
                               "homeassistant/ (the default with --mqtt).")),
      noDiscovery(QStringLiteral("no-mqtt-discovery"), QStringLiteral("No Home Assistant discovery configs."))
{
}

void MqttOptions::add(QCommandLineParser &parser, bool withDiscovery)
{
    parser.addOptions({url, ca, user, passwordFile, topic});
    if (withDiscovery)
        parser.addOptions({discovery, noDiscovery});
}

std::optional<int> MqttOptions::read(const QCommandLineParser &parser, const char *command, MqttSettings *settings,
                                     bool *given, const QString &defaultUrl) const
{
    const QString name = QLatin1String(command);
    *given = parser.isSet(url) || !defaultUrl.isEmpty();
    if (!*given) {
        for (const QCommandLineOption *o : {&ca, &user, &passwordFile, &topic, &discovery, &noDiscovery}) {
            if (parser.isSet(o->names().first())) {
                error(name, QStringLiteral("--%1 needs --mqtt").arg(o->names().first()));
                return Usage;
            }
        }
        return std::nullopt;
    }
    QString reason;
    if (!settings->setUrl(parser.isSet(url) ? parser.value(url) : defaultUrl, &reason)) {
        error(name, QStringLiteral("--mqtt: %1").arg(reason));
        return Usage;
    }
    if (parser.isSet(ca))
        settings->caFile = QFileInfo(parser.value(ca)).absoluteFilePath();
    settings->user = parser.value(user);
    if (parser.isSet(passwordFile)) {
        if (!RegularFile::readSecret(parser.value(passwordFile), &settings->password, &reason)) {
            error(name, QStringLiteral("cannot read the password file %1 of --mqtt-password-file: %2")
                            .arg(parser.value(passwordFile), reason));
            return CannotWrite;
        }
    } else if (const char *env = std::getenv(kPasswordVariable)) {
        settings->password = QString::fromUtf8(env);
    }
    auto badTopic = [&] {
        error(name, QStringLiteral("--mqtt-topic '%1': a topic prefix without + or # that does not end in /")
                        .arg(parser.value(topic)));
        return Usage;
    };
    if (parser.isSet(topic)) {
        settings->topicPrefix = parser.value(topic);
        if (settings->topicPrefix.isEmpty())
            return badTopic();
    }
    // The settings' own check, as the window's dialog makes it.
    switch (settings->check(&reason)) {
    case MqttSettings::Fault::None:
        break;
    case MqttSettings::Fault::TopicPrefix:
        return badTopic();
    case MqttSettings::Fault::CaWithoutTls:
        error(name, QStringLiteral("--mqtt-ca is for a TLS broker: mqtts://%1").arg(settings->host));
        return Usage;
    case MqttSettings::Fault::CaUnreadable:
        error(name, QStringLiteral("cannot read the CA file %1 of --mqtt-ca: %2").arg(parser.value(ca), reason));
        return CannotWrite;
    case MqttSettings::Fault::CaNoCertificate:
        error(name, QStringLiteral("the CA file %1 of --mqtt-ca holds no certificate (PEM, "
                                   "-----BEGIN CERTIFICATE-----)")
                        .arg(parser.value(ca)));
        return CannotWrite;
    case MqttSettings::Fault::PasswordWithoutUser:
        error(name, QStringLiteral("a password for the broker needs a user name: --mqtt-user"));
        return Usage;
    }
    if (parser.isSet(discovery) && parser.isSet(noDiscovery)) {
        error(name, QStringLiteral("--mqtt-discovery and --no-mqtt-discovery contradict each other"));
        return Usage;
    }
    settings->discovery = !parser.isSet(noDiscovery);
    return std::nullopt;
}

int runMqttForget(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("The serial number of the meter to forget."),
                                          QStringLiteral("serial"));
    parser.addOption(serialOption);
    MqttOptions mqtt;
    mqtt.add(parser, false);
    if (const std::optional<int> done =
            parse(parser, kForget,
                  QStringLiteral("Removes a meter's sensors from Home Assistant: publishes empty retained "
                                 "discovery configs for them, and clears the retained availability of its "
                                 "topics, at the broker given (mqtt://localhost by default)."),
                  arguments))
        return *done;
    if (!parser.positionalArguments().isEmpty()) {
        error(QLatin1String(kForget),
              QCoreApplication::translate("Cli", "多余的参数“%1”").arg(parser.positionalArguments().first()));
        return Usage;
    }
    const QString serial = parser.value(serialOption);
    if (serial.isEmpty()) {
        error(QLatin1String(kForget), QStringLiteral("--serial is needed: the serial number of the meter"));
        return Usage;
    }
    MqttSettings settings;
    bool given = false;
    if (const std::optional<int> done =
            mqtt.read(parser, kForget, &settings, &given, QStringLiteral("mqtt://localhost")))
        return *done;

    QVector<MqttMessage> messages = HomeAssistantDiscovery::forget(serial, settings.discoveryPrefix);
    messages.push_back({(settings.prefixFor(serial) + QStringLiteral("/availability")).toUtf8(), QByteArray(), 1, true});
    MqttClient client(settings, HomeAssistantDiscovery::deviceId(serial) + QStringLiteral("-forget"));
    client.setRetained(messages);
    QEventLoop loop;
    MqttStatus outcome;
    QObject::connect(&client, &MqttClient::statusChanged, &loop, [&](const MqttStatus &status) {
        if (status.kind == MqttStatus::Connecting)
            return;
        outcome = status;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    client.start({});
    loop.exec();
    if (outcome.kind != MqttStatus::Connected) {
        if (outcome.kind == MqttStatus::Off)
            outcome = {MqttStatus::Unreachable, QStringLiteral("no answer in 15 s")};
        error(QLatin1String(kForget), outcome.words(settings.url()));
        return Failed;
    }
    if (!client.finish({}, 10000)) {
        error(QLatin1String(kForget),
              QStringLiteral("the broker %1 did not take every empty config in time").arg(settings.url()));
        return Failed;
    }
    error(QLatin1String(kForget), QStringLiteral("the sensors of meter %1 are removed from %2 (discovery prefix %3)")
                                      .arg(serial, settings.url(), settings.discoveryPrefix));
    return Ok;
}

} // namespace Cli
