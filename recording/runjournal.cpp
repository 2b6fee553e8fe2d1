#include "recording/runjournal.h"

#include "recording/journalschema.h"

#include <QStandardPaths>

#include <sqlite3.h>

using journalschema::bindText;
using journalschema::Stmt;

const char *const RunJournal::kStopped = "stopped";
const char *const RunJournal::kUnplugged = "unplugged";
const char *const RunJournal::kInterrupted = "interrupted";

qint64 RunJournal::toMicro(float value)
{
    return journalschema::toMicro(value);
}

float RunJournal::fromMicro(qint64 micro)
{
    return journalschema::fromMicro(micro);
}

QString RunJournal::sizeCapKey()
{
    return JournalRetention::sizeCapKey();
}

qint64 RunJournal::sizeCapFromSettings(const Setting &settings, QString *badValue)
{
    return JournalRetention::sizeCapFromSettings(settings, badValue);
}

QString RunJournal::badSizeCapMessage(const QString &value)
{
    return JournalRetention::badSizeCapMessage(value);
}

RunJournal::FileKind RunJournal::fileKind(const QString &path)
{
    return JournalFile::fileKind(path);
}

const char *RunJournal::fileKindWords(FileKind kind)
{
    return JournalFile::fileKindWords(kind);
}

QString RunJournal::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/runs.sqlite");
}

RunJournal::RunJournal() = default;

RunJournal::~RunJournal()
{
    close();
}

bool RunJournal::open(Mode mode)
{
    return open(defaultPath(), mode);
}

bool RunJournal::open(const QString &path, Mode mode)
{
    close();
    m_recovery.resetCount();
    if (!m_file.open(path, mode))
        return false;
    opened();
    return true;
}

void RunJournal::opened()
{
    // For writing, the runs of dead processes are closed and the size cap
    // kept; for reading, they only read as closed.
    if (m_file.readOnly()) {
        m_recovery.readAsClosed();
        return;
    }
    m_recovery.recover();
    applyRetention();
}

void RunJournal::close()
{
    if (m_file.db())
        m_writer.retryEnds();
    m_writer.abandonAll();
    m_reader.clearClosed();
    m_file.close();
}

qint64 RunJournal::beginRun(qint64 startWallMs, const QString &model, const QString &version, const QString &serial)
{
    if (!m_file.db() || m_file.readOnly())
        return 0;
    m_writer.retryEnds();
    applyRetention();
    return m_writer.begin(startWallMs, model, version, serial);
}

bool RunJournal::sync(qint64 runId, const ReadingLog &log)
{
    return sync(runId, log, 0);
}

bool RunJournal::sync(qint64 runId, const ReadingLog &log, int logStart)
{
    bool damaged = false;
    if (m_writer.sync(runId, log, logStart, damaged))
        return true;
    // Damaged under us: moved aside, and every run of this process is
    // written anew into a new database from its log.
    if (!damaged || !m_file.startAnew())
        return false;
    opened();
    m_writer.restartAll();
    const Status status = m_file.status();
    const QString message = m_file.message();
    const bool again = sync(runId, log, logStart);
    m_file.setStatus(status, message);
    return again;
}

bool RunJournal::endRun(qint64 runId, qint64 endWallMs, const QString &reason)
{
    qint64 ended = 0;
    if (!m_writer.end(runId, endWallMs, reason, ended))
        return false;
    applyRetention(ended);
    return true;
}

qint64 RunJournal::storedId(qint64 runId) const
{
    return m_writer.storedId(runId);
}

int RunJournal::written(qint64 runId) const
{
    return m_writer.written(runId);
}

std::vector<JournalRun> RunJournal::runs()
{
    return m_reader.runs();
}

std::vector<JournalRun> RunJournal::listedRuns()
{
    std::vector<JournalRun> runs = m_reader.runs();
    for (JournalRun &r : runs) {
        if (!r.finished() && r.records > 0)
            r.duration_s = statsOfRecords(r.id, 0, r.records - 1).duration_s;
    }
    return runs;
}

bool RunJournal::timeline(qint64 id, qint64 &t0Ms, qint64 &firstWallMs)
{
    return m_reader.timeline(id, t0Ms, firstWallMs);
}

