#include "recording/newfile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

NewFile::NewFile(const QString &fileName) : m_name(fileName) {}

NewFile::~NewFile()
{
    if (!m_committed)
        discard();
}

bool NewFile::open(QString *error)
{
    const QFileInfo info(m_name);
    const QString folder = info.path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString part = folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part-")
                             + QString::number(QRandomGenerator::global()->generate() & 0xffffff, 16);
        // 0666 less the umask, as for any new file.
        const int fd = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            if (error)
                *error = qt_error_string(errno);
            return false;
        }
        m_partName = part;
        if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            if (error)
                *error = m_file.errorString();
            discard();
            return false;
        }
        return true;
    }
    if (error)
        *error = qt_error_string(EEXIST);
    return false;
}

bool NewFile::commit(QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        discard();
        return false;
    };
    if (m_partName.isEmpty())
        return fail(QStringLiteral("not open"));
    if (!m_file.flush() || ::fsync(m_file.handle()) != 0)
        return fail(m_file.error() != QFileDevice::NoError ? m_file.errorString() : qt_error_string(errno));
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        return fail(m_file.errorString());
    const QByteArray from = QFile::encodeName(m_partName), to = QFile::encodeName(m_name);
    // A file that took the name meanwhile stays as it is.
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system that cannot refuse to replace: a hard link does.
        rc = ::link(from.constData(), to.constData());
        if (rc == 0)
            ::unlink(from.constData());
        else if (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP)
            rc = QFileInfo::exists(m_name) ? (errno = EEXIST, -1) : ::rename(from.constData(), to.constData());
    }
    if (rc != 0)
        return fail(qt_error_string(errno));
    m_committed = true;
    m_partName.clear();
    return true;
}

void NewFile::discard()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_partName.isEmpty())
        ::unlink(QFile::encodeName(m_partName).constData());
    m_partName.clear();
}
