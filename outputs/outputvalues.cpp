#include "outputs/outputvalues.h"

#include "meterbench/benchpairing.h"

#include "recording/jsonlines.h"
#include "recording/readinglog.h"

#include <charconv>
#include <cmath>

namespace OutputValues {

using JsonLines::Field;
using JsonLines::kFields;

double decimal(float value)
{
    if (!std::isfinite(value))
        return double(value);
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    double out = double(value);
    std::from_chars(text, r.ptr, out);
    return out;
}

QByteArray escapeTag(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size() + 8);
    auto special = [](char c) { return c == ',' || c == '=' || c == ' ' || c == '\n' || c == '\r'; };
    for (int i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\n' || c == '\r')
            c = ' ';
        if (c == ',' || c == '=' || c == ' ') {
            out += '\\';
        } else if (c == '\\' && (i + 1 == bytes.size() || special(bytes[i + 1]))) {
            // The protocol has no way to carry a backslash at the end of a
            // value or before an escaped character: InfluxDB would refuse
            // the line, or read the next character as escaped.
            c = '/';
        }
        out += c;
    }
    return out;
}

void appendLineTags(QByteArray &out, const QString &model, const QString &serial, const QString &role)
{
    out += "ombrel";
    if (!model.isEmpty())
        out += ",model=" + escapeTag(model);
    if (!role.isEmpty())
        out += ",role=" + escapeTag(role);
    if (!serial.isEmpty())
        out += ",serial=" + escapeTag(serial);
}

void appendBenchLine(QByteArray &out, const QString &bench, const Bench::Derived &d)
{
    if (d.gap())
        return;
    out += "ombrel_bench";
    if (!bench.isEmpty())
        out += ",bench=" + escapeTag(bench);
    char separator = ' ';
    const std::pair<const char *, double> fields[] = {
        {"efficiency_pct", d.efficiencyPct}, {"loss_w", d.lossW}, {"drop_v", d.dropV}, {"resistance_ohm", d.resistanceOhm}};
    for (const auto &f : fields) {
        if (!std::isfinite(f.second))
            continue;
        out += separator;
        out += f.first;
        out += '=';
        JsonLines::appendNumber(out, f.second);
        separator = ',';
    }
    out += ' ';
    out += QByteArray::number(d.t * 1000000);
    out += '\n';
}

void appendLine(QByteArray &out, const QByteArray &tags, const ReadingLog &log, int i)
{
    const int start = out.size();
    out += tags;
    char separator = ' ';
    for (const Field &f : kFields) {
        const float v = log.value(f.column, i);
        if (!std::isfinite(v))
            continue;
        out += separator;
        out += f.key;
        out += '=';
        JsonLines::appendNumber(out, v);
        separator = ',';
    }
    if (separator == ' ') {
        out.truncate(start);
        return;
    }
    out += ' ';
    out += QByteArray::number(log.timeMs(i) * 1000000);
    out += '\n';
}

} // namespace OutputValues
