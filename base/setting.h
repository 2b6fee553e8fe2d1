#pragma once

#include <QObject>
#include <QString>

#include <utility>
#include <vector>

// Single keys of the settings file usb-hid.ini in the current working
// directory. The file is read once and kept while it stays as it is on disk;
// a change by another program, or a move to another working directory, is
// read anew at the next call. A value written is on disk when write() returns,
// except in an unusually large file (see below).
// Keys match without regard to letter case ("language" and "Language" are one
// entry), as users of the file have always written them both ways.
//
// A name taken by something else than a regular file (a named pipe, a device,
// a directory) is not opened at all, nor is a file over kLargeFileBytes that
// holds binary data rather than text: reads give empty text, as for a missing
// file, and writes are dropped, so nothing of whatever has the name is
// touched. A settings file larger than kLargeFileBytes is read, but written in
// the background: a write returns at once, later reads see it, and flush()
// waits until it is on disk.
class Setting : public QObject
{
    Q_OBJECT
public:
    // What is wrong with the settings file at this moment, for the tip line.
    enum class Problem {
        None,
        Special,       // a named pipe, a device, a socket: not opened
        Directory,     // a folder: not opened
        NotSettings,   // megabytes of binary data: neither read nor written
        Large,         // over kLargeFileBytes: read, written in the background
    };
    static constexpr qint64 kLargeFileBytes = qint64(1) << 20;

    explicit Setting(QObject *parent = nullptr);

    // Path of the file at this moment: the working directory + "/usb-hid.ini".
    static QString filePath();
    // filePath() when it names a file that is refused as above, else empty.
    static QString refusedFile();
    static Problem problem();
    // Waits until every write made so far is on disk.
    static void flush();

    QString read(const QString &key) const;
    void write(const QString &key, const QString &value);
    // Several keys at once: one write of the file.
    void write(const std::vector<std::pair<QString, QString>> &values);
    void remove(const QString &key);
};
