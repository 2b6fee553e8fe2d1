#include "recording/journalowners.h"

#include "recording/journalfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString JournalOwners::lockPath(qint64 id, qint64 startMs) const
{
    // The start time too: a database started anew after one was moved aside
    // gives out the same ids again while the old runs' owners may live on.
    return m_file.path() + QStringLiteral(".owners/run-") + QString::number(id) + QLatin1Char('-')
           + QString::number(startMs);
}

bool JournalOwners::take(qint64 id, qint64 startMs, int &fd)
{
    QDir().mkpath(m_file.path() + QStringLiteral(".owners"));
    const QByteArray name = QFile::encodeName(lockPath(id, startMs));
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

void JournalOwners::release(qint64 id, qint64 startMs, int &fd)
{
    ::unlink(QFile::encodeName(lockPath(id, startMs)).constData());
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool JournalOwners::lives(qint64 id, qint64 startMs, bool takeOver)
{
    // A writer holds its run's lock for as long as it lives. A reader only
    // looks (a shared lock, let go at once); recovery takes the file over
    // and removes it.
    const QByteArray name = QFile::encodeName(lockPath(id, startMs));
    const int fd = ::open(name.constData(), (takeOver ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::flock(fd, (takeOver ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return true;
    }
    if (takeOver)
        ::unlink(name.constData());
    ::close(fd);
    return false;
}