bool RunJournal::recordTime(qint64 id, int i, qint64 &runMs, qint64 &wallMs)
{
    return m_reader.recordTime(id, i, runMs, wallMs);
}

std::vector<qint64> RunJournal::runTimesAtWall(qint64 id, qint64 wallMs, bool latest)
{
    return m_reader.runTimesAtWall(id, wallMs, latest);
}

bool RunJournal::load(qint64 id, ReadingLog &log, int first, int last)
{
    return m_reader.load(id, log, first, last);
}

bool RunJournal::loadColumn(qint64 id, ReadingLog::Column column, std::vector<float> &values,
                            std::vector<qint64> *runTimes)
{
    return m_reader.loadColumn(id, column, values, runTimes);
}

bool RunJournal::loadColumns(qint64 id, const std::vector<ReadingLog::Column> &columns,
                             const std::vector<std::vector<float> *> &values, std::vector<qint64> *runTimes)
{
    return m_reader.loadColumns(id, columns, values, runTimes);
}

IntervalStats RunJournal::stats(qint64 id, qint64 fromMs, qint64 toMs, bool wallClock)
{
    return m_reader.stats(id, fromMs, toMs, wallClock);
}

IntervalStats RunJournal::statsOfRecords(qint64 id, int first, int last)
{
    return m_reader.statsOfRecords(id, first, last);
}

bool RunJournal::rename(qint64 id, const QString &name)
{
    if (!m_file.db() || m_file.readOnly())
        return false;
    Stmt q(m_file.db(), "UPDATE run SET name = ? WHERE id = ?");
    bindText(q.s, 1, name);
    sqlite3_bind_int64(q.s, 2, id);
    return (q.step() == SQLITE_DONE || m_file.fail(q.rc)) && sqlite3_changes(m_file.db()) == 1;
}

bool RunJournal::setFields(qint64 id, const RunFields &fields)
{
    if (id < 0)
        id = storedId(id);
    if (!m_file.db() || m_file.readOnly() || !m_file.hasAdditions() || id <= 0)
        return false;
    Stmt q(m_file.db(), "UPDATE run SET notes = ?, dut = ?, source = ?, cable = ?, ambient_c = ? WHERE id = ?");
    bindText(q.s, 1, fields.notes);
    bindText(q.s, 2, fields.dut);
    bindText(q.s, 3, fields.source);
    bindText(q.s, 4, fields.cable);
    if (fields.hasAmbient())
        sqlite3_bind_double(q.s, 5, fields.ambientC);
    else
        sqlite3_bind_null(q.s, 5);
    sqlite3_bind_int64(q.s, 6, id);
    return (q.step() == SQLITE_DONE || m_file.fail(q.rc)) && sqlite3_changes(m_file.db()) == 1;
}

bool RunJournal::describeRun(qint64 runId, const QString &name, const RunFields &fields)
{
    if (!m_writer.describe(runId, name, fields))
        return false;
    const qint64 id = storedId(runId);
    if (id <= 0)
        return true;   // written with the row
    return rename(id, name) && (!m_file.hasAdditions() || setFields(id, fields));
}

std::vector<RunMark> RunJournal::marks(qint64 runId)
{
    return m_reader.marks(runId < 0 ? storedId(runId) : runId);
}

qint64 RunJournal::addMark(qint64 runId, qint64 atMs, qint64 wallMs, const QString &name)
{
    if (runId < 0)
        runId = storedId(runId);
    if (!m_file.db() || m_file.readOnly() || !m_file.hasAdditions() || runId <= 0)
        return 0;
    Stmt q(m_file.db(), "INSERT INTO mark(run, at_ms, wall_ms, name) SELECT id, ?2, ?3, ?4 FROM run WHERE id = ?1");
    sqlite3_bind_int64(q.s, 1, runId);
    sqlite3_bind_int64(q.s, 2, atMs);
    sqlite3_bind_int64(q.s, 3, wallMs);
    bindText(q.s, 4, name);
    if (q.step() != SQLITE_DONE) {
        m_file.fail(q.rc);
        return 0;
    }
    return sqlite3_changes(m_file.db()) == 1 ? sqlite3_last_insert_rowid(m_file.db()) : 0;
}

