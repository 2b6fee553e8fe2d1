#pragma once

#include "base/regularfile.h"
#include "recording/journalreader.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "recording/runstats.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

// Records of a reading log as JSON lines: one object a record, "time" in
// local ISO 8601 with milliseconds and the offset from UTC
// ("2026-12-08T13:05:09.000+08:00"), then the ten values as numbers ("vbus",
// "ibus", "power", "cap", "ele", "pd", "pm", "cc1", "cc2", "cpu_temp"); a value
// that is not a finite number is null.
namespace JsonLines {

// The record's values: their keys in this order, and the log's columns.
struct Field {
    const char *key;
    ReadingLog::Column column;
};
extern const Field kFields[10];

// "2026-12-08T13:05:09.000+08:00" for ms since the epoch, in local time.
QByteArray isoTime(qint64 msecsSinceEpoch);
// A JSON number: the shortest text that reads back as the same value; null
// for what is not a finite number.
void appendNumber(QByteArray &out, double value);
void appendNumber(QByteArray &out, float value);
// A JSON string of the text, quoted, in UTF-8.
void appendString(QByteArray &out, const QString &text);
// One line of record i, "\n" included; `more` (",\"key\":value..."), when
// given, ends the object.
void appendRecord(QByteArray &out, const ReadingLog &log, int i, const QByteArray &more = QByteArray());
// Every record of the log into a file (an OutputFile written whole): an
// existing one is appended to, a new one written under a hidden name in the
// same folder and given its name when complete; with `accept` streams, "-"
// is standard output. False, with the reason in `error`, when it cannot be
// written whole (an appended file is put back as it was) or is not a regular
// file; `readerGone` tells a pipe whose reader left.
bool writeFile(const ReadingLog &log, const QString &fileName, QString *error = nullptr,
               RegularFile::Accept accept = RegularFile::Accept::RegularFiles, bool *readerGone = nullptr);

// A run as one JSON object (`ombrel runs --json`): the fields of its row in
// the journal's run table; end_ms and end_reason null while it goes on.
// A member of a bench has "bench": {"id", "name", "role"} too.
QByteArray runObject(const JournalRun &run, const JournalBench *bench = nullptr);
// A mark as one JSON object (`ombrel marks --json`): id, run, at_s, time (its
// local time on the run's clock, `wallAt`), wall_ms, name.
QByteArray markObject(const RunMark &mark, qint64 wallAt);

// The summary of an interval as one JSON object (`ombrel stats --json`): its
// first and last record's times, duration_s, records, charge_ah, energy_wh,
// meter_cap_ah, meter_ele_wh, and vbus, ibus, power each as {min, max, mean}
// (nulls without records). "\n" included.
QByteArray statsObject(const IntervalStats &stats, qint64 fromWallMs, qint64 toWallMs);

} // namespace JsonLines
