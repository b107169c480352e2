#include "platform/MainLoop.h"
#include "platform/Threads.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A thread whose body is a lambda; kept by the test unless told otherwise.
class CLambdaThread : public CThread {
public:
    explicit CLambdaThread(std::function<void()> body, std::atomic<int>* destroyedOnMain = nullptr)
        : mBody(std::move(body)), mDestroyedOnMain(destroyedOnMain)
    {
    }
    ~CLambdaThread() override
    {
        WaitUntilFinished();
        if (mDestroyedOnMain)
            *mDestroyedOnMain = IsMainThread() ? 1 : -1;
    }

protected:
    void Run() override { mBody(); }

private:
    std::function<void()> mBody;
    std::atomic<int>* mDestroyedOnMain;
};

class ThreadsTest : public ::testing::Test {
protected:
    CHeadlessMainLoop mLoop;
};

// Shared state below is touched without locks on purpose: the baton is the
// only thing that keeps the threads apart.
TEST_F(ThreadsTest, ThreadsInterleaveOnlyAtYieldsAndTakeTurns)
{
    constexpr int kRounds = 25;
    int counter = 0;
    std::string order;
    auto body = [&](char id) {
        for (int i = 0; i < kRounds; ++i) {
            const int seen = counter;
            std::this_thread::sleep_for(200us); // another thread would slip in here
            counter = seen + 1;
            order += id;
            YieldBaton();
        }
    };
    CLambdaThread a([&] { body('a'); });
    CLambdaThread b([&] { body('b'); });
    a.SetDeleteWhenDone(false);
    b.SetDeleteWhenDone(false);
    a.Resume();
    b.Resume();
    // Both in line for the baton before the main thread lets go of it.
    for (int i = 0; i < 500 && BatonWaiters() < 2; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(BatonWaiters(), 2);

    const unsigned long passes = MainThreadPasses();
    ASSERT_TRUE(mLoop.RunUntil([&] { return a.Finished() && b.Finished(); }, 10s));
    EXPECT_EQ(counter, 2 * kRounds);
    ASSERT_EQ(order.size(), 2u * kRounds);
    // First come first served: a yielding thread goes behind the other one.
    for (size_t i = 1; i < order.size(); ++i)
        ASSERT_NE(order[i], order[i - 1]) << order;
    EXPECT_GT(MainThreadPasses(), passes);
}

TEST_F(ThreadsTest, PostedWorkAndAnswersRunOnTheMainThread)
{
    std::atomic<int> destroyedOnMain{0};
    bool postedOnMain = false;
    bool answeredOnMain = false;
    int answer = 0;
    auto* t = new CLambdaThread(
        [&] {
            PostToMainThread([&] { postedOnMain = IsMainThread() && HoldsBaton(); });
            // The main thread can only answer if this thread lets go of the baton.
            answer = CallOnMainThread([&] {
                answeredOnMain = IsMainThread() && HoldsBaton();
                return 42;
            });
            EXPECT_TRUE(HoldsBaton());
            EXPECT_NE(CThread::Current(), nullptr);
        },
        &destroyedOnMain);
    t->Resume(); // deletes itself
    ASSERT_TRUE(mLoop.RunUntil([&] { return destroyedOnMain != 0; }, 10s));
    EXPECT_TRUE(postedOnMain);
    EXPECT_TRUE(answeredOnMain);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(destroyedOnMain, 1);
    EXPECT_EQ(CThread::Current(), nullptr);
    EXPECT_EQ(CallOnMainThread([] { return 7; }), 7); // inline on the main thread
}

TEST_F(ThreadsTest, EscapingExceptionStillEndsAndDeletesTheThread)
{
    std::atomic<int> destroyedOnMain{0};
    const int before = CThread::Count();
    (new CLambdaThread([] { throw std::runtime_error("boom"); }, &destroyedOnMain))->Resume();
    ASSERT_TRUE(mLoop.RunUntil([&] { return destroyedOnMain != 0; }, 10s));
    EXPECT_EQ(destroyedOnMain, 1);
    EXPECT_EQ(CThread::Count(), before);
}

TEST_F(ThreadsTest, BlockingCallReleasesTheBaton)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string order;
    std::atomic<bool> reading{false};
    std::atomic<bool> otherDone{false};

    CLambdaThread reader([&] {
        char c = 0;
        reading = true;
        ssize_t n;
        {
            StUnbatoned unbatoned;
            n = read(fds[0], &c, 1);
        }
        EXPECT_EQ(n, 1);
        order += "read;";
    });
    CLambdaThread other([&] {
        order += "other;";
        otherDone = true;
    });
    reader.SetDeleteWhenDone(false);
    other.SetDeleteWhenDone(false);
    reader.Resume();
    ASSERT_TRUE(mLoop.RunUntil([&] { return reading.load(); }, 10s));
    other.Resume();
    // The byte arrives once the other thread ran, or after a grace period;
    // written from a plain system thread so that a reader that kept the baton
    // shows up as a wrong order, not a hang.
    std::thread writer([&] {
        for (int i = 0; i < 3000 && !otherDone; ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(write(fds[1], "x", 1), 1);
    });
    EXPECT_TRUE(mLoop.RunUntil([&] { return reader.Finished() && other.Finished(); }, 10s));
    writer.join();
    EXPECT_EQ(order, "other;read;");
    close(fds[0]);
    close(fds[1]);

    // Without the baton the guard does nothing.
    std::thread plain([] {
        EXPECT_FALSE(HoldsBaton());
        { StUnbatoned unbatoned; }
        EXPECT_FALSE(HoldsBaton());
    });
    plain.join();
}

TEST_F(ThreadsTest, YieldToMainThreadNoticesAMainThreadThatDoesNotRun)
{
    std::atomic<bool> alive{false};
    std::atomic<bool> mainStuck{false};
    bool dead = false;
    CLambdaThread t([&] {
        alive = YieldToMainThread(2s);
        while (!mainStuck) {
            StUnbatoned unbatoned;
            std::this_thread::sleep_for(1ms);
        }
        dead = !YieldToMainThread(100ms);
    });
    t.SetDeleteWhenDone(false);
    t.Resume();
    ASSERT_TRUE(mLoop.RunUntil([&] { return alive.load(); }, 10s));
    // The main thread now waits for the thread without running its loop.
    mainStuck = true;
    t.WaitUntilFinished();
    EXPECT_TRUE(dead);
}

TEST_F(ThreadsTest, PeriodicalsRunOnTheMainThreadUntilTheyStop)
{
    struct CCounter : CPeriodical {
        int calls = 0;
        bool onMain = true;
        void SpendTime() override
        {
            onMain = onMain && IsMainThread() && HoldsBaton();
            if (++calls == 3)
                StopIdling();
        }
    };
    struct CKiller : CPeriodical {
        CPeriodical* victim = nullptr;
        void SpendTime() override
        {
            delete victim;
            victim = nullptr;
            StopIdling();
        }
    };
    CCounter counter;
    counter.StartIdling(5ms);
    // A task deleted by another one in the same pass is not called.
    auto* killer = new CKiller;
    struct CMustNotRun : CPeriodical {
        void SpendTime() override { ADD_FAILURE() << "deleted task called"; }
    };
    killer->victim = new CMustNotRun;
    killer->StartIdling();
    killer->victim->StartIdling();

    const auto start = std::chrono::steady_clock::now();
    mLoop.RunUntil([&] { return !counter.IsIdling(); }, 5s);
    EXPECT_EQ(counter.calls, 3);
    EXPECT_TRUE(counter.onMain);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms); // two periods at least
    mLoop.RunFor(20ms);
    EXPECT_EQ(counter.calls, 3);
    EXPECT_FALSE(killer->IsIdling());
    delete killer;
}

} // namespace

namespace {

TEST(ThreadsWithoutMainLoop, AnswersDoNotWaitForAMissingMainThread)
{
    ASSERT_FALSE(HaveMainLoop());
    int answer = 0;
    std::thread t([&] { answer = CallOnMainThread([] { return 5; }); });
    t.join();
    EXPECT_EQ(answer, 5);
    std::thread u([&] {
        StBaton baton;
        EXPECT_FALSE(YieldToMainThread(10ms));
    });
    u.join();
}

} // namespace
