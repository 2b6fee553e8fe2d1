#pragma once

// The main window's live run, filled with a long run at once and driven a
// tick at a time on a clock of the bench's own, as the chart benches use it.
// The bench's source includes ui_maindialog.h too, so that uic makes it.
#include "charts/chartview.h"
#include "device/meterreading.h"
#include "recording/readinglog.h"
#include "ui/maindialog.h"
#include "ui_maindialog.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QWidget>

#include <cmath>

namespace livesession {

inline const qint64 kStart = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 0)).toMSecsSinceEpoch();
inline qint64 g_now = kStart;
inline sim::Meter *g_meter = nullptr;

// A quiet meter plugged in before the window is made: the window records
// what each tick sets once the meter has measured (see prefillRun).
inline void plugMeter()
{
    sim::reset();
    g_meter = &sim::attach();
    g_meter->setReportRate(0);
}

// A reading that moves a little every second, like a charge.
inline ReadingLog::Values valuesAt(int i)
{
    const float wobble = float(std::sin(i * 0.01)) * 0.05f;
    ReadingLog::Values v{};
    v[ReadingLog::Vbus] = 9.0f + wobble;
    v[ReadingLog::Ibus] = 2.0f + wobble;
    v[ReadingLog::Power] = 18.0f + wobble;
    v[ReadingLog::Pd] = 0.6f;
    v[ReadingLog::Pm] = 0.6f;
    v[ReadingLog::Cc1] = 1.68f;
    v[ReadingLog::Cap] = i / 1800.0f;
    v[ReadingLog::Ele] = i / 200.0f;
    v[ReadingLog::CpuTemp] = 31.0f;
    return v;
}

inline void setReading(int i)
{
    const ReadingLog::Values v = valuesAt(i);
    MeterReading &r = meterReading();
    r.vbus = v[ReadingLog::Vbus];
    r.ibus = v[ReadingLog::Ibus];
    r.power = v[ReadingLog::Power];
}

// Counts the paints of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

// Runs the event loop until the chart has been painted, as the window does
// after each tick; gives up after 50 rounds (nothing changed on screen).
inline void paint(QWidget *chartViewport)
{
    static PaintCounter counter;
    chartViewport->installEventFilter(&counter);
    const int before = counter.paints;
    for (int i = 0; i < 50 && counter.paints == before; ++i)
        QCoreApplication::processEvents();
}

// A new run of the dialog with `records` records, one a second; the clock
// on the last one.
inline void prefillRun(MainDialog &d, int records)
{
    g_now = kStart;
    if (d.isPlotting())
        d.form()->disp_Btn_Run->click();
    d.form()->disp_Btn_Run->click();
    if (g_meter) {
        g_meter->inject(sim::measurementReport(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
        d.dashboardTick();
    }
    ReadingLog &log = d.readingLog();
    log.reserve(records + 1000);
    for (int i = 0; i < records; ++i) {
        g_now = kStart + qint64(i + 1) * 1000;
        log.append(g_now, valuesAt(i));
    }
}

// One tick of the run a second on, with reading i, painted.
inline void tick(MainDialog &d, int i)
{
    g_now += 1000;
    setReading(i);
    d.chartTick();
    paint(d.chartView()->viewport());
}

} // namespace livesession
