#pragma once

#include <QString>
#include <QtGlobal>

#include <ctime>

// Times as the program shows them, in the window and on the command line.
namespace TimeText {

// A duration as hours (as many as there are), minutes and seconds:
// "0:00:24", "27:04:05"; rounded down to the second, less than 0 as 0.
QString duration(qint64 ms);
// A time from a run's start that may be before it: "-0:00:05", "0:01:00".
QString signedDuration(qint64 ms);
// The same with milliseconds: "0:00:24.120".
QString durationMs(qint64 ms);
// A run's duration, the time from its first record to its last (what its
// charge and energy are summed over), to the nearest second: the one
// figure the window, the command line and the reports give for a run.
QString runDuration(double seconds);

// A wall-clock time (ms since the epoch) in local time to the second, as
// every list and report of runs gives it: "2026-12-07 09:00:05".
QString localDateTime(qint64 msecsSinceEpoch);

// A wall-clock time (ms since the epoch, any 64-bit value) in local time:
// the second it falls in, rounded towards the past for times before 1970
// too, and the milliseconds into it (0..999).
struct Local {
    std::tm tm{};
    int millis = 0;
    long long year() const { return tm.tm_year + 1900LL; }
    long offsetSeconds() const { return tm.tm_gmtoff; }
};
Local local(qint64 msecsSinceEpoch);

} // namespace TimeText
