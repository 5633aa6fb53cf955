#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/serialqueue.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kalvo;

namespace {

TEST(SerialQueue, RunsTasksInSubmissionOrderOneAtATime)
{
    std::vector<int> order;
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
    {
        SerialQueue queue(QStringLiteral("test.order"));
        for (int i = 0; i < 500; ++i) {
            queue.async([&, i] {
                const int now = ++concurrent;
                maxConcurrent = std::max(maxConcurrent.load(), now);
                order.push_back(i); // unsynchronised on purpose: only safe if serial
                --concurrent;
            });
        }
    } // destruction drains the queue
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(order[i], i);
    EXPECT_EQ(maxConcurrent.load(), 1);
}

TEST(SerialQueue, RunsOnItsOwnLabelledThread)
{
    SerialQueue queue(QStringLiteral("TNAsyncTaskQueue-x"));
    std::thread::id taskThread;
    QString label;
    bool current = false;
    queue.sync([&] {
        taskThread = std::this_thread::get_id();
        label = SerialQueue::currentLabel();
        current = queue.isCurrent();
    });
    EXPECT_NE(taskThread, std::this_thread::get_id());
    EXPECT_EQ(label, QStringLiteral("TNAsyncTaskQueue-x"));
    EXPECT_TRUE(current);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_TRUE(SerialQueue::currentLabel().isEmpty());
}

TEST(SerialQueue, SyncFromInsideItsOwnTaskDoesNotDeadlock)
{
    SerialQueue queue(QStringLiteral("test.reentrant"));
    int depth = 0;
    queue.sync([&] {
        ++depth;
        queue.sync([&] { ++depth; });
    });
    EXPECT_EQ(depth, 2);
}

TEST(SerialQueue, SyncWaitsForEarlierTasks)
{
    SerialQueue queue(QStringLiteral("test.sync"));
    std::vector<int> order;
    for (int i = 0; i < 10; ++i)
        queue.async([&, i] { order.push_back(i); });
    queue.sync([&] { order.push_back(99); });
    ASSERT_EQ(order.size(), 11u);
    EXPECT_EQ(order.back(), 99);
}

TEST(SerialQueue, HandsResultsToTheMainThreadInOrder)
{
    ManualClock clock;
    SerialQueue queue(QStringLiteral("test.handoff"));
    std::vector<int> delivered;
    std::vector<bool> onMain;
    for (int i = 0; i < 20; ++i) {
        queue.asyncThenMain([i] { return i * i; },
                            [&](int square) {
                                delivered.push_back(square);
                                onMain.push_back(isMainThread());
                            });
    }
    bool voidDelivered = false;
    queue.asyncThenMain([] {}, [&] { voidDelivered = true; });
    ASSERT_TRUE(clock.runUntil([&] { return voidDelivered; }));
    ASSERT_EQ(delivered.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(delivered[i], i * i);
        EXPECT_TRUE(onMain[i]);
    }
}

TEST(SerialQueue, DeliveriesWaitForTheMainThread)
{
    ManualClock clock;
    SerialQueue queue(QStringLiteral("test.wait"));
    bool delivered = false;
    queue.asyncThenMain([] { return 1; }, [&](int) { delivered = true; });
    queue.sync([] {}); // the work is done and its delivery posted...
    EXPECT_FALSE(delivered); // ...but nothing runs until the main queue does
    clock.runPending();
    EXPECT_TRUE(delivered);
}

TEST(SerialQueue, TasksQueuedByTasksDuringDestructionStillRun)
{
    std::atomic<int> ran{0};
    {
        SerialQueue queue(QStringLiteral("test.chain"));
        queue.async([&] {
            ++ran;
            queue.async([&] { ++ran; });
        });
    }
    EXPECT_EQ(ran.load(), 2);
}

} // namespace
