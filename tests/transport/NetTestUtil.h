#pragma once
// Helpers for the network transport tests: a one-connection TCP server that
// plays a script, a plain-socket client, and a log catcher.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "foundation/Log.h"

namespace fwtest {

// Listens on a loopback address (127.0.0.1 or ::1), port chosen by the
// kernel, accepts one connection and runs the script on it in a thread of its
// own; the connection is closed when the script returns (unless the script
// closed it and returned -1 in fd).
class ScriptServer {
public:
    explicit ScriptServer(std::function<void(int& fd)> script, int family = AF_INET)
        : mScript(std::move(script))
    {
        mListen = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage addr{};
        socklen_t length;
        if (family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            length = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&addr);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *a;
        }
        if (mListen < 0 || bind(mListen, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
            listen(mListen, 4) != 0)
            return;
        getsockname(mListen, reinterpret_cast<sockaddr*>(&addr), &length);
        mPort = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
        mThread = std::thread([this] {
            pollfd p{mListen, POLLIN, 0};
            if (poll(&p, 1, 20000) != 1)
                return;
            int fd = accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            mScript(fd);
            if (fd >= 0)
                close(fd);
        });
    }
    ~ScriptServer()
    {
        if (mThread.joinable())
            mThread.join();
        if (mListen >= 0)
            close(mListen);
    }
    ScriptServer(ScriptServer const&) = delete;
    ScriptServer& operator=(ScriptServer const&) = delete;

    bool Ok() const { return mPort != 0; }
    unsigned short Port() const { return mPort; }
    void Join()
    {
        if (mThread.joinable())
            mThread.join();
    }

private:
    std::function<void(int& fd)> mScript;
    int mListen = -1;
    unsigned short mPort = 0;
    std::thread mThread;
};

inline bool SendAll(int fd, std::string const& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until a line feed (not included) or the end; waits at most 10 s.
inline std::string RecvLine(int fd)
{
    std::string line;
    char c;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 10000) == 1 && recv(fd, &c, 1, 0) == 1 && c != '\n')
        line += c;
    return line;
}

// Reads until the peer closes (or 10 s pass); returns what came and, in
// *reset, whether the connection ended with a reset.
inline std::string RecvAll(int fd, bool* reset = nullptr)
{
    std::string all;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    if (reset != nullptr)
        *reset = false;
    while (poll(&p, 1, 10000) == 1) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            all.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && reset != nullptr)
            *reset = errno == ECONNRESET;
        break;
    }
    return all;
}

// A plain TCP client socket connected to 127.0.0.1:port, or -1.
inline int ConnectLoopback(unsigned short port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

// Catches what is logged (and alerted) while it lives.
class LogCatcher {
public:
    LogCatcher() : mOld(gConsoleP), mAlerts(&mSink) { gConsoleP = &mConsole; }
    ~LogCatcher() { gConsoleP = mOld; }
    LogCatcher(LogCatcher const&) = delete;
    LogCatcher& operator=(LogCatcher const&) = delete;

    std::string All() const
    {
        std::string all;
        for (unsigned long i = 0; i < mConsole.Count(); ++i)
            all += mConsole.EntryText(i) + "\n";
        return all;
    }
    bool Has(std::string const& text) const { return All().find(text) != std::string::npos; }
    unsigned long Count() const { return mConsole.Count(); }

private:
    CConsole mConsole;
    CConsole* mOld;
    CScriptedAlertSink mSink;
    StAlertSink mAlerts;
};

}  // namespace fwtest
