#include "device/metersettings.h"

#include "device/commandframe.h"
#include "device/meterport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cmath>

namespace MeterSettings {

const QList<Setting> &table()
{
    static const QList<Setting> settings = {
        {"language", Kind::Choice, BothPages, "language of the meter's screen",
         0, {{"zh", Cmd::LanguageChinese}, {"en", Cmd::LanguageEnglish}}},
        {"brightness", Kind::Level, BothPages, "brightness of the screen at work", Cmd::WorkLight, {}, 1, 9, 10, 100},
        {"standby-time", Kind::Level, FullPage, "seconds before the screen goes to standby", Cmd::StandbyTime, {}, 10,
         60},
        {"standby-brightness", Kind::Level, FullPage, "brightness of the screen in standby", Cmd::StandbyLight, {}, 0,
         9},
        {"standby-style", Kind::Choice, FullPage, "standby screen: style 1, style 2 or the original one",
         0, {{"1", Cmd::StandbyStyle1}, {"2", Cmd::StandbyStyle2}, {"original", Cmd::StandbyStyleOriginal}}},
        {"calibration-voltage", Kind::Calibration, FullPage, "voltage calibration factor", Cmd::VoltCali},
        {"calibration-current", Kind::Calibration, FullPage, "current calibration factor", Cmd::CurrCali},
        {"calibration-temperature", Kind::Calibration, FullPage, "temperature calibration factor", Cmd::TempCali},
        {"min-current", Kind::Choice, FullPage, "smallest current measured, in mA",
         0, {{"0", Cmd::MinCurrent0A}, {"10", Cmd::MinCurrent10mA}, {"20", Cmd::MinCurrent20mA}}},
        {"switch", Kind::Choice, BothPages, "the rotation (motor) switch",
         0, {{"on", Cmd::SwitchOn}, {"off", Cmd::SwitchOff}}},
        {"clear-current", Kind::Action, BothPages, "take the present current as zero", Cmd::ClearCurrent},
        {"zero", Kind::Action, BothPages, "set capacity and energy to zero", Cmd::DataZero},
        {"factory-reset", Kind::Action, FullPage, "restore the meter's factory settings", Cmd::FactoryReset},
    };
    return settings;
}

const Setting *find(const QString &name)
{
    for (const Setting &s : table()) {
        if (name == QLatin1String(s.name))
            return &s;
    }
    return nullptr;
}

QString valueSyntax(const Setting &s)
{
    switch (s.kind) {
    case Kind::Choice: {
        QStringList words;
        for (const Choice &c : s.choices)
            words << QLatin1String(c.word);
        return words.join(QLatin1Char('|'));
    }
    case Kind::Level:
        if (s.pages & CompactPage)
            return QStringLiteral("%1..%2 (%3..%4 compact)")
                .arg(s.minimum)
                .arg(s.maximum)
                .arg(s.compactMinimum)
                .arg(s.compactMaximum);
        return QStringLiteral("%1..%2").arg(s.minimum).arg(s.maximum);
    case Kind::Calibration:
        return QStringLiteral("0.500..2.000");
    case Kind::Action:
        break;
    }
    return QString();
}

QByteArray frame(const Setting &s, const QString &value, bool compact, QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return QByteArray();
    };
    if (!(s.pages & (compact ? CompactPage : FullPage)))
        return fail(QStringLiteral("this meter has no setting %1 (only the %2 family has it)")
                        .arg(QLatin1String(s.name), compact ? QStringLiteral("full") : QStringLiteral("compact")));
    switch (s.kind) {
    case Kind::Choice:
        for (const Choice &c : s.choices) {
            if (value == QLatin1String(c.word))
                return CommandFrame::shortFrame(c.code);
        }
        break;
    case Kind::Level: {
        bool ok = false;
        const int n = value.toInt(&ok);
        const int lo = compact ? s.compactMinimum : s.minimum;
        const int hi = compact ? s.compactMaximum : s.maximum;
        if (ok && n >= lo && n <= hi)
            return CommandFrame::byteFrame(s.code, n);
        return fail(QStringLiteral("bad value '%1' for --%2: a whole number %3..%4 on this meter")
                        .arg(value, QLatin1String(s.name))
                        .arg(lo)
                        .arg(hi));
    }
    case Kind::Calibration: {
        // The page's slider holds the factor in thousandths.
        bool ok = false;
        const double f = value.toDouble(&ok);
        if (ok && std::isfinite(f) && f >= 0.5 - 1e-9 && f <= 2.0 + 1e-9)
            return CommandFrame::floatFrame(s.code, CommandFrame::calibrationFactor(int(std::lround(f * 1000))));
        break;
    }
    case Kind::Action:
        return CommandFrame::shortFrame(s.code);
    }
    return fail(QStringLiteral("bad value '%1' for --%2: expected %3")
                    .arg(value, QLatin1String(s.name), valueSyntax(s)));
}

