#include "recording/journalreader.h"

#include "recording/journalfile.h"
#include "recording/journalschema.h"
#include "recording/readinglog.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

using journalschema::fromMicro;
using journalschema::kRecords;
using journalschema::kSampleColumns;
using journalschema::Stmt;

bool RunFields::setAmbient(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        ambientC = qQNaN();
        return true;
    }
    bool ok = false;
    const double c = QLocale::c().toDouble(t, &ok);
    // Nothing colder than absolute zero, nothing a bench reaches beyond.
    if (!ok || !std::isfinite(c) || c < -273.15 || c > 1000.0)
        return false;
    ambientC = c;
    return true;
}

namespace {

constexpr int B = RunStats::kBlock;

RunStats::Sample sampleFromRow(const Stmt &q, qint64 t0)
{
    // Columns as kSampleColumns.
    RunStats::Sample s;
    s.runMs = t0 + 1000 * q.i64(0) + q.i64(1);
    s.value[RunStats::Vbus] = fromMicro(q.i64(3));
    s.value[RunStats::Ibus] = fromMicro(q.i64(4));
    s.value[RunStats::Power] = fromMicro(q.i64(5));
    s.cap = fromMicro(q.i64(10));
    s.ele = fromMicro(q.i64(11));
    return s;
}

} // namespace

bool JournalReader::runInfo(qint64 id, qint64 &t0, int &records, qint64 &skew0)
{
    const QByteArray sql = "SELECT ifnull(t0_ms, 0), " + kRecords
                           + ", (SELECT skew_ms FROM sample WHERE run = ?1 AND i = 0) FROM run WHERE id = ?1";
    Stmt q(m_file.db(), sql.constData());
    sqlite3_bind_int64(q.s, 1, id);
    if (q.step() != SQLITE_ROW)
        return false;
    t0 = q.i64(0);
    records = int(q.i64(1));
    skew0 = q.i64(2);
    return true;
}

IntervalStats JournalReader::storedStats(qint64 id, int first, int last, qint64 t0, int records)
{
    first = qMax(first, 0);
    last = qMin(last, records - 1);
    if (first > last)
        return IntervalStats();
    const int bf = first / B, bl = last / B;
    std::vector<RunStats::Block> blocks(size_t(bl - bf + 1));
    {
        Stmt q(m_file.db(), "SELECT b, records, weight_ms, vbus_vms, ibus_ams, power_wms, vbus_sum, ibus_sum, power_sum, "
                     "vbus_min, vbus_max, ibus_min, ibus_max, power_min, power_max "
                     "FROM block WHERE run = ? AND b BETWEEN ? AND ?");
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_int(q.s, 2, bf);
        sqlite3_bind_int(q.s, 3, bl);
        while (q.step() == SQLITE_ROW) {
            RunStats::Block &b = blocks[size_t(q.i64(0) - bf)];
            b.count = int(q.i64(1));
            b.start.weightMs = q.real(2);
            for (int c = 0; c < RunStats::ChannelCount; ++c) {
                b.start.integral[c] = q.real(3 + c);
                b.start.plain[c] = q.real(6 + c);
                b.min[c] = float(q.real(9 + 2 * c));
                b.max[c] = float(q.real(10 + 2 * c));
            }
        }
    }
    auto readBlock = [&](int b, std::vector<RunStats::Sample> &into) {
        const QByteArray sql = "SELECT " + QByteArray(kSampleColumns) + " FROM sample WHERE run = ? AND i BETWEEN ? AND ?";
        Stmt q(m_file.db(), sql.constData());
        sqlite3_bind_int64(q.s, 1, id);
        sqlite3_bind_int(q.s, 2, b * B);
        sqlite3_bind_int(q.s, 3, b * B + B - 1);
        into.reserve(B);
        while (q.step() == SQLITE_ROW)
            into.push_back(sampleFromRow(q, t0));
    };
    std::vector<RunStats::Sample> head, tail;
    readBlock(bf, head);
    if (bl != bf)
        readBlock(bl, tail);
    const RunStats::Sample none;
    return RunStats::compute(
        first, last, [&](int b) -> const RunStats::Block & { return blocks[size_t(b - bf)]; },
        [&](int k) -> const RunStats::Sample & {
            const std::vector<RunStats::Sample> &v = k / B == bf ? head : tail;
            const size_t at = size_t(k - (k / B) * B);
            return at < v.size() ? v[at] : none;
        });
}

bool JournalReader::lagAt(qint64 id, int i, qint64 &lag)
{
    Stmt q(m_file.db(), "SELECT lag_ms FROM sample WHERE run = ? AND i = ?");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int(q.s, 2, i);
    if (q.step() != SQLITE_ROW)
        return false;
    lag = q.i64(0);
    return true;
}

IntervalStats JournalReader::statsOfRecords(qint64 id, int first, int last)
{
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_file.db() || !runInfo(id, t0, records, skew0))
        return IntervalStats();
    return storedStats(id, first, last, t0, records);
}

