#include "recording/stopconditions.h"

#include "recording/runjournal.h"
#include "recording/runstats.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>

namespace {

// Largest value any condition takes: beyond it a number is surely a mistake.
constexpr double kLargest = 1e9;

bool number(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0 || v > kLargest)
        return false;
    *value = v;
    return true;
}

QString num(double v)
{
    return QString::number(v, 'g', 10);
}

} // namespace

const std::vector<StopConditions::Option> &StopConditions::options()
{
    static const std::vector<Option> table = {
        {"until-duration", "seconds", "End the run after this many seconds.", Duration},
        {"until-current-below", "A:seconds",
         "End the run when the bus current has stayed below A amperes for this many seconds (a charge is "
         "complete).",
         CurrentBelow},
        {"until-voltage-below", "V", "End the run when the bus voltage falls below V volts (a discharge cut-off).",
         VoltageBelow},
        {"until-charge", "Ah", "End the run when its charge reaches this many ampere-hours.", Charge},
        {"until-energy", "Wh", "End the run when its energy reaches this many watt-hours.", Energy},
    };
    return table;
}

StopConditions::StopConditions()
{
    m_conditions[Duration].value = 3600;
    m_conditions[CurrentBelow].value = 0.05;
    m_conditions[CurrentBelow].seconds = 30;
    m_conditions[VoltageBelow].value = 3.0;
    m_conditions[Charge].value = 1.0;
    m_conditions[Energy].value = 10.0;
}

bool StopConditions::any() const
{
    for (const Condition &c : m_conditions) {
        if (c.on)
            return true;
    }
    return false;
}

void StopConditions::reset()
{
    m_belowSinceMs = -1;
    m_lastRunMs = 0;
}

void StopConditions::recorded(const RunStats &stats)
{
    if (stats.size() == 0)
        return;
    const RunStats::Sample &s = stats.sample(stats.size() - 1);
    const bool gap = stats.size() > 1 && s.runMs - m_lastRunMs > RunStats::kMaxPairGapMs;
    m_lastRunMs = s.runMs;
    if (double(s.value[RunStats::Ibus]) >= m_conditions[CurrentBelow].value)
        m_belowSinceMs = -1;
    else if (m_belowSinceMs < 0 || gap)
        m_belowSinceMs = s.runMs;
}

std::optional<StopConditions::Kind> StopConditions::met(const RunStats &stats, qint64 elapsedMs, int tickMs) const
{
    const Condition &duration = m_conditions[Duration];
    if (duration.on && elapsedMs + tickMs / 2 >= qint64(std::llround(duration.value * 1000)))
        return Duration;
    if (stats.size() == 0)
        return std::nullopt;
    const RunStats::Sample &latest = stats.sample(stats.size() - 1);
    const Condition &current = m_conditions[CurrentBelow];
    // Like the duration, met at the record that comes nearest the time: the
    // records' own times wander by a few milliseconds around their ticks.
    if (current.on && m_belowSinceMs >= 0
        && latest.runMs - m_belowSinceMs + tickMs / 2 >= qint64(std::llround(current.seconds * 1000)))
        return CurrentBelow;
    const Condition &voltage = m_conditions[VoltageBelow];
    if (voltage.on && double(latest.value[RunStats::Vbus]) < voltage.value)
        return VoltageBelow;
    const Condition &charge = m_conditions[Charge];
    const Condition &energy = m_conditions[Energy];
    if (charge.on || energy.on) {
        const IntervalStats total = stats.total();
        if (charge.on && total.charge_ah >= charge.value)
            return Charge;
        if (energy.on && total.energy_wh >= energy.value)
            return Energy;
    }
    return std::nullopt;
}

namespace {

// The words of the end reasons' codes, by kind.
const char *const kReasonNames[StopConditions::KindCount] = {"duration", "current_below", "voltage_below", "charge",
                                                             "energy"};

} // namespace

QString StopConditions::reason(Kind kind) const
{
    if (kind < 0 || kind >= KindCount)
        return QString();
    const Condition &c = m_conditions[size_t(kind)];
    QString code = QLatin1String(kReasonNames[kind]) + QLatin1Char(':') + num(c.value);
    if (kind == CurrentBelow)
        code += QLatin1Char(':') + num(c.seconds);
    return code;
}

