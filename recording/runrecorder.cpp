#include "recording/runrecorder.h"


RunRecorder::RunRecorder(const Options &options, QObject *parent) : QObject(parent), m_options(options)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RunRecorder::tick);
}

void RunRecorder::opened()
{
    m_serial = m_port.serialNumber().toStdWString();
    m_product = m_port.product();
}

void RunRecorder::start()
{
    m_clock.start();
    m_timer.start(tickMs());
    tick();
}

void RunRecorder::stop()
{
    m_timer.stop();
}

void RunRecorder::reopen()
{
    // The same meter only: the run goes on where it stopped.
    if (openMeter(m_port, kMeterVendorId, kMeterProductId, QString::fromStdWString(m_serial)) != MeterOpen::Opened)
        return;
    m_lastRequestMs = -1000;
    emit replugged();
}

void RunRecorder::tick()
{
    const qint64 now = m_clock.elapsed();
    if (!m_port.isOpen()) {
        // Open attempts are paced as the worker thread paces them.
        if (now - m_lastAttemptMs < 500)
            return;
        m_lastAttemptMs = now;
        reopen();
        if (!m_port.isOpen()) {
            emit ticked();
            return;
        }
    }
    // The window's once-a-second request for a measurement.
    if (now - m_lastRequestMs >= 1000 - tickMs() / 2) {
        m_lastRequestMs = now;
        m_feed.requestMeasurement();
    }

    int added = 0;
    const MeterFeed::Drained drained = m_feed.drain([&](const MeterReading &reading) {
        if (m_options.allReports) {
            emit taken(reading);
            ++added;
        }
    });
    if (drained.gone) {
        // Pulled out: the records so far stay.
        m_port.close();
        if (added > 0)
            emit recorded();
        emit unplugged();
        if (m_options.exitOnUnplug) {
            stop();
            emit finished();
        }
        emit ticked();
        return;
    }
    // One record a second from the latest reading, once the meter has
    // measured.
    if (!m_options.allReports && m_feed.hasMeasured() && now >= tickMs() / 2) {
        emit taken(m_feed.reading());
        ++added;
    }
    if (added > 0)
        emit recorded();
    emit ticked();
}
