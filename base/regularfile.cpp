#include "base/regularfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

namespace {
bool special(const struct stat &st)
{
    return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}
} // namespace

bool isSpecial(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && special(st);
}

Opened open(QFile &file, QIODevice::OpenMode mode, QString *error, Accept accept)
{
    const QByteArray name = QFile::encodeName(file.fileName());
    const bool writing = mode & QIODevice::WriteOnly;
    const bool streams = writing && accept == Accept::Streams;
    auto stream = [](const struct stat &st) { return S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode); };
    // A pipe is not even opened; should one take the name after this look,
    // the open below neither waits for it nor keeps it.
    struct stat st;
    if (::stat(name.constData(), &st) == 0 && special(st) && !(streams && stream(st)))
        return Opened::NotRegular;
    const int flags = (writing ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        // Opening a pipe for writing while nobody reads it.
        if (errno == ENXIO) {
            if (streams && error)
                *error = QCoreApplication::translate("RegularFile", "命名管道没有读取方");
            return Opened::NotRegular;
        }
        if (error)
            *error = qt_error_string(errno);
        return Opened::Failed;
    }
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || (streams && stream(st)))) {
        ::close(fd);
        if (S_ISDIR(st.st_mode)) {
            if (error)
                *error = qt_error_string(EISDIR);
            return Opened::Failed;
        }
        return Opened::NotRegular;
    }
    // Files never block, and a stream's reader sets its pace as a pipe's
    // does; the flag only mattered for the open.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A stream cannot seek to its end; O_APPEND is set on it anyway.
    const QIODevice::OpenMode qtMode = S_ISREG(st.st_mode) ? mode : mode & ~QIODevice::Append;
    if (!file.open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return Opened::Failed;
    }
    return Opened::Yes;
}

bool readSmall(const QString &name, QByteArray *data, QString *reason)
{
    QFile file(name);
    if (!QFileInfo::exists(name)) {
        *reason = QStringLiteral("no such file");
        return false;
    }
    QString error;
    if (open(file, QIODevice::ReadOnly, &error) != Opened::Yes) {
        *reason = error.isEmpty() ? QStringLiteral("not a regular file") : error;
        return false;
    }
    *data = file.read(1 << 20);
    return true;
}

bool readSecret(const QString &name, QString *secret, QString *reason)
{
    QByteArray text;
    if (!readSmall(name, &text, reason))
        return false;
    const int end = text.indexOf('\n');
    if (end >= 0)
        text.truncate(end);
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty()) {
        *reason = QStringLiteral("empty");
        return false;
    }
    *secret = QString::fromUtf8(text);
    return true;
}

} // namespace RegularFile
