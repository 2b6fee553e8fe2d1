#include "ui/liveoutputsdialog.h"

#include "outputs/liveoutputs.h"
#include "ui/prompts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char kObjectName[] = "liveOutputsDialog";
}

LiveOutputsDialog *LiveOutputsDialog::open(LiveOutputs *outputs, QWidget *parent)
{
    auto *dialog = parent->findChild<LiveOutputsDialog *>(QLatin1String(kObjectName), Qt::FindDirectChildrenOnly);
    if (!dialog)
        dialog = new LiveOutputsDialog(outputs, parent);
    else
        dialog->showSettings();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

LiveOutputsDialog::LiveOutputsDialog(LiveOutputs *outputs, QWidget *parent) : QDialog(parent), m_outputs(outputs)
{
    setObjectName(QLatin1String(kObjectName));
    setWindowTitle(tr("实时输出"));
    // Each output's fields as outputFields() states them.
    const struct {
        OutputKind output;
        const char *title;
    } boxes[] = {{OutputKind::Mqtt, QT_TR_NOOP("MQTT 代理")},
                 {OutputKind::Metrics, QT_TR_NOOP("Prometheus 指标")},
                 {OutputKind::InfluxHttp, QT_TR_NOOP("InfluxDB")}};
    auto *layout = new QVBoxLayout(this);
    for (int b = 0; b < 3; ++b) {
        auto *box = new QGroupBox(tr(boxes[b].title), this);
        auto *form = new QFormLayout(box);
        for (const OutputField &f : outputFields()) {
            if (f.output != boxes[b].output || !f.label)
                continue;
            if (f.flag) {
                m_discovery = new QCheckBox(tr(f.label), this);
                form->addRow(QString(), m_discovery);
                continue;
            }
            auto *edit = new QLineEdit(this);
            edit->setObjectName(QLatin1String(f.option));
            if (f.placeholder)
                edit->setPlaceholderText(tr(f.placeholder));
            edit->setMinimumWidth(280);
            if (f.value == OutputField::Value::Secret)
                edit->setEchoMode(QLineEdit::Password);
            form->addRow(tr(f.label), edit);
        }
        auto *label = new QLabel(this);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(tr("状态"), m_status[b] = label);
        layout->addWidget(box);
    }

    auto *note = new QLabel(tr("清空地址即关闭该输出。密码保存在只有您能读取的单独文件中。"), this);
    note->setWordWrap(true);

    m_ok = new QPushButton(tr("确定"), this);
    m_apply = new QPushButton(tr("应用"), this);
    m_cancel = new QPushButton(tr("取消"), this);
    m_ok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_cancel);

    layout->addWidget(note);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (apply())
            accept();
    });
    connect(m_apply, &QPushButton::clicked, this, &LiveOutputsDialog::apply);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_outputs, &LiveOutputs::statusChanged, this, &LiveOutputsDialog::showStatus);
    showSettings();
}

QLineEdit *LiveOutputsDialog::edit(const char *option) const
{
    return findChild<QLineEdit *>(QLatin1String(option));
}

void LiveOutputsDialog::showSettings()
{
    const LiveOutputsSettings &s = m_outputs->settings();
    for (const OutputField &f : outputFields()) {
        if (QLineEdit *field = f.text ? edit(f.option) : nullptr)
            field->setText(s.*f.text);
    }
    m_discovery->setChecked(s.mqttDiscovery);
    showStatus();
}

void LiveOutputsDialog::showStatus()
{
    m_status[0]->setText(m_outputs->words(LiveOutputs::Mqtt));
    m_status[1]->setText(m_outputs->words(LiveOutputs::Metrics));
    m_status[2]->setText(m_outputs->words(LiveOutputs::Influx));
}

bool LiveOutputsDialog::apply()
{
    LiveOutputsSettings s;
    for (const OutputField &f : outputFields()) {
        if (QLineEdit *field = f.text ? edit(f.option) : nullptr)
            s.*f.text = f.value == OutputField::Value::Verbatim || f.value == OutputField::Value::Secret
                            ? field->text()
                            : field->text().trimmed();
    }
    s.mqttDiscovery = m_discovery->isChecked();
    // The user is taken to the field at fault.
    LiveOutputsSettings::Problem problem;
    if (!s.check(&problem)) {
        Prompts::warning(this, tr("错误"), problem.words);
        if (QLineEdit *field = edit(problem.field->option))
            field->setFocus();
        return false;
    }
    QString reason;
    if (!m_outputs->apply(s, &reason) || !s.save(&reason)) {
        Prompts::warning(this, tr("错误"), reason);
        return false;
    }
    showStatus();
    return true;
}
