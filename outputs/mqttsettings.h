#pragma once

#include <QString>

// Where and how a run is sent to an MQTT broker: what the command line's
// --mqtt options and the window's live outputs dialog set.
struct MqttSettings {
    QString host;
    int port = 1883;
    bool tls = false;          // mqtts://
    QString caFile;            // TLS: the CA certificate(s) to trust; empty: the system's
    QString user;              // empty: none
    QString password;          // never stored with the other settings
    QString topicPrefix;       // empty: ombrel/<serial>
    bool discovery = true;     // Home Assistant discovery configs
    QString discoveryPrefix = QStringLiteral("homeassistant");
    // Messages handed to the connection and not yet written to it: beyond
    // this a reading is dropped for MQTT (and counted).
    int queueLimit = 1000;
    // Seconds between keep-alive pings when nothing else is sent; a broker
    // silent for one and a half times this is taken as gone. At least 5,
    // as the library takes it.
    int keepAliveSeconds = 30;

    static constexpr int kPlainPort = 1883;
    static constexpr int kTlsPort = 8883;

    // mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (an IPv6 address in
    // brackets); false with the reason for anything else.
    bool setUrl(const QString &url, QString *error);
    QString url() const;
    // The topics of a meter: <prefix>/state, /availability, /run.
    QString prefixFor(const QString &serial) const;
    // A bench's meters and the bench itself: with a prefix given, each meter
    // under PREFIX/<role> and the bench's pairs under PREFIX/bench/<key>;
    // else each meter under ombrel/<serial> and the pairs under
    // ombrel/bench/<key> (`key` one topic level).
    MqttSettings forRole(const QString &role) const;
    QString benchPrefixFor(const QString &key) const;
    // A text as one topic level: no wildcards, no separator.
    static QString topicLevel(const QString &text);

    // What keeps these settings from being used, the same for the window's
    // dialog and the command line, each in its own words.
    enum class Fault {
        None,
        TopicPrefix,           // + or #, or an empty level at its end
        CaWithoutTls,          // a CA file for a plain connection
        CaUnreadable,          // the reason in `detail`
        CaNoCertificate,       // no PEM certificate in it
        PasswordWithoutUser,
    };
    Fault check(QString *detail = nullptr) const;
    // A prefix the broker takes as the start of a topic name; empty is the
    // default.
    static bool validTopicPrefix(const QString &prefix);
};

// What becomes of the connection to the broker.
struct MqttStatus {
    enum Kind {
        Off,            // not started
        Connecting,
        Connected,
        Refused,        // the broker's port refused the connection, or the broker refused the client
        WrongPassword,  // the broker refused the user name or password
        Unreachable,    // no route, no answer, or a name that does not resolve
        TlsFailed,      // the TLS handshake failed (a certificate not trusted, not TLS at all)
    };
    Kind kind = Off;
    QString detail;     // the system's or the library's words, for the message
    bool operator==(const MqttStatus &o) const { return kind == o.kind && detail == o.detail; }
    bool operator!=(const MqttStatus &o) const { return !(*this == o); }

    // "connected to mqtt://host:1883", "wrong user name or password at …": in
    // the program's language.
    QString words(const QString &url) const;
};
