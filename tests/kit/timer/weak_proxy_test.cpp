#include <kalvo/platform/manualclock.h>
#include <kalvo/timer/tnweakproxy.h>

#include <gtest/gtest.h>

#include <QObject>

#include <memory>

using namespace kalvo;

namespace {

TEST(TNWeakProxy, MessagesReachOnlyALiveTarget)
{
    auto *object = new QObject;
    object->setObjectName(QStringLiteral("target"));
    auto proxy = TNWeakProxy::proxyWithTarget(object);
    EXPECT_EQ(proxy->target(), object);
    EXPECT_EQ(proxy->targetObject(), object);
    EXPECT_EQ(proxy->send([] { return 7; }), std::optional<int>(7));
    EXPECT_EQ(proxy->description(), QStringLiteral("<TNWeakProxy: QObject \"target\">"));
    EXPECT_TRUE(proxy->targetInherits("QObject"));
    EXPECT_FALSE(proxy->targetInherits("QWidget"));
    EXPECT_TRUE(*proxy == TNWeakProxy(object));

    delete object;
    EXPECT_FALSE(proxy->isTargetAlive());
    EXPECT_EQ(proxy->target(), nullptr);
    EXPECT_EQ(proxy->targetObject(), nullptr);
    bool ran = false;
    EXPECT_FALSE(proxy->send([&] { ran = true; }));
    EXPECT_EQ(proxy->send([] { return 7; }), std::nullopt);
    EXPECT_FALSE(ran);
    EXPECT_EQ(proxy->description(), QStringLiteral("<TNWeakProxy: nil>"));
    EXPECT_FALSE(proxy->targetInherits("QObject"));
}

TEST(TNWeakProxy, DelayedCallsSkipAGoneSharedTargetAndKeepALiveOneAlive)
{
    ManualClock clock;
    auto target = std::make_shared<int>(5);
    auto proxy = TNWeakProxy::proxyWithTarget(target);
    std::weak_ptr<int> weak = target;
    int seen = 0;
    proxy->performAfterDelay(0.1, [&] { seen = *weak.lock(); });
    clock.advance(0.1);
    EXPECT_EQ(seen, 5);

    bool ran = false;
    proxy->performAfterDelay(0.1, [&] { ran = true; });
    target.reset();
    clock.advance(1.0);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(proxy->performAfterDelay(0.1, [&] { ran = true; })); // an empty handle
}

TEST(TNWeakProxy, PendingCallsAreCancelledWhenTheTargetIsDestroyed)
{
    ManualClock clock;
    auto *object = new QObject;
    auto proxy = selfProxy(object);
    ASSERT_TRUE(proxy);
    EXPECT_EQ(selfProxy(object), proxy); // one per object
    EXPECT_EQ(cancelProxy(object), cancelProxy(object));
    int calls = 0;
    proxy->performAfterDelay(0.5, [&] { ++calls; });
    proxy->performAfterDelay(0.7, [&] { ++calls; }, {TNDefaultRunLoopMode()});
    auto other = TNWeakProxy::proxyWithTarget(object); // a second proxy to the same object
    other->performAfterDelay(0.5, [&] { ++calls; });
    EXPECT_EQ(proxy->pendingPerformCount(), 2);
    EXPECT_EQ(proxy->pendingPerformModes(),
              (QList<QStringList>{{TNRunLoopCommonModes()}, {TNDefaultRunLoopMode()}}));
    EXPECT_EQ(clock.pendingCount(), 3);

    delete object; // its cancel proxy goes with it
    EXPECT_EQ(proxy->pendingPerformCount(), 0);
    EXPECT_EQ(other->pendingPerformCount(), 0);
    EXPECT_EQ(clock.pendingCount(), 0);
    clock.advance(1.0);
    EXPECT_EQ(calls, 0);
}

TEST(TNWeakProxy, CancelPreviousPerformRequestsCancelsOnlyThatProxy)
{
    ManualClock clock;
    QObject a;
    QObject b;
    int aCalls = 0;
    int bCalls = 0;
    selfProxy(&a)->performAfterDelay(0.1, [&] { ++aCalls; });
    selfProxy(&b)->performAfterDelay(0.1, [&] { ++bCalls; });
    selfProxy(&a)->cancelPreviousPerformRequests();
    clock.advance(0.2);
    EXPECT_EQ(aCalls, 0);
    EXPECT_EQ(bCalls, 1);
}

TEST(TNWeakProxy, HelpersAnswerNothingWithoutALiveObject)
{
    EXPECT_EQ(selfProxy(nullptr), nullptr);
    auto shared = std::make_shared<int>(1);
    ObserverOwner owner(shared);
    auto proxy = selfProxy(owner);
    ASSERT_TRUE(proxy);
    EXPECT_EQ(selfProxy(shared), proxy);
    shared.reset();
    EXPECT_EQ(selfProxy(owner), nullptr);
    EXPECT_EQ(cancelProxy(owner), nullptr);
}

} // namespace
