#pragma once
// A child program whose standard input and output are pipes to this process.
//
// Starting a program from a process that runs several threads (the user
// interface, one thread per conversation) must follow a few rules:
//   - everything the child needs (arguments, environment, the failure text) is
//     built before the fork; between fork and exec the child only makes
//     async-signal-safe calls;
//   - every descriptor is close-on-exec, and the child closes whatever else is
//     open, so another conversation's pipe or socket never leaks into it;
//   - the child starts a session of its own: it has no controlling terminal,
//     so ssh asks for a password through SSH_ASKPASS, never on a terminal, and
//     a Ctrl-C in the terminal that started us does not reach it;
//   - a child is reaped by its own pid, never with waitpid(-1), so the status
//     of somebody else's child is never taken and a pid we may still signal
//     cannot be reused behind our back;
//   - SIGPIPE is ignored, so a write to a child that has gone away fails with
//     EPIPE instead of ending the program.

#include <sys/types.h>

#include <cstddef>

class CChildProcess {
public:
    CChildProcess() = default;
    // Closes our ends of the pipes and reaps the child if it has ended; a child
    // still running is reaped later by ReapLeftoverChildren. It is never killed
    // here: see Terminate.
    ~CChildProcess();
    CChildProcess(CChildProcess const&) = delete;
    CChildProcess& operator=(CChildProcess const&) = delete;

    // Starts `path` with the null-terminated `argv` and `envp`. The child's
    // standard error stays ours. When the program cannot be executed, the child
    // writes `execFailure` (failureLength bytes) to its standard output and
    // exits with status 1. Our two ends are non-blocking and close-on-exec.
    // Returns 0, or the errno of the pipe or fork that failed (nothing started).
    int Start(char const* path, char* const argv[], char* const envp[], char const* execFailure,
              std::size_t failureLength);

    bool Started() const { return mPid > 0; }
    pid_t Pid() const { return mPid; }
    // Write end of the child's standard input, -1 when closed.
    int ToChild() const { return mToChild; }
    // Read end of the child's standard output, -1 when closed.
    int FromChild() const { return mFromChild; }
    void CloseToChild();
    void CloseFromChild();

    // Sends SIGTERM unless the child was already reaped (its pid is then no
    // longer ours). Returns true when the signal went out.
    bool Terminate();
    // Collects the exit status without waiting. True once the child has been
    // reaped (now or before); `status` receives the waitpid status.
    bool TryReap(int* status = nullptr);
    // Waits up to `milliseconds` for the child to end, without holding the
    // baton. True once reaped.
    bool WaitFor(int milliseconds, int* status = nullptr);
    // The waitpid status once reaped.
    bool Reaped() const { return mReaped; }
    int ExitStatus() const { return mStatus; }

private:
    pid_t mPid = 0;
    int mToChild = -1;
    int mFromChild = -1;
    bool mReaped = false;
    int mStatus = 0;
};

// Reaps, each by its own pid, the children whose CChildProcess went away while
// they were still running. Returns how many are still running. Called on every
// start and destruction; callers may also call it when idle.
std::size_t ReapLeftoverChildren();

// Sets SIGPIPE to be ignored, once per process, unless someone installed a
// handler of their own.
void IgnoreSIGPIPE();
