#pragma once

#include "recording/journalreader.h"

#include <QtGlobal>

class JournalFile;
class JournalOwners;

// Runs whose program died while writing them: no program holds their owner's
// lock. Opened for writing, the journal closes them as interrupted, at their
// last committed record with the figures of their records; opened for
// reading, they only read so.
class JournalRecovery
{
public:
    JournalRecovery(JournalFile &file, JournalOwners &owners, JournalReader &reader)
        : m_file(file), m_owners(owners), m_reader(reader)
    {
    }

    // Closes the runs of dead programs as interrupted, in one transaction;
    // nothing while another program holds the database.
    void recover();
    // Opened for reading: the runs the file had without an end whose program
    // died are listed by the reader as recover() would close them.
    void readAsClosed();
    // Such a run as it is closed.
    JournalRun closedRun(qint64 id);

    // Runs closed since resetCount().
    int recovered() const { return m_recovered; }
    void resetCount() { m_recovered = 0; }

private:
    JournalFile &m_file;
    JournalOwners &m_owners;
    JournalReader &m_reader;
    int m_recovered = 0;
};
