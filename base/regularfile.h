#pragma once

#include <QFile>
#include <QString>

// Files the user names: a firmware image, an export target, the settings
// file. Only regular files are taken. A named pipe opens only once another
// program opens its other end, and a device may never end, so opening either
// could hold the program for good; such a file is refused instead, and
// opening never waits for anyone.
namespace RegularFile {

// True when `path` names something that exists and is neither a regular file
// nor a directory: a pipe, a device, a socket (symbolic links are followed).
bool isSpecial(const QString &path);

enum class Opened { Yes, NotRegular, Failed };

// What a file opened for writing may be besides a regular file.
enum class Accept {
    RegularFiles,   // nothing else
    // Streams too, as a command line's output: a named pipe that a program
    // reads already, a character device (/dev/null, a terminal). A pipe
    // that nobody reads is refused at once (NotRegular, the reason in
    // `error`), never waited for.
    Streams,
};

// Opens `file` by its name: ReadOnly, or WriteOnly | Append (the file is
// created when missing). NotRegular (a pipe, a device, a socket) leaves the
// file closed and untouched; Failed (a directory among others) gives the
// system's reason in `error`.
Opened open(QFile &file, QIODevice::OpenMode mode, QString *error = nullptr, Accept accept = Accept::RegularFiles);

// A small file read whole (a megabyte at most): a CA certificate. False with
// the reason ("no such file", "not a regular file", the system's).
bool readSmall(const QString &name, QByteArray *data, QString *reason);
// A secret kept in a file: its first line without the line's end, nothing
// else taken away. False with the reason, also for an empty one ("empty").
bool readSecret(const QString &name, QString *secret, QString *reason);

} // namespace RegularFile
