// Decoding of the meter's input reports.
#include "device/meterfeed.h"
#include "device/meterport.h"
#include "device/meterreading.h"
#include "simulator.h"

#include <QRandomGenerator>
#include <QtTest>

#include <array>
#include <cstring>
#include <memory>

namespace {

using Report = std::array<unsigned char, 64>;

Report measurement()
{
    Report r{};
    r[0] = 0xAA;
    r[1] = 0x40;
    r[2] = 0x62;
    r[3] = 0x05;
    return r;
}

Report settings()
{
    Report r{};
    r[0] = 0xAA;
    r[1] = 0x05;
    r[2] = 0x40;
    r[62] = 0xEE;
    r[63] = 0xFF;
    return r;
}

void putU32(Report &r, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[at + i] = (v >> (8 * i)) & 0xFF;
}

bool sameBits(const MeterReading &a, const MeterReading &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

MeterReading marked()
{
    // A record whose every byte is set, so any change shows.
    MeterReading r;
    std::memset(static_cast<void *>(&r), 0x5A, sizeof r);
    return r;
}

} // namespace

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:
    void measurementFields()
    {
        Report r = measurement();
        const uint32_t raw[11] = {5000000, 2100000, 10500000, 600000, 0, 1680000, 1,
                                  36250000, 25000000, 123456, 4294967295u};
        for (int i = 0; i < 11; ++i)
            putU32(r, 8 + 4 * i, raw[i]);
        r[60] = 1;
        MeterReading m = marked();
        const MeterReading before = m;
        QCOMPARE(decodeReport(r.data(), 64, m), ReportKind::Measurement);
        QCOMPARE(m.vbus, 5.0f);
        QCOMPARE(m.ibus, 2.1f);
        QCOMPARE(m.power, 10.5f);
        QCOMPARE(m.pd, 0.6f);
        QCOMPARE(m.pm, 0.0f);
        QCOMPARE(m.cc1, 1.68f);
        QCOMPARE(m.cc2, static_cast<float>(1e-6));
        QCOMPARE(m.cpu_temp, 36.25f);
        QCOMPARE(m.ntc_temp, 25.0f);
        QCOMPARE(m.capacity, static_cast<float>(0.123456));
        QCOMPARE(m.energy, static_cast<float>(4294.967295));
        QCOMPARE(m.direction, uint8_t(1));
        // Settings fields untouched.
        QCOMPARE(m.language, before.language);
        QCOMPARE(std::memcmp(&m.language, &before.language,
                             sizeof(MeterReading) - offsetof(MeterReading, language)),
                 0);
    }

    void measurementEdgeValues()
    {
        Report r = measurement();
        r[8] = 0x40; r[9] = 0x4B; r[10] = 0x4C; r[11] = 0x00;   // 5,000,000
        r[12] = r[13] = r[14] = r[15] = 0xFF;                   // top of the range
        MeterReading m;
        decodeReport(r.data(), 64, m);
        QCOMPARE(m.vbus, 5.0f);
        QCOMPARE(m.ibus, static_cast<float>(4294.967295));
        QVERIFY(m.ibus > 4294.0f);
    }

    void settingsFields()
    {
        Report r = settings();
        const unsigned char bytes[6] = {1, 7, 2, 45, 3, 1};
        std::memcpy(r.data() + 8, bytes, 6);
        const unsigned char factors[16] = {0x3F, 0x80, 0x00, 0x00,   // 1.0
                                           0x3F, 0x8C, 0xCC, 0xCD,   // 1.1
                                           0x3F, 0x66, 0x66, 0x66,   // 0.9
                                           0x3C, 0x23, 0xD7, 0x0A};  // 0.01
        std::memcpy(r.data() + 16, factors, 16);
        MeterReading m = marked();
        const MeterReading before = m;
        QCOMPARE(decodeReport(r.data(), 64, m), ReportKind::Settings);
        QCOMPARE(m.language, uint8_t(1));
        QCOMPARE(m.work_light, uint8_t(7));
        QCOMPARE(m.standby_light, uint8_t(2));
        QCOMPARE(m.standby_time, uint8_t(45));
        QCOMPARE(m.standby_style, uint8_t(3));
        QCOMPARE(m.switch_state, uint8_t(1));
        QCOMPARE(m.volt_cali, 1.0f);
        QCOMPARE(m.curr_cali, 1.1f);
        QCOMPARE(m.temp_cali, 0.9f);
        QCOMPARE(m.min_current, 0.01f);
        // Measurement fields untouched.
        QCOMPARE(std::memcmp(&m, &before, offsetof(MeterReading, language)), 0);
    }

