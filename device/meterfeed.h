#pragma once

#include "device/meterreading.h"

#include <functional>

class MeterPort;

// A meter's reports as they arrive, for the window and the command line
// alike: the reports waiting on its port are drained and decoded in order
// into a reading, with whether the meter has measured since it was opened,
// so that no record is ever taken from a reading the meter has not sent
// (zeros, or the previous meter's values); and the once-a-second request
// for a measurement.
class MeterFeed
{
public:
    // A tick reads at most this many reports, so a meter that floods the
    // handle cannot hold the loop.
    static constexpr int kMaxReportsPerTick = 256;

    // Reads `port`, decoding into `reading` (the window's is the one its
    // dashboard paints).
    MeterFeed(MeterPort &port, MeterReading &reading);

    struct Drained {
        int reports = 0;         // whole reports read
        int measurements = 0;   // of them, measurements
        bool settings = false;   // a settings report among them
        bool gone = false;       // the port failed: the meter was pulled out
    };
    // Decodes the reports waiting; `measured` hears of each measurement as
    // it is decoded.
    Drained drain(const std::function<void(const MeterReading &)> &measured = {});

    // The meter opened last has sent a measurement, and was not lost since.
    bool hasMeasured() const;
    // The meter is gone (its port may still be open): nothing is measured
    // until a meter opened anew measures.
    void lost() { m_measuredOpen = 0; }
    const MeterReading &reading() const { return m_reading; }
    // Asks the meter for a measurement; false when it could not be sent.
    bool requestMeasurement();

private:
    MeterPort &m_port;
    MeterReading &m_reading;
    unsigned m_measuredOpen = 0;   // the port's open that measured, 0: none
    unsigned char m_buffer[kReportSize] = {};
};
