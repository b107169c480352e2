#include "transport/HosePipe.h"

#include <cstring>

CHosePipe::~CHosePipe() = default;

char const* FindLineStop(char const* p, unsigned long n, char term)
{
    char const* stop = static_cast<char const*>(std::memchr(p, '\n', n));
    if (term != '\n') {
        unsigned long upTo = stop != nullptr ? static_cast<unsigned long>(stop - p) : n;
        if (char const* t = static_cast<char const*>(std::memchr(p, term, upTo)))
            stop = t;
    }
    return stop;
}

char TakeLineBytes(char const* p, unsigned long avail, char term, char* buf, unsigned long& copied,
                   unsigned long len, unsigned long& consumed)
{
    unsigned long scan = avail < len - copied ? avail : len - copied;
    if (char const* stop = FindLineStop(p, scan, term)) {
        unsigned long n = static_cast<unsigned long>(stop - p);
        std::memcpy(buf + copied, p, n);
        copied += n;
        buf[copied] = '\0';
        consumed = n + 1;
        return *stop;
    }
    std::memcpy(buf + copied, p, scan);
    copied += scan;
    consumed = scan;
    return 0;
}

void CHosePipe::SendCStr(char const* s)
{
    if (s != nullptr)
        SendData(s, std::strlen(s));
}

const char* CHoseException::what() const noexcept
{
    switch (mCode) {
    case kHoseNetworkUnreachable: return "network not reachable";
    case kHoseNetworkDown: return "network down";
    case kHoseLocalAddressBusy: return "local address not available";
    case kHoseHostNotFound: return "host not found";
    case kHoseNoAnswer: return "no answer";
    case kHoseConnectionRefused: return "connection refused";
    case kHoseTimedOut: return "timed out";
    case kHoseOperationAborted: return "operation aborted";
    case kHoseRemoteDisconnect: return "remote disconnect";
    case kHoseRemoteOrderlyDisconnect: return "remote orderly disconnect";
    case kHosePipeReceiveFailed: return "pipe receive failed";
    case kHosePipeSendFailed: return "pipe send failed";
    default: return "hose pipe error";
    }
}

void ThrowHoseCode(std::int32_t code)
{
    throw CHoseException(code);
}
