#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <functional>

class JournalFile;
class Setting;

// The size cap of the run journal: the oldest finished runs are removed
// while the database is bigger than the cap, only runs older than the newest
// finished one, never a run that goes on nor the run that has just ended;
// the file shrinks.
class JournalRetention
{
public:
    static constexpr qint64 kDefaultSizeCap = qint64(2048) << 20;
    static constexpr qint64 kLargestSizeCapMB = qint64(1) << 24;   // 16 TiB
    // Settings key of the size cap, in MiB.
    static QString sizeCapKey();
    // The cap the settings file sets; the default when the key is not set,
    // or when its value is not a whole number of MiB from 1 to
    // kLargestSizeCapMB (that value in *badValue, else it is cleared).
    static qint64 sizeCapFromSettings(const Setting &settings, QString *badValue);
    // The tip line's text about such a value.
    static QString badSizeCapMessage(const QString &value);

    explicit JournalRetention(JournalFile &file) : m_file(file) {}

    void setSizeCap(qint64 bytes) { m_sizeCap = bytes; }
    qint64 sizeCap() const { return m_sizeCap; }
    // Removes runs through `remove` while the database is over the cap,
    // never `keep`; how many went.
    int apply(qint64 keep, const std::function<bool(qint64)> &remove);
    // Runs removed since last asked, and the tip line's text.
    int takeRemovedRuns();
    QString removedRunsMessage(int runs) const;
    // True once, the first time the runs that must be kept were found over
    // the cap; and the tip line's text.
    bool takeOverCap();
    QString overCapMessage() const;

private:
    JournalFile &m_file;
    qint64 m_sizeCap = kDefaultSizeCap;
    int m_removed = 0;
    bool m_overCap = false, m_overCapSaid = false;
};
