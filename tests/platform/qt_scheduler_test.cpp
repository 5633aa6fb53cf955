// The default scheduler on the real Qt event loop. Each test ends its loop
// from the last callback it expects; a generous failsafe timer turns a hang
// into a failure instead of a stuck test.
#include <kalvo/platform/scheduler.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace kalvo;

namespace {

// Runs the loop until something quits it; false when the failsafe fired.
bool runLoop(QEventLoop &loop, int failsafeMs = 5000)
{
    bool timedOut = false;
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    failsafe.start(failsafeMs);
    loop.exec();
    return !timedOut;
}

class UserEventCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() >= QEvent::User && event->type() <= QEvent::MaxUser)
            ++count;
        return false;
    }
};

TEST(QtScheduler, ABurstOfAsyncCallsRunsInOrderOnOneWakeUp)
{
    UserEventCounter counter;
    qApp->installEventFilter(&counter);
    QEventLoop loop;
    std::vector<int> order;
    for (int i = 0; i < 1000; ++i)
        async([&order, i] { order.push_back(i); });
    async([&] { loop.quit(); });
    EXPECT_TRUE(runLoop(loop));
    qApp->removeEventFilter(&counter);
    ASSERT_EQ(order.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(order[i], i);
    EXPECT_EQ(counter.count, 1);
}

TEST(QtScheduler, AsyncFromAWorkerRunsOnTheMainThread)
{
    QEventLoop loop;
    bool onMain = false;
    std::thread worker([&] {
        EXPECT_FALSE(isMainThread());
        async([&] {
            onMain = isMainThread();
            loop.quit();
        });
    });
    EXPECT_TRUE(runLoop(loop));
    worker.join();
    EXPECT_TRUE(onMain);
}

TEST(QtScheduler, DelayedItemsRunInDueOrderAndNotEarly)
{
    QEventLoop loop;
    std::string order;
    const double start = now();
    double firstAt = 0;
    asyncAfter(0.06, [&] {
        order += 'c';
        loop.quit();
    });
    asyncAfter(0.02, [&] {
        order += 'a';
        firstAt = now();
    });
    asyncAfter(0.04, [&] { order += 'b'; });
    EXPECT_TRUE(runLoop(loop));
    EXPECT_EQ(order, "abc");
    EXPECT_GE(firstAt - start, 0.02);
}

TEST(QtScheduler, EqualDelaysKeepSchedulingOrder)
{
    QEventLoop loop;
    std::string order;
    for (char c = 'a'; c <= 'e'; ++c)
        asyncAfter(0.01, [&order, c] { order += c; });
    asyncAfter(0.01, [&] { loop.quit(); });
    EXPECT_TRUE(runLoop(loop));
    EXPECT_EQ(order, "abcde");
}

TEST(QtScheduler, CancelledItemDoesNotRun)
{
    QEventLoop loop;
    bool cancelledRan = false;
    WorkItem item = asyncAfter(0.01, [&] { cancelledRan = true; });
    asyncAfter(0.03, [&] { loop.quit(); });
    item.cancel();
    EXPECT_TRUE(runLoop(loop));
    EXPECT_FALSE(cancelledRan);
    EXPECT_TRUE(item.isCancelled());
}

TEST(QtScheduler, EarlierItemScheduledLaterRearmsTheTimer)
{
    QEventLoop loop;
    std::string order;
    asyncAfter(3.0, [&] { order += 'z'; });
    asyncAfter(0.01, [&] {
        order += 'a';
        loop.quit();
    });
    EXPECT_TRUE(runLoop(loop, 2000)) << "the 10 ms item waited behind the 3 s one";
    EXPECT_EQ(order, "a");
}

TEST(QtScheduler, DelayedItemFromAWorkerThreadFires)
{
    QEventLoop loop;
    bool fired = false;
    std::thread worker([&] {
        asyncAfter(0.01, [&] {
            fired = isMainThread();
            loop.quit();
        });
    });
    worker.join();
    EXPECT_TRUE(runLoop(loop));
    EXPECT_TRUE(fired);
}

TEST(QtScheduler, BatchContinuesInsideANestedEventLoop)
{
    // The first closure opens a nested loop (like a modal dialog); the next
    // closure of the same batch must still run, and it closes that loop.
    QEventLoop outer;
    std::string order;
    QEventLoop *nested = nullptr;
    async([&] {
        QEventLoop inner;
        nested = &inner;
        order += '1';
        runLoop(inner, 3000);
        nested = nullptr;
        order += '3';
        outer.quit();
    });
    async([&] {
        order += '2';
        if (nested)
            nested->quit();
    });
    EXPECT_TRUE(runLoop(outer));
    EXPECT_EQ(order, "123");
}

TEST(QtScheduler, ZeroDelayChainDoesNotStarveTheEventLoop)
{
    QEventLoop loop;
    int steps = 0;
    int stepsWhenTimerFired = -1;
    std::function<void()> step = [&] {
        if (++steps == 200) {
            loop.quit();
            return;
        }
        asyncAfter(0, step);
    };
    QTimer::singleShot(0, &loop, [&] { stepsWhenTimerFired = steps; });
    asyncAfter(0, step);
    EXPECT_TRUE(runLoop(loop));
    EXPECT_GE(stepsWhenTimerFired, 0);
    EXPECT_LT(stepsWhenTimerFired, 200);
}

TEST(QtScheduler, SyncOnMainRunsInlineOnTheMainThread)
{
    int value = 0;
    syncOnMain([&] { value = 1; });
    EXPECT_EQ(value, 1);
}

} // namespace
