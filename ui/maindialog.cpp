#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/iconhelper.h"
#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/commandframe.h"
#include "ui/deviceinfoui.h"
#include "device/meterreading.h"
#include "device/productinfo.h"
#include "device/usbthread.h"
#include "ui/dashboard.h"
#include "ui/measurecontroller.h"
#include "ui/runhistorycontroller.h"
#include "ui/prompts.h"
#include "recording/runjournal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTime>
#include <QToolButton>
#include <QTranslator>

#include <hidapi.h>

#include <cstdlib>

namespace {

// Icon-font glyphs.
constexpr ushort kGlyphTitle = 0xF2D5;
constexpr ushort kGlyphMin = 0xF068;
constexpr ushort kGlyphMax = 0xF2D0;
constexpr ushort kGlyphClose = 0xF00D;
constexpr ushort kGlyphMenu = 0xF150;
constexpr ushort kGlyphHome = 0xF073;
constexpr ushort kGlyphReturn = 0xF122;

struct HomeButton {
    const char *text;
    const char *colour;
    ushort glyph;
};

// tbtn1 .. tbtn6
const HomeButton kHomeButtons[6] = {
    {QT_TRANSLATE_NOOP("MainDialog", "固件升级"), "#1570A5", 0xF01B},
    {QT_TRANSLATE_NOOP("MainDialog", "仪表参数设置"), "#16A085", 0xF085},
    {QT_TRANSLATE_NOOP("MainDialog", "联机测试"), "#C0392B", 0xF108},
    {QT_TRANSLATE_NOOP("MainDialog", "快充协议高压触发"), "#047058", 0xF03E},
    {QT_TRANSLATE_NOOP("MainDialog", "快充协议自动检测"), "#9B59BB", 0xF0E8},
    {QT_TRANSLATE_NOOP("MainDialog", "电池容量电量检测"), "#34495E", 0xF241},
};

// A report buffer is drained at most this far per tick, so a meter that
// floods the handle cannot hold the GUI thread.
constexpr int kMaxReportsPerTick = 256;

void setBar(QProgressBar *bar, double value, double fullScale, const char *colour)
{
    const Dashboard::Bar level = Dashboard::barLevel(value, fullScale);
    bar->setStyleSheet(Dashboard::barStyle(QLatin1String(colour), level.overRange));
    bar->setValue(level.value);
}

} // namespace

