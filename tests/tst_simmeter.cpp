// The simulated meter must behave like the real one where the application can
// tell, or every test built on it proves nothing: hidraw's per-handle queues,
// unplugging, identity, and the loader's side of a firmware transfer.
#include "metermodel.h"
#include "simulator.h"
#include "taggedreports.h"

#include <hidapi.h>

#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

// A quiet meter and a handle on it.
hid_device *openQuietMeter(sim::Meter *&meter)
{
    meter = &sim::attach();
    meter->setReportRate(0);
    return hid_open(0x0483, 0x5750, nullptr);
}

// A short command frame from the host, as a 64-byte report.
int writeCommand(hid_device *h, unsigned char code)
{
    std::vector<unsigned char> frame = {0x55, 0x05, 0x09, code, 0, 0, 0, 0xEE, 0xFF};
    frame.resize(64);
    return hid_write(h, frame.data(), 64);
}

std::vector<unsigned char> frameReport(const std::vector<unsigned char> &frame)
{
    // What the worker sends: 0x55, then the first 63 frame bytes.
    std::vector<unsigned char> report(64, 0);
    report[0] = 0x55;
    std::copy(frame.begin(), frame.begin() + std::min<size_t>(frame.size(), 63), report.begin() + 1);
    return report;
}

void appendCrc(std::vector<unsigned char> &frame)
{
    const unsigned short crc = sim::crc16Modbus(frame.data(), frame.size());
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
}

std::vector<unsigned char> handshake(int blocks)
{
    std::vector<unsigned char> f = {0xAA, 0x06, static_cast<unsigned char>(blocks & 0xFF),
                                    static_cast<unsigned char>(blocks >> 8)};
    appendCrc(f);
    return f;
}

std::vector<unsigned char> block(const std::vector<unsigned char> &image, int number)
{
    const size_t offset = size_t(number) * 58;
    const size_t n = std::min<size_t>(58, image.size() - offset);
    std::vector<unsigned char> f = {0xCC, static_cast<unsigned char>(n == 58 ? 0x40 : n + 6),
                                    static_cast<unsigned char>(number & 0xFF),
                                    static_cast<unsigned char>(number >> 8)};
    f.insert(f.end(), image.begin() + offset, image.begin() + offset + n);
    appendCrc(f);
    return f;
}

// Next report on the handle within a second, or an empty vector.
std::vector<unsigned char> next(hid_device *h)
{
    std::vector<unsigned char> r(64);
    const int n = hid_read_timeout(h, r.data(), 64, 1000);
    if (n != 64)
        return {};
    return r;
}

void send(hid_device *h, const std::vector<unsigned char> &frame)
{
    const auto report = frameReport(frame);
    QCOMPARE(hid_write(h, report.data(), 64), 64);
}

} // namespace

class TestSimMeter : public QObject
{
    Q_OBJECT
private slots:
    void init() { sim::reset(); }

    void crcOfAbc()
    {
        const unsigned char abc[] = {'a', 'b', 'c'};
        QCOMPARE(sim::crc16Modbus(abc, 3), static_cast<unsigned short>(0x5749));
    }