QList<QPair<QString, QString>> reported(const MeterReading &r)
{
    auto word = [](const char *name, int index) -> QString {
        const Setting *s = find(QLatin1String(name));
        if (index >= 0 && index < s->choices.size())
            return QLatin1String(s->choices[index].word);
        return QStringLiteral("unknown");
    };
    auto factor = [](float f) { return QString::number(double(f), 'f', 3); };
    const int minCurrent = int(std::lround(double(r.min_current) * 1000));
    return {
        {QStringLiteral("language"), word("language", r.language)},
        {QStringLiteral("brightness"), QString::number(r.work_light)},
        {QStringLiteral("standby-time"), QString::number(r.standby_time)},
        {QStringLiteral("standby-brightness"), QString::number(r.standby_light)},
        {QStringLiteral("standby-style"), word("standby-style", int(r.standby_style) - 1)},
        {QStringLiteral("calibration-voltage"), factor(r.volt_cali)},
        {QStringLiteral("calibration-current"), factor(r.curr_cali)},
        {QStringLiteral("calibration-temperature"), factor(r.temp_cali)},
        {QStringLiteral("min-current"), QString::number(minCurrent)},
        {QStringLiteral("switch"), r.switch_state == 1 ? QStringLiteral("on") : QStringLiteral("off")},
    };
}

namespace {

// Frames are written with a pause between them, as a hand on the page would.
constexpr int kFramePauseMs = 50;

bool send(MeterPort &port, const QByteArray &frame)
{
    const bool written = port.usb_send(frame.constData(), unsigned(frame.size()));
    QThread::msleep(kFramePauseMs);
    return written;
}

} // namespace

bool read(MeterPort &port, MeterReading *reading, QString *error)
{
    // Entering the settings page makes the meter send its settings report.
    unsigned char buffer[64];
    while (port.readReport(buffer) == 64) {
    }
    if (!send(port, CommandFrame::shortFrame(Cmd::SettingsEnter))
        || !send(port, CommandFrame::shortFrame(Cmd::PageSettings))) {
        *error = QCoreApplication::translate("Cli", "无法写入电表");
        return false;
    }
    bool got = false;
    QElapsedTimer clock;
    clock.start();
    while (!got && clock.elapsed() < 3000) {
        const int n = port.readReport(buffer, 100);
        if (n < 0)
            break;
        got = n == 64 && decodeReport(buffer, 64, *reading) == ReportKind::Settings;
    }
    send(port, CommandFrame::shortFrame(Cmd::PageHome));
    if (!got)
        *error = QCoreApplication::translate("Cli", "电表没有报告其设置");
    return got;
}

bool write(MeterPort &port, const QList<QByteArray> &frames, QString *error)
{
    bool written = send(port, CommandFrame::shortFrame(Cmd::SettingsEnter))
                   && send(port, CommandFrame::shortFrame(Cmd::PageSettings));
    for (const QByteArray &frame : frames)
        written = written && send(port, frame);
    written = written && send(port, CommandFrame::shortFrame(Cmd::PageHome));
    if (!written)
        *error = QCoreApplication::translate("Cli", "无法写入电表");
    return written;
}

} // namespace MeterSettings
