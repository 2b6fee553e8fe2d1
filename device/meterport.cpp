#include "device/meterport.h"

#include "device/commandframe.h"
#include "device/hidglobal.h"
#include "device/productinfo.h"

#include <hidapi.h>

#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>

QString readHidString(hid_device *handle, HidStringGetter getter)
{
    wchar_t buffer[64] = {};
    if (!handle || getter(handle, buffer, 64) != 0)
        return QString();
    buffer[63] = L'\0';
    return QString::fromWCharArray(buffer);
}

bool openRefused(const QString &node, int openError)
{
    if (openError == EACCES || openError == EPERM)
        return true;
    if (!node.startsWith(QLatin1Char('/')))
        return false;
    const QByteArray path = node.toLocal8Bit();
    return access(path.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
}

QString meterOpenWords(MeterOpen result, const QString &serial, const QString &node)
{
    switch (result) {
    case MeterOpen::Opened:
        break;
    case MeterOpen::NoMeter:
        return serial.isEmpty() ? QCoreApplication::translate("Cli", "没有连接电表")
                                : QCoreApplication::translate("Cli", "没有连接序列号为 %1 的电表").arg(serial);
    case MeterOpen::AccessDenied:
        return QCoreApplication::translate("Cli", "无法打开电表 %1：没有读写权限。请安装 Ombrel 的 udev 规则（安装包会安装它；"
                                                  "或将 packaging/70-ombrel-meter.rules 复制到 /etc/udev/rules.d/），运行"
                                                  "“sudo udevadm control --reload”，然后拔下电表再重新插上。")
            .arg(node);
    case MeterOpen::Failed:
        return QCoreApplication::translate("Cli", "无法打开电表 %1").arg(node);
    }
    return QString();
}

std::vector<AttachedMeter> attachedMeters()
{
    std::vector<AttachedMeter> meters;
    hid_device_info *list = HidGlobal::enumerate(kMeterVendorId, kMeterProductId);
    for (hid_device_info *d = list; d; d = d->next) {
        AttachedMeter m;
        const ProductInfo info =
            parseProductString(d->product_string ? QString::fromWCharArray(d->product_string) : QString());
        m.model = info.modelWord;
        m.version = info.versionWord;
        m.serial = d->serial_number ? QString::fromWCharArray(d->serial_number) : QString();
        m.path = QString::fromLocal8Bit(d->path ? d->path : "");
        errno = 0;
        hid_device *handle = d->path ? HidGlobal::openPath(d->path) : nullptr;
        const int openError = errno;
        m.accessible = handle != nullptr;
        if (handle)
            hid_close(handle);
        m.refused = !m.accessible && openRefused(m.path, openError);
        meters.push_back(m);
    }
    hid_free_enumeration(list);
    return meters;
}

MeterPort::~MeterPort()
{
    close();
}

bool MeterPort::open(unsigned short vid, unsigned short pid, const std::wstring &serial)
{
    // A meter without a serial number is opened by its ids alone: hidapi
    // matches an empty serial against none.
    hid_device *handle = HidGlobal::open(vid, pid, serial.empty() ? nullptr : serial.c_str());
    if (!handle)
        return false;
    close();
    m_handle = handle;
    ++m_opens;
    return true;
}

bool MeterPort::openPath(const char *path)
{
    errno = 0;
    hid_device *handle = path ? HidGlobal::openPath(path) : nullptr;
    if (!handle)
        return false;
    close();
    m_handle = handle;
    ++m_opens;
    return true;
}

void MeterPort::close()
{
    if (m_handle) {
        hid_close(m_handle);
        m_handle = nullptr;
    }
}

int MeterPort::readReport(unsigned char *buffer, int waitMs)
{
    if (!m_handle)
        return -1;
    return hid_read_timeout(m_handle, buffer, CommandFrame::kReportSize, waitMs);
}

bool MeterPort::usb_send(const void *data, unsigned length)
{
    if (!m_handle)
        return false;
    const QByteArray report = CommandFrame::outputReport(data, length);
    return hid_write(m_handle, reinterpret_cast<const unsigned char *>(report.constData()), report.size())
           == report.size();
}

void MeterPort::usb_send_code(unsigned char code)
{
    const QByteArray frame = CommandFrame::shortFrame(code);
    usb_send(frame.constData(), frame.size());
}

QString MeterPort::manufacturer() const
{
    return readHidString(m_handle, hid_get_manufacturer_string);
}

QString MeterPort::product() const
{
    return readHidString(m_handle, hid_get_product_string);
}

QString MeterPort::serialNumber() const
{
    return readHidString(m_handle, hid_get_serial_number_string);
}

MeterOpen openMeter(MeterPort &port, unsigned short vid, unsigned short pid, const QString &serial, QString *node)
{
    hid_device_info *list = HidGlobal::enumerate(vid, pid);
    MeterOpen result = MeterOpen::NoMeter;
    for (hid_device_info *d = list; d; d = d->next) {
        const QString number = d->serial_number ? QString::fromWCharArray(d->serial_number) : QString();
        if (!serial.isEmpty() && number != serial)
            continue;
        if (port.openPath(d->path)) {
            result = MeterOpen::Opened;
            break;
        }
        const int error = errno;
        const QString path = QString::fromLocal8Bit(d->path ? d->path : "");
        result = openRefused(path, error) ? MeterOpen::AccessDenied : MeterOpen::Failed;
        if (node)
            *node = path;
    }
    hid_free_enumeration(list);
    return result;
}
