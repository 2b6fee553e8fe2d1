// The device list of the window.
#include "ui/devicelist.h"

#include "device/hidglobal.h"
#include "device/meterport.h"
#include "device/productinfo.h"
#include "ui/deviceinfoui.h"

#include <QTreeWidget>

#include <hidapi.h>

DeviceList::DeviceList(QTreeWidget *tree, MeterPort &port, unsigned short vid, unsigned short pid, QObject *parent)
    : QObject(parent), m_tree(tree), m_port(port), m_vid(vid), m_pid(pid)
{
}

QList<DeviceInfoUI *> DeviceList::entries() const
{
    QList<DeviceInfoUI *> list;
    for (const auto &entry : m_entries)
        list << entry.first;
    return list;
}

void DeviceList::enumerate()
{
    m_haveMatchingSerial = false;
    m_matchingSerial.clear();
    hid_device_info *list = HidGlobal::enumerate(m_vid, m_pid);
    for (hid_device_info *d = list; d; d = d->next) {
        if (d->vendor_id == m_vid && d->product_id == m_pid) {
            // A copy: the list is released below.
            m_haveMatchingSerial = true;
            m_matchingSerial = d->serial_number ? d->serial_number : L"";
        }
    }
    hid_free_enumeration(list);
}

bool DeviceList::refresh()
{
    enumerate();
    m_tree->clear();
    m_entries.clear();
    if (!m_haveMatchingSerial)
        return false;
    // Replaces (and releases) the handle of an earlier connection.
    if (!m_port.open(m_vid, m_pid, m_matchingSerial))
        return false;

    const QString manufacturer = m_port.manufacturer();
    const QString product = m_port.product();
    const QString serial = m_port.serialNumber();

    auto *entry = new DeviceInfoUI;
    const ProductInfo info = parseProductString(product);
    m_modelWord = info.modelWord;
    m_versionWord = info.versionWord;

    entry->setModel(m_modelWord);
    if (!info.versionWord.isEmpty())
        entry->setVersion(info.versionWord);
    entry->setType(manufacturer);
    m_serialPrefix = ::serialPrefix(serial);
    entry->setSerial(m_serialPrefix);
    entry->state = DeviceInfoUI::Connect;
    entry->setState(DeviceInfoUI::Connect);

    auto *item = new QTreeWidgetItem;
    m_tree->addTopLevelItem(item);
    m_tree->setItemWidget(item, 0, entry);
    m_entries.append(qMakePair(entry, m_matchingSerial));
    return true;
}

void DeviceList::showDisconnected()
{
    if (m_entries.isEmpty())
        return;
    DeviceInfoUI *entry = m_entries.first().first;
    entry->state = DeviceInfoUI::Error;
    entry->setState(DeviceInfoUI::Error);
}

void DeviceList::retranslate()
{
    if (m_entries.isEmpty())
        return;
    DeviceInfoUI *entry = m_entries.first().first;
    if (entry->state == DeviceInfoUI::Error || entry->state == DeviceInfoUI::Connect)
        entry->setState(entry->state);
}