IntervalStats JournalReader::stats(qint64 id, qint64 fromMs, qint64 toMs, bool wallClock)
{
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_file.db() || !runInfo(id, t0, records, skew0) || records == 0)
        return IntervalStats();
    if (wallClock) {
        fromMs -= skew0;
        toMs -= skew0;
    }
    // Times on the run's timeline never go back: a binary search over the
    // records, one row read per step.
    auto timeAt = [&](int i) {
        qint64 lag = 0;
        lagAt(id, i, lag);
        return t0 + 1000 * qint64(i) + lag;
    };
    int lo = 0, hi = records;   // first record at or after fromMs
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < fromMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    lo = 0;
    hi = records;   // first record after toMs
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) <= toMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    return storedStats(id, first, lo - 1, t0, records);
}

void JournalRun::takeFigures(const IntervalStats &stats)
{
    duration_s = stats.duration_s;
    charge_ah = stats.charge_ah;
    energy_wh = stats.energy_wh;
    vbus_max = double(stats.vbus.max);
    ibus_max = double(stats.ibus.max);
    power_max = double(stats.power.max);
}

void JournalRun::takeEnd(const JournalRun &ended)
{
    endMs = ended.endMs;
    endReason = ended.endReason;
    records = ended.records;
    for (double JournalRun::*figure : kRunEndFigures)
        this->*figure = ended.*figure;
}

std::vector<JournalRun> JournalReader::runs()
{
    std::vector<JournalRun> out;
    if (!m_file.db())
        return out;
    const QByteArray sql = "SELECT id, start_ms, ifnull(end_ms, 0), ifnull(end_reason, ''), name, model, version, "
                           "serial, " + kRecords + ", ifnull(duration_s, 0), ifnull(charge_ah, 0), ifnull(energy_wh, 0), ifnull(vbus_max, 0), "
                 "ifnull(ibus_max, 0), ifnull(power_max, 0), ifnull(cap_start_ah, 0), ifnull(cap_end_ah, 0), "
                 "ifnull(ele_start_wh, 0), ifnull(ele_end_wh, 0), "
                 + QByteArray(m_file.hasAdditions() ? "notes, dut, source, cable, ambient_c" : "'', '', '', '', NULL")
                 + " FROM run ORDER BY start_ms DESC, id DESC";
    Stmt q(m_file.db(), sql.constData());
    while (q.step() == SQLITE_ROW) {
        JournalRun r;
        r.id = q.i64(0);
        r.startMs = q.i64(1);
        r.endMs = q.i64(2);
        r.endReason = q.text(3);
        r.name = q.text(4);
        r.model = q.text(5);
        r.version = q.text(6);
        r.serial = q.text(7);
        r.records = int(q.i64(8));
        r.duration_s = q.real(9);
        r.charge_ah = q.real(10);
        r.energy_wh = q.real(11);
        r.vbus_max = q.real(12);
        r.ibus_max = q.real(13);
        r.power_max = q.real(14);
        r.cap_start_ah = q.real(15);
        r.cap_end_ah = q.real(16);
        r.ele_start_wh = q.real(17);
        r.ele_end_wh = q.real(18);
        r.fields.notes = q.text(19);
        r.fields.dut = q.text(20);
        r.fields.source = q.text(21);
        r.fields.cable = q.text(22);
        r.fields.ambientC = q.null(23) ? qQNaN() : q.real(23);
        auto closed = m_closed.find(r.id);
        if (closed != m_closed.end() && !r.finished()) {
            r.takeEnd(closed->second);
        }
        out.push_back(r);
    }
    if (q.rc != SQLITE_DONE)
        m_file.fail(q.rc);
    return out;
}

std::vector<RunMark> JournalReader::marks(qint64 runId)
{
    std::vector<RunMark> out;
    if (!m_file.db() || !m_file.hasAdditions())
        return out;
    Stmt q(m_file.db(), "SELECT id, run, at_ms, wall_ms, name FROM mark WHERE run = ? ORDER BY at_ms, id");
    sqlite3_bind_int64(q.s, 1, runId);
    while (q.step() == SQLITE_ROW) {
        RunMark m;
        m.id = q.i64(0);
        m.runId = q.i64(1);
        m.atMs = q.i64(2);
        m.wallMs = q.i64(3);
        m.name = q.text(4);
        out.push_back(m);
    }
    if (q.rc != SQLITE_DONE)
        m_file.fail(q.rc);
    return out;
}

bool JournalReader::timeline(qint64 id, qint64 &t0Ms, qint64 &firstWallMs)
{
    qint64 runMs = 0;
    if (!recordTime(id, 0, runMs, firstWallMs))
        return false;
    int records = 0;
    qint64 skew0 = 0;
    return runInfo(id, t0Ms, records, skew0);
}

bool JournalReader::recordTime(qint64 id, int i, qint64 &runMs, qint64 &wallMs)
{
    if (!m_file.db())
        return false;
    Stmt q(m_file.db(), "SELECT r.t0_ms + 1000 * s.i + s.lag_ms, s.skew_ms FROM sample s JOIN run r ON r.id = s.run "
                 "WHERE s.run = ? AND s.i = ?");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int(q.s, 2, i);
    if (q.step() != SQLITE_ROW)
        return false;
    runMs = q.i64(0);
    wallMs = runMs + q.i64(1);
    return true;
}

