// The worker thread against the simulated meter. Its signals are watched by a
// receiver living in the GUI thread, connected by signature as the
// application connects them.
#include "device/usbthread.h"
#include "simulator.h"
#include "taggedreports.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

int tagOf(const QByteArray &r)
{
    return ::tagOf(reinterpret_cast<const unsigned char *>(r.constData()));
}

bool intact(const QByteArray &r)
{
    if (r.size() != 64)
        return false;
    const sim::Report expected = tagged(tagOf(r));
    return std::equal(expected.begin(), expected.end(), reinterpret_cast<const unsigned char *>(r.constData()));
}

QByteArray wire(const sim::Written &w)
{
    return QByteArray(reinterpret_cast<const char *>(w.bytes.data()), 64);
}

} // namespace

class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList connects;
    int disconnects = 0;
    int sendErrors = 0;
    QList<QByteArray> reports;
    bool connectedWhileInGuiThread = true;

public slots:
    void usbconnect(QString devStr)
    {
        connectedWhileInGuiThread &= QThread::currentThread() == thread();
        connects << devStr;
    }
    void usbdisconnect() { ++disconnects; }
    void usbsenderror() { ++sendErrors; }
    void usbreceivedata(unsigned char *data, unsigned int length)
    {
        reports << QByteArray(reinterpret_cast<const char *>(data), int(length));
    }
};

