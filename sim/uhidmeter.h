// A meter on the kernel's HID stack: a /dev/uhid device that the kernel
// offers as /dev/hidrawN (and to hidapi's hidraw backend), served by the same
// model as the simulated meter. Its name is the product string, its uniq the
// serial number; input reports go in as UHID_INPUT2, the host's output
// reports come out as UHID_OUTPUT. Linux only; needs the uhid module and
// write access to /dev/uhid.
#pragma once

#include "metermodel.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

class UhidMeter {
public:
    explicit UhidMeter(const Identity &identity);
    ~UhidMeter();
    UhidMeter(const UhidMeter &) = delete;
    UhidMeter &operator=(const UhidMeter &) = delete;

    // Opens /dev/uhid; false (with the reason in error()) when it cannot.
    bool start();
    std::string error() const { return m_error; }

    // Plugging in is UHID_CREATE2, unplugging UHID_DESTROY.
    bool plug();
    void unplug();
    bool plugged() const { return m_plugged.load(); }

    void setReportRate(double perSecond);
    void setBurnDelayMs(int ms);
    void setScenario(Scenario scenario);
    // One input report now.
    void inject(const Report &report);

    // Output reports the host wrote, oldest first.
    std::vector<Report> written() const;
    void clearWritten();
    std::vector<unsigned char> receivedImage() const;
    // Times the kernel told the meter that a handle was opened.
    int opens() const { return m_opens.load(); }

private:
    double now() const;
    void serve();
    void sendInput(const Report &report);

    mutable std::mutex m_lock;   // the model, the list of written reports
    MeterModel m_model;
    std::vector<Report> m_written;
    int m_fd = -1;
    std::string m_error;
    std::atomic<bool> m_plugged{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_opens{0};
    double m_nextReportAt = 0.0;
    const std::chrono::steady_clock::time_point m_epoch = std::chrono::steady_clock::now();
    std::thread m_thread;
};

} // namespace sim
