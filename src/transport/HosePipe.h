#pragma once
// The byte pipe every CVS conversation runs over, and the exception that
// carries a failure out of a conversation.

#include <cstdint>
#include <exception>

// Conditions a hose pipe raises. The values follow the classic Open Transport
// numbering (the XTI errno codes are -3199 - errno there) so that figures shown
// in "[error = ...]" texts stay familiar; what matters to callers is that each
// condition has its own value.
enum : std::int32_t {
    kHoseNetworkUnreachable = -3250,       // no route to the network
    kHoseNetworkDown = -3205,              // the network is unavailable
    kHoseLocalAddressBusy = -3154,         // local address (restricted port) not available
    kHoseHostNotFound = -3170,             // the host name does not resolve
    kHoseNoAnswer = -3162,                 // no answer from the host
    kHoseConnectionRefused = -3260,        // nobody listens on that port
    kHoseTimedOut = -3259,                 // a send or receive exceeded its timeout
    kHoseOperationAborted = -3180,         // cancelled through AbortThreadOperation
    kHoseRemoteDisconnect = -3253,         // the peer dropped the connection
    kHoseRemoteOrderlyDisconnect = -3158,  // the peer closed its side in an orderly way

    // Failures of the process transports that are not one of the conditions.
    kHosePipeReceiveFailed = 0x1000FFF2,
    kHosePipeSendFailed = 0x1000FFF3,
};

// Connection states reported by ConnectionState().
enum : short {
    kHoseNothingOpen = 0,
    kHoseEndpointMade = 1,
    kHoseAddressBound = 2,
    kHoseConnected = 3,
};

// Raised inside a conversation: an operating system error (errno, positive),
// one of the conditions above, or one of the program's own codes.
class CHoseException : public std::exception {
public:
    explicit CHoseException(std::int32_t code) noexcept : mCode(code) {}
    std::int32_t Code() const noexcept { return mCode; }
    const char* what() const noexcept override;

private:
    std::int32_t mCode;
};

[[noreturn]] void ThrowHoseCode(std::int32_t code);

// The first line feed or term byte among the n bytes at p, or null: where a
// buffered ReceiveLine stops.
char const* FindLineStop(char const* p, unsigned long n, char term);

// One step of a buffered ReceiveLine: moves bytes of the avail at p into buf
// (which holds copied bytes already and has room for len) up to a stop. On a
// stop, NUL-terminates buf and returns the stop byte; otherwise returns 0.
// consumed tells how many bytes at p were used, the stop included.
char TakeLineBytes(char const* p, unsigned long avail, char term, char* buf, unsigned long& copied,
                   unsigned long len, unsigned long& consumed);

// Abstract byte transport with byte counts. Wrappers own the pipe they wrap
// and delete it in their destructor, so deleting the outermost pipe closes the
// whole chain. A hose pipe is used by one thread at a time; only
// AbortThreadOperation may be called from another thread.
class CHosePipe {
public:
    CHosePipe() = default;
    CHosePipe(CHosePipe const&) = delete;
    CHosePipe& operator=(CHosePipe const&) = delete;
    virtual ~CHosePipe();

    // Bytes received and sent so far (each kind says what it counts).
    virtual unsigned long ReceivedBytes() = 0;
    virtual unsigned long SentBytes() = 0;

    // Sends the bytes of s without its NUL; by default through SendData.
    virtual void SendCStr(char const* s);
    // Sends all len bytes or raises.
    virtual void SendData(void const* buf, unsigned long len) = 0;

    // Reads at most len bytes into buf, stopping after the byte term or after
    // a line feed, whichever comes first. On a stop the stopping byte is
    // replaced by NUL, len becomes the number of bytes before it and the
    // stopping byte is returned. When len bytes arrive without a stop, 0 is
    // returned and len is unchanged; the caller extends its buffer and calls
    // again. Callers pass one byte less than the room they have.
    virtual char ReceiveLine(char* buf, unsigned long& len, char term) = 0;
    // Reads up to len bytes; len becomes the number actually read.
    virtual void ReceiveData(void* buf, unsigned long& len) = 0;

    // Acknowledges that the server closed the connection.
    virtual void AcceptRemoteDisconnect() = 0;
    // Cancels a send or receive the owning thread is blocked in; safe to call
    // from any thread. Kinds that can block document whether it is sticky.
    virtual void AbortThreadOperation() = 0;

    // kHoseNothingOpen .. kHoseConnected.
    virtual short ConnectionState() = 0;
    // Mac clock seconds at which the transport became usable.
    virtual unsigned long StartTime() = 0;
    // True when the transport is usable.
    virtual bool OK() { return ConnectionState() == kHoseConnected; }
    // The wrapped pipe for wrappers, null for a base transport.
    virtual CHosePipe* HoseNext() { return nullptr; }
};
