#pragma once

#include "recording/readinglog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    explicit SigrokSession(const QString &device);

    // A run's records, its time zero at `zeroRunMs` on its timeline; with a
    // prefix (several runs in one session) the channels are named
    // "<prefix>_VBUS_V", ...
    void addRun(const ReadingLog &log, qint64 zeroRunMs, const QString &prefix = QString());

    // The rate all runs added share: the highest of their own.
    int rateHz() const;
    // The whole file, or empty with the reason.
    QByteArray bytes(QString *error) const;

    // The channels' names as a session of one run has them.
    static QStringList channelNames();

private:
    struct Run {
        const ReadingLog *log;
        qint64 zeroRunMs;
        QString prefix;
    };
    QString m_device;
    std::vector<Run> m_runs;
};
