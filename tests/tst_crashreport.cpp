// The crash report, from a child process that faults in each way: the
// signal it ends with and the lines of MyApp/crash.log it leaves.
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Crash {
    int signal = 0;   // the child's end, 0 when it exited normally
    QStringList lines;
};

// Runs the helper in `dir` (no core dump) and reads what it wrote there.
Crash crash(const QString &dir, const char *how)
{
    const QByteArray helper = QByteArrayLiteral(OMBREL_CRASH_CHILD);
    const QByteArray where = dir.toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
        rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
        if (chdir(where.constData()) != 0)
            _exit(126);
        execl(helper.constData(), helper.constData(), how, static_cast<char *>(nullptr));
        _exit(127);
    }
    Crash c;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFSIGNALED(status))
        c.signal = WTERMSIG(status);
    QFile log(dir + QStringLiteral("/MyApp/crash.log"));
    if (log.open(QIODevice::ReadOnly))
        c.lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    return c;
}

QString lineStarting(const QStringList &lines, const QString &start)
{
    for (const QString &l : lines) {
        if (l.startsWith(start))
            return l;
    }
    return QString();
}

int stackLines(const QStringList &lines)
{
    const int at = lines.indexOf(QStringLiteral("Call Stack:"));
    return at < 0 ? -1 : lines.size() - at - 1;
}

const QRegularExpression kHex16(QStringLiteral("^[0-9A-F]{16}$"));

} // namespace

class TestCrashReport : public QObject
{
    Q_OBJECT
private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("access");   // the access line, empty for none
        QTest::newRow("null write") << "null-write" << SIGSEGV << "Write Address:  0000000000000010";
        QTest::newRow("unmapped read") << "unmapped-read" << SIGSEGV << "Read Address:  ";
        QTest::newRow("illegal instruction") << "illegal" << SIGILL << "";
        QTest::newRow("abort") << "abort" << SIGABRT << "";
        QTest::newRow("jump to nowhere") << "jump" << SIGSEGV << "Read Address:  0000000000001234";
        QTest::newRow("off the end of code") << "past-code" << SIGSEGV << "Read Address:  ";
        QTest::newRow("overflow in a worker thread") << "worker-overflow" << SIGSEGV << "Write Address:  ";
    }

    void faults()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QFETCH(QString, access);
        QTemporaryDir dir;
        const Crash c = crash(dir.path(), how.toLatin1().constData());
        QCOMPARE(c.signal, signal);
        const QStringList &l = c.lines;
        QVERIFY2(l.size() > 10, qPrintable(l.join(QLatin1Char('\n'))));

        utsname system;
        QCOMPARE(uname(&system), 0);
        QCOMPARE(l[0], QString::fromLatin1(system.sysname) + QStringLiteral(":  ") + QString::fromLatin1(system.release));
        const QString helper = QFileInfo(QStringLiteral(OMBREL_CRASH_CHILD)).canonicalFilePath();
        QCOMPARE(l[1], QStringLiteral("Process:  ") + helper);
        QVERIFY(l[2].startsWith(QStringLiteral("Exception Addr:  ")));
        const QString rip = l[2].mid(17, 16);
        QVERIFY(kHex16.match(rip).hasMatch());
        const char *names[] = {"", "", "", "", "SIGILL", "", "SIGABRT", "", "", "", "", "SIGSEGV"};
        QCOMPARE(l[3], QStringLiteral("Signal:  %1 (%2)").arg(signal).arg(QLatin1String(names[signal])));
        if (access.isEmpty())
            QVERIFY(l[4].startsWith(QStringLiteral("Instruction: ")));
        else
            QVERIFY2(l[4].startsWith(access), qPrintable(l[4]));

        const QString instruction = lineStarting(l, QStringLiteral("Instruction: "));
        if (how == QLatin1String("jump") || how == QLatin1String("past-code")) {
            if (how == QLatin1String("jump"))
                QCOMPARE(rip, QStringLiteral("0000000000001234"));
            QCOMPARE(instruction, QStringLiteral("Instruction:  (not readable)"));
            // Outside every mapping, so no module, not even the one just before.
            QCOMPARE(l[2], QStringLiteral("Exception Addr:  ") + rip + QStringLiteral("  "));
        } else {
            QVERIFY2(QRegularExpression(QStringLiteral("^Instruction: ( [0-9A-F]{2}){16}$")).match(instruction).hasMatch(),
                     qPrintable(instruction));
        }
        if (how == QLatin1String("illegal"))
            QVERIFY(instruction.startsWith(QStringLiteral("Instruction:  0F 0B")));   // ud2
        if (how == QLatin1String("null-write") || how == QLatin1String("illegal"))
            QCOMPARE(l[2], QStringLiteral("Exception Addr:  ") + rip + QStringLiteral("   Module: ") + helper);

        QVERIFY(lineStarting(l, QStringLiteral("RAX: ")).contains(QStringLiteral("  RDX: ")));
        QVERIFY(lineStarting(l, QStringLiteral("R12: ")).contains(QStringLiteral("  R15: ")));
        QCOMPARE(lineStarting(l, QStringLiteral("RIP: ")).mid(5, 16), rip);

        // The call stack: return addresses in the helper, bounded.
        const int frames = stackLines(l);
        QVERIFY2(frames >= 1 && frames <= 64, qPrintable(QString::number(frames)));
        const QString first = l[l.indexOf(QStringLiteral("Call Stack:")) + 1];
        if (how == QLatin1String("jump") || how == QLatin1String("null-write"))
            QCOMPARE(first.mid(16), QStringLiteral("  ") + helper);
        if (how == QLatin1String("null-write"))
            QCOMPARE(first.left(16), rip);
        if (how == QLatin1String("worker-overflow"))
            QCOMPARE(frames, 64);
    }

    void twoThreadsFaultAtOnce()
    {
        // One thread writes the report; the other waits for it instead of
        // ending the process halfway. The process ends with the signal the
        // whole report tells of.
        for (int run = 0; run < 5; ++run) {
            QTemporaryDir dir;
            const Crash c = crash(dir.path(), "two-threads");
            QVERIFY2(c.signal == SIGSEGV || c.signal == SIGILL, qPrintable(QString::number(c.signal)));
            QCOMPARE(c.lines.value(3), QStringLiteral("Signal:  %1 (%2)")
                                           .arg(c.signal)
                                           .arg(QLatin1String(c.signal == SIGSEGV ? "SIGSEGV" : "SIGILL")));
            QVERIFY2(stackLines(c.lines) >= 1, qPrintable(c.lines.join(QLatin1Char('\n'))));
        }
    }

    void reportsReplaceAndStayWhereTheProgramRuns()
    {
        QTemporaryDir a, b;
        QCOMPARE(crash(a.path(), "abort").signal, SIGABRT);
        const Crash second = crash(a.path(), "illegal");
        QCOMPARE(second.lines[3], QStringLiteral("Signal:  4 (SIGILL)"));
        QCOMPARE(second.lines.filter(QStringLiteral("Process:")).size(), 1);
        QVERIFY(!QFile::exists(b.path() + QStringLiteral("/MyApp/crash.log")));
        QCOMPARE(crash(b.path(), "null-write").lines.value(3), QStringLiteral("Signal:  11 (SIGSEGV)"));
    }
};

QTEST_GUILESS_MAIN(TestCrashReport)
#include "tst_crashreport.moc"
