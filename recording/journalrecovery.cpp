#include "recording/journalrecovery.h"

#include "recording/journalfile.h"
#include "recording/journalowners.h"
#include "recording/journalschema.h"
#include "recording/runjournal.h"

using journalschema::fromMicro;
using journalschema::Stmt;

JournalRun JournalRecovery::closedRun(qint64 id)
{
    // Ended at its last committed record, with the figures of its records.
    sqlite3 *const db = m_file.db();
    JournalRun r;
    r.id = id;
    r.endReason = QLatin1String(RunJournal::kInterrupted);
    qint64 t0 = 0, skew0 = 0;
    m_reader.runInfo(id, t0, r.records, skew0);
    r.takeFigures(m_reader.storedStats(id, 0, r.records - 1, t0, r.records));
    {
        Stmt q(db, "SELECT ifnull((SELECT r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms FROM sample s, run r "
                     "WHERE s.run = ?1 AND r.id = ?1 ORDER BY s.i DESC LIMIT 1), start_ms) FROM run WHERE id = ?1");
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() == SQLITE_ROW)
            r.endMs = q.i64(0);
    }
    Stmt ends(db, "SELECT cap_uah, ele_uwh FROM sample WHERE run = ? AND i IN (0, ?) ORDER BY i");
    sqlite3_bind_int64(ends.s, 1, id);
    sqlite3_bind_int(ends.s, 2, r.records - 1);
    for (int k = 0; k < 2 && ends.step() == SQLITE_ROW; ++k) {
        (k ? r.cap_end_ah : r.cap_start_ah) = double(fromMicro(ends.i64(0)));
        (k ? r.ele_end_wh : r.ele_start_wh) = double(fromMicro(ends.i64(1)));
    }
    if (r.records == 1) {
        r.cap_end_ah = r.cap_start_ah;
        r.ele_end_wh = r.ele_start_wh;
    }
    return r;
}

void JournalRecovery::recover()
{
    sqlite3 *const db = m_file.db();
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;   // held by another process: the next open() looks again
    std::vector<qint64> dead;
    {
        Stmt q(db, "SELECT id, start_ms FROM run WHERE end_reason IS NULL");
        while (q.step() == SQLITE_ROW) {
            if (!m_owners.lives(q.i64(0), q.i64(1), true))
                dead.push_back(q.i64(0));
        }
    }
    int recovered = 0;
    for (qint64 id : dead) {
        const int rc = journalschema::writeRunEnd(db, closedRun(id));
        if (rc != SQLITE_DONE) {
            m_file.fail(rc);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return;
        }
        ++recovered;
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    else
        m_recovered += recovered;
}

void JournalRecovery::readAsClosed()
{
    // A run whose process died reads as the next writer will close it.
    for (const auto &run : m_file.unfinished()) {
        if (!m_owners.lives(run.first, run.second, false))
            m_reader.setClosed(run.first, closedRun(run.first));
    }
}
