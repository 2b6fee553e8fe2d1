#pragma once

#include "outputs/mqttmessage.h"

#include <QString>
#include <QVector>

struct RunMeter;

// Home Assistant's MQTT discovery for one meter: a retained config message
// per sensor under <discovery prefix>/sensor/ombrel_<serial>/<key>/config,
// all of one device (the meter: model, firmware version, serial number),
// reading the values of <prefix>/state and available while
// <prefix>/availability says "online".
namespace HomeAssistantDiscovery {

// "ombrel_<serial>", letters, digits, '_' and '-' only: the device's
// identifier and the stem of its sensors' unique ids.
QString deviceId(const QString &serial);
// The retained config messages of the meter's sensors.
QVector<MqttMessage> configs(const RunMeter &meter, const QString &prefix, const QString &discoveryPrefix);
// A bench's sensors (efficiency, loss, voltage drop, resistance), a device
// of their own ("ombrel_bench_<key>"), reading <benchPrefix>/state and
// available while `availabilityTopic` says "online".
QVector<MqttMessage> benchConfigs(const QString &key, const QString &name, const QString &benchPrefix,
                                  const QString &availabilityTopic, const QString &discoveryPrefix);
// Empty retained messages on the same topics: Home Assistant removes the
// meter's entities.
QVector<MqttMessage> forget(const QString &serial, const QString &discoveryPrefix);

} // namespace HomeAssistantDiscovery
