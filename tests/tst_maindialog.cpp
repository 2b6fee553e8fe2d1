// The main window against the simulated meter: device list, navigation and
// its command frames, the live readings, closing, and a picture of the window.
#include "ui/iconhelper.h"
#include "base/setting.h"
#include "app/startup.h"
#include "ui/deviceinfoui.h"
#include "device/meterreading.h"
#include "device/usbthread.h"
#include "namedpipe.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui_deviceinfoui.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <memory>

namespace {

sim::Identity identity(const std::wstring &product, const std::wstring &serial = L"0012345678")
{
    sim::Identity id;
    id.manufacturer = L"Ombrel Sim";
    id.product = product;
    id.serial = serial;
    return id;
}

// Codes of the short command frames the meter received, in order.
QList<int> shortCodes(const sim::Meter &meter)
{
    QList<int> codes;
    for (const sim::Written &w : meter.written()) {
        if (w.bytes[0] == 0x55 && w.bytes[1] == 0x05 && w.bytes[2] == 0x09)
            codes << w.bytes[3];
    }
    return codes;
}

// Code and four value bytes of the value frames the meter received, in order.
QList<QByteArray> valueFrames(const sim::Meter &meter)
{
    QList<QByteArray> frames;
    for (const sim::Written &w : meter.written()) {
        if (w.bytes[0] == 0x55 && w.bytes[1] == 0x05 && w.bytes[2] == 0x0A)
            frames << QByteArray(reinterpret_cast<const char *>(w.bytes.data()) + 3, 5);
    }
    return frames;
}

sim::Report settingsReport(unsigned char language, unsigned char workLight, unsigned char standLight,
                           unsigned char standTime, unsigned char style, unsigned char switchState)
{
    sim::Report r{};
    r[0] = 0xAA;
    r[1] = 0x05;
    r[2] = 0x40;
    r[8] = language;
    r[9] = workLight;
    r[10] = standLight;
    r[11] = standTime;
    r[12] = style;
    r[13] = switchState;
    const unsigned char factors[16] = {0x3F, 0x80, 0, 0, 0x3F, 0x8C, 0xCC, 0xCD, 0x3F, 0x66, 0x66, 0x66,
                                       0x3C, 0x23, 0xD7, 0x0A};
    std::memcpy(r.data() + 16, factors, 16);
    r[62] = 0xEE;
    r[63] = 0xFF;
    return r;
}

// The built ombrel-sim as its own process, in a home and data folder of its
// own, without a display: the window on the offscreen platform, or a command.
struct SimProcess {
    QString home;

    void start(QProcess &p, const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home);
        p.start(QStringLiteral(OMBREL_SIM_BINARY), arguments);
    }

    QByteArray output(const QStringList &arguments) const
    {
        QProcess p;
        start(p, arguments);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return QByteArray();
        return p.readAllStandardOutput();
    }

    QJsonArray runs() const
    {
        return QJsonDocument::fromJson(output({QStringLiteral("runs"), QStringLiteral("--json")})).array();
    }
};

QString styleOf(QWidget *w)
{
    return w->styleSheet();
}

bool selected(QWidget *w)
{
    return w->styleSheet().startsWith(QLatin1String("QPushButton{background-color: rgb(0, 170, 0);}"));
}

} // namespace

