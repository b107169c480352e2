#include "transport/Process.h"

#include "platform/Threads.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

std::mutex gLeftoverMutex;
std::vector<pid_t> gLeftovers;

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Moves fd above the standard descriptors, so that the child's dup2 onto 0 and
// 1 can never overwrite the other pipe end. Keeps close-on-exec.
int AboveStandardFds(int fd)
{
    if (fd > 2)
        return fd;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

bool SetNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecChild(int stdinFd, int stdoutFd, char const* path, char* const argv[],
                            char* const envp[], char const* failure, std::size_t failureLength,
                            sigset_t const* emptyMask, struct sigaction const* defaultAction)
{
    // Signal state is inherited across exec: give the program a clean one.
    ::sigprocmask(SIG_SETMASK, emptyMask, nullptr);
    ::sigaction(SIGPIPE, defaultAction, nullptr);
    ::setsid();
    if (::dup2(stdinFd, 0) < 0 || ::dup2(stdoutFd, 1) < 0)
        ::_exit(1);
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < 1024; ++fd)
            ::close(fd);
    }
    ::execve(path, argv, envp);
    std::size_t done = 0;
    while (done < failureLength) {
        ssize_t n = ::write(1, failure + done, failureLength - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::_exit(1);
}

}  // namespace

void IgnoreSIGPIPE()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (::sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
            (old.sa_flags & SA_SIGINFO) == 0) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            ::sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

std::size_t ReapLeftoverChildren()
{
    std::lock_guard<std::mutex> lock(gLeftoverMutex);
    for (auto it = gLeftovers.begin(); it != gLeftovers.end();) {
        int status = 0;
        pid_t r = ::waitpid(*it, &status, WNOHANG);
        // Gone (reaped now, or not our child any more): forget it.
        if (r == *it || (r < 0 && errno == ECHILD))
            it = gLeftovers.erase(it);
        else
            ++it;
    }
    return gLeftovers.size();
}

CChildProcess::~CChildProcess()
{
    CloseToChild();
    CloseFromChild();
    if (mPid > 0 && !TryReap()) {
        std::lock_guard<std::mutex> lock(gLeftoverMutex);
        gLeftovers.push_back(mPid);
    }
    ReapLeftoverChildren();
}

int CChildProcess::Start(char const* path, char* const argv[], char* const envp[],
                         char const* execFailure, std::size_t failureLength)
{
    if (mPid > 0)
        return EBUSY;
    IgnoreSIGPIPE();
    ReapLeftoverChildren();

    int in[2] = {-1, -1};   // child's standard input: [0] child reads, [1] we write
    int out[2] = {-1, -1};  // child's standard output: [0] we read, [1] child writes
    auto fail = [&](int err) {
        for (int* fd : {&in[0], &in[1], &out[0], &out[1]})
            CloseFd(*fd);
        return err;
    };
    if (::pipe2(in, O_CLOEXEC) != 0)
        return fail(errno);
    if (::pipe2(out, O_CLOEXEC) != 0)
        return fail(errno);
    for (int* fd : {&in[0], &in[1], &out[0], &out[1]}) {
        *fd = AboveStandardFds(*fd);
        if (*fd < 0)
            return fail(errno);
    }
    if (!SetNonBlocking(in[1]) || !SetNonBlocking(out[0]))
        return fail(errno);

    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);

    pid_t pid = ::fork();
    if (pid < 0)
        return fail(errno);
    if (pid == 0)
        ExecChild(in[0], out[1], path, argv, envp, execFailure, failureLength, &emptyMask,
                  &defaultAction);

    CloseFd(in[0]);
    CloseFd(out[1]);
    mPid = pid;
    mToChild = in[1];
    mFromChild = out[0];
    mReaped = false;
    mStatus = 0;
    return 0;
}

void CChildProcess::CloseToChild()
{
    CloseFd(mToChild);
}

void CChildProcess::CloseFromChild()
{
    CloseFd(mFromChild);
}

bool CChildProcess::Terminate()
{
    // Until we reap it the pid stays ours (a zombie keeps it), so this can
    // never hit an unrelated process.
    if (mPid <= 0 || mReaped)
        return false;
    return ::kill(mPid, SIGTERM) == 0;
}

bool CChildProcess::TryReap(int* status)
{
    if (mPid <= 0)
        return false;
    if (!mReaped) {
        int st = 0;
        pid_t r;
        do {
            r = ::waitpid(mPid, &st, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == mPid) {
            mReaped = true;
            mStatus = st;
        } else if (r < 0 && errno == ECHILD) {
            // Somebody else reaped it; it is gone all the same.
            mReaped = true;
            mStatus = 0;
        }
    }
    if (mReaped && status != nullptr)
        *status = mStatus;
    return mReaped;
}

bool CChildProcess::WaitFor(int milliseconds, int* status)
{
    // waitpid has no time limit of its own: poll it in short naps.
    for (int waited = 0;; waited += 5) {
        if (TryReap(status))
            return true;
        if (waited >= milliseconds)
            return false;
        StUnbatoned unbatoned;
        struct timespec nap {0, 5 * 1000 * 1000};
        ::nanosleep(&nap, nullptr);
    }
}
