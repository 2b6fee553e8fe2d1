#pragma once

#include "device/meterfeed.h"
#include "device/meterport.h"
#include "device/meterreading.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <string>

// The meter's side of a run recorded without any window: it opens the meter,
// decodes every report waiting at each tick, asks for a measurement once a
// second as the window does, and takes one record a second from the latest
// reading (or, with every report kept, one record for each measurement
// report, at the time it was read), each handed on to a LiveRun, which
// stamps it on its timeline. When the meter is pulled out it waits for a meter with the same
// serial number and goes on with it, unless it is told to end there.
class RunRecorder : public QObject
{
    Q_OBJECT
public:
    // Tick of a run that keeps every report: the meter's queue of reports
    // (64 of them) must never fill between two ticks.
    static constexpr int kFastTickMs = 10;

    struct Options {
        QString serial;              // empty: the first meter found
        bool allReports = false;     // a record for every measurement report
        bool exitOnUnplug = false;   // an unplug ends the run
    };

    explicit RunRecorder(const Options &options, QObject *parent = nullptr);

    // The port to open the meter the options name on; opened() once it is.
    MeterPort &port() { return m_port; }
    void opened();
    // Starts the run on the opened meter.
    void start();
    // Stops the ticks; the log keeps what was recorded.
    void stop();

    const MeterReading &latest() const { return m_feed.reading(); }
    bool connected() const { return m_port.isOpen(); }
    int tickMs() const { return m_options.allReports ? kFastTickMs : 1000; }
    QString product() const { return m_product; }
    QString serialNumber() const { return QString::fromStdWString(m_serial); }

signals:
    // A record taken now (the run stamps it on its timeline).
    void taken(const MeterReading &reading);
    // Records were taken (at the end of a tick).
    void recorded();
    // The meter was pulled out, and came back.
    void unplugged();
    void replugged();
    // The run ended by itself (an unplug with exitOnUnplug).
    void finished();
    // The end of every tick, recording or not.
    void ticked();

private:
    void tick();
    void reopen();

    Options m_options;
    MeterPort m_port;
    MeterReading m_reading;
    MeterFeed m_feed{m_port, m_reading};
    QTimer m_timer;
    // Paces the ticks' requests and open attempts.
    QElapsedTimer m_clock;
    QString m_product;
    std::wstring m_serial;
    qint64 m_lastRequestMs = -1000;
    qint64 m_lastAttemptMs = 0;
};
