// The two meter settings pages: every control writes its command frame on
// the dialog handle (when it is open) and shows its own state at once.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "device/commandframe.h"

void MainDialog::choose(QPushButton *chosen, std::initializer_list<QPushButton *> group, unsigned char code)
{
    selectButton(chosen, group);
    usb_send_code(code);
}

void MainDialog::sendValue(unsigned char code, int value)
{
    if (!m_port.isOpen())
        return;
    const QByteArray frame = CommandFrame::byteFrame(code, value);
    usb_send(frame.constData(), frame.size());
}

void MainDialog::sendCalibration(unsigned char code, int value, QLabel *factor)
{
    const float f = CommandFrame::calibrationFactor(value);
    factor->setText(QString::number(double(f), 'f', 3));
    if (!m_port.isOpen())
        return;
    const QByteArray frame = CommandFrame::floatFrame(code, f);
    usb_send(frame.constData(), frame.size());
}

// ---------------------------------------------------------------- full page

void MainDialog::on_settings_btn_CN_clicked()
{
    choose(ui->settings_btn_CN, {ui->settings_btn_CN, ui->settings_btn_EN}, Cmd::LanguageChinese);
}

void MainDialog::on_settings_btn_EN_clicked()
{
    choose(ui->settings_btn_EN, {ui->settings_btn_CN, ui->settings_btn_EN}, Cmd::LanguageEnglish);
}

void MainDialog::on_settings_slider_worklight_valueChanged(int position)
{
    ui->settings_label_worklight->setText(QString::number(position));
    sendValue(Cmd::WorkLight, position);
}

void MainDialog::on_settings_slider_standlight_valueChanged(int position)
{
    ui->settings_label_standlight->setText(QString::number(position));
    sendValue(Cmd::StandbyLight, position);
}

void MainDialog::on_settings_slider_standtime_valueChanged(int position)
{
    ui->settings_label_standtime->setText(QString::number(position));
    sendValue(Cmd::StandbyTime, position);
}

void MainDialog::on_settings_btn_style1_clicked()
{
    choose(ui->settings_btn_style1, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           Cmd::StandbyStyle1);
}

void MainDialog::on_settings_btn_style2_clicked()
{
    choose(ui->settings_btn_style2, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           Cmd::StandbyStyle2);
}

void MainDialog::on_settings_btn_style3_clicked()
{
    choose(ui->settings_btn_style3, {ui->settings_btn_style1, ui->settings_btn_style2, ui->settings_btn_style3},
           Cmd::StandbyStyleOriginal);
}

void MainDialog::on_settings_btn_clearcurrent_clicked()
{
    usb_send_code(Cmd::ClearCurrent);
}

void MainDialog::on_settings_btn_factory_reset_clicked()
{
    usb_send_code(Cmd::FactoryReset);
}

void MainDialog::on_settings_btn_datazero_clicked()
{
    usb_send_code(Cmd::DataZero);
}

void MainDialog::on_settings_slider_voltcali_valueChanged(int value)
{
    sendCalibration(Cmd::VoltCali, value, ui->settings_lab_califact_voltvalue);
}

void MainDialog::on_settings_slider_currcali_valueChanged(int value)
{
    sendCalibration(Cmd::CurrCali, value, ui->settings_lab_califact_currvalue);
}

void MainDialog::on_settings_slider_tempcali_valueChanged(int value)
{
    sendCalibration(Cmd::TempCali, value, ui->settings_lab_califact_tempvalue);
}

void MainDialog::on_settings_btn_0A_clicked()
{
    choose(ui->settings_btn_0A, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           Cmd::MinCurrent0A);
}

void MainDialog::on_settings_btn_10ma_clicked()
{
    choose(ui->settings_btn_10ma, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           Cmd::MinCurrent10mA);
}

void MainDialog::on_settings_btn_20ma_clicked()
{
    choose(ui->settings_btn_20ma, {ui->settings_btn_0A, ui->settings_btn_10ma, ui->settings_btn_20ma},
           Cmd::MinCurrent20mA);
}

void MainDialog::on_settings_btn_G_open_clicked()
{
    choose(ui->settings_btn_G_open, {ui->settings_btn_G_open, ui->settings_btn_G_close}, Cmd::SwitchOn);
}

void MainDialog::on_settings_btn_G_close_clicked()
{
    choose(ui->settings_btn_G_close, {ui->settings_btn_G_open, ui->settings_btn_G_close}, Cmd::SwitchOff);
}

// ---------------------------------------------------------------- compact page

void MainDialog::on_settings_btn_CN_k4_clicked()
{
    choose(ui->settings_btn_CN_k4, {ui->settings_btn_CN_k4, ui->settings_btn_EN_k4}, Cmd::LanguageChinese);
}

void MainDialog::on_settings_btn_EN_k4_clicked()
{
    choose(ui->settings_btn_EN_k4, {ui->settings_btn_CN_k4, ui->settings_btn_EN_k4}, Cmd::LanguageEnglish);
}

void MainDialog::on_settings_slider_worklight_k4_valueChanged(int position)
{
    ui->settings_label_worklight_k4->setText(QString::number(position));
    sendValue(Cmd::WorkLight, position);
}

void MainDialog::on_settings_btn_M_open_k4_clicked()
{
    choose(ui->settings_btn_M_open_k4, {ui->settings_btn_M_open_k4, ui->settings_btn_M_close_k4}, Cmd::SwitchOn);
}

void MainDialog::on_settings_btn_M_close_k4_clicked()
{
    choose(ui->settings_btn_M_close_k4, {ui->settings_btn_M_open_k4, ui->settings_btn_M_close_k4}, Cmd::SwitchOff);
}

void MainDialog::on_settings_btn_clearcurrent_k4_clicked()
{
    usb_send_code(Cmd::ClearCurrent);
}

void MainDialog::on_settings_btn_datazero_k4_clicked()
{
    usb_send_code(Cmd::DataZero);
}
