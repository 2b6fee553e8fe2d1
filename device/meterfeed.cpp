#include "device/meterfeed.h"

#include "device/commandframe.h"
#include "device/meterport.h"

MeterFeed::MeterFeed(MeterPort &port, MeterReading &reading) : m_port(port), m_reading(reading) {}

MeterFeed::Drained MeterFeed::drain(const std::function<void(const MeterReading &)> &measured)
{
    Drained drained;
    if (!m_port.isOpen())
        return drained;
    while (drained.reports < kMaxReportsPerTick) {
        const int n = m_port.readReport(m_buffer);
        if (n < 0) {
            lost();
            drained.gone = true;
            break;
        }
        if (n != int(kReportSize))
            break;
        ++drained.reports;
        switch (decodeReport(m_buffer, kReportSize, m_reading)) {
        case ReportKind::Measurement:
            ++drained.measurements;
            m_measuredOpen = m_port.opens();
            if (measured)
                measured(m_reading);
            break;
        case ReportKind::Settings:
            drained.settings = true;
            break;
        case ReportKind::Ignored:
            break;
        }
    }
    return drained;
}

bool MeterFeed::hasMeasured() const
{
    return m_port.isOpen() && m_measuredOpen != 0 && m_measuredOpen == m_port.opens();
}

bool MeterFeed::requestMeasurement()
{
    const QByteArray request = CommandFrame::periodicRequest();
    return m_port.isOpen() && m_port.usb_send(request.constData(), unsigned(request.size()));
}
