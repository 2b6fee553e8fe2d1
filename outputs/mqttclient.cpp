#include "outputs/mqttclient.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kFirstBackoffMs = 1000;
constexpr int kLongestBackoffMs = 30000;
// A connection that has not been accepted in this time is given up and tried again.
constexpr int kConnectTimeoutMs = 10000;
constexpr int kEventsKept = 16;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}
} // namespace

struct MqttClient::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    MqttSettings settings;
    QByteArray clientId;
    mosquitto *mosq = nullptr;
    std::thread thread;
    bool threadDone = false;

    // Under the mutex.
    QObject *owner = nullptr;
    MqttClient *client = nullptr;
    MqttStatus status;
    QVector<MqttMessage> retained;
    std::deque<MqttMessage> events;
    int connackCode = -1;
    bool stop = false;

    std::atomic<bool> connected{false};
    std::atomic<int> unwritten{0};   // handed to the library, not yet written (QoS 0) or acknowledged
    std::atomic<qint64> offered{0}, written{0}, dropped{0};

    void setStatus(MqttStatus::Kind kind, const QString &detail = QString())
    {
        std::lock_guard<std::mutex> lock(mutex);
        const MqttStatus next{kind, detail};
        if (next == status)
            return;
        status = next;
        if (owner) {
            MqttClient *c = client;
            QMetaObject::invokeMethod(owner, [c, next] { emit c->statusChanged(next); }, Qt::QueuedConnection);
        }
    }

    // False when the library refused the message (it is not sent).
    bool send(const MqttMessage &m)
    {
        unwritten.fetch_add(1);
        if (mosquitto_publish(mosq, nullptr, m.topic.constData(), m.payload.size(), m.payload.constData(), m.qos,
                              m.retain)
            == MOSQ_ERR_SUCCESS)
            return true;
        unwritten.fetch_sub(1);
        return false;
    }

    // Waits up to `ms` unless told to stop.
    void pause(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop; });
    }

    bool stopping()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stop;
    }

    void run();
};

namespace {
MqttClient::Shared *sharedOf(void *p)
{
    return static_cast<MqttClient::Shared *>(p);
}

void onConnect(mosquitto *, void *p, int code)
{
    auto *s = sharedOf(p);
    if (code != 0) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->connackCode = code;
        return;
    }
    s->unwritten = 0;
    QVector<MqttMessage> retained;
    std::deque<MqttMessage> events;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        retained = s->retained;
        events.swap(s->events);
    }
    s->connected = true;
    for (const MqttMessage &m : retained)
        s->send(m);
    for (const MqttMessage &m : events)
        s->send(m);
    s->setStatus(MqttStatus::Connected);
}

void onDisconnect(mosquitto *, void *p, int)
{
    sharedOf(p)->connected = false;
}

void onPublish(mosquitto *, void *p, int)
{
    auto *s = sharedOf(p);
    if (s->unwritten.fetch_sub(1) <= 0)
        s->unwritten = 0;
    s->written.fetch_add(1);
    std::lock_guard<std::mutex> lock(s->mutex);
    s->changed.notify_all();
}
} // namespace

void MqttClient::Shared::run()
{
    const QByteArray host = settings.host.toUtf8();
    int backoff = kFirstBackoffMs;
    bool said = false;
    while (!stopping()) {
        if (!said)
            setStatus(MqttStatus::Connecting);
        said = true;
        {
            std::lock_guard<std::mutex> lock(mutex);
            connackCode = -1;
        }
        errno = 0;
        int rc = mosquitto_connect_async(mosq, host.constData(), settings.port, settings.keepAliveSeconds);
        int error = errno;
        bool accepted = false;
        const Clock::time_point begun = Clock::now();
        while (rc == MOSQ_ERR_SUCCESS && !stopping()) {
            if (connected)
                accepted = true;
            if (!accepted
                && Clock::now() - begun > std::chrono::milliseconds(kConnectTimeoutMs)) {
                rc = MOSQ_ERR_ERRNO;
                error = ETIMEDOUT;
                break;
            }
            errno = 0;
            rc = mosquitto_loop(mosq, 1000, 1);
            error = errno;
        }
        if (stopping() && rc == MOSQ_ERR_SUCCESS)
            break;
        connected = false;
        int connack;
        {
            std::lock_guard<std::mutex> lock(mutex);
            connack = connackCode;
        }
        if (connack == 4 || connack == 5) {
            setStatus(MqttStatus::WrongPassword, QString::fromUtf8(mosquitto_connack_string(connack)));
        } else if (connack > 0) {
            setStatus(MqttStatus::Refused, QString::fromUtf8(mosquitto_connack_string(connack)));
        } else if (rc == MOSQ_ERR_TLS) {
            setStatus(MqttStatus::TlsFailed);
        } else if (rc == MOSQ_ERR_EAI) {
            setStatus(MqttStatus::Unreachable, QStringLiteral("the host name does not resolve"));
        } else if (rc == MOSQ_ERR_ERRNO && error == ECONNREFUSED) {
            setStatus(MqttStatus::Refused);
        } else if (rc == MOSQ_ERR_ERRNO && error != 0) {
            setStatus(MqttStatus::Unreachable, QString::fromLocal8Bit(std::strerror(error)));
        } else if (rc == MOSQ_ERR_KEEPALIVE) {
            // The library has no words of its own for it ("Unknown error.").
            setStatus(MqttStatus::Unreachable, QStringLiteral("the broker stopped answering its keep-alive"));
        } else {
            setStatus(MqttStatus::Unreachable, QString::fromUtf8(mosquitto_strerror(rc)));
        }
        if (stopping())
            break;
        // Closes what is left of the attempt before the next.
        mosquitto_disconnect(mosq);
        if (accepted)
            backoff = kFirstBackoffMs;
        pause(backoff);
        backoff = std::min(backoff * 2, kLongestBackoffMs);
    }
    // A clean end: no last will.
    if (connected) {
        mosquitto_disconnect(mosq);
        for (int i = 0; i < 10 && mosquitto_loop(mosq, 100, 1) == MOSQ_ERR_SUCCESS; ++i) {
        }
    }
    connected = false;
    mosquitto_destroy(mosq);
    mosq = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    threadDone = true;
    changed.notify_all();
}

