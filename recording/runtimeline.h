#pragma once

#include <QtGlobal>

#include <functional>

// The clocks of a run, in ms: the wall clock (since the epoch) for time
// stamps, and a steady one that never steps back for the run's timeline. The
// timeline is the steady clock counted from the wall clock's time at the last
// anchoring (a run's start, a new clock). The window and the command line
// stamp every record from it, so a sleep of the computer is the same gap for
// both.
class RunTimeline
{
public:
    // A record's times: on the wall clock and on the run's timeline.
    struct Stamp {
        qint64 wallMs = 0;
        qint64 runMs = 0;
    };

    RunTimeline();

    // Without a steady clock the wall clock serves as both.
    void setClock(std::function<qint64()> wall, std::function<qint64()> steady = {});
    qint64 wallNow() const { return m_wall(); }
    qint64 steadyNow() const { return m_steady(); }
    void anchor();
    // The run's timeline now.
    qint64 now() const { return m_anchorWallMs + (m_steady() - m_anchorSteadyMs); }
    // Both times of a record taken now. The wall time goes on with the
    // timeline until the wall clock itself moves away from it (set by hand,
    // NTP): the two clocks, read a moment apart, often differ by a
    // millisecond's rounding, which would otherwise put a record later on
    // the wall clock than the next one on the timeline.
    Stamp stamp();

    // The default steady clock; it goes on while the computer sleeps.
    static qint64 steadyMsecs();
    // The system's clocks that every timeline starts with; a simulation may
    // replace them (both at once) before the first timeline is made.
    static void setSystemClocks(std::function<qint64()> wall, std::function<qint64()> steady);

private:
    std::function<qint64()> m_wall;
    std::function<qint64()> m_steady;
    qint64 m_anchorWallMs = 0;
    qint64 m_anchorSteadyMs = 0;
    // The wall clock's offset from the timeline, as last stamped.
    qint64 m_skewMs = 0;
    bool m_stamped = false;
};
