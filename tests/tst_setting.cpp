// The settings file usb-hid.ini.
#include "base/setting.h"
#include "device/usbthread.h"
#include "simulator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

class TestSetting : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_startDir;

    static QString fileText()
    {
        QFile f(QDir::current().filePath(QStringLiteral("usb-hid.ini")));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(f.readAll());
    }

    static void writeFile(const QByteArray &text)
    {
        QFile f(QDir::current().filePath(QStringLiteral("usb-hid.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_startDir = QDir::currentPath();
    }

    void init()
    {
        // Each case in a fresh working directory of its own.
        static int n = 0;
        const QString sub = m_dir.filePath(QString::number(++n));
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(QDir::setCurrent(sub));
    }

    void cleanupTestCase() { QDir::setCurrent(m_startDir); }

    void missingFileReadsEmpty()
    {
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QString());
        QVERIFY(!QFile::exists(QStringLiteral("usb-hid.ini")));
    }

    void writeThenReadBack()
    {
        Setting().write(QStringLiteral("VBUS_col"), QStringLiteral("ff00aa55"));
        Setting().write(QStringLiteral("Vbus_Min_Value"), QStringLiteral("3.30"));
        Setting().write(QStringLiteral("file_path"), QStringLiteral("/tmp/fw, new/固件 v2.bin"));
        Setting().write({{QStringLiteral("VBUS_Max_Value"), QStringLiteral("20")}, {QStringLiteral("vbus_min_value"), QStringLiteral("3.40")}});
        QCOMPARE(Setting().read(QStringLiteral("VBUS_Max_Value")), QStringLiteral("20"));
        QVERIFY(fileText().contains(QStringLiteral("\nVbus_Min_Value=3.40\n")));
        QCOMPARE(Setting().read(QStringLiteral("VBUS_col")), QStringLiteral("ff00aa55"));
        QCOMPARE(Setting().read(QStringLiteral("Vbus_Min_Value")), QStringLiteral("3.40"));
        QCOMPARE(Setting().read(QStringLiteral("file_path")), QStringLiteral("/tmp/fw, new/固件 v2.bin"));
        QVERIFY(fileText().startsWith(QStringLiteral("[General]")));
    }

    void keysIgnoreCase_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("capital") << QByteArray("[General]\nLanguage=English\n");
        QTest::newRow("lower") << QByteArray("[General]\nlanguage=English\n");
    }

    void keysIgnoreCase()
    {
        QFETCH(QByteArray, file);
        writeFile(file);
        QCOMPARE(Setting().read(QStringLiteral("Language")), QStringLiteral("English"));
        QCOMPARE(Setting().read(QStringLiteral("language")), QStringLiteral("English"));
        // Written under one spelling, read under the other: still one entry.
        Setting().write(QStringLiteral("language"), QStringLiteral("Chinese"));
        QCOMPARE(Setting().read(QStringLiteral("Language")), QStringLiteral("Chinese"));
        QCOMPARE(fileText().count(QStringLiteral("anguage="), Qt::CaseInsensitive), 1);
    }

    void removeIgnoresCase()
    {
        Setting().write(QStringLiteral("CC1IsOpen"), QStringLiteral("1"));
        Setting().write(QStringLiteral("CC2IsOpen"), QStringLiteral("1"));
        Setting().remove(QStringLiteral("cc1isopen"));
        QCOMPARE(Setting().read(QStringLiteral("CC1IsOpen")), QString());
        QCOMPARE(Setting().read(QStringLiteral("CC2IsOpen")), QStringLiteral("1"));
    }

    void followsTheWorkingDirectory()
    {
        Setting().write(QStringLiteral("ChartTheme"), QStringLiteral("Dark"));
        const QString first = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("elsewhere")));
        QVERIFY(QDir::setCurrent(QStringLiteral("elsewhere")));
        QCOMPARE(Setting::filePath(), QDir::currentPath() + QStringLiteral("/usb-hid.ini"));
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QString());
        QVERIFY(QDir::setCurrent(first));
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QStringLiteral("Dark"));
    }

    void aLargeFileIsReadOnce()
    {
        // Twenty thousand keys besides the program's own: one reading of the
        // file serves every later read, in any case of letters; writes reach
        // the disk at once; another program's change is read anew.
        QByteArray text = "[General]\nLanguage=English\nChartTheme=Dark\n";
        for (int i = 0; i < 20000; ++i)
            text += "key" + QByteArray::number(i) + "=v" + QByteArray::number(i) + '\n';
        writeFile(text);
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(QDir::currentPath()).constData(), IN_OPEN | IN_CLOSE) >= 0);
        auto opens = [watch] {
            int n = 0;
            alignas(inotify_event) char buffer[4096];
            ssize_t got;
            while ((got = ::read(watch, buffer, sizeof buffer)) > 0) {
                for (char *p = buffer; p < buffer + got;) {
                    const auto *e = reinterpret_cast<const inotify_event *>(p);
                    // Each open is followed by its close, so no two opens
                    // in a row are merged into one event.
                    if ((e->mask & IN_OPEN) && e->len && QByteArray(e->name) == "usb-hid.ini")
                        ++n;
                    p += sizeof(inotify_event) + e->len;
                }
            }
            return n;
        };
        for (int round = 0; round < 10; ++round) {
            QCOMPARE(Setting().read(QStringLiteral("language")), QStringLiteral("English"));
            QCOMPARE(Setting().read(QStringLiteral("CHARTTHEME")), QStringLiteral("Dark"));
            QCOMPARE(Setting().read(QStringLiteral("Key19999")), QStringLiteral("v19999"));
            QCOMPARE(Setting().read(QStringLiteral("VBUS_col")), QString());
        }
        QCOMPARE(opens(), 1);

        Setting().write(QStringLiteral("chartTheme"), QStringLiteral("BlueIcy"));
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QStringLiteral("BlueIcy"));
        opens();
        QVERIFY(fileText().contains(QStringLiteral("\nChartTheme=BlueIcy\n")));
        QVERIFY(fileText().contains(QStringLiteral("\nkey19999=v19999\n")));
        writeFile("[General]\nlanguage=Chinese\n");
        QCOMPARE(Setting().read(QStringLiteral("Language")), QStringLiteral("Chinese"));
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QString());
        close(watch);
    }

    void aLargeFileIsWrittenInTheBackground()
    {
        // Over a megabyte: a write returns at once and reads see it; the
        // file is replaced whole once the rewrite is done, with every key it
        // had, and the program's own rewrite is not read anew.
        QByteArray text = "[General]\nLanguage=English\n";
        for (int i = 0; text.size() < 3000000; ++i)
            text += "key" + QByteArray::number(i) + "=v" + QByteArray::number(i) + '\n';
        writeFile(text);
        QCOMPARE(Setting::problem(), Setting::Problem::Large);
        QCOMPARE(Setting().read(QStringLiteral("key1")), QStringLiteral("v1"));
        for (int i = 0; i < 20; ++i)
            Setting().write(QStringLiteral("ChartTheme"), QStringLiteral("Theme%1").arg(i));
        Setting().remove(QStringLiteral("KEY2"));
        // Several keys in one write, an existing one among them by another spelling.
        Setting().write({{QStringLiteral("KEY3"), QStringLiteral("three")}, {QStringLiteral("Fresh"), QStringLiteral("new")}});
        QCOMPARE(Setting().read(QStringLiteral("charttheme")), QStringLiteral("Theme19"));
        QCOMPARE(Setting().read(QStringLiteral("key2")), QString());
        Setting::flush();
        const QString written = fileText();
        QVERIFY(written.contains(QStringLiteral("\nChartTheme=Theme19\n")));
        QVERIFY(!written.contains(QStringLiteral("\nkey2=")));
        QVERIFY(written.contains(QStringLiteral("\nkey1=v1\n")));
        QVERIFY(written.contains(QStringLiteral("\nkey3=three\n")) && written.contains(QStringLiteral("\nFresh=new\n")));
        QVERIFY(written.contains(QStringLiteral("\nLanguage=English\n")));
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QStringLiteral("Theme19"));
        // No copy is left beside it.
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("usb-hid.ini")});
        // Another program's change is read anew.
        writeFile("[General]\nChartTheme=Other\n");
        QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QStringLiteral("Other"));
        QCOMPARE(Setting::problem(), Setting::Problem::None);
    }

    void workerWritesReportIdOnFirstStart()
    {
        sim::reset();
        {
            USBThread worker;
            QCOMPARE(int(worker.reportId()), 85);
        }
        QCOMPARE(Setting().read(QStringLiteral("report_id")), QStringLiteral("85"));
        const QStringList lines = fileText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({QStringLiteral("[General]"), QStringLiteral("report_id=85")}));
    }

    void workerReadsReportId_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("85") << 85;
        QTest::newRow("other value") << QByteArray("7") << 7;
        QTest::newRow("not a number") << QByteArray("abc") << 0;
        QTest::newRow("wider than a byte") << QByteArray("300") << (300 & 0xFF);
    }

    void workerReadsReportId()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        writeFile("[General]\nREPORT_ID=" + stored + "\n");
        USBThread worker;
        QCOMPARE(int(worker.reportId()), expected);
        // A stored value, even one that does not parse, is left alone.
        QCOMPARE(Setting().read(QStringLiteral("report_id")), QString::fromLatin1(stored));
    }
};

QTEST_GUILESS_MAIN(TestSetting)
#include "tst_setting.moc"
