#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

struct MeterReading;

// The readings of one run, one record a second, every one kept at full
// resolution: the wall-clock time, the time on the run's own timeline and the
// ten measured values. The chart draws from it and the CSV export writes it
// out. Stored column by column (16 bytes of times and 40 of values a record)
// so a run of days stays small and a channel can be scanned on its own.
//
// The run's timeline is a steady clock's, which never steps back: the
// records stay in the order they were taken, and searches over their times
// hold, whatever happens to the wall clock meanwhile (time sync, a change by
// hand, a new time zone). The wall-clock time is kept for the time stamps.
class ReadingLog
{
public:
    // Columns in the order the log has always held them.
    enum Column { Vbus, Ibus, Power, Pd, Pm, Cc1, Cc2, Cap, Ele, CpuTemp, ColumnCount };
    using Values = std::array<float, ColumnCount>;

    // The log column of a chart channel.
    static Column columnOf(int channel);
    static Values valuesOf(const MeterReading &reading);

    // A record taken at wallMs (ms since the epoch) and at runMs on the run's
    // timeline; a runMs earlier than the last record's is taken as that one.
    void append(qint64 wallMs, qint64 runMs, const Values &values);
    void append(qint64 wallMs, qint64 runMs, const MeterReading &reading)
    {
        append(wallMs, runMs, valuesOf(reading));
    }
    // A record of a clock that never steps back: one time for both.
    void append(qint64 msecsSinceEpoch, const Values &values) { append(msecsSinceEpoch, msecsSinceEpoch, values); }
    void clear();
    void reserve(int records);

    int size() const { return int(m_times.size()); }
    // Wall-clock time of a record, ms since the epoch.
    qint64 timeMs(int i) const { return m_times[size_t(i)]; }
    // Time of a record on the run's timeline, and all of them, in order.
    qint64 runMs(int i) const { return m_runTimes[size_t(i)]; }
    const std::vector<qint64> &runTimes() const { return m_runTimes; }
    float value(Column column, int i) const { return m_columns[column][size_t(i)]; }
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
    std::vector<qint64> m_runTimes;
    std::array<std::vector<float>, ColumnCount> m_columns;
    quint64 m_generation = 0;
};
