#pragma once

#include <QtGlobal>

#include <functional>

// The clocks of a run as the window keeps it, in ms: the wall clock (since the
// epoch) for time stamps, and a steady one that never steps back for the
// run's timeline. The timeline is the steady clock counted from the wall
// clock's time at the last anchoring (a run's start, a new clock).
class RunTimeline
{
public:
    RunTimeline();

    // Without a steady clock the wall clock serves as both.
    void setClock(std::function<qint64()> wall, std::function<qint64()> steady = {});
    qint64 wallNow() const { return m_wall(); }
    qint64 steadyNow() const { return m_steady(); }
    void anchor();
    // The run's timeline now.
    qint64 now() const { return m_anchorWallMs + (m_steady() - m_anchorSteadyMs); }

    // The default steady clock; it goes on while the computer sleeps.
    static qint64 steadyMsecs();

private:
    std::function<qint64()> m_wall;
    std::function<qint64()> m_steady;
    qint64 m_anchorWallMs = 0;
    qint64 m_anchorSteadyMs = 0;
};