    void everyHandleGetsItsOwnCopy()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        hid_device *a = hid_open(0x0483, 0x5750, nullptr);
        hid_device *b = hid_open(0x0483, 0x5750, L"0012345678");
        QVERIFY(a && b);
        meter.inject(tagged(1));
        unsigned char buf[64];
        QCOMPARE(hid_read_timeout(a, buf, 64, 0), 64);
        QCOMPARE(tagOf(buf), 1);
        QCOMPARE(hid_read_timeout(b, buf, 64, 0), 64);
        QCOMPARE(tagOf(buf), 1);
        QCOMPARE(hid_read_timeout(a, buf, 64, 0), 0);
        hid_close(a);
        hid_close(b);
        QCOMPARE(sim::openHandles(), 0);
    }

    void fullQueueDropsTheNewest()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        hid_device *h = hid_open(0x0483, 0x5750, nullptr);
        for (int i = 0; i < 100; ++i)
            meter.inject(tagged(i));
        QCOMPARE(meter.droppedReports(), 36);
        unsigned char buf[64];
        for (int i = 0; i < 64; ++i) {
            QCOMPARE(hid_read_timeout(h, buf, 64, 0), 64);
            QCOMPARE(tagOf(buf), i);
        }
        QCOMPARE(hid_read_timeout(h, buf, 64, 0), 0);
        hid_close(h);
    }

    void blockingReadWakesOnReport()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        hid_device *h = hid_open(0x0483, 0x5750, nullptr);
        std::thread later([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            meter.inject(tagged(7));
        });
        unsigned char buf[64];
        QCOMPARE(hid_read(h, buf, 64), 64);   // blocking by default
        QCOMPARE(tagOf(buf), 7);
        later.join();
        QCOMPARE(hid_set_nonblocking(h, 1), 0);
        QCOMPARE(hid_read(h, buf, 64), 0);
        hid_close(h);
    }

    void unplugKillsHandlesForGood()
    {
        sim::Meter &meter = sim::attach();
        hid_device *h = hid_open(0x0483, 0x5750, nullptr);
        meter.unplug();
        unsigned char buf[64];
        QCOMPARE(hid_read_timeout(h, buf, 64, 10), -1);
        QCOMPARE(hid_write(h, buf, 64), -1);
        QVERIFY(!hid_open(0x0483, 0x5750, nullptr));
        QVERIFY(!hid_enumerate(0x0483, 0x5750));
        meter.plug();
        QCOMPARE(hid_read_timeout(h, buf, 64, 10), -1);   // the old handle stays dead
        hid_device *fresh = hid_open(0x0483, 0x5750, nullptr);
        QVERIFY(fresh);
        hid_close(fresh);
        hid_close(h);
    }

    void faultsOnDemand()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        hid_device *h = hid_open(0x0483, 0x5750, nullptr);
        meter.shortenReads(1, 10);
        meter.inject(tagged(1));
        meter.inject(tagged(2));
        unsigned char buf[64];
        QCOMPARE(hid_read_timeout(h, buf, 64, 0), 10);
        QCOMPARE(hid_read_timeout(h, buf, 64, 0), 64);
        QCOMPARE(tagOf(buf), 2);

        meter.failWrites(1);
        QCOMPARE(hid_write(h, buf, 64), -1);
        meter.failWrites(1, 20);
        QCOMPARE(hid_write(h, buf, 64), 20);
        QCOMPARE(hid_write(h, buf, 64), 64);
        hid_close(h);
    }

    void loaderFaults()
    {
        sim::Meter *m;
        hid_device *h = openQuietMeter(m);
        sim::Meter &meter = *m;
        writeCommand(h, 0x02);
        std::vector<unsigned char> image(200, 0x42);

        meter.corruptHandshakeReply(1);
        send(h, handshake(4));
        auto reply = next(h);
        const int length = reply.at(2);
        QVERIFY(sim::crc16Modbus(reply.data() + 1, length - 2) != (reply[length - 1] | (reply[length] << 8)));
        send(h, handshake(4));
        reply = next(h);
        QCOMPARE(reply.at(1), 0xBB);

        // A corrupted block gets a failure reply, not an acknowledgement.
        auto bad = block(image, 0);
        bad[10] ^= 0xFF;
        send(h, bad);
        QCOMPARE(next(h).at(1), 0x11);

        meter.misnumberAcks(1, 3);
        send(h, block(image, 0));
        reply = next(h);
        QCOMPARE(reply[3] | (reply[4] << 8), 3);

        meter.dropAcks(1);
        send(h, block(image, 1));
        QVERIFY(next(h).empty());

        meter.setSilent(true);
        send(h, block(image, 2));
        QVERIFY(next(h).empty());
        hid_close(h);
    }

    void traceFile()
    {
        // The trace is set up when the bus starts, so look at it from a child.
        if (qEnvironmentVariableIsSet("TST_SIM_TRACE_CHILD")) {
            sim::Meter &meter = sim::attach();
            meter.setReportRate(0);
            hid_device *h = hid_open(0x0483, 0x5750, nullptr);
            meter.inject(tagged(5));
            unsigned char buf[64];
            hid_read_timeout(h, buf, 64, 0);
            writeCommand(h, 0x47);
            hid_close(h);
            return;
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.txt"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TST_SIM_TRACE_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("OMBREL_SIM_TRACE"), path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("traceFile")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QStringList in = lines[0].split(QLatin1Char(' '));
        QCOMPARE(in.size(), 3 + 64);
        QCOMPARE(in[2], QStringLiteral("in"));
        QCOMPARE(in[3], QStringLiteral("AA"));
        QCOMPARE(in[5], QStringLiteral("05"));
        const QStringList out = lines[1].split(QLatin1Char(' '));
        QCOMPARE(out[1], in[1]);   // same handle
        QCOMPARE(out[2], QStringLiteral("out"));
        QCOMPARE(out.mid(3, 9).join(QLatin1Char(' ')), QStringLiteral("55 05 09 47 00 00 00 EE FF"));
        QVERIFY(out[0].toLongLong() >= in[0].toLongLong());
    }
};

QTEST_GUILESS_MAIN(TestSimMeter)
#include "tst_simmeter.moc"
