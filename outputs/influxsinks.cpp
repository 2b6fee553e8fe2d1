#include "outputs/influxsinks.h"

#include "outputs/addresstext.h"
#include "outputs/outputvalues.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <condition_variable>
#include <deque>
#include <mutex>

// ---------------------------------------------------------------- file

void InfluxFileRunSink::lines(QByteArray &out, const LiveRun &run, int first) const
{
    QByteArray tags;
    OutputValues::appendLineTags(tags, run.meter().model, run.meter().serial);
    for (int i = first; i < run.log().size(); ++i)
        OutputValues::appendLine(out, tags, run.log(), i);
}

// ---------------------------------------------------------------- settings

bool InfluxSettings::parseUrl(const QString &text, QUrl *url, QString *error)
{
    QString unsaid;
    if (!error)
        error = &unsaid;
    const QUrl u = QUrl::fromUserInput(text).isValid() && text.contains(QLatin1String("://"))
                       ? QUrl(text, QUrl::StrictMode)
                       : QUrl();
    if (!u.isValid() || (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https"))
        || u.host().isEmpty()) {
        *error = QCoreApplication::translate("InfluxSettings", "“%1”不是 http:// 或 https:// 地址").arg(AddressText::withoutPassword(text));
        return false;
    }
    if (!u.password().isEmpty()) {
        *error = QCoreApplication::translate("InfluxSettings", "地址中不能含有密码：请单独给出密码");
        return false;
    }
    if (u.hasQuery() || u.hasFragment()) {
        *error = QCoreApplication::translate("InfluxSettings", "“%1”含有查询或片段：请给出服务器的地址").arg(AddressText::withoutPassword(text));
        return false;
    }
    *url = u;
    return true;
}

QUrl InfluxSettings::writeUrl() const
{
    QUrl u = url;
    QString path = u.path();
    if (!path.endsWith(QLatin1String("/write"))) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += QLatin1String("write");
    }
    u.setPath(path);
    u.setUserName(QString());
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("db"), database);
    query.addQueryItem(QStringLiteral("precision"), QStringLiteral("ns"));
    u.setQuery(query);
    return u;
}

// ---------------------------------------------------------------- poster

// Lives in the sink's thread: posts the queued lines a batch at a time.
class InfluxHttpSink::Poster : public QObject
{
public:
    explicit Poster(const InfluxSettings &settings) : m_settings(settings)
    {
        m_request.setUrl(settings.writeUrl());
        m_request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
        m_request.setTransferTimeout(10000);
        if (!settings.token.isEmpty())
            m_request.setRawHeader("Authorization", "Token " + settings.token.toUtf8());
        else if (!settings.user.isEmpty())
            m_request.setRawHeader("Authorization",
                                   "Basic " + (settings.user + QLatin1Char(':') + settings.password).toUtf8().toBase64());
    }

    // In the thread.
    void startWork()
    {
        m_network = new QNetworkAccessManager(this);
        m_timer = new QTimer(this);
        m_timer->setInterval(m_settings.batchIntervalMs);
        connect(m_timer, &QTimer::timeout, this, &Poster::post);
        m_timer->start();
        m_clock.start();
    }
    void stopWork()
    {
        delete m_timer;
        m_timer = nullptr;
        if (m_reply) {
            m_reply->abort();
            m_reply = nullptr;
        }
        delete m_network;
        m_network = nullptr;
    }

    // From the run's thread.
    void enqueue(QList<QByteArray> &&lines)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (QByteArray &line : lines) {
            m_queue.push_back({m_nextSeq++, std::move(line)});
            if (int(m_queue.size()) > m_settings.maxQueuedPoints) {
                m_queue.pop_front();
                ++m_counters.dropped;
            }
        }
        m_counters.queued = qint64(m_queue.size());
    }
    Counters counters() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_counters;
    }
    // Empty while posts go through.
    QString fault() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fault;
    }
    // The end: posts at once, without waiting for back-off; waits for the queue to empty.
    bool drain(int ms)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_draining = true;
        }
        QMetaObject::invokeMethod(this, [this] { post(); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_queue.empty() || m_gaveUp; });
        const bool empty = m_queue.empty();
        m_counters.dropped += qint64(m_queue.size());
        m_queue.clear();
        m_counters.queued = 0;
        return empty;
    }

