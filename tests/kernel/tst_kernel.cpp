// The product with the real hidapi (hidraw backend) against a meter on the
// kernel's HID stack: a /dev/uhid device served by the meter model. Runs in
// a virtual machine with Debian's kernel (scripts/test-kernel): two handles
// on one /dev/hidraw node, each with its own copy of every report, the
// product string and serial as hidapi reads them, -1 from a read once the
// device is gone, and the 0x55 lead byte of every output report reaching the
// meter as data; and the command line recording that meter.
#include "app/startup.h"
#include "device/hidglobal.h"
#include "ui/deviceinfoui.h"
#include "device/usbthread.h"
#include "uhidmeter.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui_deviceinfoui.h"
#include "ui_maindialog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <hidapi.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

sim::Identity identity()
{
    sim::Identity id;
    id.product = L"TEST M512X V1.2";
    id.serial = L"0012345678";
    return id;
}

bool meterListed()
{
    hid_device_info *list = hid_enumerate(0x0483, 0x5750);
    const bool listed = list != nullptr;
    hid_free_enumeration(list);
    return listed;
}

// The kernel adds the device a moment after UHID_CREATE2: its hidraw node.
bool hidrawNodeAppears()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (!QDir(QStringLiteral("/sys/class/hidraw")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty())
            return true;
        QThread::msleep(2);
    }
    return false;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

sim::Report tagged(int n)
{
    sim::Report r{};
    r[0] = 0xAA;
    r[1] = 0x77;
    r[2] = n & 0xFF;
    r[3] = (n >> 8) & 0xFF;
    return r;
}

// Counts the tagged reports the worker hands over, and its connection
// signals; it lives in the GUI thread.
class Tally : public QObject
{
    Q_OBJECT
public:
    QList<int> tags;
    int connects = 0;
    int disconnects = 0;
public slots:
    void report(unsigned char *data, unsigned int length)
    {
        if (length == 64 && data[0] == 0xAA && data[1] == 0x77)
            tags << (data[2] | (data[3] << 8));
    }
    void connected(QString) { ++connects; }
    void disconnected() { ++disconnects; }
};

} // namespace

