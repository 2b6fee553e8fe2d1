// Writes a run through the journal, one record every few milliseconds, and
// prints the number of records committed after each write; tst_journal kills
// it at a random moment and looks at what the database kept.
// Usage: journalchild DATABASE SEED
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
    for (int k = 0; k < 100000; ++k) {
        journalrecords::appendRecord(log, seed, k);
        if (!journal.sync(id, log))
            return 4;
        std::printf("%d\n", journal.written(id));
        std::fflush(stdout);
        usleep(2000);
    }
    return 0;
}
