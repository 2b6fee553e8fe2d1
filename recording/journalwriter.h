#pragma once

#include "recording/journalreader.h"
#include "recording/runstats.h"

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <map>
#include <memory>

class JournalFile;
class JournalOwners;
class ReadingLog;

// Writes the runs of this program as they are measured: a run's row at its
// beginning, its records and their blocks of statistics at each sync, its
// end and figures at its end. What cannot be written now (the database held
// by another program, a full disk) stays with the caller's log and is
// written at the next call that can.
class JournalWriter
{
public:
    JournalWriter(JournalFile &file, JournalOwners &owners);
    ~JournalWriter();
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    // A new run: its row id, or a negative handle while the database cannot
    // take it (the row is written at its first sync that can).
    qint64 begin(qint64 startWallMs, const QString &model, const QString &version, const QString &serial);
    // Writes the records of `log` (the run's records from `logStart` on) not
    // written yet. False when they could not be; `damaged` tells whether the
    // database was found damaged, for the caller to start a new one.
    bool sync(qint64 runId, const ReadingLog &log, int logStart, bool &damaged);
    // Ends a run; its row id in `ended` once the end is written.
    bool end(qint64 runId, qint64 endWallMs, const QString &reason, qint64 &ended);
    // Writes the ends that could not be written before.
    void retryEnds();
    // After the database was started anew: every run is written again from
    // its first record.
    void restartAll();
    // The database is closed: the runs' locks let go, their rows left open
    // (the next open closes them as interrupted).
    void abandonAll();

    qint64 storedId(qint64 runId) const;
    int written(qint64 runId) const;
    // A run's name and fields, written with its row (also when the row is
    // written again into a new database). False for a run not begun here.
    bool describe(qint64 runId, const QString &name, const RunFields &fields);

private:
    struct Active;
    bool storeRun(Active &run);
    bool writeEnd(Active &run);

    JournalFile &m_file;
    JournalOwners &m_owners;
    qint64 m_nextPending = -1;
    std::map<qint64, std::unique_ptr<Active>> m_active;
};
