#pragma once

#include "recording/readinglog.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Runs as a sigrok session file (.sr), for PulseView and sigrok-cli: a zip
// holding "version" (2), "metadata" (one device named after the meter model,
// its sample rate, one analog channel a meter channel, its unit in its name:
// VBUS_V, IBUS_A, ...) and each channel's samples as little-endian 32-bit
// floats in "analog-1-<channel>-1".
//
// A session has one sample rate, a run has its own pace: the rate is the
// run's (the median spacing of its records on the run's timeline, in whole
// hertz: 1 Hz for a run of one record a second) and each record takes the
// sample of its time on that grid. A record is never dropped nor moved
// before the one ahead of it: one that comes early takes the next free
// sample. A sample no record took (the meter pulled out, a pause) is NaN, so
// a gap stays a gap and nothing that was not measured is shown as measured.
class SigrokSession
{
public:
    // A session at `rateHz` (rateOf() of a run, the highest of several).
    SigrokSession(const QString &device, int rateHz);

    // A run's own pace: the median spacing of its records on its timeline,
    // in whole hertz (1 to 1000).
    static int rateOf(const std::vector<qint64> &runTimes);

    // A run's records, its time zero at `zeroRunMs` on its timeline; with a
    // prefix (several runs in one session) the channels are named
    // "<prefix>_VBUS_V", ... The samples are taken: the log may go.
    void addRun(const ReadingLog &log, qint64 zeroRunMs, const QString &prefix = QString());

    int rateHz() const { return m_rate; }
    // The whole file, or empty with the reason.
    QByteArray bytes(QString *error) const;

    // A whole file of one run at its own pace, or empty with the reason.
    static QByteArray ofRun(const ReadingLog &log, const QString &device, QString *error);

private:
    // A run's samples on the grid from `first` on, a channel at a time as
    // the file holds them.
    struct Run {
        QString prefix;
        qint64 first = 0;
        qint64 count = 0;
        std::vector<QByteArray> channels;
    };
    QString m_device;
    int m_rate;
    qint64 m_startMs = 0;   // the first run's first record, on the wall clock
    std::vector<Run> m_runs;
};
