#include "recording/liverun.h"

#include "device/meterreading.h"
#include "recording/runjournal.h"


#include <algorithm>

LiveRun::LiveRun(QObject *parent) : QObject(parent) {}

LiveRun::~LiveRun() = default;

void LiveRun::setClock(std::function<qint64()> wall, std::function<qint64()> steady)
{
    m_timeline.setClock(std::move(wall), std::move(steady));
}

template <class Step> void LiveRun::tell(Step step, bool reverse)
{
    const int n = int(m_sinks.size());
    for (int k = 0; k < n; ++k) {
        const int i = reverse ? n - 1 - k : k;
        step(*m_sinks[size_t(i)]);
    }
    for (int i = 0; i < n; ++i) {
        const RunSink::Status now = m_sinks[size_t(i)]->status();
        if (now != m_said[size_t(i)]) {
            m_said[size_t(i)] = now;
            emit sinkStatusChanged(i);
        }
    }
}

std::unique_ptr<RunSink> LiveRun::detach(const RunSink *sink)
{
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        if (m_sinks[i].get() != sink)
            continue;
        std::unique_ptr<RunSink> out = std::move(m_sinks[i]);
        m_sinks.erase(m_sinks.begin() + long(i));
        m_said.erase(m_said.begin() + long(i));
        if (underWay())
            out->ended(*this);
        dropTaken();
        return out;
    }
    return nullptr;
}

void LiveRun::begin(const RunMeter &meter)
{
    if (underWay())
        end(QLatin1String(paused() ? RunJournal::kUnplugged : RunJournal::kStopped));
    m_meter = meter;
    m_log.clear();
    m_logStart = 0;
    m_flushed = 0;
    m_stats.clear();
    m_conditions.reset();
    m_armed = false;
    m_endReason.clear();
    m_timeline.anchor();
    m_startWallMs = m_timeline.wallNow();
    m_startSteadyMs = m_timeline.steadyNow();
    m_endWallMs = 0;
    m_endSteadyMs = 0;
    m_phase = Phase::Recording;
    tell([this](RunSink &s) { s.begun(*this); });
    emit begun();
}

bool LiveRun::add(const MeterReading &reading)
{
    if (m_phase != Phase::Recording)
        return false;
    const RunTimeline::Stamp at = m_timeline.stamp();
    m_log.append(at.wallMs, at.runMs, reading);
    for (qint64 i = m_stats.size(); i < records(); ++i) {
        m_stats.append(m_log, int(i - m_logStart));
        m_conditions.recorded(m_stats);
    }
    return true;
}

void LiveRun::flush()
{
    const int added = m_log.size() - m_flushed;
    if (added <= 0 || !underWay())
        return;
    m_flushed = m_log.size();
    tell([this](RunSink &s) { s.recorded(*this); });
    emit recorded(added);
    dropTaken();
}

void LiveRun::dropTaken()
{
    if (m_keepRecords || m_log.size() == 0)
        return;
    qint64 taken = records();
    for (const auto &s : m_sinks)
        taken = std::min(taken, s->taken());
    // Only a log taken whole goes: a sink behind keeps every record.
    if (taken < records())
        return;
    m_logStart += m_log.size();
    m_flushed = 0;
    m_log.clear();
}

void LiveRun::pause()
{
    if (m_phase != Phase::Recording)
        return;
    flush();
    m_phase = Phase::Paused;
    tell([this](RunSink &s) { s.paused(*this); });
    emit pausedChanged(true);
}

void LiveRun::resume()
{
    if (m_phase != Phase::Paused)
        return;
    m_phase = Phase::Recording;
    tell([this](RunSink &s) { s.resumed(*this); });
    emit pausedChanged(false);
}

void LiveRun::stop()
{
    end(QLatin1String(paused() ? RunJournal::kUnplugged : RunJournal::kStopped));
}

void LiveRun::end(const QString &reason)
{
    if (!underWay())
        return;
    flush();
    m_phase = Phase::Ended;
    m_armed = false;
    m_endReason = reason;
    m_endWallMs = m_timeline.wallNow();
    m_endSteadyMs = m_timeline.steadyNow();
    tell([this](RunSink &s) { s.ended(*this); }, true);
    emit ended(reason);
}

void LiveRun::setConditions(const StopConditions &conditions)
{
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        const auto kind = StopConditions::Kind(k);
        m_conditions[kind] = conditions[kind];
    }
}

std::optional<StopConditions::Kind> LiveRun::checkConditions(int tickMs)
{
    if (!m_armed || !underWay())
        return std::nullopt;
    const std::optional<StopConditions::Kind> met = m_conditions.met(m_stats, elapsedMs(), tickMs);
    if (met)
        end(m_conditions.reason(*met));
    return met;
}

qint64 LiveRun::elapsedMs() const
{
    switch (m_phase) {
    case Phase::Idle:
        return 0;
    case Phase::Ended:
        return m_endSteadyMs - m_startSteadyMs;
    default:
        return m_timeline.steadyNow() - m_startSteadyMs;
    }
}
