// A program that installs the crash report and then faults in the way its
// argument names; tst_crashreport runs it and reads what it left.
#include "base/crashreport.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

// The faults themselves are not instrumented, so the sanitizers of the test
// build neither catch them first nor change what the report sees.
#define FAULT __attribute__((noinline, no_sanitize("address", "undefined")))

namespace {

FAULT void nullWrite()
{
    *reinterpret_cast<volatile int *>(0x10) = 1;
}

FAULT void unmappedRead()
{
    void *page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    munmap(page, 4096);
    (void)*static_cast<volatile int *>(page);
}

FAULT void illegalInstruction()
{
    __builtin_trap();
}

FAULT void jumpToNowhere()
{
    reinterpret_cast<void (*)()>(0x1234)();
}

// Runs off the end of a page of code mapped from this program's file, into
// nothing: the fault is just past a mapping that has a name.
FAULT void pastTheCode()
{
    char *pages = static_cast<char *>(mmap(nullptr, 8192, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (pages == MAP_FAILED || fd < 0
        || mmap(pages, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED)
        return;
    munmap(pages + 4096, 4096);
    reinterpret_cast<void (*)()>(pages + 4096)();
}

FAULT int recurse(int depth)
{
    volatile char frame[256];
    frame[0] = char(depth);
    return recurse(depth + 1) + frame[0];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    CrashReport::install();
    const char *how = argv[1];
    if (!strcmp(how, "null-write"))
        nullWrite();
    else if (!strcmp(how, "unmapped-read"))
        unmappedRead();
    else if (!strcmp(how, "illegal"))
        illegalInstruction();
    else if (!strcmp(how, "abort"))
        abort();
    else if (!strcmp(how, "jump"))
        jumpToNowhere();
    else if (!strcmp(how, "past-code"))
        pastTheCode();
    else if (!strcmp(how, "worker-overflow")) {
        // A thread of the program runs out of stack: only an alternate
        // signal stack lets the report be written.
        std::thread worker([] {
            const CrashReport::ThreadGuard guard;
            recurse(0);
        });
        worker.join();
    } else if (!strcmp(how, "two-threads")) {
        // Two threads fault at the same moment, in two ways.
        std::atomic<int> ready{0};
        auto meet = [&ready] {
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
        };
        std::thread a([&] {
            const CrashReport::ThreadGuard guard;
            meet();
            nullWrite();
        });
        std::thread b([&] {
            const CrashReport::ThreadGuard guard;
            meet();
            illegalInstruction();
        });
        a.join();
        b.join();
    }
    return 3;   // did not fault
}
