#include "base/timetext.h"

#include <QDateTime>

#include <cmath>

namespace TimeText {

QString duration(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString runDuration(double seconds)
{
    return duration(std::isfinite(seconds) ? qint64(std::llround(qBound(0.0, seconds, 1e15))) * 1000 : 0);
}

QString durationMs(qint64 ms)
{
    return duration(ms) + QStringLiteral(".%1").arg(qMax<qint64>(0, ms) % 1000, 3, 10, QLatin1Char('0'));
}

Local local(qint64 ms)
{
    Local l;
    qint64 secs = ms / 1000;
    l.millis = int(ms % 1000);
    if (l.millis < 0) {
        l.millis += 1000;
        --secs;
    }
    const std::time_t t = std::time_t(secs);
    if (!localtime_r(&t, &l.tm))
        l.tm = std::tm{};
    return l;
}

QString localDateTime(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString signedDuration(qint64 ms)
{
    return (ms < 0 ? QStringLiteral("-") : QString()) + duration(ms < 0 ? -ms : ms);
}

} // namespace TimeText
