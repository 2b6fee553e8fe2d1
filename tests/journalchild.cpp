// Writes a run through the journal, one record every few milliseconds, and
// prints the number of records committed after each write; tst_journal kills
// it at a random moment and looks at what the database kept. Given RECORDS,
// it writes that many, ends the run and closes the database, as another
// program recording beside a test would.
// Usage: journalchild DATABASE SEED [RECORDS]
#include "journalrecords.h"
#include "recording/runjournal.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const uint64_t seed = std::strtoull(argv[2], nullptr, 10);
    RunJournal journal;
    if (!journal.open(QString::fromLocal8Bit(argv[1])))
        return 3;
    const qint64 id = journal.beginRun(journalrecords::wallMs(seed, 0), QStringLiteral("M512X"), QStringLiteral("V1.2"),
                                       QStringLiteral("0012345678"));
    std::printf("run %lld\n", static_cast<long long>(id));
    std::fflush(stdout);
    ReadingLog log;
    // Killed long before the end; a writer whose test is gone stops here.
    const int records = argc > 3 ? std::atoi(argv[3]) : 100000;
    for (int k = 0; k < records; ++k) {
        journalrecords::appendRecord(log, seed, k);
        if (!journal.sync(id, log))
            return 4;
        std::printf("%d\n", journal.written(id));
        std::fflush(stdout);
        usleep(2000);
    }
    if (argc > 3 && !journal.endRun(id, log.timeMs(log.size() - 1), QStringLiteral("stopped")))
        return 5;
    journal.close();
    return 0;
}
