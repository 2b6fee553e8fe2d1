#pragma once

#include <QFile>
#include <QString>

// A new file written whole or not at all: the bytes go to a hidden file of
// its own in the same folder (".<name>.part-XXXXXX"), which takes the name
// only when commit() is called. A writer killed on the way leaves no file
// under the name, only the part file; one that gives up removes it. The name
// is never taken from a file that appeared meanwhile.
class NewFile
{
public:
    explicit NewFile(const QString &fileName);
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
    bool m_committed = false;
};
