// The device list: the meter found, opened and shown, its access faults and
// the tip line.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/iconhelper.h"
#include "outputs/liveoutputs.h"
#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/commandframe.h"
#include "ui/deviceinfoui.h"
#include "device/meterreading.h"
#include "device/productinfo.h"
#include "device/usbthread.h"
#include "ui/dashboard.h"
#include "recording/runsession.h"
#include "ui/devicelist.h"
#include "ui/upgradecontroller.h"
#include "ui/measurecontroller.h"
#include "ui/runhistorycontroller.h"
#include "ui/prompts.h"
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

QString MainDialog::modelWord() const { return m_devices->modelWord(); }
QString MainDialog::serialPrefix() const { return m_devices->serialPrefix(); }

QList<DeviceInfoUI *> MainDialog::deviceEntries() const
{
    return m_devices->entries();
}

void MainDialog::usbconnect(QString dev_str)
{
    if (!m_deniedNode.isEmpty()) {
        m_deniedNode.clear();
        showAccessTip();
    }
    ui->upgrade_label_devvalue->setText(dev_str);
    if (ui->disp_stackedWidget->currentIndex() == 1) {
        ui->upgrade_text_log->append(tr("设备已连接"));
        ui->upgrade_text_log->append(tr("设备名称:") + dev_str);
        ui->upgrade_label_connect->setStyleSheet(
            QStringLiteral("border-image:url(:/sys/rs/rs/usb_connect.png) 0 0 0 0 stretch stretch;"));
    }
    refreshDeviceList();
}

void MainDialog::usbaccessdenied(QString node)
{
    m_deniedNode = node;
    showAccessTip();
}

void MainDialog::showAccessTip()
{
    QStringList tips;
    const QString settings = QDir::toNativeSeparators(Setting::filePath());
    switch (Setting::problem()) {
    case Setting::Problem::None:
        break;
    case Setting::Problem::Special:
        tips << tr("设置文件 %1 不是普通文件（例如命名管道或设备）：已使用默认设置启动，更改不会保存。").arg(settings);
        break;
    case Setting::Problem::Directory:
        tips << tr("设置文件 %1 是一个文件夹：已使用默认设置启动，更改不会保存。").arg(settings);
        break;
    case Setting::Problem::NotSettings:
        tips << tr("设置文件 %1 不是设置文件（其中是二进制数据）：已使用默认设置启动，该文件保持原样，更改不会保存。")
                    .arg(settings);
        break;
    case Setting::Problem::Large:
        tips << tr("设置文件 %1 异常大（%2 MB）：更改在后台保存。")
                    .arg(settings)
                    .arg(QFileInfo(Setting::filePath()).size() / 1e6, 0, 'f', 1);
        break;
    }
    if (!m_deniedNode.isEmpty())
        tips << tr("无法打开仪表 %1：没有读写权限。请安装本程序的 udev 规则，然后拔下并重新插入仪表。").arg(m_deniedNode);
    if (m_session && !m_session->tip().isEmpty())
        tips << m_session->tip();
    if (m_outputs && !m_outputs->tip().isEmpty())
        tips << m_outputs->tip();
    ui->label_left_tips->setText(tips.join(QLatin1Char(' ')));
}

void MainDialog::usbdisconnect()
{
    if (ui->disp_stackedWidget->currentIndex() == 1) {
        ui->upgrade_text_log->append(tr("设备已断开"));
        ui->upgrade_label_connect->setStyleSheet(
            QStringLiteral("border-image:url(:/sys/rs/rs/usb_disconnect.png) 0 0 0 0 stretch stretch;"));
    }
    m_devices->showDisconnected();
    m_feed.lost();
    m_session->meterLost();
}


void MainDialog::refreshDeviceList()
{
    if (!m_devices->refresh())
        return;
    if (const std::optional<bool> visible = motorGroupVisible(m_devices->modelWord()))
        ui->settings_groupBox_k4_motor->setVisible(*visible);

    // The meter that was pulled out is back: its run goes on; another
    // meter begins a run.
    if (!m_session->run().recording() && !m_session->meterBack(m_devices->serial()))
        runStart();
}

// ---------------------------------------------------------------- firmware upgrade

void MainDialog::usbreceivedata(unsigned char *data, unsigned int length) { m_upgrade->receive(data, length); }
void MainDialog::usbsenderror() { m_upgrade->sendError(); }
void MainDialog::mytimer_timeout() { m_upgrade->timeout(); }
QTimer *MainDialog::upgradeTimer() const { return m_upgrade->timer(); }
const FirmwareTransfer &MainDialog::firmwareTransfer() const { return m_upgrade->transfer(); }
void MainDialog::setLoaderWait(std::function<void(int ms)> wait) { m_upgrade->setLoaderWait(std::move(wait)); }