std::vector<qint64> JournalReader::runTimesAtWall(qint64 id, qint64 wallMs, bool latest)
{
    std::vector<qint64> times;
    if (!m_file.db())
        return times;
    // Between two records the wall clock goes on with the run's timeline; a
    // pair whose second record is earlier on the wall clock is where the
    // clock was set back, and passes no time.
    // Of records that share the time, the last one, or the first.
    Stmt q(m_file.db(), latest ? "SELECT run_ms + (?2 - wall_ms) FROM ("
                                 " SELECT r.t0_ms + 1000 * s.i + s.lag_ms AS run_ms,"
                                 "  r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms AS wall_ms,"
                                 "  lead(r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) OVER (ORDER BY s.i) AS next_ms"
                                 " FROM sample s JOIN run r ON r.id = s.run WHERE s.run = ?1)"
                                 " WHERE wall_ms <= ?2 AND (next_ms > ?2 OR (next_ms IS NULL AND wall_ms = ?2))"
                               : "SELECT run_ms + (?2 - wall_ms) FROM ("
                                 " SELECT r.t0_ms + 1000 * s.i + s.lag_ms AS run_ms,"
                                 "  r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms AS wall_ms,"
                                 "  lag(r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) OVER (ORDER BY s.i) AS prev_ms,"
                                 "  lead(r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) OVER (ORDER BY s.i) AS next_ms"
                                 " FROM sample s JOIN run r ON r.id = s.run WHERE s.run = ?1)"
                                 " WHERE (wall_ms = ?2 AND (prev_ms IS NULL OR prev_ms <> ?2))"
                                 "  OR (wall_ms < ?2 AND next_ms > ?2)");
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int64(q.s, 2, wallMs);
    while (q.step() == SQLITE_ROW)
        times.push_back(q.i64(0));
    return times;
}

bool JournalReader::load(qint64 id, ReadingLog &log, int first, int last)
{
    log.clear();
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_file.db() || !runInfo(id, t0, records, skew0))
        return false;
    first = std::max(first, 0);
    log.reserve(std::max(0, std::min(last, records - 1) - first + 1));
    const QByteArray sql =
        "SELECT " + QByteArray(kSampleColumns) + " FROM sample WHERE run = ? AND i BETWEEN ? AND ? ORDER BY i";
    Stmt q(m_file.db(), sql.constData());
    sqlite3_bind_int64(q.s, 1, id);
    sqlite3_bind_int(q.s, 2, first);
    sqlite3_bind_int(q.s, 3, last);
    ReadingLog::Values values;
    while (q.step() == SQLITE_ROW) {
        const qint64 runMs = t0 + 1000 * q.i64(0) + q.i64(1);
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            values[size_t(c)] = fromMicro(sqlite3_column_int64(q.s, 3 + c));
        log.append(runMs + q.i64(2), runMs, values);
    }
    return q.rc == SQLITE_DONE || m_file.fail(q.rc);
}

bool JournalReader::loadColumn(qint64 id, ReadingLog::Column column, std::vector<float> &values,
                               std::vector<qint64> *runTimes)
{
    return loadColumns(id, {column}, {&values}, runTimes);
}

bool JournalReader::loadColumns(qint64 id, const std::vector<ReadingLog::Column> &columns,
                                const std::vector<std::vector<float> *> &values, std::vector<qint64> *runTimes)
{
    for (std::vector<float> *v : values)
        v->clear();
    if (runTimes)
        runTimes->clear();
    qint64 t0 = 0, skew0 = 0;
    int records = 0;
    if (!m_file.db() || !runInfo(id, t0, records, skew0))
        return false;
    for (std::vector<float> *v : values)
        v->reserve(size_t(records));
    if (runTimes)
        runTimes->reserve(size_t(records));
    // The columns' names, as kSampleColumns lists them after i, lag_ms and skew_ms.
    QByteArray sql = "SELECT i, lag_ms";
    const QList<QByteArray> names = QByteArray(kSampleColumns).split(',');
    for (ReadingLog::Column column : columns)
        sql += ", " + names.value(3 + column).trimmed();
    sql += " FROM sample WHERE run = ? ORDER BY i";
    Stmt q(m_file.db(), sql.constData());
    sqlite3_bind_int64(q.s, 1, id);
    const int n = int(std::min(columns.size(), values.size()));
    while (q.step() == SQLITE_ROW) {
        if (runTimes) {
            // As ReadingLog::append takes them: never before the record before.
            const qint64 runMs = t0 + 1000 * q.i64(0) + q.i64(1);
            runTimes->push_back(runTimes->empty() ? runMs : std::max(runMs, runTimes->back()));
        }
        for (int k = 0; k < n; ++k)
            values[size_t(k)]->push_back(fromMicro(q.i64(2 + k)));
    }
    return q.rc == SQLITE_DONE || m_file.fail(q.rc);
}
