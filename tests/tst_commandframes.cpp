// Command frames and the dialog handle's writers, checked on the bytes the
// simulated meter receives.
#include "device/commandframe.h"
#include "device/meterport.h"
#include "simulator.h"

#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

QByteArray padded(const QByteArray &frame)
{
    return frame + QByteArray(64 - frame.size(), '\0');
}

QByteArray wire(const sim::Written &w)
{
    return QByteArray(reinterpret_cast<const char *>(w.bytes.data()), 64);
}

} // namespace

class TestCommandFrames : public QObject
{
    Q_OBJECT
private slots:
    void init() { sim::reset(); }

    void frameBytes_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("short 45") << CommandFrame::shortFrame(Cmd::PageHome)
                                  << bytes({0x55, 0x05, 0x09, 0x45, 0, 0, 0, 0xEE, 0xFF});
        QTest::newRow("page six is 0x50") << CommandFrame::shortFrame(Cmd::PageSix)
                                          << bytes({0x55, 0x05, 0x09, 0x50, 0, 0, 0, 0xEE, 0xFF});
        QTest::newRow("byte 22 = 5") << CommandFrame::byteFrame(Cmd::WorkLight, 5)
                                     << bytes({0x55, 0x05, 0x0A, 0x22, 0, 0, 0, 5, 0xEE, 0xFF});
        QTest::newRow("byte keeps low byte") << CommandFrame::byteFrame(Cmd::StandbyTime, 0x13C)
                                             << bytes({0x55, 0x05, 0x0A, 0x24, 0, 0, 0, 0x3C, 0xEE, 0xFF});
        QTest::newRow("float 2A = 1.000") << CommandFrame::floatFrame(Cmd::VoltCali, CommandFrame::calibrationFactor(1000))
                                          << bytes({0x55, 0x05, 0x0A, 0x2A, 0x3F, 0x80, 0, 0, 0xEE, 0xFF});
        QTest::newRow("float 2B = 0.5") << CommandFrame::floatFrame(Cmd::CurrCali, CommandFrame::calibrationFactor(500))
                                        << bytes({0x55, 0x05, 0x0A, 0x2B, 0x3F, 0x00, 0, 0, 0xEE, 0xFF});
        QTest::newRow("float 2C = 2.0") << CommandFrame::floatFrame(Cmd::TempCali, CommandFrame::calibrationFactor(2000))
                                        << bytes({0x55, 0x05, 0x0A, 0x2C, 0x40, 0x00, 0, 0, 0xEE, 0xFF});
        QTest::newRow("periodic request") << CommandFrame::periodicRequest()
                                          << bytes({0x55, 0x05, 0x22, 0x05, 0x0B, 0x00, 0x8C, 0xEE, 0xFF});
    }

    void frameBytes()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void calibrationFactorIsSingleOfThousandths()
    {
        QCOMPARE(CommandFrame::calibrationFactor(1234), 1.234f);
        const QByteArray f = CommandFrame::floatFrame(Cmd::VoltCali, CommandFrame::calibrationFactor(1234));
        // 1.234f = 0x3F9DF3B6
        QCOMPARE(f.mid(4, 4).toHex(), QByteArray("3f9df3b6"));
    }

    void outputReportPadsAndCuts()
    {
        const QByteArray frame = CommandFrame::shortFrame(0x27);
        QCOMPARE(CommandFrame::outputReport(frame.constData(), frame.size()), padded(frame));
        const QByteArray big(80, '\x11');
        QCOMPARE(CommandFrame::outputReport(big.constData(), big.size()), QByteArray(64, '\x11'));
    }

    void sendCodeOnOpenHandle()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        MeterPort port;
        QVERIFY(port.open(0x0483, 0x5750, L"0012345678"));
        port.usb_send_code(Cmd::PageHome);
        const QByteArray frame = CommandFrame::byteFrame(Cmd::WorkLight, 5);
        port.usb_send(frame.constData(), frame.size());

        const auto written = meter.written();
        QCOMPARE(int(written.size()), 2);
        QCOMPARE(wire(written[0]).toHex(' '), padded(bytes({0x55, 0x05, 0x09, 0x45, 0, 0, 0, 0xEE, 0xFF})).toHex(' '));
        QCOMPARE(wire(written[1]).toHex(' '), padded(bytes({0x55, 0x05, 0x0A, 0x22, 0, 0, 0, 5, 0xEE, 0xFF})).toHex(' '));
        // The meter understood both.
        QCOMPARE(meter.lastPageCode(), 0x45);
        QCOMPARE(int(meter.settings().workLight), 5);
    }

    void nothingWithoutHandle()
    {
        sim::Meter &meter = sim::attach();
        MeterPort port;
        port.usb_send_code(Cmd::PageHome);
        const QByteArray frame = CommandFrame::shortFrame(Cmd::DataZero);
        port.usb_send(frame.constData(), frame.size());
        QVERIFY(meter.written().empty());
        unsigned char buffer[64];
        QCOMPARE(port.readReport(buffer), -1);
    }

    void failedOpenKeepsPreviousHandle()
    {
        sim::attach();
        MeterPort port;
        QVERIFY(port.open(0x0483, 0x5750, L"0012345678"));
        hid_device *before = port.handle();
        QVERIFY(!port.open(0x0483, 0x5750, L"nosuchmeter"));
        QCOMPARE(port.handle(), before);
        QCOMPARE(sim::openHandles(), 1);
        // A successful reopen replaces and releases the old handle.
        QVERIFY(port.open(0x0483, 0x5750, L"0012345678"));
        QCOMPARE(sim::openHandles(), 1);
        port.close();
        QCOMPARE(sim::openHandles(), 0);
    }

    void identityStrings()
    {
        sim::Identity id;
        id.manufacturer = L"Test Works";
        id.product = L"TW M512 V2";
        id.serial = L"0012345678";
        sim::attach(id);
        MeterPort port;
        QVERIFY(port.open(0x0483, 0x5750, id.serial));
        QCOMPARE(port.manufacturer(), QStringLiteral("Test Works"));
        QCOMPARE(port.product(), QStringLiteral("TW M512 V2"));
        QCOMPARE(port.serialNumber(), QStringLiteral("0012345678"));
    }

    void settingsCommandsReachTheMeter()
    {
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        MeterPort port;
        QVERIFY(port.open(0x0483, 0x5750, L"0012345678"));
        auto send = [&](const QByteArray &f) { port.usb_send(f.constData(), f.size()); };
        send(CommandFrame::shortFrame(Cmd::LanguageEnglish));
        send(CommandFrame::byteFrame(Cmd::StandbyTime, 45));
        send(CommandFrame::shortFrame(Cmd::StandbyStyleOriginal));
        send(CommandFrame::floatFrame(Cmd::CurrCali, CommandFrame::calibrationFactor(1100)));
        send(CommandFrame::shortFrame(Cmd::MinCurrent20mA));
        send(CommandFrame::shortFrame(Cmd::SwitchOn));
        const sim::MeterSettings s = meter.settings();
        QCOMPARE(int(s.language), 1);
        QCOMPARE(int(s.standbyTime), 45);
        QCOMPARE(int(s.standbyStyle), 3);
        QCOMPARE(s.currCali, 1.1f);
        QCOMPARE(s.minCurrent, 0.02f);
        QCOMPARE(int(s.switchState), 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandFrames)
#include "tst_commandframes.moc"
