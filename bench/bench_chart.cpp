// Cost of the live chart on long runs. For runs of 10 minutes, 8 hours,
// 24 hours and 7 days of one record a second, prints the time of one chart
// tick (append, update, and the event loop until the chart has repainted, in
// the main window offscreen at its default size, 3 of 8 curves shown) for
//   (a) plain spline series that hold every point, and
//   (b) the program's chart, which draws only what the visible range needs;
// then the memory per recorded hour and, at 7 days, the time of one wheel
// zoom and one pan step.
// Targets: (b) at 7 days at most twice (b) at 10 minutes; a/b at least 40 at
// 8 hours; at most 2 MB per recorded hour; zoom and pan under 30 ms.
//
// Usage: bench_chart [ticks-per-length]   (default 10)
#include "benchfolders.h"
#include "livesession.h"
#include "app/startup.h"
#include "charts/axislabels.h"
#include "charts/chartview.h"
#include "charts/livechart.h"
#include "simulator.h"
#include "ui_maindialog.h"   // for livesession.h

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

QT_CHARTS_USE_NAMESPACE

namespace {

using namespace livesession;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long rssKiB()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// (a): the chart as plain spline series holding every point, styled as the
// program's, in place of its chart view.
struct PlainChart {
    QChart *chart = new QChart;
    QChartView *view = nullptr;
    QDateTimeAxis *axisX = new QDateTimeAxis;
    QCategoryAxis *axisY[3] = {new QCategoryAxis, new QCategoryAxis, new QCategoryAxis};
    QSplineSeries *series[kChannelCount] = {};
    qint64 start = 0;

    explicit PlainChart(MainDialog &d)
    {
        const CurveStyles styles = loadCurveStyles();
        LiveChart::styleChart(chart, 0);
        chart->addAxis(axisX, Qt::AlignBottom);
        axisX->setFormat(QStringLiteral("hh:mm:ss"));
        axisX->setTickCount(10);
        axisX->setGridLineVisible(true);
        for (int a = 0; a < 3; ++a) {
            applyDefaultAxisRange(axisY[a], a);
            axisY[a]->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
            chart->addAxis(axisY[a], a == 0 ? Qt::AlignLeft : Qt::AlignRight);
        }
        for (int c = 0; c < kChannelCount; ++c) {
            series[c] = new QSplineSeries;
            series[c]->setPen(curvePen(styles[c]));
            series[c]->setName(QLatin1String(kChannels[c].seriesName));
            if (c < 3) {
                chart->addSeries(series[c]);
                series[c]->attachAxis(axisX);
                series[c]->attachAxis(axisY[c]);
            }
        }
        view = new QChartView(chart);
        view->setRenderHint(QPainter::Antialiasing);
        d.chartView()->hide();
        d.form()->disap_gridLayout->addWidget(view);
    }
    ~PlainChart()
    {
        for (int c = 3; c < kChannelCount; ++c)
            delete series[c];
    }

    void prefill(int records)
    {
        start = kStart;
        for (int c = 0; c < kChannelCount; ++c) {
            QVector<QPointF> points(records);
            for (int i = 0; i < records; ++i)
                points[i] = QPointF(double(kStart + qint64(i) * 1000), double(valuesAt(i)[ReadingLog::columnOf(c)]));
            series[c]->replace(points);
        }
    }

