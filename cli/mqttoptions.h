#pragma once

#include "outputs/mqttsettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

namespace Cli {

// The --mqtt options of `record` and `mqtt-forget`.
struct MqttOptions {
    QCommandLineOption url, ca, user, passwordFile, topic, discovery, noDiscovery;

    MqttOptions();
    void add(QCommandLineParser &parser, bool withDiscovery);
    // The settings from the command line, `given` when --mqtt was (or
    // `defaultUrl` is used): nothing when the command may go on, else the exit
    // status after saying why (2 for a bad value, 4 for a CA or password
    // file that cannot be read).
    std::optional<int> read(const QCommandLineParser &parser, const char *command, MqttSettings *settings,
                            bool *given, const QString &defaultUrl = QString()) const;
};

} // namespace Cli
