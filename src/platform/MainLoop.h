#pragma once
// The main thread's loop, as the threads see it.
//
// Exactly one CMainLoop exists while the program runs; the thread that creates
// it becomes the main thread and holds the baton (Threads.h) whenever it is not
// waiting for events. An event loop drives it through four calls:
//   ProcessPending()  run posted work and the periodic tasks that are due;
//   AboutToBlock()    about to wait for events: let the client threads run;
//   Awake()           woke up: take the baton back before touching anything;
//   Wake()            (virtual) make a blocked wait return, from any thread.
// CHeadlessMainLoop is the loop for tests and tools. The Qt loop plugs into the
// same calls: aboutToBlock/awake of the event dispatcher map onto AboutToBlock
// and Awake, Wake posts a queued call that runs ProcessPending, and a timer of
// NextPeriodicDue() drives the periodic tasks.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CMainLoop {
public:
    // The calling thread becomes the main thread and takes the baton.
    CMainLoop();
    // Runs the work still queued, then lets go of the baton.
    virtual ~CMainLoop();
    CMainLoop(const CMainLoop&) = delete;
    CMainLoop& operator=(const CMainLoop&) = delete;

    static CMainLoop* Get();

    // Runs every piece of posted work queued so far and every periodic task
    // that is due. Main thread only; takes the baton if it was let go.
    void ProcessPending();
    // Let go of the baton before waiting for events / take it back after.
    // Both may be called more than once in a row.
    void AboutToBlock();
    void Awake();
    // Time until the next periodic task is due (zero if one is due now),
    // or a negative duration if no task is idling.
    std::chrono::milliseconds NextPeriodicDue() const;
    // True if posted work is waiting.
    bool HavePosted() const;

    // Makes a blocked wait of the loop return soon. Any thread.
    virtual void Wake() = 0;

protected:
    // Runs what is still posted and stops being the main loop. A subclass
    // whose Wake needs its own members calls this from its destructor.
    void Detach();
};

// A loop without a window system, for tests and tools.
class CHeadlessMainLoop : public CMainLoop {
public:
    CHeadlessMainLoop();
    ~CHeadlessMainLoop() override;

    // Runs passes until `done` (evaluated on the main thread, with the baton)
    // holds or `timeout` has passed. Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Runs passes for the given time.
    void RunFor(std::chrono::milliseconds time);
    // Makes the running RunUntil return after its current pass.
    void Quit();

    void Wake() override;

private:
    // Longest a pass waits for something to happen.
    static constexpr std::chrono::milliseconds kMaxWait{20};

    void WaitForEvents(std::chrono::milliseconds limit);

    std::mutex mMutex;
    std::condition_variable mCond;
    bool mWoken = false;
    bool mQuit = false;
};

// A task the main loop calls again and again while it idles: at most once per
// period (zero: on every pass). Runs on the main thread with the baton.
class CPeriodical {
public:
    CPeriodical() = default;
    virtual ~CPeriodical();
    CPeriodical(const CPeriodical&) = delete;
    CPeriodical& operator=(const CPeriodical&) = delete;

    void StartIdling(std::chrono::milliseconds period = std::chrono::milliseconds{0});
    void StopIdling();
    bool IsIdling() const;

    // May stop idling or delete this object.
    virtual void SpendTime() = 0;
};
