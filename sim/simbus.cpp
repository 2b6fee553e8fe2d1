#include "simbus.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace sim {

using Lock = std::lock_guard<std::mutex>;

// ---------------------------------------------------------------- bus

Bus &Bus::instance()
{
    static Bus bus;
    return bus;
}

Bus::Bus() : epoch(std::chrono::steady_clock::now())
{
    if (const char *path = std::getenv("OMBREL_SIM_TRACE")) {
        if (*path) {
            traceFile = std::fopen(path, "w");
            if (traceFile)
                std::setvbuf(traceFile, nullptr, _IOLBF, 0);
        }
    }
}

Bus::~Bus()
{
    {
        Lock lock(m);
        stopping = true;
    }
    clockWake.notify_all();
    if (clock.joinable())
        clock.join();
    for (hid_device *dev : handles)
        delete dev;
    if (traceFile)
        std::fclose(traceFile);
}

double Bus::now() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
}

bool Bus::alive(const hid_device *dev) const
{
    return dev && dev->meter && dev->meter->live() && dev->meter->generation == dev->generation;
}

void Bus::deliver(MeterEntry &meter, const Report &report)
{
    for (hid_device *dev : handles) {
        if (dev->meter != &meter || !alive(dev))
            continue;
        if (dev->queue.size() >= kQueueLimit)
            ++meter.dropped;
        else
            dev->queue.push_back(report);
    }
    dataReady.notify_all();
}

void Bus::trace(int handle, const char *direction, const unsigned char *data, size_t length)
{
    if (!traceFile)
        return;
    const long long ms = static_cast<long long>(now() * 1000.0);
    std::fprintf(traceFile, "%lld %d %s", ms, handle, direction);
    for (size_t i = 0; i < 64; ++i)
        std::fprintf(traceFile, " %02X", i < length ? data[i] : 0);
    std::fputc('\n', traceFile);
}

void Bus::ensureClock()
{
    if (!clock.joinable())
        clock = std::thread([this] { clockLoop(); });
}

// The meters' own time: live reports at each meter's rate, and events such as
// the end of a firmware burn.
void Bus::clockLoop()
{
    std::unique_lock<std::mutex> lock(m);
    while (!stopping) {
        const double t = now();
        double next = std::numeric_limits<double>::infinity();
        for (auto &meter : meters) {
            if (!meter->live())
                continue;
            MeterModel &model = meter->model;
            for (const Report &r : model.fireEvents(t))
                deliver(*meter, r);
            next = std::min(next, model.nextEventAt());
            if (!model.sendsMeasurements() || model.reportRate <= 0.0)
                continue;
            const double period = 1.0 / model.reportRate;
            if (t >= meter->nextReportAt) {
                deliver(*meter, model.measurement(t));
                ++meter->measurements;
                meter->nextReportAt += period;
                if (meter->nextReportAt < t)   // fell behind: do not catch up in a burst
                    meter->nextReportAt = t + period;
            }
            next = std::min(next, meter->nextReportAt);
        }
        if (std::isinf(next)) {
            clockWake.wait(lock);
        } else {
            const auto until = epoch + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                           std::chrono::duration<double>(next));
            clockWake.wait_until(lock, until);
        }
    }
}

// ---------------------------------------------------------------- meter

MeterEntry::MeterEntry(Bus &b, int id, const Identity &identity)
    : bus(b), id_(id), model(identity), pendingIdentity(identity)
{
}

void MeterEntry::plugLocked()
{
    if (detached || isPlugged)
        return;
    isPlugged = true;
    ++generation;
    model.identity = pendingIdentity;
    const double t = bus.now();
    model.powerOn(t);
    nextReportAt = t + (model.reportRate > 0 ? 1.0 / model.reportRate : 0.0);
    bus.wakeClock();
}

Identity MeterEntry::identity() const { Lock l(bus.m); return model.identity; }
void MeterEntry::setIdentity(const Identity &identity) { Lock l(bus.m); pendingIdentity = identity; }

void MeterEntry::unplug()
{
    Lock l(bus.m);
    isPlugged = false;
    bus.dataReady.notify_all();
    bus.wakeClock();
}

