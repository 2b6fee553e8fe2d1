#pragma once

#include "recording/journalreader.h"
#include "recording/stopconditions.h"

#include <QObject>

class CapacityPage;
class LiveRun;
class QWidget;

// Page six: the stop conditions as the user set them (kept in the settings)
// given to the live run, a run started with them, and its end when one is met.
class CapacityController : public QObject
{
    Q_OBJECT
public:
    // The page's content is made inside `page`.
    CapacityController(QWidget *page, LiveRun &run, QObject *parent);

    CapacityPage *page() const { return m_page; }
    const StopConditions &conditions() const { return m_stops; }
    void retranslate();

    // After a tick's records: the run shown, or ended when an armed condition
    // is met (`tickMs` the interval of the ticks).
    void tick(int tickMs);
    // The page shows the run as it is now.
    void showRun();

signals:
    // The Start button: the window starts a run kept with this name and
    // these fields, then arms its conditions.
    void startRequested(const QString &name, const RunFields &fields);
    // The tip line's text about a run ended by a condition; withdrawn (if
    // the tip line still shows it) when the next run begins.
    void tip(const QString &text);
    void tipWithdrawn(const QString &text);

private:

    CapacityPage *m_page;
    LiveRun &m_run;
    StopConditions m_stops;
    QString m_tipSaid;
};
