#include "transport/TCPHosePipe.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "foundation/Log.h"
#include "platform/MacClock.h"
#include "platform/Threads.h"

namespace {

// Curly quotes around names in log texts (Mac Roman).
#define LQ "\xD2"
#define RQ "\xD3"

bool IsRefusedHostName(char const* host)
{
    if (host == nullptr || host[0] == '\0' || host[0] == '-')
        return true;
    for (unsigned char const* p = reinterpret_cast<unsigned char const*>(host); *p != 0; ++p)
        if (*p < 32 || *p == 127)
            return true;
    return false;
}

// A copy fit to be shown: control bytes become "?".
std::string Printable(char const* s)
{
    std::string out = s != nullptr ? s : "";
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '?';
    return out;
}

bool IsLocalAddressBusy(int err)
{
    return err == EADDRINUSE || err == EADDRNOTAVAIL || err == EACCES;
}

// The code reported for a connection failure.
long ConnectCode(int err)
{
    switch (err) {
    case ENETUNREACH:
    case EHOSTUNREACH: return kHoseNetworkUnreachable;
    case ENETDOWN: return kHoseNetworkDown;
    case ECONNREFUSED: return kHoseConnectionRefused;
    case ETIMEDOUT: return kHoseNoAnswer;
    default: return err;
    }
}

// Looks for the first line feed or term byte among the n bytes at p and
// copies the bytes before it to out; *at receives its offset. False, with out
// holding scratch, when none of the n bytes stops the line. Reads up to
// kCutOverread bytes past p + n, which the read-ahead keeps as slack. One
// pass that searches and copies 16 bytes at a time, so a line costs a few
// vector steps instead of a search and a copy call; it never writes past
// out + *at.
constexpr unsigned long kCutOverread = 16;

inline bool CutLine(char const* p, unsigned long n, char term, char* out, unsigned long* at)
{
#if defined(__SSE2__)
    __m128i const lf = _mm_set1_epi8('\n');
    __m128i const tm = _mm_set1_epi8(term);
    for (unsigned long i = 0;; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p + i));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, tm))));
        if (n - i < 16) {
            mask &= (1u << (n - i)) - 1;  // bytes past the n are not ours
            if (mask == 0)
                return false;
        }
        if (mask != 0) {
            unsigned long stop = i + static_cast<unsigned long>(__builtin_ctz(mask));
            if (stop >= 16) {
                // The last 16 bytes before the stop, overlapping what is stored.
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + stop - 16),
                                 _mm_loadu_si128(reinterpret_cast<__m128i const*>(p + stop - 16)));
            } else {
                std::memcpy(out, p, stop);
            }
            *at = stop;
            return true;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
#else
    char const* stop = FindLineStop(p, n, term);
    if (stop == nullptr)
        return false;
    *at = static_cast<unsigned long>(stop - p);
    std::memcpy(out, p, *at);
    return true;
#endif
}

}  // namespace

