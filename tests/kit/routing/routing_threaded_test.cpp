// Registries shared between threads: registration, unregistration, posting,
// access records and protocol interning at the same time. Built again for
// the ThreadSanitizer run.
#include <kalvo/platform/manualclock.h>
#include <kalvo/routing/logger.h>
#include <kalvo/routing/routercenter.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace kalvo;

namespace {

struct Counted
{
    static constexpr const char *tnProtocolName = "RoutingThreadedCounted";
    virtual ~Counted() = default;
    virtual void hit() = 0;
};

class Counter : public Counted
{
public:
    void hit() override { hits.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int> hits {0};
};

constexpr int kThreads = 4;
constexpr int kPerThread = 150;

TEST(RoutingThreads, RegisterPostAndUnregisterConcurrently)
{
    auto registry = TNEventRegistry::create();
    std::vector<std::vector<std::shared_ptr<Counter>>> kept(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::shared_ptr<Counter>> mine;
            for (int i = 0; i < kPerThread; ++i) {
                auto counter = std::make_shared<Counter>();
                EXPECT_TRUE(registry->registerTartget<Counted>(counter, nullptr, i % 7));
                mine.push_back(counter);
                registry->posterForProtocol<Counted>().post(&Counted::hit);
            }
            // Half unregister explicitly, a quarter expire, the rest stay.
            for (int i = 0; i < kPerThread; ++i) {
                if (i % 2 == 0)
                    registry->unregisterTartget(mine[static_cast<std::size_t>(i)], TNProtocol::of<Counted>());
                else if (i % 4 == 1)
                    mine[static_cast<std::size_t>(i)].reset();
                registry->posterForProtocol<Counted>().post(&Counted::hit);
            }
            for (int i = 3; i < kPerThread; i += 4)
                kept[static_cast<std::size_t>(t)].push_back(mine[static_cast<std::size_t>(i)]);
        });
    }
    for (auto &thread : threads)
        thread.join();

    std::size_t alive = 0;
    for (const auto &list : kept)
        alive += list.size();
    EXPECT_EQ(registry->eventTargetsForProtocol(TNProtocol::of<Counted>()).size(), alive);
    EXPECT_EQ(static_cast<std::size_t>(registry->count()), alive);
    for (const auto &list : kept) {
        for (const auto &counter : list)
            counter->hits.store(0);
    }
    registry->posterForProtocol<Counted>().post(&Counted::hit);
    for (const auto &list : kept) {
        for (const auto &counter : list)
            EXPECT_EQ(counter->hits.load(), 1);
    }
}

TEST(RoutingThreads, TargetsUnregisterThemselvesWhileOtherThreadsPost)
{
    auto registry = TNEventRegistry::create();
    struct SelfRemoving : Counted
    {
        std::weak_ptr<TNEventRegistry> registry;
        std::weak_ptr<SelfRemoving> self;
        std::atomic<int> hits {0};
        void hit() override
        {
            if (hits.fetch_add(1) == 2) {
                if (auto r = registry.lock())
                    r->unregisterTartget(self.lock(), TNProtocol::of<Counted>());
            }
        }
    };
    std::vector<std::shared_ptr<SelfRemoving>> targets;
    for (int i = 0; i < 50; ++i) {
        auto target = std::make_shared<SelfRemoving>();
        target->registry = registry;
        target->self = target;
        registry->registerTartget<Counted>(target);
        targets.push_back(target);
    }
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 20; ++i)
                registry->posterForProtocol<Counted>().post(&Counted::hit);
        });
    }
    for (auto &thread : posters)
        thread.join();
    EXPECT_EQ(registry->count(), 0);
    for (const auto &target : targets)
        EXPECT_GE(target->hits.load(), 3);
}

TEST(RoutingThreads, AccessRecordsAndProtocolNamesAcrossThreads)
{
    std::mutex mutex;
    int reports = 0;
    TNRouterCenter::setAccessConflictLogSink([&](const QString &) {
        std::lock_guard lock(mutex);
        ++reports;
    });
    std::vector<std::shared_ptr<TNRouterCenter>> centers;
    for (int t = 0; t < kThreads; ++t)
        centers.push_back(TNRouterCenter::initWithID(QStringLiteral("Threaded%1").arg(t)));
    std::vector<const void *> identities(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            identities[static_cast<std::size_t>(t)] = TNProtocol(QStringLiteral("RoutingThreadedShared")).identity();
            for (int i = 0; i < 20; ++i) {
                const TNProtocol protocol(QStringLiteral("RoutingThreadedAccess%1").arg(i));
                centers[static_cast<std::size_t>(t)]->singletonForProtocol(protocol);
                centers[static_cast<std::size_t>(t)]->posterForProtocol(protocol);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    TNRouterCenter::setAccessConflictLogSink(nullptr);
    for (const void *identity : identities)
        EXPECT_EQ(identity, identities.front());
    // Per protocol and kind, every centre but the first to record reports once.
    EXPECT_EQ(reports, 20 * 2 * (kThreads - 1));
}

TEST(RoutingThreads, ProtocolRegistrationFromManyThreadsKeepsTheFirstArrival)
{
    ManualClock clock;
    struct Impl : TNRoutableObject
    {
    };
    auto center = TNRouterCenter::initWithID(QStringLiteral("ThreadedRegistration"));
    const TNProtocol protocol(QStringLiteral("RoutingThreadedRegistered"));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            center->registerProtocol(protocol, TNClass::make<Impl>(QStringLiteral("Impl%1").arg(t)));
            TNLogger::setLogger(std::make_shared<int>(t));
            (void)TNLogger::getLogger<int>();
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_TRUE(clock.runUntil([&] { return !center->classForProtocol(protocol).isNull(); }));
    clock.runPending();
    EXPECT_TRUE(center->classForProtocol(protocol).name().startsWith(QStringLiteral("Impl")));
    EXPECT_TRUE(TNLogger::getLogger<int>());
    TNLogger::clearLogger();
}

} // namespace