void MeterEntry::plug() { Lock l(bus.m); plugLocked(); }
bool MeterEntry::plugged() const { Lock l(bus.m); return live(); }

void MeterEntry::setReportRate(double perSecond)
{
    Lock l(bus.m);
    model.reportRate = perSecond;
    nextReportAt = bus.now() + (perSecond > 0 ? 1.0 / perSecond : 0.0);
    bus.wakeClock();
}

void MeterEntry::inject(const Report &report)
{
    Lock l(bus.m);
    if (live())
        bus.deliver(*this, report);
}

std::vector<Written> MeterEntry::written() const { Lock l(bus.m); return writtenReports; }
void MeterEntry::clearWritten() { Lock l(bus.m); writtenReports.clear(); }
MeterSettings MeterEntry::settings() const { Lock l(bus.m); return model.settings; }
void MeterEntry::setSettings(const MeterSettings &s) { Lock l(bus.m); model.settings = s; }
int MeterEntry::lastPageCode() const { Lock l(bus.m); return model.lastPageCode; }
int MeterEntry::measurementsSent() const { Lock l(bus.m); return measurements; }
int MeterEntry::droppedReports() const { Lock l(bus.m); return dropped; }

int MeterEntry::pendingReports() const
{
    Lock l(bus.m);
    size_t most = 0;
    for (const hid_device *dev : bus.handles) {
        if (dev->meter == this && bus.alive(dev))
            most = std::max(most, dev->queue.size());
    }
    return static_cast<int>(most);
}
LoaderState MeterEntry::loaderState() const { Lock l(bus.m); return model.loaderState(); }
int MeterEntry::blocksAnnounced() const { Lock l(bus.m); return model.blocksAnnounced(); }
std::vector<unsigned char> MeterEntry::receivedImage() const { Lock l(bus.m); return model.image(); }
void MeterEntry::setBurnDelayMs(int ms) { Lock l(bus.m); model.burnDelayMs = ms; }
void MeterEntry::setScenario(Scenario scenario) { Lock l(bus.m); model.scenario = scenario; }

void MeterEntry::failWrites(int n, int bytesAccepted)
{
    Lock l(bus.m);
    writeFailures = n;
    writeAccepted = bytesAccepted;
}

void MeterEntry::shortenReads(int n, int bytes)
{
    Lock l(bus.m);
    shortReads = n;
    shortBytes = bytes;
}

void MeterEntry::dropAcks(int n) { Lock l(bus.m); model.dropAcks = n; }

void MeterEntry::misnumberAcks(int n, int offset)
{
    Lock l(bus.m);
    model.misnumberAcks = n;
    model.misnumberOffset = offset;
}

void MeterEntry::corruptHandshakeReply(int n) { Lock l(bus.m); model.corruptHandshake = n; }
void MeterEntry::failureReply(int n) { Lock l(bus.m); model.failureReplies = n; }
void MeterEntry::setSilent(bool silent) { Lock l(bus.m); model.silent = silent; }
void MeterEntry::refuseOpens(bool refuse) { Lock l(bus.m); opensRefused = refuse; }

// ---------------------------------------------------------------- control API

Meter &attach(const Identity &identity)
{
    Bus &bus = Bus::instance();
    Lock l(bus.m);
    bus.ensureClock();
    const int id = static_cast<int>(bus.meters.size()) + 1;
    bus.meters.push_back(std::make_unique<MeterEntry>(bus, id, identity));
    MeterEntry &meter = *bus.meters.back();
    meter.plugLocked();
    return meter;
}

void reset()
{
    Bus &bus = Bus::instance();
    Lock l(bus.m);
    for (auto &meter : bus.meters) {
        meter->isPlugged = false;
        meter->detached = true;
    }
    bus.globalOverlaps = 0;
    bus.globalCallMicroseconds = 0;
    bus.dataReady.notify_all();
    bus.wakeClock();
}

int overlappingGlobalCalls()
{
    return Bus::instance().globalOverlaps.load();
}

void setGlobalCallTime(int microseconds)
{
    Bus::instance().globalCallMicroseconds = microseconds;
}

int openHandles()
{
    Bus &bus = Bus::instance();
    Lock l(bus.m);
    return static_cast<int>(bus.handles.size());
}

} // namespace sim
