#include "transport/ExecHosePipe.h"

#include "BuildInfo.h"
#include "foundation/Log.h"
#include "foundation/TextUtils.h"
#include "platform/MacClock.h"
#include "platform/Threads.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

extern char** environ;

namespace {

unsigned long long NowMs()
{
    using namespace std::chrono;
    return static_cast<unsigned long long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

char* CopyCString(CString const& s)
{
    char const* text = s.c_str() != nullptr ? s.c_str() : "";
    std::size_t n = std::strlen(text);
    char* copy = new char[n + 1];
    std::memcpy(copy, text, n + 1);
    return copy;
}

// Host names in messages: control characters would garble the log.
CString Printable(CString const& s)
{
    CString out("");
    for (long i = 0; i < s.Length(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        out += (c < 32 || c == 127) ? '?' : static_cast<char>(c);
    }
    return out;
}

std::mutex gPathsMutex;
CString gSSHProgram("/usr/bin/ssh");
CString gRSHProgram("/usr/bin/rsh");
CString gPasswordScript;

bool IsFile(std::string const& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::string ProgramFolder()
{
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string path(buf, static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

// ---- CExecHosePipe ---------------------------------------------------------

CExecHosePipe::CExecHosePipe(unsigned long timeout) : mTimeout(timeout)
{
    mStartTime = fw::MacNow();
}

CExecHosePipe* CExecHosePipe::MakeRefused(unsigned long timeout)
{
    return new CExecHosePipe(timeout);
}

CExecHosePipe::CExecHosePipe(CString const& path, TPtrArray<CString>& argv, unsigned long timeout,
                             TPtrArray<CString>& env)
    : mTimeout(timeout), mPath(path.c_str() != nullptr ? path : CString(""))
{
    for (CString* arg : argv)
        mArgv.push_back(CopyCString(arg != nullptr ? *arg : CString("")));
    mArgv.push_back(nullptr);

    // Everything the child needs is prepared before the fork.
    char** builtEnv = nullptr;
    if (env.Count() > 0)
        builtEnv = AddToEnvironment(environ, env);
    CString failure = CString("\nProblems executing ") + mPath + ".\n";

    mAbortFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int err = mAbortFd < 0 ? errno
                           : mChild.Start(mPath.c_str(), mArgv.data(), builtEnv != nullptr ? builtEnv : environ,
                                          failure.c_str(), static_cast<std::size_t>(failure.Length()));
    if (builtEnv != nullptr)
        FreeEnvironment(builtEnv);
    mStartTime = fw::MacNow();
    if (err != 0) {
        GLogPrintf(4, "Could not start \xD2%s\xD3. [error = %ld]", Printable(mPath).c_str(),
                   static_cast<long>(err));
        return;
    }
    mPid = mChild.Pid();
    mConnectionState = kHoseConnected;
}

CExecHosePipe::~CExecHosePipe()
{
    mChild.CloseToChild();
    mChild.CloseFromChild();
    if (mPid > 0 && mChild.Terminate()) {
        // It never said a word: it gets SIGTERM, which ends it at once.
        mChild.WaitFor(200);
    } else if (mChild.Started()) {
        // It sees the end of its input now; a moment is usually enough.
        mChild.WaitFor(20);
    }
    for (char* arg : mArgv)
        delete[] arg;
    if (mAbortFd >= 0)
        ::close(mAbortFd);
}

void CExecHosePipe::AbortThreadOperation()
{
    mAborted.store(true);
    if (mAbortFd >= 0) {
        std::uint64_t one = 1;
        ssize_t n = ::write(mAbortFd, &one, sizeof one);
        (void)n;
    }
}

void CExecHosePipe::WaitReady(int fd, short events, unsigned long long sinceMs)
{
    unsigned long long const limitMs = static_cast<unsigned long long>(mTimeout) * 1000ULL;
    for (;;) {
        if (mAborted.load())
            ThrowHoseCode(kHoseOperationAborted);
        unsigned long long now = NowMs();
        unsigned long long waited = now - sinceMs;
        if (waited > limitMs)
            ThrowHoseCode(kHoseTimedOut);
        unsigned long long left = limitMs - waited + 1;
        pollfd fds[2] = {{fd, events, 0}, {mAbortFd, POLLIN, 0}};
        int n;
        {
            StUnbatoned unbatoned;
            n = ::poll(fds, mAbortFd >= 0 ? 2 : 1, left > 60000 ? 60000 : static_cast<int>(left));
        }
        if (n < 0 && errno != EINTR)
            return;  // let the read or write report the problem
        if (n > 0 && fds[0].revents != 0)
            return;
    }
}

void CExecHosePipe::SendData(void const* buf, unsigned long len)
{
    char const* bytes = static_cast<char const*>(buf);
    int fd = mChild.ToChild();
    unsigned long long since = NowMs();
    while (len > 0) {
        if (mInputGone || fd < 0)
            return;
        ssize_t n = ::write(fd, bytes, len);
        if (n > 0) {
            mSentBytes += static_cast<unsigned long>(n);
            bytes += n;
            len -= static_cast<unsigned long>(n);
            since = NowMs();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitReady(fd, POLLOUT, since);
            continue;
        }
        if (n < 0 && errno == EPIPE) {
            // The child has stopped reading (typically it has ended, or could
            // not be executed at all). What it said on its way out is still in
            // its output, and the conversation reads that next: its answer or
            // the end of its output tells the story. The rest of the requests
            // have nowhere to go.
            mInputGone = true;
            mChild.CloseToChild();
            return;
        }
        GLogPrintf(4, "Failed to send data to CVS repository. [error = %ld]", static_cast<long>(errno));
        ThrowHoseCode(kHosePipeSendFailed);
    }
}

void CExecHosePipe::NoteOutput()
{
    // From its first byte on the child is talking to us; deleting the
    // transport then only closes the pipes and lets it end by itself.
    mPid = 0;
}

bool CExecHosePipe::FillReadAhead(unsigned long long& sinceMs)
{
    int fd = mChild.FromChild();
    for (;;) {
        if (mOutputEnded || fd < 0) {
            mOutputEnded = true;
            return false;
        }
        ssize_t n = ::read(fd, mAhead, kReadAhead);
        if (n > 0) {
            NoteOutput();
            mAheadStart = 0;
            mAheadEnd = static_cast<std::size_t>(n);
            sinceMs = NowMs();
            return true;
        }
        if (n == 0) {
            mOutputEnded = true;
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            WaitReady(fd, POLLIN, sinceMs);
            continue;
        }
        GLogPrintf(4, "Failed to receive data from CVS repository. [error = %ld]", static_cast<long>(errno));
        ThrowHoseCode(kHosePipeReceiveFailed);
    }
}

void CExecHosePipe::ReceiveData(void* buf, unsigned long& len)
{
    char* dst = static_cast<char*>(buf);
    unsigned long const wanted = len;
    unsigned long got = 0;
    unsigned long long since = NowMs();
    try {
        while (got < wanted) {
            if (mAheadStart < mAheadEnd) {
                std::size_t take = mAheadEnd - mAheadStart;
                if (take > wanted - got)
                    take = wanted - got;
                std::memcpy(dst + got, mAhead + mAheadStart, take);
                mAheadStart += take;
                got += static_cast<unsigned long>(take);
                continue;
            }
            int fd = mChild.FromChild();
            if (wanted - got >= kReadAhead && !mOutputEnded && fd >= 0) {
                // Large reads go straight into the caller's buffer.
                ssize_t n = ::read(fd, dst + got, wanted - got);
                if (n > 0) {
                    NoteOutput();
                    got += static_cast<unsigned long>(n);
                    since = NowMs();
                    continue;
                }
                if (n == 0) {
                    mOutputEnded = true;
                    break;
                }
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    WaitReady(fd, POLLIN, since);
                    continue;
                }
                GLogPrintf(4, "Failed to receive data from CVS repository. [error = %ld]",
                           static_cast<long>(errno));
                ThrowHoseCode(kHosePipeReceiveFailed);
            }
            if (!FillReadAhead(since))
                break;
        }
    } catch (...) {
        len = got;
        mReceivedBytes += got;
        throw;
    }
    len = got;
    mReceivedBytes += got;
}

char CExecHosePipe::ReceiveLine(char* buf, unsigned long& len, char term)
{
    unsigned long const room = len;
    unsigned long got = 0;
    unsigned long long since = NowMs();
    try {
        while (got < room) {
            if (mAheadStart == mAheadEnd && !FillReadAhead(since))
                break;
            char c = mAhead[mAheadStart++];
            ++mReceivedBytes;
            if (c == term || c == '\n') {
                buf[got] = 0;
                len = got;
                return c;
            }
            buf[got++] = c;
        }
    } catch (...) {
        len = got;
        throw;
    }
    // Room used up, or the output ended: callers pass one byte less than the
    // room they have, so the NUL fits.
    buf[got] = 0;
    len = got;
    return 0;
}

// ---- Factories -------------------------------------------------------------

bool IsSafeRemoteHostName(CString const& host)
{
    if (host.c_str() == nullptr)
        return true;
    if (host[0] == '-')
        return false;
    for (long i = 0; i < host.Length(); ++i) {
        unsigned char c = static_cast<unsigned char>(host[i]);
        if (c < 32 || c == 127)
            return false;
    }
    return true;
}

namespace {

bool RefuseHost(CString const& host)
{
    if (IsSafeRemoteHostName(host))
        return false;
    GLogPrintf(4,
               "The host name \xD2%s\xD3 was refused: a host name must not begin with \xD2-\xD3 "
               "or contain control characters.",
               Printable(host).c_str());
    return true;
}

CString OrDefault(CString const& s, char const* fallback)
{
    return s.Empty() ? CString(fallback) : s;
}

}  // namespace

CExecHosePipe* MakeLocalHosePipe(unsigned short timeout, CString const& cvsCommand)
{
    TPtrArray<CString> argv(kPArrOwning);
    argv.append(new CString("cvs"));
    argv.append(new CString("server"));
    TPtrArray<CString> env(kPArrOwning);
    return new CExecHosePipe(OrDefault(cvsCommand, "/usr/bin/cvs"), argv, timeout, env);
}

CExecHosePipe* MakeRSHHosePipe(CString const& host, CString const& user, unsigned short timeout,
                               CString const& cvsCommand)
{
    if (RefuseHost(host))
        return CExecHosePipe::MakeRefused(timeout);
    TPtrArray<CString> argv(kPArrOwning);
    argv.append(new CString("rsh"));
    argv.append(new CString("-l"));
    argv.append(new CString(user.c_str() != nullptr ? user : CString("")));
    argv.append(new CString(host.c_str() != nullptr ? host : CString("")));
    argv.append(new CString(OrDefault(cvsCommand, "cvs")));
    argv.append(new CString("server"));
    TPtrArray<CString> env(kPArrOwning);
    return new CExecHosePipe(RSHProgramPath(), argv, timeout, env);
}

CExecHosePipe* MakeSSHHosePipe(CString const& version, CString const& host, unsigned short port,
                               CString const& user, CString const& password, unsigned short timeout,
                               CString const& cvsCommand)
{
    if (RefuseHost(host))
        return CExecHosePipe::MakeRefused(timeout);
    if (version == "-1") {
        // OpenSSH removed protocol 1 long ago; running it would only end in a
        // handshake that hears nothing.
        GLogPrintf(4, "ssh no longer supports SSH protocol 1. Please choose SSH 2 as the login "
                      "method of the profile.");
        return CExecHosePipe::MakeRefused(timeout);
    }
    if (!FW_CHECK(version == "-2"))
        return CExecHosePipe::MakeRefused(timeout);

    char portText[8];
    std::snprintf(portText, sizeof portText, "%hu", port);
    TPtrArray<CString> argv(kPArrOwning);
    argv.append(new CString("ssh"));
    argv.append(new CString(version));
    argv.append(new CString("-l"));
    argv.append(new CString(user.c_str() != nullptr ? user : CString("")));
    argv.append(new CString("-p"));
    argv.append(new CString(portText));
    argv.append(new CString(host.c_str() != nullptr ? host : CString("")));
    argv.append(new CString(OrDefault(cvsCommand, "cvs")));
    argv.append(new CString("server"));

    TPtrArray<CString> env(kPArrOwning);
    if (!password.Empty()) {
        env.append(new CString(CString("SSH_ASKPASS=") + PasswordScriptPath()));
        env.append(new CString(CString("SSH_CVS_PASSWORD=") + password));
        env.append(new CString("DISPLAY=localhost"));
    }
    return new CExecHosePipe(SSHProgramPath(), argv, timeout, env);
}

CString SSHProgramPath()
{
    std::lock_guard<std::mutex> lock(gPathsMutex);
    return gSSHProgram;
}

CString RSHProgramPath()
{
    std::lock_guard<std::mutex> lock(gPathsMutex);
    return gRSHProgram;
}

void SetSSHProgramPath(CString const& path)
{
    std::lock_guard<std::mutex> lock(gPathsMutex);
    gSSHProgram = path;
}

void SetRSHProgramPath(CString const& path)
{
    std::lock_guard<std::mutex> lock(gPathsMutex);
    gRSHProgram = path;
}

CString PasswordScriptPath()
{
    {
        std::lock_guard<std::mutex> lock(gPathsMutex);
        if (!gPasswordScript.Empty())
            return gPasswordScript;
    }
    std::string folder = ProgramFolder();
    std::string const candidates[] = {
        folder + "/../share/fennelwright/password.sh",
        folder + "/resources/password.sh",
        std::string(FW_SOURCE_DIR) + "/resources/password.sh",
    };
    for (auto const& c : candidates) {
        if (IsFile(c))
            return CString(c.c_str());
    }
    return CString(candidates[0].c_str());
}

void SetPasswordScriptPath(CString const& path)
{
    std::lock_guard<std::mutex> lock(gPathsMutex);
    gPasswordScript = path;
}
