#pragma once

#include <QObject>
#include <QString>

// Single keys of the settings file usb-hid.ini in the current working
// directory. The file is read once and kept while it stays as it is on disk;
// a change by another program, or a move to another working directory, is
// read anew at the next call. A value written is on disk when write() returns.
// Keys match without regard to letter case ("language" and "Language" are one
// entry), as users of the file have always written them both ways.
//
// A name taken by something else than a regular file or a directory (a named
// pipe, a device) is not opened at all: reads give empty text, as for a
// missing file, and writes are dropped.
class Setting : public QObject
{
    Q_OBJECT
public:
    explicit Setting(QObject *parent = nullptr);

    // Path of the file at this moment: the working directory + "/usb-hid.ini".
    static QString filePath();
    // filePath() when it names a file that is refused as above, else empty.
    static QString refusedFile();

    QString read(const QString &key) const;
    void write(const QString &key, const QString &value);
    void remove(const QString &key);
};
