#include "recording/jsonlines.h"

#include "base/regularfile.h"
#include "recording/newfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace JsonLines {

namespace {
struct Field {
    const char *key;
    ReadingLog::Column column;
};
const Field kFields[] = {
    {"vbus", ReadingLog::Vbus}, {"ibus", ReadingLog::Ibus}, {"power", ReadingLog::Power},
    {"cap", ReadingLog::Cap},   {"ele", ReadingLog::Ele},   {"pd", ReadingLog::Pd},
    {"pm", ReadingLog::Pm},     {"cc1", ReadingLog::Cc1},   {"cc2", ReadingLog::Cc2},
    {"cpu_temp", ReadingLog::CpuTemp},
};
} // namespace

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
    // Rounded down to the second, for any 64-bit value.
    int millis = int(ms % 1000);
    qint64 secs = ms / 1000;
    if (millis < 0) {
        millis += 1000;
        --secs;
    }
    const std::time_t t = std::time_t(secs);
    std::tm local{};
    if (!localtime_r(&t, &local))
        local = std::tm{};
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    // Four digits of year; one outside 0..9999 with its sign and every digit.
    const long long year = local.tm_year + 1900LL;
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s%04lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                                year < 0 ? "-" : "", year < 0 ? -year : year, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, local.tm_sec, millis, offsetMinutes < 0 ? '-' : '+',
                                absolute / 60, absolute % 60);
    return QByteArray(text, qBound(0, n, int(sizeof text) - 1));
}

void appendRecord(QByteArray &out, const ReadingLog &log, int i)
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
    out += "}\n";
}

bool write(const ReadingLog &log, QIODevice &device, QString *error)
{
    QByteArray out;
    out.reserve((1 << 20) + 4096);
    for (int i = 0; i < log.size(); ++i) {
        appendRecord(out, log, i);
        if (out.size() >= (1 << 20) || i == log.size() - 1) {
            if (device.write(out) != out.size()) {
                if (error)
                    *error = device.errorString();
                return false;
            }
            out.resize(0);
        }
    }
    return true;
}

bool writeFile(const ReadingLog &log, const QString &fileName, QString *error)
{
    const QFileInfo info(fileName);
    if (info.exists() || info.isSymLink()) {
        QFile file(fileName);
        QString reason;
        switch (RegularFile::open(file, QIODevice::WriteOnly | QIODevice::Append, &reason)) {
        case RegularFile::Opened::Yes:
            break;
        case RegularFile::Opened::NotRegular:
            if (error)
                *error = QCoreApplication::translate("saveDataDeal", "不是普通文件（例如命名管道或设备）");
            return false;
        case RegularFile::Opened::Failed:
            if (error)
                *error = reason;
            return false;
        }
        if (!write(log, file, error) || !file.flush()) {
            if (error && error->isEmpty())
                *error = file.errorString();
            return false;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            if (error)
                *error = file.errorString();
            return false;
        }
        return true;
    }
    NewFile part(fileName);
    if (!part.open(error) || !write(log, part.file(), error))
        return false;
    return part.commit(error);
}

} // namespace JsonLines
