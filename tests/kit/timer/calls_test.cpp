#include <kalvo/platform/manualclock.h>
#include <kalvo/timer/tncalls.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace kalvo;

namespace {

// ---- Delay call ----

TEST(TNDelayCall, ThrottlesABurstToOneCallAfterTheFirstRequest)
{
    ManualClock clock;
    std::vector<double> calls;
    auto call = TNDelayCall::delayCall([&] { calls.push_back(now()); });
    call->setNeedsCall(true);
    clock.advance(0.05);
    call->setNeedsCall(true);
    clock.advance(0.04);
    call->setNeedsCall(true);
    EXPECT_EQ(call->accumulation(), 3);
    EXPECT_TRUE(call->isInCalling());
    clock.advance(0.01);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NEAR(calls[0], 0.1, 1e-9);
    EXPECT_EQ(call->accumulation(), 0);
    EXPECT_FALSE(call->isInCalling());

    clock.advance(0.02);
    call->setNeedsCall(true);
    clock.advance(1.0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NEAR(calls[1], 0.22, 1e-9);
}

TEST(TNDelayCall, MaxAccumulationRunsAtOnceAndDropsThePendingCall)
{
    ManualClock clock;
    int calls = 0;
    TNDelayCall call([&] { ++calls; });
    call.setMaxAccumulation(3);
    call.setNeedsCall(true);
    call.setNeedsCall(true);
    EXPECT_EQ(calls, 0);
    call.setNeedsCall(true);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(call.selfProxy()->pendingPerformCount(), 0);
    clock.advance(1.0);
    EXPECT_EQ(calls, 1);
}

TEST(TNDelayCall, SettingNoNeedCancelsThePendingCall)
{
    ManualClock clock;
    int calls = 0;
    TNDelayCall call([&] { ++calls; });
    call.setNeedsCall(true);
    call.setNeedsCall(true);
    call.setNeedsCall(false);
    EXPECT_EQ(call.accumulation(), 0);
    EXPECT_FALSE(call.isInCalling());
    EXPECT_EQ(clock.pendingCount(), 0);
    clock.advance(1.0);
    EXPECT_EQ(calls, 0);
}

TEST(TNDelayCall, CallActionWithDelayIsScheduledOnce)
{
    ManualClock clock;
    std::vector<double> calls;
    TNDelayCall call([&] {
        EXPECT_TRUE(call.isInActioning());
        calls.push_back(now());
    });
    call.callActionWithDelay(0.5);
    clock.advance(0.2);
    call.callActionWithDelay(0.5); // one is pending already
    EXPECT_TRUE(call.isInCallingByDelay());
    clock.advance(1.0);
    EXPECT_EQ(calls, (std::vector<double>{0.5}));
    EXPECT_FALSE(call.isInCallingByDelay());
    EXPECT_FALSE(call.isInActioning());

    // callAction runs now and takes every pending call with it.
    call.callActionWithDelay(0.5);
    call.setNeedsCall(true);
    call.callAction();
    clock.advance(1.0);
    EXPECT_EQ(calls.size(), 2u);
}

TEST(TNDelayCall, DestroyingItDropsItsPendingWork)
{
    ManualClock clock;
    int calls = 0;
    auto call = TNDelayCall::delayCall([&] { ++calls; });
    call->setNeedsCall(true);
    call->callActionWithDelay(0.3);
    call.reset();
    EXPECT_EQ(clock.pendingCount(), 0);
    clock.advance(1.0);
    EXPECT_EQ(calls, 0);
}

TEST(TNDelayCall, AnActionThatRequestsAgainDoesNotRecurse)
{
    ManualClock clock;
    int calls = 0;
    TNDelayCall call;
    call.setMaxAccumulation(1);
    call.setAction([&] {
        ++calls;
        call.setNeedsCall(true); // reaches the maximum at once
    });
    call.setNeedsCall(true);
    EXPECT_EQ(calls, 1);
}

TEST(TNDelayCall, AnActionMayDestroyItsCall)
{
    ManualClock clock;
    int calls = 0;
    auto call = TNDelayCall::delayCall();
    call->setAction([&] {
        ++calls;
        call.reset();
    });
    call->setNeedsCall(true);
    clock.advance(1.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(call, nullptr);
}

TEST(TNBaseCall, RecordsRunLoopModesWithEachRequest)
{
    ManualClock clock;
    TNDelayCall call([] {});
    EXPECT_DOUBLE_EQ(call.timeInterval(), 0.1);
    EXPECT_TRUE(call.runloopModes().isEmpty());
    call.setNeedsCall(true);
    EXPECT_EQ(call.selfProxy()->pendingPerformModes(), QList<QStringList>{{TNRunLoopCommonModes()}});
    call.setNeedsCall(false);
    call.setRunloopModes({QStringLiteral("NSEventTrackingRunLoopMode")});
    call.setTimeInterval(0.3);
    call.setNeedsCall(true);
    EXPECT_EQ(call.selfProxy()->pendingPerformModes(),
              QList<QStringList>{{QStringLiteral("NSEventTrackingRunLoopMode")}});
    EXPECT_NEAR(clock.nextDueIn(), 0.3, 1e-9);
}

// ---- Async call ----

TEST(TNAsyncCall, MergesValuesUntilTheMainQueueRuns)
{
    ManualClock clock;
    std::vector<int> received;
    auto call = TNAsyncCall::asyncCall([&](const QVariant &value) { received.push_back(value.toInt()); });
    for (int i = 1; i <= 10; ++i)
        call->callWithValue(i);
    EXPECT_TRUE(received.empty());
    clock.runPending();
    EXPECT_EQ(received, (std::vector<int>{10}));
    EXPECT_FALSE(call->isInCalling());

    call->callWithValue(11);
    call.reset(); // gone before the main queue ran
    clock.runPending();
    EXPECT_EQ(received.size(), 1u);
}

// ---- Coalesce call ----

TEST(TNCoalesceCall, CollectsValuesIntoOneCallAndIgnoresNil)
{
    ManualClock clock;
    std::vector<QVariantList> batches;
    std::vector<double> times;
    TNCoalesceCall call([&](const QVariantList &values) {
        batches.push_back(values);
        times.push_back(now());
    });
    call.callWithValue(1);
    call.callWithValue(QVariant());
    clock.advance(0.05);
    call.callWithArray({2, QVariant(), 3});
    call.callWithValue(QString()); // an empty string is a value, not nil
    EXPECT_EQ(call.array().size(), 4);
    clock.advance(0.05);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], (QVariantList{1, 2, 3, QString()}));
    EXPECT_NEAR(times[0], 0.1, 1e-9);
    EXPECT_TRUE(call.array().isEmpty());

    call.callWithValue(QVariant());
    call.callWithArray({QVariant(), QVariant()});
    EXPECT_FALSE(call.isInCalling()); // nothing to deliver, nothing scheduled
    clock.advance(1.0);
    EXPECT_EQ(batches.size(), 1u);
}

TEST(TNCoalesceCall, CancelDropsTheCallAndTheValues)
{
    ManualClock clock;
    int calls = 0;
    TNCoalesceCall call([&](const QVariantList &) { ++calls; });
    call.callWithValue(1);
    call.cancel();
    EXPECT_TRUE(call.array().isEmpty());
    EXPECT_FALSE(call.isInCalling());
    clock.advance(1.0);
    EXPECT_EQ(calls, 0);

    call.callWithValue(2);
    call.setNeedsCall(false);
    clock.advance(1.0);
    EXPECT_EQ(calls, 0);
}

TEST(TNCoalesceCall, ValuesGivenDuringTheActionGoToTheNextCall)
{
    ManualClock clock;
    std::vector<QVariantList> batches;
    TNCoalesceCall call;
    call.setAction([&](const QVariantList &values) {
        batches.push_back(values);
        if (batches.size() == 1)
            call.callWithValue(99);
    });
    call.callWithValue(1);
    clock.advance(0.1);
    clock.advance(0.1);
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[1], QVariantList{99});
}

