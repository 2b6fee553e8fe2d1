#pragma once

#include "base/regularfile.h"
#include "recording/readinglog.h"

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
// One line of record i, "\n" included.
void appendRecord(QByteArray &out, const ReadingLog &log, int i);
// Every record of the log into a file (an OutputFile written whole): an
// existing one is appended to, a new one written under a hidden name in the
// same folder and given its name when complete; with `accept` streams, "-"
// is standard output. False, with the reason in `error`, when it cannot be
// written whole (an appended file is put back as it was) or is not a regular
// file; `readerGone` tells a pipe whose reader left.
bool writeFile(const ReadingLog &log, const QString &fileName, QString *error = nullptr,
               RegularFile::Accept accept = RegularFile::Accept::RegularFiles, bool *readerGone = nullptr);

} // namespace JsonLines
