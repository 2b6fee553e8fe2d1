#pragma once

#include "base/regularfile.h"
#include "recording/runsinks.h"

#include <QString>
#include <QUrl>

#include <limits>
#include <memory>

class QThread;

// InfluxDB line protocol of the run (OutputValues::appendLine), one line a
// record, to a file, a pipe or standard output, as Telegraf's `execd` and
// `tail` inputs read it.
class InfluxFileRunSink : public LineFileRunSink
{
public:
    InfluxFileRunSink(const QString &fileName, RegularFile::Accept accept = RegularFile::Accept::RegularFiles)
        : LineFileRunSink(fileName, accept)
    {
    }

protected:
    void lines(QByteArray &out, const LiveRun &run, int first) const override;
};

// Where the points are posted: an InfluxDB server's 1.x write endpoint
// (`/write?db=DB`, which 2.x serves too), with a user and password or a token.
struct InfluxSettings {
    QUrl url;            // the server, e.g. http://127.0.0.1:8086 (a path before /write is kept)
    QString database;
    QString user;
    QString password;    // with user: HTTP basic authentication
    QString token;       // "Authorization: Token …" (2.x)
    // Points waiting while the server cannot take them; beyond it the oldest go.
    int maxQueuedPoints = 10000;
    // A batch goes at most this often.
    int batchIntervalMs = 1000;

    // An http:// or https:// URL without credentials in it; false with the reason.
    static bool parseUrl(const QString &text, QUrl *url, QString *error);
    // The write endpoint's URL.
    QUrl writeUrl() const;
};

// The run's records posted to InfluxDB in batches by a thread of its own, so
// the run's tick only hands lines over. While the server is refused, slow or
// gone the points wait in a bounded queue (the oldest dropped, and counted,
// when it is full) and the post is tried again after 1, 2, 4 … 30 s. Its
// status is a fault while posts fail ("connection refused", "wrong user,
// password or token", …), Ok again after a post went through; it is brought
// up to date at each record, or by refresh().
class InfluxHttpSink : public RunSink
{
public:
    explicit InfluxHttpSink(const InfluxSettings &settings);
    ~InfluxHttpSink() override;

    void begun(const LiveRun &run) override;
    void recorded(const LiveRun &run) override;
    void ended(const LiveRun &run) override;
    // A bench's meter: its lines tagged with its role too.
    void setRole(const QString &role) { m_role = role; }
    // Further lines (a bench's pairs) into the same batches.
    void post(QList<QByteArray> lines);
    qint64 taken() const override { return std::numeric_limits<qint64>::max(); }

    // Takes the posting thread's state into status().
    void refresh();
    // Waits up to `ms` for every queued point to be posted (at the end of a
    // command); what is left is dropped. True when none was left.
    bool drain(int ms);

    struct Counters {
        qint64 sent = 0;      // points the server took
        qint64 dropped = 0;   // points that could not be sent (queue full, left at the end)
        qint64 refused = 0;   // points the server will never take (a line it cannot store)
        QString refusal;      // what the server said of the first it refused
        qint64 queued = 0;
    };
    Counters counters() const;
    const InfluxSettings &settings() const { return m_settings; }

    class Poster;

private:
    InfluxSettings m_settings;
    QByteArray m_tags;
    QString m_role;
    qint64 m_taken = 0;
    QThread *m_thread = nullptr;
    Poster *m_poster = nullptr;
};
