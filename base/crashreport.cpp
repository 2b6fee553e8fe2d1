#include "base/crashreport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

static_assert(sizeof(stack_t) <= 32, "ThreadGuard keeps the earlier stack_t in 32 bytes");

namespace CrashReport {

namespace {

constexpr size_t kAltStackBytes = 128 * 1024;
constexpr int kMaxFrames = 64;
const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Everything the handler needs, made before any fault.
char g_report[64 * 1024];
char g_maps[1024 * 1024];
size_t g_mapsLength = 0;
int g_probe[2] = {-1, -1};
// The thread writing the report, 0 before any fault.
std::atomic<pid_t> g_reporter{0};

// Appends text to a fixed buffer; what does not fit is cut off.
struct Text {
    char *buffer;
    size_t capacity;
    size_t length = 0;

    void put(const char *s, size_t n)
    {
        for (size_t i = 0; i < n && length < capacity; ++i)
            buffer[length++] = s[i];
    }
    void put(const char *s) { put(s, strlen(s)); }
    void hex(uint64_t value, int digits)
    {
        char d[16];
        for (int i = digits - 1; i >= 0; --i) {
            d[i] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        }
        put(d, size_t(digits));
    }
    void dec(long value)
    {
        char d[24];
        int n = 0;
        const bool negative = value < 0;
        unsigned long v = negative ? 0UL - (unsigned long)value : (unsigned long)value;
        do {
            d[n++] = char('0' + v % 10);
            v /= 10;
        } while (v);
        if (negative)
            put("-");
        while (n)
            put(&d[--n], 1);
    }
};

// Copies n bytes from src if they can be read: the kernel copies them into a
// pipe, or refuses with EFAULT, and never faults itself.
bool safeRead(void *dst, uintptr_t src, size_t n)
{
    if (g_probe[1] < 0)
        return false;
    const ssize_t written = write(g_probe[1], reinterpret_cast<const void *>(src), n);
    if (written <= 0)
        return false;
    const ssize_t got = read(g_probe[0], dst, size_t(written));
    return written == ssize_t(n) && got == written;
}

void loadMaps()
{
    g_mapsLength = 0;
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (;;) {
        const ssize_t n = read(fd, g_maps + g_mapsLength, sizeof g_maps - g_mapsLength);
        if (n <= 0)
            break;
        g_mapsLength += size_t(n);
        if (g_mapsLength == sizeof g_maps)
            break;
    }
    close(fd);
}

uint64_t parseHex(const char *&p, const char *end)
{
    uint64_t v = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            break;
        v = v * 16 + uint64_t(d);
    }
    return v;
}

struct Mapping {
    bool found = false;
    bool executable = false;
    const char *path = nullptr;   // not terminated
    size_t pathLength = 0;
};

// The line of /proc/self/maps that holds address:
// "start-end perms offset dev inode   path".
Mapping mappingOf(uint64_t address)
{
    Mapping m;
    const char *p = g_maps;
    const char *end = g_maps + g_mapsLength;
    while (p < end) {
        const char *lineEnd = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        const char *q = p;
        const uint64_t start = parseHex(q, lineEnd);
        ++q;
        const uint64_t stop = parseHex(q, lineEnd);
        if (address >= start && address < stop && q + 4 < lineEnd) {
            m.found = true;
            m.executable = q[3] == 'x';
            // Past perms, offset, device and inode to the path, if any.
            int fields = 0;
            ++q;
            while (q < lineEnd && fields < 4) {
                while (q < lineEnd && *q != ' ')
                    ++q;
                while (q < lineEnd && *q == ' ')
                    ++q;
                ++fields;
            }
            m.path = q;
            m.pathLength = size_t(lineEnd - q);
            return m;
        }
        p = lineEnd + 1;
    }
    return m;
}

void putModule(Text &t, uint64_t address, const char *before)
{
    const Mapping m = mappingOf(address);
    if (m.found && m.pathLength > 0) {
        t.put(before);
        t.put(m.path, m.pathLength);
    }
}

bool executable(uint64_t address)
{
    const Mapping m = mappingOf(address);
    return m.found && m.executable;
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "?";
    }
}

void putRegister(Text &t, const char *name, uint64_t value)
{
    t.put(name);
    t.hex(value, 16);
}

