#include "device/meterreading.h"

#include <cstring>

namespace {

// Unsigned little-endian count of millionths.
float micro(const unsigned char *p)
{
    const uint32_t raw = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16)
                         | (uint32_t(p[3]) << 24);
    return static_cast<float>(static_cast<double>(raw) / 1000000.0);
}

// IEEE-754 single, most significant byte first.
float floatBE(const unsigned char *p)
{
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8)
                          | uint32_t(p[3]);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

ReportKind decodeReport(const unsigned char *data, unsigned length, MeterReading &r)
{
    // Both kinds are 64 bytes; a settings report is recognised by its last two
    // bytes, so a shorter buffer cannot be one.
    if (!data || length < kReportSize || data[0] != 0xAA)
        return ReportKind::Ignored;

    if (data[1] == 0x40) {
        if (data[2] != 0x62 || data[3] != 0x05 || length != kReportSize)
            return ReportKind::Ignored;
        r.vbus = micro(data + 8);
        r.ibus = micro(data + 12);
        r.power = micro(data + 16);
        r.pd = micro(data + 20);
        r.pm = micro(data + 24);
        r.cc1 = micro(data + 28);
        r.cc2 = micro(data + 32);
        r.cpu_temp = micro(data + 36);
        r.ntc_temp = micro(data + 40);
        r.capacity = micro(data + 44);
        r.energy = micro(data + 48);
        r.direction = data[60];
        return ReportKind::Measurement;
    }

    if (data[1] == 0x05) {
        if (data[2] != 0x40 || data[62] != 0xEE || data[63] != 0xFF)
            return ReportKind::Ignored;
        r.language = data[8];
        r.work_light = data[9];
        r.standby_light = data[10];
        r.standby_time = data[11];
        r.standby_style = data[12];
        r.switch_state = data[13];
        r.volt_cali = floatBE(data + 16);
        r.curr_cali = floatBE(data + 20);
        r.temp_cali = floatBE(data + 24);
        r.min_current = floatBE(data + 28);
        return ReportKind::Settings;
    }
    return ReportKind::Ignored;
}

MeterReading &meterReading()
{
    static MeterReading reading;
    return reading;
}