MainDialog::MainDialog(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::MainDialog),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); }),
      m_transfer([this](const QByteArray &frame) {
          m_worker->usb_write(reinterpret_cast<const unsigned char *>(frame.constData()), frame.size());
      }),
      m_loaderWait(waitBlocking)
{
    // Frameless and translucent before the form exists: changing the flags
    // of a window re-polishes every widget it holds.
    setWindowFlags(Qt::WindowFlags(0xE800));
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    ui->setupUi(this);
    applySettingRanges();
    initForm();
    // A settings file that could not be taken is told on the tip line.
    showAccessTip();

    // The custom range window exists before the chart, so the chart's first
    // ranges honour what it loaded.
    m_custom = new customcoordinates;
    // A window of its own that must not keep the program alive.
    m_custom->setAttribute(Qt::WA_QuitOnClose, false);
    m_custom->setWindowTitle(tr("Custom Axis"));
    m_custom->hide();
    connect(m_custom, SIGNAL(RangChang_signal()), this, SLOT(RangChang_slot()));

    ui->disp_btn_menu->setIcon(QIcon(QPixmap(QStringLiteral(":/sys/rs/rs/menu.png"))
                                         .scaled(200, 200, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    ui->disp_Btn_Run->setIcon(QIcon(QStringLiteral(":/sys/rs/rs/run.png")));

    ui->disp_label_NTC->hide();
    ui->disp_label_NTC_VALUE->hide();
    ui->disp_label_NTC_DEGREE->hide();
    ui->tbtn4->hide();
    ui->tbtn5->hide();

    ui->label_main_icon->setStyleSheet(QStringLiteral("border-image: url(:/sys/rs/rs/icon01_130x20.png);"));

    // Device list header with its icon.
    ui->device_treeWidget->setHeaderLabels(QStringList() << tr("设备列表"));
    ui->splitter->setHandleWidth(8);
    QHeaderView *header = ui->device_treeWidget->header();
    auto *listIcon = new QLabel(header);
    listIcon->setFixedSize(20, 20);
    listIcon->setAlignment(Qt::AlignCenter);
    listIcon->setStyleSheet(QStringLiteral("border-image: url(:/sys/rs/rs/list_20x20.png);"));
    listIcon->move(header->sectionPosition(0) + 60, 2);

    m_dashboardTimer.start(1000);
    connect(&m_dashboardTimer, &QTimer::timeout, this, &MainDialog::dashboardTick);

    IconHelper::instance()->setIcon(ui->btnReturn, QChar(kGlyphHome), 16);

    m_homeButtons = {ui->tbtn1, ui->tbtn2, ui->tbtn3, ui->tbtn4, ui->tbtn5, ui->tbtn6};
    for (int i = 0; i < m_homeButtons.size(); ++i) {
        QToolButton *b = m_homeButtons[i];
        const HomeButton &def = kHomeButtons[i];
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(100, 70));
        b->setIcon(QIcon(IconHelper::instance()->iconPixmap(QStringLiteral("#FEFEFE"), QChar(def.glyph), 50, 100, 70)));
        b->setStyleSheet(QStringLiteral("QToolButton{font:%1px;background:%2;}").arg(15).arg(QLatin1String(def.colour))
                         + QStringLiteral("QToolButton{border:none;border-radius:8px;padding:5px;}")
                         + QStringLiteral("QToolButton:pressed{background:%1;}").arg(QStringLiteral("#737A97"))
                         + QStringLiteral("QToolButton:hover{ border-style: outset; border: 2px groove green;}"));
        connect(b, SIGNAL(clicked(bool)), this, SLOT(buttonClicked()));
    }
    retranslateHomeButtons();

    IconHelper::instance()->setIcon(ui->disp_btnReturn, QChar(kGlyphReturn), 16);

    std::srand(static_cast<unsigned>(QTime(0, 0).secsTo(QTime::currentTime())));

    // Built before the worker's first open attempt, so a meter already
    // plugged in starts its run on a chart that exists.
    initChart();
    // Before the meter link, whose first connection may start a run.
    openJournal();
    initMeasure();
    initCapacityPage();
    initHistory();

    // The meter link: the worker's first open attempt is synchronous, so a
    // meter already plugged in shows in the device list before the window.
    m_worker = new USBThread(this);
    connect(m_worker, SIGNAL(new_data(unsigned char*,unsigned int)), this,
            SLOT(usbreceivedata(unsigned char*,unsigned int)));
    connect(m_worker, SIGNAL(usb_connect(QString)), this, SLOT(usbconnect(QString)));
    connect(m_worker, SIGNAL(usb_disconnect()), this, SLOT(usbdisconnect()));
    connect(m_worker, SIGNAL(usb_send_error()), this, SLOT(usbsenderror()));
    connect(m_worker, SIGNAL(usb_access_denied(QString)), this, SLOT(usbaccessdenied(QString)));
    m_worker->vid = m_vid;
    m_worker->pid = m_pid;
    m_worker->usb_open();
    m_worker->start(QThread::InheritPriority);

    m_upgradeTimer = new QTimer(this);
    connect(m_upgradeTimer, SIGNAL(timeout()), this, SLOT(mytimer_timeout()));

    m_chartTimer.start(1000);
    connect(&m_chartTimer, &QTimer::timeout, this, &MainDialog::chartTick);
}

MainDialog::~MainDialog()
{
    stopWorker();
    // A run that goes on ends with the window; one that waits for its meter
    // ends as unplugged.
    if (m_runId)
        journalEnd(QLatin1String(m_plotting ? RunJournal::kStopped : RunJournal::kUnplugged));
    m_measure->setChart(m_live->chart());
    delete m_history;
    m_view->setHoverText(nullptr);
    m_live.reset();
    delete m_custom;
    // The translator belongs to this window's language choice.
    qApp->removeTranslator(m_translator);
    delete m_translator;
    delete ui;
}

void MainDialog::initForm()
{
    m_translator = new QTranslator(qApp);
    m_english = Setting().read(QStringLiteral("Language")) == QLatin1String("English");
    if (m_english) {
        m_translator->load(QStringLiteral(":/Language/lib_en.qm"));
        qApp->installTranslator(m_translator);
    } else {
        qApp->removeTranslator(m_translator);
    }
    ui->retranslateUi(this);

    IconHelper *icons = IconHelper::instance();
    icons->setIcon(ui->title_icon_label, QChar(kGlyphTitle), 30);
    icons->setIcon(ui->btnMenu_Min, QChar(kGlyphMin), 9);
    icons->setIcon(ui->btnMenu_Max, QChar(kGlyphMax), 9);
    icons->setIcon(ui->btnMenu_Close, QChar(kGlyphClose), 9);
    icons->setIcon(ui->btnMenu_Menu, QChar(kGlyphMenu), 9);

    // The border bands lie in top_widget's margin: hovering there must reach
    // the dialog's border detection, through every widget in between.
    ui->main_widget->setMouseTracking(true);
    ui->top_widget->setMouseTracking(true);
    ui->widgetTitle->installEventFilter(this);
    ui->widgetTitle->setProperty("form", "title");
}

void MainDialog::retranslateHomeButtons()
{
    for (int i = 0; i < m_homeButtons.size(); ++i)
        m_homeButtons[i]->setText(tr(kHomeButtons[i].text));
}

void MainDialog::stopWorker()
{
    if (m_worker && m_worker->isRunning()) {
        m_worker->usb_stop();
        m_worker->wait();
    }
}

void MainDialog::closeEvent(QCloseEvent *event)
{
    stopWorker();
    // Closing the main window ends the program, whatever else is open.
    m_custom->close();
    QDialog::closeEvent(event);
}

void MainDialog::done(int result)
{
    // Escape and the window manager end here too.
    stopWorker();
    QDialog::done(result);
}

void MainDialog::changeEvent(QEvent *event)
{
    // Language changes are applied by an explicit retranslation only.
    Q_UNUSED(event);
}

// ---------------------------------------------------------------- commands

void MainDialog::selectButton(QPushButton *chosen, std::initializer_list<QPushButton *> group)
{
    for (QPushButton *b : group)
        b->setStyleSheet(QLatin1String(b == chosen ? Dashboard::kSelectedStyle : Dashboard::kUnselectedStyle));
}

void MainDialog::usb_send(const void *data, unsigned int length)
{
    m_port.usb_send(data, length);
}

void MainDialog::usb_send_code(unsigned char code)
{
    m_port.usb_send_code(code);
}

void MainDialog::chartTick()
{
    QByteArray frame;
    if (m_requestState == 2) {
        frame = CommandFrame::shortFrame(Cmd::UpgradeStart);
        m_requestState = 1;
    } else {
        frame = CommandFrame::periodicRequest();
    }
    if (m_port.isOpen())
        usb_send(frame.constData(), frame.size());
    recordTick();
}

// ---------------------------------------------------------------- navigation

void MainDialog::goHome()
{
    if (ui->disp_stackedWidget->currentIndex() == 0)
        return;
    ui->disp_stackedWidget->setCurrentIndex(0);
    ui->labTitle->setText(tr("电能表"));
    IconHelper::instance()->setIcon(ui->btnReturn, QChar(kGlyphHome), 16);
    usb_send_code(Cmd::PageHome);
}

void MainDialog::on_disp_btnReturn_clicked() { goHome(); }
void MainDialog::on_upgrade_btnReturn_clicked() { goHome(); }
void MainDialog::on_settings_btnReturn_clicked() { goHome(); }
void MainDialog::on_settings_btnReturn_k4_clicked() { goHome(); }
void MainDialog::on_four_btnReturn_clicked() { goHome(); }
void MainDialog::on_five_btnReturn_clicked() { goHome(); }
void MainDialog::on_six_btnReturn_clicked() { goHome(); }

void MainDialog::openPage(int index, QLabel *title, QPushButton *returnButton, const QString &text)
{
    ui->disp_stackedWidget->setCurrentIndex(index);
    title->setText(text);
    IconHelper::instance()->setIcon(returnButton, QChar(kGlyphReturn), 16);
}

void MainDialog::resetUpgradeProgress()
{
    QProgressBar *bar = ui->upgrade_progressBar_fw;
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setOrientation(Qt::Horizontal);
    bar->setAlignment(Qt::AlignCenter);
    bar->setFormat(QStringLiteral("loading"));
    bar->setTextVisible(true);
}

void MainDialog::openUpgradePage(const QString &title)
{
    openPage(1, ui->upgrade_labTitle, ui->upgrade_btnReturn, title);
    resetUpgradeProgress();
}

void MainDialog::openSettingsPage(const QString &title)
{
    if (isCompactFamily(m_modelWord))
        openPage(7, ui->settings_labTitle_k4, ui->settings_btnReturn_k4, title);
    else
        openPage(3, ui->settings_labTitle, ui->settings_btnReturn, title);
    usb_send_code(Cmd::SettingsEnter);
    usb_send_code(Cmd::PageSettings);
}

void MainDialog::buttonClicked()
{
    auto *button = qobject_cast<QAbstractButton *>(sender());
    if (!button)
        return;
    const QString text = button->text();
    if (text == tr("联机测试")) {
        openPage(2, ui->disp_labTitle, ui->disp_btnReturn, text);
        usb_send_code(Cmd::PageDisp);
    } else if (text == tr("固件升级")) {
        openUpgradePage(text);
    } else if (text == tr("仪表参数设置")) {
        openSettingsPage(text);
    } else if (text == tr("快充协议高压触发")) {
        openPage(4, ui->four_labTitle, ui->four_btnReturn, text);
        usb_send_code(Cmd::PageFour);
    } else if (text == tr("快充协议自动检测")) {
        openPage(5, ui->five_labTitle, ui->five_btnReturn, text);
        usb_send_code(Cmd::PageFive);
    } else if (text == tr("电池容量电量检测")) {
        openPage(6, ui->six_labTitle, ui->six_btnReturn, text);
        usb_send_code(Cmd::PageSix);
    }
}

void MainDialog::on_disp_btnUpgrade_clicked()
{
    openUpgradePage(QStringLiteral("固件升级"));
}

void MainDialog::on_disp_btnSysSet_clicked()
{
    openSettingsPage(QStringLiteral("仪表参数设置"));
}

void MainDialog::on_btnMenu_Min_clicked()
{
    showMinimized();
}


void MainDialog::on_btnMenu_Close_clicked()
{
    stopWorker();
    close();
}

void MainDialog::resizeEvent(QResizeEvent *)
{
    const QSize stack = ui->disp_stackedWidget->size();
    const DispHeaderLayout::Placement p = m_dispLayout.resized(stack.width(), stack.height());
    if (!p.placeChart)
        return;
    ui->widget->setGeometry(p.chart);
    if (!p.moveHeader)
        return;
    ui->disp_labTitle->setGeometry(p.titleX, 0, 411, 31);
    ui->disp_btnSysSet->setGeometry(p.sysSetX, 2, 41, 31);
    ui->disp_btnUpgrade->setGeometry(p.upgradeX, 2, 41, 31);
    ui->disp_label_tip_3->setGeometry(p.tip3X, 32, 54, 15);
    ui->disp_label_tip_2->setGeometry(p.tip2X, 32, 54, 15);
}

// ---------------------------------------------------------------- device list

QList<DeviceInfoUI *> MainDialog::deviceEntries() const
{
    QList<DeviceInfoUI *> list;
    for (const auto &entry : m_deviceEntries)
        list << entry.first;
    return list;
}

void MainDialog::usbconnect(QString dev_str)
{
    if (!m_deniedNode.isEmpty()) {
        m_deniedNode.clear();
        showAccessTip();
    }
    ui->upgrade_label_devvalue->setText(dev_str);
    if (ui->disp_stackedWidget->currentIndex() == 1) {
        ui->upgrade_text_log->append(tr("设备已连接"));
        ui->upgrade_text_log->append(tr("设备名称:") + dev_str);
        ui->upgrade_label_connect->setStyleSheet(
            QStringLiteral("border-image:url(:/sys/rs/rs/usb_connect.png) 0 0 0 0 stretch stretch;"));
    }
    refreshDeviceList();
}

void MainDialog::usbaccessdenied(QString node)
{
    m_deniedNode = node;
    showAccessTip();
}

void MainDialog::showAccessTip()
{
    QStringList tips;
    const QString settings = QDir::toNativeSeparators(Setting::filePath());
    switch (Setting::problem()) {
    case Setting::Problem::None:
        break;
    case Setting::Problem::Special:
        tips << tr("设置文件 %1 不是普通文件（例如命名管道或设备）：已使用默认设置启动，更改不会保存。").arg(settings);
        break;
    case Setting::Problem::Directory:
        tips << tr("设置文件 %1 是一个文件夹：已使用默认设置启动，更改不会保存。").arg(settings);
        break;
    case Setting::Problem::NotSettings:
        tips << tr("设置文件 %1 不是设置文件（其中是二进制数据）：已使用默认设置启动，该文件保持原样，更改不会保存。")
                    .arg(settings);
        break;
    case Setting::Problem::Large:
        tips << tr("设置文件 %1 异常大（%2 MB）：更改在后台保存。")
                    .arg(settings)
                    .arg(QFileInfo(Setting::filePath()).size() / 1e6, 0, 'f', 1);
        break;
    }
    if (!m_deniedNode.isEmpty())
        tips << tr("无法打开仪表 %1：没有读写权限。请安装本程序的 udev 规则，然后拔下并重新插入仪表。").arg(m_deniedNode);
    if (!m_journalTip.isEmpty())
        tips << m_journalTip;
    ui->label_left_tips->setText(tips.join(QLatin1Char(' ')));
}

void MainDialog::usbdisconnect()
{
    if (ui->disp_stackedWidget->currentIndex() == 1) {
        ui->upgrade_text_log->append(tr("设备已断开"));
        ui->upgrade_label_connect->setStyleSheet(
            QStringLiteral("border-image:url(:/sys/rs/rs/usb_disconnect.png) 0 0 0 0 stretch stretch;"));
    }
    if (!m_deviceEntries.isEmpty()) {
        DeviceInfoUI *entry = m_deviceEntries.first().first;
        entry->state = DeviceInfoUI::Error;
        entry->setState(DeviceInfoUI::Error);
    }
    if (m_plotting)
        runStop(true);
}


void MainDialog::enumerateDevices()
{
    m_haveMatchingSerial = false;
    m_matchingSerial.clear();
    hid_device_info *list = hid_enumerate(m_vid, m_pid);
    for (hid_device_info *d = list; d; d = d->next) {
        if (d->vendor_id == m_vid && d->product_id == m_pid) {
            // A copy: the list is released below.
            m_haveMatchingSerial = true;
            m_matchingSerial = d->serial_number ? d->serial_number : L"";
        }
    }
    hid_free_enumeration(list);
}

void MainDialog::refreshDeviceList()
{
    enumerateDevices();
    ui->device_treeWidget->clear();
    m_deviceEntries.clear();
    if (!m_haveMatchingSerial)
        return;
    // Replaces (and releases) the handle of an earlier connection.
    if (!m_port.open(m_vid, m_pid, m_matchingSerial))
        return;

    const QString manufacturer = m_port.manufacturer();
    const QString product = m_port.product();
    const QString serial = m_port.serialNumber();

    auto *entry = new DeviceInfoUI;
    const ProductInfo info = parseProductString(product);
    m_modelWord = info.modelWord;
    m_versionWord = info.versionWord;
    if (const std::optional<bool> visible = motorGroupVisible(m_modelWord))
        ui->settings_groupBox_k4_motor->setVisible(*visible);

    entry->setModel(m_modelWord);
    if (!info.versionWord.isEmpty())
        entry->setVersion(info.versionWord);
    entry->setType(manufacturer);
    m_serialPrefix = ::serialPrefix(serial);
    entry->setSerial(m_serialPrefix);
    entry->state = DeviceInfoUI::Connect;
    entry->setState(DeviceInfoUI::Connect);

    auto *item = new QTreeWidgetItem;
    ui->device_treeWidget->addTopLevelItem(item);
    ui->device_treeWidget->setItemWidget(item, 0, entry);
    m_deviceEntries.append(qMakePair(entry, m_matchingSerial));

    if (!m_plotting) {
        // The meter that was pulled out is back: its run goes on.
        if (m_runResumable && !m_runSerial.empty() && m_runSerial == m_matchingSerial)
            resumeRun();
        else
            runStart();
    }
}

// ---------------------------------------------------------------- dashboard

void MainDialog::dashboardTick()
{
    if (!m_port.isOpen())
        return;
    // Every report waiting is decoded in order, so the display never lags
    // behind a meter that sends more than one report a second.
    int reports = 0;
    while (reports < kMaxReportsPerTick && m_port.readReport(m_reportBuffer) == 64) {
        if (reports == 0)
            ui->disp_labDevTiT->setText(Dashboard::deviceTitle(m_modelWord, m_serialPrefix));
        parse_report(m_reportBuffer, 64);
        ++reports;
    }
    if (reports > 0)
        showReading();
}

void MainDialog::showReading()
{
    const MeterReading &r = meterReading();
    const QString volt = Dashboard::bigValueText(r.vbus);
    const QString curr = Dashboard::bigValueText(r.ibus);
    const QString cpu = Dashboard::temperatureText(r.cpu_temp);
    ui->disp_label_VOLT->setText(volt);
    ui->disp_label_CURR->setText(curr);
    ui->disp_label_POWE->setText(Dashboard::bigValueText(r.power));
    ui->disp_label_DP_VALUE->setText(Dashboard::smallValueText(r.pd));
    ui->disp_label_DM_VALUE->setText(Dashboard::smallValueText(r.pm));
    ui->disp_label_CC1_VALUE->setText(Dashboard::smallValueText(r.cc1));
    ui->disp_label_CC2_VALUE->setText(Dashboard::smallValueText(r.cc2));
    ui->disp_label_CPU_VALUE->setText(cpu);
    ui->disp_label_cap_value->setText(Dashboard::smallValueText(r.capacity));
    ui->disp_label_ele_value->setText(Dashboard::smallValueText(r.energy));

    if (const std::optional<QString> style = Dashboard::directionStyle(r.direction))
        ui->disp_label_ImageDir->setStyleSheet(*style);

    setBar(ui->progressBar_VBUS, r.vbus, Dashboard::kVbusFullScale, "rgb(85, 255, 0)");
    setBar(ui->progressBar_IBUS, r.ibus, Dashboard::kIbusFullScale, "rgb(0, 240, 244)");
    setBar(ui->progressBar_Power, r.power, Dashboard::kPowerFullScale, "rgb(255, 217, 25)");

    ui->settings_lab_voltvalue->setText(volt);
    ui->settings_lab_currvalue->setText(curr);
    ui->settings_lab_tempvalue->setText(cpu);

    if (settingsReportReceived()) {
        settingsReportReceived() = false;
        showMeterSettings();
    }

    if (const std::optional<int> choice = Dashboard::minCurrentChoice(r.min_current)) {
        QPushButton *buttons[3] = {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma};
        selectButton(buttons[*choice], {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma});
    }

    ui->disp_label_VBUS_Tips->setText(Dashboard::showsFloatingInputTip(r.vbus)
                                          ? tr("(输入悬空时有感应电压是正常现象)")
                                          : QStringLiteral(" "));
}

void MainDialog::showMeterSettings()
{
    const MeterReading &r = meterReading();
    const QString volt = QString::number(r.volt_cali, 'f', 3);
    const QString curr = QString::number(r.curr_cali, 'f', 3);
    const QString temp = QString::number(r.temp_cali, 'f', 3);

    const bool compact = isCompactFamily(m_modelWord);
    QPushButton *cn = compact ? ui->settings_btn_CN_k4 : ui->settings_btn_CN;
    QPushButton *en = compact ? ui->settings_btn_EN_k4 : ui->settings_btn_EN;
    QPushButton *on = compact ? ui->settings_btn_M_open_k4 : ui->settings_btn_G_open;
    QPushButton *off = compact ? ui->settings_btn_M_close_k4 : ui->settings_btn_G_close;
    QSlider *workLight = compact ? ui->settings_slider_worklight_k4 : ui->settings_slider_worklight;

    if (r.language == 0)
        selectButton(cn, {cn, en});
    else if (r.language == 1)
        selectButton(en, {cn, en});
    workLight->setValue(r.work_light);
    if (r.switch_state == 1)
        selectButton(on, {on, off});
    else if (r.switch_state == 0)
        selectButton(off, {on, off});

    ui->settings_slider_standlight->setValue(r.standby_light);
    ui->settings_slider_standtime->setValue(r.standby_time);
    QPushButton *styles[3] = {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3};
    if (r.standby_style >= 1 && r.standby_style <= 3)
        selectButton(styles[r.standby_style - 1], {styles[0], styles[1], styles[2]});

    ui->settings_lab_califact_voltvalue->setText(volt);
    ui->settings_lab_califact_currvalue->setText(curr);
    ui->settings_lab_califact_tempvalue->setText(temp);
}