    void ignoredReports_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length");
        auto raw = [](const Report &r) { return QByteArray(reinterpret_cast<const char *>(r.data()), 64); };

        Report upgradeReply{};
        upgradeReply[0] = 0x55;
        upgradeReply[1] = 0xBB;
        QTest::newRow("upgrade reply") << raw(upgradeReply) << 64;

        Report wrongType = measurement();
        wrongType[1] = 0x41;
        QTest::newRow("unknown type byte") << raw(wrongType) << 64;

        Report wrongSub = measurement();
        wrongSub[3] = 0x06;
        QTest::newRow("measurement, wrong byte 3") << raw(wrongSub) << 64;

        QTest::newRow("measurement, length 63") << raw(measurement()) << 63;
        QTest::newRow("measurement, length 0") << raw(measurement()) << 0;

        Report badTrailer = settings();
        badTrailer[63] = 0xFE;
        QTest::newRow("settings, byte 63 FE") << raw(badTrailer) << 64;

        Report badSettingsHeader = settings();
        badSettingsHeader[2] = 0x41;
        QTest::newRow("settings, wrong byte 2") << raw(badSettingsHeader) << 64;

        QTest::newRow("settings, length 40") << raw(settings()) << 40;
    }

    void ignoredReports()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        // Exactly `length` bytes on the heap, so a read beyond them is caught
        // by the address sanitizer.
        std::unique_ptr<unsigned char[]> data(new unsigned char[std::max(length, 1)]);
        std::memcpy(data.get(), bytes.constData(), length);
        MeterReading m = marked();
        const MeterReading before = m;
        QCOMPARE(decodeReport(data.get(), length, m), ReportKind::Ignored);
        QVERIFY(sameBits(m, before));
    }

    // A meter's feed: reports decoded in order, the last measurement wins,
    // settings leave it as it was; "measured" holds from the first
    // measurement of each open of the meter, never from an earlier one.
    void feedFollowsTheMeterOpened()
    {
        sim::reset();
        sim::Meter &meter = sim::attach();
        meter.setReportRate(0);
        MeterPort port;
        MeterReading reading = marked();
        MeterFeed feed(port, reading);
        QVERIFY(!feed.hasMeasured());
        QVERIFY(port.open(0x0483, 0x5750, std::wstring()));

        Report a = measurement();
        putU32(a, 8, 5000000);
        Report b = measurement();
        putU32(b, 8, 9000000);
        const Report s = settings();
        meter.inject(s);
        MeterFeed::Drained drained = feed.drain();
        QCOMPARE(drained.reports, 1);
        QVERIFY(drained.settings);
        QCOMPARE(drained.measurements, 0);
        QVERIFY(!feed.hasMeasured());

        QList<float> heard;
        for (const Report &r : {a, b, s})
            meter.inject(r);
        drained = feed.drain([&](const MeterReading &m) { heard << m.vbus; });
        QCOMPARE(drained.measurements, 2);
        QCOMPARE(heard, QList<float>({5.0f, 9.0f}));
        QCOMPARE(feed.reading().vbus, 9.0f);
        QVERIFY(feed.hasMeasured());

        // Opened again (a replug, another meter): nothing measured yet,
        // whatever the reading still holds.
        QVERIFY(port.open(0x0483, 0x5750, std::wstring()));
        QVERIFY(!feed.hasMeasured());
        meter.inject(a);
        feed.drain();
        QVERIFY(feed.hasMeasured());
        QCOMPARE(feed.reading().vbus, 5.0f);

        meter.unplug();
        drained = feed.drain();
        QVERIFY(drained.gone);
        QVERIFY(port.isOpen());
        QVERIFY(!feed.hasMeasured());
    }

    void simulatorEncodingRoundTrips()
    {
        const Report r = sim::measurementReport(9.015, 1.999, 18.02, 0.6, 0.0, 1.68, 0.0,
                                                31.5, 28.25, 0.5, 4.5, 1);
        MeterReading m;
        QCOMPARE(decodeReport(r.data(), 64, m), ReportKind::Measurement);
        QCOMPARE(m.vbus, 9.015f);
        QCOMPARE(m.ibus, 1.999f);
        QCOMPARE(m.cpu_temp, 31.5f);
        QCOMPARE(m.capacity, 0.5f);
        QCOMPARE(m.direction, uint8_t(1));
    }

    void anyBytesAnyLength()
    {
        // Random reports, many with a valid header or one byte off it, at
        // every length: decoding never reads outside the buffer, takes exactly
        // the reports of the meter's two kinds, reads their fields from the
        // right bytes and leaves the reading alone for anything else.
        QRandomGenerator rng(20261207);
        int measurements = 0, settings = 0;
        for (int round = 0; round < 20000; ++round) {
            const int length = rng.bounded(2) ? 64 : rng.bounded(65);
            std::unique_ptr<unsigned char[]> data(new unsigned char[std::max(length, 1)]);
            for (int i = 0; i < length; ++i)
                data[i] = static_cast<unsigned char>(rng.bounded(256));
            const int header = rng.bounded(3);
            const auto maybe = [&](unsigned char right) {
                return rng.bounded(8) == 0 ? static_cast<unsigned char>(rng.bounded(256)) : right;
            };
            if (header == 1 && length >= 4) {
                data[0] = maybe(0xAA); data[1] = 0x40; data[2] = maybe(0x62); data[3] = maybe(0x05);
            } else if (header == 2 && length >= 3) {
                data[0] = maybe(0xAA); data[1] = 0x05; data[2] = maybe(0x40);
                if (length == 64) { data[62] = maybe(0xEE); data[63] = maybe(0xFF); }
            }
            const unsigned char *d = data.get();
            const bool isMeasurement = length == 64 && d[0] == 0xAA && d[1] == 0x40 && d[2] == 0x62 && d[3] == 0x05;
            const bool isSettings = length == 64 && d[0] == 0xAA && d[1] == 0x05 && d[2] == 0x40 && d[62] == 0xEE
                                    && d[63] == 0xFF;
            MeterReading m;
            const ReportKind kind = decodeReport(d, length, m);
            if (isMeasurement) {
                ++measurements;
                QCOMPARE(kind, ReportKind::Measurement);
                const quint32 raw = quint32(d[8]) | quint32(d[9]) << 8 | quint32(d[10]) << 16 | quint32(d[11]) << 24;
                QCOMPARE(m.vbus, float(raw / 1e6));
                QCOMPARE(m.energy, float((quint32(d[48]) | quint32(d[49]) << 8 | quint32(d[50]) << 16
                                          | quint32(d[51]) << 24) / 1e6));
                QCOMPARE(int(m.direction), int(d[60]));
            } else if (isSettings) {
                ++settings;
                QCOMPARE(kind, ReportKind::Settings);
                QCOMPARE(int(m.work_light), int(d[9]));
                QCOMPARE(int(m.switch_state), int(d[13]));
            } else {
                QCOMPARE(kind, ReportKind::Ignored);
                QVERIFY(m.vbus == 0 && m.energy == 0 && m.language == 0 && m.volt_cali == 0 && m.min_current == 0);
            }
        }
        QVERIFY(measurements > 50 && settings > 50);
    }
};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
