#pragma once

// The run journal's tables, how values are stored in them, and a statement
// that finalizes itself: what the journal's parts share.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sqlite3.h>

struct JournalRun;

namespace journalschema {

// The tables and the view of readings, as a new database is made: the first
// tables and the additions below.
extern const char kSchema[];

// Additions to the first tables that leave a database readable and writable
// by a program that knows only those (PRAGMA user_version stays 1): the run's
// notes and fields, and the marks. A database without them gets them when it
// is opened for writing (kAdditions in one transaction); opened for reading,
// its runs read with empty fields and no marks. An older program that removes
// a run leaves its marks behind, which are dropped at the next opening for
// writing (run ids are never used again).
extern const char kAdditions[];
// Whether a database has the additions: it has the mark table.
inline constexpr char kHasAdditions[] = "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'mark'";

// Benches: runs of several meters recorded together, each member an
// ordinary run. Made when a database is opened for writing (older programs
// list and export the member runs as they always did); members of runs
// removed meanwhile, and benches left without members, are dropped then.
extern const char kBenchTables[];
inline constexpr char kHasBenches[] =
    "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'bench_member'";

// How a value is stored: in millionths of its unit, as the meter sends it;
// fromMicro(toMicro(v)) == v for every value the meter can report.
qint64 toMicro(float value);
float fromMicro(qint64 micro);

// Records of a run: counted at its end, from its blocks while it goes on.
inline const QByteArray kRecords = "CASE WHEN end_reason IS NULL THEN (SELECT ifnull(sum(records), 0) FROM block "
                                   "WHERE block.run = run.id) ELSE records END";

inline constexpr char kSampleColumns[] = "i, lag_ms, skew_ms, vbus_uv, ibus_ua, power_uw, dp_uv, dm_uv, cc1_uv, cc2_uv, "
                                         "cap_uah, ele_uwh, temp_uc";

struct Stmt {
    sqlite3_stmt *s = nullptr;
    int rc = SQLITE_OK;
    Stmt(sqlite3 *db, const char *sql) { rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Stmt() { sqlite3_finalize(s); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    bool ok() const { return rc == SQLITE_OK; }
    int step()
    {
        rc = sqlite3_step(s);
        return rc;
    }
    qint64 i64(int c) const { return sqlite3_column_int64(s, c); }
    double real(int c) const { return sqlite3_column_double(s, c); }
    QString text(int c) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, c)), sqlite3_column_bytes(s, c));
    }
    bool null(int c) const { return sqlite3_column_type(s, c) == SQLITE_NULL; }
};

inline void bindText(sqlite3_stmt *s, int i, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
}

// Writes a run's end into its row: `run`'s end time and reason, records and
// summary figures. SQLITE_DONE when written, else SQLite's code.
int writeRunEnd(sqlite3 *db, const JournalRun &run);

} // namespace journalschema
