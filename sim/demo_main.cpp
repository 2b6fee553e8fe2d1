// Ombrel with a simulated meter plugged in, for trying the program without
// hardware, in the window or on the command line (ombrel-sim COMMAND ...).
// Options of the simulated meter, before or after the command (all others
// go to the program):
//   --sim-model WORD        model word of the product string (default M512X)
//   --sim-version WORD      version word (default V1.2)
//   --sim-meters N          meters attached, 1 to 4 (default 1)
//   --sim-serial TEXT       serial number (default 0012345678); with several
//                           meters a list (A,B,...), the missing ones counting
//                           on from the last given (with one, commas are its own)
//   --sim-scenario NAME     what it measures (a list: one a meter, the last
//                           for the rest): standard, charge (the current
//                           falls below 0.05 A within two minutes),
//                           discharge (1 A, 4.2 V falling through 3.0 V),
//                           converter-in, converter-out (a converter that
//                           gives out 80 % of what it takes in)
//   --sim-rate N            live reports per second (default 4)
//   --sim-unplugged SECS    start unplugged and plug in after SECS seconds
//   --sim-replug SECS       unplug and plug in again every SECS seconds
//                           (with several meters, the last one only)
//   --sim-loader silent     the firmware loader never answers
//   --sim-access refused    opening the meter is refused, as a device node
//                           without read and write permission for the user
//                           (with several meters, the last one only)
//   --sim-sleep AT:SECS     the computer sleeps SECS seconds AT seconds after
//                           the start: the wall and the steady clock jump
#include "app/startup.h"
#include "cli/cli.h"
#include "recording/runtimeline.h"
#include "report/runreport.h"
#include "simulator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::wstring model = L"M512X";
    std::wstring version = L"V1.2";
    int meters = 1;
    // One meter's serial number may hold commas; several meters' is a list.
    const char *serialText = "0012345678";
    std::vector<std::wstring> serials;
    double rate = 4.0;
    double unpluggedFor = 0.0;
    double replugEvery = 0.0;
    std::vector<sim::Scenario> scenarios{sim::Scenario::Standard};
    bool silentLoader = false;
    bool accessRefused = false;
    double sleepAt = -1.0;
    double sleepFor = 0.0;
};

std::wstring wide(const char *s)
{
    std::wstring w;
    for (; *s; ++s)
        w.push_back(static_cast<unsigned char>(*s));
    return w;
}

constexpr double kWeek = 7 * 86400.0;

std::vector<std::string> splitList(const char *text)
{
    std::vector<std::string> items;
    std::string item;
    for (const char *p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            items.push_back(item);
            item.clear();
            if (!*p)
                break;
        } else {
            item.push_back(*p);
        }
    }
    return items;
}

// Meter k's serial number: as given, else the last one given counted on
// (its trailing digits, their width kept).
std::wstring serialOf(const std::vector<std::wstring> &serials, size_t k)
{
    if (k < serials.size())
        return serials[k];
    std::wstring s = serials.back();
    size_t digits = s.size();
    while (digits > 0 && s[digits - 1] >= L'0' && s[digits - 1] <= L'9')
        --digits;
    digits = std::max(digits, s.size() >= 18 ? s.size() - 18 : 0);
    unsigned long long n = digits < s.size() ? std::stoull(s.substr(digits)) : 0;
    n += k - (serials.size() - 1);
    std::wstring number = std::to_wstring(n);
    const size_t width = s.size() - digits;
    if (number.size() < width)
        number.insert(0, width - number.size(), L'0');
    return s.substr(0, digits) + number;
}

// A number of an option within [low, high]: anything else (words, inf, nan,
// a number beyond the range) is said and refused, so no clock of the
// simulated meter ever waits for a time that cannot be reached.
bool number(const char *option, const char *text, double low, double high, const char *unit, double &value)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < low || v > high) {
        std::fprintf(stderr, "bad value '%s' for %s: from %g to %g %s\n", text, option, low, high, unit);
        return false;
    }
    value = v;
    return true;
}

