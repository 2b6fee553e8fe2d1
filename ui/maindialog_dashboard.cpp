// The dashboard: the reports read once a second and the reading shown on the
// display and settings pages.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/devicelist.h"

#include "ui/metersettingscontroller.h"

#include "ui/iconhelper.h"
#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/commandframe.h"
#include "ui/deviceinfoui.h"
#include "device/meterfeed.h"
#include "device/meterreading.h"
#include "device/productinfo.h"
#include "device/usbthread.h"
#include "ui/dashboard.h"
#include "ui/measurecontroller.h"
#include "ui/runhistorycontroller.h"
#include "ui/prompts.h"
#include "ui/restyle.h"
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

void setBar(QProgressBar *bar, double value, double fullScale, const char *colour)
{
    const Dashboard::Bar level = Dashboard::barLevel(value, fullScale);
    restyle(bar, Dashboard::barStyle(QLatin1String(colour), level.overRange));
    bar->setValue(level.value);
}

} // namespace

void MainDialog::dashboardTick()
{
    // Every report waiting is decoded in order, so the display never lags
    // behind a meter that sends more than one report a second.
    const MeterFeed::Drained drained = m_feed.drain();
    if (drained.reports == 0)
        return;
    ui->disp_labDevTiT->setText(Dashboard::deviceTitle(m_devices->modelWord(), m_devices->serialPrefix()));
    showReading(drained.settings);
}

void MainDialog::showReading(bool settingsArrived)
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
        restyle(ui->disp_label_ImageDir, *style);

    setBar(ui->progressBar_VBUS, r.vbus, Dashboard::kVbusFullScale, "rgb(85, 255, 0)");
    setBar(ui->progressBar_IBUS, r.ibus, Dashboard::kIbusFullScale, "rgb(0, 240, 244)");
    setBar(ui->progressBar_Power, r.power, Dashboard::kPowerFullScale, "rgb(255, 217, 25)");

    ui->settings_lab_voltvalue->setText(volt);
    ui->settings_lab_currvalue->setText(curr);
    ui->settings_lab_tempvalue->setText(cpu);

    if (settingsArrived)
        showMeterSettings();

    if (const std::optional<int> choice = Dashboard::minCurrentChoice(r.min_current)) {
        QPushButton *buttons[3] = {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma};
        MeterSettingsController::selectButton(buttons[*choice], {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma});
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

    const bool compact = isCompactFamily(m_devices->modelWord());
    QPushButton *cn = compact ? ui->settings_btn_CN_k4 : ui->settings_btn_CN;
    QPushButton *en = compact ? ui->settings_btn_EN_k4 : ui->settings_btn_EN;
    QPushButton *on = compact ? ui->settings_btn_M_open_k4 : ui->settings_btn_G_open;
    QPushButton *off = compact ? ui->settings_btn_M_close_k4 : ui->settings_btn_G_close;
    QSlider *workLight = compact ? ui->settings_slider_worklight_k4 : ui->settings_slider_worklight;

    if (r.language == 0)
        MeterSettingsController::selectButton(cn, {cn, en});
    else if (r.language == 1)
        MeterSettingsController::selectButton(en, {cn, en});
    workLight->setValue(r.work_light);
    if (r.switch_state == 1)
        MeterSettingsController::selectButton(on, {on, off});
    else if (r.switch_state == 0)
        MeterSettingsController::selectButton(off, {on, off});

    ui->settings_slider_standlight->setValue(r.standby_light);
    ui->settings_slider_standtime->setValue(r.standby_time);
    QPushButton *styles[3] = {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3};
    if (r.standby_style >= 1 && r.standby_style <= 3)
        MeterSettingsController::selectButton(styles[r.standby_style - 1], {styles[0], styles[1], styles[2]});

    ui->settings_lab_califact_voltvalue->setText(volt);
    ui->settings_lab_califact_currvalue->setText(curr);
    ui->settings_lab_califact_tempvalue->setText(temp);
}
