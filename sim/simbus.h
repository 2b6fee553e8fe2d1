// The simulated USB bus: attached meters, open handles with their report
// queues, the meters' clock, and the trace of every report.
#pragma once

#include "metermodel.h"
#include "simulator.h"

#include <hidapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sim {
class MeterEntry;
}

// hidapi's opaque device type, here a handle on a simulated meter.
struct hid_device_ {
    int number = 0;
    sim::MeterEntry *meter = nullptr;
    unsigned generation = 0;          // plug-in the handle was opened on
    std::deque<sim::Report> queue;    // input reports not read yet
    bool nonblocking = false;
    std::wstring error;
};

namespace sim {

// Reports a handle holds before new ones are dropped, as hidraw does.
constexpr size_t kQueueLimit = 64;

class Bus;

class MeterEntry final : public Meter {
public:
    MeterEntry(Bus &bus, int id, const Identity &identity);

    int id() const override { return id_; }
    Identity identity() const override;
    void setIdentity(const Identity &identity) override;
    void unplug() override;
    void plug() override;
    bool plugged() const override;
    void setReportRate(double perSecond) override;
    void inject(const Report &report) override;
    std::vector<Written> written() const override;
    void clearWritten() override;
    MeterSettings settings() const override;
    void setSettings(const MeterSettings &settings) override;
    int lastPageCode() const override;
    int measurementsSent() const override;
    int droppedReports() const override;
    int pendingReports() const override;
    LoaderState loaderState() const override;
    int blocksAnnounced() const override;
    std::vector<unsigned char> receivedImage() const override;
    void setBurnDelayMs(int ms) override;
    void setScenario(Scenario scenario) override;
    void failWrites(int n, int bytesAccepted) override;
    void shortenReads(int n, int bytes) override;
    void dropAcks(int n) override;
    void misnumberAcks(int n, int offset) override;
    void corruptHandshakeReply(int n) override;
    void failureReply(int n) override;
    void setSilent(bool silent) override;
    void refuseOpens(bool refuse) override;

    // The rest is used by the bus and the hidapi functions, lock held.
    void plugLocked();
    bool live() const { return isPlugged && !detached; }

    Bus &bus;
    const int id_;
    MeterModel model;
    Identity pendingIdentity;
    bool isPlugged = false;
    bool detached = false;
    unsigned generation = 0;
    double nextReportAt = 0.0;
    int measurements = 0;
    int dropped = 0;
    std::vector<Written> writtenReports;
    int writeFailures = 0;
    int writeAccepted = -1;
    int shortReads = 0;
    int shortBytes = 16;
    bool opensRefused = false;
};

class Bus {
public:
    static Bus &instance();
    ~Bus();

    double now() const;
    bool alive(const hid_device *dev) const;
    // Queues an input report on every live handle of the meter.
    void deliver(MeterEntry &meter, const Report &report);
    void trace(int handle, const char *direction, const unsigned char *data, size_t length);
    void wakeClock() { clockWake.notify_all(); }
    void ensureClock();

    mutable std::mutex m;
    std::condition_variable dataReady;
    std::vector<std::unique_ptr<MeterEntry>> meters;
    std::set<hid_device *> handles;
    int nextHandle = 1;
    std::wstring lastError;
    std::atomic<int> globalCallers{0};
    std::atomic<int> globalOverlaps{0};
    std::atomic<int> globalCallMicroseconds{0};

private:
    Bus();
    void clockLoop();

    std::condition_variable clockWake;
    std::thread clock;
    bool stopping = false;
    const std::chrono::steady_clock::time_point epoch;
    std::FILE *traceFile = nullptr;
};

} // namespace sim
