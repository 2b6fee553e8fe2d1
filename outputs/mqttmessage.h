#pragma once

#include <QByteArray>

// One message to publish.
struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
    int qos = 0;
    bool retain = false;
};