private:
    void post()
    {
        if (m_reply || !m_network)
            return;
        QByteArray body;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty())
                return;
            if (!m_draining && m_clock.elapsed() < m_retryAtMs)
                return;
            // A batch of up to 5000 points.
            int n = 0;
            for (auto it = m_queue.begin(); it != m_queue.end() && n < 5000; ++it, ++n) {
                body += it->second;
                m_batchLastSeq = it->first;
            }
            m_batchPoints = n;
        }
        m_reply = m_network->post(m_request, body);
        connect(m_reply, &QNetworkReply::finished, this, &Poster::posted);
    }

    void posted()
    {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->deleteLater();
        const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // A reply given up (no answer in time) is closed: nothing to read.
        const QByteArray answer = reply->isOpen() ? reply->readAll() : QByteArray();
        QString serverSays = QJsonDocument::fromJson(answer).object().value(QStringLiteral("error")).toString();
        if (serverSays.isEmpty())
            serverSays = QString::fromUtf8(answer.left(2000)).trimmed();
        QString fault;
        bool dropBatch = false;
        qint64 refused = 0;
        if (code >= 200 && code < 300) {
            dropBatch = true;
        } else if (code == 401 || code == 403) {
            fault = QStringLiteral("wrong user, password or token (HTTP %1)").arg(code);
        } else if (code == 400) {
            // Points the server will never take: trying again cannot help,
            // and the batches behind them go on at once. The server has
            // stored the others of the batch ("partial write").
            refused = refusedPoints(serverSays);
            dropBatch = true;
        } else if (code == 404) {
            fault = QStringLiteral("no such database or write endpoint (HTTP 404: %1)").arg(serverSays);
        } else if (code > 0) {
            fault = QStringLiteral("HTTP %1: %2").arg(code).arg(serverSays);
        } else if (reply->error() == QNetworkReply::OperationCanceledError) {
            // The transfer time-out: the server took the connection and
            // never answered.
            fault = QStringLiteral("the server does not answer (nothing in %1 s)")
                        .arg(m_request.transferTimeout() / 1000);
        } else {
            fault = reply->errorString();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (dropBatch) {
            int taken = 0;
            while (!m_queue.empty() && m_queue.front().first <= m_batchLastSeq) {
                m_queue.pop_front();
                ++taken;
            }
            if (code == 400) {
                refused = refused > 0 ? qMin<qint64>(refused, taken) : taken;
                m_counters.refused += refused;
                m_counters.sent += taken - refused;
                if (m_counters.refusal.isEmpty())
                    m_counters.refusal = serverSays.left(300);
            } else {
                m_counters.sent += taken;
            }
        }
        m_counters.queued = qint64(m_queue.size());
        if (fault.isEmpty()) {
            m_backoffMs = 0;
            m_retryAtMs = 0;
            m_fault.clear();
        } else {
            m_backoffMs = m_backoffMs == 0 ? 1000 : qMin<qint64>(m_backoffMs * 2, 30000);
            m_retryAtMs = m_clock.elapsed() + m_backoffMs;
            m_fault = fault;
            if (m_draining && !dropBatch)
                m_gaveUp = true;   // the end does not wait for a server that refuses
        }
        m_changed.notify_all();
        // The end, or more than a batch waiting: the next batch at once.
        if (fault.isEmpty() && !m_queue.empty() && (m_draining || int(m_queue.size()) >= 5000))
            QMetaObject::invokeMethod(this, [this] { post(); }, Qt::QueuedConnection);
        else if (m_draining && !m_queue.empty() && !m_gaveUp)
            QMetaObject::invokeMethod(this, [this] { post(); }, Qt::QueuedConnection);
    }

    // The points a 400 answer says were not stored: each line it could not
    // parse and the "dropped=N" of the others; 0 when it does not say.
    static qint64 refusedPoints(const QString &serverSays)
    {
        qint64 n = serverSays.count(QLatin1String("unable to parse"));
        static const QRegularExpression dropped(QStringLiteral("dropped=(\\d+)"));
        for (auto it = dropped.globalMatch(serverSays); it.hasNext();)
            n += it.next().captured(1).toLongLong();
        return n;
    }

    const InfluxSettings m_settings;
    QNetworkRequest m_request;
    QNetworkAccessManager *m_network = nullptr;
    QTimer *m_timer = nullptr;
    QNetworkReply *m_reply = nullptr;
    QElapsedTimer m_clock;
    qint64 m_backoffMs = 0;
    qint64 m_retryAtMs = 0;
    qint64 m_batchLastSeq = -1;
    int m_batchPoints = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<qint64, QByteArray>> m_queue;
    qint64 m_nextSeq = 0;
    Counters m_counters;
    QString m_fault;
    bool m_draining = false;
    bool m_gaveUp = false;
};

// ---------------------------------------------------------------- sink

InfluxHttpSink::InfluxHttpSink(const InfluxSettings &settings) : m_settings(settings)
{
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("influx"));
    m_poster = new Poster(settings);
    m_poster->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::started, m_poster, [this] { m_poster->startWork(); });
    m_thread->start();
}

InfluxHttpSink::~InfluxHttpSink()
{
    QMetaObject::invokeMethod(m_poster, [this] { m_poster->stopWork(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_poster;
    delete m_thread;
}

void InfluxHttpSink::begun(const LiveRun &run)
{
    m_tags.clear();
    OutputValues::appendLineTags(m_tags, run.meter().model, run.meter().serial, m_role);
    m_taken = 0;
}

void InfluxHttpSink::recorded(const LiveRun &run)
{
    QList<QByteArray> lines;
    for (qint64 r = qMax(m_taken, run.logStart()); r < run.records(); ++r) {
        QByteArray line;
        OutputValues::appendLine(line, m_tags, run.log(), int(r - run.logStart()));
        if (!line.isEmpty())
            lines << line;
    }
    m_taken = run.records();
    if (!lines.isEmpty())
        m_poster->enqueue(std::move(lines));
    refresh();
}

void InfluxHttpSink::post(QList<QByteArray> lines)
{
    if (!lines.isEmpty())
        m_poster->enqueue(std::move(lines));
}

void InfluxHttpSink::ended(const LiveRun &run)
{
    recorded(run);
}

void InfluxHttpSink::refresh()
{
    const QString fault = m_poster->fault();
    if (fault.isEmpty())
        setStatus(State::Ok);
    else
        setStatus(State::Fault, fault);
}

bool InfluxHttpSink::drain(int ms)
{
    const bool all = m_poster->drain(ms);
    refresh();
    return all;
}

InfluxHttpSink::Counters InfluxHttpSink::counters() const
{
    return m_poster->counters();
}
