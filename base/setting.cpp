#include "base/setting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <memory>

namespace {

// What the file on disk was like when it was last read or written: another
// program's change (an editor, a second copy of this one) shows in one of
// these, and so does a move to another working directory.
struct Stamp {
    bool exists = false;
    bool special = false;   // neither a regular file nor a directory
    bool directory = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const Stamp &o) const
    {
        return exists == o.exists && special == o.special && directory == o.directory && device == o.device
               && inode == o.inode
               && size == o.size && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

Stamp stampOf(const QString &path)
{
    Stamp s;
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.special = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
    s.directory = S_ISDIR(st.st_mode);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    return s;
}

// Whether the file holds binary data rather than the text of a settings
// file: a NUL byte among its first 64 KiB. Read without waiting for anyone.
bool holdsBinary(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[64 * 1024];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return got > 0 && std::memchr(buffer, 0, size_t(got)) != nullptr;
}

// A change to write: a value, or the key's removal.
struct Change {
    QString key;
    std::optional<QString> value;
};

// Writes of an unusually large file, in a thread of their own: the file is
// copied beside itself, the changes are made to the copy by a QSettings of
// its own, and the copy takes the file's place when it is complete. The
// window's thread never waits for the file to be parsed or rewritten.
class BackgroundWriter
{
public:
    ~BackgroundWriter()
    {
        flush();
        {
            std::lock_guard<std::mutex> l(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void post(const QString &path, const std::vector<Change> &changes)
    {
        std::lock_guard<std::mutex> l(m_lock);
        for (const Change &c : changes)
            m_queue.push_back({path, c});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
        m_wake.notify_all();
    }

    // Whether a write of `path` waits or is under way.
    bool pending(const QString &path)
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_busyPath == path || queuedLocked(path);
    }

    // Whether a write of `path` waits.
    bool queued(const QString &path)
    {
        std::lock_guard<std::mutex> l(m_lock);
        return queuedLocked(path);
    }

    void flush()
    {
        std::unique_lock<std::mutex> l(m_lock);
        m_idle.wait(l, [this] { return m_queue.empty() && m_busyPath.isEmpty(); });
    }

    // Called when a write of `path` is on disk, with the store's lock free.
    std::function<void(const QString &path)> written;

private:
    bool queuedLocked(const QString &path) const
    {
        for (const auto &q : m_queue) {
            if (q.first == path)
                return true;
        }
        return false;
    }

    void loop()
    {
        std::unique_lock<std::mutex> l(m_lock);
        for (;;) {
            m_wake.wait(l, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            // Every change waiting for the same file, in one rewrite.
            const QString path = m_queue.front().first;
            std::vector<Change> changes;
            while (!m_queue.empty() && m_queue.front().first == path) {
                changes.push_back(m_queue.front().second);
                m_queue.pop_front();
            }
            m_busyPath = path;
            l.unlock();
            rewrite(path, changes);
            if (written)
                written(path);
            l.lock();
            m_busyPath.clear();
            if (m_queue.empty())
                m_idle.notify_all();
        }
    }

    static void rewrite(const QString &path, const std::vector<Change> &changes)
    {
        // A link is followed: the file it names is replaced, the link stays.
        const QFileInfo info(path);
        const QString target = info.isSymLink() ? info.canonicalFilePath() : path;
        if (target.isEmpty())
            return;
        static int serial = 0;
        const QString copy = QFileInfo(target).absolutePath()
                             + QStringLiteral("/.usb-hid.ini.%1-%2").arg(::getpid()).arg(++serial);
        QFile::remove(copy);
        if (!QFile::copy(target, copy))
            return;
        {
            QSettings settings(copy, QSettings::IniFormat);
            for (const Change &c : changes) {
                if (c.value)
                    settings.setValue(c.key, *c.value);
                else
                    settings.remove(c.key);
            }
            settings.sync();
            if (settings.status() != QSettings::NoError) {
                QFile::remove(copy);
                return;
            }
        }
        if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(target).constData()) != 0)
            QFile::remove(copy);
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::pair<QString, Change>> m_queue;
    QString m_busyPath;
    bool m_stop = false;
    std::thread m_thread;
};

// The file, read once and kept for as long as it does not change on disk:
// a read costs a look at the file, not a parse of it and a list of all its
// keys. Writes go through the same settings object and reach the disk at once.
struct Store {
    QString path;
    Stamp stamp;
    Setting::Problem problem = Setting::Problem::None;
    std::unique_ptr<QSettings> settings;   // none while the name is refused
    QHash<QString, QString> spellings;     // lower-case key -> the file's spelling
    // A large file's changes not read back from it: the stored spelling's
    // lower case -> the value, or none for a removed key.
    QHash<QString, std::optional<QString>> changed;

    bool refused() const
    {
        return problem == Setting::Problem::Special || problem == Setting::Problem::Directory
               || problem == Setting::Problem::NotSettings;
    }

    // The store for the file's present path and state.
    void refresh(BackgroundWriter &writer)
    {
        const QString now = Setting::filePath();
        if (now == path && (settings || refused())) {
            // The program's own rewrite in the background is no change.
            if (problem == Setting::Problem::Large && writer.pending(now))
                return;
            if (stampOf(now) == stamp)
                return;
        }
        path = now;
        stamp = stampOf(now);
        settings.reset();
        spellings.clear();
        changed.clear();
        problem = Setting::Problem::None;
        // A named pipe would hold the reader until someone writes to it.
        if (stamp.special) {
            problem = Setting::Problem::Special;
            return;
        }
        // QSettings would take a folder for an empty file and never write it.
        if (stamp.directory) {
            problem = Setting::Problem::Directory;
            return;
        }
        if (stamp.exists && stamp.size > Setting::kLargeFileBytes) {
            // Megabytes of binary data are no settings file: they are left
            // as they are, unparsed, and the program goes by its defaults.
            if (holdsBinary(path)) {
                problem = Setting::Problem::NotSettings;
                return;
            }
            problem = Setting::Problem::Large;
        }
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        index();
    }

    QString value(const QString &stored) const
    {
        const auto c = changed.constFind(stored.toLower());
        if (c != changed.constEnd())
            return c->value_or(QString());
        return settings->value(stored).toString();
    }

    void index()
    {
        spellings.clear();
        // The first spelling in the file's order wins, as a lookup through
        // the list of keys would find it.
        const QStringList keys = settings->allKeys();
        for (const QString &k : keys) {
            const QString lower = k.toLower();
            if (!spellings.contains(lower))
                spellings.insert(lower, k);
        }
    }

    // The stored spelling of `key`, or `key` itself when the file has no such
    // entry. An exact match wins over one that differs in case.
    QString storedKey(const QString &key) const
    {
        if (settings->contains(key))
            return key;
        return spellings.value(key.toLower(), key);
    }

    // After a change: on disk now, and known as this program's own.
    void saved()
    {
        settings->sync();
        if (settings->status() == QSettings::AccessError) {
            // Not written: the next access reads what the disk holds.
            settings.reset();
            path.clear();
            return;
        }
        stamp = stampOf(path);
    }
};

QMutex g_lock;
Store g_store;

BackgroundWriter &writer()
{
    static BackgroundWriter w;
    static const bool hooked = [] {
        // Before the application's globals go, QSettings' among them: the
        // rewrite under way ends while they are there.
        qAddPostRoutine([] { writer().flush(); });
        // Once the program's own rewrite is on disk, its new state is the
        // one known, so it is not read anew.
        w.written = [](const QString &path) {
            const QMutexLocker locker(&g_lock);
            if (g_store.path == path && g_store.problem == Setting::Problem::Large && !w.queued(path))
                g_store.stamp = stampOf(path);
        };
        return true;
    }();
    (void)hooked;
    return w;
}

void refresh()
{
    g_store.refresh(writer());
}

} // namespace

Setting::Setting(QObject *parent) : QObject(parent) {}

QString Setting::filePath()
{
    return QDir::currentPath() + QStringLiteral("/usb-hid.ini");
}

QString Setting::refusedFile()
{
    const QMutexLocker locker(&g_lock);
    refresh();
    return g_store.settings ? QString() : g_store.path;
}

Setting::Problem Setting::problem()
{
    const QMutexLocker locker(&g_lock);
    refresh();
    return g_store.problem;
}

void Setting::flush()
{
    writer().flush();
}

QString Setting::read(const QString &key) const
{
    const QMutexLocker locker(&g_lock);
    refresh();
    if (!g_store.settings)
        return QString();
    return g_store.value(g_store.storedKey(key));
}

void Setting::write(const QString &key, const QString &value)
{
    write(std::vector<std::pair<QString, QString>>{{key, value}});
}

void Setting::write(const std::vector<std::pair<QString, QString>> &values)
{
    const QMutexLocker locker(&g_lock);
    refresh();
    if (!g_store.settings || values.empty())
        return;
    std::vector<Change> changes;
    for (const auto &kv : values) {
        const QString stored = g_store.storedKey(kv.first);
        if (!g_store.spellings.contains(stored.toLower()))
            g_store.spellings.insert(stored.toLower(), stored);
        if (g_store.problem == Problem::Large) {
            g_store.changed.insert(stored.toLower(), kv.second);
            changes.push_back({stored, kv.second});
        } else {
            g_store.settings->setValue(stored, kv.second);
        }
    }
    if (g_store.problem == Problem::Large)
        writer().post(g_store.path, changes);
    else
        g_store.saved();
}

void Setting::remove(const QString &key)
{
    const QMutexLocker locker(&g_lock);
    refresh();
    if (!g_store.settings)
        return;
    auto matches = [&key](const QString &k) {
        return k.compare(key, Qt::CaseInsensitive) == 0 || k.startsWith(key + QLatin1Char('/'), Qt::CaseInsensitive);
    };
    if (g_store.problem == Problem::Large) {
        std::vector<Change> changes;
        for (const QString &k : g_store.spellings) {
            if (matches(k)) {
                g_store.changed.insert(k.toLower(), std::nullopt);
                changes.push_back({k, std::nullopt});
            }
        }
        if (!changes.empty())
            writer().post(g_store.path, changes);
        return;
    }
    const QStringList keys = g_store.settings->allKeys();
    for (const QString &k : keys) {
        if (matches(k))
            g_store.settings->remove(k);
    }
    g_store.index();
    g_store.saved();
}
