#pragma once

#include <QString>
#include <QtGlobal>

class JournalFile;

// The owners of the runs being written. Each run being written holds an flock
// on a small file of its own next to the database
// (<db>.owners/run-<id>-<start>) for as long as its program lives, so a
// second program on the same database tells a live run from a dead one.
class JournalOwners
{
public:
    explicit JournalOwners(const JournalFile &file) : m_file(file) {}

    // Takes the lock of a new run: its descriptor in `fd`, -1 when it cannot.
    bool take(qint64 id, qint64 startMs, int &fd);
    // Lets go of a run's lock and removes its file.
    void release(qint64 id, qint64 startMs, int &fd);
    // Whether a program (this one or another) holds the run's lock. With
    // `takeOver`, the lock of a dead owner is taken and its file removed.
    bool lives(qint64 id, qint64 startMs, bool takeOver);

private:
    QString lockPath(qint64 id, qint64 startMs) const;

    const JournalFile &m_file;
};
