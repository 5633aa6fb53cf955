#include <kalvo/platform/manualclock.h>
#include <kalvo/routing/callbackimpl.h>

#include <QObject>

#include <gtest/gtest.h>

#include <vector>

using namespace kalvo;

namespace {

struct Call
{
    QString key;
    QVariant param;
    QVariant error;
    double at = 0;
};

TNCallbackImpl::Completion recordInto(std::vector<Call> &calls)
{
    return [&calls](const QString &key, const QVariant &param, const QVariant &error) {
        calls.push_back({key, param, error, kalvo::now()});
    };
}

TEST(CallbackTimeouts, TimeoutOfTwoFiresOnceBetweenTwoAndThreeSeconds)
{
    ManualClock clock;
    TNCallbackImpl callbacks;
    std::vector<Call> calls;
    callbacks.addCallBackKey(QStringLiteral("join"), QStringLiteral("req-1"), recordInto(calls),
        {.timeout = 2, .timeoutError = QStringLiteral("late"), .timeoutParam = 7});
    EXPECT_TRUE(callbacks.isCheckingTimeouts());
    clock.advance(1.99);
    EXPECT_TRUE(calls.empty());
    clock.advance(1.01);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_GE(calls[0].at, 2.0);
    EXPECT_LE(calls[0].at, 3.0);
    EXPECT_EQ(calls[0].key, QStringLiteral("req-1"));
    EXPECT_EQ(calls[0].param, QVariant(7));
    EXPECT_EQ(calls[0].error, QVariant(QStringLiteral("late")));
    EXPECT_FALSE(callbacks.hasCallbackByKey(QStringLiteral("join")));
    // The check stops with nothing left to time out.
    EXPECT_FALSE(callbacks.isCheckingTimeouts());
    clock.advance(10);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(CallbackTimeouts, RunningCheckPicksUpLaterCallbacksWithinOneInterval)
{
    ManualClock clock;
    TNCallbackImpl callbacks;
    std::vector<Call> first, second;
    callbacks.addCallBackKey(QStringLiteral("a"), QStringLiteral("1"), recordInto(first), {.timeout = 5});
    clock.advance(0.5);
    callbacks.addCallBackKey(QStringLiteral("b"), QStringLiteral("2"), recordInto(second), {.timeout = 2});
    clock.advance(4);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_GE(second[0].at - 0.5, 2.0);
    EXPECT_LE(second[0].at - 0.5, 3.0);
    EXPECT_TRUE(first.empty());
    EXPECT_TRUE(callbacks.isCheckingTimeouts());
    clock.advance(1);
    EXPECT_EQ(first.size(), 1u);
    EXPECT_FALSE(callbacks.isCheckingTimeouts());

    // Without a time-out nothing is checked and nothing fires.
    std::vector<Call> patient;
    callbacks.addCallBackKey(QStringLiteral("c"), QStringLiteral("3"), recordInto(patient));
    EXPECT_FALSE(callbacks.isCheckingTimeouts());
    clock.advance(100);
    EXPECT_TRUE(patient.empty());
    EXPECT_TRUE(callbacks.hasCallbackByKey(QStringLiteral("c")));
}

TEST(CallbackTimeouts, CallbackWhoseOwnerDiedTimesOutWithoutBeingCalled)
{
    ManualClock clock;
    TNCallbackImpl callbacks;
    std::vector<Call> calls;
    auto *owner = new QObject;
    auto sharedOwner = std::make_shared<int>(1);
    callbacks.addCallBackKey(
        QStringLiteral("k"), QStringLiteral("q"), recordInto(calls), {.timeout = 1, .owner = owner});
    callbacks.addCallBackKey(
        QStringLiteral("k"), QStringLiteral("s"), recordInto(calls), {.timeout = 1, .owner = sharedOwner});
    callbacks.addCallBackKey(QStringLiteral("k"), QStringLiteral("alive"), recordInto(calls), {.timeout = 1});
    delete owner;
    sharedOwner.reset();
    clock.advance(2);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].key, QStringLiteral("alive"));
    EXPECT_EQ(callbacks.callbackCount(), 0);
    EXPECT_FALSE(callbacks.isCheckingTimeouts());
}

TEST(CallbackTimeouts, DestroyedRegistryCancelsItsCheck)
{
    ManualClock clock;
    std::vector<Call> calls;
    {
        TNCallbackImpl callbacks;
        callbacks.addCallBackKey(QStringLiteral("k"), QStringLiteral("x"), recordInto(calls), {.timeout = 1});
    }
    clock.advance(5);
    EXPECT_TRUE(calls.empty());
}

