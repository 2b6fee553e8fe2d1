#pragma once

#include <QByteArray>
#include <QString>

class LiveRun;
namespace Bench {
struct Derived;
}
class ReadingLog;

// The values of a record as the outputs send them.
namespace OutputValues {

// The double nearest the shortest decimal text of a measured value: 5.1 for
// the float nearest 5.1, as the JSON lines write it, not 5.099999904632568.
double decimal(float value);

// InfluxDB line protocol: one line a record, measurement "ombrel", the tags
// `model` and `serial` (left out when empty; a bench's meters also `role`),
// a field per channel under the JSON lines' keys ("vbus", "ibus", "power",
// "cap", "ele", "pd", "pm", "cc1", "cc2", "cpu_temp"; a value that is not a
// finite number is left out), and the record's wall-clock time in
// nanoseconds since the epoch.
void appendLineTags(QByteArray &out, const QString &model, const QString &serial, const QString &role = QString());
// A record's line, "\n" included, after the tags of appendLineTags(); a
// record without any finite value has no line.
void appendLine(QByteArray &out, const QByteArray &tags, const ReadingLog &log, int i);
// A tag's value with the characters the protocol escapes (comma, equals
// sign, space) escaped, line ends as spaces. A backslash the protocol cannot
// carry (the value's last character, or one before a space, comma, equals
// sign or line end) is sent as a slash; any other backslash as it is.
QByteArray escapeTag(const QString &text);
// A bench's pair as a line: measurement "ombrel_bench", the tag `bench`
// (its name; left out when empty), the fields "efficiency_pct", "loss_w",
// "drop_v", "resistance_ohm" (those that are numbers), its time; a gap has
// no line.
void appendBenchLine(QByteArray &out, const QString &bench, const Bench::Derived &d);

} // namespace OutputValues
