#include "ui/capacitypage.h"

#include "base/timetext.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kButtonStyle[] =
    "QPushButton{background-color: rgb(62, 62, 62); color: white; border: 2px groove gray; border-radius: 10px; "
    "padding: 4px 12px; border-style: outset;} QPushButton:hover{color: rgb(255, 255, 0); border: 2px groove "
    "green;} QPushButton:disabled{color: gray;}";

struct Range {
    double min, max;
    int decimals;
};

// Value range of each condition, in s, A, V, Ah and Wh.
const Range kRanges[StopConditions::KindCount] = {
    {1, 1e7, 0}, {0.001, 30, 3}, {0.1, 60, 3}, {0.001, 1e5, 3}, {0.001, 1e6, 3}};

} // namespace

CapacityPage::CapacityPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("six_capacity"));
    setStyleSheet(QStringLiteral("QLabel, QCheckBox{color: white; font: 12pt;} QDoubleSpinBox{font: 12pt;}"));
    auto *column = new QVBoxLayout(this);
    m_title = new QLabel;
    column->addWidget(m_title);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    column->addLayout(grid);
    const char *const names[StopConditions::KindCount] = {"duration", "current", "voltage", "charge", "energy"};
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        m_checks[k] = new QCheckBox;
        m_checks[k]->setObjectName(QStringLiteral("six_check_%1").arg(QLatin1String(names[k])));
        m_values[k] = new QDoubleSpinBox;
        m_values[k]->setObjectName(QStringLiteral("six_value_%1").arg(QLatin1String(names[k])));
        m_values[k]->setRange(kRanges[k].min, kRanges[k].max);
        m_values[k]->setDecimals(kRanges[k].decimals);
        m_values[k]->setMinimumWidth(130);
        m_after[k] = new QLabel;
        grid->addWidget(m_checks[k], k, 0);
        grid->addWidget(m_values[k], k, 1);
        connect(m_checks[k], &QCheckBox::toggled, this, &CapacityPage::conditionsChanged);
        connect(m_values[k], QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &CapacityPage::conditionsChanged);
    }
    m_seconds = new QDoubleSpinBox;
    m_seconds->setObjectName(QStringLiteral("six_value_current_seconds"));
    m_seconds->setRange(1, 86400);
    m_seconds->setDecimals(0);
    m_seconds->setMinimumWidth(110);
    connect(m_seconds, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &CapacityPage::conditionsChanged);
    auto *current = new QHBoxLayout;
    current->addWidget(m_after[StopConditions::CurrentBelow]);
    current->addWidget(m_seconds);
    current->addStretch();
    grid->addLayout(current, StopConditions::CurrentBelow, 2);
    for (int k : {StopConditions::Duration, StopConditions::VoltageBelow, StopConditions::Charge,
                  StopConditions::Energy})
        grid->addWidget(m_after[k], k, 2);
    grid->setColumnStretch(3, 1);

    // The name and fields of the next run, one line each.
    auto *about = new QGridLayout;
    about->setHorizontalSpacing(8);
    for (int f = 0; f < FieldCount; ++f) {
        m_fieldLabels[f] = new QLabel;
        m_fields[f] = new QLineEdit;
        about->addWidget(m_fieldLabels[f], f / 2, (f % 2) * 2);
        about->addWidget(m_fields[f], f / 2, (f % 2) * 2 + 1);
    }
    column->addLayout(about);

    auto *buttons = new QHBoxLayout;
    m_start = new QPushButton;
    m_start->setObjectName(QStringLiteral("six_btn_start"));
    m_stop = new QPushButton;
    m_stop->setObjectName(QStringLiteral("six_btn_stop"));
    for (QPushButton *b : {m_start, m_stop}) {
        b->setStyleSheet(QLatin1String(kButtonStyle));
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumSize(120, 34);
        buttons->addWidget(b);
    }
    m_startNote = new QLabel;
    m_startNote->setObjectName(QStringLiteral("six_label_start_note"));
    m_startNote->setWordWrap(true);
    buttons->addWidget(m_startNote, 1);
    column->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, &CapacityPage::startClicked);
    connect(m_stop, &QPushButton::clicked, this, &CapacityPage::stopClicked);

    m_live = new QLabel;
    m_live->setObjectName(QStringLiteral("six_label_live"));
    m_end = new QLabel;
    m_end->setObjectName(QStringLiteral("six_label_end"));
    m_end->setWordWrap(true);
    m_end->setStyleSheet(QStringLiteral("color: rgb(255, 255, 0); font: 12pt;"));
    m_applies = new QLabel;
    m_applies->setObjectName(QStringLiteral("six_label_applies"));
    m_applies->setWordWrap(true);
    column->addWidget(m_live);
    column->addWidget(m_applies);
    column->addWidget(m_end);
    column->addStretch();

    setConditions(StopConditions());
    showRun(false, 0, IntervalStats());
    retranslate();
}