// Takes the simulator's options out of argv; false on a bad option.
bool parse(int &argc, char *argv[], Options &o)
{
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strncmp(arg, "--sim-", 6) != 0) {
            rest.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", arg);
            return false;
        }
        const char *value = argv[++i];
        if (!std::strcmp(arg, "--sim-model"))
            o.model = wide(value);
        else if (!std::strcmp(arg, "--sim-version"))
            o.version = wide(value);
        else if (!std::strcmp(arg, "--sim-serial")) {
            o.serialText = value;
        } else if (!std::strcmp(arg, "--sim-meters")) {
            double n = 1;
            if (!number(arg, value, 1, 4, "meters", n) || n != std::floor(n)) {
                if (n != std::floor(n))
                    std::fprintf(stderr, "bad value '%s' for %s: a whole number of meters\n", value, arg);
                return false;
            }
            o.meters = int(n);
        }
        else if (!std::strcmp(arg, "--sim-rate")) {
            if (!number(arg, value, 0.01, 10000, "reports a second", o.rate))
                return false;
        } else if (!std::strcmp(arg, "--sim-unplugged")) {
            if (!number(arg, value, 0, kWeek, "seconds", o.unpluggedFor))
                return false;
        } else if (!std::strcmp(arg, "--sim-replug")) {
            if (!number(arg, value, 0, kWeek, "seconds (0: never)", o.replugEvery))
                return false;
        }
        else if (!std::strcmp(arg, "--sim-scenario")) {
            o.scenarios.clear();
            for (const std::string &name : splitList(value)) {
                o.scenarios.emplace_back();
                if (!sim::scenarioNamed(name, o.scenarios.back())) {
                    std::fprintf(stderr, "unknown scenario %s: standard, charge, discharge, converter-in or "
                                         "converter-out\n", name.c_str());
                    return false;
                }
            }
        }
        else if (!std::strcmp(arg, "--sim-sleep")) {
            const char *colon = std::strchr(value, ':');
            if (!colon) {
                std::fprintf(stderr, "bad value '%s' for %s: AT:SECS, in seconds\n", value, arg);
                return false;
            }
            const std::string at(value, colon);
            if (!number(arg, at.c_str(), 0, kWeek, "seconds", o.sleepAt)
                || !number(arg, colon + 1, 0, kWeek, "seconds", o.sleepFor))
                return false;
        }
        else if (!std::strcmp(arg, "--sim-loader")) {
            if (std::strcmp(value, "silent") != 0) {
                std::fprintf(stderr, "unknown loader %s: silent\n", value);
                return false;
            }
            o.silentLoader = true;
        }
        else if (!std::strcmp(arg, "--sim-access")) {
            if (std::strcmp(value, "refused") != 0) {
                std::fprintf(stderr, "unknown access %s: refused\n", value);
                return false;
            }
            o.accessRefused = true;
        }
        else {
            std::fprintf(stderr, "unknown option %s\n", arg);
            return false;
        }
    }
    if (o.meters == 1) {
        o.serials = {wide(o.serialText)};
    } else {
        for (const std::string &s : splitList(o.serialText))
            o.serials.push_back(wide(s.c_str()));
    }
    argc = static_cast<int>(rest.size());
    for (int i = 0; i < argc; ++i)
        argv[i] = rest[i];
    argv[argc] = nullptr;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    Options options;
    if (!parse(argc, argv, options))
        return 2;

    std::vector<sim::Meter *> meters;
    for (int k = 0; k < options.meters; ++k) {
        sim::Identity identity;
        identity.product = L"SIM " + options.model + (options.version.empty() ? L"" : L" " + options.version);
        identity.serial = serialOf(options.serials, size_t(k));
        sim::Meter &meter = sim::attach(identity);
        meter.setReportRate(options.rate);
        meter.setScenario(options.scenarios[std::min(size_t(k), options.scenarios.size() - 1)]);
        meter.setSilent(options.silentLoader);
        if (options.unpluggedFor > 0)
            meter.unplug();
        meters.push_back(&meter);
    }
    // The one --sim-replug pulls out and puts back.
    sim::Meter &meter = *meters.back();
    meter.refuseOpens(options.accessRefused);
    if (options.sleepAt >= 0) {
        // The time the computer slept, on both clocks once it has.
        const auto start = std::chrono::steady_clock::now();
        const auto at = std::chrono::duration<double>(options.sleepAt);
        const qint64 sleptMs = qint64(options.sleepFor * 1000);
        auto slept = [start, at, sleptMs] {
            return std::chrono::steady_clock::now() - start >= at ? sleptMs : 0;
        };
        RunTimeline defaults;
        RunTimeline::setSystemClocks([defaults, slept] { return defaults.wallNow() + slept(); },
                                     [defaults, slept] { return defaults.steadyNow() + slept(); });
    }

    // Plugging and unplugging in the background, as a person would.
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
    std::thread hands([&] {
        std::unique_lock<std::mutex> l(lock);
        auto sleep = [&](double seconds) {
            return !wake.wait_for(l, std::chrono::duration<double>(seconds), [&] { return done; });
        };
        if (options.unpluggedFor > 0 && sleep(options.unpluggedFor)) {
            for (sim::Meter *m : meters)
                m->plug();
        }
        while (options.replugEvery > 0 && sleep(options.replugEvery)) {
            meter.unplug();
            if (!sleep(2.0))
                break;
            meter.plug();
        }
    });

    Cli::setReportPainter({&RunReport::makeApplication, &RunReport::writeRun, &RunReport::writeBench});
    std::optional<int> command = Cli::run(argc, argv);
    const int result = command ? *command : Startup::run(argc, argv);
    {
        std::lock_guard<std::mutex> l(lock);
        done = true;
    }
    wake.notify_all();
    hands.join();
    return result;
}
