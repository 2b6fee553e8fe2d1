#include "recording/journalschema.h"

#include "recording/journalreader.h"

#include <cmath>

namespace journalschema {

// The schema. Records are kept as integers in millionths of the unit, as the
// meter sends them, which reads back as the very float it was recorded as and
// takes 3 or 4 bytes a value instead of 8. A record's time on the run's
// timeline is t0_ms + 1000 * i + lag_ms, its wall-clock time that plus
// skew_ms: both are a byte or two while the ticks keep their pace.
const char kSchema[] = R"(
CREATE TABLE run(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  start_ms INTEGER NOT NULL,
  end_ms INTEGER,
  end_reason TEXT,
  name TEXT NOT NULL DEFAULT '',
  model TEXT NOT NULL DEFAULT '',
  version TEXT NOT NULL DEFAULT '',
  serial TEXT NOT NULL DEFAULT '',
  t0_ms INTEGER,
  records INTEGER NOT NULL DEFAULT 0,
  duration_s REAL, charge_ah REAL, energy_wh REAL,
  vbus_max REAL, ibus_max REAL, power_max REAL,
  cap_start_ah REAL, cap_end_ah REAL, ele_start_wh REAL, ele_end_wh REAL,
  notes TEXT NOT NULL DEFAULT '', dut TEXT NOT NULL DEFAULT '', source TEXT NOT NULL DEFAULT '',
  cable TEXT NOT NULL DEFAULT '', ambient_c REAL);
CREATE TABLE sample(
  run INTEGER NOT NULL, i INTEGER NOT NULL, lag_ms INTEGER NOT NULL, skew_ms INTEGER NOT NULL,
  vbus_uv INTEGER NOT NULL, ibus_ua INTEGER NOT NULL, power_uw INTEGER NOT NULL,
  dp_uv INTEGER NOT NULL, dm_uv INTEGER NOT NULL, cc1_uv INTEGER NOT NULL, cc2_uv INTEGER NOT NULL,
  cap_uah INTEGER NOT NULL, ele_uwh INTEGER NOT NULL, temp_uc INTEGER NOT NULL,
  PRIMARY KEY(run, i)) WITHOUT ROWID;
CREATE TABLE block(
  run INTEGER NOT NULL, b INTEGER NOT NULL, records INTEGER NOT NULL,
  weight_ms REAL NOT NULL, vbus_vms REAL NOT NULL, ibus_ams REAL NOT NULL, power_wms REAL NOT NULL,
  vbus_sum REAL NOT NULL, ibus_sum REAL NOT NULL, power_sum REAL NOT NULL,
  vbus_min REAL NOT NULL, vbus_max REAL NOT NULL, ibus_min REAL NOT NULL, ibus_max REAL NOT NULL,
  power_min REAL NOT NULL, power_max REAL NOT NULL,
  PRIMARY KEY(run, b)) WITHOUT ROWID;
CREATE VIEW reading AS
  SELECT s.run AS run, s.i AS i,
         r.t0_ms + 1000 * s.i + s.lag_ms AS run_ms,
         r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms AS wall_ms,
         strftime('%Y-%m-%d %H:%M:%f', (r.t0_ms + 1000 * s.i + s.lag_ms + s.skew_ms) / 1000.0, 'unixepoch', 'localtime') AS time,
         s.vbus_uv / 1e6 AS vbus_v, s.ibus_ua / 1e6 AS ibus_a, s.power_uw / 1e6 AS power_w,
         s.dp_uv / 1e6 AS dp_v, s.dm_uv / 1e6 AS dm_v, s.cc1_uv / 1e6 AS cc1_v, s.cc2_uv / 1e6 AS cc2_v,
         s.cap_uah / 1e6 AS cap_ah, s.ele_uwh / 1e6 AS ele_wh, s.temp_uc / 1e6 AS temp_c
  FROM sample s JOIN run r ON r.id = s.run;
CREATE TABLE mark(
  id INTEGER PRIMARY KEY AUTOINCREMENT, run INTEGER NOT NULL, at_ms INTEGER NOT NULL, wall_ms INTEGER NOT NULL,
  name TEXT NOT NULL DEFAULT '');
CREATE INDEX mark_run ON mark(run, at_ms);
)";

// What a run is about (notes, the device under test, the charger or source,
// the cable, the ambient temperature in degrees Celsius, empty when not
// given) and the marks: named moments of a run, at_ms on the run's timeline
// from its first record, wall_ms when the mark was made.
const char kAdditions[] = R"(
ALTER TABLE run ADD COLUMN notes TEXT NOT NULL DEFAULT '';
ALTER TABLE run ADD COLUMN dut TEXT NOT NULL DEFAULT '';
ALTER TABLE run ADD COLUMN source TEXT NOT NULL DEFAULT '';
ALTER TABLE run ADD COLUMN cable TEXT NOT NULL DEFAULT '';
ALTER TABLE run ADD COLUMN ambient_c REAL;
CREATE TABLE mark(
  id INTEGER PRIMARY KEY AUTOINCREMENT, run INTEGER NOT NULL, at_ms INTEGER NOT NULL, wall_ms INTEGER NOT NULL,
  name TEXT NOT NULL DEFAULT '');
CREATE INDEX mark_run ON mark(run, at_ms);
)";

// A bench: its name, start (wall clock, ms since the epoch) and reporting
// period; its members: each run with the role the meter had (in, out or a
// name of the user's) and the meter's serial number.
const char kBenchTables[] = R"(
CREATE TABLE IF NOT EXISTS bench(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL DEFAULT '', start_ms INTEGER NOT NULL,
  period_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS bench_member(
  bench INTEGER NOT NULL, run INTEGER NOT NULL, role TEXT NOT NULL, serial TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(bench, run)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS bench_member_run ON bench_member(run);
DELETE FROM bench_member WHERE run NOT IN (SELECT id FROM run);
DELETE FROM bench WHERE id NOT IN (SELECT bench FROM bench_member);
)";

qint64 toMicro(float value)
{
    if (!std::isfinite(value))
        return 0;
    return std::llround(qBound(-9.0e12, double(value) * 1e6, 9.0e12));
}

float fromMicro(qint64 micro)
{
    return float(double(micro) / 1e6);
}

int writeRunEnd(sqlite3 *db, const JournalRun &run)
{
    Stmt q(db, "UPDATE run SET end_reason = ?2, end_ms = ?3, records = ?4, duration_s = ?5, charge_ah = ?6, "
               "energy_wh = ?7, vbus_max = ?8, ibus_max = ?9, power_max = ?10, cap_start_ah = ?11, cap_end_ah = ?12, "
               "ele_start_wh = ?13, ele_end_wh = ?14 WHERE id = ?1");
    sqlite3_bind_int64(q.s, 1, run.id);
    bindText(q.s, 2, run.endReason);
    sqlite3_bind_int64(q.s, 3, run.endMs);
    sqlite3_bind_int(q.s, 4, run.records);
    int at = 5;
    for (double JournalRun::*figure : kRunEndFigures)
        sqlite3_bind_double(q.s, at++, run.*figure);
    return q.ok() ? q.step() : q.rc;
}

} // namespace journalschema