class TestUsbThread : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QScopedPointer<USBThread> m_worker;
    QScopedPointer<Receiver> m_rx;

    USBThread *makeWorker()
    {
        m_rx.reset(new Receiver);
        m_worker.reset(new USBThread);
        USBThread *w = m_worker.data();
        connect(w, SIGNAL(new_data(unsigned char*,unsigned int)), m_rx.data(), SLOT(usbreceivedata(unsigned char*,unsigned int)));
        connect(w, SIGNAL(usb_connect(QString)), m_rx.data(), SLOT(usbconnect(QString)));
        connect(w, SIGNAL(usb_disconnect()), m_rx.data(), SLOT(usbdisconnect()));
        connect(w, SIGNAL(usb_send_error()), m_rx.data(), SLOT(usbsenderror()));
        w->vid = 0x0483;
        w->pid = 0x5750;
        return w;
    }

    // A worker connected to a quiet meter.
    sim::Meter &connectedQuietMeter()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        USBThread *w = makeWorker();
        w->usb_open();
        w->start();
        return meter;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QDir::setCurrent(m_dir.path());
    }

    void init() { sim::reset(); }

    void cleanup()
    {
        m_worker.reset();
        m_rx.reset();
        QCOMPARE(sim::openHandles(), 0);
    }

    void meterPresentBeforeStart()
    {
        sim::attach();
        USBThread *w = makeWorker();
        QVERIFY(w->usb_open());
        // Direct: the slot has run before the thread starts.
        QCOMPARE(m_rx->connects, QStringList{QStringLiteral("SIM M512X V1.2")});
        QCOMPARE(w->usb_state(), 0);
        w->start();
        QTest::qWait(700);
        QCOMPARE(m_rx->connects.size(), 1);
        QCOMPARE(m_rx->disconnects, 0);
    }

    void meterPluggedInLater()
    {
        USBThread *w = makeWorker();
        QVERIFY(!w->usb_open());
        QCOMPARE(w->usb_state(), 1);
        w->start();
        QTest::qWait(300);
        QVERIFY(m_rx->connects.isEmpty());

        sim::Identity id;
        id.product = L"SIM K4 V7";
        QElapsedTimer clock;
        clock.start();
        sim::attach(id);
        QTRY_COMPARE_WITH_TIMEOUT(m_rx->connects.size(), 1, 3000);
        // Open attempts are paced at 500 ms: well under two periods.
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_rx->connects.first(), QStringLiteral("SIM K4 V7"));
        QVERIFY(m_rx->connectedWhileInGuiThread);
        QCOMPARE(w->usb_state(), 0);
    }

    void unplugAndReturn()
    {
        sim::Meter &meter = sim::attach();   // sends live reports meanwhile
        USBThread *w = makeWorker();
        w->usb_open();
        w->start();
        QTRY_VERIFY(!m_rx->reports.isEmpty());

        meter.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(m_rx->disconnects, 1, 2000);
        QCOMPARE(w->usb_state(), 1);
        QCOMPARE(sim::openHandles(), 0);   // the worker let go of its handle
        QTest::qWait(1200);
        QCOMPARE(m_rx->disconnects, 1);
        QCOMPARE(m_rx->connects.size(), 1);

        meter.plug();
        QTRY_COMPARE_WITH_TIMEOUT(m_rx->connects.size(), 2, 2000);
        QTest::qWait(1200);
        QCOMPARE(m_rx->connects.size(), 2);
        QCOMPARE(m_rx->disconnects, 1);
        const int before = m_rx->reports.size();
        QTRY_VERIFY(m_rx->reports.size() > before);   // reading again
    }

    void shortReadsAreNotPassedOn()
    {
        sim::Meter &meter = connectedQuietMeter();
        meter.shortenReads(5, 10);
        for (int i = 0; i < 10; ++i)
            meter.inject(tagged(i));
        QTRY_COMPARE(m_rx->reports.size(), 5);
        QTest::qWait(100);
        QCOMPARE(m_rx->reports.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tagOf(m_rx->reports[i]), 5 + i);
            QVERIFY(intact(m_rx->reports[i]));
        }
    }

    void manyReportsArriveIntactAndInOrder()
    {
        sim::Meter &meter = connectedQuietMeter();
        const int total = 10000;
        std::thread producer([&] {
            // Bursts of 10 as fast as the worker takes them, never overfilling
            // its queue: a loss would be the worker's, not the machine's load.
            for (int i = 0; i < total; i += 10) {
                while (meter.pendingReports() > 40)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                for (int k = i; k < i + 10; ++k)
                    meter.inject(tagged(k));
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(m_rx->reports.size() + meter.droppedReports() >= total, 60000);
        producer.join();
        QCOMPARE(meter.droppedReports(), 0);
        QCOMPARE(m_rx->reports.size(), total);
        for (int i = 0; i < total; ++i) {
            QCOMPARE(tagOf(m_rx->reports[i]), i);
            QVERIFY2(intact(m_rx->reports[i]), qPrintable(QString::number(i)));
        }
    }

    void writeFraming()
    {
        sim::Meter &meter = connectedQuietMeter();
        const unsigned char nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        m_worker->usb_write(nine, 9);
        unsigned char full[64];
        for (int i = 0; i < 64; ++i)
            full[i] = static_cast<unsigned char>(0xA0 + i);
        m_worker->usb_write(full, 64);

        const auto written = meter.written();
        QCOMPARE(int(written.size()), 2);
        QByteArray expect9(64, '\0');
        expect9[0] = char(0x55);
        std::copy(nine, nine + 9, expect9.begin() + 1);
        QCOMPARE(wire(written[0]).toHex(), expect9.toHex());
        QByteArray expect64(1, char(0x55));
        expect64.append(reinterpret_cast<const char *>(full), 63);
        QCOMPARE(wire(written[1]).toHex(), expect64.toHex());
        QCOMPARE(m_rx->sendErrors, 0);
    }

    void writeFailures_data()
    {
        QTest::addColumn<int>("accepted");
        QTest::newRow("error") << -1;
        QTest::newRow("short") << 20;
        QTest::newRow("nothing") << 0;
    }

    void writeFailures()
    {
        QFETCH(int, accepted);
        sim::Meter &meter = connectedQuietMeter();
        meter.failWrites(1, accepted);
        const unsigned char payload[4] = {0xAA, 0x06, 0x01, 0x00};
        m_worker->usb_write(payload, 4);
        QCOMPARE(m_rx->sendErrors, 1);
        m_worker->usb_write(payload, 4);
        QCOMPARE(m_rx->sendErrors, 1);
    }

    void writeWhileNotConnectedDoesNothing()
    {
        USBThread *w = makeWorker();
        w->usb_open();
        const unsigned char payload[2] = {1, 2};
        w->usb_write(payload, 2);
        QCOMPARE(m_rx->sendErrors, 0);
    }

    void writesRaceWithUnplugging()
    {
        // The GUI thread keeps writing while the worker loses and reopens its
        // handle: no write may touch a handle being released (the address
        // sanitizer watches the simulator's handles).
        sim::Meter &meter = connectedQuietMeter();
        std::atomic<bool> done{false};
        std::thread plugger([&] {
            for (int i = 0; i < 4; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                meter.unplug();
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
                meter.plug();
            }
            done = true;
        });
        const unsigned char payload[3] = {0xCC, 0x07, 0x00};
        while (!done) {
            m_worker->usb_write(payload, 3);
            QCoreApplication::processEvents();
        }
        plugger.join();
        QTRY_COMPARE_WITH_TIMEOUT(m_worker->usb_state(), 0, 3000);
        // Writes between the unplug and its discovery fail and say so; that
        // is all that may happen to them.
        QCOMPARE(m_rx->disconnects, 4);
        QTRY_COMPARE(m_rx->connects.size(), 5);
    }

    void closingWhileConnected()
    {
        sim::attach();
        USBThread *w = makeWorker();
        w->usb_open();
        w->start();
        QTest::qWait(200);
        w->usb_stop();
        QVERIFY(w->wait(2000));
        QVERIFY(w->isFinished());
        m_worker.reset();
        QCOMPARE(sim::openHandles(), 0);
    }
};

QTEST_GUILESS_MAIN(TestUsbThread)
#include "tst_usbthread.moc"
