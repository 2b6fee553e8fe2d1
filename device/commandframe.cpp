#include "device/commandframe.h"

#include <algorithm>
#include <cstring>

namespace CommandFrame {

namespace {
QByteArray frame(unsigned char code, const unsigned char value[4], bool withValue)
{
    QByteArray f;
    f.append(char(0x55)).append(char(0x05)).append(char(withValue ? 0x0A : 0x09)).append(char(code));
    if (withValue)
        f.append(reinterpret_cast<const char *>(value), 4);
    else
        f.append(3, '\0');
    f.append(char(0xEE)).append(char(0xFF));
    return f;
}
} // namespace

QByteArray shortFrame(unsigned char code)
{
    return frame(code, nullptr, false);
}

QByteArray byteFrame(unsigned char code, int value)
{
    const unsigned char v[4] = {0, 0, 0, static_cast<unsigned char>(value & 0xFF)};
    return frame(code, v, true);
}

QByteArray floatFrame(unsigned char code, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const unsigned char v[4] = {static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
                                static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
    return frame(code, v, true);
}

float calibrationFactor(int sliderValue)
{
    return static_cast<float>(sliderValue / 1000.0);
}

QByteArray periodicRequest()
{
    static const char bytes[] = {0x55, 0x05, 0x22, 0x05, 0x0B, 0x00, char(0x8C), char(0xEE), char(0xFF)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray outputReport(const void *frame, unsigned length)
{
    QByteArray report(kReportSize, '\0');
    if (frame)
        std::memcpy(report.data(), frame, std::min<unsigned>(length, kReportSize));
    return report;
}

} // namespace CommandFrame
