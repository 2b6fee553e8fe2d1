// The two meter settings pages: every control writes its command frame on
// the dialog handle (when it is open) and shows its own state at once. The
// settings, their values, ranges and frames come from the meter-settings
// table the command line's `set` uses too.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "device/commandframe.h"
#include "device/metersettings.h"

namespace {
const MeterSettings::Setting &settingNamed(const char *name)
{
    const MeterSettings::Setting *s = MeterSettings::find(QLatin1String(name));
    Q_ASSERT(s);
    return *s;
}
} // namespace

void MainDialog::applySettingRanges()
{
    const MeterSettings::Setting &brightness = settingNamed("brightness");
    ui->settings_slider_worklight->setRange(brightness.minimum, brightness.maximum);
    ui->settings_slider_worklight_k4->setRange(brightness.compactMinimum, brightness.compactMaximum);
    const MeterSettings::Setting &standbyLight = settingNamed("standby-brightness");
    ui->settings_slider_standlight->setRange(standbyLight.minimum, standbyLight.maximum);
    const MeterSettings::Setting &standbyTime = settingNamed("standby-time");
    ui->settings_slider_standtime->setRange(standbyTime.minimum, standbyTime.maximum);
    // The calibration sliders hold the factor in thousandths.
    for (QSlider *s : {ui->settings_slider_voltcali, ui->settings_slider_currcali, ui->settings_slider_tempcali})
        s->setRange(500, 2000);
}

void MainDialog::sendSetting(const char *name, const QString &value, bool compact)
{
    if (!m_port.isOpen())
        return;
    const QByteArray frame = MeterSettings::frame(settingNamed(name), value, compact, nullptr);
    if (!frame.isEmpty())
        usb_send(frame.constData(), frame.size());
}

void MainDialog::choose(QPushButton *chosen, std::initializer_list<QPushButton *> group, const char *name,
                        const char *word, bool compact)
{
    selectButton(chosen, group);
    sendSetting(name, QLatin1String(word), compact);
}

void MainDialog::sendValue(const char *name, int value, bool compact)
{
    sendSetting(name, QString::number(value), compact);
}

void MainDialog::sendCalibration(const char *name, int value, QLabel *factor)
{
    const float f = CommandFrame::calibrationFactor(value);
    factor->setText(QString::number(double(f), 'f', 3));
    sendSetting(name, QString::number(value / 1000.0, 'f', 3), false);
}

// ---------------------------------------------------------------- full page

void MainDialog::on_settings_btn_CN_clicked()
{
    choose(ui->settings_btn_CN, {ui->settings_btn_CN, ui->settings_btn_EN}, "language", "zh", false);
}

void MainDialog::on_settings_btn_EN_clicked()
{
    choose(ui->settings_btn_EN, {ui->settings_btn_CN, ui->settings_btn_EN}, "language", "en", false);
}

void MainDialog::on_settings_slider_worklight_valueChanged(int position)
{
    ui->settings_label_worklight->setText(QString::number(position));
    sendValue("brightness", position, false);
}

void MainDialog::on_settings_slider_standlight_valueChanged(int position)
{
    ui->settings_label_standlight->setText(QString::number(position));
    sendValue("standby-brightness", position, false);
}

void MainDialog::on_settings_slider_standtime_valueChanged(int position)
{
    ui->settings_label_standtime->setText(QString::number(position));
    sendValue("standby-time", position, false);
}

void MainDialog::on_settings_btn_style1_clicked()
{
    choose(ui->settings_btn_style1, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           "standby-style", "1", false);
}

void MainDialog::on_settings_btn_style2_clicked()
{
    choose(ui->settings_btn_style2, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           "standby-style", "2", false);
}

void MainDialog::on_settings_btn_style3_clicked()
{
    choose(ui->settings_btn_style3, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           "standby-style", "original", false);
}

void MainDialog::on_settings_btn_clearcurrent_clicked()
{
    sendSetting("clear-current", QString(), false);
}

void MainDialog::on_settings_btn_factory_reset_clicked()
{
    sendSetting("factory-reset", QString(), false);
}

void MainDialog::on_settings_btn_datazero_clicked()
{
    sendSetting("zero", QString(), false);
}

void MainDialog::on_settings_slider_voltcali_valueChanged(int value)
{
    sendCalibration("calibration-voltage", value, ui->settings_lab_califact_voltvalue);
}

void MainDialog::on_settings_slider_currcali_valueChanged(int value)
{
    sendCalibration("calibration-current", value, ui->settings_lab_califact_currvalue);
}

void MainDialog::on_settings_slider_tempcali_valueChanged(int value)
{
    sendCalibration("calibration-temperature", value, ui->settings_lab_califact_tempvalue);
}

void MainDialog::on_settings_btn_0A_clicked()
{
    choose(ui->settings_btn_0A, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           "min-current", "0", false);
}

void MainDialog::on_settings_btn_10ma_clicked()
{
    choose(ui->settings_btn_10ma, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           "min-current", "10", false);
}

void MainDialog::on_settings_btn_20ma_clicked()
{
    choose(ui->settings_btn_20ma, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           "min-current", "20", false);
}

void MainDialog::on_settings_btn_G_open_clicked()
{
    choose(ui->settings_btn_G_open, {ui->settings_btn_G_open, ui->settings_btn_G_close}, "switch", "on", false);
}

void MainDialog::on_settings_btn_G_close_clicked()
{
    choose(ui->settings_btn_G_close, {ui->settings_btn_G_open, ui->settings_btn_G_close}, "switch", "off", false);
}

// ---------------------------------------------------------------- compact page

void MainDialog::on_settings_btn_CN_k4_clicked()
{
    choose(ui->settings_btn_CN_k4, {ui->settings_btn_CN_k4, ui->settings_btn_EN_k4}, "language", "zh", true);
}

void MainDialog::on_settings_btn_EN_k4_clicked()
{
    choose(ui->settings_btn_EN_k4, {ui->settings_btn_CN_k4, ui->settings_btn_EN_k4}, "language", "en", true);
}

void MainDialog::on_settings_slider_worklight_k4_valueChanged(int position)
{
    ui->settings_label_worklight_k4->setText(QString::number(position));
    sendValue("brightness", position, true);
}

void MainDialog::on_settings_btn_M_open_k4_clicked()
{
    choose(ui->settings_btn_M_open_k4, {ui->settings_btn_M_open_k4, ui->settings_btn_M_close_k4}, "switch", "on", true);
}

void MainDialog::on_settings_btn_M_close_k4_clicked()
{
    choose(ui->settings_btn_M_close_k4, {ui->settings_btn_M_open_k4, ui->settings_btn_M_close_k4}, "switch", "off", true);
}

void MainDialog::on_settings_btn_clearcurrent_k4_clicked()
{
    sendSetting("clear-current", QString(), true);
}

void MainDialog::on_settings_btn_datazero_k4_clicked()
{
    sendSetting("zero", QString(), true);
}
