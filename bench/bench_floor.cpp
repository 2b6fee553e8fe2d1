// The floor of a Qt Charts window on this machine, the yardstick of
// bench_app: a bare dialog (1100 x 700) with a chart view of three line
// series, one point added to each a second and the x axis scrolled as a live
// chart does. Reports the time from process start to its first paint and
// the CPU it uses at rest over the given seconds, from 4 s after its start.
//
// Usage: bench_floor [seconds]   (default 20)
#include "benchprocess.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstdlib>

QT_CHARTS_USE_NAMESPACE

namespace {

struct Dialog : QDialog {
    double firstPaint = -1.0;
    double firstPaintCpu = -1.0;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::Paint && firstPaint < 0) {
            firstPaint = 0.0;
            // Once the paint has been handled.
            QTimer::singleShot(0, this, [this] {
                firstPaint = BenchProcess::secondsSinceStart();
                firstPaintCpu = BenchProcess::cpuSeconds();
            });
        }
        return QDialog::event(e);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    Dialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    auto *chart = new QChart;
    auto *axisX = new QValueAxis;
    auto *axisY = new QValueAxis;
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    axisY->setRange(0, 20);
    QLineSeries *series[3];
    for (QLineSeries *&s : series) {
        s = new QLineSeries;
        chart->addSeries(s);
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    layout->addWidget(view);
    dialog.resize(1100, 700);
    dialog.show();

    int t = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (int i = 0; i < 3; ++i)
            series[i]->append(t, 5 + 4 * i + std::sin(t * 0.1 + i));
        axisX->setRange(std::max(0, t - 600), std::max(600, t));
        ++t;
    });
    tick.start(1000);

    double cpu0 = 0.0;
    QElapsedTimer rest;
    QTimer::singleShot(4000, [&] {
        cpu0 = BenchProcess::cpuSeconds();
        rest.start();
        QTimer::singleShot(seconds * 1000, [&] {
            const double cpu = BenchProcess::cpuSeconds() - cpu0;
            BenchProcess::report(dialog.firstPaint, dialog.firstPaintCpu, 100.0 * cpu / (rest.elapsed() / 1000.0));
            app.quit();
        });
    });
    return app.exec();
}
