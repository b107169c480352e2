#include "platform/Threads.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>

namespace {

// A ticket lock: every thread that asks draws the next number and waits for
// it to be served. A thread that yields draws a new number behind everyone
// already waiting, so it cannot take the baton straight back.
struct SBaton {
    std::mutex mutex;
    std::condition_variable cond;
    unsigned long long next = 0;
    unsigned long long serving = 0;
    int waiters = 0;
    unsigned long mainPasses = 0;
};

SBaton& Baton()
{
    static SBaton baton;
    return baton;
}

thread_local bool tHoldsBaton = false;
thread_local CThread* tCurrentThread = nullptr;

std::atomic<std::thread::id> gMainThread{std::thread::id()};
std::atomic<int> gThreadCount{0};

} // namespace

void AcquireBaton()
{
    if (tHoldsBaton)
        return;
    SBaton& b = Baton();
    std::unique_lock<std::mutex> lock(b.mutex);
    const unsigned long long ticket = b.next++;
    if (b.serving != ticket) {
        ++b.waiters;
        b.cond.wait(lock, [&] { return b.serving == ticket; });
        --b.waiters;
    }
    tHoldsBaton = true;
    if (IsMainThread()) {
        ++b.mainPasses;
        lock.unlock();
        b.cond.notify_all(); // YieldToMainThread waits for this
    }
}

void ReleaseBaton()
{
    if (!tHoldsBaton)
        return;
    SBaton& b = Baton();
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        ++b.serving;
        tHoldsBaton = false;
    }
    b.cond.notify_all();
}

bool HoldsBaton()
{
    return tHoldsBaton;
}

void YieldBaton()
{
    if (!tHoldsBaton)
        return;
    ReleaseBaton();
    AcquireBaton();
}

int BatonWaiters()
{
    SBaton& b = Baton();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.waiters;
}

StBaton::StBaton() : mTook(!tHoldsBaton)
{
    if (mTook)
        AcquireBaton();
}

StBaton::~StBaton()
{
    if (mTook)
        ReleaseBaton();
}

StUnbatoned::StUnbatoned() : mHeld(tHoldsBaton)
{
    if (mHeld)
        ReleaseBaton();
}

StUnbatoned::~StUnbatoned()
{
    if (mHeld)
        AcquireBaton();
}

bool IsMainThread()
{
    return gMainThread.load() == std::this_thread::get_id();
}

void threads_detail::SetMainThread(bool thisThread)
{
    gMainThread.store(thisThread ? std::this_thread::get_id() : std::thread::id());
}

unsigned long MainThreadPasses()
{
    SBaton& b = Baton();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.mainPasses;
}

bool YieldToMainThread(std::chrono::milliseconds patience)
{
    if (IsMainThread()) {
        YieldBaton();
        return true;
    }
    SBaton& b = Baton();
    unsigned long before;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        before = b.mainPasses;
    }
    if (!HaveMainLoop())
        return false;
    // An idle main loop waits for events without the baton: wake it so that
    // it makes a pass.
    PostToMainThread([] {});
    bool came;
    {
        StUnbatoned unbatoned;
        std::unique_lock<std::mutex> lock(b.mutex);
        came = b.cond.wait_for(lock, patience, [&] { return b.mainPasses != before; });
    }
    return came;
}

// ---- CThread --------------------------------------------------------------

CThread::CThread()
{
    ++gThreadCount;
}

CThread::~CThread()
{
    if (mThread.joinable()) {
        if (mThread.get_id() == std::this_thread::get_id())
            mThread.detach(); // deleted from its own body: nothing to wait for
        else
            JoinUnbatoned();
    }
    --gThreadCount;
}

void CThread::Resume()
{
    if (mStarted)
        return;
    mStarted = true;
    mThread = std::thread(&CThread::Body, this);
}

void CThread::WaitUntilFinished()
{
    if (!mStarted || mThread.get_id() == std::this_thread::get_id())
        return;
    StUnbatoned unbatoned;
    mFinished.wait(false);
}

CThread* CThread::Current()
{
    return tCurrentThread;
}

int CThread::Count()
{
    return gThreadCount.load();
}

void CThread::RunEscaped(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "thread ended by an exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "thread ended by an exception\n");
    }
}

void CThread::Body()
{
    tCurrentThread = this;
    StBaton baton;
    try {
        Run();
    } catch (...) {
        try {
            RunEscaped(std::current_exception());
        } catch (...) {
        }
    }
    tCurrentThread = nullptr;
    const bool deleteWhenDone = mDeleteWhenDone;
    mFinished.store(true);
    mFinished.notify_all();
    // From here on the object may be gone unless it deletes itself, and then
    // only the main thread deletes it, after joining this system thread.
    if (deleteWhenDone)
        PostToMainThread([this] {
            if (mThread.joinable())
                mThread.join();
            delete this;
        });
}

void CThread::JoinUnbatoned()
{
    StUnbatoned unbatoned;
    mThread.join();
}
