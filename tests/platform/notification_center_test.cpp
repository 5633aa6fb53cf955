#include <kalvo/platform/notificationcenter.h>

#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace kalvo;

namespace {

const QString kPing = QStringLiteral("Ping");
const QString kPong = QStringLiteral("Pong");

TEST(NotificationCenter, DeliversByNameWithSenderAndUserInfo)
{
    NotificationCenter center;
    int sender = 0;
    Notification seen;
    int calls = 0;
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &n) {
        seen = n;
        ++calls;
    });
    center.post(kPong);
    EXPECT_EQ(calls, 0);
    center.post(kPing, &sender, {{QStringLiteral("count"), 3}});
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(seen.name, kPing);
    EXPECT_EQ(seen.object, &sender);
    EXPECT_EQ(seen.userInfo.value(QStringLiteral("count")).toInt(), 3);
}

TEST(NotificationCenter, SenderFilterAndCatchAllObservers)
{
    NotificationCenter center;
    int a = 0, b = 0;
    std::string log;
    center.addObserver(nullptr, kPing, &a, [&](const Notification &) { log += "a"; });
    center.addObserver(nullptr, QString(), nullptr, [&](const Notification &n) { log += n.name == kPing ? "*" : "+"; });
    center.post(kPing, &a);
    center.post(kPing, &b);
    center.post(kPong);
    EXPECT_EQ(log, "a**+");
}

TEST(NotificationCenter, ObserversRunInRegistrationOrder)
{
    NotificationCenter center;
    std::string log;
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { log += '1'; });
    center.addObserver(nullptr, QString(), nullptr, [&](const Notification &) { log += '2'; });
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { log += '3'; });
    center.post(kPing);
    EXPECT_EQ(log, "123");
}

TEST(NotificationCenter, QObjectOwnerRemovesItsObserversWhenDestroyed)
{
    NotificationCenter center;
    int calls = 0;
    auto *owner = new QObject;
    center.addObserver(owner, kPing, nullptr, [&](const Notification &) { ++calls; });
    center.addObserver(owner, kPong, nullptr, [&](const Notification &) { ++calls; });
    center.post(kPing);
    EXPECT_EQ(center.observerCount(), 2);
    delete owner;
    EXPECT_EQ(center.observerCount(), 0);
    center.post(kPing);
    center.post(kPong);
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, SharedOwnerIsNeverCalledAfterItExpired)
{
    NotificationCenter center;
    auto owner = std::make_shared<int>(1);
    int calls = 0;
    center.addObserver(owner, kPing, nullptr, [&](const Notification &) { ++calls; });
    center.post(kPing);
    owner.reset();
    center.post(kPing);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount(), 0) << "expired owners are dropped on the next post";
}

TEST(NotificationCenter, RemoveByIdAndByOwner)
{
    NotificationCenter center;
    QObject owner;
    int calls = 0;
    const ObserverId first = center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { ++calls; });
    center.addObserver(&owner, kPing, nullptr, [&](const Notification &) { ++calls; });
    center.addObserver(&owner, kPong, nullptr, [&](const Notification &) { ++calls; });
    EXPECT_NE(first, 0u);
    center.removeObserver(first);
    center.removeObserver(first); // twice is harmless
    center.removeObservers(&owner);
    center.post(kPing);
    center.post(kPong);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, ObserverRemovedDuringAPostIsNotCalledAfterwards)
{
    NotificationCenter center;
    ObserverId second = 0;
    std::string log;
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) {
        log += '1';
        center.removeObserver(second);
    });
    second = center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { log += '2'; });
    center.post(kPing);
    center.post(kPing);
    EXPECT_EQ(log, "11");
}

TEST(NotificationCenter, OwnerDestroyedByAnEarlierObserverIsSkipped)
{
    NotificationCenter center;
    auto *owner = new QObject;
    bool ownerCalled = false;
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { delete owner; });
    center.addObserver(owner, kPing, nullptr, [&](const Notification &) { ownerCalled = true; });
    center.post(kPing);
    EXPECT_FALSE(ownerCalled);
}

TEST(NotificationCenter, ObserverAddedDuringAPostHearsTheNextOne)
{
    NotificationCenter center;
    int late = 0;
    bool added = false;
    center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) {
        if (!added) {
            added = true;
            center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { ++late; });
        }
    });
    center.post(kPing);
    EXPECT_EQ(late, 0);
    center.post(kPing);
    EXPECT_EQ(late, 1);
}

TEST(NotificationCenter, ObserverMayPostAgainAndRemoveItself)
{
    NotificationCenter center;
    ObserverId self = 0;
    std::string log;
    self = center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) {
        log += 'p';
        center.removeObserver(self);
        center.post(kPong);
    });
    center.addObserver(nullptr, kPong, nullptr, [&](const Notification &) { log += 'q'; });
    center.post(kPing);
    center.post(kPing);
    EXPECT_EQ(log, "pq");
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrationsAreSafe)
{
    NotificationCenter center;
    std::atomic<int> calls{0};
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop)
            center.post(kPing);
    });
    for (int i = 0; i < 2000; ++i) {
        const ObserverId id = center.addObserver(nullptr, kPing, nullptr, [&](const Notification &) { ++calls; });
        center.removeObserver(id);
    }
    stop = true;
    poster.join();
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, MissingHandlerIsRefused)
{
    NotificationCenter center;
    EXPECT_EQ(center.addObserver(nullptr, kPing, nullptr, {}), 0u);
    EXPECT_EQ(center.observerCount(), 0);
}

} // namespace