CTCPHosePipe::CTCPHosePipe(CString const& host, unsigned short port, unsigned short timeout,
                           unsigned char restrictedLocalPort)
    : mTimeout(timeout), mHost(host), mPort(port)
{
    mAbortEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    char const* name = mHost.c_str();
    if (IsRefusedHostName(name)) {
        GLogPrintf(4, "Refused CVS server name " LQ "%s" RQ ": a host name must not be empty, begin with " LQ "-" RQ " or hold control characters.",
                   Printable(name).c_str());
        mStartTime = fw::MacNow();
        return;
    }

    // Names longer than a length-prefixed string holds are cut at the front,
    // as the address object of the original network layer did.
    std::string lookup = name;
    if (mHost.Length() > 255) {
        unsigned char pstr[256];
        mHost.ToPString(pstr, 255);
        lookup.assign(reinterpret_cast<char const*>(pstr + 1), pstr[0]);
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    int rc;
    {
        StUnbatoned unbatoned;
        rc = getaddrinfo(lookup.c_str(), std::to_string(port).c_str(), &hints, &found);
    }
    if (rc != 0) {
        long code = (rc == EAI_SYSTEM) ? errno : kHoseHostNotFound;
        GLogPrintf(4, "Failed to connect to CVS server " LQ "%s" RQ " on port %hu. [error = %ld]",
                   Printable(name).c_str(), port, code);
        mStartTime = fw::MacNow();
        return;
    }

    unsigned short localPort = restrictedLocalPort ? 1023 : 0;
    for (;;) {
        int err = 0;
        bool busy = false;
        bool connected = false;
        for (addrinfo* ai = found; ai != nullptr && !connected; ai = ai->ai_next) {
            mRemoteFamily = ai->ai_family;
            std::memcpy(&mRemote, ai->ai_addr, ai->ai_addrlen);
            mRemoteLength = ai->ai_addrlen;
            connected = Connect(localPort, &err, &busy);
            if (busy)
                break;  // the same local port is taken for every address
        }
        if (connected)
            break;
        if (busy && restrictedLocalPort && localPort > 1) {
            --localPort;
            continue;
        }
        long code = busy ? static_cast<long>(kHoseLocalAddressBusy) : ConnectCode(err);
        if (code == kHoseNetworkUnreachable || code == kHoseNetworkDown)
            GLogPrintf(4, "Network not reachable. [error = %ld]", code);
        else if (busy)
            GLogPrintf(4, "Failed to connect to CVS server " LQ "%s" RQ " on port %hu. [error = %ld, no restricted local port available]",
                       Printable(name).c_str(), port, code);
        else
            GLogPrintf(4, "Failed to connect to CVS server " LQ "%s" RQ " on port %hu. [error = %ld]",
                       Printable(name).c_str(), port, code);
        break;
    }
    freeaddrinfo(found);
    mStartTime = fw::MacNow();
}

CTCPHosePipe::~CTCPHosePipe()
{
    if (mState == kHoseConnected)
        OrderlyDisconnect();
    Close();
    if (mAbortEvent >= 0)
        close(mAbortEvent);
}

bool CTCPHosePipe::Connect(unsigned short localPort, int* error, bool* busy)
{
    *busy = false;
    mSocket = socket(mRemoteFamily, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (mSocket < 0) {
        *error = errno;
        return false;
    }
    mState = kHoseEndpointMade;

    if (localPort != 0) {
        int on = 1;
        setsockopt(mSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_storage local{};
        socklen_t localLength;
        if (mRemoteFamily == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&local);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_any;
            a->sin6_port = htons(localPort);
            localLength = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&local);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_ANY);
            a->sin_port = htons(localPort);
            localLength = sizeof *a;
        }
        if (bind(mSocket, reinterpret_cast<sockaddr*>(&local), localLength) != 0) {
            *error = errno;
            *busy = IsLocalAddressBusy(*error);
            Close();
            return false;
        }
    }
    mState = kHoseAddressBound;

    int rc = connect(mSocket, reinterpret_cast<sockaddr*>(&mRemote), mRemoteLength);
    if (rc != 0 && errno == EINPROGRESS) {
        // No time limit of our own, but an abort ends the wait.
        pollfd fds[2] = {{mSocket, POLLOUT, 0}, {mAbortEvent, POLLIN, 0}};
        for (;;) {
            int n;
            {
                StUnbatoned unbatoned;
                n = poll(fds, mAbortEvent >= 0 ? 2 : 1, -1);
            }
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        if (mAborted.load()) {
            *error = ECANCELED;
            Close();
            return false;
        }
        int soError = 0;
        socklen_t soLength = sizeof soError;
        getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &soError, &soLength);
        rc = soError == 0 ? 0 : -1;
        errno = soError;
    }
    if (rc != 0) {
        *error = errno;
        *busy = localPort != 0 && *error == EADDRNOTAVAIL;
        Close();
        return false;
    }
    mState = kHoseConnected;
    return true;
}

void CTCPHosePipe::Close()
{
    if (mSocket >= 0)
        close(mSocket);
    mSocket = -1;
    mState = kHoseNothingOpen;
}

void CTCPHosePipe::OrderlyDisconnect()
{
    if (mSocket >= 0 && mState == kHoseConnected)
        shutdown(mSocket, SHUT_WR);
    Close();
}

