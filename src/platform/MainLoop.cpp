#include "platform/MainLoop.h"

#include "platform/Threads.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <exception>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The posted work and the loop that runs it. The mutex also guards gLoop, so
// that a post never wakes a loop that is being destroyed.
std::mutex gPostMutex;
std::deque<std::function<void()>> gPosted;
CMainLoop* gLoop = nullptr;

struct SIdler {
    CPeriodical* task;
    Clock::duration period;
    Clock::time_point due;
};
std::mutex gIdlerMutex;
std::vector<SIdler> gIdlers;

// Compares pointers only: the task may have been deleted meanwhile.
bool StillIdling(const CPeriodical* task)
{
    std::lock_guard<std::mutex> lock(gIdlerMutex);
    for (const auto& idler : gIdlers)
        if (idler.task == task)
            return true;
    return false;
}

void RunGuarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "posted work failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "posted work failed\n");
    }
}

} // namespace

bool HaveMainLoop()
{
    std::lock_guard<std::mutex> lock(gPostMutex);
    return gLoop != nullptr;
}

void PostToMainThread(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(gPostMutex);
    gPosted.push_back(std::move(work));
    if (gLoop)
        gLoop->Wake();
}

// ---- CMainLoop --------------------------------------------------------------

CMainLoop::CMainLoop()
{
    {
        std::lock_guard<std::mutex> lock(gPostMutex);
        gLoop = this;
    }
    threads_detail::SetMainThread(true);
    AcquireBaton();
}

CMainLoop::~CMainLoop()
{
    Detach();
}

void CMainLoop::Detach()
{
    {
        std::lock_guard<std::mutex> lock(gPostMutex);
        if (gLoop != this)
            return;
    }
    // Threads may be waiting for an answer: give them one before going.
    ProcessPending();
    {
        std::lock_guard<std::mutex> lock(gPostMutex);
        gLoop = nullptr;
    }
    ReleaseBaton();
    threads_detail::SetMainThread(false);
}

CMainLoop* CMainLoop::Get()
{
    std::lock_guard<std::mutex> lock(gPostMutex);
    return gLoop;
}

void CMainLoop::ProcessPending()
{
    Awake();
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(gPostMutex);
        work.swap(gPosted);
    }
    for (auto& w : work)
        RunGuarded(w);

    // Periodic tasks: pick the due ones first, then call each one that is
    // still idling when its turn comes (an earlier one may stop or delete it).
    std::vector<CPeriodical*> due;
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard<std::mutex> lock(gIdlerMutex);
        for (auto& idler : gIdlers)
            if (idler.due <= now) {
                idler.due = now + idler.period;
                due.push_back(idler.task);
            }
    }
    for (CPeriodical* task : due)
        if (StillIdling(task))
            task->SpendTime();
}

void CMainLoop::AboutToBlock()
{
    ReleaseBaton();
}

void CMainLoop::Awake()
{
    AcquireBaton();
}

std::chrono::milliseconds CMainLoop::NextPeriodicDue() const
{
    std::lock_guard<std::mutex> lock(gIdlerMutex);
    if (gIdlers.empty())
        return std::chrono::milliseconds{-1};
    Clock::time_point first = gIdlers.front().due;
    for (const auto& idler : gIdlers)
        first = std::min(first, idler.due);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
    return std::max(left, std::chrono::milliseconds{0});
}

bool CMainLoop::HavePosted() const
{
    std::lock_guard<std::mutex> lock(gPostMutex);
    return !gPosted.empty();
}

// ---- CHeadlessMainLoop --------------------------------------------------------

CHeadlessMainLoop::CHeadlessMainLoop() = default;

CHeadlessMainLoop::~CHeadlessMainLoop()
{
    Detach(); // before the members Wake uses go away
}

void CHeadlessMainLoop::Wake()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mWoken = true;
    }
    mCond.notify_all();
}

void CHeadlessMainLoop::Quit()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQuit = true;
        mWoken = true;
    }
    mCond.notify_all();
}

void CHeadlessMainLoop::WaitForEvents(std::chrono::milliseconds limit)
{
    // Even with nothing to wait for the baton goes round once, so that the
    // client threads in line get their turn.
    AboutToBlock();
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mCond.wait_for(lock, limit, [&] { return mWoken; });
        mWoken = false;
    }
    Awake();
}

bool CHeadlessMainLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQuit = false;
    }
    for (;;) {
        ProcessPending();
        if (done && done())
            return true;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (mQuit)
                return false;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;
        auto wait = std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now), kMaxWait);
        const auto periodic = NextPeriodicDue();
        if (periodic.count() >= 0)
            wait = std::min(wait, periodic);
        if (HavePosted())
            wait = std::chrono::milliseconds{0};
        WaitForEvents(wait);
    }
}

void CHeadlessMainLoop::RunFor(std::chrono::milliseconds time)
{
    RunUntil(nullptr, time);
}

// ---- CPeriodical ----------------------------------------------------------------

CPeriodical::~CPeriodical()
{
    StopIdling();
}

void CPeriodical::StartIdling(std::chrono::milliseconds period)
{
    std::lock_guard<std::mutex> lock(gIdlerMutex);
    for (auto& idler : gIdlers)
        if (idler.task == this) {
            idler.period = period;
            return;
        }
    gIdlers.push_back(SIdler{this, period, Clock::now()});
}

void CPeriodical::StopIdling()
{
    std::lock_guard<std::mutex> lock(gIdlerMutex);
    gIdlers.erase(std::remove_if(gIdlers.begin(), gIdlers.end(),
                                 [this](const SIdler& idler) { return idler.task == this; }),
                  gIdlers.end());
}

bool CPeriodical::IsIdling() const
{
    return StillIdling(this);
}
