// Widget-free rules of the live readings page, the meter's identity and the
// start-up look.
#include "app/startup.h"
#include "device/productinfo.h"
#include "ui/dashboard.h"
#include "ui/dispheaderlayout.h"

#include <QtTest>

class TestDashboard : public QObject
{
    Q_OBJECT
private slots:
    void bigValues_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("5 V, six decimals") << 5.0 << "5.000000";
        QTest::newRow("12.5, five decimals") << 12.5 << "12.50000";
        QTest::newRow("100.25, four decimals") << 100.25 << "100.2500";
        QTest::newRow("just under 10") << 9.9999994 << "9.999999";
        QTest::newRow("exactly 10") << 10.0 << "10.00000";
        QTest::newRow("zero") << 0.0 << "0.000000";
        QTest::newRow("top of the wire range") << 4294.967295 << "4294.9673";
    }

    void bigValues()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(Dashboard::bigValueText(value), text);
    }

    void bigValuesPadToEight()
    {
        // Padded on the left to a width of 8, never cut.
        QCOMPARE(Dashboard::bigValueText(0.5).size(), 8);
        QCOMPARE(Dashboard::bigValueText(1234.5), QStringLiteral("1234.5000"));
    }

    void smallValues()
    {
        QCOMPARE(Dashboard::smallValueText(0.6), QStringLiteral("0.600"));
        QCOMPARE(Dashboard::smallValueText(1.2345), QStringLiteral("1.234"));
        QCOMPARE(Dashboard::temperatureText(36.24), QStringLiteral("36.2"));
        QCOMPARE(Dashboard::temperatureText(36.26), QStringLiteral("36.3"));
    }

    void bars_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("fullScale");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("over");
        QTest::newRow("vbus 49") << 49.0 << Dashboard::kVbusFullScale << 98 << false;
        QTest::newRow("vbus 50") << 50.0 << Dashboard::kVbusFullScale << 100 << true;
        QTest::newRow("vbus 5") << 5.0 << Dashboard::kVbusFullScale << 21 << false;
        QTest::newRow("ibus 6.5") << 6.5 << Dashboard::kIbusFullScale << 100 << true;
        QTest::newRow("ibus 7") << 7.0 << Dashboard::kIbusFullScale << 100 << true;
        QTest::newRow("ibus 6.4") << 6.4 << Dashboard::kIbusFullScale << 98 << false;
        QTest::newRow("power 0") << 0.0 << Dashboard::kPowerFullScale << 13 << false;
        QTest::newRow("power 324") << 324.0 << Dashboard::kPowerFullScale << 99 << false;
    }

    void bars()
    {
        QFETCH(double, value);
        QFETCH(double, fullScale);
        QFETCH(int, level);
        QFETCH(bool, over);
        const Dashboard::Bar bar = Dashboard::barLevel(value, fullScale);
        QCOMPARE(bar.value, level);
        QCOMPARE(bar.overRange, over);
    }

    void direction()
    {
        QCOMPARE(*Dashboard::directionStyle(0), QStringLiteral("image: url(:/sys/rs/rs/down.png)"));
        QCOMPARE(*Dashboard::directionStyle(1), QStringLiteral("image: url(:/sys/rs/rs/up.png)"));
        QCOMPARE(*Dashboard::directionStyle(2), QString());
        QVERIFY(!Dashboard::directionStyle(3));
        QVERIFY(!Dashboard::directionStyle(255));
    }

    void minimumCurrentBands_data()
    {
        QTest::addColumn<double>("amps");
        QTest::addColumn<int>("choice");   // -1: leave the buttons
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("0.0009") << 0.0009 << 0;
        QTest::newRow("0.001") << 0.001 << -1;
        QTest::newRow("0.01 as float") << double(0.01f) << 1;
        QTest::newRow("0.009 edge") << 0.009 << -1;
        QTest::newRow("0.015") << 0.015 << -1;
        QTest::newRow("0.02 as float") << double(0.02f) << 2;
        QTest::newRow("0.021 edge") << 0.021 << -1;
        QTest::newRow("1") << 1.0 << -1;
    }

    void minimumCurrentBands()
    {
        QFETCH(double, amps);
        QFETCH(int, choice);
        QCOMPARE(Dashboard::minCurrentChoice(amps).value_or(-1), choice);
    }

    void floatingInputTip()
    {
        QVERIFY(Dashboard::showsFloatingInputTip(2.99));
        QVERIFY(!Dashboard::showsFloatingInputTip(3.0));
    }

    void title()
    {
        QCOMPARE(Dashboard::deviceTitle(QStringLiteral("M512"), QStringLiteral("001234")),
                 QStringLiteral(" | M512 001234"));
        QCOMPARE(Dashboard::deviceTitle(QString(), QStringLiteral("001234")), QStringLiteral(" |  001234"));
    }

    void productStrings_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("version");
        QTest::newRow("three words") << "SIM M512 V2" << "M512" << "V2";
        QTest::newRow("two words") << "SIM K4" << "K4" << "";
        QTest::newRow("one word") << "SIM" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("two spaces") << "SIM  M512 V2" << "" << "M512";
        QTest::newRow("more words") << "SIM QM512R V3 extra" << "QM512R" << "V3";
    }

    void productStrings()
    {
        QFETCH(QString, product);
        QFETCH(QString, model);
        QFETCH(QString, version);
        const ProductInfo info = parseProductString(product);
        QCOMPARE(info.modelWord, model);
        QCOMPARE(info.versionWord, version);
    }

    void serialPrefixes()
    {
        QCOMPARE(serialPrefix(QStringLiteral("0012345678")), QStringLiteral("001234"));
        QCOMPARE(serialPrefix(QStringLiteral("AB")), QStringLiteral("AB"));
    }

    void compactFamily()
    {
        for (const char *word : {"K4", "K4R", "N70", "M512", "W2R", "QM512R"})
            QVERIFY2(isCompactFamily(QLatin1String(word)), word);
        for (const char *word : {"M512X", "m512", "K", "", "QM512", "K4R "})
            QVERIFY2(!isCompactFamily(QLatin1String(word)), word);

        QCOMPARE(motorGroupVisible(QStringLiteral("N70")), std::optional<bool>(false));
        QCOMPARE(motorGroupVisible(QStringLiteral("M512")), std::optional<bool>(false));
        QCOMPARE(motorGroupVisible(QStringLiteral("K4")), std::optional<bool>(true));
        QCOMPARE(motorGroupVisible(QStringLiteral("QM512R")), std::optional<bool>(true));
        QVERIFY(!motorGroupVisible(QStringLiteral("M512X")));
    }

    void fontPointSizes_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("points");
        QTest::newRow("72") << 72.0 << 12;
        QTest::newRow("96") << 96.0 << 9;
        QTest::newRow("97") << 97.0 << 8;
        QTest::newRow("120") << 120.0 << 7;
        QTest::newRow("144") << 144.0 << 6;
        QTest::newRow("192") << 192.0 << 4;
    }

    void fontPointSizes()
    {
        QFETCH(double, dpi);
        QFETCH(int, points);
        QCOMPARE(Startup::fontPointSize(dpi), points);
    }

    void paletteColourOfTheSheet()
    {
        QCOMPARE(Startup::paletteColour(QStringLiteral("QPalette{background:#444444;}*{outline:0px;}")),
                 QStringLiteral("#444444"));
        QFile sheet(QStringLiteral(":/qss/psblack.css"));
        QVERIFY(sheet.open(QFile::ReadOnly));
        QCOMPARE(Startup::paletteColour(QString::fromLatin1(sheet.readAll())), QStringLiteral("#444444"));
    }

    void headerLayout()
    {
        DispHeaderLayout layout;
        // The first two width changes never move the header.
        DispHeaderLayout::Placement p = layout.resized(900, 700);
        QVERIFY(p.placeChart && !p.moveHeader);
        QCOMPARE(p.chart, QRect(10, 130, 880, 580));
        p = layout.resized(960, 700);
        QVERIFY(!p.moveHeader);
        QCOMPARE(p.titleX, 310);
        // The third moves it by the change, the title by half of it.
        p = layout.resized(1000, 700);
        QVERIFY(p.moveHeader);
        QCOMPARE(p.sysSetX, 894);
        QCOMPARE(p.upgradeX, 960);
        QCOMPARE(p.tip3X, 890);
        QCOMPARE(p.tip2X, 956);
        QCOMPARE(p.titleX, 330);
        // A height change alone moves nothing further.
        p = layout.resized(1000, 650);
        QCOMPARE(p.sysSetX, 894);
        QCOMPARE(p.chart.height(), 530);
        // Narrowing by an odd amount: half is truncated toward zero.
        p = layout.resized(995, 650);
        QCOMPARE(p.titleX, 328);
        QCOMPARE(p.sysSetX, 889);
        // Tiny or flat stacks are ignored.
        QVERIFY(!layout.resized(100, 650).placeChart);
        QVERIFY(!layout.resized(995, 30).placeChart);
    }
};

QTEST_GUILESS_MAIN(TestDashboard)
#include "tst_dashboard.moc"
