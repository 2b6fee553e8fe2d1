#include "device/meterport.h"

#include "device/commandframe.h"

#include <hidapi.h>

QString readHidString(hid_device *handle, HidStringGetter getter)
{
    wchar_t buffer[64] = {};
    if (!handle || getter(handle, buffer, 64) != 0)
        return QString();
    buffer[63] = L'\0';
    return QString::fromWCharArray(buffer);
}

MeterPort::~MeterPort()
{
    close();
}

bool MeterPort::open(unsigned short vid, unsigned short pid, const std::wstring &serial)
{
    // A meter without a serial number is opened by its ids alone: hidapi
    // matches an empty serial against none.
    hid_device *handle = hid_open(vid, pid, serial.empty() ? nullptr : serial.c_str());
    if (!handle)
        return false;
    close();
    m_handle = handle;
    return true;
}

void MeterPort::close()
{
    if (m_handle) {
        hid_close(m_handle);
        m_handle = nullptr;
    }
}

int MeterPort::readReport(unsigned char *buffer)
{
    if (!m_handle)
        return -1;
    return hid_read_timeout(m_handle, buffer, CommandFrame::kReportSize, 0);
}

void MeterPort::usb_send(const void *data, unsigned length)
{
    if (!m_handle)
        return;
    const QByteArray report = CommandFrame::outputReport(data, length);
    hid_write(m_handle, reinterpret_cast<const unsigned char *>(report.constData()), report.size());
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
