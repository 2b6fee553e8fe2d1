#pragma once

#include <QByteArray>

// Command frames of the meter's firmware: 55 05 <length> <code> <value> EE FF,
// written as zero-padded 64-byte output reports on the dialog handle.
namespace Cmd {
enum Code : unsigned char {
    UpgradeStart = 0x02,
    SettingsEnter = 0x03,
    LanguageChinese = 0x20,
    LanguageEnglish = 0x21,
    WorkLight = 0x22,
    StandbyLight = 0x23,
    StandbyTime = 0x24,
    StandbyStyle1 = 0x25,
    StandbyStyle2 = 0x26,
    ClearCurrent = 0x27,
    FactoryReset = 0x28,
    DataZero = 0x29,
    VoltCali = 0x2A,
    CurrCali = 0x2B,
    TempCali = 0x2C,
    MinCurrent0A = 0x2D,
    MinCurrent10mA = 0x2E,
    MinCurrent20mA = 0x2F,
    StandbyStyleOriginal = 0x30,
    SwitchOn = 0x31,
    SwitchOff = 0x32,
    PageHome = 0x45,
    PageSettings = 0x46,
    PageDisp = 0x47,
    PageFour = 0x48,
    PageFive = 0x49,
    PageSix = 0x50,
};
} // namespace Cmd

namespace CommandFrame {
constexpr int kReportSize = 64;

// 9 bytes: 55 05 09 code 00 00 00 EE FF
QByteArray shortFrame(unsigned char code);
// 10 bytes: 55 05 0A code 00 00 00 value EE FF
QByteArray byteFrame(unsigned char code, int value);
// 10 bytes: 55 05 0A code <float, most significant byte first> EE FF
QByteArray floatFrame(unsigned char code, float value);
// Calibration factor carried by a slider position: position / 1000 as float.
float calibrationFactor(int sliderValue);
// The chart tick's request: 55 05 22 05 0B 00 8C EE FF
QByteArray periodicRequest();
// The 64-byte output report carrying `length` bytes of `frame` (at most 64).
QByteArray outputReport(const void *frame, unsigned length);
} // namespace CommandFrame
