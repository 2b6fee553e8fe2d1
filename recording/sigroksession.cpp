#include "recording/sigroksession.h"

#include <QtEndian>

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

// The log's columns in the order of the session's channels, each named with
// its unit (the format has no field for one).
const struct {
    ReadingLog::Column column;
    const char *name;
} kColumns[] = {
    {ReadingLog::Vbus, "VBUS_V"},  {ReadingLog::Ibus, "IBUS_A"}, {ReadingLog::Power, "POWER_W"},
    {ReadingLog::Cap, "CAP_Ah"},   {ReadingLog::Ele, "ENERGY_Wh"}, {ReadingLog::Pd, "DP_V"},
    {ReadingLog::Pm, "DM_V"},      {ReadingLog::Cc1, "CC1_V"},   {ReadingLog::Cc2, "CC2_V"},
    {ReadingLog::CpuTemp, "TEMP_C"},
};
constexpr int kMaxRateHz = 1000;

// A run's own pace: the median spacing of its records, in whole hertz.
int rateOf(const ReadingLog &log)
{
    std::vector<qint64> gaps;
    const int n = std::min(log.size(), 100001);
    for (int i = 1; i < n; ++i) {
        if (log.runMs(i) > log.runMs(i - 1))
            gaps.push_back(log.runMs(i) - log.runMs(i - 1));
    }
    if (gaps.empty())
        return 1;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const qint64 median = gaps[gaps.size() / 2];
    return int(std::clamp<qint64>(std::llround(1000.0 / double(median)), 1, kMaxRateHz));
}

// Each record's sample on the grid: the sample of its time, or the one after
// the record ahead of it when that is later.
std::vector<qint64> samplesOf(const ReadingLog &log, qint64 zeroRunMs, int rate)
{
    std::vector<qint64> at(size_t(log.size()));
    qint64 last = std::numeric_limits<qint64>::min();
    for (int i = 0; i < log.size(); ++i) {
        const qint64 own = std::llround(double(log.runMs(i) - zeroRunMs) * rate / 1000.0);
        last = i == 0 ? own : std::max(last + 1, own);
        at[size_t(i)] = last;
    }
    return at;
}

struct ZipCloser {
    void operator()(zip_t *z) const { zip_discard(z); }
};

} // namespace

SigrokSession::SigrokSession(const QString &device) : m_device(device) {}

void SigrokSession::addRun(const ReadingLog &log, qint64 zeroRunMs, const QString &prefix)
{
    m_runs.push_back({&log, zeroRunMs, prefix});
}

int SigrokSession::rateHz() const
{
    int rate = 1;
    for (const Run &r : m_runs)
        rate = std::max(rate, rateOf(*r.log));
    return rate;
}

QStringList SigrokSession::channelNames()
{
    QStringList names;
    for (const auto &c : kColumns)
        names << QLatin1String(c.name);
    return names;
}

QByteArray SigrokSession::bytes(QString *error) const
{
    const int rate = rateHz();
    // Every run on one grid, the earliest sample first.
    std::vector<std::vector<qint64>> at;
    qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
    for (const Run &r : m_runs) {
        at.push_back(samplesOf(*r.log, r.zeroRunMs, rate));
        if (!at.back().empty()) {
            first = std::min(first, at.back().front());
            last = std::max(last, at.back().back());
        }
    }
    const qint64 samples = first <= last ? last - first + 1 : 0;
    if (samples > qint64(std::numeric_limits<int>::max() / 4)) {
        *error = QStringLiteral("the runs span too many samples at %1 Hz").arg(rate);
        return QByteArray();
    }

    QByteArray metadata = "[global]\nsigrok version=0.5.2\n\n[device 1]\n";
    // The device as sigrok names a driver's: the meter model.
    metadata += "driver=" + (m_device.isEmpty() ? QByteArray("ombrel") : m_device.toUtf8()) + '\n';
    metadata += "samplerate=" + QByteArray::number(rate) + " Hz\n";
    metadata += "total analog=" + QByteArray::number(qint64(m_runs.size() * std::size(kColumns))) + '\n';
    std::vector<QByteArray> data;
    int channel = 0;
    for (size_t k = 0; k < m_runs.size(); ++k) {
        const Run &r = m_runs[k];
        for (const auto &c : kColumns) {
            ++channel;
            const QByteArray name = r.prefix.isEmpty() ? QByteArray(c.name) : r.prefix.toUtf8() + '_' + c.name;
            metadata += "analog" + QByteArray::number(channel) + '=' + name + '\n';
            QByteArray values(int(samples * 4), Qt::Uninitialized);
            auto *out = reinterpret_cast<uchar *>(values.data());
            const float gap = std::numeric_limits<float>::quiet_NaN();
            for (qint64 s = 0; s < samples; ++s)
                qToLittleEndian(gap, out + s * 4);
            const std::vector<float> &column = r.log->column(c.column);
            for (size_t i = 0; i < column.size(); ++i)
                qToLittleEndian(column[i], out + (at[k][i] - first) * 4);
            data.push_back(std::move(values));
        }
    }

    // The zip made in memory: the caller writes it where the user said.
    zip_error_t status;
    zip_error_init(&status);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &status);
    std::unique_ptr<zip_t, ZipCloser> archive(buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &status) : nullptr);
    auto failed = [&](const char *what) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromUtf8(archive ? zip_strerror(archive.get())
                                                                        : zip_error_strerror(&status)));
        zip_error_fini(&status);
        return QByteArray();
    };
    if (!archive) {
        if (buffer)
            zip_source_free(buffer);
        return failed("cannot make the zip");
    }
    zip_source_keep(buffer);
    // The bytes stay where they are until the zip is closed.
    auto add = [&](const char *name, const QByteArray &bytes) {
        zip_source_t *s = zip_source_buffer(archive.get(), bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!s)
            return false;
        const zip_int64_t index = zip_file_add(archive.get(), name, s, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(s);
            return false;
        }
        // Quick deflate: a week of floats compresses well at any level.
        return zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 1) == 0;
    };
    const QByteArray version = "2";
    if (!add("version", version) || !add("metadata", metadata))
        return failed("cannot add to the zip");
    channel = 0;
    std::vector<QByteArray> names;
    for (const QByteArray &d : data) {
        names.push_back("analog-1-" + QByteArray::number(++channel) + "-1");
        if (!add(names.back().constData(), d))
            return failed("cannot add to the zip");
    }
    if (zip_close(archive.get()) != 0)
        return failed("cannot write the zip");
    archive.release();
    QByteArray out;
    if (zip_source_open(buffer) == 0) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_source_stat(buffer, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) {
            out.resize(int(st.size));
            if (zip_source_read(buffer, out.data(), st.size) != zip_int64_t(st.size))
                out.clear();
        }
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    zip_error_fini(&status);
    if (out.isEmpty())
        *error = QStringLiteral("cannot read the zip back");
    return out;
}