qint64 RunJournal::addMarkAtWall(qint64 runId, qint64 wallMs, const QString &name, qint64 *atMs)
{
    if (runId < 0)
        runId = storedId(runId);
    if (!m_file.db() || runId <= 0)
        return 0;
    qint64 at = 0;
    {
        // The latest record's wall-clock offset from the run's timeline
        // holds for now too, whatever the clock did earlier in the run.
        Stmt q(m_file.db(), "SELECT ?2 - r.t0_ms - s.skew_ms FROM run r JOIN sample s ON s.run = r.id "
                            "WHERE r.id = ?1 ORDER BY s.i DESC LIMIT 1");
        sqlite3_bind_int64(q.s, 1, runId);
        sqlite3_bind_int64(q.s, 2, wallMs);
        if (q.step() == SQLITE_ROW) {
            at = q.i64(0);
        } else {
            Stmt start(m_file.db(), "SELECT ?2 - start_ms FROM run WHERE id = ?1");
            sqlite3_bind_int64(start.s, 1, runId);
            sqlite3_bind_int64(start.s, 2, wallMs);
            if (start.step() != SQLITE_ROW)
                return 0;
            at = qMax<qint64>(0, start.i64(0));
        }
    }
    const qint64 id = addMark(runId, at, wallMs, name);
    if (id > 0 && atMs)
        *atMs = at;
    return id;
}

bool RunJournal::renameMark(qint64 markId, const QString &name)
{
    if (!m_file.db() || m_file.readOnly() || !m_file.hasAdditions())
        return false;
    Stmt q(m_file.db(), "UPDATE mark SET name = ? WHERE id = ?");
    bindText(q.s, 1, name);
    sqlite3_bind_int64(q.s, 2, markId);
    return (q.step() == SQLITE_DONE || m_file.fail(q.rc)) && sqlite3_changes(m_file.db()) == 1;
}

bool RunJournal::removeMark(qint64 markId)
{
    if (!m_file.db() || m_file.readOnly() || !m_file.hasAdditions())
        return false;
    Stmt q(m_file.db(), "DELETE FROM mark WHERE id = ?");
    sqlite3_bind_int64(q.s, 1, markId);
    return (q.step() == SQLITE_DONE || m_file.fail(q.rc)) && sqlite3_changes(m_file.db()) == 1;
}

qint64 RunJournal::newestRecording()
{
    if (!m_file.db())
        return 0;
    std::vector<std::pair<qint64, qint64>> open;
    {
        Stmt q(m_file.db(), "SELECT id, start_ms FROM run WHERE end_reason IS NULL ORDER BY start_ms DESC, id DESC");
        while (q.step() == SQLITE_ROW)
            open.emplace_back(q.i64(0), q.i64(1));
    }
    for (const auto &run : open) {
        if (m_owners.lives(run.first, run.second, false))
            return run.first;
    }
    return 0;
}

bool RunJournal::isRecording(qint64 id)
{
    if (!m_file.db())
        return false;
    Stmt q(m_file.db(), "SELECT start_ms FROM run WHERE id = ? AND end_reason IS NULL");
    sqlite3_bind_int64(q.s, 1, id);
    return q.step() == SQLITE_ROW && m_owners.lives(id, q.i64(0), false);
}

