// The simulated meter's firmware and loader: what it measures, how it answers
// command frames, and how its loader takes a firmware image. Not thread-safe:
// the bus holds its lock around every call.
#pragma once

#include "simulator.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace sim {

unsigned short crc16Modbus(const unsigned char *data, size_t length);

class MeterModel {
public:
    explicit MeterModel(const Identity &id);

    Identity identity;
    MeterSettings settings;
    double reportRate = 4.0;
    int burnDelayMs = 1500;
    Scenario scenario = Scenario::Standard;
    int lastPageCode = -1;

    // Loader faults, counted down as they are used.
    int dropAcks = 0;
    int misnumberAcks = 0;
    int misnumberOffset = 1;
    int corruptHandshake = 0;
    int failureReplies = 0;
    bool silent = false;

    // Power-on: the loader is left, the measurement clock starts again.
    void powerOn(double now);
    bool sendsMeasurements() const { return loader == LoaderState::Off; }

    Report measurement(double now);
    Report settingsReport() const;

    // One output report from the host; returns the input reports it answers.
    std::vector<Report> receive(const Report &out, double now);

    // Time of the next event of the meter's own (burn completion), or +inf.
    double nextEventAt() const { return burnDoneAt; }
    std::vector<Report> fireEvents(double now);

    LoaderState loaderState() const { return loader; }
    int blocksAnnounced() const { return announcedBlocks; }
    const std::vector<unsigned char> &image() const { return received; }

private:
    void advance(double now);
    void electrical(double t, double &v, double &i) const;
    bool compactFamily() const;
    void applyCommand(unsigned char code, const unsigned char *value, bool hasValue,
                      std::vector<Report> &replies);
    std::vector<Report> loaderReceive(const unsigned char *frame, double now);
    Report loaderReply(std::initializer_list<unsigned char> bytes) const;

    // Measurement state
    double startedAt = 0.0;
    double lastAdvance = 0.0;
    double capacityAh = 0.0;
    double energyWh = 0.0;
    double currentOffset = 0.0;
    uint32_t noise = 12345u;

    // Loader state
    LoaderState loader = LoaderState::Off;
    int announcedBlocks = 0;
    int nextBlock = 0;
    std::vector<unsigned char> received;
    double burnDoneAt = std::numeric_limits<double>::infinity();
};

} // namespace sim
