#include "recording/readinglog.h"

#include "device/channels.h"
#include "device/meterreading.h"

#include <QDateTime>

#include <algorithm>

ReadingLog::Column ReadingLog::columnOf(int channel)
{
    static const Column columns[kChannelCount] = {Vbus, Ibus, Power, Pd, Pm, Cc1, Cc2, CpuTemp};
    return columns[channel];
}

ReadingLog::Values ReadingLog::valuesOf(const MeterReading &r)
{
    return {r.vbus, r.ibus, r.power, r.pd, r.pm, r.cc1, r.cc2, r.capacity, r.energy, r.cpu_temp};
}

void ReadingLog::append(qint64 wallMs, qint64 runMs, const Values &values)
{
    m_times.push_back(wallMs);
    m_runTimes.push_back(m_runTimes.empty() ? runMs : std::max(runMs, m_runTimes.back()));
    for (int c = 0; c < ColumnCount; ++c)
        m_columns[c].push_back(values[c]);
}

void ReadingLog::clear()
{
    // Memory of a long run is given back, not kept for the next one.
    std::vector<qint64>().swap(m_times);
    std::vector<qint64>().swap(m_runTimes);
    for (std::vector<float> &c : m_columns)
        std::vector<float>().swap(c);
    ++m_generation;
}

void ReadingLog::reserve(int records)
{
    m_times.reserve(size_t(records));
    m_runTimes.reserve(size_t(records));
    for (std::vector<float> &c : m_columns)
        c.reserve(size_t(records));
}

QString ReadingLog::timeStamp(int i) const
{
    return QDateTime::fromMSecsSinceEpoch(timeMs(i)).toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss"));
}

size_t ReadingLog::memoryBytes() const
{
    size_t bytes = (m_times.capacity() + m_runTimes.capacity()) * sizeof(qint64);
    for (const std::vector<float> &c : m_columns)
        bytes += c.capacity() * sizeof(float);
    return bytes;
}
