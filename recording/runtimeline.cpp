#include "recording/runtimeline.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <time.h>

RunTimeline::RunTimeline()
    : m_wall([] { return QDateTime::currentMSecsSinceEpoch(); }), m_steady(&RunTimeline::steadyMsecs)
{
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
}
