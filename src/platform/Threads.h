#pragma once
// Cooperative threads on system threads.
//
// Every conversation with a CVS server runs on a std::thread of its own, but
// only one thread at a time runs program logic: the one holding the baton.
// The baton is handed over first come first served (ticket order), and only
// where the program says so:
//   - at a yield (YieldBaton, YieldToMainThread),
//   - around a blocking system call (StUnbatoned),
//   - when the main thread waits for events (CMainLoop::AboutToBlock/Awake).
// So the sandbox tree, the message log and the sessions need no locks of
// their own: whoever touches them holds the baton.
//
// A client thread never touches the user interface directly. It posts the work
// to the main thread (PostToMainThread) or, when it needs an answer such as an
// alert's button, waits for it without the baton (CallOnMainThread).

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <type_traits>
#include <utility>

// ---- The baton -----------------------------------------------------------

// Takes the baton; blocks until every thread that asked earlier had its turn.
// Calling it while holding the baton is a programming error and does nothing.
void AcquireBaton();
// Gives the baton to the next thread in line. Does nothing if not held.
void ReleaseBaton();
// True if the calling thread holds the baton.
bool HoldsBaton();
// Lets every thread already waiting for the baton run once, then takes it
// back. A thread that does not hold the baton just returns.
void YieldBaton();
// Number of threads waiting for the baton right now (for diagnostics and tests).
int BatonWaiters();

// Holds the baton for its scope (takes it unless the thread already holds it).
class StBaton {
public:
    StBaton();
    ~StBaton();
    StBaton(const StBaton&) = delete;
    StBaton& operator=(const StBaton&) = delete;

private:
    bool mTook;
};

// Lets go of the baton for its scope, for one blocking system call (poll,
// read, write, connect, getaddrinfo, waitpid ...). Does nothing on a thread
// that does not hold the baton, so transports work the same without threads.
// Touch no shared program state inside the scope.
class StUnbatoned {
public:
    StUnbatoned();
    ~StUnbatoned();
    StUnbatoned(const StUnbatoned&) = delete;
    StUnbatoned& operator=(const StUnbatoned&) = delete;

private:
    bool mHeld;
};

// ---- The main thread -----------------------------------------------------

// True on the thread that runs the main loop (see MainLoop.h).
bool IsMainThread();
// True while a main loop exists.
bool HaveMainLoop();

// Queues work for the main thread; it runs there, with the baton, on the main
// loop's next pass. Safe from any thread, with or without the baton; never
// runs the work inline, not even on the main thread.
void PostToMainThread(std::function<void()> work);

// Runs `work` on the main thread and returns its result. From the main thread
// it runs at once. From another thread the work is posted and the caller waits
// for it without the baton, taking the baton back afterwards. While no main
// loop exists (tools, tests without one) it runs at once on the caller's
// thread rather than waiting for ever.
template <class F>
auto CallOnMainThread(F&& work) -> std::invoke_result_t<F&>
{
    using R = std::invoke_result_t<F&>;
    if (IsMainThread() || !HaveMainLoop())
        return work();
    std::packaged_task<R()> task(std::forward<F>(work));
    std::future<R> done = task.get_future();
    PostToMainThread([&task] { task(); });
    {
        StUnbatoned unbatoned;
        done.wait();
    }
    return done.get();
}

// Hands the baton to the main thread and waits (without the baton) until the
// main thread has taken it once, at most `patience`. Returns false if the main
// thread did not show up in time (it is busy elsewhere or gone). On the main
// thread itself it is a plain yield and returns true.
bool YieldToMainThread(std::chrono::milliseconds patience);

// How many times the main thread has taken the baton so far; it changes with
// every pass of the main loop.
unsigned long MainThreadPasses();

// ---- Threads -------------------------------------------------------------

// One cooperative thread. Subclasses put the body in Run(), which runs on a
// system thread of its own with the baton held. When Run() returns (or throws)
// the thread lets go of the baton and, if it deletes itself when done (the
// default), posts its own destruction to the main thread: the destructor chain
// always runs on the main thread, after the system thread has been joined.
class CThread {
public:
    CThread();
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts the thread. Once only; later calls do nothing.
    void Resume();

    // Whether the object deletes itself on the main thread after Run(). Set
    // before Resume(). An owner that keeps the object must not delete it from
    // the thread itself; its destructor waits (without the baton) for Run().
    void SetDeleteWhenDone(bool on) { mDeleteWhenDone = on; }
    bool DeleteWhenDone() const { return mDeleteWhenDone; }

    bool Started() const { return mStarted; }
    bool Finished() const { return mFinished.load(); }

    // Waits without the baton until Run() has returned. Not from the thread
    // itself, and not for a thread that deletes itself.
    void WaitUntilFinished();

    // The CThread whose Run() the calling system thread executes, or null.
    static CThread* Current();
    // Number of CThread objects that exist.
    static int Count();

protected:
    virtual void Run() = 0;
    // Called on the thread, with the baton, when Run() let an exception escape.
    // The default writes a line to stderr.
    virtual void RunEscaped(std::exception_ptr error);

private:
    void Body();
    void JoinUnbatoned();

    std::thread mThread;
    bool mStarted = false;
    bool mDeleteWhenDone = true;
    std::atomic<bool> mFinished{false};
};

// Used by the main loop; not for other callers.
namespace threads_detail {
void SetMainThread(bool thisThread);
}
