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
    auto line = [this](const QString &placeholder = QString()) {
        auto *edit = new QLineEdit(this);
        edit->setPlaceholderText(placeholder);
        edit->setMinimumWidth(280);
        return edit;
    };
    auto status = [this] {
        auto *label = new QLabel(this);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };

    auto *mqttBox = new QGroupBox(tr("MQTT 代理"), this);
    auto *mqtt = new QFormLayout(mqttBox);
    mqtt->addRow(tr("代理地址"), m_mqttUrl = line(QStringLiteral("mqtt://127.0.0.1:1883")));
    mqtt->addRow(tr("用户名"), m_mqttUser = line());
    mqtt->addRow(tr("密码"), m_mqttPassword = line());
    m_mqttPassword->setEchoMode(QLineEdit::Password);
    mqtt->addRow(tr("CA 文件 (mqtts)"), m_mqttCaFile = line());
    mqtt->addRow(tr("主题前缀"), m_mqttTopic = line(tr("ombrel/<序列号>")));
    m_discovery = new QCheckBox(tr("Home Assistant 自动发现"), this);
    mqtt->addRow(QString(), m_discovery);
    mqtt->addRow(tr("状态"), m_status[0] = status());

    auto *metricsBox = new QGroupBox(tr("Prometheus 指标"), this);
    auto *metrics = new QFormLayout(metricsBox);
    metrics->addRow(tr("监听 [地址:]端口"), m_metrics = line(QStringLiteral("9464")));
    metrics->addRow(tr("状态"), m_status[1] = status());

    auto *influxBox = new QGroupBox(tr("InfluxDB"), this);
    auto *influx = new QFormLayout(influxBox);
    influx->addRow(tr("服务器地址"), m_influxUrl = line(QStringLiteral("http://127.0.0.1:8086")));
    influx->addRow(tr("数据库"), m_influxDb = line());
    influx->addRow(tr("用户名"), m_influxUser = line());
    influx->addRow(tr("密码或令牌"), m_influxPassword = line());
    m_influxPassword->setEchoMode(QLineEdit::Password);
    influx->addRow(tr("状态"), m_status[2] = status());

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

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mqttBox);
    layout->addWidget(metricsBox);
    layout->addWidget(influxBox);
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

void LiveOutputsDialog::showSettings()
{
    const LiveOutputsSettings &s = m_outputs->settings();
    m_mqttUrl->setText(s.mqttUrl);
    m_mqttUser->setText(s.mqttUser);
    m_mqttPassword->setText(s.mqttPassword);
    m_mqttCaFile->setText(s.mqttCaFile);
    m_mqttTopic->setText(s.mqttTopic);
    m_discovery->setChecked(s.mqttDiscovery);
    m_metrics->setText(s.metricsListen);
    m_influxUrl->setText(s.influxUrl);
    m_influxDb->setText(s.influxDb);
    m_influxUser->setText(s.influxUser);
    m_influxPassword->setText(s.influxPassword);
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
    s.mqttUrl = m_mqttUrl->text().trimmed();
    s.mqttUser = m_mqttUser->text();
    s.mqttPassword = m_mqttPassword->text();
    s.mqttCaFile = m_mqttCaFile->text().trimmed();
    s.mqttTopic = m_mqttTopic->text().trimmed();
    s.mqttDiscovery = m_discovery->isChecked();
    s.metricsListen = m_metrics->text().trimmed();
    s.influxUrl = m_influxUrl->text().trimmed();
    s.influxDb = m_influxDb->text().trimmed();
    s.influxUser = m_influxUser->text();
    s.influxPassword = m_influxPassword->text();
    QString reason;
    if (!m_outputs->apply(s, &reason) || !s.save(&reason)) {
        Prompts::warning(this, tr("错误"), reason);
        return false;
    }
    showStatus();
    return true;
}
