#pragma once

// The crash report: when a thread of the program faults (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE) or the program aborts (SIGABRT), MyApp/crash.log below the
// current directory is written anew with the system, the program, the
// fault, the instruction bytes, the registers and the call stack; then the
// signal takes its default course (the process ends, with a core dump where
// the user enabled them). A thread that faults while another writes the report
// waits until that one has ended the process.
//
// The handler runs inside the fault: it allocates nothing, takes no lock and
// uses no stdio, only system calls that are safe in a signal handler.
namespace CrashReport {

// Installs the handler for the whole process and gives the calling thread
// an alternate signal stack, so a stack overflow is reported too.
void install();

// An alternate signal stack for a thread of the program while this lives:
// one at the start of each thread's run.
class ThreadGuard
{
public:
    ThreadGuard();
    ~ThreadGuard();
    ThreadGuard(const ThreadGuard &) = delete;
    ThreadGuard &operator=(const ThreadGuard &) = delete;

private:
    void *m_stack = nullptr;
    bool m_hadPrevious = false;
    char m_previous[32] = {};   // the thread's earlier stack_t
};

} // namespace CrashReport
