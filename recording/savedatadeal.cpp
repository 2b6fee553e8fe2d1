#include "recording/savedatadeal.h"

#include "base/regularfile.h"
#include "base/timetext.h"
#include "recording/newfile.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

const char kCrLf[] = "\r\n";
constexpr int kChunkBytes = 1 << 20;

// Column order of the file, and decimals of each value column.
struct Column {
    ReadingLog::Column column;
    int decimals;
};
const Column kColumns[] = {
    {ReadingLog::Vbus, 6}, {ReadingLog::Ibus, 6}, {ReadingLog::Power, 6}, {ReadingLog::Cap, 3},
    {ReadingLog::Ele, 3},  {ReadingLog::Pd, 3},   {ReadingLog::Pm, 3},    {ReadingLog::Cc1, 3},
    {ReadingLog::Cc2, 3},  {ReadingLog::CpuTemp, 1},
};

void appendDigits(char *&p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
    p += width;
}

// A year of four digits; one outside 0..9999 (only from a damaged time) with
// as many digits as it takes and its sign.
void appendYear(char *&p, char *end, long long year)
{
    if (year >= 0 && year <= 9999) {
        appendDigits(p, int(year), 4);
        return;
    }
    if (year < 0) {
        *p++ = '-';
        year = -year;
    }
    if (year < 1000)
        appendDigits(p, int(year), 4);
    else
        p = std::to_chars(p, end, year).ptr;
}

// A value with its decimals. What the meter sends has at most 7 integer
// digits; any other float fits too: 3.4e38 takes 39, so a field is at most
// 1 + 39 + 1 + 6 characters. What is not a number is "nan", "inf" or "-inf".
void appendValue(char *&p, char *end, float value, int decimals)
{
    if (std::isnan(value)) {
        std::memcpy(p, "nan", 3);
        p += 3;
        return;
    }
    const std::to_chars_result r = std::to_chars(p, end, double(value), std::chars_format::fixed, decimals);
    p = r.ec == std::errc() ? r.ptr : p;
}

// Longest line: a date of 26 characters, 10 fields of 48, CR LF.
constexpr int kMaxLine = 26 + 10 * 48 + 2;

} // namespace

saveDataDeal::saveDataDeal(const ReadingLog &log, const QString &model, QObject *parent)
    : QObject(parent), m_log(log), m_model(model)
{
}

QByteArray saveDataDeal::bannerLine()
{
    return QByteArray("-------------------------VORANE Ombrel---------------------------") + kCrLf;
}

QByteArray saveDataDeal::modelLine(const QString &model)
{
    return QByteArray(25, '-') + model.toUtf8() + QByteArray(27, '-') + kCrLf;
}

QByteArray saveDataDeal::headerLine()
{
    return QByteArray("DATE,VBUS(V),IBUS(A),POWER(W),CAP(Ah),ELE(Wh),PD(V),PM(V),CC1(V),CC2(V),CPU_TEMP(")
           + QByteArray("\xE2\x84\x83") + QByteArray("),") + kCrLf;
}

void saveDataDeal::appendRecord(QByteArray &out, const ReadingLog &log, int i)
{
    // The time stamp in local time, as QDateTime would give it, but without
    // its cost per record: "yyyy-MM-dd_hh:mm:ss".
    char line[kMaxLine + 64];
    char *const end = line + sizeof line;
    char *p = line;
    const TimeText::Local local = TimeText::local(log.timeMs(i));
    const std::tm &t = local.tm;
    appendYear(p, end, local.year());
    *p++ = '-';
    appendDigits(p, t.tm_mon + 1, 2);
    *p++ = '-';
    appendDigits(p, t.tm_mday, 2);
    *p++ = '_';
    appendDigits(p, t.tm_hour, 2);
    *p++ = ':';
    appendDigits(p, t.tm_min, 2);
    *p++ = ':';
    appendDigits(p, t.tm_sec, 2);
    // Each value widened to double and correctly rounded to its decimals.
    for (const Column &c : kColumns) {
        *p++ = ',';
        appendValue(p, end - 2, log.value(c.column, i), c.decimals);
    }
    *p++ = '\r';
    *p++ = '\n';
    out.append(line, int(p - line));
}

saveDataDeal::~saveDataDeal() = default;

QByteArray saveDataDeal::head() const
{
    return bannerLine() + modelLine(m_model) + bannerLine() + headerLine();
}

bool saveDataDeal::open(const QString &fileName, QString *error, RegularFile::Accept accept)
{
    m_file.reset(new OutputFile(fileName, OutputFile::Mode::AsItGoes, accept));
    if (!m_file->open(error) || (m_file->startsEmpty() && !m_file->write(head(), error))) {
        m_file.reset();
        return false;
    }
    m_file->keep();
    return true;
}

bool saveDataDeal::appendRecords(int first, QString *error)
{
    if (!m_file) {
        if (error)
            *error = QStringLiteral("not open");
        return false;
    }
    if (!writeLines(*m_file, QByteArray(), first, error)) {
        m_readerGone = m_file->readerGone();
        return false;
    }
    m_file->keep();
    return true;
}

bool saveDataDeal::writeLines(OutputFile &file, QByteArray out, int first, QString *error) const
{
    out.reserve(kChunkBytes + 4096);
    const int records = m_log.size();
    for (int i = std::max(0, first); i < records; ++i) {
        appendRecord(out, m_log, i);
        if (out.size() >= kChunkBytes) {
            if (!file.write(out, error))
                return false;
            out.resize(0);   // keeps the reserved capacity
        }
    }
    return file.write(out, error);
}

bool saveDataDeal::close(QString *error)
{
    if (!m_file)
        return true;
    const bool kept = m_file->commit(error);
    m_file.reset();
    return kept;
}

bool saveDataDeal::writeCsv(const QString &fileName, QString *error, RegularFile::Accept accept)
{
    // An existing file is appended to as it is; a new one is written under a
    // name of its own and takes its name whole: a program killed on the way
    // leaves no file that looks complete.
    OutputFile file(fileName, OutputFile::Mode::Whole, accept);
    if (!file.open(error))
        return false;
    if (!writeLines(file, file.startsEmpty() ? head() : QByteArray(), 0, error)) {
        m_readerGone = file.readerGone();
        return false;
    }
    return file.commit(error);
}