MqttClient::MqttClient(const MqttSettings &settings, const QString &clientId, QObject *parent)
    : QObject(parent), m_settings(settings), m_clientId(clientId), m_shared(std::make_shared<Shared>())
{
    qRegisterMetaType<MqttStatus>();
    m_shared->settings = settings;
    m_shared->clientId = clientId.toUtf8();
    m_shared->owner = this;
    m_shared->client = this;
}

MqttClient::~MqttClient()
{
    std::shared_ptr<Shared> s = m_shared;
    std::unique_lock<std::mutex> lock(s->mutex);
    s->owner = nullptr;
    s->client = nullptr;
    if (!s->thread.joinable())
        return;
    s->stop = true;
    s->changed.notify_all();
    // A name lookup or a connection under way may hold the thread: it is left
    // to end on its own rather than hold this one.
    if (s->changed.wait_for(lock, std::chrono::seconds(3), [&] { return s->threadDone; })) {
        lock.unlock();
        s->thread.join();
    } else {
        lock.unlock();
        s->thread.detach();
    }
}

void MqttClient::start(const MqttMessage &will)
{
    if (m_shared->thread.joinable())
        return;
    initLibrary();
    Shared &s = *m_shared;
    s.mosq = mosquitto_new(s.clientId.constData(), true, &s);
    mosquitto_threaded_set(s.mosq, true);
    mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(s.mosq, onConnect);
    mosquitto_disconnect_callback_set(s.mosq, onDisconnect);
    mosquitto_publish_callback_set(s.mosq, onPublish);
    if (!m_settings.user.isEmpty())
        mosquitto_username_pw_set(s.mosq, m_settings.user.toUtf8().constData(),
                                  m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    if (m_settings.tls) {
        const QByteArray ca = m_settings.caFile.toLocal8Bit();
        mosquitto_tls_set(s.mosq, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                          nullptr, nullptr, nullptr);
    }
    if (!will.topic.isEmpty())
        mosquitto_will_set(s.mosq, will.topic.constData(), will.payload.size(), will.payload.constData(), will.qos,
                           will.retain);
    std::shared_ptr<Shared> shared = m_shared;
    s.thread = std::thread([shared] { shared->run(); });
}

bool MqttClient::started() const
{
    return m_shared->thread.joinable();
}

bool MqttClient::publish(const MqttMessage &message)
{
    Shared &s = *m_shared;
    s.offered.fetch_add(1);
    if (!s.thread.joinable() || !s.connected || s.unwritten.load() >= m_settings.queueLimit) {
        s.dropped.fetch_add(1);
        return false;
    }
    // A reading the library refuses is as lost as one that found no room.
    if (!s.send(message)) {
        s.dropped.fetch_add(1);
        return false;
    }
    return true;
}

void MqttClient::setRetained(const QVector<MqttMessage> &messages)
{
    Shared &s = *m_shared;
    QVector<MqttMessage> changed;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        for (const MqttMessage &m : messages) {
            const auto same = std::find_if(s.retained.cbegin(), s.retained.cend(), [&](const MqttMessage &o) {
                return o.topic == m.topic && o.payload == m.payload;
            });
            if (same == s.retained.cend())
                changed.push_back(m);
        }
        s.retained = messages;
    }
    if (s.thread.joinable() && s.connected) {
        for (const MqttMessage &m : changed)
            s.send(m);
    }
}

void MqttClient::publishEvent(const MqttMessage &message)
{
    Shared &s = *m_shared;
    if (s.thread.joinable() && s.connected) {
        s.send(message);
        return;
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.events.push_back(message);
    while (int(s.events.size()) > kEventsKept)
        s.events.pop_front();
}

bool MqttClient::finish(const QVector<MqttMessage> &last, int timeoutMs)
{
    Shared &s = *m_shared;
    if (!s.thread.joinable())
        return false;
    bool sent = s.connected;
    if (sent) {
        for (const MqttMessage &m : last)
            s.send(m);
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    const bool delivered = s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                              [&] { return s.unwritten.load() <= 0 || !s.connected; })
                           && s.connected;
    s.stop = true;
    s.changed.notify_all();
    // The thread says goodbye to the broker and ends.
    if (s.changed.wait_for(lock, std::chrono::seconds(3), [&] { return s.threadDone; })) {
        lock.unlock();
        s.thread.join();
    }
    return sent && delivered;
}

MqttStatus MqttClient::status() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->status;
}

qint64 MqttClient::offered() const
{
    return m_shared->offered;
}

qint64 MqttClient::written() const
{
    return m_shared->written;
}

qint64 MqttClient::dropped() const
{
    return m_shared->dropped;
}