bool StopConditions::fromReason(const QString &reason, Kind *kind, Condition *condition)
{
    const QStringList parts = reason.split(QLatin1Char(':'));
    for (int k = 0; k < KindCount; ++k) {
        if (parts[0] != QLatin1String(kReasonNames[k]))
            continue;
        Condition c;
        c.on = true;
        const int values = k == CurrentBelow ? 2 : 1;
        if (parts.size() != 1 + values || !number(parts[1], &c.value)
            || (values == 2 && !number(parts[2], &c.seconds)))
            return false;
        *kind = Kind(k);
        *condition = c;
        return true;
    }
    return false;
}

QString StopConditions::reasonWords(const QString &reason, bool running)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("StopConditions", text); };
    if (running)
        return tr("记录中");
    if (reason == QLatin1String(RunJournal::kStopped))
        return tr("已停止");
    if (reason == QLatin1String(RunJournal::kUnplugged))
        return tr("仪表已拔出");
    if (reason == QLatin1String(RunJournal::kInterrupted))
        return tr("中断");
    Kind kind;
    Condition c;
    if (!fromReason(reason, &kind, &c))
        return reason;   // as an older version wrote it
    return tr("条件：%1").arg(conditionWords(kind, c));
}

QString StopConditions::conditionWords(Kind kind, const Condition &c)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("StopConditions", text); };
    switch (kind) {
    case Duration:
        return tr("运行时长达到 %1 秒").arg(num(c.value));
    case CurrentBelow:
        return tr("电流低于 %1 A 持续 %2 秒").arg(num(c.value), num(c.seconds));
    case VoltageBelow:
        return tr("电压低于 %1 V").arg(num(c.value));
    case Charge:
        return tr("电量达到 %1 Ah").arg(num(c.value));
    case Energy:
        return tr("能量达到 %1 Wh").arg(num(c.value));
    case KindCount:
        break;
    }
    return QString();
}

bool StopConditions::parse(Kind kind, const QString &text, Condition *condition, QString *error)
{
    Condition c;
    c.on = true;
    bool ok = false;
    switch (kind) {
    case CurrentBelow: {
        const QStringList parts = text.split(QLatin1Char(':'));
        ok = parts.size() == 2 && number(parts[0], &c.value) && number(parts[1], &c.seconds);
        if (!ok)
            *error = QStringLiteral("amperes and seconds above 0, as 0.05:30");
        break;
    }
    case Duration:
        ok = number(text, &c.value);
        if (!ok)
            *error = QStringLiteral("a number of seconds above 0");
        break;
    case VoltageBelow:
        ok = number(text, &c.value);
        if (!ok)
            *error = QStringLiteral("a number of volts above 0");
        break;
    case Charge:
        ok = number(text, &c.value);
        if (!ok)
            *error = QStringLiteral("a number of ampere-hours above 0");
        break;
    case Energy:
        ok = number(text, &c.value);
        if (!ok)
            *error = QStringLiteral("a number of watt-hours above 0");
        break;
    case KindCount:
        break;
    }
    if (ok)
        *condition = c;
    return ok;
}

QString StopConditions::valueText(Kind kind) const
{
    const Condition &c = m_conditions[size_t(kind)];
    return kind == CurrentBelow ? num(c.value) + QLatin1Char(':') + num(c.seconds) : num(c.value);
}

QString StopConditions::settingText(Kind kind) const
{
    return QLatin1String(m_conditions[size_t(kind)].on ? "1;" : "0;") + valueText(kind);
}

void StopConditions::setFromSetting(Kind kind, const QString &text)
{
    const int semicolon = text.indexOf(QLatin1Char(';'));
    if (semicolon < 0)
        return;
    Condition c;
    QString ignored;
    if (!parse(kind, text.mid(semicolon + 1), &c, &ignored))
        return;
    c.on = text.leftRef(semicolon) == QLatin1String("1");
    m_conditions[size_t(kind)] = c;
}

QString StopConditions::settingKey(Kind kind)
{
    static const char *const keys[KindCount] = {"StopDuration", "StopCurrentBelow", "StopVoltageBelow",
                                                "StopCharge", "StopEnergy"};
    return QLatin1String(keys[kind]);
}