StopConditions CapacityPage::conditions() const
{
    StopConditions c;
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        auto &condition = c[StopConditions::Kind(k)];
        condition.on = m_checks[k]->isChecked();
        condition.value = m_values[k]->value();
    }
    c[StopConditions::CurrentBelow].seconds = m_seconds->value();
    return c;
}

void CapacityPage::setConditions(const StopConditions &conditions)
{
    const QSignalBlocker quiet(this);
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        const auto &condition = conditions[StopConditions::Kind(k)];
        m_checks[k]->setChecked(condition.on);
        m_values[k]->setValue(condition.value);
    }
    m_seconds->setValue(conditions[StopConditions::CurrentBelow].seconds);
}

QString CapacityPage::elapsedText(qint64 ms)
{
    return TimeText::duration(ms);
}

void CapacityPage::showRun(bool running, qint64 elapsedMs, const IntervalStats &total, bool armed, int records)
{
    m_running = running;
    m_elapsedMs = elapsedMs;
    m_total = total;
    m_armed = armed;
    m_records = records;
    m_stop->setEnabled(running);
    m_live->setText(tr("已运行 %1    电量 %2 Ah    能量 %3 Wh")
                        .arg(elapsedText(elapsedMs), QString::number(total.charge_ah, 'f', 4),
                             QString::number(total.energy_wh, 'f', 4)));
    // What applies to the run under way: the ticked conditions only when it
    // was started here; one begun when the meter was plugged in or with ▶
    // stops on none of them.
    QStringList applying;
    const StopConditions now = conditions();
    for (int k = 0; k < StopConditions::KindCount; ++k)
        if (now[StopConditions::Kind(k)].on)
            applying << StopConditions::conditionWords(StopConditions::Kind(k), now[StopConditions::Kind(k)]);
    if (!running)
        m_applies->clear();
    else if (!armed)
        m_applies->setText(tr("当前运行不是从本页开始的：它不按任何条件停止。"));
    else if (applying.isEmpty())
        m_applies->setText(tr("当前运行没有停止条件。"));
    else
        m_applies->setText(tr("当前运行满足以下任一条件时停止：%1").arg(applying.join(tr("；"))));
    m_startNote->setText(running ? tr("“开始记录”将结束当前运行（已运行 %1，%2 条记录，已保存在历史记录中），清空图表并开始新的运行。")
                                       .arg(elapsedText(elapsedMs))
                                       .arg(records)
                                 : QString());
}

QString CapacityPage::runName() const
{
    return m_fields[Name]->text().simplified();
}

bool CapacityPage::runFields(RunFields *fields) const
{
    fields->dut = m_fields[Dut]->text().trimmed();
    fields->source = m_fields[Source]->text().trimmed();
    fields->cable = m_fields[Cable]->text().trimmed();
    fields->notes = m_fields[Notes]->text().trimmed();
    return fields->setAmbient(m_fields[Ambient]->text());
}

void CapacityPage::showEnd(const QString &text)
{
    m_end->setText(text);
}

void CapacityPage::retranslate()
{
    m_title->setText(tr("满足任一选中的条件时，记录自动停止："));
    m_checks[StopConditions::Duration]->setText(tr("运行时长达到"));
    m_checks[StopConditions::CurrentBelow]->setText(tr("充电完成：电流低于"));
    m_checks[StopConditions::VoltageBelow]->setText(tr("放电截止：电压低于"));
    m_checks[StopConditions::Charge]->setText(tr("电量达到"));
    m_checks[StopConditions::Energy]->setText(tr("能量达到"));
    m_values[StopConditions::Duration]->setSuffix(tr(" 秒"));
    m_values[StopConditions::CurrentBelow]->setSuffix(QStringLiteral(" A"));
    m_values[StopConditions::VoltageBelow]->setSuffix(QStringLiteral(" V"));
    m_values[StopConditions::Charge]->setSuffix(QStringLiteral(" Ah"));
    m_values[StopConditions::Energy]->setSuffix(QStringLiteral(" Wh"));
    m_seconds->setSuffix(tr(" 秒"));
    m_after[StopConditions::CurrentBelow]->setText(tr("持续"));
    m_start->setText(tr("开始记录"));
    m_start->setToolTip(tr("清空图表，按这些条件开始新的记录"));
    m_stop->setText(tr("停止记录"));
    m_fieldLabels[Name]->setText(tr("名称："));
    m_fieldLabels[Dut]->setText(tr("被测设备："));
    m_fieldLabels[Source]->setText(tr("充电器/电源："));
    m_fieldLabels[Cable]->setText(tr("线缆："));
    m_fieldLabels[Ambient]->setText(tr("环境温度 (°C)："));
    m_fieldLabels[Notes]->setText(tr("备注："));
    showRun(m_running, m_elapsedMs, m_total, m_armed, m_records);
}
