#include "charts/customcoordinates.h"

#include "ui_customcoordinates.h"

#include "base/setting.h"

#include <QDoubleValidator>
#include <QEvent>

namespace {

const char kOnStyle[] =
    "QPushButton{background-color:rgb(62, 62, 62); color: rgb(217, 102, 255);border:2px groove green;"
    "border-radius:10px;padding:2px 4px;border-style: outset;} QPushButton:hover{background-color:rgb(62, 62, 62); "
    "color: rgb(217, 102, 255);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: outset;}"
    "QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";
const char kOffStyle[] =
    "QPushButton{background-color: rgb(62, 62, 62);border-radius: 5px;color: rgb(255, 255, 255);border:2px groove "
    "gray;border-radius:10px;padding:2px 4px;border-style: outset;} QPushButton:hover{background-color:rgb(62, 62, "
    "62); color: rgb(217, 102, 255);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: "
    "outset;}QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";

} // namespace

customcoordinates::customcoordinates(CustomRanges &ranges, QWidget *parent)
    : QWidget(parent), ui(new Ui::customcoordinates), m_ranges(ranges)
{
    ui->setupUi(this);
    QLineEdit *mins[kChannelCount] = {ui->edit_VBUS_Min, ui->edit_IBUS_Min, ui->edit_POWER_Min, ui->edit_PD_Min,
                                      ui->edit_PM_Min,   ui->edit_CC1_Min,  ui->edit_CC2_Min,   ui->edit_CPU_Min};
    QLineEdit *maxs[kChannelCount] = {ui->edit_VBUS_Max, ui->edit_IBUS_Max, ui->edit_POWER_Max, ui->edit_PD_Max,
                                      ui->edit_PM_Max,   ui->edit_CC1_Max,  ui->edit_CC2_Max,   ui->edit_CPU_Max};
    QPushButton *toggles[kChannelCount] = {ui->btn_VBUS, ui->btn_IBUS, ui->btn_POWER, ui->btn_PD,
                                           ui->btn_PM,   ui->btn_CC1,  ui->btn_CC2,   ui->btn_CPU};
    for (int c = 0; c < kChannelCount; ++c) {
        m_minEdits[c] = mins[c];
        m_maxEdits[c] = maxs[c];
        m_toggles[c] = toggles[c];
        for (QLineEdit *edit : {mins[c], maxs[c]}) {
            auto *validator = new QDoubleValidator(0, CustomRanges::top(c), CustomRanges::decimals(c), edit);
            // Always '.', whatever the system's locale: the file holds it so.
            validator->setLocale(QLocale::c());
            validator->setNotation(QDoubleValidator::StandardNotation);
            edit->setValidator(validator);
        }
    }

    for (int c = 0; c < kChannelCount; ++c) {
        m_minEdits[c]->setText(CustomRanges::boundText(c, m_ranges.min[c]));
        m_maxEdits[c]->setText(CustomRanges::boundText(c, m_ranges.max[c]));
        showToggle(c);
    }
}

customcoordinates::~customcoordinates()
{
    delete ui;
}

void customcoordinates::showToggle(int channel)
{
    QPushButton *b = m_toggles[channel];
    b->setText(m_ranges.on[channel] ? tr("启用") : tr("关闭"));
    b->setStyleSheet(QLatin1String(m_ranges.on[channel] ? kOnStyle : kOffStyle));
}

void customcoordinates::boundEdited(int channel, bool isMax)
{
    QLineEdit *edit = isMax ? m_maxEdits[channel] : m_minEdits[channel];
    float &bound = isMax ? m_ranges.max[channel] : m_ranges.min[channel];
    bound = QLocale::c().toFloat(edit->text());
    Setting().write(isMax ? CustomRanges::maxKey(channel) : CustomRanges::minKey(channel),
                    CustomRanges::boundText(channel, bound));
    if (m_ranges.on[channel])
        emit RangChang_signal();
}

void customcoordinates::toggle(int channel)
{
    m_ranges.on[channel] = !m_ranges.on[channel];
    Setting().write(CustomRanges::flagKey(channel), QLatin1String(m_ranges.on[channel] ? "1" : "0"));
    showToggle(channel);
    emit RangChang_signal();
}

void customcoordinates::on_btn_CLOS_SET_clicked()
{
    hide();
}

void customcoordinates::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        // The form's texts in the new language; the toggles keep showing
        // their real state and the window keeps its own title.
        ui->retranslateUi(this);
        setWindowTitle(tr("Custom Axis"));
        for (int c = 0; c < kChannelCount; ++c)
            showToggle(c);
    }
    QWidget::changeEvent(event);
}