bool RunJournal::remove(qint64 id)
{
    if (!m_file.db() || m_file.readOnly())
        return false;
    for (int pass = 0;; ++pass) {
        // A run that goes on, here or in another process, stays; one whose
        // process died is closed first.
        Stmt q(m_file.db(), "SELECT end_reason IS NOT NULL FROM run WHERE id = ?");
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() != SQLITE_ROW)
            return false;
        if (q.i64(0) != 0)
            break;
        if (pass > 0 || isRecording(id))
            return false;
        m_recovery.recover();
    }
    if (!m_file.exec("BEGIN IMMEDIATE"))
        return false;
    std::vector<const char *> deletes{"DELETE FROM sample WHERE run = ?", "DELETE FROM block WHERE run = ?",
                                      "DELETE FROM run WHERE id = ?"};
    if (m_file.hasAdditions())
        deletes.push_back("DELETE FROM mark WHERE run = ?");
    if (m_file.hasBenches()) {
        deletes.push_back("DELETE FROM bench_member WHERE run = ?");
        // (Every statement here is given the run's id; this one has no use for it.)
        deletes.push_back("DELETE FROM bench WHERE id NOT IN (SELECT bench FROM bench_member) AND ? IS NOT NULL");
    }
    for (const char *sql : deletes) {
        Stmt q(m_file.db(), sql);
        sqlite3_bind_int64(q.s, 1, id);
        if (q.step() != SQLITE_DONE) {
            m_file.fail(q.rc);
            sqlite3_exec(m_file.db(), "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    return m_file.exec("COMMIT");
}

int RunJournal::applyRetention(qint64 keep)
{
    if (!m_file.db() || m_file.readOnly())
        return 0;
    return m_retention.apply(keep, [this](qint64 id) { return remove(id); });
}

const JournalBench::Member *JournalBench::member(const QString &role) const
{
    for (const Member &m : members) {
        if (m.role == role)
            return &m;
    }
    return nullptr;
}

qint64 RunJournal::addBench(const QString &name, qint64 startMs, qint64 periodMs,
                            const std::vector<JournalBench::Member> &members)
{
    if (!m_file.db() || m_file.readOnly() || !m_file.hasBenches() || members.empty())
        return 0;
    std::vector<JournalBench::Member> stored = members;
    for (JournalBench::Member &m : stored) {
        m.run = m.run < 0 ? storedId(m.run) : m.run;
        if (m.run <= 0)
            return 0;
    }
    if (!m_file.exec("BEGIN IMMEDIATE"))
        return 0;
    qint64 id = 0;
    {
        Stmt q(m_file.db(), "INSERT INTO bench(name, start_ms, period_ms) VALUES(?, ?, ?)");
        bindText(q.s, 1, name);
        sqlite3_bind_int64(q.s, 2, startMs);
        sqlite3_bind_int64(q.s, 3, periodMs);
        if (q.step() == SQLITE_DONE)
            id = sqlite3_last_insert_rowid(m_file.db());
        else
            m_file.fail(q.rc);
    }
    for (const JournalBench::Member &m : stored) {
        if (!id)
            break;
        Stmt q(m_file.db(), "INSERT INTO bench_member(bench, run, role, serial) VALUES(?, ?, ?, ?)");
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_int64(q.s, 2, m.run);
        bindText(q.s, 3, m.role);
        bindText(q.s, 4, m.serial);
        if (q.step() != SQLITE_DONE) {
            m_file.fail(q.rc);
            id = 0;
        }
    }
    if (!id || !m_file.exec("COMMIT")) {
        sqlite3_exec(m_file.db(), "ROLLBACK", nullptr, nullptr, nullptr);
        return 0;
    }
    return id;
}

std::vector<JournalBench> RunJournal::benches()
{
    std::vector<JournalBench> found;
    if (!m_file.db() || !m_file.hasBenches())
        return found;
    Stmt q(m_file.db(), "SELECT b.id, b.name, b.start_ms, b.period_ms, m.run, m.role, m.serial FROM bench b "
                        "JOIN bench_member m ON m.bench = b.id JOIN run r ON r.id = m.run "
                        "ORDER BY b.start_ms DESC, b.id DESC, m.run");
    while (q.step() == SQLITE_ROW) {
        if (found.empty() || found.back().id != q.i64(0))
            found.push_back({q.i64(0), q.text(1), q.i64(2), q.i64(3), {}});
        found.back().members.push_back({q.i64(4), q.text(5), q.text(6)});
    }
    return found;
}

JournalBench RunJournal::bench(qint64 id)
{
    for (JournalBench &b : benches()) {
        if (b.id == id)
            return b;
    }
    return {};
}

JournalBench RunJournal::benchOfRun(qint64 runId)
{
    if (runId < 0)
        runId = storedId(runId);
    for (JournalBench &b : benches()) {
        for (const JournalBench::Member &m : b.members) {
            if (m.run == runId)
                return b;
        }
    }
    return {};
}
