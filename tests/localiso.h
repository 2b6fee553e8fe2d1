// A local time as the records give it, built in the zone the test runs in:
// "2026-12-08T13:05:09.000+08:00", "+00:00" in UTC.
#pragma once

#include <QDateTime>
#include <QString>

inline QString localIso(qint64 ms)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
    const int offset = t.offsetFromUtc() / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"))
           + QStringLiteral("%1%2:%3")
                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                 .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                 .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
}
