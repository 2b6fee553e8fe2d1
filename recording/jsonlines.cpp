#include "recording/jsonlines.h"

#include "base/timetext.h"
#include "recording/newfile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace JsonLines {

const Field kFields[10] = {
    {"vbus", ReadingLog::Vbus}, {"ibus", ReadingLog::Ibus}, {"power", ReadingLog::Power},
    {"cap", ReadingLog::Cap},   {"ele", ReadingLog::Ele},   {"pd", ReadingLog::Pd},
    {"pm", ReadingLog::Pm},     {"cc1", ReadingLog::Cc1},   {"cc2", ReadingLog::Cc2},
    {"cpu_temp", ReadingLog::CpuTemp},
};

namespace {
template <class T>
void appendShortest(QByteArray &out, T value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    out.append(text, int(r.ptr - text));
}
} // namespace

void appendNumber(QByteArray &out, double value)
{
    appendShortest(out, value);
}

void appendNumber(QByteArray &out, float value)
{
    appendShortest(out, value);
}

void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

QByteArray isoTime(qint64 ms)
{
    const TimeText::Local local = TimeText::local(ms);
    const long offsetMinutes = local.offsetSeconds() / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    // Four digits of year; one outside 0..9999 with its sign and every digit.
    const long long year = local.year();
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s%04lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                                year < 0 ? "-" : "", year < 0 ? -year : year, local.tm.tm_mon + 1,
                                local.tm.tm_mday, local.tm.tm_hour, local.tm.tm_min, local.tm.tm_sec, local.millis,
                                offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return QByteArray(text, qBound(0, n, int(sizeof text) - 1));
}

void appendRecord(QByteArray &out, const ReadingLog &log, int i, const QByteArray &more)
{
    out += "{\"time\":\"";
    out += isoTime(log.timeMs(i));
    out += '"';
    for (const Field &f : kFields) {
        out += ",\"";
        out += f.key;
        out += "\":";
        appendNumber(out, log.value(f.column, i));
    }
    out += more;
    out += "}\n";
}

bool writeFile(const ReadingLog &log, const QString &fileName, QString *error, RegularFile::Accept accept,
               bool *readerGone)
{
    OutputFile file(fileName, OutputFile::Mode::Whole, accept);
    auto failed = [&] {
        if (readerGone)
            *readerGone = file.readerGone();
        return false;
    };
    if (!file.open(error))
        return failed();
    QByteArray out;
    out.reserve((1 << 20) + 4096);
    for (int i = 0; i < log.size(); ++i) {
        appendRecord(out, log, i);
        if (out.size() >= (1 << 20)) {
            if (!file.write(out, error))
                return failed();
            out.resize(0);
        }
    }
    if (!file.write(out, error) || !file.commit(error))
        return failed();
    return true;
}

QByteArray runObject(const JournalRun &r, const JournalBench *bench)
{
    QByteArray out = "{\"id\":" + QByteArray::number(r.id);
    out += ",\"start_ms\":" + QByteArray::number(r.startMs);
    out += ",\"end_ms\":" + (r.finished() ? QByteArray::number(r.endMs) : QByteArray("null"));
    out += ",\"end_reason\":";
    if (r.finished())
        appendString(out, r.endReason);
    else
        out += "null";
    const std::pair<const char *, const QString *> texts[] = {
        {"name", &r.name},          {"model", &r.model},       {"version", &r.version},
        {"serial", &r.serial},      {"notes", &r.fields.notes}, {"dut", &r.fields.dut},
        {"source", &r.fields.source}, {"cable", &r.fields.cable}};
    for (const auto &t : texts) {
        out += ",\"";
        out += t.first;
        out += "\":";
        appendString(out, *t.second);
    }
    out += ",\"ambient_c\":";
    if (r.fields.hasAmbient())
        appendNumber(out, r.fields.ambientC);
    else
        out += "null";
    out += ",\"records\":" + QByteArray::number(r.records);
    const std::pair<const char *, double> numbers[] = {
        {"duration_s", r.duration_s},     {"charge_ah", r.charge_ah},   {"energy_wh", r.energy_wh},
        {"vbus_max", r.vbus_max},         {"ibus_max", r.ibus_max},     {"power_max", r.power_max},
        {"cap_start_ah", r.cap_start_ah}, {"cap_end_ah", r.cap_end_ah}, {"ele_start_wh", r.ele_start_wh},
        {"ele_end_wh", r.ele_end_wh}};
    for (const auto &n : numbers) {
        out += ",\"";
        out += n.first;
        out += "\":";
        appendNumber(out, n.second);
    }
    for (const JournalBench::Member &m : bench ? bench->members : std::vector<JournalBench::Member>()) {
        if (m.run != r.id)
            continue;
        out += ",\"bench\":{\"id\":" + QByteArray::number(bench->id) + ",\"name\":";
        appendString(out, bench->name);
        out += ",\"role\":";
        appendString(out, m.role);
        out += '}';
    }
    out += '}';
    return out;
}

QByteArray markObject(const RunMark &m, qint64 wallAt)
{
    QByteArray out = "{\"id\":" + QByteArray::number(m.id) + ",\"run\":" + QByteArray::number(m.runId);
    out += ",\"at_s\":";
    appendNumber(out, double(m.atMs) / 1000.0);
    out += ",\"time\":\"" + isoTime(wallAt) + '"';
    out += ",\"wall_ms\":" + QByteArray::number(m.wallMs);
    out += ",\"name\":";
    appendString(out, m.name);
    out += '}';
    return out;
}

QByteArray statsObject(const IntervalStats &s, qint64 fromWallMs, qint64 toWallMs)
{
    QByteArray out = "{\"from\":\"" + isoTime(fromWallMs) + "\",\"to\":\"" + isoTime(toWallMs) + '"';
    out += ",\"duration_s\":";
    appendNumber(out, s.duration_s);
    out += ",\"records\":" + QByteArray::number(s.records);
    out += ",\"charge_ah\":";
    appendNumber(out, s.charge_ah);
    out += ",\"energy_wh\":";
    appendNumber(out, s.energy_wh);
    out += ",\"meter_cap_ah\":";
    appendNumber(out, s.meter_cap_ah);
    out += ",\"meter_ele_wh\":";
    appendNumber(out, s.meter_ele_wh);
    const std::pair<const char *, const ChannelStats *> channels[] = {
        {"vbus", &s.vbus}, {"ibus", &s.ibus}, {"power", &s.power}};
    for (const auto &c : channels) {
        out += ",\"";
        out += c.first;
        out += "\":";
        if (s.records == 0) {
            out += "{\"min\":null,\"max\":null,\"mean\":null}";
            continue;
        }
        out += "{\"min\":";
        appendNumber(out, c.second->min);
        out += ",\"max\":";
        appendNumber(out, c.second->max);
        out += ",\"mean\":";
        appendNumber(out, c.second->mean);
        out += '}';
    }
    out += "}\n";
    return out;
}

} // namespace JsonLines