// Return addresses along the chain of saved frame pointers, at most
// kMaxFrames, ending at a frame that cannot be read or a return address
// outside executable memory.
void putCallStack(Text &t, uint64_t framePointer, uint64_t returnAddress)
{
    for (int i = 0; i < kMaxFrames; ++i) {
        if (!executable(returnAddress))
            return;
        t.put("\n");
        t.hex(returnAddress, 16);
        t.put("  ");
        putModule(t, returnAddress, "");
        uint64_t frame[2];
        if (!safeRead(frame, uintptr_t(framePointer), sizeof frame))
            return;
        framePointer = frame[0];
        returnAddress = frame[1];
    }
}

void writeReport(const char *text, size_t length)
{
    char path[4200];
    if (!getcwd(path, sizeof path - 32))
        return;
    size_t n = strlen(path);
    memcpy(path + n, "/MyApp", 7);
    mkdir(path, 0777);
    n += 6;
    memcpy(path + n, "/crash.log", 11);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < length) {
        const ssize_t w = write(fd, text + done, length - done);
        if (w <= 0)
            break;
        done += size_t(w);
    }
    close(fd);
}

// The faulting thread's machine state: where it was, its stack and frame
// pointers, whether a bad access was a write (-1: not known), and the
// return address when a register holds it (0: on top of the stack).
struct Machine {
    uint64_t pc = 0, sp = 0, fp = 0;
    int write = -1;
    uint64_t link = 0;
};

#if defined(__x86_64__)
Machine machineOf(const ucontext_t *uc)
{
    const greg_t *g = uc->uc_mcontext.gregs;
    // Bit 1 of the page-fault error code: the access was a write.
    return {uint64_t(g[REG_RIP]), uint64_t(g[REG_RSP]), uint64_t(g[REG_RBP]), (uint64_t(g[REG_ERR]) & 2) ? 1 : 0};
}

void putRegisters(Text &t, const ucontext_t *uc)
{
    const greg_t *g = uc->uc_mcontext.gregs;
    putRegister(t, "\nRAX: ", uint64_t(g[REG_RAX]));
    putRegister(t, "  RBX: ", uint64_t(g[REG_RBX]));
    putRegister(t, "  RCX: ", uint64_t(g[REG_RCX]));
    putRegister(t, "  RDX: ", uint64_t(g[REG_RDX]));
    putRegister(t, "\nRSI: ", uint64_t(g[REG_RSI]));
    putRegister(t, "  RDI: ", uint64_t(g[REG_RDI]));
    putRegister(t, "  RSP: ", uint64_t(g[REG_RSP]));
    putRegister(t, "  RBP: ", uint64_t(g[REG_RBP]));
    putRegister(t, "\nR8:  ", uint64_t(g[REG_R8]));
    putRegister(t, "  R9:  ", uint64_t(g[REG_R9]));
    putRegister(t, "  R10: ", uint64_t(g[REG_R10]));
    putRegister(t, "  R11: ", uint64_t(g[REG_R11]));
    putRegister(t, "\nR12: ", uint64_t(g[REG_R12]));
    putRegister(t, "  R13: ", uint64_t(g[REG_R13]));
    putRegister(t, "  R14: ", uint64_t(g[REG_R14]));
    putRegister(t, "  R15: ", uint64_t(g[REG_R15]));
    putRegister(t, "\nRIP: ", uint64_t(g[REG_RIP]));
    putRegister(t, "  EFlags: ", uint64_t(g[REG_EFL]));
}
#elif defined(__aarch64__)
Machine machineOf(const ucontext_t *uc)
{
    const mcontext_t &m = uc->uc_mcontext;
    return {uint64_t(m.pc), uint64_t(m.sp), uint64_t(m.regs[29]), -1, uint64_t(m.regs[30])};
}

void putRegisters(Text &t, const ucontext_t *uc)
{
    static const char *const names[31] = {
        "\nX0:  ", "  X1:  ", "  X2:  ", "  X3:  ", "\nX4:  ", "  X5:  ", "  X6:  ", "  X7:  ",
        "\nX8:  ", "  X9:  ", "  X10: ", "  X11: ", "\nX12: ", "  X13: ", "  X14: ", "  X15: ",
        "\nX16: ", "  X17: ", "  X18: ", "  X19: ", "\nX20: ", "  X21: ", "  X22: ", "  X23: ",
        "\nX24: ", "  X25: ", "  X26: ", "  X27: ", "\nX28: ", "  FP:  ", "  LR:  "};
    const mcontext_t &m = uc->uc_mcontext;
    for (int i = 0; i < 31; ++i)
        putRegister(t, names[i], uint64_t(m.regs[i]));
    putRegister(t, "  SP:  ", uint64_t(m.sp));
    putRegister(t, "\nPC:  ", uint64_t(m.pc));
    putRegister(t, "  PSTATE: ", uint64_t(m.pstate));
}
#else
#error "the crash report reads the registers of x86-64 and arm64 only"
#endif

