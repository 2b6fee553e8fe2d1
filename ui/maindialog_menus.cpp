// The data menu (exports, curve settings, display modes), the language menu,
// and switching the interface between Chinese and English.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/devicelist.h"

#include "ui/capacitycontroller.h"
#include "ui/exportcontroller.h"
#include "ui/iconhelper.h"
#include "recording/runsession.h"
#include "meterbench/benchrecording.h"
#include "ui/benchdialog.h"
#include "ui/benchstrip.h"
#include "ui/liveoutputsdialog.h"
#include "ui/measurecontroller.h"
#include "ui/storedrunbar.h"
#include "base/setting.h"
#include "charts/chartview.h"
#include "ui/deviceinfoui.h"
#include "outputs/liveoutputs.h"
#include "ui/prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace {

struct MenuEntry {
    const char *text;
    const char *icon;   // null: none
    const char *slot;   // null: does nothing
};

QIcon menuIcon(const char *path)
{
    return QIcon(QPixmap(QLatin1String(path)).scaled(100, 100, Qt::IgnoreAspectRatio));
}

const char kNoMenuIndicator[] = "QPushButton::menu-indicator{image:none}";

} // namespace

void MainDialog::attachMenu(QPushButton *button, QMenu *menu, QPointer<QMenu> &current)
{
    button->setMenu(menu);
    // The menu this one replaces goes, with its actions.
    if (current)
        current->deleteLater();
    current = menu;
    button->setStyleSheet(QLatin1String(kNoMenuIndicator));
    Prompts::popupMenu(menu, QCursor::pos());
}

void MainDialog::on_disp_btn_menu_clicked()
{
    static const MenuEntry entries[] = {
        {QT_TR_NOOP("导出数据(.csv)"), ":/sys/rs/rs/ExportData.png", SLOT(onAct1Clicked_Slot())},
        {QT_TR_NOOP("导出图片(.png)"), ":/sys/rs/rs/ExportImage.png", SLOT(onAct2Clicked_Slot())},
        {QT_TR_NOOP("曲线设置"), ":/sys/rs/rs/MoreSettings.png", SLOT(onAct3Clicked_Slot())},
        {QT_TR_NOOP("累计图显"), ":/sys/rs/rs/AccuGrpDisp.png", SLOT(onAct4Clicked_Slot())},
        {QT_TR_NOOP("滚动图显"), ":/sys/rs/rs/ScrollDisp.png", SLOT(onAct5Clicked_Slot())},
        {QT_TR_NOOP("历史记录"), ":/sys/rs/rs/MoreSettings.png", SLOT(onRunHistory_Slot())},
        {QT_TR_NOOP("实时输出"), ":/sys/rs/rs/MoreSettings.png", SLOT(onLiveOutputs_Slot())},
        {QT_TR_NOOP("工作台"), ":/sys/rs/rs/MoreSettings.png", SLOT(onBench_Slot())},
        {QT_TR_NOOP("开发中..."), nullptr, nullptr},
    };
    auto *menu = new QMenu(this);
    for (const MenuEntry &e : entries) {
        auto *action = new QAction(tr(e.text), menu);
        if (e.icon)
            action->setIcon(menuIcon(e.icon));
        if (e.slot)
            connect(action, SIGNAL(triggered()), this, e.slot);
        menu->addAction(action);
    }
    attachMenu(ui->disp_btn_menu, menu, m_dataMenu);
}

void MainDialog::onLiveOutputs_Slot()
{
    LiveOutputsDialog::open(m_outputs, this);
}

void MainDialog::onBench_Slot()
{
    BenchDialog *dialog = BenchDialog::open(this, [this] { return m_session->storedRunId(); });
    connect(dialog, &BenchDialog::benchChanged, m_benchStrip, &BenchStrip::attach, Qt::UniqueConnection);
}

void MainDialog::on_btnMenu_Menu_clicked()
{
    auto *menu = new QMenu(this);
    auto *chinese = new QAction(tr("简体中文"), menu);
    chinese->setIcon(menuIcon(":/sys/rs/rs/cn_en.png"));
    connect(chinese, SIGNAL(triggered()), this, SLOT(onS_Act1Clicked_Slot()));
    auto *english = new QAction(tr("English"), menu);
    connect(english, SIGNAL(triggered()), this, SLOT(onS_Act2Clicked_Slot()));
    menu->addAction(chinese);
    menu->addAction(english);
    attachMenu(ui->btnMenu_Menu, menu, m_languageMenu);
}

// ---------------------------------------------------------------- exports

void MainDialog::onAct1Clicked_Slot()
{
    m_exports->exportCsv(readingLog(), m_devices->modelWord());
}

void MainDialog::onAct2Clicked_Slot()
{
    m_exports->exportPicture();
}

// ---------------------------------------------------------------- language

void MainDialog::onS_Act1Clicked_Slot()
{
    if (m_english)
        showLanguage(false);
    Setting().write(QStringLiteral("language"), QStringLiteral("Chinese"));
}

void MainDialog::onS_Act2Clicked_Slot()
{
    if (!m_english)
        showLanguage(true);
    Setting().write(QStringLiteral("language"), QStringLiteral("English"));
}

void MainDialog::showLanguage(bool english)
{
    m_english = english;
    if (english) {
        m_translator->load(QStringLiteral(":/Language/lib_en.qm"));
        qApp->installTranslator(m_translator);
    } else {
        qApp->removeTranslator(m_translator);
    }

    // The chart title is the user's text, not the form's.
    const QString chartTitle = ui->disp_btn_title->text();
    ui->retranslateUi(this);
    ui->disp_btn_title->setText(chartTitle);

    for (QToolButton *b : m_homeButtons) {
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(100, 70));
    }
    retranslateHomeButtons();
    m_measure->retranslate();
    m_capacity->retranslate();
    if (m_outputs)
        m_outputs->retranslate();
    if (m_storedBar)
        m_storedBar->retranslate();
    ui->device_treeWidget->setHeaderLabels(QStringList() << tr("设备列表"));
    showAccessTip();

    IconHelper *icons = IconHelper::instance();
    icons->setIcon(ui->btnReturn, QChar(0xF073), 16);
    for (QPushButton *b : {ui->disp_btnReturn, ui->settings_btnReturn, ui->four_btnReturn, ui->five_btnReturn,
                           ui->six_btnReturn, ui->upgrade_btnReturn})
        icons->setIcon(b, QChar(0xF122), 16);
    icons->setIcon(ui->title_icon_label, QChar(0xF2D5), 30);
    icons->setIcon(ui->btnMenu_Min, QChar(0xF068), 9);
    icons->setIcon(ui->btnMenu_Max, QChar(0xF2D0), 9);
    icons->setIcon(ui->btnMenu_Close, QChar(0xF00D), 9);
    icons->setIcon(ui->btnMenu_Menu, QChar(0xF150), 9);

    m_devices->retranslate();

    // Menus are built in the language of their moment: the next press builds
    // them anew.
    ui->disp_btn_menu->setMenu(nullptr);
    ui->btnMenu_Menu->setMenu(nullptr);
}
