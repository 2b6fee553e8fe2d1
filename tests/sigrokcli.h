#pragma once

// Debian's sigrok-cli on a sigrok session file, as a user runs it.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace SigrokCli {

// Its standard output, or "<failed>" and its errors.
inline QByteArray run(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("sigrok-cli"), arguments);
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? p.readAllStandardOutput()
                                                                       : "<failed>" + p.readAllStandardError();
}

// The rows of its CSV of a file: a sample each, the channels' values as it
// prints them (six digits, "nan" for a gap). Its own lines between them
// ("VBUS_V: 5.08 V DC"), the comments and the units' row are left out.
inline QList<QList<QByteArray>> csvRows(const QString &file)
{
    QList<QList<QByteArray>> rows;
    for (const QByteArray &line : run({QStringLiteral("-i"), file, QStringLiteral("-O"), QStringLiteral("csv")}).split('\n')) {
        if (line.contains(',') && !line.startsWith(';') && !line.startsWith("V DC"))
            rows << line.split(',');
    }
    return rows;
}

} // namespace SigrokCli
