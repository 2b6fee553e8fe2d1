#pragma once

#include "outputs/mqttmessage.h"
#include "outputs/mqttsettings.h"

#include <QObject>
#include <QVector>

#include <memory>

// A connection to an MQTT broker that is never in the caller's way: the
// network work (name lookup, connecting, TLS, writing) happens on a thread of
// its own, and publish() only hands a message over. It reconnects with a
// back-off (1 s doubling to 30 s) for as long as it lives, and tells each
// change of its connection once through statusChanged().
//
// Messages:
//  - publish(): a reading; dropped (and counted) while there is no connection
//    or when `queueLimit` messages are still waiting to be written;
//  - setRetained(): messages the broker keeps (discovery configs, the
//    availability), published again at every connection; those new or
//    changed since the last call are published at once;
//  - publishEvent(): a message that waits for the connection (up to 16 of them);
//  - the last will, set before the first connection.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    MqttClient(const MqttSettings &settings, const QString &clientId, QObject *parent = nullptr);
    ~MqttClient() override;

    // Starts the connection with this last will.
    void start(const MqttMessage &will);
    bool started() const;

    bool publish(const MqttMessage &message);
    void setRetained(const QVector<MqttMessage> &messages);
    void publishEvent(const MqttMessage &message);

    // Publishes `last` (when connected), waits up to `timeoutMs` for every
    // message to be written and acknowledged, then disconnects cleanly (no
    // last will). False when not everything was delivered.
    bool finish(const QVector<MqttMessage> &last, int timeoutMs);

    MqttStatus status() const;
    // Readings handed over, written to the connection, and dropped for want
    // of a connection or of room.
    qint64 offered() const;
    qint64 written() const;
    qint64 dropped() const;
    const MqttSettings &settings() const { return m_settings; }

    // What the client and its thread share (the thread may outlive the client).
    struct Shared;

signals:
    // In the thread the client lives in.
    void statusChanged(const MqttStatus &status);

private:
    MqttSettings m_settings;
    QString m_clientId;
    std::shared_ptr<Shared> m_shared;
};

Q_DECLARE_METATYPE(MqttStatus)
