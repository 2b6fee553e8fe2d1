#pragma once

// A mosquitto broker of a test's own on a loopback port, and mosquitto_sub
// reading it back: what the MQTT output of the program sent.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtTest>

#include <functional>
#include <memory>

#include <signal.h>

namespace MqttBroker {

// Waits, the event loop running, until `done` or `ms` have passed.
inline bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}

// A whole file, or false.
inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// A mosquitto broker with a configuration of its own in a folder of its own.
class Broker
{
public:
    Broker(const QString &dir, int port, const QByteArray &extra = QByteArray()) : m_dir(dir), m_port(port)
    {
        m_conf = QByteArray("per_listener_settings false\npersistence false\nlog_dest stderr\n")
                 + (extra.isEmpty() ? QByteArray("listener ") + QByteArray::number(port)
                                          + " 127.0.0.1\nallow_anonymous true\n"
                                    : extra);
    }
    ~Broker() { kill(); }
    bool start()
    {
        if (!writeFile(m_dir + QStringLiteral("/mosquitto.conf"), m_conf))
            return false;
        m_log.clear();
        m_process.reset(new QProcess);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), m_dir + QStringLiteral("/mosquitto.conf")});
        return waitFor(
            [&] {
                m_log += m_process->readAll();
                return m_log.contains(" running") || m_process->state() == QProcess::NotRunning;
            },
            10000)
               && m_process->state() == QProcess::Running;
    }
    void kill()
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process->processId()), SIGKILL);
        m_process->waitForFinished(5000);
    }
    // Stopped and let go on again, as a broker whose host froze.
    void pause(bool paused)
    {
        if (m_process && m_process->state() == QProcess::Running)
            ::kill(pid_t(m_process->processId()), paused ? SIGSTOP : SIGCONT);
    }
    int port() const { return m_port; }
    QByteArray log() { return m_log += m_process ? m_process->readAll() : QByteArray(); }

private:
    QString m_dir;
    int m_port;
    QByteArray m_conf;
    QByteArray m_log;
    std::unique_ptr<QProcess> m_process;
};

// mosquitto_sub on every topic: what it received, retained or not.
struct Message {
    bool retained;
    QString topic;
    QByteArray payload;
};

class Subscriber
{
public:
    explicit Subscriber(int port, const QStringList &extra = {}, const QString &topic = QStringLiteral("#"))
    {
        m_process.start(QStringLiteral("mosquitto_sub"),
                        QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                    QString::number(port), QStringLiteral("-t"), topic, QStringLiteral("-F"),
                                    QStringLiteral("%r\t%t\t%p")}
                            + extra);
        m_process.waitForStarted();
    }
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QVector<Message> messages()
    {
        m_buffer += m_process.readAllStandardOutput();
        int end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QList<QByteArray> parts = m_buffer.left(end).split('\t');
            if (parts.size() >= 3)
                m_messages.push_back({parts[0] == "1", QString::fromUtf8(parts[1]),
                                      m_buffer.left(end).mid(parts[0].size() + parts[1].size() + 2)});
            m_buffer.remove(0, end + 1);
        }
        return m_messages;
    }
    QVector<Message> on(const QString &topic)
    {
        QVector<Message> found;
        for (const Message &m : messages()) {
            if (m.topic == topic)
                found.push_back(m);
        }
        return found;
    }

private:
    QProcess m_process;
    QByteArray m_buffer;
    QVector<Message> m_messages;
};

} // namespace MqttBroker
