#pragma once

#include <QObject>
#include <QString>

// Single keys of the settings file usb-hid.ini in the current working
// directory. Every call opens the file afresh, so a value written is on disk
// when write() returns and another instance's write is seen by the next read.
// Keys match without regard to letter case ("language" and "Language" are one
// entry), as users of the file have always written them both ways.
class Setting : public QObject
{
    Q_OBJECT
public:
    explicit Setting(QObject *parent = nullptr);

    // Path of the file at this moment: the working directory + "/usb-hid.ini".
    static QString filePath();

    QString read(const QString &key) const;
    void write(const QString &key, const QString &value);
    void remove(const QString &key);
};
