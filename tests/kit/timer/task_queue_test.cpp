#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/serialqueue.h>
#include <kalvo/timer/tnasynctaskqueue.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace kalvo;

namespace {

// A gate a background task waits at until the test opens it.
class Gate
{
public:
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_reached = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_open; });
    }
    // Until the task is waiting at the gate.
    void waitUntilReached()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_reached; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_reached = false;
};

// Everything the handlers saw; only touched on the main thread.
struct Log
{
    std::vector<QString> events;
    bool allOnMain = true;
    void add(const QString &event)
    {
        allOnMain = allOnMain && isMainThread();
        events.push_back(event);
    }
};

std::shared_ptr<TNAsyncBlockTask> loggedTask(Log &log, const QString &name, std::function<QVariant()> main)
{
    return TNAsyncTask::taskWithBlock(
        std::move(main),
        [&log, name](const QVariant &result, TNAsyncBlockTask &) {
            log.add(name + QStringLiteral(" result ") + result.toString());
        },
        [&log, name](const QVariant &result, TNAsyncBlockTask &) {
            log.add(name + QStringLiteral(" cancelled ") + (result.isValid() ? result.toString() : QStringLiteral("nil")));
        });
}

TEST(TNAsyncTaskQueue, RunsTasksInOrderAndDeliversOnTheMainThread)
{
    ManualClock clock;
    TNAsyncTaskQueue queue(QStringLiteral("order"));
    EXPECT_EQ(queue.label(), QStringLiteral("TNAsyncTaskQueue-order"));
    EXPECT_EQ(TNAsyncTaskQueue().label(), QStringLiteral("TNAsyncTaskQueue"));
    EXPECT_EQ(queue.qualityOfService(), 21);
    Log log;
    std::atomic<bool> backgroundOffMain{true};
    std::vector<std::shared_ptr<TNAsyncBlockTask>> tasks;
    for (int i = 0; i < 10; ++i) {
        tasks.push_back(loggedTask(log, QString::number(i), [i, &backgroundOffMain] {
            if (isMainThread() || SerialQueue::currentLabel() != QStringLiteral("TNAsyncTaskQueue-order"))
                backgroundOffMain = false;
            return QVariant(i * i);
        }));
        queue.submitTask(tasks.back());
    }
    ASSERT_TRUE(clock.runUntil([&] { return log.events.size() == 10; }));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(log.events[i], QStringLiteral("%1 result %2").arg(i).arg(i * i));
    EXPECT_TRUE(log.allOnMain);
    EXPECT_TRUE(backgroundOffMain);
    for (const auto &task : tasks) {
        EXPECT_TRUE(task->isFinished());
        EXPECT_EQ(task->state(), TNAsyncTask::State::delivered);
    }
}

TEST(TNAsyncTaskQueue, ATaskCancelledBeforeSubmissionNeverRuns)
{
    ManualClock clock;
    TNAsyncTaskQueue queue;
    Log log;
    std::atomic<bool> ran{false};
    auto task = loggedTask(log, QStringLiteral("early"), [&] {
        ran = true;
        return QVariant(1);
    });
    task->cancel();
    queue.submitTask(task);
    auto marker = loggedTask(log, QStringLiteral("marker"), [] { return QVariant(2); });
    queue.submitTask(marker);
    ASSERT_TRUE(clock.runUntil([&] { return !log.events.empty(); }));
    EXPECT_EQ(log.events, std::vector<QString>{QStringLiteral("marker result 2")});
    EXPECT_FALSE(ran);
    EXPECT_TRUE(task->isCancelled());
}

TEST(TNAsyncTaskQueue, ATaskCancelledWhileRunningGetsItsResultAsCancellation)
{
    ManualClock clock;
    TNAsyncTaskQueue queue;
    Log log;
    Gate gate;
    auto task = loggedTask(log, QStringLiteral("slow"), [&] {
        gate.wait();
        return QVariant(42);
    });
    int runningWhileDelivering = -1;
    auto marker = TNAsyncTask::taskWithBlock([] { return QVariant(); },
                                             [&](const QVariant &, TNAsyncBlockTask &) {
                                                 runningWhileDelivering = queue.numberOfRunningTasks();
                                             });
    queue.submitTask(task);
    queue.submitTask(marker);
    gate.waitUntilReached();
    EXPECT_EQ(queue.numberOfRunningTasks(), 1);
    task->cancel();
    EXPECT_TRUE(task->isCancelled());
    gate.open();
    ASSERT_TRUE(clock.runUntil([&] { return runningWhileDelivering >= 0; }));
    EXPECT_EQ(log.events, std::vector<QString>{QStringLiteral("slow cancelled 42")});
    EXPECT_TRUE(log.allOnMain);
    EXPECT_EQ(runningWhileDelivering, 1); // the marker itself: the cancelled task has left
}

