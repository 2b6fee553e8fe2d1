#include "metermodel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

void putU32(Report &r, int offset, double value)
{
    double micro = std::round(value * 1e6);
    micro = std::clamp(micro, 0.0, 4294967295.0);
    const uint32_t v = static_cast<uint32_t>(micro);
    r[offset] = v & 0xFF;
    r[offset + 1] = (v >> 8) & 0xFF;
    r[offset + 2] = (v >> 16) & 0xFF;
    r[offset + 3] = (v >> 24) & 0xFF;
}

void putFloatBE(Report &r, int offset, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    r[offset] = bits >> 24;
    r[offset + 1] = (bits >> 16) & 0xFF;
    r[offset + 2] = (bits >> 8) & 0xFF;
    r[offset + 3] = bits & 0xFF;
}

float floatBE(const unsigned char *p)
{
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16)
                          | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

} // namespace

unsigned short crc16Modbus(const unsigned char *data, size_t length)
{
    unsigned short crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

Report measurementReport(double vbus, double ibus, double power, double pd, double pm,
                         double cc1, double cc2, double cpuTemp, double ntcTemp,
                         double capacity, double energy, unsigned char direction)
{
    Report r{};
    r[0] = 0xAA;
    r[1] = 0x40;
    r[2] = 0x62;
    r[3] = 0x05;
    putU32(r, 8, vbus);
    putU32(r, 12, ibus);
    putU32(r, 16, power);
    putU32(r, 20, pd);
    putU32(r, 24, pm);
    putU32(r, 28, cc1);
    putU32(r, 32, cc2);
    putU32(r, 36, cpuTemp);
    putU32(r, 40, ntcTemp);
    putU32(r, 44, capacity);
    putU32(r, 48, energy);
    r[60] = direction;
    return r;
}

MeterModel::MeterModel(const Identity &id) : identity(id)
{
    if (compactFamily())
        settings.workLight = 50;
}

bool MeterModel::compactFamily() const
{
    // Second word of the product string.
    const std::wstring &p = identity.product;
    const size_t a = p.find(L' ');
    if (a == std::wstring::npos)
        return false;
    const size_t b = p.find(L' ', a + 1);
    const std::wstring word = p.substr(a + 1, b == std::wstring::npos ? std::wstring::npos : b - a - 1);
    for (const wchar_t *w : {L"K4", L"K4R", L"N70", L"M512", L"W2R", L"QM512R"})
        if (word == w)
            return true;
    return false;
}

void MeterModel::powerOn(double now)
{
    startedAt = now;
    lastAdvance = now;
    loader = LoaderState::Off;
    burnDoneAt = std::numeric_limits<double>::infinity();
}

bool scenarioNamed(const std::string &name, Scenario &scenario)
{
    if (name == "standard")
        scenario = Scenario::Standard;
    else if (name == "charge")
        scenario = Scenario::Charge;
    else if (name == "discharge")
        scenario = Scenario::Discharge;
    else if (name == "converter-in")
        scenario = Scenario::ConverterIn;
    else if (name == "converter-out")
        scenario = Scenario::ConverterOut;
    else
        return false;
    return true;
}

// Bus voltage and current at t seconds after power-on.
void MeterModel::electrical(double t, double &v, double &i) const
{
    switch (scenario) {
    case Scenario::Charge:
        // 2 A for ten seconds, then down to 0.03 A, below 0.05 A after
        // about 80 s.
        i = t < 10.0 ? 2.0 : std::max(0.03, 2.0 * std::exp(-(t - 10.0) / 18.0));
        v = 9.02 - 0.04 * i;
        return;
    case Scenario::Discharge:
        // 1 A from 4.2 V down by 12 mV a second: 3.0 V after 100 s, at
        // most down to 2.5 V.
        i = 1.0;
        v = std::max(2.5, 4.2 - 0.012 * t);
        return;
    case Scenario::ConverterIn:
        v = 12.5;
        i = 1.0;
        return;
    case Scenario::ConverterOut:
        v = 5.0;
        i = 2.0;
        return;
    case Scenario::Standard:
        break;
    }
    // A charge that starts at 5 V with a light load, negotiates 9 V after two
    // seconds, draws 2 A for a minute and then tapers off, with a little ripple.
    if (t < 2.0) {
        v = 5.08;
        i = 0.08;
    } else if (t < 3.0) {
        v = 5.08 + (t - 2.0) * 3.94;
        i = 0.08 + (t - 2.0) * 0.5;
    } else {
        const double base = t < 63.0 ? 2.0 : 0.35 + 1.65 * std::exp(-(t - 63.0) / 900.0);
        i = base + 0.015 * std::sin(2 * kPi * 0.9 * t);
        v = 9.02 - 0.04 * i + 0.004 * std::sin(2 * kPi * 0.37 * t);
    }
}

void MeterModel::advance(double now)
{
    // Integrate capacity and energy in steps of at most 100 ms.
    while (lastAdvance < now) {
        const double dt = std::min(0.1, now - lastAdvance);
        const double mid = lastAdvance + dt / 2 - startedAt;
        double v, i;
        electrical(mid, v, i);
        i = std::max(0.0, i - currentOffset);
        capacityAh += i * dt / 3600.0;
        energyWh += v * i * dt / 3600.0;
        lastAdvance += dt;
    }
}

Report MeterModel::measurement(double now)
{
    advance(now);
    const double t = now - startedAt;
    double v, i;
    electrical(t, v, i);
    noise = noise * 1103515245u + 12345u;
    const bool exact = scenario == Scenario::ConverterIn || scenario == Scenario::ConverterOut;
    const double jitter = exact ? 0.0 : ((noise >> 16) % 1000) / 1000.0 - 0.5;   // -0.5 .. 0.5
    v = v * settings.voltCali + jitter * 0.002;
    i = std::max(0.0, i - currentOffset) * settings.currCali + jitter * 0.001;
    if (i < settings.minCurrent)
        i = 0.0;
    const bool negotiated = t >= 3.0;
    const double pd = negotiated ? 0.60 : 2.70;
    const double pm = negotiated ? 0.00 : 2.70;
    const double cpu = (27.0 + 9.0 * (1.0 - std::exp(-t / 400.0))) * settings.tempCali;
    const double ntc = 24.0 + 14.0 * (1.0 - std::exp(-t / 600.0));
    return measurementReport(v, i, v * i, pd, pm, 1.68, 0.0, cpu + jitter * 0.1, ntc,
                             capacityAh, energyWh, i > 0.0 ? 1 : 2);
}

Report MeterModel::settingsReport() const
{
    Report r{};
    r[0] = 0xAA;
    r[1] = 0x05;
    r[2] = 0x40;
    r[8] = settings.language;
    r[9] = settings.workLight;
    r[10] = settings.standbyLight;
    r[11] = settings.standbyTime;
    r[12] = settings.standbyStyle;
    r[13] = settings.switchState;
    putFloatBE(r, 16, settings.voltCali);
    putFloatBE(r, 20, settings.currCali);
    putFloatBE(r, 24, settings.tempCali);
    putFloatBE(r, 28, settings.minCurrent);
    r[62] = 0xEE;
    r[63] = 0xFF;
    return r;
}

std::vector<Report> MeterModel::receive(const Report &out, double now)
{
    std::vector<Report> replies;
    if (loader != LoaderState::Off) {
        // The loader reads frames behind the report's lead byte.
        if (!silent)
            replies = loaderReceive(out.data() + 1, now);
        return replies;
    }
    if (out[0] != 0x55 || out[1] != 0x05)
        return replies;
    static const unsigned char request[9] = {0x55, 0x05, 0x22, 0x05, 0x0B, 0x00, 0x8C, 0xEE, 0xFF};
    if (std::equal(request, request + 9, out.begin())) {
        replies.push_back(measurement(now));
        return replies;
    }
    const int length = out[2];
    if ((length != 9 && length != 10) || out[length - 2] != 0xEE || out[length - 1] != 0xFF)
        return replies;   // not a frame of this firmware
    applyCommand(out[3], out.data() + 4, length == 10, replies);
    return replies;
}

void MeterModel::applyCommand(unsigned char code, const unsigned char *value, bool hasValue,
                              std::vector<Report> &replies)
{
    MeterSettings &s = settings;
    bool changed = true;
    switch (code) {
    case 0x02:
        loader = LoaderState::AwaitHandshake;
        announcedBlocks = 0;
        nextBlock = 0;
        received.clear();
        return;
    case 0x03:
        changed = false;
        break;
    case 0x46:
        lastPageCode = code;
        replies.push_back(settingsReport());
        return;
    case 0x45: case 0x47: case 0x48: case 0x49: case 0x50:
        lastPageCode = code;
        return;
    case 0x20: s.language = 0; break;
    case 0x21: s.language = 1; break;
    case 0x22: if (hasValue) s.workLight = value[3]; break;
    case 0x23: if (hasValue) s.standbyLight = value[3]; break;
    case 0x24: if (hasValue) s.standbyTime = value[3]; break;
    case 0x25: s.standbyStyle = 1; break;
    case 0x26: s.standbyStyle = 2; break;
    case 0x30: s.standbyStyle = 3; break;
    case 0x27: {
        double v, i;
        electrical(lastAdvance - startedAt, v, i);
        currentOffset = i;
        break;
    }
    case 0x28:
        s = MeterSettings();
        if (compactFamily())
            s.workLight = 50;
        currentOffset = 0.0;
        break;
    case 0x29:
        capacityAh = 0.0;
        energyWh = 0.0;
        break;
    case 0x2A: if (hasValue) s.voltCali = floatBE(value); break;
    case 0x2B: if (hasValue) s.currCali = floatBE(value); break;
    case 0x2C: if (hasValue) s.tempCali = floatBE(value); break;
    case 0x2D: s.minCurrent = 0.0f; break;
    case 0x2E: s.minCurrent = 0.01f; break;
    case 0x2F: s.minCurrent = 0.02f; break;
    case 0x31: s.switchState = 1; break;
    case 0x32: s.switchState = 0; break;
    default:
        changed = false;
        break;
    }
    if (changed)
        replies.push_back(settingsReport());
}

Report MeterModel::loaderReply(std::initializer_list<unsigned char> bytes) const
{
    // Replies travel like every input report: a lead byte, then the frame.
    Report r{};
    r[0] = 0x55;
    std::copy(bytes.begin(), bytes.end(), r.begin() + 1);
    return r;
}

std::vector<Report> MeterModel::loaderReceive(const unsigned char *f, double now)
{
    std::vector<Report> replies;
    if (f[0] == 0xAA && f[1] == 0x06 && loader != LoaderState::Burning) {
        if (crc16Modbus(f, 4) != (f[4] | (f[5] << 8)))
            return replies;
        announcedBlocks = f[2] | (f[3] << 8);
        nextBlock = 0;
        received.clear();
        loader = LoaderState::Receiving;
        unsigned char reply[5] = {0xBB, 0x05, 0x00, 0, 0};
        const unsigned short crc = crc16Modbus(reply, 3);
        reply[3] = crc & 0xFF;
        reply[4] = crc >> 8;
        if (corruptHandshake > 0) {
            --corruptHandshake;
            reply[4] ^= 0x5A;
        }
        replies.push_back(loaderReply({reply[0], reply[1], reply[2], reply[3], reply[4]}));
        return replies;
    }
    if (f[0] != 0xCC || loader != LoaderState::Receiving)
        return replies;
    const int length = f[1];
    const int number = f[2] | (f[3] << 8);
    bool crcOk;
    int dataBytes;
    if (length == 0x40) {
        // A full block's CRC high byte does not fit the report: the low byte is
        // all that can be checked.
        dataBytes = 58;
        crcOk = (crc16Modbus(f, 62) & 0xFF) == f[62];
    } else if (length >= 7 && length <= 63) {
        dataBytes = length - 6;
        crcOk = crc16Modbus(f, length - 2) == (f[length - 2] | (f[length - 1] << 8));
    } else {
        return replies;
    }
    if (!crcOk || failureReplies > 0) {
        if (failureReplies > 0)
            --failureReplies;
        replies.push_back(loaderReply({0x11}));
        return replies;
    }
    if (number == nextBlock) {
        received.insert(received.end(), f + 4, f + 4 + dataBytes);
        ++nextBlock;
    }
    // A repeated block is acknowledged again but stored once.
    if (dropAcks > 0) {
        --dropAcks;
    } else {
        int acked = number;
        if (misnumberAcks > 0) {
            --misnumberAcks;
            acked += misnumberOffset;
        }
        replies.push_back(loaderReply({0xDD, 0x06, static_cast<unsigned char>(acked & 0xFF),
                                       static_cast<unsigned char>((acked >> 8) & 0xFF)}));
    }
    if (nextBlock >= announcedBlocks) {
        replies.push_back(loaderReply({0xEE}));
        loader = LoaderState::Burning;
        burnDoneAt = now + burnDelayMs / 1000.0;
    }
    return replies;
}

std::vector<Report> MeterModel::fireEvents(double now)
{
    std::vector<Report> replies;
    if (loader == LoaderState::Burning && now >= burnDoneAt) {
        burnDoneAt = std::numeric_limits<double>::infinity();
        if (!silent)
            replies.push_back(loaderReply({0xFF}));
        // The new firmware starts: back to measuring.
        powerOn(now);
    }
    return replies;
}

} // namespace sim
