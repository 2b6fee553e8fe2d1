#pragma once

#include <QString>

#include <string>
#include <vector>

struct hid_device_;
typedef struct hid_device_ hid_device;

// One of hidapi's string getters (manufacturer, product, serial number).
using HidStringGetter = int (*)(hid_device *, wchar_t *, size_t);
// The string read through `getter` into a 64-character buffer; empty when the
// read fails.
QString readHidString(hid_device *handle, HidStringGetter getter);

// Whether an open of the device node `node` failed for want of permission:
// the open's own errno, or for a device file, what access() says of it.
bool openRefused(const QString &node, int openError);

// A meter attached, as `ombrel list` shows it.
struct AttachedMeter {
    QString model, version, serial;
    QString path;          // its device node
    bool accessible = false;
    bool refused = false;  // not accessible for want of permission
};
// The meters attached now, each opened and closed to learn whether it opens.
std::vector<AttachedMeter> attachedMeters();

// The dialog's own handle to the connected meter: live readings are read from
// it and every command frame is written on it. Used from the GUI thread only.
class MeterPort
{
public:
    MeterPort() = default;
    ~MeterPort();
    MeterPort(const MeterPort &) = delete;
    MeterPort &operator=(const MeterPort &) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    hid_device *handle() const { return m_handle; }
    // Counts the opens: a new value is a meter (maybe the same one) opened
    // anew.
    unsigned opens() const { return m_opens; }

    // Opens the meter with this vendor id, product id and serial number (none
    // when empty). On
    // success the previous handle is closed and replaced; on failure it stays.
    bool open(unsigned short vid, unsigned short pid, const std::wstring &serial);
    // Opens the meter at this hidapi path; errno tells why when it fails.
    bool openPath(const char *path);
    void close();

    // One report into `buffer` (64 bytes), waiting at most `waitMs` for it
    // (none by default): the number of bytes read, 0 when none came, -1 on
    // error (the meter was pulled out) or with no handle.
    int readReport(unsigned char *buffer, int waitMs = 0);

    // Writes `length` bytes of a frame (at most 64) as one zero-padded 64-byte
    // report. Commands are not acknowledged; false when the report could not
    // be written whole (or no handle is open).
    bool usb_send(const void *data, unsigned length);
    // Sends the short frame of `code` if the handle is open; otherwise nothing.
    void usb_send_code(unsigned char code);

    QString manufacturer() const;
    QString product() const;
    QString serialNumber() const;

private:
    hid_device *m_handle = nullptr;
    unsigned m_opens = 0;
};

// The meter's USB ids.
constexpr unsigned short kMeterVendorId = 0x0483;
constexpr unsigned short kMeterProductId = 0x5750;

enum class MeterOpen { Opened, NoMeter, AccessDenied, Failed };
// Opens on `port` the first meter with these ids and serial number (any
// when empty). When it fails for a meter that is there, `node` names its
// device node.
MeterOpen openMeter(MeterPort &port, unsigned short vid, unsigned short pid, const QString &serial,
                    QString *node = nullptr);
// Why a meter could not be opened, and how to fix it, in the program's
// language: no meter (with that serial number), no permission for its node
// (the udev rule), or another failure.
QString meterOpenWords(MeterOpen result, const QString &serial, const QString &node);