class TestKernel : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<sim::UhidMeter> m_meter;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        Startup::applyLook(*qApp);
        m_meter.reset(new sim::UhidMeter(identity()));
        QVERIFY2(m_meter->start(), m_meter->error().c_str());
        m_meter->setReportRate(0);
        m_meter->setBurnDelayMs(0);
        QVERIFY2(m_meter->plug(), m_meter->error().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(meterListed(), 10000);
    }

    void listedLiveAndCommanded()
    {
        MainDialog d;
        QCOMPARE(d.deviceEntries().size(), 1);
        Ui::DeviceInfoUI *entry = d.deviceEntries().first()->form();
        QCOMPARE(entry->label_model_value->text(), QStringLiteral("M512X"));
        QCOMPARE(entry->label_version_value->text(), QStringLiteral("V1.2"));
        QCOMPARE(entry->label_serial_value->text(), QStringLiteral("001234"));
        QVERIFY(m_meter->opens() >= 1);   // the kernel tells the first open only

        m_meter->inject(sim::measurementReport(9.012, 1.987, 17.907, 0.6, 0.0, 1.68, 0.0, 31.4, 25, 0.512, 4.6, 1));
        QTRY_COMPARE_WITH_TIMEOUT(d.form()->disp_label_VOLT->text(), QStringLiteral("9.012000"), 5000);

        m_meter->clearWritten();
        d.form()->settings_slider_worklight->setValue(5);
        QTRY_VERIFY_WITH_TIMEOUT(!m_meter->written().empty(), 5000);
        const sim::Report frame = m_meter->written().front();
        const unsigned char expected[10] = {0x55, 0x05, 0x0A, 0x22, 0, 0, 0, 0x05, 0xEE, 0xFF};
        QVERIFY(std::equal(expected, expected + 10, frame.begin()));
        QVERIFY(std::all_of(frame.begin() + 10, frame.end(), [](unsigned char b) { return b == 0; }));
    }

    void unplugAndPlug()
    {
        MainDialog d;
        Tally tally;
        connect(d.worker(), SIGNAL(usb_connect(QString)), &tally, SLOT(connected(QString)), Qt::QueuedConnection);
        connect(d.worker(), SIGNAL(usb_disconnect()), &tally, SLOT(disconnected()), Qt::QueuedConnection);
        m_meter->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(tally.disconnects, 1, 5000);
        QTest::qWait(1200);
        QCOMPARE(tally.disconnects, 1);
        QCOMPARE(d.deviceEntries().first()->form()->label_connect_type->text(), QStringLiteral("错误"));
        QVERIFY(m_meter->plug());
        QTRY_COMPARE_WITH_TIMEOUT(tally.connects, 1, 5000);
        QTest::qWait(1200);
        QCOMPARE(tally.connects, 1);
        QCOMPARE(tally.disconnects, 1);
        QTRY_VERIFY_WITH_TIMEOUT(d.isPlotting(), 5000);

        // A hundred replugs leave no file open behind them.
        QTRY_COMPARE_WITH_TIMEOUT(d.worker()->usb_state(), 0, 5000);
        const int files = openFiles();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 100; ++i) {
            m_meter->unplug();
            d.usbdisconnect();
            QVERIFY(m_meter->plug());
            QVERIFY(hidrawNodeAppears());
            d.usbconnect(QStringLiteral("TEST M512X V1.2"));
            QVERIFY(d.meterPort().isOpen());
        }
        std::printf("KERNEL-E2E replug: 100 cycles in %.1f s\n", clock.elapsed() / 1000.0);
        QTRY_COMPARE_WITH_TIMEOUT(d.worker()->usb_state(), 0, 5000);
        QTest::qWait(1500);
        QTRY_COMPARE_WITH_TIMEOUT(openFiles(), files, 5000);
    }

    // The worker looks for the meter while the meter comes and goes: the
    // library reads the attributes of a device the kernel is removing.
    void listingWhileUnplugging()
    {
        std::atomic<bool> done{false};
        std::atomic<int> listings{0};
        std::atomic<int> found{0};
        std::atomic<int> pathless{0};
        std::thread lister([&] {
            while (!done.load()) {
                hid_device_info *list = HidGlobal::enumerate(0x0483, 0x5750);
                if (list) {
                    ++found;
                    if (!list->path || !QByteArray(list->path).startsWith("/dev/hidraw"))
                        ++pathless;
                }
                hid_free_enumeration(list);
                ++listings;
            }
        });
        int replugs = 0;
        bool back = true;
        for (; replugs < 300 && back; ++replugs) {
            m_meter->unplug();
            back = m_meter->plug() && hidrawNodeAppears();
            // Listed at least once before it goes again.
            const int before = listings.load();
            QElapsedTimer wait;
            wait.start();
            while (listings.load() < before + 2 && wait.elapsed() < 2000)
                QThread::msleep(1);
        }
        done = true;
        lister.join();
        std::printf("KERNEL-E2E listing while replugging: %d listings over %d replugs, %d found the meter\n",
                    listings.load(), replugs, found.load());
        QVERIFY(back);
        QCOMPARE(pathless.load(), 0);
        // Both states were seen: the listing ran across the replugs.
        QVERIFY(found.load() >= replugs / 2);
        QVERIFY(found.load() < listings.load());
        QTRY_VERIFY_WITH_TIMEOUT(meterListed(), 5000);
    }

    void firmwareArrivesWhole()
    {
        MainDialog d;
        d.setLoaderWait([](int) {});
        QByteArray image(64 * 1024, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 13 + (i >> 8));
        const QString path = m_dir.filePath(QStringLiteral("fw.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        file.close();
        Prompts::setOpenFileHandler([&](QWidget *, const QString &, const QString &, const QString &) { return path; });
        QStringList warnings;
        Prompts::setWarningHandler([&](QWidget *, const QString &, const QString &t) { warnings << t; });
        d.form()->upgrade_pushButton_openfile->click();
        QVERIFY(d.form()->upgrade_pushButton_start->isEnabled());
        QElapsedTimer clock;
        clock.start();
        d.form()->upgrade_pushButton_start->click();
        QTRY_VERIFY_WITH_TIMEOUT(d.form()->upgrade_text_log->toPlainText().contains(QStringLiteral("本次下载结束"))
                                     || !warnings.isEmpty(),
                                 60000);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char(' '))));
        const std::vector<unsigned char> got = m_meter->receivedImage();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), int(got.size())), image);
        std::printf("KERNEL-E2E firmware: 64 KiB, %d blocks in %.2f s\n", Firmware::blockCount(image.size()),
                    clock.elapsed() / 1000.0);
        Prompts::setOpenFileHandler(nullptr);
        Prompts::setWarningHandler(nullptr);
        // The meter starts its new firmware: wait until it measures again.
        QTest::qWait(500);
    }

    void bothHandlesGetEveryReport()
    {
        MainDialog d;
        d.dashboardTimer().stop();
        d.chartTimer().stop();
        // new_data is emitted in the GUI thread with a buffer that lives
        // only as long as the emission: read it there, as the window does.
        Tally worker;
        connect(d.worker(), SIGNAL(new_data(unsigned char*,unsigned int)), &worker,
                SLOT(report(unsigned char*,unsigned int)), Qt::DirectConnection);
        QTRY_VERIFY_WITH_TIMEOUT(d.meterPort().isOpen(), 5000);
        unsigned char buffer[64];
        while (d.meterPort().readReport(buffer) > 0) {
        }

        // Ten tagged reports a second for a minute; the dialog handle is
        // drained once a second, as the dashboard does.
        const int total = 600;
        QList<int> dialog;
        QElapsedTimer clock;
        clock.start();
        for (int n = 0; n < total; ++n) {
            while (clock.elapsed() < n * 100)
                QTest::qWait(5);
            m_meter->inject(tagged(n));
            if (n % 10 == 9) {
                while (d.meterPort().readReport(buffer) == 64) {
                    if (buffer[0] == 0xAA && buffer[1] == 0x77)
                        dialog << (buffer[2] | (buffer[3] << 8));
                }
            }
        }
        QTest::qWait(500);
        while (d.meterPort().readReport(buffer) == 64) {
            if (buffer[0] == 0xAA && buffer[1] == 0x77)
                dialog << (buffer[2] | (buffer[3] << 8));
        }
        QTRY_COMPARE_WITH_TIMEOUT(worker.tags.size(), total, 5000);
        const double seconds = clock.elapsed() / 1000.0;
        std::printf("KERNEL-E2E reports: worker handle %d (%.2f/s), dialog handle %d (%.2f/s) of %d sent\n",
                    worker.tags.size(), worker.tags.size() / seconds, dialog.size(), dialog.size() / seconds, total);
        QList<int> all;
        for (int n = 0; n < total; ++n)
            all << n;
        QCOMPARE(worker.tags, all);
        QCOMPARE(dialog, all);
    }

    // The command line of the product records the kernel meter: with the
    // meter quiet, every record comes from the answer to its once-a-second
    // request.
    void commandLineRecords()
    {
        m_meter->setReportRate(0);
        QProcess record;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        record.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        record.start(QStringLiteral(OMBREL_BINARY),
                     {QStringLiteral("record"), QStringLiteral("--jsonl"), QStringLiteral("-"),
                      QStringLiteral("--until-duration"), QStringLiteral("5")});
        QVERIFY(record.waitForFinished(60000));
        const QByteArray err = record.readAllStandardError();
        QCOMPARE(record.exitStatus(), QProcess::NormalExit);
        QVERIFY2(record.exitCode() == 0, err.constData());
        const QList<QByteArray> lines = record.readAllStandardOutput().trimmed().split('\n');
        QVERIFY2(lines.size() >= 4 && lines.size() <= 6, err.constData());
        for (const QByteArray &line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QVERIFY2(o.value(QStringLiteral("vbus")).isDouble() && o.value(QStringLiteral("time")).isString(),
                     line.constData());
        }
        std::printf("KERNEL-E2E command line: %d records in %.1f s\n", int(lines.size()), clock.elapsed() / 1000.0);
    }

    // A Python script reads the kernel meter through the real hidapi, and
    // hears of it being pulled out.
    void pythonReadsTheMeter()
    {
        m_meter->setReportRate(4);
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(OMBREL_PYTHON_DIR));
        script.setProcessEnvironment(env);
        script.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import ombrel\n"
                                     "listed = ombrel.meters()\n"
                                     "assert [m['serial'] for m in listed] == ['0012345678'], listed\n"
                                     "with ombrel.open() as m:\n"
                                     "    assert (m.serial, m.product) == ('0012345678', 'TEST M512X V1.2')\n"
                                     "    r = m.reading(timeout=20)\n"
                                     "    print('read', r['vbus'], flush=True)\n"
                                     "    try:\n"
                                     "        for r in m.readings(seconds=60):\n"
                                     "            pass\n"
                                     "    except ombrel.Error as e:\n"
                                     "        print('pulled out:', e, flush=True)\n")});
        QVERIFY(script.waitForReadyRead(120000));
        const QByteArray read = script.readLine();
        QVERIFY2(read.startsWith("read "), read.constData());
        const double vbus = read.mid(5).trimmed().toDouble();
        QVERIFY2(vbus > 4.0 && vbus < 21.0, read.constData());
        m_meter->unplug();
        QVERIFY(script.waitForFinished(60000));
        const QByteArray out = script.readAllStandardOutput();
        QVERIFY2(script.exitCode() == 0, script.readAllStandardError().constData());
        QVERIFY2(out.startsWith("pulled out:") && out.contains("0012345678"), out.constData());
        QVERIFY(m_meter->plug());
        std::printf("KERNEL-E2E python: read %.3f V through the real hidapi, then the meter pulled out\n", vbus);
    }

    // Two kernel meters with different serial numbers recorded as a bench
    // by the command line, every report of both kept: the sides of a
    // converter (12.5 W in, 10 W out) at 20 reports a second each, every
    // pair 80 %.
    void benchOfTwoMeters()
    {
        sim::Identity second = identity();
        second.serial = L"0012345679";
        sim::UhidMeter out(second);
        QVERIFY2(out.start(), out.error().c_str());
        out.setScenario(sim::Scenario::ConverterOut);
        out.setReportRate(20);
        m_meter->unplug();
        m_meter->setScenario(sim::Scenario::ConverterIn);
        m_meter->setReportRate(20);
        QVERIFY(m_meter->plug() && out.plug());
        auto listed = [] {
            hid_device_info *list = hid_enumerate(0x0483, 0x5750);
            int n = 0;
            for (hid_device_info *d = list; d; d = d->next)
                ++n;
            hid_free_enumeration(list);
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(listed(), 2, 10000);
        QProcess record;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        record.setProcessEnvironment(env);
        record.start(QStringLiteral(OMBREL_BINARY),
                     {"record", "--meter", "in=0012345678", "--meter", "out=0012345679", "--all-reports", "--jsonl",
                      "-", "--until-duration", "5"});
        QVERIFY(record.waitForFinished(60000));
        const QByteArray err = record.readAllStandardError();
        QVERIFY2(record.exitStatus() == QProcess::NormalExit && record.exitCode() == 0, err.constData());
        // Each meter's energy counter from record to record: a report lost
        // would show as a step of two reports' energy.
        QMap<QString, QList<double>> ele;
        int pairs = 0, gaps = 0;
        for (const QByteArray &line : record.readAllStandardOutput().trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains(QStringLiteral("bench"))) {
                const bool gap = o.value(QStringLiteral("efficiency_pct")).isNull();
                gaps += gap;
                pairs += !gap;
                QVERIFY2(gap || o.value(QStringLiteral("efficiency_pct")).toDouble() == 80.0, line.constData());
                continue;
            }
            ele[o.value(QStringLiteral("role")).toString()] << o.value(QStringLiteral("ele")).toDouble();
        }
        const double perReport[] = {12.5 / 3600 / 20, 10.0 / 3600 / 20};
        int k = 0;
        for (const QString &role : {QStringLiteral("in"), QStringLiteral("out")}) {
            const QList<double> &e = ele[role];
            QVERIFY2(e.size() >= 80, err.constData());
            for (int i = 1; i < e.size(); ++i)
                QVERIFY2(e[i] - e[i - 1] < 1.5 * perReport[k], qPrintable(QStringLiteral("%1 record %2").arg(role).arg(i)));
            ++k;
        }
        // Every record in exactly one pair or one gap: the two meters' clocks
        // are their own, so how many pair depends on their drift, never on
        // a record left out or made up.
        QVERIFY2(pairs > 0 && 2 * pairs + gaps == ele["in"].size() + ele["out"].size(), err.constData());
        std::printf("KERNEL-E2E bench: %d + %d records of two meters, %d pairs at 80 %%, %d gaps\n",
                    int(ele["in"].size()), int(ele["out"].size()), pairs, gaps);
        out.unplug();
    }

    void cleanupTestCase()
    {
        m_meter.reset();
    }
};

QTEST_MAIN(TestKernel)
#include "tst_kernel.moc"
