// CPU time the meter link's worker thread uses while connected to an idle
// simulated meter, as a percentage of one core. Prints its figures; the
// target is at most 0.5 %.
#include "benchfolders.h"
#include "device/usbthread.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <pthread.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

double threadCpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double wallSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Runs the worker against a meter sending `rate` reports a second and returns
// its CPU use in percent of one core over `seconds`.
double measure(double rate, int seconds)
{
    sim::reset();
    sim::Meter &meter = sim::attach();
    meter.setReportRate(rate);

    USBThread worker;
    worker.vid = 0x0483;
    worker.pid = 0x5750;
    clockid_t cpuClock{};
    QObject::connect(&worker, &QThread::started, &worker,
                     [&cpuClock] { pthread_getcpuclockid(pthread_self(), &cpuClock); },
                     Qt::DirectConnection);
    int reports = 0;
    QObject::connect(&worker, &USBThread::new_data, [&reports](unsigned char *, unsigned int) { ++reports; });
    worker.usb_open();
    worker.start();

    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);   // let the thread settle
    loop.exec();
    const double cpu0 = threadCpuSeconds(cpuClock);
    const double wall0 = wallSeconds();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = threadCpuSeconds(cpuClock) - cpu0;
    const double wall = wallSeconds() - wall0;
    worker.usb_stop();
    worker.wait();
    std::printf("  meter at %4.1f reports/s: %d reports passed on, worker CPU %.3f s in %.2f s\n",
                rate, reports, cpu, wall);
    return 100.0 * cpu / wall;
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchFolders dir;
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    std::printf("Worker thread CPU use over %d s (target: at most 0.5 %% of one core when idle)\n", seconds);
    const double idle = measure(0.0, seconds);
    std::printf("idle meter:             %.2f %% of one core\n", idle);
    const double live = measure(4.0, seconds);
    std::printf("meter sending 4/s:      %.2f %% of one core\n", live);
    return 0;
}
