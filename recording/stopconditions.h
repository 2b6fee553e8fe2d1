#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

class RunStats;

// Conditions that end a run by themselves: after a duration, when the bus
// current has stayed below a level for a while (a charge is complete), when
// the bus voltage falls below a level (a discharge reached its cut-off), or
// when the run's charge or energy reaches an amount. The window's run and
// `ombrel record` use them alike.
//
// They are evaluated from the run's statistics: the running totals and the
// latest record, so a check costs the same however long the run is. Charge
// and energy are the run's integrals (gaps add nothing). The time below the
// current level is counted on the run's timeline from the first record below
// it; a record at or above the level, or a gap in the records (an unplugged
// meter), starts the count again. The duration is the time since the run
// started, a pause for an unplugged meter included.
class StopConditions
{
public:
    enum Kind { Duration, CurrentBelow, VoltageBelow, Charge, Energy, KindCount };

    struct Condition {
        bool on = false;
        double value = 0.0;     // s, A, V, Ah or Wh
        double seconds = 0.0;   // CurrentBelow: how long the current stays below
    };

    StopConditions();

    Condition &operator[](Kind kind) { return m_conditions[size_t(kind)]; }
    const Condition &operator[](Kind kind) const { return m_conditions[size_t(kind)]; }
    bool any() const;

    // A new run: the count of time below the current level starts afresh.
    void reset();
    // After each record added to `stats` (its last one is the latest).
    void recorded(const RunStats &stats);
    // The first condition that holds, if any: `elapsedMs` is the time since
    // the run started, `tickMs` the interval of the checks (a duration ends at
    // the check that comes nearest it).
    std::optional<Kind> met(const RunStats &stats, qint64 elapsedMs, int tickMs) const;

    // The run's end reason as the journal keeps it: a code with the
    // condition's values, the same in every language: "duration:3600",
    // "current_below:0.05:30", "voltage_below:3", "charge:2.5", "energy:10".
    QString reason(Kind kind) const;
    // The condition of such a code; false for any other text.
    static bool fromReason(const QString &reason, Kind *kind, Condition *condition);
    // An end reason in words, in the language installed (English: "stopped",
    // "condition: current below 0.05 A for 30 s"); "recording" for a run
    // under way; a text that is no such code (an older version's) as it is.
    // Every end reason the program shows is worded here.
    static QString reasonWords(const QString &reason, bool running = false);
    // A condition of `kind` in words, in the language installed (English:
    // "current below 0.05 A for 30 s").
    static QString conditionWords(Kind kind, const Condition &condition);

    // The options that end a run, each a condition: record's
    // --until-duration and the like, and the Python module's until_duration
    // and the like (the same names with _). A new one is a row of options().
    struct Option {
        const char *name;
        const char *valueName;
        const char *help;
        Kind kind;
    };
    static const std::vector<Option> &options();

    // The value of a condition as text, as the command line takes it:
    // "SECONDS", "A:SECONDS", "V", "AH", "WH".
    static bool parse(Kind kind, const QString &text, Condition *condition, QString *error);
    QString valueText(Kind kind) const;
    // A condition with its switch as one text ("1;0.05:30"), for the settings file.
    QString settingText(Kind kind) const;
    void setFromSetting(Kind kind, const QString &text);
    // The settings file's key of a condition.
    static QString settingKey(Kind kind);

private:
    std::array<Condition, KindCount> m_conditions;
    // Run time of the first record of the stretch below the current level, -1 for none.
    qint64 m_belowSinceMs = -1;
    qint64 m_lastRunMs = 0;
};
