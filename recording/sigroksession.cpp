#include "recording/sigroksession.h"

#include <QtEndian>

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

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

struct ZipCloser {
    void operator()(zip_t *z) const { zip_discard(z); }
};

} // namespace

SigrokSession::SigrokSession(const QString &device, int rateHz) : m_device(device), m_rate(rateHz) {}

int SigrokSession::rateOf(const std::vector<qint64> &runTimes)
{
    std::vector<qint64> gaps;
    const size_t n = std::min<size_t>(runTimes.size(), 100001);
    for (size_t i = 1; i < n; ++i) {
        if (runTimes[i] > runTimes[i - 1])
            gaps.push_back(runTimes[i] - runTimes[i - 1]);
    }
    if (gaps.empty())
        return 1;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const qint64 median = gaps[gaps.size() / 2];
    return int(std::clamp<qint64>(std::llround(1000.0 / double(median)), 1, kMaxRateHz));
}

void SigrokSession::addRun(const ReadingLog &log, qint64 zeroRunMs, const QString &prefix)
{
    // Each record's sample: the sample of its time, or the one after the
    // record ahead of it when that is later.
    std::vector<qint64> at(size_t(log.size()));
    for (int i = 0; i < log.size(); ++i) {
        const qint64 own = std::llround(double(log.runMs(i) - zeroRunMs) * m_rate / 1000.0);
        at[size_t(i)] = i == 0 ? own : std::max(at[size_t(i) - 1] + 1, own);
    }
    if (m_runs.empty() && log.size() > 0)
        m_startMs = log.timeMs(0);
    Run run;
    run.prefix = prefix;
    run.first = at.empty() ? 0 : at.front();
    run.count = at.empty() ? 0 : at.back() - run.first + 1;
    const float gap = std::numeric_limits<float>::quiet_NaN();
    for (const auto &c : kColumns) {
        QByteArray values(int(run.count * 4), Qt::Uninitialized);
        auto *out = reinterpret_cast<uchar *>(values.data());
        for (qint64 s = 0; s < run.count; ++s)
            qToLittleEndian(gap, out + s * 4);
        const std::vector<float> &column = log.column(c.column);
        for (size_t i = 0; i < column.size(); ++i)
            qToLittleEndian(column[i], out + (at[i] - run.first) * 4);
        run.channels.push_back(std::move(values));
    }
    m_runs.push_back(std::move(run));
}

QByteArray SigrokSession::ofRun(const ReadingLog &log, const QString &device, QString *error)
{
    SigrokSession session(device, rateOf(log.runTimes()));
    session.addRun(log, log.size() > 0 ? log.runMs(0) : 0);
    return session.bytes(error);
}

QByteArray SigrokSession::bytes(QString *error) const
{
    // Every run on one grid, the earliest sample first; before and after a
    // run its channels are NaN.
    qint64 first = std::numeric_limits<qint64>::max(), end = std::numeric_limits<qint64>::min();
    for (const Run &r : m_runs) {
        if (r.count > 0) {
            first = std::min(first, r.first);
            end = std::max(end, r.first + r.count);
        }
    }
    const qint64 samples = first < end ? end - first : 0;
    if (samples > qint64(std::numeric_limits<int>::max() / 4)) {
        *error = QStringLiteral("the runs span too many samples at %1 Hz").arg(m_rate);
        return QByteArray();
    }
    qint64 padding = 0;
    for (const Run &r : m_runs)
        padding = std::max(padding, samples - r.count);
    QByteArray gaps(int(padding * 4), Qt::Uninitialized);
    for (qint64 s = 0; s < padding; ++s)
        qToLittleEndian(std::numeric_limits<float>::quiet_NaN(), gaps.data() + s * 4);

    QByteArray metadata = "[global]\nsigrok version=0.5.2\n\n[device 1]\n";
    // The device as sigrok names a driver's: the meter model.
    metadata += "driver=" + (m_device.isEmpty() ? QByteArray("ombrel") : m_device.toUtf8()) + '\n';
    metadata += "samplerate=" + QByteArray::number(m_rate) + " Hz\n";
    metadata += "total analog=" + QByteArray::number(qint64(m_runs.size() * std::size(kColumns))) + '\n';
    int channel = 0;
    for (const Run &r : m_runs) {
        for (const auto &c : kColumns) {
            const QByteArray name = r.prefix.isEmpty() ? QByteArray(c.name) : r.prefix.toUtf8() + '_' + c.name;
            metadata += "analog" + QByteArray::number(++channel) + '=' + name + '\n';
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
    // A fault from here on gives up the zip and its buffer.
    auto abandon = [&](const char *what) {
        const QByteArray none = failed(what);
        archive.reset();
        zip_source_free(buffer);
        return none;
    };
    // The bytes stay where they are until the zip is closed.
    auto addSource = [&](const char *name, zip_source_t *source) {
        const zip_int64_t index = zip_file_add(archive.get(), name, source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        // Dated by the run, not by the export: the same run gives the same
        // bytes whenever it is exported.
        const time_t dated = time_t(std::max<qint64>(m_startMs / 1000, 315532800));   // 1980 at least, as zip counts
        // Quick deflate: a week of floats compresses well at any level.
        return zip_file_set_mtime(archive.get(), zip_uint64_t(index), dated, 0) == 0
               && zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 1) == 0;
    };
    auto add = [&](const char *name, const QByteArray &bytes) {
        zip_source_t *s = zip_source_buffer(archive.get(), bytes.constData(), zip_uint64_t(bytes.size()), 0);
        return s && addSource(name, s);
    };
    const QByteArray version = "2";
    if (!add("version", version) || !add("metadata", metadata))
        return abandon("cannot add to the zip");
    // Each channel's samples: the run's own between NaN before and after,
    // read from where they are.
    channel = 0;
    std::vector<QByteArray> names;
    names.reserve(size_t(m_runs.size() * std::size(kColumns)));
    // libzip keeps the fragments' list itself until the zip is closed.
    std::vector<std::vector<zip_buffer_fragment_t>> fragments;
    fragments.reserve(names.capacity());
    for (const Run &r : m_runs) {
        const qint64 before = r.count > 0 ? r.first - first : samples;
        const qint64 after = samples - before - r.count;
        for (const QByteArray &values : r.channels) {
            // The empty ones left out.
            std::vector<zip_buffer_fragment_t> parts;
            for (const auto &[bytes, length] : {std::pair<const char *, qint64>{gaps.constData(), before * 4},
                                                {values.constData(), values.size()},
                                                {gaps.constData(), after * 4}}) {
                if (length > 0)
                    parts.push_back({reinterpret_cast<zip_uint8_t *>(const_cast<char *>(bytes)), zip_uint64_t(length)});
            }
            fragments.push_back(std::move(parts));
            names.push_back("analog-1-" + QByteArray::number(++channel) + "-1");
            zip_source_t *source =
                fragments.back().empty()
                    ? zip_source_buffer(archive.get(), "", 0, 0)
                    : zip_source_buffer_fragment(archive.get(), fragments.back().data(), fragments.back().size(), 0);
            if (!source || !addSource(names.back().constData(), source))
                return abandon("cannot add to the zip");
        }
    }
    if (zip_close(archive.get()) != 0)
        return abandon("cannot write the zip");
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
