#pragma once

#include "base/regularfile.h"

#include <QFile>
#include <QString>

#include <memory>

// A new file written whole or not at all: the bytes go to a hidden file of
// its own in the same folder (".<name>.part-XXXXXX"), which takes the name
// only when commit() is called. A writer killed on the way leaves no file
// under the name, only the part file; one that gives up removes it. The name
// is never taken from a file that appeared meanwhile.
class NewFile
{
public:
    // `replacing`: the name may be taken from a regular file that has it,
    // never from anything else.
    explicit NewFile(const QString &fileName, bool replacing = false);
    ~NewFile();   // removes the part file unless committed
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // Creates the part file, with the permissions a new file would get.
    bool open(QString *error = nullptr);
    QFile &file() { return m_file; }
    // Closes the part file and gives it the name; false (with the reason)
    // when what was written cannot be kept or the name was taken meanwhile.
    bool commit(QString *error = nullptr);
    // Closes and removes the part file.
    void discard();

    QString partName() const { return m_partName; }

private:
    QString m_name;
    QString m_partName;
    QFile m_file;
    bool m_replacing = false;
    bool m_committed = false;
};

// An output the user names, to be written whole (an export) or as it goes (a
// run): a file, or with RegularFile::Accept::Streams also a named pipe a
// program reads, a character device such as /dev/null, or standard output
// for "-". Opening never waits for anyone. An existing file is appended to;
// a new one written whole goes under a hidden name (NewFile) until commit(),
// one written as it goes is made under its name. A write that fails puts a
// file back to its length at the last keep() (at open() until then): an
// export appended to a user's file leaves it as it was, a run written as it
// goes ends with its last whole record.
//
// A document (a report, a picture) is written Replacing: a regular file, new
// or not, is written under a hidden name and takes the name whole, with the
// permissions of the file it replaces; a symbolic link is followed and its
// target replaced, the link kept. A pipe or a device is written in place
// and never replaced, whatever the mode.
class OutputFile
{
public:
    enum class Mode { Whole, AsItGoes, Replacing };

    // Every byte of a document to `name` (Replacing; "-" and streams
    // taken), or false with the reason.
    static bool writeDocument(const QString &name, const QByteArray &bytes, QString *error);

    OutputFile(const QString &name, Mode mode, RegularFile::Accept accept = RegularFile::Accept::RegularFiles);
    ~OutputFile();   // discards what was not committed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool open(QString *error = nullptr);
    // A new file, or a stream: what is written is all the reader gets, so it
    // begins with the head of its format.
    bool startsEmpty() const { return m_startsEmpty; }
    bool isStandardOutput() const { return m_name == QLatin1String("-"); }

    // Writes every byte; false with the system's reason, after putting the
    // file back to its length at the last keep().
    bool write(const QByteArray &bytes, QString *error = nullptr);
    // What is in the file now stays, whatever fails later.
    void keep();
    // The last failed write found no reader (a closed pipe, standard output
    // of `| head`), or gave up waiting for a slow one because the program
    // was asked to stop: no fault of the output either way.
    bool readerGone() const { return m_readerGone; }

    // A pipe or a device is written only as fast as its reader takes it:
    // while it waits, a byte readable on `fd` (a signal's self-pipe) ends
    // the wait and the write. -1: no such descriptor.
    static void setWakeDescriptor(int fd);

    // Finishes the output: a new file takes its name. False with the reason
    // when what was written cannot be kept; a file appended to is then put
    // back as at the last keep().
    bool commit(QString *error = nullptr);
    // Gives up: a new file is removed, an appended one put back.
    void discard();

private:
    bool fail(int error, QString *reason);
    void rollBack();

    QString m_name;
    Mode m_mode;
    RegularFile::Accept m_accept;
    std::unique_ptr<NewFile> m_part;
    QFile m_file;
    int m_fd = -1;
    bool m_startsEmpty = false;
    bool m_regular = false;   // a regular file that may be cut back
    bool m_stream = false;    // a pipe or a device, written as its reader takes it
    qint64 m_kept = 0;
    bool m_readerGone = false;
    bool m_done = false;
};
