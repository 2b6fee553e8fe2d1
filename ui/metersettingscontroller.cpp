// The two meter settings pages.
#include "ui/metersettingscontroller.h"

#include "device/commandframe.h"
#include "device/meterport.h"
#include "device/metersettings.h"
#include "ui/dashboard.h"
#include "ui/restyle.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {
const MeterSettings::Setting &settingNamed(const char *name)
{
    const MeterSettings::Setting *s = MeterSettings::find(QLatin1String(name));
    Q_ASSERT(s);
    return *s;
}

// A control of a page, by its name.
template <typename Control>
Control *on(QWidget *page, const char *name)
{
    auto *control = page->findChild<Control *>(QLatin1String(name));
    Q_ASSERT(control);
    return control;
}
} // namespace

MeterSettingsController::MeterSettingsController(QWidget *fullPage, QWidget *compactPage, MeterPort &port,
                                                 QObject *parent)
    : QObject(parent), m_full(fullPage), m_compact(compactPage), m_port(port)
{
    // A group of buttons, one choice each: the selected one shows it.
    auto group = [this](std::initializer_list<std::pair<const char *, const char *>> buttons, const char *name,
                        bool compact) {
        std::vector<std::pair<QPushButton *, const char *>> all;
        for (const auto &[button, value] : buttons)
            all.emplace_back(on<QPushButton>(compact ? m_compact : m_full, button), value);
        for (const auto &b : all) {
            connect(b.first, &QPushButton::clicked, this, [this, all, b, name, compact] {
                for (const auto &other : all)
                    restyle(other.first, QLatin1String(other.first == b.first ? Dashboard::kSelectedStyle
                                                                               : Dashboard::kUnselectedStyle));
                sendSetting(name, QLatin1String(b.second), compact);
            });
        }
    };
    auto action = [this](const char *button, const char *name, bool compact) {
        connect(on<QPushButton>(compact ? m_compact : m_full, button), &QPushButton::clicked, this, [this, name, compact] { sendSetting(name, QString(), compact); });
    };
    auto slider = [this](const char *control, const char *shown, const char *name, bool compact) {
        QWidget *page = compact ? m_compact : m_full;
        auto *label = on<QLabel>(page, shown);
        connect(on<QSlider>(page, control), &QSlider::valueChanged, this, [this, label, name, compact](int position) {
            label->setText(QString::number(position));
            sendSetting(name, QString::number(position), compact);
        });
    };
    auto calibration = [this](const char *control, const char *shown, const char *name) {
        auto *factor = on<QLabel>(m_full, shown);
        connect(on<QSlider>(m_full, control), &QSlider::valueChanged, this, [this, factor, name](int value) { sendCalibration(name, value, factor); });
    };

    // The full page.
    group({{"settings_btn_CN", "zh"}, {"settings_btn_EN", "en"}}, "language", false);
    slider("settings_slider_worklight", "settings_label_worklight", "brightness", false);
    slider("settings_slider_standlight", "settings_label_standlight", "standby-brightness", false);
    slider("settings_slider_standtime", "settings_label_standtime", "standby-time", false);
    group({{"settings_btn_style1", "1"}, {"settings_btn_style2", "2"}, {"settings_btn_style3", "original"}},
          "standby-style", false);
    action("settings_btn_clearcurrent", "clear-current", false);
    action("settings_btn_factory_reset", "factory-reset", false);
    action("settings_btn_datazero", "zero", false);
    calibration("settings_slider_voltcali", "settings_lab_califact_voltvalue", "calibration-voltage");
    calibration("settings_slider_currcali", "settings_lab_califact_currvalue", "calibration-current");
    calibration("settings_slider_tempcali", "settings_lab_califact_tempvalue", "calibration-temperature");
    group({{"settings_btn_0A", "0"}, {"settings_btn_10ma", "10"}, {"settings_btn_20ma", "20"}}, "min-current",
          false);
    group({{"settings_btn_G_open", "on"}, {"settings_btn_G_close", "off"}}, "switch", false);

    // The compact page.
    group({{"settings_btn_CN_k4", "zh"}, {"settings_btn_EN_k4", "en"}}, "language", true);
    slider("settings_slider_worklight_k4", "settings_label_worklight_k4", "brightness", true);
    group({{"settings_btn_M_open_k4", "on"}, {"settings_btn_M_close_k4", "off"}}, "switch", true);
    action("settings_btn_clearcurrent_k4", "clear-current", true);
    action("settings_btn_datazero_k4", "zero", true);

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
    on<QSlider>(m_full, "settings_slider_worklight")->setRange(brightness.minimum, brightness.maximum);
    on<QSlider>(m_compact, "settings_slider_worklight_k4")->setRange(brightness.compactMinimum, brightness.compactMaximum);
    const MeterSettings::Setting &standbyLight = settingNamed("standby-brightness");
    on<QSlider>(m_full, "settings_slider_standlight")->setRange(standbyLight.minimum, standbyLight.maximum);
    const MeterSettings::Setting &standbyTime = settingNamed("standby-time");
    on<QSlider>(m_full, "settings_slider_standtime")->setRange(standbyTime.minimum, standbyTime.maximum);
    // The calibration sliders hold the factor in thousandths.
    for (const char *name : {"settings_slider_voltcali", "settings_slider_currcali", "settings_slider_tempcali"})
        on<QSlider>(m_full, name)->setRange(500, 2000);
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
