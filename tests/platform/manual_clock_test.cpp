#include <kalvo/platform/manualclock.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>

using namespace kalvo;

namespace {

TEST(ManualClock, RunsItemsInDueOrderNotSchedulingOrder)
{
    ManualClock clock;
    std::string order;
    asyncAfter(0.3, [&] { order += 'c'; });
    asyncAfter(0.1, [&] { order += 'a'; });
    asyncAfter(0.2, [&] { order += 'b'; });
    EXPECT_EQ(clock.advance(1.0), 3);
    EXPECT_EQ(order, "abc");
}

TEST(ManualClock, EqualDueTimesRunFirstScheduledFirst)
{
    ManualClock clock;
    std::string order;
    for (char c = 'a'; c <= 'f'; ++c)
        asyncAfter(0.5, [&order, c] { order += c; });
    async([&] { order += '0'; });
    clock.advance(0.5);
    EXPECT_EQ(order, "0abcdef");
}

TEST(ManualClock, NothingRunsBeforeItsDueTime)
{
    ManualClock clock;
    int ran = 0;
    asyncAfter(0.5, [&] { ++ran; });
    clock.advance(0.499999999);
    EXPECT_EQ(ran, 0);
    clock.advance(0.000000001);
    EXPECT_EQ(ran, 1);
    EXPECT_DOUBLE_EQ(clock.now(), 0.5);
}

TEST(ManualClock, SmallStepsAddUpExactly)
{
    ManualClock clock;
    bool ran = false;
    asyncAfter(1.0, [&] { ran = true; });
    for (int i = 0; i < 10; ++i)
        clock.advance(0.1);
    EXPECT_TRUE(ran);
}

TEST(ManualClock, ItemScheduledWhileAdvancingRunsWhenDueInsideTheWindow)
{
    ManualClock clock;
    std::vector<double> times;
    asyncAfter(0.2, [&] {
        times.push_back(now());
        asyncAfter(0.3, [&] { times.push_back(now()); }); // due at 0.5
        asyncAfter(0.9, [&] { times.push_back(now()); }); // due at 1.1: outside
    });
    clock.advance(1.0);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_DOUBLE_EQ(times[0], 0.2);
    EXPECT_DOUBLE_EQ(times[1], 0.5);
    EXPECT_DOUBLE_EQ(clock.now(), 1.0);
    EXPECT_EQ(clock.pendingCount(), 1);
    EXPECT_NEAR(clock.nextDueIn(), 0.1, 1e-9);
}

TEST(ManualClock, AsyncWorkRunsOnRunPendingWithoutMovingTime)
{
    ManualClock clock;
    clock.advance(2.0);
    int ran = 0;
    async([&] { ++ran; });
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(clock.runPending(), 1);
    EXPECT_EQ(ran, 1);
    EXPECT_DOUBLE_EQ(clock.now(), 2.0);
}

TEST(ManualClock, NegativeAndNotANumberDelaysMeanNow)
{
    ManualClock clock;
    int ran = 0;
    asyncAfter(-5, [&] { ++ran; });
    asyncAfter(std::nan(""), [&] { ++ran; });
    clock.runPending();
    EXPECT_EQ(ran, 2);
    clock.advance(-3);
    EXPECT_DOUBLE_EQ(clock.now(), 0.0);
}

TEST(ManualClock, HugeDelaysStayPendingAndDoNotOverflow)
{
    ManualClock clock;
    bool ran = false;
    asyncAfter(std::numeric_limits<double>::infinity(), [&] { ran = true; });
    asyncAfter(1e300, [&] { ran = true; });
    clock.advance(1e6);
    EXPECT_FALSE(ran);
    EXPECT_EQ(clock.pendingCount(), 2);
}

TEST(ManualClock, CancelledItemNeverRunsAndReleasesItsClosure)
{
    ManualClock clock;
    auto token = std::make_shared<int>(7);
    std::weak_ptr<int> watch = token;
    bool ran = false;
    WorkItem item = asyncAfter(1.0, [&ran, token] { ran = true; });
    token.reset();
    EXPECT_TRUE(item.isPending());
    item.cancel();
    EXPECT_TRUE(watch.expired()) << "captures must go at cancel time";
    EXPECT_TRUE(item.isCancelled());
    EXPECT_FALSE(item.isPending());
    clock.advance(2.0);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(item.hasRun());
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(ManualClock, ItemCanCancelALaterItemDueAtTheSameTime)
{
    ManualClock clock;
    WorkItem second;
    bool secondRan = false;
    asyncAfter(1.0, [&] { second.cancel(); });
    second = asyncAfter(1.0, [&] { secondRan = true; });
    clock.advance(1.0);
    EXPECT_FALSE(secondRan);
}

TEST(ManualClock, CancellingARunningItemFromInsideHasNoEffect)
{
    ManualClock clock;
    WorkItem self;
    bool finished = false;
    self = asyncAfter(0.1, [&] {
        self.cancel();
        finished = true;
    });
    clock.advance(0.1);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(self.hasRun());
    EXPECT_FALSE(self.isCancelled());
}

TEST(ManualClock, EmptyWorkItemIsHarmless)
{
    WorkItem none;
    none.cancel();
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.isPending());
    EXPECT_FALSE(none.isCancelled());
}

TEST(ManualClock, NestedAdvanceFromAnItemDoesNotMoveTimeBackwards)
{
    ManualClock clock;
    std::string order;
    asyncAfter(0.1, [&] {
        order += 'a';
        clock.advance(1.0); // to 1.1
        order += 'c';
    });
    asyncAfter(0.5, [&] { order += 'b'; });
    clock.advance(0.2);
    EXPECT_EQ(order, "abc");
    EXPECT_DOUBLE_EQ(clock.now(), 1.1);
}

TEST(ManualClock, RunAllStepsThroughPendingItems)
{
    ManualClock clock;
    int ran = 0;
    asyncAfter(5, [&] {
        ++ran;
        asyncAfter(5, [&] { ++ran; });
    });
    asyncAfter(7200, [&] { ++ran; });
    EXPECT_EQ(clock.runAll(60), 2);
    EXPECT_DOUBLE_EQ(clock.now(), 10.0);
    EXPECT_EQ(ran, 2);
}

TEST(ManualClock, WallClockMovesWithTime)
{
    ManualClock clock(QDateTime(QDate(2026, 3, 1), QTime(23, 59, 30)));
    clock.advance(45);
    EXPECT_EQ(currentDateTime(), QDateTime(QDate(2026, 3, 2), QTime(0, 0, 15)));
    clock.setCurrentDateTime(QDateTime(QDate(2027, 1, 1), QTime(8, 0)));
    clock.advance(60);
    EXPECT_EQ(clock.currentDateTime(), QDateTime(QDate(2027, 1, 1), QTime(8, 1)));
}

TEST(ManualClock, InstallsItselfAndRestoresThePreviousScheduler)
{
    Scheduler *before = &Scheduler::current();
    {
        ManualClock outer;
        EXPECT_EQ(&Scheduler::current(), &outer);
        {
            ManualClock inner;
            EXPECT_EQ(&Scheduler::current(), &inner);
        }
        EXPECT_EQ(&Scheduler::current(), &outer);
    }
    EXPECT_EQ(&Scheduler::current(), before);
}

TEST(ManualClock, WorkPostedFromAnotherThreadRunsOnTheTestThread)
{
    ManualClock clock;
    std::thread::id ranOn;
    bool done = false;
    std::thread worker([&] {
        async([&] {
            ranOn = std::this_thread::get_id();
            done = true;
        });
    });
    EXPECT_TRUE(clock.runUntil([&] { return done; }));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(ManualClock, RunUntilGivesUpWhenNothingArrives)
{
    ManualClock clock;
    EXPECT_FALSE(clock.runUntil([] { return false; }, 20));
}

TEST(ManualClock, SyncOnMainFromAWorkerWaitsForTheMainThread)
{
    ManualClock clock;
    int value = 0;
    bool returned = false;
    std::thread worker([&] {
        syncOnMain([&] { value = 42; });
        returned = true; // only after the main thread ran it
    });
    EXPECT_TRUE(clock.runUntil([&] { return value == 42; }));
    worker.join();
    EXPECT_TRUE(returned);
}

} // namespace
