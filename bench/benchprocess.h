#pragma once

// Figures of a bench's own process: the seconds since it was started and the
// CPU it has used, and the line a window bench reports them in.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace BenchProcess {

// Seconds since the process was started, from the kernel's record of it.
inline double secondsSinceStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name, which is in parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i)
        rest >> field;
    unsigned long long startTicks = 0;
    rest >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9 - double(startTicks) / double(sysconf(_SC_CLK_TCK));
}

// CPU seconds of the whole process, every thread.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6 + double(usage.ru_stime.tv_sec)
           + double(usage.ru_stime.tv_usec) / 1e6;
}

// The line a window bench ends with, read by bench_app: first paint after
// the process started (wall and CPU seconds), and the CPU at rest in % of
// one core.
inline void report(double firstPaint, double firstPaintCpu, double restPercent)
{
    std::printf("figures %.4f %.4f %.4f\n", firstPaint, firstPaintCpu, restPercent);
    std::fflush(stdout);
}

} // namespace BenchProcess
