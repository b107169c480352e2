#include "engine/CVSThreadBreaker.h"

#include <algorithm>

#include "engine/CVSClientThread.h"
#include "foundation/Log.h"

namespace {
std::function<void()>& Hook()
{
    static std::function<void()> sHook;
    return sHook;
}
}  // namespace

void CCVSThreadBreaker::SetCommandStatusHook(std::function<void()> hook)
{
    Hook() = std::move(hook);
}

void CCVSThreadBreaker::CommandStatusChanged()
{
    if (Hook())
        Hook()();
}

void CCVSThreadBreaker::TellCVSOperationStatus(unsigned short status)
{
    if (!FW_CHECK(kRun <= status && status <= kAbort))
        return;
    mStatus.store(status);
    if (status == kAbort)
        for (CCVSClientThread* t : mThreads)
            t->AbortBlockedCall();
}

void CCVSThreadBreaker::Attach(CCVSClientThread* thread)
{
    mThreads.push_back(thread);
}

void CCVSThreadBreaker::Detach(CCVSClientThread* thread)
{
    mThreads.erase(std::remove(mThreads.begin(), mThreads.end(), thread), mThreads.end());
}

void CCVSThreadBreaker::WaitForThread()
{
    ++mWaitForThreads;
    CommandStatusChanged();
}

void CCVSThreadBreaker::ThreadFinished()
{
    if (FW_CHECK(mWaitForThreads > 0))
        --mWaitForThreads;
    if (mWaitForThreads == 0)
        mStatus.store(kRun);
    CommandStatusChanged();
}
