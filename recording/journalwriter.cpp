#include "recording/journalwriter.h"

#include "recording/journalfile.h"
#include "recording/journalowners.h"
#include "recording/journalschema.h"
#include "recording/readinglog.h"

#include <sqlite3.h>

#include <unistd.h>

using journalschema::bindText;
using journalschema::Stmt;
using journalschema::toMicro;

namespace {

constexpr int B = RunStats::kBlock;

} // namespace

struct JournalWriter::Active {
    qint64 dbId = 0;
    qint64 startMs = 0;
    QString model, version, serial;
    bool described = false;
    QString name;
    RunFields fields;
    int written = 0;
    qint64 t0 = 0;
    RunStats stats;
    int lockFd = -1;
    bool ended = false;
    qint64 endMs = 0;
    QString reason;
};

JournalWriter::JournalWriter(JournalFile &file, JournalOwners &owners) : m_file(file), m_owners(owners)
{
}

JournalWriter::~JournalWriter() = default;

bool JournalWriter::storeRun(Active &a)
{
    Stmt q(m_file.db(), "INSERT INTO run(start_ms, model, version, serial) VALUES(?,?,?,?)");
    sqlite3_bind_int64(q.s, 1, a.startMs);
    bindText(q.s, 2, a.model);
    bindText(q.s, 3, a.version);
    bindText(q.s, 4, a.serial);
    if (q.step() != SQLITE_DONE)
        return m_file.fail(q.rc);
    const qint64 id = sqlite3_last_insert_rowid(m_file.db());
    if (a.described) {
        Stmt d(m_file.db(), m_file.hasAdditions()
                                ? "UPDATE run SET name = ?2, notes = ?3, dut = ?4, source = ?5, cable = ?6, ambient_c = ?7 "
                                  "WHERE id = ?1"
                                : "UPDATE run SET name = ?2 WHERE id = ?1");
        sqlite3_bind_int64(d.s, 1, id);
        bindText(d.s, 2, a.name);
        if (m_file.hasAdditions()) {
            bindText(d.s, 3, a.fields.notes);
            bindText(d.s, 4, a.fields.dut);
            bindText(d.s, 5, a.fields.source);
            bindText(d.s, 6, a.fields.cable);
            if (a.fields.hasAmbient())
                sqlite3_bind_double(d.s, 7, a.fields.ambientC);
        }
        if (d.step() != SQLITE_DONE)
            return m_file.fail(d.rc);
    }
    // Taken before the row is committed: no other process sees the run
    // without its owner's lock.
    if (!m_owners.take(id, a.startMs, a.lockFd)) {
        m_file.setStatus(JournalFile::Status::FolderNotWritable, m_file.folderNotWritableMessage());
        return false;
    }
    a.dbId = id;
    return true;
}

qint64 JournalWriter::begin(qint64 startWallMs, const QString &model, const QString &version, const QString &serial)
{
    std::unique_ptr<Active> a(new Active);
    a->startMs = startWallMs;
    a->model = model;
    a->version = version;
    a->serial = serial;
    qint64 handle = 0;
    if (m_file.exec("BEGIN IMMEDIATE")) {
        if (storeRun(*a) && m_file.exec("COMMIT")) {
            handle = a->dbId;
            m_file.setOk();
        } else {
            sqlite3_exec(m_file.db(), "ROLLBACK", nullptr, nullptr, nullptr);
            if (a->lockFd >= 0)
                m_owners.release(a->dbId, a->startMs, a->lockFd);
            a->dbId = 0;
        }
    }
    if (!handle)
        handle = m_nextPending--;
    m_active[handle] = std::move(a);
    return handle;
}

qint64 JournalWriter::storedId(qint64 runId) const
{
    auto it = m_active.find(runId);
    return it == m_active.end() ? (runId > 0 ? runId : 0) : it->second->dbId;
}

bool JournalWriter::describe(qint64 runId, const QString &name, const RunFields &fields)
{
    auto it = m_active.find(runId);
    if (it == m_active.end())
        return false;
    it->second->described = true;
    it->second->name = name;
    it->second->fields = fields;
    return true;
}

int JournalWriter::written(qint64 runId) const
{
    auto it = m_active.find(runId);
    return it == m_active.end() ? 0 : it->second->written;
}

