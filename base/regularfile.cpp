#include "base/regularfile.h"

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

Opened open(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    const QByteArray name = QFile::encodeName(file.fileName());
    // A pipe is not even opened; should one take the name after this look,
    // the open below neither waits for it nor keeps it.
    struct stat st;
    if (::stat(name.constData(), &st) == 0 && special(st))
        return Opened::NotRegular;
    const bool writing = mode & QIODevice::WriteOnly;
    const int flags = (writing ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        // Opening a pipe for writing while nobody reads it.
        if (errno == ENXIO)
            return Opened::NotRegular;
        if (error)
            *error = qt_error_string(errno);
        return Opened::Failed;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode)) {
            if (error)
                *error = qt_error_string(EISDIR);
            return Opened::Failed;
        }
        return Opened::NotRegular;
    }
    // Regular files never block; the flag only mattered for the open.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return Opened::Failed;
    }
    return Opened::Yes;
}

} // namespace RegularFile