TEST(Callbacks, CallBackByKeyTakesAllAtOnce)
{
    ManualClock clock;
    TNCallbackImpl callbacks;
    std::vector<Call> calls;
    callbacks.addCallBackKey(QStringLiteral("join"), QStringLiteral("own-1"), recordInto(calls), {.timeout = 3});
    callbacks.addCallBackKey(
        QStringLiteral("join"), QStringLiteral("own-2"), [&](const QString &key, const QVariant &, const QVariant &) {
            calls.push_back({key, {}, {}, 0});
            // Added during the answer: waits for the next one.
            callbacks.addCallBackKey(QStringLiteral("join"), QStringLiteral("own-3"), recordInto(calls));
        });
    callbacks.addCallBackKey(QString(), QStringLiteral("ignored"), recordInto(calls));
    callbacks.addCallBackKey(QStringLiteral("null"), QStringLiteral("ignored"), nullptr);
    EXPECT_FALSE(callbacks.hasCallbackByKey(QStringLiteral("null")));

    EXPECT_EQ(callbacks.callBackByKey(QStringLiteral("join"), QString(), 1, QVariant()), 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].key, QStringLiteral("own-1")); // no key given: their own
    EXPECT_EQ(calls[0].param, QVariant(1));
    EXPECT_EQ(calls[1].key, QStringLiteral("own-2"));
    EXPECT_EQ(callbacks.callbackCount(), 1);

    EXPECT_EQ(callbacks.callBackByKey(QStringLiteral("join"), QStringLiteral("given"), 2, QStringLiteral("e")), 1);
    EXPECT_EQ(calls.back().key, QStringLiteral("given"));
    EXPECT_EQ(calls.back().error, QVariant(QStringLiteral("e")));
    EXPECT_EQ(callbacks.callBackByKey(QStringLiteral("join"), QString(), {}, {}), 0);

    // The answered time-out callback never fires later.
    clock.advance(5);
    EXPECT_EQ(calls.size(), 3u);
}

TEST(Callbacks, RemovalByKeyAndIdentifier)
{
    TNCallbackImpl callbacks;
    std::vector<Call> calls;
    callbacks.addCallBackKey(
        QStringLiteral("k"), QStringLiteral("a"), recordInto(calls), {.identifier = QStringLiteral("1")});
    callbacks.addCallBackKey(
        QStringLiteral("k"), QStringLiteral("b"), recordInto(calls), {.identifier = QStringLiteral("2")});
    callbacks.addCallBackKey(QStringLiteral("other"), QStringLiteral("c"), recordInto(calls));
    callbacks.removeCallbakByKey(QStringLiteral("k"), QStringLiteral("1"));
    EXPECT_EQ(callbacks.callBackByKey(QStringLiteral("k"), QString(), {}, {}), 1);
    EXPECT_EQ(calls.back().key, QStringLiteral("b"));
    callbacks.removeCallbakByKey(QStringLiteral("other"));
    EXPECT_FALSE(callbacks.hasCallbackByKey(QStringLiteral("other")));
    callbacks.removeCallbakByKey(QStringLiteral("missing"), QStringLiteral("x"));
    EXPECT_EQ(callbacks.callbackCount(), 0);
}

TEST(Listeners, PerTargetUnderEveryTypeKey)
{
    TNCallbackImpl callbacks;
    std::vector<QString> heard;
    auto shared = std::make_shared<int>(0);
    auto *qobject = new QObject;
    auto listen = [&](const char *who) {
        return [&heard, who](const QString &key, const QVariant &param, const QVariant &) {
            heard.push_back(QString::fromLatin1(who) + key + param.toString());
        };
    };
    callbacks.addListenerByTarget(shared, QStringLiteral("presence"), listen("s"));
    callbacks.addListenCallbakByTarget(qobject, QStringLiteral("presence"), listen("q"));
    callbacks.addListenerByTarget(shared, QStringLiteral("typing"), listen("s"));
    EXPECT_EQ(callbacks.callbackListenByTypekey(QStringLiteral("presence"), QStringLiteral(":"), 1, {}), 2);
    EXPECT_EQ(heard, (std::vector<QString> {QStringLiteral("s:1"), QStringLiteral("q:1")}));

    // Adding again for the same target and type replaces.
    callbacks.addListenerByTarget(shared, QStringLiteral("presence"), listen("S"));
    EXPECT_EQ(callbacks.listenerCount(QStringLiteral("presence")), 2);

    // A destroyed QObject's listeners go at once; removing a target clears
    // every type key and drops the empty ones.
    delete qobject;
    EXPECT_EQ(callbacks.listenerCount(QStringLiteral("presence")), 1);
    callbacks.removeListenCallbakByTarget(shared);
    EXPECT_EQ(callbacks.listenerCount(QStringLiteral("presence")), 0);
    EXPECT_EQ(callbacks.listenerCount(QStringLiteral("typing")), 0);
    heard.clear();
    EXPECT_EQ(callbacks.callbackListenByTypekey(QStringLiteral("typing"), QString(), {}, {}), 0);
    EXPECT_TRUE(heard.empty());
}

TEST(Listeners, ExpiredSharedTargetIsNeverCalledAndListenersMayRemoveOthers)
{
    TNCallbackImpl callbacks;
    int calls = 0;
    auto gone = std::make_shared<int>(0);
    auto first = std::make_shared<int>(1);
    auto second = std::make_shared<int>(2);
    callbacks.addListenerByTarget(
        gone, QStringLiteral("t"), [&](const QString &, const QVariant &, const QVariant &) { ++calls; });
    callbacks.addListenerByTarget(first, QStringLiteral("t"), [&](const QString &, const QVariant &, const QVariant &) {
        ++calls;
        callbacks.removeListenCallbakByTarget(second);
    });
    callbacks.addListenerByTarget(
        second, QStringLiteral("t"), [&](const QString &, const QVariant &, const QVariant &) { calls += 100; });
    gone.reset();
    EXPECT_EQ(callbacks.callbackListenByTypekey(QStringLiteral("t"), QString(), {}, {}), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(callbacks.listenerCount(QStringLiteral("t")), 1);
}

} // namespace
