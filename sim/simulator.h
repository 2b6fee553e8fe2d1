// Control side of the simulated meter.
//
// The simulator implements the hidapi C functions (see hidapi_sim.cpp) over
// models of attached meters. Tests, benchmarks and the demo build plug meters
// in and out, watch what the host wrote and provoke faults through this API.
// Every function here is safe to call from any thread.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace sim {

using Report = std::array<unsigned char, 64>;

struct Identity {
    unsigned short vendorId = 0x0483;
    unsigned short productId = 0x5750;
    std::wstring manufacturer = L"Ombrel Sim";
    std::wstring product = L"SIM M512X V1.2";
    std::wstring serial = L"0012345678";   // empty: the meter has no serial number
};

// The meter's own configuration, as its settings report carries it.
struct MeterSettings {
    unsigned char language = 0;       // 0 Chinese, 1 English
    unsigned char workLight = 5;      // 1..9 (10..100 on the compact family)
    unsigned char standbyLight = 3;   // 0..9
    unsigned char standbyTime = 30;   // 10..60
    unsigned char standbyStyle = 1;   // 1, 2 or 3
    unsigned char switchState = 0;    // rotation or motor switch
    float voltCali = 1.0f;
    float currCali = 1.0f;
    float tempCali = 1.0f;
    float minCurrent = 0.01f;
};

enum class LoaderState { Off, AwaitHandshake, Receiving, Burning };

// What the meter measures: the standard charge (5 V, then 9 V at 2 A that
// tapers slowly), a device charging at 9 V whose current falls below 0.05 A
// within two minutes and stays there, or a battery discharged at 1 A whose
// voltage falls from 4.2 V through 3.0 V within two minutes; or either side
// of a converter that gives out 80 % of what it takes in: its input at
// 12.5 V and 1 A (12.5 W), its output at 5 V and 2 A (10 W), both without
// noise, so a bench of the two has exact figures (efficiency 80 %, loss
// 2.5 W, drop 7.5 V, resistance 3.75 ohm). Time counts from the meter's
// power-on (its plugging in).
enum class Scenario { Standard, Charge, Discharge, ConverterIn, ConverterOut };
// The scenario of a name ("standard", "charge", "discharge", "converter-in",
// "converter-out"); false for none.
bool scenarioNamed(const std::string &name, Scenario &scenario);

struct Written {
    int handle;      // number of the handle the host wrote on
    Report bytes;    // the 64 bytes as the meter received them
};

class Meter {
public:
    virtual ~Meter() = default;

    virtual int id() const = 0;
    virtual Identity identity() const = 0;
    // Takes effect at the next plug; a plugged meter keeps its strings.
    virtual void setIdentity(const Identity &identity) = 0;

    virtual void unplug() = 0;
    virtual void plug() = 0;
    virtual bool plugged() const = 0;

    // Live measurement reports per second; 0 keeps the meter quiet apart from
    // its answers to requests.
    virtual void setReportRate(double perSecond) = 0;
    // What it measures from its next power-on on.
    virtual void setScenario(Scenario scenario) = 0;
    // Sends one input report now, to every open handle of the meter.
    virtual void inject(const Report &report) = 0;

    // Output reports the host wrote, oldest first.
    virtual std::vector<Written> written() const = 0;
    virtual void clearWritten() = 0;

    virtual MeterSettings settings() const = 0;
    virtual void setSettings(const MeterSettings &settings) = 0;
    virtual int lastPageCode() const = 0;   // last page-entry code, -1 if none
    virtual int measurementsSent() const = 0;
    // Reports lost because a handle's queue was full.
    virtual int droppedReports() const = 0;
    // Reports waiting in the fullest queue of the meter's open handles.
    virtual int pendingReports() const = 0;

    virtual LoaderState loaderState() const = 0;
    virtual int blocksAnnounced() const = 0;
    virtual std::vector<unsigned char> receivedImage() const = 0;
    virtual void setBurnDelayMs(int ms) = 0;

    // Faults, each for the next n occasions.
    virtual void failWrites(int n, int bytesAccepted = -1) = 0; // -1: error
    virtual void shortenReads(int n, int bytes = 16) = 0;
    virtual void dropAcks(int n) = 0;
    virtual void misnumberAcks(int n, int offset = 1) = 0;
    virtual void corruptHandshakeReply(int n) = 0;
    virtual void failureReply(int n) = 0;   // answer a block with failure
    virtual void setSilent(bool silent) = 0; // loader stops answering
    // Opens fail with EACCES, as a device node without read and write
    // permission makes them.
    virtual void refuseOpens(bool refuse) = 0;
};

// Plugs in a new meter and returns it. The meter lives until the process ends.
Meter &attach(const Identity &identity = Identity());
// Unplugs and forgets every meter: the next test starts with an empty bus.
void reset();
// Handles opened with hid_open and not yet closed.
int openHandles();
// hid_init, hid_exit, hid_enumerate, hid_open and hid_open_path share the
// library's one error string: the real hidapi frees it twice when two threads
// are in them at once. The simulator counts every such call that began while
// another thread was still in one, and keeps each call in for `microseconds`
// (none by default), as a slow scan of a busy bus would.
int overlappingGlobalCalls();
void setGlobalCallTime(int microseconds);
// Measurement report bytes of the meter for given readings (volts, amps, ...),
// for tests that need exact values on the wire.
Report measurementReport(double vbus, double ibus, double power, double pd, double pm,
                         double cc1, double cc2, double cpuTemp, double ntcTemp,
                         double capacity, double energy, unsigned char direction);

} // namespace sim
