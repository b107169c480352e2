#pragma once
// The running client threads of one owner (a session, or the application for
// the operations without a sandbox) and the owner's abort request.
//
// The user interface sets the status (Stop sets kAbort); each thread reads it
// at its checks. While any thread runs, the owner refuses commands that change
// its tree and refuses to close.

#include <atomic>
#include <functional>
#include <vector>

class CCVSClientThread;

class CCVSThreadBreaker {
public:
    enum : unsigned short {
        kRun = 0,
        kPause = 1,  // threads keep yielding without working
        kAbort = 2,
    };

    CCVSThreadBreaker() = default;
    CCVSThreadBreaker(CCVSThreadBreaker const&) = delete;
    CCVSThreadBreaker& operator=(CCVSThreadBreaker const&) = delete;

    // kAbort also cancels what the owner's threads are blocked in (waiting
    // for a silent server, or for the throughput limit), so that Stop works
    // at once rather than at the thread's next check.
    void TellCVSOperationStatus(unsigned short status);
    unsigned short CVSOperationStatus() const { return mStatus.load(); }

    // A thread starts / ends on behalf of the owner. When the last one ends,
    // the status goes back to kRun.
    void WaitForThread();
    void ThreadFinished();
    bool HasNoThreads() const { return mWaitForThreads == 0; }
    int RunningThreads() const { return mWaitForThreads; }

    // Called whenever the thread count changes, so that the user interface
    // recomputes which commands are enabled. Set by the application.
    static void SetCommandStatusHook(std::function<void()> hook);

    // The client threads a Stop reaches (each registers itself while it exists).
    void Attach(CCVSClientThread* thread);
    void Detach(CCVSClientThread* thread);

private:
    static void CommandStatusChanged();

    std::atomic<unsigned short> mStatus{kRun};
    int mWaitForThreads = 0;
    std::vector<CCVSClientThread*> mThreads;
};
