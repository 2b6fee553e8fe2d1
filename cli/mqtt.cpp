// ombrel mqtt-forget: the meter's entities removed
// from Home Assistant.
#include "cli/command.h"
#include "cli/outputoptions.h"

#include "outputs/homeassistant.h"
#include "outputs/mqttclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>


namespace Cli {

namespace {
const char kForget[] = "mqtt-forget";
} // namespace

int runMqttForget(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("The serial number of the meter to forget."),
                                          QStringLiteral("serial"));
    parser.addOption(serialOption);
    const OutputOptions mqtt({OutputKind::Mqtt}, false);
    mqtt.add(parser);
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
    LiveOutputsSettings given;
    given.mqttUrl = QStringLiteral("mqtt://localhost");
    if (const std::optional<int> done = mqtt.read(parser, kForget, &given))
        return *done;
    const MqttSettings settings = given.mqtt();

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
