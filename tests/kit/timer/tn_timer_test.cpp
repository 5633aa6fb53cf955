#include <kalvo/platform/manualclock.h>
#include <kalvo/timer/tntimer.h>

#include <gtest/gtest.h>

#include <QObject>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using namespace kalvo;

namespace {

// Records the clock time of each firing.
struct Firings
{
    std::vector<double> times;
    std::vector<quint64> counts;
    TNTimerItem::Handler handler()
    {
        return [this](quint64 count, bool *) {
            times.push_back(now());
            counts.push_back(count);
        };
    }
};

void tick(ManualClock &clock, int n, double interval = 1.0)
{
    for (int i = 0; i < n; ++i)
        clock.advance(interval);
}

TEST(TNTimer, ItemsFireOnWholeTicksAndFinishAfterTheirRepeatNumber)
{
    ManualClock clock;
    TNTimer timer; // 1 s ticks
    QObject owner;
    Firings fired;
    ASSERT_TRUE(timer.addTimer(&owner, QStringLiteral("blink"), 2.5, 2, fired.handler()));
    EXPECT_TRUE(timer.isRunning());
    EXPECT_DOUBLE_EQ(timer.tolerance(), 0.1);

    tick(clock, 5);
    ASSERT_EQ(fired.times, (std::vector<double>{3.0}));
    EXPECT_DOUBLE_EQ(timer.getTimerItemWithTarget(&owner, QStringLiteral("blink"))->timeCount(), 2.0);
    tick(clock, 1);
    EXPECT_EQ(fired.times, (std::vector<double>{3.0, 6.0}));
    EXPECT_EQ(fired.counts, (std::vector<quint64>{1, 2}));

    // The second firing was the last: the item is gone and so is the tick.
    EXPECT_FALSE(timer.isExistTimer(&owner, QStringLiteral("blink")));
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(clock.pendingCount(), 0);
    tick(clock, 6);
    EXPECT_EQ(fired.times.size(), 2u);
}

TEST(TNTimer, StopFlagFinishesTheItemAfterThatFiring)
{
    ManualClock clock;
    TNTimer timer(0.5);
    QObject owner;
    int calls = 0;
    timer.addTimer(&owner, QStringLiteral("poll"), 0.5, 0, [&](quint64 count, bool *stop) {
        ++calls;
        if (count == 3)
            *stop = true;
    });
    tick(clock, 10, 0.5);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(timer.timerItemArray().empty());
    EXPECT_FALSE(timer.isRunning());
}

TEST(TNTimer, TickSumsDoNotDelayAnItemByAWholeTick)
{
    ManualClock clock;
    TNTimer timer(0.1); // ten ticks of 0.1 add up to slightly less than 1.0
    Firings fired;
    timer.addTimer(nullptr, QStringLiteral("second"), 1.0, 0, fired.handler());
    tick(clock, 30, 0.1);
    ASSERT_EQ(fired.times.size(), 3u);
    EXPECT_NEAR(fired.times[0], 1.0, 1e-9);
    EXPECT_NEAR(fired.times[2], 3.0, 1e-9);
}

TEST(TNTimer, ReAddingRestartsTheCountAndKeepsTheFirstRegistration)
{
    ManualClock clock;
    TNTimer timer;
    QObject owner;
    Firings first;
    Firings second;
    ASSERT_TRUE(timer.addTimer(&owner, QStringLiteral("x"), 3.0, 5, first.handler()));
    tick(clock, 2);
    ASSERT_TRUE(timer.addTimer(&owner, QStringLiteral("x"), 1.0, 1, second.handler()));
    EXPECT_EQ(timer.timerItemArray().size(), 1u);
    const TNTimerItemPtr item = timer.getTimerItemWithTarget(&owner, QStringLiteral("x"));
    EXPECT_DOUBLE_EQ(item->interval(), 3.0);
    EXPECT_EQ(item->repeatNumber(), 5u);
    EXPECT_DOUBLE_EQ(item->timeCount(), 0.0);

    tick(clock, 2);
    EXPECT_TRUE(first.times.empty()); // would have fired at 3 without the restart
    tick(clock, 1);
    EXPECT_EQ(first.times, (std::vector<double>{5.0}));
    EXPECT_TRUE(second.times.empty());
}

TEST(TNTimer, RefusesInvalidRegistrations)
{
    ManualClock clock;
    TNTimer timer;
    QObject owner;
    auto handler = [](quint64, bool *) {};
    EXPECT_FALSE(timer.addTimer(&owner, QStringLiteral("a"), 0.0, 0, handler));
    EXPECT_FALSE(timer.addTimer(&owner, QStringLiteral("a"), -1.0, 0, handler));
    EXPECT_FALSE(timer.addTimer(&owner, QStringLiteral("a"), std::nan(""), 0, handler));
    EXPECT_FALSE(timer.addTimer(&owner, QString(), 1.0, 0, handler));
    EXPECT_FALSE(timer.addTimer(&owner, QStringLiteral("a"), 1.0, 0, {}));
    auto gone = std::make_shared<int>(1);
    ObserverOwner expired(gone);
    gone.reset();
    EXPECT_FALSE(timer.addTimer(expired, QStringLiteral("a"), 1.0, 0, handler));
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(clock.pendingCount(), 0);

    EXPECT_DOUBLE_EQ(TNTimer(0.0001).interval(), 1.0);
    EXPECT_DOUBLE_EQ(TNTimer(-3).interval(), 1.0);
    EXPECT_DOUBLE_EQ(TNTimer(std::numeric_limits<double>::quiet_NaN()).interval(), 1.0);
    EXPECT_DOUBLE_EQ(TNTimer(0.01).interval(), 0.01);
}

TEST(TNTimer, PlatformTimerRunsOnlyWhileItemsExist)
{
    ManualClock clock;
    TNTimer timer;
    QObject a;
    QObject b;
    auto handler = [](quint64, bool *) {};
    timer.addTimer(&a, QStringLiteral("one"), 1.0, 0, handler);
    timer.addTimer(&b, QStringLiteral("one"), 1.0, 0, handler);
    timer.addTimer(&b, QStringLiteral("two"), 1.0, 0, handler);
    EXPECT_EQ(timer.timerItemArray().size(), 3u);

    timer.removeTimerWithName(QStringLiteral("one")); // every owner's
    EXPECT_EQ(timer.timerItemArray().size(), 1u);
    EXPECT_TRUE(timer.isRunning());
    EXPECT_EQ(tn_timerAutoUnregisterProxyNonLazy(&a)->timerItems().size(), 0u);

    timer.removeTimer(&b, QStringLiteral("two"));
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(clock.pendingCount(), 0);

    // Starting again counts ticks from the new start.
    clock.advance(0.4);
    Firings fired;
    timer.addTimer(&a, QStringLiteral("again"), 1.0, 0, fired.handler());
    tick(clock, 2);
    EXPECT_EQ(fired.times, (std::vector<double>{1.4, 2.4}));

    timer.addTimer(&b, QStringLiteral("x"), 1.0, 0, handler);
    timer.removeTimerWithTarget(&a);
    EXPECT_EQ(timer.timerItemArray().size(), 1u);
    timer.removeAllTimers();
    EXPECT_FALSE(timer.isRunning());
}

TEST(TNTimer, QObjectOwnerTakesItsItemsWithIt)
{
    ManualClock clock;
    TNTimer timer;
    auto *doomed = new QObject;
    QObject survivor;
    int doomedCalls = 0;
    int survivorCalls = 0;
    timer.addTimer(doomed, QStringLiteral("a"), 1.0, 0, [&](quint64, bool *) { ++doomedCalls; });
    timer.addTimer(doomed, QStringLiteral("b"), 1.0, 0, [&](quint64, bool *) { ++doomedCalls; });
    timer.addTimer(&survivor, QStringLiteral("a"), 1.0, 0, [&](quint64, bool *) { ++survivorCalls; });
    ASSERT_EQ(tn_timerAutoUnregisterProxy(doomed)->timerItems().size(), 2u);
    const TNTimerItemPtr item = timer.getTimerItemWithTarget(doomed, QStringLiteral("a"));

    delete doomed; // at once, not at the next tick
    EXPECT_EQ(timer.timerItemArray().size(), 1u);
    EXPECT_FALSE(item->isRegistered());
    EXPECT_FALSE(item->handler());
    tick(clock, 3);
    EXPECT_EQ(doomedCalls, 0);
    EXPECT_EQ(survivorCalls, 3);

    timer.removeTimerWithTarget(&survivor);
    EXPECT_FALSE(timer.isRunning());
}

TEST(TNTimer, SharedOwnerItemsGoWhenTheOwnerExpires)
{
    ManualClock clock;
    TNTimer timer;
    auto owner = std::make_shared<QString>(QStringLiteral("owner"));
    int calls = 0;
    timer.addTimer(owner, QStringLiteral("a"), 1.0, 0, [&, weak = std::weak_ptr<QString>(owner)](quint64, bool *) {
        ++calls;
        EXPECT_FALSE(weak.expired());
    });
    tick(clock, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(timer.isExistTimer(owner, QStringLiteral("a")));

    owner.reset();
    tick(clock, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(timer.timerItemArray().empty());
    EXPECT_FALSE(timer.isRunning());
}

TEST(TNTimer, HandlersMayRemoveItemsDuringATick)
{
    ManualClock clock;
    TNTimer timer;
    QObject owner;
    std::vector<QString> calls;
    timer.addTimer(&owner, QStringLiteral("first"), 1.0, 0, [&](quint64, bool *) {
        calls.push_back(QStringLiteral("first"));
        timer.removeTimer(&owner, QStringLiteral("second")); // later in this very tick
        timer.removeTimer(&owner, QStringLiteral("first"));  // itself
    });
    timer.addTimer(&owner, QStringLiteral("second"), 1.0, 0,
                   [&](quint64, bool *) { calls.push_back(QStringLiteral("second")); });
    timer.addTimer(&owner, QStringLiteral("third"), 1.0, 2, [&](quint64, bool *) {
        calls.push_back(QStringLiteral("third"));
        timer.addTimer(&owner, QStringLiteral("late"), 1.0, 1,
                       [&](quint64, bool *) { calls.push_back(QStringLiteral("late")); });
    });
    tick(clock, 3);
    EXPECT_EQ(calls, (std::vector<QString>{QStringLiteral("first"), QStringLiteral("third"), QStringLiteral("third"),
                                           QStringLiteral("late")}));
    EXPECT_FALSE(timer.isRunning());
}

TEST(TNTimer, AHandlerMayDestroyItsTimer)
{
    ManualClock clock;
    auto timer = std::make_unique<TNTimer>();
    QObject owner;
    int calls = 0;
    timer->addTimer(&owner, QStringLiteral("a"), 1.0, 0, [&](quint64, bool *) {
        ++calls;
        timer.reset();
    });
    timer->addTimer(&owner, QStringLiteral("b"), 1.0, 0, [&](quint64, bool *) { ++calls; });
    tick(clock, 3);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(clock.pendingCount(), 0);
    EXPECT_TRUE(tn_timerAutoUnregisterProxyNonLazy(&owner)->timerItems().empty());
}

TEST(TNTimer, LookupComparesOwnerByIdentityAndNameByText)
{
    ManualClock clock;
    TNTimer timer;
    QObject a;
    QObject b;
    timer.addTimer(&a, QStringLiteral("name"), 1.0, 0, [](quint64, bool *) {});
    EXPECT_TRUE(timer.isExistTimer(&a, QString::fromLatin1("name")));
    EXPECT_FALSE(timer.isExistTimer(&b, QStringLiteral("name")));
    EXPECT_FALSE(timer.isExistTimer(&a, QStringLiteral("Name")));
    EXPECT_FALSE(timer.isExistTimer(nullptr, QStringLiteral("name")));
    EXPECT_EQ(timer.getTimerItemWithTarget(&a, QStringLiteral("name"))->target(), &a);
    EXPECT_EQ(tn_timerAutoUnregisterProxyNonLazy(&b), nullptr);
}

} // namespace