bool JournalWriter::sync(qint64 runId, const ReadingLog &log, int logStart, bool &damaged)
{
    damaged = false;
    auto it = m_active.find(runId);
    if (it == m_active.end() || !m_file.db())
        return false;
    Active &a = *it->second;
    retryEnds();
    const int n = logStart + log.size();
    if (n <= a.written && a.dbId)
        return true;
    if (a.written < logStart) {
        // Records dropped before they were written: none can follow them.
        m_file.setStatus(JournalFile::Status::Failed,
                         QCoreApplication::translate("RunJournal", "无法写入运行记录数据库：%1")
                             .arg(QStringLiteral("%1 records were dropped before they were written")
                                      .arg(logStart - a.written)));
        return false;
    }
    if (!m_file.exec("BEGIN IMMEDIATE"))
        return false;
    const bool stored = a.dbId != 0;
    const int old = a.written;
    bool ok = stored || storeRun(a);
    if (ok && old == 0 && n > 0)
        a.t0 = log.runMs(0);
    for (int k = old; ok && k < n; ++k) {
        sqlite3_stmt *s = m_file.insertSample();
        const int at = k - logStart;
        const qint64 runMs = log.runMs(at);
        sqlite3_bind_int64(s, 1, a.dbId);
        sqlite3_bind_int64(s, 2, k);
        sqlite3_bind_int64(s, 3, runMs - a.t0 - 1000 * qint64(k));
        sqlite3_bind_int64(s, 4, log.timeMs(at) - runMs);
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            sqlite3_bind_int64(s, 5 + c, toMicro(log.value(ReadingLog::Column(c), at)));
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            ok = m_file.fail(rc);
        else
            a.stats.append(log, at);
    }
    for (int b = old / B; ok && n > 0 && b <= (n - 1) / B; ++b) {
        const RunStats::Block &block = a.stats.blocks()[size_t(b)];
        sqlite3_stmt *s = m_file.putBlock();
        sqlite3_bind_int64(s, 1, a.dbId);
        sqlite3_bind_int64(s, 2, b);
        sqlite3_bind_int64(s, 3, block.count);
        sqlite3_bind_double(s, 4, block.start.weightMs);
        for (int c = 0; c < RunStats::ChannelCount; ++c) {
            sqlite3_bind_double(s, 5 + c, block.start.integral[c]);
            sqlite3_bind_double(s, 8 + c, block.start.plain[c]);
            sqlite3_bind_double(s, 11 + 2 * c, double(block.min[c]));
            sqlite3_bind_double(s, 12 + 2 * c, double(block.max[c]));
        }
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            ok = m_file.fail(rc);
    }
    // The run row is written at its first records and at its end only: a tick
    // touches two pages, the last of the records and the last block.
    if (ok && old == 0) {
        sqlite3_stmt *s = m_file.updateRun();
        sqlite3_bind_int64(s, 1, a.t0);
        sqlite3_bind_int64(s, 2, a.dbId);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        ok = rc == SQLITE_DONE || m_file.fail(rc);
    }
    if (ok)
        ok = m_file.exec("COMMIT");
    if (!ok) {
        const int rc = m_file.lastRc();
        sqlite3_exec(m_file.db(), "ROLLBACK", nullptr, nullptr, nullptr);
        a.stats.truncate(old);
        if (!stored && a.dbId) {
            m_owners.release(a.dbId, a.startMs, a.lockFd);
            a.dbId = 0;
        }
        damaged = JournalFile::isBroken(rc);
        return false;
    }
    a.written = n;
    m_file.setOk();
    return true;
}

void JournalWriter::restartAll()
{
    for (auto &entry : m_active) {
        Active &other = *entry.second;
        if (other.lockFd >= 0)
            ::close(other.lockFd);
        other.lockFd = -1;
        other.dbId = 0;
        other.written = 0;
        other.stats.clear();
    }
}

void JournalWriter::abandonAll()
{
    for (auto &entry : m_active) {
        Active &a = *entry.second;
        if (a.lockFd >= 0)
            ::close(a.lockFd);   // the run stays open: the next open() closes it as interrupted
    }
    m_active.clear();
}

bool JournalWriter::writeEnd(Active &a)
{
    if (!a.dbId)
        return false;
    const IntervalStats s = a.stats.total();
    JournalRun run;
    run.id = a.dbId;
    run.endMs = a.endMs;
    run.endReason = a.reason;
    run.records = a.written;
    run.takeFigures(s);
    if (s.records) {
        run.cap_start_ah = double(a.stats.sample(0).cap);
        run.cap_end_ah = double(a.stats.sample(s.last).cap);
        run.ele_start_wh = double(a.stats.sample(0).ele);
        run.ele_end_wh = double(a.stats.sample(s.last).ele);
    }
    const int rc = journalschema::writeRunEnd(m_file.db(), run);
    if (rc != SQLITE_DONE)
        return m_file.fail(rc);
    m_owners.release(a.dbId, a.startMs, a.lockFd);
    return true;
}

void JournalWriter::retryEnds()
{
    for (auto it = m_active.begin(); it != m_active.end();) {
        if (it->second->ended && it->second->dbId && writeEnd(*it->second))
            it = m_active.erase(it);
        else
            ++it;
    }
}

bool JournalWriter::end(qint64 runId, qint64 endWallMs, const QString &reason, qint64 &ended)
{
    auto it = m_active.find(runId);
    if (it == m_active.end())
        return false;
    Active &a = *it->second;
    a.ended = true;
    a.endMs = endWallMs;
    a.reason = reason;
    if (!m_file.db() || !writeEnd(a))
        return false;
    ended = a.dbId;
    m_active.erase(it);
    m_file.setOk();
    return true;
}
