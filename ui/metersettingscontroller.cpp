// The two meter settings pages.
#include "ui/metersettingscontroller.h"

#include "ui_maindialog.h"

#include "device/commandframe.h"
#include "device/meterport.h"
#include "device/metersettings.h"
#include "ui/dashboard.h"
#include "ui/restyle.h"

namespace {
const MeterSettings::Setting &settingNamed(const char *name)
{
    const MeterSettings::Setting *s = MeterSettings::find(QLatin1String(name));
    Q_ASSERT(s);
    return *s;
}
} // namespace

MeterSettingsController::MeterSettingsController(Ui::MainDialog *form, MeterPort &port, QObject *parent)
    : QObject(parent), ui(form), m_port(port)
{
    // A group of buttons, one choice each: the selected one shows it.
    auto group = [this](std::initializer_list<std::pair<QPushButton *, const char *>> buttons, const char *name,
                        bool compact) {
        const std::vector<std::pair<QPushButton *, const char *>> all(buttons);
        for (const auto &b : all) {
            connect(b.first, &QPushButton::clicked, this, [this, all, b, name, compact] {
                for (const auto &other : all)
                    restyle(other.first, QLatin1String(other.first == b.first ? Dashboard::kSelectedStyle
                                                                               : Dashboard::kUnselectedStyle));
                sendSetting(name, QLatin1String(b.second), compact);
            });
        }
    };
    auto action = [this](QPushButton *button, const char *name, bool compact) {
        connect(button, &QPushButton::clicked, this, [this, name, compact] { sendSetting(name, QString(), compact); });
    };
    auto slider = [this](QSlider *s, QLabel *label, const char *name, bool compact) {
        connect(s, &QSlider::valueChanged, this, [this, label, name, compact](int position) {
            label->setText(QString::number(position));
            sendSetting(name, QString::number(position), compact);
        });
    };
    auto calibration = [this](QSlider *s, QLabel *factor, const char *name) {
        connect(s, &QSlider::valueChanged, this, [this, factor, name](int value) { sendCalibration(name, value, factor); });
    };

    // The full page.
    group({{ui->settings_btn_CN, "zh"}, {ui->settings_btn_EN, "en"}}, "language", false);
    slider(ui->settings_slider_worklight, ui->settings_label_worklight, "brightness", false);
    slider(ui->settings_slider_standlight, ui->settings_label_standlight, "standby-brightness", false);
    slider(ui->settings_slider_standtime, ui->settings_label_standtime, "standby-time", false);
    group({{ui->settings_btn_style1, "1"}, {ui->settings_btn_style2, "2"}, {ui->settings_btn_style3, "original"}},
          "standby-style", false);
    action(ui->settings_btn_clearcurrent, "clear-current", false);
    action(ui->settings_btn_factory_reset, "factory-reset", false);
    action(ui->settings_btn_datazero, "zero", false);
    calibration(ui->settings_slider_voltcali, ui->settings_lab_califact_voltvalue, "calibration-voltage");
    calibration(ui->settings_slider_currcali, ui->settings_lab_califact_currvalue, "calibration-current");
    calibration(ui->settings_slider_tempcali, ui->settings_lab_califact_tempvalue, "calibration-temperature");
    group({{ui->settings_btn_0A, "0"}, {ui->settings_btn_10ma, "10"}, {ui->settings_btn_20ma, "20"}}, "min-current",
          false);
    group({{ui->settings_btn_G_open, "on"}, {ui->settings_btn_G_close, "off"}}, "switch", false);

    // The compact page.
    group({{ui->settings_btn_CN_k4, "zh"}, {ui->settings_btn_EN_k4, "en"}}, "language", true);
    slider(ui->settings_slider_worklight_k4, ui->settings_label_worklight_k4, "brightness", true);
    group({{ui->settings_btn_M_open_k4, "on"}, {ui->settings_btn_M_close_k4, "off"}}, "switch", true);
    action(ui->settings_btn_clearcurrent_k4, "clear-current", true);
    action(ui->settings_btn_datazero_k4, "zero", true);

    applyRanges();
}

void MeterSettingsController::selectButton(QPushButton *chosen, std::initializer_list<QPushButton *> group)
{
    for (QPushButton *b : group)
        restyle(b, QLatin1String(b == chosen ? Dashboard::kSelectedStyle : Dashboard::kUnselectedStyle));
}

void MeterSettingsController::applyRanges()
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

void MeterSettingsController::sendSetting(const char *name, const QString &value, bool compact)
{
    if (!m_port.isOpen())
        return;
    const QByteArray frame = MeterSettings::frame(settingNamed(name), value, compact, nullptr);
    if (!frame.isEmpty())
        m_port.usb_send(frame.constData(), frame.size());
}

void MeterSettingsController::sendCalibration(const char *name, int value, QLabel *factor)
{
    const float f = CommandFrame::calibrationFactor(value);
    factor->setText(QString::number(double(f), 'f', 3));
    sendSetting(name, QString::number(value / 1000.0, 'f', 3), false);
}
