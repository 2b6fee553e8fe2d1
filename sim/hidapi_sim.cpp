// hidapi's C interface over the simulated bus. Behaves like hidapi's Linux
// hidraw backend where the application can tell: every open handle gets its
// own copy of each input report, a queue holds 64 reports and drops the
// newest when full, and reads on a handle of an unplugged meter return -1.
#include "simbus.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

using sim::Bus;
using sim::MeterEntry;
using sim::Report;

namespace {

wchar_t *dupWide(const std::wstring &s)
{
    auto *p = static_cast<wchar_t *>(std::calloc(s.size() + 1, sizeof(wchar_t)));
    if (p)
        std::wmemcpy(p, s.c_str(), s.size());
    return p;
}

std::string pathOf(const MeterEntry &meter)
{
    return "sim:" + std::to_string(meter.id_) + ":" + std::to_string(meter.generation);
}

bool matches(const MeterEntry &meter, unsigned short vid, unsigned short pid)
{
    const sim::Identity &id = meter.model.identity;
    return meter.live() && (vid == 0 || id.vendorId == vid) && (pid == 0 || id.productId == pid);
}

hid_device *openLocked(Bus &bus, MeterEntry &meter)
{
    if (meter.opensRefused) {
        bus.lastError = L"Permission denied";
        errno = EACCES;
        return nullptr;
    }
    auto *dev = new hid_device;
    dev->number = bus.nextHandle++;
    dev->meter = &meter;
    dev->generation = meter.generation;
    bus.handles.insert(dev);
    return dev;
}

// A call on the library's process-wide state, from its start to its end: it
// notes a call another thread is still in, and lasts as long as asked.
class GlobalCall
{
public:
    GlobalCall() : m_bus(Bus::instance())
    {
        if (m_bus.globalCallers.fetch_add(1) != 0)
            ++m_bus.globalOverlaps;
        if (const int us = m_bus.globalCallMicroseconds.load())
            std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    ~GlobalCall() { --m_bus.globalCallers; }
    GlobalCall(const GlobalCall &) = delete;
    GlobalCall &operator=(const GlobalCall &) = delete;

private:
    Bus &m_bus;
};

int copyString(hid_device *dev, const std::wstring sim::Identity::*field, wchar_t *string,
               size_t maxlen)
{
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    if (!string || maxlen == 0)
        return -1;
    if (!bus.alive(dev)) {
        if (dev)
            dev->error = L"device disconnected";
        return -1;
    }
    const std::wstring &value = dev->meter->model.identity.*field;
    const size_t n = std::min(value.size(), maxlen - 1);
    std::wmemcpy(string, value.c_str(), n);
    string[n] = L'\0';
    return 0;
}

} // namespace

extern "C" {

int HID_API_EXPORT hid_init(void)
{
    const GlobalCall call;
    return 0;
}

int HID_API_EXPORT hid_exit(void)
{
    const GlobalCall call;
    return 0;
}

struct hid_device_info HID_API_EXPORT *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    const GlobalCall call;
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (auto &meter : bus.meters) {
        if (!matches(*meter, vendor_id, product_id))
            continue;
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        if (!info)
            break;
        const sim::Identity &id = meter->model.identity;
        info->path = strdup(pathOf(*meter).c_str());
        info->vendor_id = id.vendorId;
        info->product_id = id.productId;
        // Like hidapi: no serial number string is a null pointer.
        info->serial_number = id.serial.empty() ? nullptr : dupWide(id.serial);
        info->release_number = 0x0100;
        info->manufacturer_string = dupWide(id.manufacturer);
        info->product_string = dupWide(id.product);
        info->usage_page = 0xFF00;
        info->usage = 0x0001;
        info->interface_number = 0;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device HID_API_EXPORT *hid_open(unsigned short vendor_id, unsigned short product_id,
                                    const wchar_t *serial_number)
{
    const GlobalCall call;
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    for (auto &meter : bus.meters) {
        if (!matches(*meter, vendor_id, product_id))
            continue;
        // A serial asked for (even an empty one) never matches a meter that
        // has none, as in hidapi.
        if (serial_number
            && (meter->model.identity.serial.empty() || meter->model.identity.serial != serial_number))
            continue;
        return openLocked(bus, *meter);
    }
    bus.lastError = L"no matching device";
    return nullptr;
}

hid_device HID_API_EXPORT *hid_open_path(const char *path)
{
    const GlobalCall call;
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    for (auto &meter : bus.meters) {
        if (meter->live() && path && pathOf(*meter) == path)
            return openLocked(bus, *meter);
    }
    bus.lastError = L"no device at this path";
    return nullptr;
}

int HID_API_EXPORT hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    if (!data || length == 0)
        return -1;
    if (!bus.alive(dev)) {
        if (dev)
            dev->error = L"device disconnected";
        return -1;
    }
    MeterEntry &meter = *dev->meter;
    if (meter.writeFailures > 0) {
        --meter.writeFailures;
        dev->error = L"write failed";
        return meter.writeAccepted;
    }
    const int requested = static_cast<int>(length);
    // A leading 0 is the "no report number" byte and is not sent on the wire.
    if (data[0] == 0) {
        ++data;
        --length;
    }
    Report out{};
    std::copy(data, data + std::min<size_t>(length, 64), out.begin());
    bus.trace(dev->number, "out", out.data(), out.size());
    meter.writtenReports.push_back({dev->number, out});
    for (const Report &reply : meter.model.receive(out, bus.now()))
        bus.deliver(meter, reply);
    bus.wakeClock();
    return requested;
}

int HID_API_EXPORT hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    Bus &bus = Bus::instance();
    std::unique_lock<std::mutex> lock(bus.m);
    if (!dev || !data)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, milliseconds));
    for (;;) {
        if (!bus.alive(dev)) {
            dev->error = L"device disconnected";
            return -1;
        }
        if (!dev->queue.empty()) {
            const Report report = dev->queue.front();
            dev->queue.pop_front();
            size_t n = std::min<size_t>(length, report.size());
            MeterEntry &meter = *dev->meter;
            if (meter.shortReads > 0) {
                --meter.shortReads;
                n = std::min<size_t>(n, static_cast<size_t>(std::max(0, meter.shortBytes)));
            }
            std::memcpy(data, report.data(), n);
            bus.trace(dev->number, "in", report.data(), n);
            return static_cast<int>(n);
        }
        if (milliseconds == 0)
            return 0;
        if (milliseconds < 0)
            bus.dataReady.wait(lock);
        else if (bus.dataReady.wait_until(lock, deadline) == std::cv_status::timeout && dev->queue.empty())
            return bus.alive(dev) ? 0 : -1;
    }
}

int HID_API_EXPORT hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    bool nonblocking;
    {
        std::lock_guard<std::mutex> lock(Bus::instance().m);
        nonblocking = dev && dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int HID_API_EXPORT hid_set_nonblocking(hid_device *dev, int nonblock)
{
    std::lock_guard<std::mutex> lock(Bus::instance().m);
    if (!dev)
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

void HID_API_EXPORT hid_close(hid_device *dev)
{
    if (!dev)
        return;
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    if (bus.handles.erase(dev))
        delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, &sim::Identity::manufacturer, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, &sim::Identity::product, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev, &sim::Identity::serial, string, maxlen);
}

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    Bus &bus = Bus::instance();
    std::lock_guard<std::mutex> lock(bus.m);
    if (!dev)
        return bus.lastError.empty() ? L"Success" : bus.lastError.c_str();
    return dev->error.empty() ? L"Success" : dev->error.c_str();
}

} // extern "C"