TEST(TNAsyncTaskQueue, ATaskCancelledWhileWaitingGetsNil)
{
    ManualClock clock;
    TNAsyncTaskQueue queue;
    Log log;
    Gate gate;
    std::atomic<bool> secondRan{false};
    queue.submitTask(loggedTask(log, QStringLiteral("first"), [&] {
        gate.wait();
        return QVariant(1);
    }));
    auto second = loggedTask(log, QStringLiteral("second"), [&] {
        secondRan = true;
        return QVariant(2);
    });
    queue.submitTask(second);
    gate.waitUntilReached();
    second->cancel();
    gate.open();
    ASSERT_TRUE(clock.runUntil([&] { return log.events.size() == 2; }));
    EXPECT_EQ(log.events, (std::vector<QString>{QStringLiteral("first result 1"), QStringLiteral("second cancelled nil")}));
    EXPECT_FALSE(secondRan);
}

TEST(TNAsyncTaskQueue, ATaskSubmittedTwiceRunsOnce)
{
    ManualClock clock;
    Log log;
    std::atomic<int> runs{0};
    auto task = loggedTask(log, QStringLiteral("once"), [&] { return QVariant(++runs); });
    {
        TNAsyncTaskQueue queue;
        TNAsyncTaskQueue other;
        queue.submitTask(task);
        queue.submitTask(task);
        other.submitTask(task);
        queue.submitTask(nullptr);
        ASSERT_TRUE(clock.runUntil([&] { return !log.events.empty(); }));
        queue.submitTask(task); // delivered by now
    } // both queues drained
    clock.runPending();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(log.events, std::vector<QString>{QStringLiteral("once result 1")});
    task->cancel(); // too late: delivered stays delivered
    EXPECT_FALSE(task->isCancelled());
    EXPECT_TRUE(task->isFinished());
}

TEST(TNAsyncTaskQueue, SubclassesOverrideTheHooks)
{
    struct Sum : TNAsyncTask
    {
        using TNAsyncTask::TNAsyncTask;
        QVariant runInBackground() override { return 1 + 2 + 3; }
        void handleResult(const QVariant &result) override { delivered = result.toInt(); }
        int delivered = 0;
    };
    ManualClock clock;
    auto task = std::make_shared<Sum>(QStringLiteral("sum"));
    EXPECT_EQ(task->identifier(), QStringLiteral("sum"));
    EXPECT_EQ(task->state(), TNAsyncTask::State::newTask);
    auto plain = std::make_shared<TNAsyncTask>();
    {
        TNAsyncTaskQueue queue(QStringLiteral("sub"));
        queue.submitTask(plain); // computes nil, handles nothing
        queue.submitTask(task);
        ASSERT_TRUE(clock.runUntil([&] { return task->delivered != 0; }));
    }
    EXPECT_EQ(task->delivered, 6);
    EXPECT_TRUE(plain->isFinished());
}

TEST(TNAsyncTaskQueue, DestroyingTheQueueDeliversWhatWasSubmitted)
{
    ManualClock clock;
    Log log;
    {
        TNAsyncTaskQueue queue(QStringLiteral("teardown"));
        for (int i = 0; i < 5; ++i)
            queue.submitTask(loggedTask(log, QString::number(i), [i] { return QVariant(i); }));
    } // the main thread waits here and delivers meanwhile: no deadlock
    ASSERT_EQ(log.events.size(), 5u);
    EXPECT_EQ(log.events.back(), QStringLiteral("4 result 4"));
    EXPECT_TRUE(log.allOnMain);
    clock.runPending(); // the hand-off notes left on the main queue find nothing to do
}

TEST(TNAsyncTaskQueue, CancelRacesWithTheWorkerWithoutDoubleDelivery)
{
    ManualClock clock;
    TNAsyncTaskQueue queue(QStringLiteral("race"));
    Log log;
    std::vector<std::shared_ptr<TNAsyncBlockTask>> tasks;
    for (int i = 0; i < 200; ++i) {
        tasks.push_back(loggedTask(log, QString::number(i), [i] { return QVariant(i); }));
        queue.submitTask(tasks.back());
    }
    std::thread canceller([&] {
        for (int i = 0; i < 200; i += 2)
            tasks[i]->cancel();
    });
    canceller.join();
    ASSERT_TRUE(clock.runUntil([&] { return log.events.size() == 200; }));
    for (int i = 0; i < 200; ++i) {
        const bool cancelled = log.events[i].contains(QStringLiteral("cancelled"));
        EXPECT_EQ(cancelled, tasks[i]->isCancelled()) << i;
        EXPECT_TRUE(log.events[i].startsWith(QString::number(i) + QLatin1Char(' ')));
    }
}

} // namespace