// ---- Concurrency call ----

TEST(TNConcurrencyCall, DeliversBatchesOfConcurrencyOnePerInterval)
{
    ManualClock clock;
    std::vector<std::pair<double, QVariantList>> batches;
    TNConcurrencyCall call([&](const QVariantList &batch) { batches.emplace_back(now(), batch); });
    EXPECT_EQ(call.concurrency(), 20u);
    for (int i = 0; i < 45; ++i)
        call.callWithValue(i);
    call.callWithValue(QVariant());
    EXPECT_EQ(call.pendingBatchCount(), 3);
    clock.advance(1.0);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].second.size(), 20);
    EXPECT_EQ(batches[1].second.size(), 20);
    EXPECT_EQ(batches[2].second.size(), 5);
    EXPECT_NEAR(batches[0].first, 0.1, 1e-9);
    EXPECT_NEAR(batches[1].first, 0.2, 1e-9);
    EXPECT_NEAR(batches[2].first, 0.3, 1e-9);
    EXPECT_EQ(batches[1].second.front().toInt(), 20);
    EXPECT_EQ(batches[2].second.back().toInt(), 44);
    EXPECT_FALSE(call.isInCalling());
}

TEST(TNConcurrencyCall, ValuesGivenDuringADeliveryStartANewBatch)
{
    ManualClock clock;
    std::vector<QVariantList> batches;
    TNConcurrencyCall call;
    call.setConcurrency(0); // counts as 1
    call.setAction([&](const QVariantList &batch) {
        batches.push_back(batch);
        if (batches.size() == 1)
            call.callWithValue(QStringLiteral("late"));
    });
    call.setConcurrency(5);
    call.callWithValue(1);
    clock.advance(0.1);
    clock.advance(0.1);
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0], QVariantList{1});
    EXPECT_EQ(batches[1], QVariantList{QStringLiteral("late")});
}

TEST(TNConcurrencyCall, CancelDropsEveryWaitingBatch)
{
    ManualClock clock;
    int calls = 0;
    auto call = TNConcurrencyCall::concurrencyCall([&](const QVariantList &) { ++calls; });
    call->setConcurrency(2);
    for (int i = 0; i < 5; ++i)
        call->callWithValue(i);
    clock.advance(0.1);
    EXPECT_EQ(calls, 1);
    call->cancel();
    EXPECT_EQ(call->pendingBatchCount(), 0);
    clock.advance(1.0);
    EXPECT_EQ(calls, 1);

    call->callWithValue(1);
    call.reset();
    clock.advance(1.0);
    EXPECT_EQ(calls, 1);
}

} // namespace
