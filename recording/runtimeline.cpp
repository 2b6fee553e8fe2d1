#include "recording/runtimeline.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <time.h>

#include <cstdlib>

namespace {

// A wall clock this far from the timeline has been set; less is rounding.
constexpr qint64 kRoundingMs = 1;

struct SystemClocks {
    std::function<qint64()> wall = [] { return QDateTime::currentMSecsSinceEpoch(); };
    std::function<qint64()> steady = &RunTimeline::steadyMsecs;
};

SystemClocks &systemClocks()
{
    static SystemClocks clocks;
    return clocks;
}

} // namespace

RunTimeline::RunTimeline() : m_wall(systemClocks().wall), m_steady(systemClocks().steady)
{
    anchor();
}

qint64 RunTimeline::steadyMsecs()
{
#ifdef CLOCK_BOOTTIME
    // Unlike the monotonic clock this one counts a suspend too, so the
    // computer's sleep shows on the chart as the gap it is.
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

void RunTimeline::setSystemClocks(std::function<qint64()> wall, std::function<qint64()> steady)
{
    systemClocks() = {std::move(wall), std::move(steady)};
}

void RunTimeline::setClock(std::function<qint64()> wall, std::function<qint64()> steady)
{
    m_wall = std::move(wall);
    m_steady = steady ? std::move(steady) : m_wall;
    anchor();
}

void RunTimeline::anchor()
{
    m_anchorWallMs = m_wall();
    m_anchorSteadyMs = m_steady();
    m_stamped = false;
}

RunTimeline::Stamp RunTimeline::stamp()
{
    const qint64 run = now();
    const qint64 skew = m_wall() - run;
    if (!m_stamped || std::llabs(skew - m_skewMs) > kRoundingMs)
        m_skewMs = skew;
    m_stamped = true;
    return {run + m_skewMs, run};
}
