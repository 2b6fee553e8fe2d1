#include "base/setting.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSettings>

#include <sys/stat.h>

#include <memory>

namespace {

// What the file on disk was like when it was last read or written: another
// program's change (an editor, a second copy of this one) shows in one of
// these, and so does a move to another working directory.
struct Stamp {
    bool exists = false;
    bool special = false;   // neither a regular file nor a directory
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const Stamp &o) const
    {
        return exists == o.exists && special == o.special && device == o.device && inode == o.inode
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
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    return s;
}

// The file, read once and kept for as long as it does not change on disk:
// a read costs a look at the file, not a parse of it and a list of all its
// keys. Writes go through the same settings object and reach the disk at once.
struct Store {
    QString path;
    Stamp stamp;
    std::unique_ptr<QSettings> settings;   // none while the name is refused
    QHash<QString, QString> spellings;     // lower-case key -> the file's spelling

    // The store for the file's present path and state.
    void refresh()
    {
        const QString now = Setting::filePath();
        const Stamp onDisk = stampOf(now);
        if (now == path && onDisk == stamp && (settings || stamp.special))
            return;
        path = now;
        stamp = onDisk;
        settings.reset();
        spellings.clear();
        // A named pipe would hold the reader until someone writes to it.
        if (stamp.special)
            return;
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        index();
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

} // namespace

Setting::Setting(QObject *parent) : QObject(parent) {}

QString Setting::filePath()
{
    return QDir::currentPath() + QStringLiteral("/usb-hid.ini");
}

QString Setting::refusedFile()
{
    const QMutexLocker locker(&g_lock);
    g_store.refresh();
    return g_store.settings ? QString() : g_store.path;
}

QString Setting::read(const QString &key) const
{
    const QMutexLocker locker(&g_lock);
    g_store.refresh();
    if (!g_store.settings)
        return QString();
    return g_store.settings->value(g_store.storedKey(key)).toString();
}

void Setting::write(const QString &key, const QString &value)
{
    const QMutexLocker locker(&g_lock);
    g_store.refresh();
    if (!g_store.settings)
        return;
    const QString stored = g_store.storedKey(key);
    g_store.settings->setValue(stored, value);
    if (!g_store.spellings.contains(stored.toLower()))
        g_store.spellings.insert(stored.toLower(), stored);
    g_store.saved();
}

void Setting::remove(const QString &key)
{
    const QMutexLocker locker(&g_lock);
    g_store.refresh();
    if (!g_store.settings)
        return;
    const QStringList keys = g_store.settings->allKeys();
    for (const QString &k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0
            || k.startsWith(key + QLatin1Char('/'), Qt::CaseInsensitive))
            g_store.settings->remove(k);
    }
    g_store.index();
    g_store.saved();
}