void CTCPHosePipe::AbortiveDisconnect()
{
    if (mSocket >= 0) {
        linger l{1, 0};
        setsockopt(mSocket, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    Close();
}

void CTCPHosePipe::AcceptRemoteDisconnect()
{
    // The server's orderly release has been read (end of stream); nothing is
    // left to acknowledge on a socket. Our side closes in the destructor.
    mRemoteClosed = true;
}

void CTCPHosePipe::AbortThreadOperation()
{
    mAborted.store(true);
    if (mAbortEvent >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(mAbortEvent, &one, sizeof one);
    }
}

void CTCPHosePipe::RaiseErrno(int err)
{
    switch (err) {
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case EBADF: ThrowHoseCode(kHoseRemoteDisconnect);
    case ETIMEDOUT: ThrowHoseCode(kHoseTimedOut);
    case ENETUNREACH:
    case EHOSTUNREACH: ThrowHoseCode(kHoseNetworkUnreachable);
    case ENETDOWN: ThrowHoseCode(kHoseNetworkDown);
    default: ThrowHoseCode(err);
    }
}

void CTCPHosePipe::CheckUrgentData()
{
    char oob;
    // Urgent bytes are not delivered inline: read and drop the byte so that
    // it is reported once.
    recv(mSocket, &oob, 1, MSG_OOB | MSG_DONTWAIT);
    GLogPrintf(2, "expedited data!");
}

void CTCPHosePipe::WaitFor(Wait what)
{
    using Clock = std::chrono::steady_clock;
    if (mAborted.load())
        ThrowHoseCode(kHoseOperationAborted);
    if (mSocket < 0)
        ThrowHoseCode(kHoseRemoteDisconnect);
    auto const deadline = Clock::now() + std::chrono::seconds(mTimeout);
    short events = what == Wait::kRead ? (POLLIN | POLLPRI) : POLLOUT;
    for (;;) {
        int wait = -1;
        if (mTimeout != 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd fds[2] = {{mSocket, events, 0}, {mAbortEvent, POLLIN, 0}};
        int n;
        {
            StUnbatoned unbatoned;
            n = poll(fds, mAbortEvent >= 0 ? 2 : 1, wait);
        }
        if (mAborted.load())
            ThrowHoseCode(kHoseOperationAborted);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseErrno(errno);
        }
        if (n == 0)
            ThrowHoseCode(kHoseTimedOut);
        short got = fds[0].revents;
        if (got & POLLPRI) {
            CheckUrgentData();
            events &= ~POLLPRI;
            if (!(got & (POLLIN | POLLOUT | POLLHUP | POLLERR)))
                continue;
        }
        if (got != 0)
            return;
    }
}

void CTCPHosePipe::SendData(void const* buf, unsigned long len)
{
    mSentBytes += len;
    char const* p = static_cast<char const*>(buf);
    while (len > 0) {
        if (mAborted.load())
            ThrowHoseCode(kHoseOperationAborted);
        if (mSocket < 0)
            ThrowHoseCode(kHoseRemoteDisconnect);
        ssize_t n = send(mSocket, p, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            len -= static_cast<unsigned long>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            WaitFor(Wait::kWrite);
        } else if (errno != EINTR) {
            RaiseErrno(errno);
        }
    }
}

void CTCPHosePipe::ReceiveData(void* buf, unsigned long& len)
{
    if (len == 0)
        return;
    if (mAborted.load())
        ThrowHoseCode(kHoseOperationAborted);
    if (mAheadStart < mAheadEnd) {
        unsigned long n = std::min(len, mAheadEnd - mAheadStart);
        std::memcpy(buf, mReadAhead.get() + mAheadStart, n);
        mAheadStart += n;
        len = n;
        mReceivedBytes += n;
        return;
    }
    for (;;) {
        if (mSocket < 0)
            ThrowHoseCode(kHoseRemoteDisconnect);
        ssize_t n = recv(mSocket, buf, len, MSG_DONTWAIT);
        if (n > 0) {
            len = static_cast<unsigned long>(n);
            mReceivedBytes += len;
            return;
        }
        if (n == 0) {
            len = 0;
            mRemoteClosed = true;
            ThrowHoseCode(kHoseRemoteOrderlyDisconnect);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitFor(Wait::kRead);
        else if (errno != EINTR)
            RaiseErrno(errno);
    }
}

void CTCPHosePipe::FillReadAhead(bool midLine)
{
    if (!mReadAhead) {
        // Made at the first receive. Zeroed, so the bytes CutLine looks at
        // past the received ones are never uninitialised.
        mReadAhead.reset(new char[kReadAheadSize + kCutOverread]());
    }
    mAheadStart = mAheadEnd = 0;
    for (;;) {
        if (mAborted.load())
            ThrowHoseCode(kHoseOperationAborted);
        if (mSocket < 0)
            ThrowHoseCode(kHoseRemoteDisconnect);
        ssize_t n = recv(mSocket, mReadAhead.get(), kReadAheadSize, MSG_DONTWAIT);
        if (n > 0) {
            mAheadEnd = static_cast<unsigned long>(n);
            return;
        }
        if (n == 0) {
            mRemoteClosed = true;
            // Closed in the middle of a line: the conversation was cut off.
            ThrowHoseCode(midLine ? kHoseRemoteDisconnect : kHoseRemoteOrderlyDisconnect);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitFor(Wait::kRead);
        else if (errno != EINTR)
            RaiseErrno(errno);
    }
}

char CTCPHosePipe::ReceiveLine(char* buf, unsigned long& len, char term)
{
    // The usual case, kept short: the whole line is already read ahead.
    unsigned long const ahead = mAheadEnd - mAheadStart;
    unsigned long const scan = ahead < len ? ahead : len;
    if (scan != 0) {
        char const* p = mReadAhead.get() + mAheadStart;
        unsigned long n;
        if (CutLine(p, scan, term, buf, &n)) {
            char c = p[n];
            buf[n] = '\0';
            mAheadStart += n + 1;
            len = n;
            return c;
        }
    }
    return ReceiveLineAcross(buf, len, term);
}

char CTCPHosePipe::ReceiveLineAcross(char* buf, unsigned long& len, char term)
{
    unsigned long copied = 0;
    while (copied < len) {
        if (mAheadStart == mAheadEnd)
            FillReadAhead(copied > 0);
        unsigned long consumed = 0;
        char c = TakeLineBytes(mReadAhead.get() + mAheadStart, mAheadEnd - mAheadStart, term, buf, copied, len, consumed);
        mAheadStart += consumed;
        if (c != 0) {
            len = copied;
            return c;
        }
    }
    return 0;
}
