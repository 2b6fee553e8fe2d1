// Debian's InfluxDB server for a test, and plain HTTP/1.0 exchanges with it:
// its ports on the loopback interface, its files in a folder of the test's,
// stopped with the test.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

// A loopback port nobody listens on now.
inline int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// One HTTP exchange on a connection of its own: the status code (0 for none)
// and the body.
struct Http {
    int code = 0;
    QByteArray body;
};

inline Http http(int port, const QByteArray &request, int timeoutMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(request);
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs) {
        socket.waitForReadyRead(100);
        answer += socket.readAll();
        const int end = answer.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QRegularExpression length(QStringLiteral("\r\n[Cc]ontent-[Ll]ength: *(\\d+)"));
            const auto m = length.match(QString::fromLatin1(answer.left(end)));
            if (m.hasMatch() && answer.size() - end - 4 >= m.captured(1).toInt())
                break;
        }
    }
    answer += socket.readAll();
    Http h;
    if (answer.startsWith("HTTP/1.")) {
        h.code = answer.mid(9, 3).toInt();
        h.body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    }
    return h;
}

inline Http get(int port, const QByteArray &target)
{
    // HTTP/1.0: the whole body as it is, never in chunks.
    return http(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

class InfluxServer
{
public:
    explicit InfluxServer(const QString &dir) : m_dir(dir), m_port(freePort()) {}
    ~InfluxServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(20000))
                m_process.kill();
        }
    }

    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QByteArray log() { return m_log += m_process.readAll(); }

    // Started and answering its ping; `auth` makes it ask for a user.
    bool start(bool auth)
    {
        if (!QDir().mkpath(m_dir))
            return false;
        QFile conf(m_dir + QStringLiteral("/influxdb.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("bind-address = \"127.0.0.1:%2\"\n"
                                  "[meta]\n  dir = \"%1/meta\"\n"
                                  "[data]\n  dir = \"%1/data\"\n  wal-dir = \"%1/wal\"\n  query-log-enabled = false\n"
                                  "[monitor]\n  store-enabled = false\n"
                                  "[http]\n  bind-address = \"127.0.0.1:%3\"\n  log-enabled = false\n"
                                  "  auth-enabled = %4\n"
                                  "[logging]\n  level = \"error\"\n")
                       .arg(m_dir)
                       .arg(freePort())
                       .arg(m_port)
                       .arg(auth ? QStringLiteral("true") : QStringLiteral("false"))
                       .toUtf8());
        conf.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStandardPaths::findExecutable(QStringLiteral("influxd")),
                        {QStringLiteral("-config"), conf.fileName()});
        if (!m_process.waitForStarted())
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000 && m_process.state() == QProcess::Running) {
            if (get(m_port, "/ping").code == 204)
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // A statement, with "u=USER&p=PASSWORD&" or nothing before the query.
    Http query(const QByteArray &statement, const QByteArray &credentials = QByteArray())
    {
        return http(m_port, "POST /query?" + credentials + "q=" + QUrl::toPercentEncoding(QString::fromUtf8(statement))
                                + " HTTP/1.0\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
    }

private:
    QString m_dir;
    int m_port;
    QProcess m_process;
    QByteArray m_log;
};
