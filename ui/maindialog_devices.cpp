// The device list: the meter found, opened and shown, its access faults and
// the tip line.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/iconhelper.h"
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
#include "recording/journalledrun.h"
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

QList<DeviceInfoUI *> MainDialog::deviceEntries() const
{
    QList<DeviceInfoUI *> list;
    for (const auto &entry : m_deviceEntries)
        list << entry.first;
    return list;
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
    ui->label_left_tips->setText(tips.join(QLatin1Char(' ')));
}

void MainDialog::usbdisconnect()
{
    if (ui->disp_stackedWidget->currentIndex() == 1) {
        ui->upgrade_text_log->append(tr("设备已断开"));
        ui->upgrade_label_connect->setStyleSheet(
            QStringLiteral("border-image:url(:/sys/rs/rs/usb_disconnect.png) 0 0 0 0 stretch stretch;"));
    }
    if (!m_deviceEntries.isEmpty()) {
        DeviceInfoUI *entry = m_deviceEntries.first().first;
        entry->state = DeviceInfoUI::Error;
        entry->setState(DeviceInfoUI::Error);
    }
    // The run waits for its meter.
    m_session->run().pause();
}


void MainDialog::enumerateDevices()
{
    m_haveMatchingSerial = false;
    m_matchingSerial.clear();
    hid_device_info *list = hid_enumerate(m_vid, m_pid);
    for (hid_device_info *d = list; d; d = d->next) {
        if (d->vendor_id == m_vid && d->product_id == m_pid) {
            // A copy: the list is released below.
            m_haveMatchingSerial = true;
            m_matchingSerial = d->serial_number ? d->serial_number : L"";
        }
    }
    hid_free_enumeration(list);
}

void MainDialog::refreshDeviceList()
{
    enumerateDevices();
    ui->device_treeWidget->clear();
    m_deviceEntries.clear();
    if (!m_haveMatchingSerial)
        return;
    // Replaces (and releases) the handle of an earlier connection.
    if (!m_port.open(m_vid, m_pid, m_matchingSerial))
        return;

    const QString manufacturer = m_port.manufacturer();
    const QString product = m_port.product();
    const QString serial = m_port.serialNumber();

    auto *entry = new DeviceInfoUI;
    const ProductInfo info = parseProductString(product);
    m_modelWord = info.modelWord;
    m_versionWord = info.versionWord;
    if (const std::optional<bool> visible = motorGroupVisible(m_modelWord))
        ui->settings_groupBox_k4_motor->setVisible(*visible);

    entry->setModel(m_modelWord);
    if (!info.versionWord.isEmpty())
        entry->setVersion(info.versionWord);
    entry->setType(manufacturer);
    m_serialPrefix = ::serialPrefix(serial);
    entry->setSerial(m_serialPrefix);
    entry->state = DeviceInfoUI::Connect;
    entry->setState(DeviceInfoUI::Connect);

    auto *item = new QTreeWidgetItem;
    ui->device_treeWidget->addTopLevelItem(item);
    ui->device_treeWidget->setItemWidget(item, 0, entry);
    m_deviceEntries.append(qMakePair(entry, m_matchingSerial));

    LiveRun &run = m_session->run();
    if (!run.recording()) {
        // The meter that was pulled out is back: its run goes on.
        if (run.paused() && !run.meter().serial.isEmpty()
            && run.meter().serial == QString::fromStdWString(m_matchingSerial))
            run.resume();
        else
            runStart();
    }
}
