#pragma once

#include <cstdint>

// The latest values the meter reported: its measurements and its own
// settings, as a meter's feed (MeterFeed) decodes them.
struct MeterReading {
    // Measurement report
    float vbus = 0.0f;        // V
    float ibus = 0.0f;        // A
    float power = 0.0f;       // W
    float pd = 0.0f;          // D+ voltage, V
    float pm = 0.0f;          // D- voltage, V
    float cc1 = 0.0f;         // V
    float cc2 = 0.0f;         // V
    float capacity = 0.0f;    // Ah
    float energy = 0.0f;      // Wh
    float cpu_temp = 0.0f;    // °C
    float ntc_temp = 0.0f;    // °C
    uint8_t direction = 0;    // 0, 1 or 2
    // Settings report
    uint8_t language = 0;
    uint8_t work_light = 0;
    uint8_t standby_light = 0;
    uint8_t standby_time = 0;
    uint8_t standby_style = 0;
    uint8_t switch_state = 0;
    float volt_cali = 0.0f;
    float curr_cali = 0.0f;
    float temp_cali = 0.0f;
    float min_current = 0.0f;
};

enum class ReportKind { Ignored, Measurement, Settings };

constexpr unsigned kReportSize = 64;

// Decodes one input report into `into`. Measurement reports fill only the
// measurement fields, settings reports only the settings fields; anything
// else, or a report shorter than 64 bytes, leaves `into` as it was. Never
// reads beyond `length` bytes.
ReportKind decodeReport(const unsigned char *data, unsigned length, MeterReading &into);

// The window's record: its meter's feed decodes into it, the dashboard
// paints it.
MeterReading &meterReading();
