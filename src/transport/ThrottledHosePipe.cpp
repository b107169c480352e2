#include "transport/ThrottledHosePipe.h"

#include "platform/MacClock.h"
#include "platform/Threads.h"

#include <cstring>
#include <thread>

namespace {
// Ticks of elapsed time credited at most per refill.
constexpr unsigned long kMaxRefillTicks = 75;
// Longest nap between two looks at the account, in ticks.
constexpr unsigned long kMaxNapTicks = 6;
}  // namespace

CThrottledHosePipe::CThrottledHosePipe(CHosePipe* inner, unsigned long throughputLimit)
    : mInner(inner),
      mLastRefill(TickCount()),
      // A limit below one byte per tick would never refill at all.
      mRefillPerTick(throughputLimit / 60 > 0 ? throughputLimit / 60 : 1),
      mThroughputLimit(throughputLimit > 0 ? throughputLimit : 1)
{
}

CThrottledHosePipe::~CThrottledHosePipe()
{
    delete mInner;
}

void CThrottledHosePipe::SendCStr(char const* s)
{
    if (s != nullptr)
        SendData(s, std::strlen(s));
}

void CThrottledHosePipe::SendData(void const* buf, unsigned long len)
{
    // The account never holds more than one second's worth, so a longer send
    // goes out piece by piece.
    char const* bytes = static_cast<char const*>(buf);
    while (len > 0) {
        unsigned long piece = len < mThroughputLimit ? len : mThroughputLimit;
        CheckSendAccount(piece);
        mInner->SendData(bytes, piece);
        bytes += piece;
        len -= piece;
    }
}

void CThrottledHosePipe::AbortThreadOperation()
{
    mAborted.store(true);
    mInner->AbortThreadOperation();
}

void CThrottledHosePipe::CheckSendAccount(unsigned long len)
{
    while (mSendAccount < len) {
        if (mAborted.load())
            ThrowHoseCode(kHoseOperationAborted);
        unsigned long now = TickCount();
        if (now != mLastRefill) {
            unsigned long ticks = now - mLastRefill;
            if (ticks > kMaxRefillTicks)
                ticks = kMaxRefillTicks;
            unsigned long add = ticks * mRefillPerTick;
            unsigned long sum = mSendAccount + add;
            if (sum < mSendAccount || sum > mThroughputLimit)  // overflow or above the cap
                sum = mThroughputLimit;
            mSendAccount = sum;
            mLastRefill = now;
            continue;
        }
        // Nothing to add before the next tick: let the other threads run and
        // sleep until about when the account will do, instead of spinning.
        unsigned long missing = len - mSendAccount;
        unsigned long ticks = (missing + mRefillPerTick - 1) / mRefillPerTick;
        if (ticks > kMaxNapTicks)
            ticks = kMaxNapTicks;
        StUnbatoned unbatoned;
        std::this_thread::sleep_for(std::chrono::microseconds(ticks * 1000000UL / 60));
    }
    mSendAccount -= len;
}
