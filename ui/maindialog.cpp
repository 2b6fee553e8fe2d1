#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/benchstrip.h"
#include "ui/devicelist.h"
#include "ui/exportcontroller.h"

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
#include "ui/framelesswindow.h"
#include "ui/livechartcontroller.h"
#include "ui/measurecontroller.h"
#include "ui/metersettingscontroller.h"
#include "ui/upgradecontroller.h"
#include "ui/runhistorycontroller.h"
#include "ui/prompts.h"
#include "outputs/liveoutputs.h"
#include "recording/runsession.h"
#include "recording/runtimeline.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
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

} // namespace

MainDialog::MainDialog(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::MainDialog)
{
    // Frameless and translucent before the form exists: changing the flags
    // of a window re-polishes every widget it holds.
    setWindowFlags(Qt::WindowFlags(0xE800));
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    ui->setupUi(this);
    initRun();
    m_devices = new DeviceList(ui->device_treeWidget, m_port, m_vid, m_pid, this);
    new MeterSettingsController(ui->page_settings, ui->page_settings_k4, m_port, this);
    // A bench's meters in a row below the dashboard's title while it records.
    m_benchStrip = new BenchStrip(Qt::Horizontal, false, ui->page_disp);
    m_benchStrip->setGeometry(60, 31, 780, 18);
    m_benchStrip->setStyleSheet(QStringLiteral("QLabel { color: white; font-size: 11px; }"));
    initForm();
    // A settings file that could not be taken is told on the tip line.
    showAccessTip();

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

    // The degree Celsius sign of the temperature units: the interface
    // font's stand-in on Linux lists it but draws it blank.
    for (QLabel *unit : {ui->disp_label_CPU_unit, ui->disp_label_NTC_DEGREE, ui->settings_groupBox_10_lab_unit}) {
        QFont font = unit->font();
        font.setFamily(QStringLiteral("DejaVu Sans"));
        unit->setFont(font);
    }

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
        connect(b, &QToolButton::clicked, this, [this, b] { openHomePage(b->text()); });
    }
    retranslateHomeButtons();

    IconHelper::instance()->setIcon(ui->disp_btnReturn, QChar(kGlyphReturn), 16);

    std::srand(static_cast<unsigned>(QTime(0, 0).secsTo(QTime::currentTime())));

    // Built before the worker's first open attempt, so a meter already
    // plugged in starts its run on a chart that exists.
    m_chart = new LiveChartController({ui->disap_gridLayout, ui->disp_btn_dp_dm, ui->disp_btn_cc1_cc2, ui->disp_btn_temp,
                                       ui->disp_btn_title, ui->widget},
                                      readingLog(), [this] { return timeline().now(); }, this);
    m_exports = new ExportController(this, chartView(), this);
    // The journal opens once the window is on the screen; a run begun before
    // (a meter already plugged in) is kept in it from its first record.
    m_session->openAfterFirstPaint(this);
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

    m_upgrade = new UpgradeController({ui->upgrade_lineEdit_filename, ui->upgrade_label_fwsizevalue,
                                       ui->upgrade_progressBar_fw, ui->upgrade_pushButton_openfile,
                                       ui->upgrade_pushButton_start, ui->upgrade_text_log},
                                      m_worker, [this] { return timeline().wallNow(); }, [this] {
        m_requestState = 2;
        chartTick();
    }, this);

    // Started together, the two ticks come in the same pass, the dashboard's
    // first: the chart records the reading just read, and the window is
    // repainted once a second for both.
    m_dashboardTimer.start(1000);
    m_chartTimer.start(1000);
    connect(&m_chartTimer, &QTimer::timeout, this, &MainDialog::chartTick);
}

MainDialog::~MainDialog()
{
    stopWorker();
    // A run that goes on ends with the window; one that waits for its meter
    // ends as unplugged.
    m_session->run().stop();
    delete m_outputs;
    m_measure->setChart(liveChart()->chart());
    delete m_history;
    delete m_chart;
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
    m_frame = new FramelessWindow(this, ui->widgetTitle);
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
    m_chart->closeCustomAxis();
    QDialog::closeEvent(event);
}

void MainDialog::keyPressEvent(QKeyEvent *event)
{
    // Esc clears the chart's cursors; it never ends the program, and with
    // it a recording.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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

void MainDialog::openUpgradePage(const QString &title)
{
    openPage(1, ui->upgrade_labTitle, ui->upgrade_btnReturn, title);
    m_upgrade->resetProgress();
}

void MainDialog::openSettingsPage(const QString &title)
{
    if (isCompactFamily(m_devices->modelWord()))
        openPage(7, ui->settings_labTitle_k4, ui->settings_btnReturn_k4, title);
    else
        openPage(3, ui->settings_labTitle, ui->settings_btnReturn, title);
    usb_send_code(Cmd::SettingsEnter);
    usb_send_code(Cmd::PageSettings);
}

void MainDialog::openHomePage(const QString &text)
{
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

void MainDialog::on_btnMenu_Max_clicked()
{
    m_frame->toggleMaximised();
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