class TestMainDialog : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
    }

    void init()
    {
        sim::reset();
        meterReading() = MeterReading();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QTRY_COMPARE(sim::openHandles(), 0);
    }

    void meterPresentAtStart()
    {
        sim::attach(identity(L"SIM M512 V2"));
        MainDialog d;
        // Listed during construction, before any event is processed.
        const QList<DeviceInfoUI *> entries = d.deviceEntries();
        QCOMPARE(entries.size(), 1);
        Ui::DeviceInfoUI *f = entries.first()->form();
        QCOMPARE(f->label_model_value->text(), QStringLiteral("M512"));
        QCOMPARE(f->label_version_value->text(), QStringLiteral("V2"));
        QCOMPARE(f->label_serial_value->text(), QStringLiteral("001234"));
        QCOMPARE(f->label_type_value->text(), QStringLiteral("Ombrel Sim"));
        QCOMPARE(f->label_connect_type->text(), QStringLiteral("连接"));
        QCOMPARE(styleOf(f->widget_background), QStringLiteral("background-color: rgb(16, 157, 56);"));
        QCOMPARE(d.form()->device_treeWidget->topLevelItemCount(), 1);
        QVERIFY(d.form()->settings_groupBox_k4_motor->isHidden());
        QVERIFY(d.isPlotting());
        QVERIFY(d.meterPort().isOpen());
        QCOMPARE(d.form()->disp_stackedWidget->currentIndex(), 2);
        QCOMPARE(d.form()->upgrade_label_devvalue->text(), QStringLiteral("SIM M512 V2"));
    }

    void unplugAndReplug()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM K4R"));
        MainDialog d;
        DeviceInfoUI *first = d.deviceEntries().value(0);
        QVERIFY(first);
        QVERIFY(!d.form()->settings_groupBox_k4_motor->isHidden());
        QCOMPARE(first->form()->label_version_value->text(), QStringLiteral("[none]"));

        meter.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!d.isPlotting(), 3000);
        QCOMPARE(d.deviceEntries().size(), 1);
        QCOMPARE(first->state, 1);
        QCOMPARE(first->form()->label_connect_type->text(), QStringLiteral("错误"));
        QCOMPARE(styleOf(first->form()->widget_background), QStringLiteral("background-color: rgb(68, 68, 68);"));
        QVERIFY(d.form()->disp_Btn_Run->toolTip() == QStringLiteral("运行"));

        meter.plug();
        QTRY_VERIFY_WITH_TIMEOUT(d.isPlotting(), 3000);
        QCOMPARE(d.deviceEntries().size(), 1);
        DeviceInfoUI *fresh = d.deviceEntries().first();
        QVERIFY(fresh != first);
        QCOMPARE(fresh->form()->label_connect_type->text(), QStringLiteral("连接"));
        QCOMPARE(d.form()->device_treeWidget->topLevelItemCount(), 1);
    }

    void refusedAccessIsExplained()
    {
        // Listed but not openable: the tip line names the node and the fix,
        // in the interface's language, until the meter opens.
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        meter.refuseOpens(true);
        MainDialog d;
        const QString tip = d.form()->label_left_tips->text();
        QVERIFY2(tip.contains(QStringLiteral("sim:%1:").arg(meter.id())) && tip.contains(QLatin1String("udev")),
                 qPrintable(tip));
        QVERIFY(d.deviceEntries().isEmpty());
        QCOMPARE(d.worker()->usb_state(), 1);
        meter.refuseOpens(false);
        QTRY_VERIFY_WITH_TIMEOUT(d.meterPort().isOpen(), 3000);
        QCOMPARE(d.form()->label_left_tips->text(), QString());
        QCOMPARE(d.deviceEntries().size(), 1);
    }

    void aSettingsPipeIsRefused()
    {
        // A named pipe in the settings file's place: the window starts at
        // once with the defaults, says so, and leaves the pipe alone.
        const NamedPipe pipe(Setting::filePath(), NamedPipe::ProgramReads);
        QVERIFY(pipe.made());
        sim::attach(identity(L"SIM M512 V2")).setReportRate(0);
        {
            MainDialog d;
            QVERIFY(!d.isEnglish());
            const QString tip = d.form()->label_left_tips->text();
            QVERIFY2(tip.startsWith(QStringLiteral("设置文件 %1 不是普通文件").arg(Setting::filePath())), qPrintable(tip));
            QCOMPARE(d.deviceEntries().size(), 1);
        }
        Setting().write(QStringLiteral("language"), QStringLiteral("English"));
        QCOMPARE(Setting().read(QStringLiteral("language")), QString());
        QVERIFY(!pipe.touched());
        QVERIFY(pipe.inPlace());
    }

    void aSettingsFileThatIsNoneIsTold_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("tip");
        QTest::newRow("folder") << 0 << QStringLiteral("设置文件 %1 是一个文件夹：已使用默认设置启动，更改不会保存。");
        QTest::newRow("binary") << 1
                                << QStringLiteral("设置文件 %1 不是设置文件（其中是二进制数据）：已使用默认设置启动，"
                                                  "该文件保持原样，更改不会保存。");
        // The file itself asks for English.
        QTest::newRow("large") << 2
                               << QStringLiteral("The settings file %1 is unusually large (2.4 MB): changes are saved "
                                                 "in the background.");
    }

    void aSettingsFileThatIsNoneIsTold()
    {
        // A folder, binary data, or a file of megabytes in the settings
        // file's place: the tip line says so; a folder and binary data are
        // left as they are.
        QFETCH(int, kind);
        QFETCH(QString, tip);
        const QString path = Setting::filePath();
        QByteArray bytes;
        if (kind == 0) {
            QVERIFY(QDir().mkdir(path));
        } else {
            bytes = kind == 1 ? QByteArray("[General]\nLanguage=English\n") + QByteArray(100, '\0') + QByteArray(3000, 'x')
                              : QByteArray("[General]\nLanguage=English\n");
            for (int i = 0; bytes.size() < 2400000; ++i)
                bytes += "unused_key_" + QByteArray::number(i) + "=some value of twenty-odd chars\n";
            bytes.truncate(2400000);
            bytes.append('\n');
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        sim::attach(identity(L"SIM M512 V2")).setReportRate(0);
        {
            MainDialog d;
            QCOMPARE(d.isEnglish(), kind == 2);
            QCOMPARE(d.form()->label_left_tips->text(), tip.arg(path));
        }
        Setting().write(QStringLiteral("VBUS_col"), QStringLiteral("ff00aa55"));
        Setting::flush();
        if (kind == 0) {
            QVERIFY(QFileInfo(path).isDir());
            QVERIFY(QDir(path).isEmpty());
            return;
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        if (kind == 1) {
            QCOMPARE(Setting().read(QStringLiteral("VBUS_col")), QString());
            QVERIFY(after == bytes);
        } else {
            QCOMPARE(Setting().read(QStringLiteral("VBUS_col")), QStringLiteral("ff00aa55"));
            QVERIFY(after.contains("\nVBUS_col=ff00aa55\n"));
            QVERIFY(after.contains("\nLanguage=English\n"));
        }
    }

    void meterWithoutSerialOpens()
    {
        sim::attach(identity(L"SIM M512X V2", L"")).setReportRate(0);
        MainDialog d;
        QVERIFY(d.meterPort().isOpen());
        QCOMPARE(d.deviceEntries().size(), 1);
        QCOMPARE(d.deviceEntries().first()->form()->label_serial_value->text(), QString());
    }

    void upgradePageFollowsTheConnection()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V1"));
        MainDialog d;
        d.form()->disp_btnUpgrade->click();
        QCOMPARE(d.form()->disp_stackedWidget->currentIndex(), 1);
        meter.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(d.form()->upgrade_text_log->toPlainText().contains(QStringLiteral("设备已断开")), 3000);
        QVERIFY(d.form()->upgrade_label_connect->styleSheet().contains(QLatin1String("usb_disconnect.png")));
        meter.plug();
        QTRY_VERIFY_WITH_TIMEOUT(d.form()->upgrade_text_log->toPlainText().contains(QStringLiteral("设备名称:SIM M512X V1")), 3000);
        QVERIFY(d.form()->upgrade_text_log->toPlainText().contains(QStringLiteral("设备已连接")));
        QVERIFY(d.form()->upgrade_label_connect->styleSheet().contains(QLatin1String("usb_connect.png")));
    }

    void twoMetersListTheLastOne()
    {
        sim::attach(identity(L"SIM K4 V1", L"FIRST00001"));
        sim::attach(identity(L"SIM N70 V2", L"SECOND0002"));
        MainDialog d;
        QCOMPARE(d.deviceEntries().size(), 1);
        QCOMPARE(d.deviceEntries().first()->form()->label_serial_value->text(), QStringLiteral("SECOND"));
        QCOMPARE(d.modelWord(), QStringLiteral("N70"));
    }

    void settingsPageByModel_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<int>("page");
        QTest::newRow("M512") << "SIM M512 V2" << 7;
        QTest::newRow("QM512R") << "SIM QM512R" << 7;
        QTest::newRow("M512X") << "SIM M512X V2" << 3;
        QTest::newRow("no model word") << "SIM" << 3;
    }

    void settingsPageByModel()
    {
        QFETCH(QString, product);
        QFETCH(int, page);
        sim::attach(identity(product.toStdWString()));
        MainDialog d;
        d.form()->disp_btnSysSet->click();
        QCOMPARE(d.form()->disp_stackedWidget->currentIndex(), page);
        QLabel *title = page == 7 ? d.form()->settings_labTitle_k4 : d.form()->settings_labTitle;
        QCOMPARE(title->text(), QStringLiteral("仪表参数设置"));

        (page == 7 ? d.form()->settings_btnReturn_k4 : d.form()->settings_btnReturn)->click();
        QCOMPARE(d.form()->disp_stackedWidget->currentIndex(), 0);
        d.form()->tbtn2->click();
        QCOMPARE(d.form()->disp_stackedWidget->currentIndex(), page);
    }

    void navigationFrames()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        Ui::MainDialog *f = d.form();
        QStackedWidget *stack = f->disp_stackedWidget;
        meter.clearWritten();

        f->disp_btnReturn->click();          // home: 45
        QCOMPARE(stack->currentIndex(), 0);
        QCOMPARE(f->labTitle->text(), QStringLiteral("电能表"));
        f->btnReturn->click();               // already home: nothing
        f->tbtn3->click();                   // live readings: 47
        QCOMPARE(stack->currentIndex(), 2);
        QCOMPARE(f->disp_labTitle->text(), QStringLiteral("联机测试"));
        f->disp_btnReturn->click();          // 45
        f->tbtn1->click();                   // upgrade: no frame
        QCOMPARE(stack->currentIndex(), 1);
        QCOMPARE(f->upgrade_progressBar_fw->format(), QStringLiteral("loading"));
        f->upgrade_btnReturn->click();       // 45
        f->tbtn2->click();                   // settings: 03 46
        QCOMPARE(stack->currentIndex(), 3);
        f->settings_btnReturn->click();      // 45
        f->tbtn4->click();                   // 48
        QCOMPARE(stack->currentIndex(), 4);
        f->four_btnReturn->click();          // 45
        f->tbtn5->click();                   // 49
        QCOMPARE(stack->currentIndex(), 5);
        f->five_btnReturn->click();          // 45
        f->tbtn6->click();                   // 50
        QCOMPARE(stack->currentIndex(), 6);
        QCOMPARE(f->six_labTitle->text(), QStringLiteral("电池容量电量检测"));
        f->six_btnReturn->click();           // 45
        f->tbtn3->click();                   // 47
        f->disp_btnUpgrade->click();         // no frame
        f->upgrade_btnReturn->click();       // 45
        f->tbtn3->click();                   // 47
        f->disp_btnSysSet->click();          // 03 46

        const QList<int> expected = {0x45, 0x47, 0x45, 0x45, 0x03, 0x46, 0x45, 0x48, 0x45, 0x49, 0x45,
                                     0x50, 0x45, 0x47, 0x45, 0x47, 0x03, 0x46};
        QCOMPARE(shortCodes(meter), expected);
        // Written whole: 64 bytes, zero after the frame.
        const sim::Written last = meter.written().back();
        QVERIFY(std::all_of(last.bytes.begin() + 9, last.bytes.end(), [](unsigned char b) { return b == 0; }));
        QCOMPARE(meter.lastPageCode(), 0x46);
    }

    void noMeterNoFrames()
    {
        // A meter of another kind: never opened, never written to.
        sim::Identity other = identity(L"OTHER THING");
        other.vendorId = 0x1234;
        sim::Meter &stranger = sim::attach(other);
        MainDialog d;
        QVERIFY(d.deviceEntries().isEmpty());
        QVERIFY(!d.meterPort().isOpen());
        for (QToolButton *b : d.homeButtons()) {
            d.form()->disp_btnReturn->click();
            b->click();
            QVERIFY(d.form()->disp_stackedWidget->currentIndex() != 0);
        }
        d.form()->disp_btnReturn->click();
        d.chartTick();
        QVERIFY(stranger.written().empty());
        QCOMPARE(d.form()->disp_labDevTiT->text(), QString());
    }

    void chartTickRequestsReadings()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X"));
        meter.setReportRate(0);
        MainDialog d;
        meter.clearWritten();
        d.chartTick();
        const auto written = meter.written();
        QCOMPARE(int(written.size()), 1);
        const unsigned char request[9] = {0x55, 0x05, 0x22, 0x05, 0x0B, 0x00, 0x8C, 0xEE, 0xFF};
        QVERIFY(std::equal(request, request + 9, written[0].bytes.begin()));
        // The meter answers with a reading, which the next tick shows.
        d.dashboardTick();
        QVERIFY(d.form()->disp_label_VOLT->text() != QStringLiteral("0.000000"));
    }

    void dashboardShowsAReading()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        Ui::MainDialog *f = d.form();

        meter.inject(sim::measurementReport(5.0, 6.5, 0.0, 0.6, 0.0, 1.68, 0.0, 36.24, 25.0, 0.1234, 12.5, 1));
        d.dashboardTick();
        QCOMPARE(f->disp_labDevTiT->text(), QStringLiteral(" | M512X 001234"));
        QCOMPARE(f->disp_label_VOLT->text(), QStringLiteral("5.000000"));
        QCOMPARE(f->disp_label_CURR->text(), QStringLiteral("6.500000"));
        QCOMPARE(f->disp_label_POWE->text(), QStringLiteral("0.000000"));
        QCOMPARE(f->disp_label_DP_VALUE->text(), QStringLiteral("0.600"));
        QCOMPARE(f->disp_label_CC1_VALUE->text(), QStringLiteral("1.680"));
        QCOMPARE(f->disp_label_CPU_VALUE->text(), QStringLiteral("36.2"));
        QCOMPARE(f->disp_label_cap_value->text(), QStringLiteral("0.123"));
        QCOMPARE(f->disp_label_ele_value->text(), QStringLiteral("12.500"));
        QCOMPARE(f->progressBar_VBUS->value(), 21);
        QVERIFY(f->progressBar_VBUS->styleSheet().contains(QLatin1String("rgb(85, 255, 0)")));
        QCOMPARE(f->progressBar_IBUS->value(), 100);
        QVERIFY(f->progressBar_IBUS->styleSheet().contains(QLatin1String("rgb(230, 0, 0)")));
        QCOMPARE(f->progressBar_Power->value(), 13);
        QCOMPARE(f->disp_label_ImageDir->styleSheet(), QStringLiteral("image: url(:/sys/rs/rs/up.png)"));
        QCOMPARE(f->disp_label_VBUS_Tips->text(), QStringLiteral(" "));
        QCOMPARE(f->settings_lab_voltvalue->text(), QStringLiteral("5.000000"));
        QCOMPARE(f->settings_lab_tempvalue->text(), QStringLiteral("36.2"));
        QVERIFY(selected(f->settings_btn_0A));   // min_current still 0

        // A tick with nothing waiting changes nothing.
        f->disp_labDevTiT->setText(QStringLiteral("unchanged"));
        d.dashboardTick();
        QCOMPARE(f->disp_labDevTiT->text(), QStringLiteral("unchanged"));
        QCOMPARE(f->disp_label_VOLT->text(), QStringLiteral("5.000000"));

        // Low voltage shows the floating-input tip; an unknown direction
        // keeps the last image.
        meter.inject(sim::measurementReport(2.99, 0.0, 0.0, 0, 0, 0, 0, 30, 25, 0, 0, 7));
        d.dashboardTick();
        QCOMPARE(f->disp_label_VBUS_Tips->text(), QStringLiteral("(输入悬空时有感应电压是正常现象)"));
        QCOMPARE(f->disp_label_ImageDir->styleSheet(), QStringLiteral("image: url(:/sys/rs/rs/up.png)"));
        QCOMPARE(f->disp_label_VOLT->text(), QStringLiteral("2.990000"));
        meter.inject(sim::measurementReport(123.4567, 0.0, 0.0, 0, 0, 0, 0, 30, 25, 0, 0, 2));
        d.dashboardTick();
        QCOMPARE(f->disp_label_VOLT->text(), QStringLiteral("123.4567"));
        QCOMPARE(f->disp_label_ImageDir->styleSheet(), QString());
        QCOMPARE(f->progressBar_VBUS->value(), 100);
    }

    void settingsEcho_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<bool>("compact");
        QTest::newRow("full page") << "SIM M512X V2" << false;
        QTest::newRow("compact page") << "SIM M512 V2" << true;
    }

    void settingsEcho()
    {
        QFETCH(QString, product);
        QFETCH(bool, compact);
        sim::Meter &meter = sim::attach(identity(product.toStdWString()));
        meter.setReportRate(0);
        MainDialog d;
        Ui::MainDialog *f = d.form();

        meter.inject(settingsReport(1, compact ? 60 : 7, 4, 45, 2, 0));
        d.dashboardTick();
        QPushButton *cn = compact ? f->settings_btn_CN_k4 : f->settings_btn_CN;
        QPushButton *en = compact ? f->settings_btn_EN_k4 : f->settings_btn_EN;
        QPushButton *on = compact ? f->settings_btn_M_open_k4 : f->settings_btn_G_open;
        QPushButton *off = compact ? f->settings_btn_M_close_k4 : f->settings_btn_G_close;
        QVERIFY(selected(en) && !selected(cn));
        QVERIFY(selected(off) && !selected(on));
        QCOMPARE((compact ? f->settings_slider_worklight_k4 : f->settings_slider_worklight)->value(), compact ? 60 : 7);
        // The other page's controls are left alone.
        QPushButton *otherEn = compact ? f->settings_btn_EN : f->settings_btn_EN_k4;
        QVERIFY(!selected(otherEn));
        QCOMPARE(f->settings_slider_standlight->value(), 4);
        QCOMPARE(f->settings_slider_standtime->value(), 45);
        QVERIFY(selected(f->settings_btn_style2));
        QVERIFY(!selected(f->settings_btn_style1) && !selected(f->settings_btn_style3));
        QCOMPARE(f->settings_lab_califact_voltvalue->text(), QStringLiteral("1.000"));
        QCOMPARE(f->settings_lab_califact_currvalue->text(), QStringLiteral("1.100"));
        QCOMPARE(f->settings_lab_califact_tempvalue->text(), QStringLiteral("0.900"));
        QVERIFY(selected(f->settings_btn_10ma));

        // Out-of-range style, language and switch leave their buttons.
        meter.inject(settingsReport(5, 1, 4, 45, 4, 9));
        d.dashboardTick();
        QVERIFY(selected(f->settings_btn_style2));
        QVERIFY(selected(en));
        QVERIFY(selected(off));
        // The other language and the switch on move them.
        meter.inject(settingsReport(0, 1, 4, 45, 1, 1));
        d.dashboardTick();
        QVERIFY(selected(cn) && !selected(en));
        QVERIFY(selected(on) && !selected(off));
        QVERIFY(selected(f->settings_btn_style1) && !selected(f->settings_btn_style2));
    }

    void settingsControlsSendTheirFrames()
    {
        // Every control of both settings pages, used as a user would, sends
        // the meter its own code and value.
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        auto d = std::make_unique<MainDialog>();
        // The meter's settings report, shown by a dashboard tick of its own,
        // would move the sliders to its values between the test's clicks.
        d->dashboardTimer().stop();
        Ui::MainDialog *f = d->form();
        d->resize(1400, 900);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        clickOn(f->disp_btnSysSet);   // a meter plugged in opens the display page
        QCOMPARE(f->disp_stackedWidget->currentIndex(), 3);
        meter.clearWritten();
        for (QPushButton *b : {f->settings_btn_0A, f->settings_btn_10ma, f->settings_btn_20ma, f->settings_btn_CN,
                               f->settings_btn_EN, f->settings_btn_G_open, f->settings_btn_G_close,
                               f->settings_btn_style1, f->settings_btn_style2, f->settings_btn_style3,
                               f->settings_btn_clearcurrent, f->settings_btn_factory_reset, f->settings_btn_datazero})
            clickOn(b);
        QCOMPARE(shortCodes(meter), QList<int>({0x2D, 0x2E, 0x2F, 0x20, 0x21, 0x31, 0x32, 0x25, 0x26, 0x30, 0x27,
                                                0x28, 0x29}));
        meter.clearWritten();
        // The sliders as a drag leaves them.
        f->settings_slider_worklight->setValue(4);
        f->settings_slider_standlight->setValue(3);
        f->settings_slider_standtime->setValue(40);
        f->settings_slider_voltcali->setValue(1500);
        f->settings_slider_currcali->setValue(1100);
        f->settings_slider_tempcali->setValue(2000);
        const auto frame = [](std::initializer_list<int> b) {
            QByteArray a;
            for (int v : b)
                a.append(char(v));
            return a;
        };
        QCOMPARE(valueFrames(meter), QList<QByteArray>({frame({0x22, 0, 0, 0, 4}), frame({0x23, 0, 0, 0, 3}),
                                                        frame({0x24, 0, 0, 0, 40}), frame({0x2A, 0x3F, 0xC0, 0, 0}),
                                                        frame({0x2B, 0x3F, 0x8C, 0xCC, 0xCD}),
                                                        frame({0x2C, 0x40, 0, 0, 0})}));
        QCOMPARE(f->settings_lab_califact_currvalue->text(), QStringLiteral("1.100"));

        // The compact family's page.
        d.reset();
        sim::reset();
        sim::Meter &compact = sim::attach(identity(L"SIM K4R V3"));
        compact.setReportRate(0);
        d = std::make_unique<MainDialog>();
        d->dashboardTimer().stop();
        f = d->form();
        d->resize(1400, 900);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        clickOn(f->disp_btnSysSet);   // a meter plugged in opens the display page
        QCOMPARE(f->disp_stackedWidget->currentIndex(), 7);
        compact.clearWritten();
        for (QPushButton *b : {f->settings_btn_CN_k4, f->settings_btn_EN_k4, f->settings_btn_M_open_k4,
                               f->settings_btn_M_close_k4, f->settings_btn_clearcurrent_k4, f->settings_btn_datazero_k4})
            clickOn(b);
        QCOMPARE(shortCodes(compact), QList<int>({0x20, 0x21, 0x31, 0x32, 0x27, 0x29}));
    }

    void drainKeepsTheDisplayCurrent()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        // Many reports between two ticks: the tick shows the newest, and a
        // settings report among them is still taken.
        for (int i = 1; i <= 40; ++i) {
            meter.inject(sim::measurementReport(i, 0, 0, 0, 0, 0, 0, 30, 25, 0, 0, 1));
            if (i == 20)
                meter.inject(settingsReport(1, 3, 4, 45, 3, 1));
        }
        d.dashboardTick();
        QCOMPARE(d.form()->disp_label_VOLT->text(), QStringLiteral("40.00000"));
        QVERIFY(selected(d.form()->settings_btn_style3));
        // All that waits now are the meter's settings reports answering the
        // three slider values the dialog echoed back; no measurement is left.
        unsigned char buffer[64];
        int answers = 0;
        while (d.meterPort().readReport(buffer) == 64) {
            QCOMPARE(int(buffer[1]), 0x05);
            ++answers;
        }
        QCOMPARE(answers, 3);
    }

    void drainAtTenReportsASecond()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(10);
        MainDialog d;
        // Left to its own timers for a few seconds, the dialog keeps up.
        QTest::qWait(3500);
        QVERIFY(meter.measurementsSent() >= 25);
        // Quiet the meter (no events run in between), then one more tick
        // leaves nothing behind.
        meter.setReportRate(0);
        d.dashboardTick();
        unsigned char buffer[64];
        QCOMPARE(d.meterPort().readReport(buffer), 0);
        QCOMPARE(meter.droppedReports(), 0);
    }

    void everyWayOfClosingStopsTheWorker_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("close button") << 0;
        QTest::newRow("escape, then the close button") << 1;
        QTest::newRow("window manager") << 2;
        QTest::newRow("destroyed open") << 3;
    }

    void everyWayOfClosingStopsTheWorker()
    {
        QFETCH(int, how);
        sim::attach(identity(L"SIM M512X V2"));
        auto *d = new MainDialog;
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QPointer<USBThread> worker = d->worker();
        QVERIFY(worker->isRunning());
        switch (how) {
        case 0: d->form()->btnMenu_Close->click(); break;
        case 1:
            // Esc, as Qt routes it to whatever has the focus, never closes
            // the main window: the run and the worker go on.
            QTest::keyClick(d->windowHandle(), Qt::Key_Escape);
            QCoreApplication::processEvents();
            QVERIFY(d->isVisible());
            QVERIFY(worker->isRunning());
            d->form()->btnMenu_Close->click();
            break;
        case 2: QVERIFY(d->close()); break;
        default: break;
        }
        if (how != 3) {
            QVERIFY(worker->isFinished());
            QVERIFY(!d->isVisible());
        }
        delete d;
        QVERIFY(worker.isNull());
    }

    void aSignalEndsTheWindowsRunAsStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void aSignalEndsTheWindowsRunAsStopped()
    {
        // The window of ombrel-sim journals where its commands read, and a
        // logout's SIGTERM (or Ctrl+C) closes it as its close button would.
        QFETCH(int, signal);
        QTemporaryDir home;
        const SimProcess sim{home.path()};
        QProcess window;
        sim.start(window, {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--sim-rate"),
                           QStringLiteral("4")});
        QVERIFY(window.waitForStarted());
        QJsonObject live;
        QTRY_VERIFY_WITH_TIMEOUT((live = sim.runs().at(0).toObject()).value(QLatin1String("records")).toInt() >= 3,
                                 30000);
        QVERIFY(live.value(QLatin1String("end_reason")).isNull());
        const int seen = live.value(QLatin1String("records")).toInt();
        QCOMPARE(::kill(pid_t(window.processId()), signal), 0);
        QVERIFY(window.waitForFinished(30000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);

        const QJsonArray runs = sim.runs();
        QCOMPARE(runs.size(), 1);
        const QJsonObject run = runs.at(0).toObject();
        QCOMPARE(run.value(QLatin1String("id")).toInt(), live.value(QLatin1String("id")).toInt());
        QCOMPARE(run.value(QLatin1String("end_reason")).toString(), QStringLiteral("stopped"));
        const int records = run.value(QLatin1String("records")).toInt();
        QVERIFY2(records >= seen, qPrintable(QStringLiteral("%1 < %2").arg(records).arg(seen)));
        // Every record the run counts is there to export.
        const QByteArray lines = sim.output({QStringLiteral("export"), QStringLiteral("last"), QStringLiteral("--jsonl"),
                                             QStringLiteral("-")});
        QCOMPARE(lines.count('\n'), records);
        QVERIFY(!QDir(home.path() + QStringLiteral("/data/ombrel-sim")).exists());
    }

    void replugCyclesLeakNothing()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        const int handlesAtStart = sim::openHandles();
        QCOMPARE(handlesAtStart, 2);   // the worker's and the dialog's
        for (int i = 0; i < 200; ++i) {
            meter.unplug();
            d.usbdisconnect();
            meter.plug();
            d.usbconnect(QStringLiteral("SIM M512X V2"));
        }
        QCOMPARE(d.deviceEntries().size(), 1);
        // The worker notices the last replugs on its own; once it has, both
        // handles are open again and no more.
        QTRY_COMPARE_WITH_TIMEOUT(d.worker()->usb_state(), 0, 3000);
        QTest::qWait(1200);
        QTRY_COMPARE(sim::openHandles(), handlesAtStart);
        QCOMPARE(d.findChildren<DeviceInfoUI *>().size(), 1);
    }

    // While its meter is out the worker looks for it twice a second, and the
    // window lists the meters whenever one connects: the two threads never
    // meet in the library calls that share its process-wide error string.
    void listingNeverMeetsTheWorkersSearch()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        sim::setGlobalCallTime(2000);
        meter.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(d.worker()->usb_state(), 1, 3000);
        QElapsedTimer clock;
        clock.start();
        int lists = 0;
        while (clock.elapsed() < 1600) {   // three of the worker's searches
            d.usbconnect(QStringLiteral("SIM M512X V2"));
            ++lists;
        }
        QVERIFY(lists > 100);
        QCOMPARE(sim::overlappingGlobalCalls(), 0);
        // Back in, the meter is found and opened by both.
        meter.plug();
        QTRY_COMPARE_WITH_TIMEOUT(d.worker()->usb_state(), 0, 3000);
        QTRY_VERIFY(d.meterPort().isOpen());
        QCOMPARE(sim::overlappingGlobalCalls(), 0);
    }

    void storedEnglishTranslatesTheForm()
    {
        Setting().write(QStringLiteral("language"), QStringLiteral("English"));
        sim::attach(identity(L"SIM M512 V2"));
        {
            MainDialog d;
            QCOMPARE(d.form()->tbtn3->text(), QStringLiteral("Online testing"));
            QCOMPARE(d.form()->device_treeWidget->headerItem()->text(0), QStringLiteral("Devices"));
            QCOMPARE(d.form()->settings_groupBox_k4_motor->title(), QStringLiteral("05 Motor Switch"));
            QCOMPARE(d.deviceEntries().first()->form()->label_connect_type->text(), QStringLiteral("Connect"));
            d.form()->tbtn3->click();
            QCOMPARE(d.form()->disp_labTitle->text(), QStringLiteral("Online testing"));
        }
        Setting().write(QStringLiteral("language"), QStringLiteral("Chinese"));
        MainDialog chinese;
        QCOMPARE(chinese.form()->tbtn3->text(), QStringLiteral("联机测试"));
    }

    void iconHelper()
    {
        IconHelper *icons = IconHelper::instance();
        QCOMPARE(IconHelper::instance(), icons);
        QVERIFY(icons->iconFont().family().contains(QLatin1String("FontAwesome"), Qt::CaseInsensitive));

        QLabel label;
        QPushButton button;
        icons->setIcon(&label, QChar(0xF2D5), 30);
        icons->setIcon(&button, QChar(0xF00D), 9);
        QCOMPARE(label.font().pointSize(), 30);
        QCOMPARE(button.font().pointSize(), 9);
        QCOMPARE(label.text(), QString(QChar(0xF2D5)));

        const QImage img = icons->iconPixmap(QStringLiteral("#FEFEFE"), QChar(0xF108), 50, 100, 70).toImage();
        QCOMPARE(img.size(), QSize(100, 70));
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(99, 69)), 0);
        int inked = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                inked += qAlpha(img.pixel(x, y)) > 128;
        QVERIFY2(inked > 300, qPrintable(QString::number(inked)));
    }

    void chineseTextHasAFont()
    {
        // The interface family stands in with a font that has Chinese glyphs.
        QFontMetrics metrics(qApp->font());
        QVERIFY(metrics.inFont(QChar(0x7535)));   // 电
        QVERIFY(metrics.inFont(QChar(0x8868)));   // 表
    }

    void pictureOfTheWindow()
    {
        sim::Meter &meter = sim::attach(identity(L"SIM M512X V2"));
        meter.setReportRate(0);
        MainDialog d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // The window carries the application's icon and names the menu entry
        // the package installs.
        QCOMPARE(d.windowHandle()->icon().availableSizes(), QList<QSize>{QSize(128, 128)});
        QVERIFY(QFile::exists(QStringLiteral(OMBREL_SOURCE_DIR "/packaging/") + QGuiApplication::desktopFileName()
                              + QStringLiteral(".desktop")));
        // A minute of a charge on the chart, on a clock of the test's own.
        d.chartTimer().stop();
        qint64 now = QDateTime(QDate(2026, 12, 7), QTime(14, 30, 0)).toMSecsSinceEpoch();
        d.setClock([&now] { return now; });
        d.on_disp_Btn_Run_clicked();
        d.on_disp_Btn_Run_clicked();
        for (int i = 0; i < 60; ++i) {
            const double volts = i < 20 ? 5.02 : 9.012;
            const double amps = 1.987 - 0.004 * i;
            meter.inject(sim::measurementReport(volts, amps, volts * amps, 0.6, 0.0, 1.68, 0.0, 31.4, 25, 0.512, 4.6, 1));
            d.dashboardTick();
            now += 1000;
            d.chartTick();
        }
        QApplication::processEvents();
        const QImage shot = d.grab().toImage();
        QCOMPARE(shot.size(), QSize(1232, 900));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 7)
            for (int x = 0; x < shot.width(); x += 7)
                colours.insert(shot.pixel(x, y));
        QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));
        const QString out = QStringLiteral(OMBREL_SCREENSHOT_DIR "/maindialog.png");
        QDir().mkpath(QFileInfo(out).absolutePath());
        QVERIFY(shot.save(out));
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
