// Writing a 7-day reading log (604,800 records) as a CSV file: prints the
// time and the file size. Target: under 3 s.
#include "benchfolders.h"
#include "recording/savedatadeal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const BenchFolders dir;
    const int records = 7 * 24 * 3600;
    ReadingLog log;
    log.reserve(records);
    const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < records; ++i) {
        const float w = float(std::sin(i * 0.001));
        log.append(start + qint64(i) * 1000, ReadingLog::Values{9.0f + w, 2.0f + w, 18.0f + w, 0.6f, 0.59f, 1.68f, 0.0f,
                                                                i / 1800.0f, i / 200.0f, 31.0f + w});
    }
    const QString path = dir.filePath(QStringLiteral("week.csv"));
    QElapsedTimer clock;
    clock.start();
    QString reason;
    const bool ok = saveDataDeal(log, QStringLiteral("M512X")).writeCsv(path, &reason);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!ok) {
        std::printf("failed: %s\n", qPrintable(reason));
        return 1;
    }
    std::printf("7-day log, %d records: written in %.3f s (target under 3 s), %.1f MB\n", records, seconds,
                QFileInfo(path).size() / 1e6);
    return 0;
}