    void tick(ReadingLog &log, int i)
    {
        const ReadingLog::Values v = valuesAt(i);
        for (int c = 0; c < kChannelCount; ++c)
            series[c]->append(double(g_now), double(v[ReadingLog::columnOf(c)]));
        log.append(g_now, v);
        axisX->setRange(QDateTime::fromMSecsSinceEpoch(start), QDateTime::fromMSecsSinceEpoch(g_now + 1000));
    }
};

double timeOurTick(MainDialog &d, int i)
{
    QElapsedTimer t;
    t.start();
    tick(d, i);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolders dir;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;
    Startup::applyLook(app);

    struct Length {
        const char *name;
        int records;
        bool plain;
    };
    const Length lengths[] = {{"10 min", 600, true},
                              {"8 h", 8 * 3600, true},
                              {"24 h", 24 * 3600, true},
                              {"7 days", 7 * 24 * 3600, false}};

    std::printf("%-8s %14s %14s %10s\n", "run", "(a) plain ms", "(b) ours ms", "a/b");
    double ours10min = 0, ours7days = 0;
    for (const Length &len : lengths) {
        double plain = 0;
        if (len.plain) {
            livesession::plugMeter();
            MainDialog d;
            d.chartTimer().stop();
            d.setClock([] { return g_now; });
            d.show();
            PlainChart a(d);
            prefillRun(d, len.records);
            a.prefill(len.records);
            QCoreApplication::processEvents();
            const int plainTicks = len.records > 10000 ? 3 : ticks;
            std::vector<double> times;
            for (int k = 0; k < plainTicks; ++k) {
                QElapsedTimer t;
                t.start();
                g_now += 1000;
                a.tick(d.readingLog(), len.records + k);
                paint(a.view->viewport());
                times.push_back(t.nsecsElapsed() / 1e6);
            }
            plain = median(times);
        }

        livesession::plugMeter();
        MainDialog d;
        d.chartTimer().stop();
        d.setClock([] { return g_now; });
        d.show();
        const long rssBefore = rssKiB();
        prefillRun(d, len.records);
        timeOurTick(d, len.records);   // builds the min/max index once
        std::vector<double> times;
        for (int k = 0; k < ticks; ++k)
            times.push_back(timeOurTick(d, len.records + 1 + k));
        const double ours = median(times);
        if (len.records == 600)
            ours10min = ours;

        if (len.plain)
            std::printf("%-8s %14.2f %14.2f %10.1f\n", len.name, plain, ours, plain / ours);
        else
            std::printf("%-8s %14s %14.2f %10s\n", len.name, "-", ours, "-");

        if (!len.plain) {
            ours7days = ours;
            const double hours = len.records / 3600.0;
            const size_t held = d.readingLog().memoryBytes() + d.liveChart()->memoryBytes();
            std::printf("memory per recorded hour: %.3f MB held (log %.3f MB + drawing index %.3f MB), "
                        "%.3f MB resident growth\n",
                        held / hours / 1e6, d.readingLog().memoryBytes() / hours / 1e6,
                        d.liveChart()->memoryBytes() / hours / 1e6, (rssKiB() - rssBefore) * 1024.0 / hours / 1e6);

            // Wheel zoom and pan at 7 days, on the whole run in view.
            QWidget *port = d.chartView()->viewport();
            const QPoint middle(port->width() / 2, port->height() / 2);
            std::vector<double> zoom, pan;
            for (int k = 0; k < ticks; ++k) {
                QElapsedTimer t;
                t.start();
                QWheelEvent e(QPointF(middle), QPointF(port->mapToGlobal(middle)), QPoint(),
                              QPoint(0, k % 2 ? -120 : 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(port, &e);
                paint(port);
                zoom.push_back(t.nsecsElapsed() / 1e6);
            }
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(middle), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(port, &press);
            for (int k = 0; k < ticks; ++k) {
                QElapsedTimer t;
                t.start();
                const QPoint to = middle + QPoint(k % 2 ? 10 : -10, 0);
                QMouseEvent move(QEvent::MouseMove, QPointF(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(port, &move);
                paint(port);
                pan.push_back(t.nsecsElapsed() / 1e6);
            }
            std::printf("at 7 days: wheel zoom %.2f ms, pan step %.2f ms\n", median(zoom), median(pan));
        }
    }
    std::printf("(b) at 7 days / (b) at 10 min: %.2f\n", ours7days / ours10min);
    return 0;
}
