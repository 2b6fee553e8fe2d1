#include "ui/deviceinfoui.h"

#include "ui_deviceinfoui.h"

#include <QEvent>

DeviceInfoUI::DeviceInfoUI(QWidget *parent) : QWidget(parent), ui(new Ui::DeviceInfoUI)
{
    ui->setupUi(this);
}

DeviceInfoUI::~DeviceInfoUI()
{
    delete ui;
}

void DeviceInfoUI::setModel(const QString &model)
{
    ui->label_model_value->setText(model);
}

void DeviceInfoUI::setType(const QString &type)
{
    ui->label_type_value->setText(type);
}

void DeviceInfoUI::setSerial(const QString &serial)
{
    ui->label_serial_value->setText(serial);
}

void DeviceInfoUI::setVersion(const QString &version)
{
    ui->label_version_value->setText(version);
}

void DeviceInfoUI::setState(unsigned char newState)
{
    switch (newState) {
    case Idle:
        ui->label_connect_type->setText(tr("空闲"));
        ui->widget_background->setStyleSheet(QStringLiteral("background-color: rgb(54, 131, 59);"));
        break;
    case Error:
        ui->label_connect_type->setText(tr("错误"));
        ui->widget_background->setStyleSheet(QStringLiteral("background-color: rgb(68, 68, 68);"));
        break;
    case Connect:
        ui->label_connect_type->setText(tr("连接"));
        ui->widget_background->setStyleSheet(QStringLiteral("background-color: rgb(16, 157, 56);"));
        break;
    default:
        break;
    }
}

void DeviceInfoUI::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->label_model->setText(tr("型号"));
        ui->label_serialnum->setText(tr("序列号"));
    }
    QWidget::changeEvent(event);
}
