#include "recording/runinterval.h"

#include "recording/runjournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

std::optional<RunMoment> RunMoment::parse(const QString &text)
{
    static const QRegularExpression seconds(QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (seconds.match(text).hasMatch()) {
        const double s = text.toDouble();
        if (!std::isfinite(s) || std::fabs(s) > 1e12)
            return std::nullopt;
        return RunMoment{false, qint64(std::llround(s * 1000.0))};
    }
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d(:\\d\\d(\\.\\d{1,3})?)?"
                                                       "(Z|[+-]\\d\\d:?\\d\\d)?$"));
    if (!iso.match(text).hasMatch())
        return std::nullopt;
    const QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    return RunMoment{true, at.toMSecsSinceEpoch()};
}

QString RunMoment::badWords(const QString &text, const QString &name)
{
    return QCoreApplication::translate("RunInterval", "%2 的时间“%1”无效：应为本地日期时间（如 2026-12-08T13:05:09）或从运行开始算起的秒数")
        .arg(text, name);
}

QString RunInterval::ambiguousWords(const QString &typed, const QString &name, const std::vector<qint64> &times) const
{
    QStringList seconds;
    for (const qint64 ms : times)
        seconds << QString::number((ms - m_t0) / 1000.0, 'g', 15);
    return QCoreApplication::translate("RunInterval", "%2 的时间 %1 在运行 %4 中出现了 %3 次（运行期间时钟被调回过）：请改用从运行开始算起的秒数（%5）")
        .arg(typed, name)
        .arg(times.size())
        .arg(m_run)
        .arg(seconds.join(QCoreApplication::translate("RunInterval", " 或 ")));
}

RunInterval::RunInterval(RunJournal &journal, qint64 runId) : m_journal(journal), m_run(runId)
{
    m_hasTimeline = journal.timeline(runId, m_t0, m_firstWall);
}

RunInterval::Summary RunInterval::summary(std::optional<qint64> fromRun, std::optional<qint64> toRun,
                                          qint64 startMs) const
{
    Summary r;
    if (m_hasTimeline)
        r.stats = m_journal.stats(m_run, fromRun.value_or(std::numeric_limits<qint64>::min() / 2),
                                  toRun.value_or(std::numeric_limits<qint64>::max() / 2));
    qint64 runMs = 0;
    if (r.stats.records > 0) {
        m_journal.recordTime(m_run, r.stats.first, runMs, r.fromWall);
        m_journal.recordTime(m_run, r.stats.last, runMs, r.toWall);
    } else {
        r.fromWall = fromRun ? *fromRun + (m_firstWall - m_t0) : startMs;
        r.toWall = toRun ? *toRun + (m_firstWall - m_t0) : r.fromWall;
    }
    return r;
}

bool RunInterval::place(const RunMoment &moment, bool end, qint64 *at, std::vector<qint64> *times) const
{
    if (!moment.wall) {
        *at = m_t0 + moment.ms;
        return true;
    }
    const std::vector<qint64> shown = m_journal.runTimesAtWall(m_run, moment.ms, end);
    if (shown.size() > 1) {
        if (times)
            *times = shown;
        return false;
    }
    *at = shown.empty() ? moment.ms - (m_firstWall - m_t0) : shown.front();
    return true;
}

ReadingLog RunInterval::slice(const ReadingLog &log, qint64 fromRun, qint64 toRun)
{
    const std::vector<qint64> &times = log.runTimes();
    const int first = int(std::lower_bound(times.begin(), times.end(), fromRun) - times.begin());
    const int end = int(std::upper_bound(times.begin(), times.end(), toRun) - times.begin());
    ReadingLog part;
    part.reserve(qMax(0, end - first));
    ReadingLog::Values values;
    for (int i = first; i < end; ++i) {
        for (int c = 0; c < ReadingLog::ColumnCount; ++c)
            values[size_t(c)] = log.value(ReadingLog::Column(c), i);
        part.append(log.timeMs(i), log.runMs(i), values);
    }
    return part;
}
