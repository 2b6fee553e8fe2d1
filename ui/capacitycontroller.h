#pragma once

#include "recording/runstats.h"
#include "recording/stopconditions.h"

#include <QObject>

class CapacityPage;
class QWidget;

// Page six: the stop conditions as the user set them (kept in the settings),
// a run started with them, and the end of that run when one is met.
class CapacityController : public QObject
{
    Q_OBJECT
public:
    // The page's content is made inside `page`.
    CapacityController(QWidget *page, QObject *parent);

    CapacityPage *page() const { return m_page; }
    const StopConditions &conditions() const { return m_stops; }
    void retranslate();

    // A new run: the conditions start afresh, not armed.
    void runStarted();
    // Whether the run under way ends by the conditions.
    void setArmed(bool armed) { m_armed = armed; }
    // One record added to the run's statistics.
    void recorded(const RunStats &stats) { m_stops.recorded(stats); }
    // The run as it goes on (`running` false for none).
    void showRun(bool running, qint64 elapsedMs, const RunStats &stats);
    // After a tick's records: the run shown, or ended when a condition is met.
    void checkRun(const RunStats &stats, bool running, qint64 elapsedMs, int tickMs);

signals:
    void startRequested();
    void stopRequested();
    // A condition is met: the run ends with `reason` (the journal's word).
    void conditionMet(const QString &reason);
    // The tip line's text about it.
    void tip(const QString &text);

private:
    CapacityPage *m_page;
    StopConditions m_stops;
    bool m_armed = false;   // the run was started with the stop conditions
};
