#include "uhidmeter.h"

#include <linux/input.h>
#include <linux/uhid.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

// One vendor-defined collection: a 64-byte input and a 64-byte output
// report, no report numbers.
const unsigned char kDescriptor[] = {
    0x06, 0x00, 0xFF,   // Usage Page (vendor defined 0xFF00)
    0x09, 0x01,         // Usage (1)
    0xA1, 0x01,         // Collection (Application)
    0x09, 0x02,         //   Usage (2)
    0x15, 0x00,         //   Logical Minimum (0)
    0x26, 0xFF, 0x00,   //   Logical Maximum (255)
    0x75, 0x08,         //   Report Size (8)
    0x95, 0x40,         //   Report Count (64)
    0x81, 0x02,         //   Input (Data, Variable, Absolute)
    0x09, 0x03,         //   Usage (3)
    0x15, 0x00,         //   Logical Minimum (0)
    0x26, 0xFF, 0x00,   //   Logical Maximum (255)
    0x75, 0x08,         //   Report Size (8)
    0x95, 0x40,         //   Report Count (64)
    0x91, 0x02,         //   Output (Data, Variable, Absolute)
    0xC0,               // End Collection
};

std::string utf8(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

bool writeEvent(int fd, const uhid_event &event)
{
    return write(fd, &event, sizeof event) == ssize_t(sizeof event);
}

} // namespace

UhidMeter::UhidMeter(const Identity &identity) : m_model(identity) {}

UhidMeter::~UhidMeter()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    unplug();
    if (m_fd >= 0)
        close(m_fd);
}

double UhidMeter::now() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_epoch).count();
}

bool UhidMeter::start()
{
    m_fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = std::string("/dev/uhid: ") + strerror(errno);
        return false;
    }
    m_thread = std::thread([this] { serve(); });
    return true;
}

bool UhidMeter::plug()
{
    if (m_fd < 0 || m_plugged)
        return false;
    uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::string name = utf8(m_model.identity.product);
        const std::string serial = utf8(m_model.identity.serial);
        strncpy(reinterpret_cast<char *>(ev.u.create2.name), name.c_str(), sizeof ev.u.create2.name - 1);
        strncpy(reinterpret_cast<char *>(ev.u.create2.phys), "ombrel-uhid", sizeof ev.u.create2.phys - 1);
        strncpy(reinterpret_cast<char *>(ev.u.create2.uniq), serial.c_str(), sizeof ev.u.create2.uniq - 1);
        ev.u.create2.vendor = m_model.identity.vendorId;
        ev.u.create2.product = m_model.identity.productId;
        m_model.powerOn(now());
        m_nextReportAt = now();
    }
    ev.u.create2.bus = BUS_USB;
    ev.u.create2.version = 0x0100;
    ev.u.create2.rd_size = sizeof kDescriptor;
    memcpy(ev.u.create2.rd_data, kDescriptor, sizeof kDescriptor);
    if (!writeEvent(m_fd, ev)) {
        m_error = std::string("UHID_CREATE2: ") + strerror(errno);
        return false;
    }
    m_plugged = true;
    return true;
}

void UhidMeter::unplug()
{
    if (m_fd < 0 || !m_plugged)
        return;
    uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    writeEvent(m_fd, ev);
    m_plugged = false;
}

void UhidMeter::setReportRate(double perSecond)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_model.reportRate = perSecond;
    m_nextReportAt = now();
}

void UhidMeter::setScenario(Scenario scenario)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_model.scenario = scenario;
}

void UhidMeter::setBurnDelayMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_model.burnDelayMs = ms;
}

void UhidMeter::inject(const Report &report)
{
    sendInput(report);
}

std::vector<Report> UhidMeter::written() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_written;
}

void UhidMeter::clearWritten()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_written.clear();
}

std::vector<unsigned char> UhidMeter::receivedImage() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_model.image();
}

void UhidMeter::sendInput(const Report &report)
{
    if (!m_plugged)
        return;
    uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_INPUT2;
    ev.u.input2.size = uint16_t(report.size());
    memcpy(ev.u.input2.data, report.data(), report.size());
    writeEvent(m_fd, ev);
}

// The meter's side: the host's output reports, the live reports at the
// model's rate and the model's own events (end of a firmware burn).
void UhidMeter::serve()
{
    while (!m_stop) {
        int waitMs = 20;
        std::vector<Report> outgoing;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            const double t = now();
            if (m_plugged) {
                for (const Report &r : m_model.fireEvents(t))
                    outgoing.push_back(r);
                if (m_model.sendsMeasurements() && m_model.reportRate > 0 && t >= m_nextReportAt) {
                    outgoing.push_back(m_model.measurement(t));
                    m_nextReportAt += 1.0 / m_model.reportRate;
                    if (m_nextReportAt < t)
                        m_nextReportAt = t + 1.0 / m_model.reportRate;
                }
                if (m_model.reportRate > 0)
                    waitMs = std::max(0, std::min(waitMs, int((m_nextReportAt - t) * 1000)));
            }
        }
        for (const Report &r : outgoing)
            sendInput(r);

        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN))
            continue;
        uhid_event ev;
        if (read(m_fd, &ev, sizeof ev) <= 0)
            continue;
        if (ev.type == UHID_OPEN)
            ++m_opens;
        if (ev.type != UHID_OUTPUT)
            continue;
        Report out{};
        memcpy(out.data(), ev.u.output.data, std::min<size_t>(ev.u.output.size, out.size()));
        std::vector<Report> replies;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_written.push_back(out);
            replies = m_model.receive(out, now());
        }
        for (const Report &r : replies)
            sendInput(r);
    }
}

} // namespace sim
