#pragma once
// A wrapper that limits the rate at which bytes are sent, for login profiles
// with a throughput limit. Receiving is not limited.

#include "transport/HosePipe.h"

#include <atomic>

class CThrottledHosePipe : public CHosePipe {
public:
    // Takes ownership of inner. throughputLimit: bytes per second.
    CThrottledHosePipe(CHosePipe* inner, unsigned long throughputLimit);
    ~CThrottledHosePipe() override;

    unsigned long ReceivedBytes() override { return mInner->ReceivedBytes(); }
    unsigned long SentBytes() override { return mInner->SentBytes(); }
    void SendCStr(char const* s) override;
    // Waits until the send account allows the bytes, then passes them on. A
    // send larger than the limit goes out in pieces of at most the limit.
    void SendData(void const* buf, unsigned long len) override;
    char ReceiveLine(char* buf, unsigned long& len, char term) override
    {
        return mInner->ReceiveLine(buf, len, term);
    }
    void ReceiveData(void* buf, unsigned long& len) override { mInner->ReceiveData(buf, len); }
    void AcceptRemoteDisconnect() override { mInner->AcceptRemoteDisconnect(); }
    // Also ends a wait for the send account (sticky): the send raises
    // kHoseOperationAborted.
    void AbortThreadOperation() override;
    short ConnectionState() override { return mInner->ConnectionState(); }
    unsigned long StartTime() override { return mInner->StartTime(); }
    bool OK() override { return mInner->OK(); }
    CHosePipe* HoseNext() override { return mInner; }

    unsigned long ThroughputLimit() const { return mThroughputLimit; }

private:
    // Token bucket: waits until the account holds len bytes, then takes them.
    void CheckSendAccount(unsigned long len);

    CHosePipe* mInner;
    unsigned long mLastRefill;     // ticks
    unsigned long mSendAccount = 0;
    unsigned long mRefillPerTick;
    unsigned long mThroughputLimit;
    std::atomic<bool> mAborted{false};
};
