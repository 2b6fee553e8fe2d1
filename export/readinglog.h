#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

struct MeterReading;

// The readings of one run, one record a second, every one kept at full
// resolution: the time and the ten measured values. The chart draws from it
// and the CSV export writes it out. Stored column by column (8 bytes of time
// and 40 of values a record) so a run of days stays small and a channel can be
// scanned on its own.
class ReadingLog
{
public:
    // Columns in the order the log has always held them.
    enum Column { Vbus, Ibus, Power, Pd, Pm, Cc1, Cc2, Cap, Ele, CpuTemp, ColumnCount };
    using Values = std::array<float, ColumnCount>;

    // The log column of a chart channel.
    static Column columnOf(int channel);
    static Values valuesOf(const MeterReading &reading);

    void append(qint64 msecsSinceEpoch, const Values &values);
    void append(qint64 msecsSinceEpoch, const MeterReading &reading) { append(msecsSinceEpoch, valuesOf(reading)); }
    void clear();
    void reserve(int records);

    int size() const { return int(m_times.size()); }
    qint64 timeMs(int i) const { return m_times[size_t(i)]; }
    float value(Column column, int i) const { return m_columns[column][size_t(i)]; }
    const std::vector<qint64> &times() const { return m_times; }
    const std::vector<float> &column(Column column) const { return m_columns[column]; }

    // "yyyy-MM-dd_hh:mm:ss" in local time: the record's time stamp.
    QString timeStamp(int i) const;

    // Changes whenever the log is cleared, so a reader can tell a new run
    // from the same run grown.
    quint64 generation() const { return m_generation; }

    // Bytes held, reserve included.
    size_t memoryBytes() const;

private:
    std::vector<qint64> m_times;
    std::array<std::vector<float>, ColumnCount> m_columns;
    quint64 m_generation = 0;
};
