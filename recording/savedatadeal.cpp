#include "recording/savedatadeal.h"

#include "base/regularfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <ctime>

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
    char line[256];
    char *p = line;
    const qint64 ms = log.timeMs(i);
    const std::time_t secs = std::time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm t{};
    localtime_r(&secs, &t);
    appendDigits(p, t.tm_year + 1900, 4);
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
        p = std::to_chars(p, line + sizeof line - 2, double(log.value(c.column, i)), std::chars_format::fixed,
                          c.decimals)
                .ptr;
    }
    *p++ = '\r';
    *p++ = '\n';
    out.append(line, int(p - line));
}

saveDataDeal::~saveDataDeal() = default;

bool saveDataDeal::open(const QString &fileName, QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        m_file.reset();
        return false;
    };
    const bool existed = QFileInfo::exists(fileName);
    m_file.reset(new QFile(fileName));
    QString reason;
    switch (RegularFile::open(*m_file, QIODevice::WriteOnly | QIODevice::Append, &reason)) {
    case RegularFile::Opened::Yes:
        break;
    case RegularFile::Opened::NotRegular:
        return fail(tr("不是普通文件（例如命名管道或设备）"));
    case RegularFile::Opened::Failed:
        return fail(reason);
    }
    if (existed)
        return true;
    const QByteArray head = bannerLine() + modelLine(m_model) + bannerLine() + headerLine();
    if (m_file->write(head) != head.size() || !m_file->flush())
        return fail(m_file->errorString());
    return true;
}

bool saveDataDeal::appendRecords(int first, QString *error)
{
    if (!m_file) {
        if (error)
            *error = QStringLiteral("not open");
        return false;
    }
    QByteArray out;
    out.reserve(kChunkBytes + 4096);
    const int records = m_log.size();
    for (int i = std::max(0, first); i < records; ++i) {
        appendRecord(out, m_log, i);
        if (out.size() >= kChunkBytes) {
            if (m_file->write(out) != out.size()) {
                if (error)
                    *error = m_file->errorString();
                return false;
            }
            out.resize(0);   // keeps the reserved capacity
        }
    }
    if (m_file->write(out) != out.size() || !m_file->flush()) {
        if (error)
            *error = m_file->errorString();
        return false;
    }
    return true;
}

bool saveDataDeal::close(QString *error)
{
    if (!m_file)
        return true;
    m_file->close();
    const bool kept = m_file->error() == QFileDevice::NoError;
    if (!kept && error)
        *error = m_file->errorString();
    m_file.reset();
    return kept;
}

bool saveDataDeal::writeCsv(const QString &fileName, QString *error)
{
    if (!open(fileName, error))
        return false;
    if (!appendRecords(0, error)) {
        close();
        return false;
    }
    return close(error);
}
