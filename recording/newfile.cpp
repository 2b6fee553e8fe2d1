#include "recording/newfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

NewFile::NewFile(const QString &fileName, bool replacing) : m_name(fileName), m_replacing(replacing) {}

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
    if (m_replacing) {
        // Only a regular file gives up its name; a pipe, a device or a
        // folder that took it meanwhile stays.
        struct stat st;
        if (::lstat(to.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return fail(qt_error_string(EEXIST));
        if (::rename(from.constData(), to.constData()) != 0)
            return fail(qt_error_string(errno));
        m_committed = true;
        m_partName.clear();
        return true;
    }
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

namespace {
int g_wakeFd = -1;

// The file a name stands for: symbolic links followed, even to a target
// that does not exist yet.
QString followLinks(const QString &name)
{
    QString path = name;
    for (int depth = 0; depth < 40 && QFileInfo(path).isSymLink(); ++depth)
        path = QFileInfo(path).symLinkTarget();
    return path;
}
} // namespace

bool OutputFile::writeDocument(const QString &name, const QByteArray &bytes, QString *error)
{
    OutputFile out(name, Mode::Replacing, RegularFile::Accept::Streams);
    if (!out.open(error) || !out.write(bytes, error))
        return false;
    return out.commit(error);
}

void OutputFile::setWakeDescriptor(int fd)
{
    g_wakeFd = fd;
}

OutputFile::OutputFile(const QString &name, Mode mode, RegularFile::Accept accept)
    : m_name(name), m_mode(mode), m_accept(accept)
{
}

OutputFile::~OutputFile()
{
    if (!m_done)
        discard();
}

bool OutputFile::open(QString *error)
{
    m_done = false;
    m_readerGone = false;
    if (isStandardOutput() && m_accept == RegularFile::Accept::Streams) {
        m_fd = STDOUT_FILENO;
        m_startsEmpty = true;
        m_regular = false;   // the caller's file: never cut
        struct stat st;
        m_stream = ::fstat(m_fd, &st) == 0 && !S_ISREG(st.st_mode);
        return true;
    }
    if (m_mode == Mode::Replacing) {
        const QString target = followLinks(m_name);
        struct stat st;
        const bool exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
        if (!exists || S_ISREG(st.st_mode)) {
            m_part.reset(new NewFile(target, true));
            if (!m_part->open(error)) {
                m_part.reset();
                return false;
            }
            m_fd = m_part->file().handle();
            if (exists)
                ::fchmod(m_fd, st.st_mode & 07777);
            m_startsEmpty = true;
            m_regular = false;
            m_stream = false;
            m_kept = 0;
            return true;
        }
        // A pipe or a device: written in place, below.
    }
    const QFileInfo info(m_name);
    if (m_mode == Mode::Whole && !info.exists() && !info.isSymLink()) {
        // Written under a name of its own, and given its name whole.
        m_part.reset(new NewFile(m_name));
        if (!m_part->open(error)) {
            m_part.reset();
            return false;
        }
        m_fd = m_part->file().handle();
        m_startsEmpty = true;
        m_regular = false;   // removed rather than cut
        m_stream = false;
        m_kept = 0;
        return true;
    }
    const bool existed = info.exists();
    m_file.setFileName(m_name);
    QString reason;
    switch (RegularFile::open(m_file, QIODevice::WriteOnly | QIODevice::Append, &reason, m_accept)) {
    case RegularFile::Opened::Yes:
        break;
    case RegularFile::Opened::NotRegular:
        if (error)
            *error = !reason.isEmpty()
                         ? reason
                         : QCoreApplication::translate("saveDataDeal", "不是普通文件（例如命名管道或设备）");
        return false;
    case RegularFile::Opened::Failed:
        if (error)
            *error = reason;
        return false;
    }
    m_fd = m_file.handle();
    struct stat st;
    m_regular = ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode);
    m_stream = !m_regular;
    m_startsEmpty = !existed || !m_regular;
    m_kept = m_regular ? qint64(st.st_size) : 0;
    return true;
}

bool OutputFile::write(const QByteArray &bytes, QString *error)
{
    if (m_fd < 0)
        return fail(EBADF, error);
    const char *p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        size_t chunk = left;
        if (m_stream && g_wakeFd >= 0) {
            // Room for a chunk first, so a reader that stops reading never
            // holds the program beyond its wake-up.
            pollfd wait[2] = {{m_fd, POLLOUT, 0}, {g_wakeFd, POLLIN, 0}};
            if (::poll(wait, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return fail(errno, error);
            }
            if (wait[1].revents & POLLIN) {
                fail(EINTR, error);
                m_readerGone = true;
                return false;
            }
            chunk = std::min<size_t>(left, PIPE_BUF);
        }
        const ssize_t n = ::write(m_fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // Standard output left non-blocking by whoever gave it.
                pollfd wait{m_fd, POLLOUT, 0};
                ::poll(&wait, 1, -1);
                continue;
            }
            return fail(errno, error);
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

void OutputFile::keep()
{
    struct stat st;
    if (m_regular && ::fstat(m_fd, &st) == 0)
        m_kept = qint64(st.st_size);
}

bool OutputFile::fail(int code, QString *reason)
{
    m_readerGone = code == EPIPE;
    if (reason)
        *reason = qt_error_string(code);
    rollBack();
    return false;
}

void OutputFile::rollBack()
{
    // A file that cannot be cut back stays as it is; the failure that led
    // here is said anyway.
    if (m_regular && m_fd >= 0 && ::ftruncate(m_fd, m_kept) != 0)
        m_regular = false;
}

bool OutputFile::commit(QString *error)
{
    m_done = true;
    if (m_part) {
        const bool kept = m_part->commit(error);
        m_part.reset();
        m_fd = -1;
        return kept;
    }
    m_fd = -1;
    if (!m_file.isOpen())
        return true;   // standard output stays open
    // A file on a network that refuses what was written says so at close.
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    return true;
}

void OutputFile::discard()
{
    m_done = true;
    if (m_part) {
        m_part->discard();
        m_part.reset();
    } else {
        rollBack();
        m_file.close();
    }
    m_fd = -1;
}
