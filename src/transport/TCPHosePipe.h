#pragma once
// A hose pipe over a TCP connection (the password-server login method).

#include <sys/socket.h>

#include <atomic>
#include <memory>

#include "foundation/CString.h"
#include "transport/HosePipe.h"

class CTCPHosePipe : public CHosePipe {
public:
    // Resolves host (IPv4 or IPv6), connects and leaves the pipe connected, or
    // logs why not and leaves OK() false; never throws. With
    // restrictedLocalPort the local end is bound to a port from 1023 down.
    // timeout: seconds a send or receive may wait without progress (0: no
    // limit). Connecting itself has no limit of its own.
    CTCPHosePipe(CString const& host, unsigned short port, unsigned short timeout,
                 unsigned char restrictedLocalPort);
    // Orderly disconnect when still connected, then closes.
    ~CTCPHosePipe() override;

    unsigned long ReceivedBytes() override { return mReceivedBytes; }
    unsigned long SentBytes() override { return mSentBytes; }
    void SendData(void const* buf, unsigned long len) override;
    // Lines are cut out of a read-ahead buffer; their bytes are not counted as
    // received (only ReceiveData counts).
    char ReceiveLine(char* buf, unsigned long& len, char term) override;
    // Hands out read-ahead bytes first, else reads once from the socket.
    void ReceiveData(void* buf, unsigned long& len) override;
    void AcceptRemoteDisconnect() override;
    // Safe from any thread. Sticky: once called, every later send or receive
    // (and the one blocked now) raises kHoseOperationAborted at once, so an
    // abort that arrives just before the owner starts waiting is never lost.
    void AbortThreadOperation() override;
    short ConnectionState() override { return mState; }
    unsigned long StartTime() override { return mStartTime; }

    // Ends the connection at once with a reset instead of an orderly close.
    void AbortiveDisconnect();
    // Sends the orderly release (end of our sending side) and closes.
    void OrderlyDisconnect();

private:
    enum class Wait { kRead, kWrite };
    // Waits until the socket is ready, the timeout passes (raises
    // kHoseTimedOut) or the pipe is aborted (raises kHoseOperationAborted).
    void WaitFor(Wait what);
    // Reads once into the read-ahead buffer; raises at end of stream.
    void FillReadAhead(bool midLine);
    // ReceiveLine for a line that is not wholly in the read-ahead.
    char ReceiveLineAcross(char* buf, unsigned long& len, char term);
    void CheckUrgentData();
    [[noreturn]] void RaiseErrno(int err);
    // One connection attempt to mRemote; *busy tells that the local port
    // was not available.
    bool Connect(unsigned short localPort, int* error, bool* busy);
    void Close();

    unsigned short mTimeout;
    CString mHost;
    int mSocket = -1;
    sockaddr_storage mRemote{};
    socklen_t mRemoteLength = 0;
    int mRemoteFamily = 0;
    unsigned short mPort;
    short mState = kHoseNothingOpen;
    unsigned long mReceivedBytes = 0;
    unsigned long mSentBytes = 0;
    unsigned long mStartTime = 0;

    int mAbortEvent = -1;  // eventfd that wakes a blocked wait
    std::atomic<bool> mAborted{false};
    bool mRemoteClosed = false;

    static constexpr unsigned long kReadAheadSize = 256 * 1024;
    std::unique_ptr<char[]> mReadAhead;
    unsigned long mAheadStart = 0;
    unsigned long mAheadEnd = 0;
};