void handler(int sig, siginfo_t *info, void *context)
{
    // One report, by the first thread that faults. Another thread that faults
    // meanwhile waits here: ending the process now would cut the report
    // short. The reporter ends the process when it is done. A fault of the
    // reporter itself inside the handler takes its default course at once.
    const pid_t self = pid_t(syscall(SYS_gettid));
    pid_t reporter = 0;
    if (!g_reporter.compare_exchange_strong(reporter, self)) {
        if (reporter != self) {
            for (;;)
                pause();
        }
    } else {
        const auto *uc = static_cast<const ucontext_t *>(context);
        const Machine machine = machineOf(uc);
        const uint64_t rip = machine.pc;
        loadMaps();
        Text t{g_report, sizeof g_report};

        utsname system;
        if (uname(&system) == 0) {
            t.put(system.sysname);
            t.put(":  ");
            t.put(system.release);
        }
        t.put("\nProcess:  ");
        char exe[4096];
        const ssize_t exeLength = readlink("/proc/self/exe", exe, sizeof exe);
        if (exeLength > 0)
            t.put(exe, size_t(exeLength));

        t.put("\nException Addr:  ");
        t.hex(rip, 16);
        t.put("  ");
        putModule(t, rip, " Module: ");
        t.put("\nSignal:  ");
        t.dec(sig);
        t.put(" (");
        t.put(signalName(sig));
        t.put(")\n");
        if (sig == SIGSEGV || sig == SIGBUS) {
            t.put(machine.write < 0 ? "Fault" : machine.write ? "Write" : "Read");
            t.put(" Address:  ");
            t.hex(uint64_t(reinterpret_cast<uintptr_t>(info->si_addr)), 16);
            t.put("\n");
        }
        t.put("Instruction: ");
        unsigned char bytes[16];
        if (safeRead(bytes, uintptr_t(rip), sizeof bytes)) {
            for (unsigned char b : bytes) {
                t.put(" ");
                t.hex(b, 2);
            }
        } else {
            t.put(" (not readable)");
        }
        t.put("\nRegisters: ");
        putRegisters(t, uc);

        t.put("\nCall Stack:");
        uint64_t first = rip;
        if (!executable(rip)) {
            // A jump or call to nowhere: the caller's return address is on
            // top of the stack.
            uint64_t top;
            if (machine.link != 0)
                first = machine.link;
            else if (safeRead(&top, uintptr_t(machine.sp), sizeof top))
                first = top;
        }
        putCallStack(t, machine.fp, first);
        writeReport(t.buffer, t.length);
    }

    // The signal's own course: the process ends with it.
    struct sigaction defaults;
    memset(&defaults, 0, sizeof defaults);
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(sig, &defaults, nullptr);
    raise(sig);
}

void *newAltStack()
{
    void *stack = mmap(nullptr, kAltStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return stack == MAP_FAILED ? nullptr : stack;
}

} // namespace

void install()
{
    if (g_probe[0] < 0 && pipe2(g_probe, O_NONBLOCK | O_CLOEXEC) != 0)
        g_probe[0] = g_probe[1] = -1;
    // The main thread's stack stays for the life of the process.
    if (void *stack = newAltStack()) {
        stack_t ss;
        memset(&ss, 0, sizeof ss);
        ss.ss_sp = stack;
        ss.ss_size = kAltStackBytes;
        sigaltstack(&ss, nullptr);
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        sigaction(sig, &action, nullptr);
}

ThreadGuard::ThreadGuard()
{
    m_stack = newAltStack();
    if (!m_stack)
        return;
    stack_t ss;
    memset(&ss, 0, sizeof ss);
    ss.ss_sp = m_stack;
    ss.ss_size = kAltStackBytes;
    stack_t previous;
    if (sigaltstack(&ss, &previous) == 0) {
        memcpy(m_previous, &previous, sizeof previous);
        m_hadPrevious = true;
    }
}

ThreadGuard::~ThreadGuard()
{
    if (!m_stack)
        return;
    // The thread's earlier stack (its runtime's, or none) comes back before
    // ours goes.
    if (m_hadPrevious) {
        stack_t previous;
        memcpy(&previous, m_previous, sizeof previous);
        if (previous.ss_flags & SS_DISABLE) {
            previous.ss_sp = nullptr;
            previous.ss_size = 0;
            previous.ss_flags = SS_DISABLE;
        }
        sigaltstack(&previous, nullptr);
    }
    munmap(m_stack, kAltStackBytes);
}

} // namespace CrashReport
