#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/routing/routercenter.h>

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo;

namespace {

struct Service
{
    static constexpr const char *tnProtocolName = "RoutingTestService";
    virtual ~Service() = default;
    virtual QString who() const = 0;
};

class FirstService : public TNRoutableObject, public Service
{
public:
    QString who() const override { return QStringLiteral("first"); }
};

class SecondService : public TNRoutableObject, public Service
{
public:
    QString who() const override { return QStringLiteral("second"); }
};

// A class with its own shared instance.
class SharedService : public TNRoutableObject, public Service
{
public:
    static std::shared_ptr<SharedService> shared()
    {
        static auto instance = std::make_shared<SharedService>();
        return instance;
    }
    QString who() const override { return QStringLiteral("shared"); }
};

class DelegateService : public TNRoutableObject, public Service
{
public:
    QString who() const override { return QStringLiteral("delegate"); }
};

class SingletonDelegate : public TNRouterCenterDelegate
{
public:
    int asked = 0;
    std::shared_ptr<TNRoutableObject> routerCenterSingletonForProtocol(TNRouterCenter &, const TNProtocol &) override
    {
        ++asked;
        return std::make_shared<DelegateService>();
    }
};

// Counts "TNRouterReady" posts for one protocol.
struct ReadyCounter
{
    explicit ReadyCounter(const TNProtocol &protocol)
    {
        id = NotificationCenter::defaultCenter().addObserver(
            nullptr, TNRouterReady, protocol.identity(), [this](const Notification &n) {
                ++count;
                name = n.userInfo.value(QStringLiteral("protocol")).toString();
            });
    }
    ~ReadyCounter() { NotificationCenter::defaultCenter().removeObserver(id); }
    ObserverId id = 0;
    int count = 0;
    QString name;
};

TEST(ProtocolRegistration, FirstClassWinsAndTheReadyNotificationIsPostedOnce)
{
    ManualClock clock;
    auto center = TNRouterCenter::initWithID(QStringLiteral("RegistrationTests"));
    const TNProtocol service = TNProtocol::of<Service>();
    ReadyCounter ready(service);

    center->registerProtocol<Service>(TNClass::make<FirstService, Service>(QStringLiteral("FirstService")));
    EXPECT_EQ(ready.count, 0); // posted when the loop is idle, not during the call
    center->registerProtocol<Service>(TNClass::make<SecondService, Service>(QStringLiteral("SecondService")));
    clock.runPending();
    EXPECT_EQ(ready.count, 1);
    EXPECT_EQ(ready.name, QStringLiteral("RoutingTestService"));
    EXPECT_EQ(center->classForProtocol(service).name(), QStringLiteral("FirstService"));

    auto one = center->objectForProtocol<Service>();
    auto two = center->objectForProtocol<Service>();
    ASSERT_TRUE(one && two);
    EXPECT_NE(one, two); // a new instance each time
    EXPECT_EQ(one->who(), QStringLiteral("first"));

    // Another centre has its own map and its own first registration.
    auto other = TNRouterCenter::initWithID(QStringLiteral("RegistrationTests2"));
    other->registerProtocol<Service>(TNClass::make<SecondService, Service>(QStringLiteral("SecondService")));
    clock.runPending();
    EXPECT_EQ(ready.count, 2);
    EXPECT_EQ(other->objectForProtocol<Service>()->who(), QStringLiteral("second"));

    // Null arguments are ignored; an unknown protocol has no class.
    center->registerProtocol(TNProtocol(), TNClass::make<FirstService>(QStringLiteral("FirstService")));
    center->registerProtocol(TNProtocol(QStringLiteral("RoutingTestNothing")), TNClass());
    EXPECT_TRUE(center->classForProtocol(TNProtocol(QStringLiteral("RoutingTestNothing"))).isNull());
    EXPECT_EQ(center->objectForProtocol(TNProtocol(QStringLiteral("RoutingTestUnknown"))), nullptr);

    QStringList names;
    center->registerProtocols({TNProtocol(QStringLiteral("RoutingTestA")), TNProtocol(QStringLiteral("RoutingTestB"))},
        TNClass::make<FirstService>(QStringLiteral("FirstService")));
    center->enumerateProtocolsAndClassesUsingBlock([&](const TNProtocol &p, const TNClass &, bool *stop) {
        names << p.name();
        *stop = names.size() == 2;
    });
    EXPECT_EQ(names, (QStringList {QStringLiteral("RoutingTestService"), QStringLiteral("RoutingTestA")}));
}

TEST(ProtocolRegistration, OffTheMainThreadTheCallHopsToTheMainThread)
{
    ManualClock clock;
    auto center = TNRouterCenter::initWithID(QStringLiteral("HopTests"));
    const TNProtocol protocol(QStringLiteral("RoutingTestHop"));
    std::thread worker(
        [&] { center->registerProtocol(protocol, TNClass::make<FirstService>(QStringLiteral("FirstService"))); });
    worker.join();
    EXPECT_TRUE(center->classForProtocol(protocol).isNull()); // not before the main thread ran it
    EXPECT_TRUE(clock.runUntil([&] { return !center->classForProtocol(protocol).isNull(); }));

    // A centre gone before the hop arrives: nothing happens.
    auto doomed = TNRouterCenter::initWithID(QStringLiteral("HopTests2"));
    std::thread late(
        [&] { doomed->registerProtocol(protocol, TNClass::make<FirstService>(QStringLiteral("FirstService"))); });
    late.join();
    doomed.reset();
    clock.runPending();
    SUCCEED();
}

TEST(ProtocolRegistration, SuccessActionsRunOnceWhenTheClassArrives)
{
    ManualClock clock;
    auto center = TNRouterCenter::initWithID(QStringLiteral("ActionTests"));
    const TNProtocol protocol(QStringLiteral("RoutingTestActions"));
    int waiting = 0, removed = 0, replaced = 0, late = 0;
    EXPECT_TRUE(center->registerSuccessAction([&] { ++waiting; }, protocol));
    EXPECT_TRUE(center->registerSuccessAction([&] { ++removed; }, protocol, QStringLiteral("gone")));
    EXPECT_TRUE(center->registerSuccessAction([&] { ++replaced; }, protocol, QStringLiteral("same")));
    EXPECT_TRUE(center->registerSuccessAction([&] { replaced += 10; }, protocol, QStringLiteral("same")));
    center->removeSuccessActionForProtocol(protocol, QStringLiteral("gone"));
    EXPECT_EQ(center->pendingSuccessActionCount(protocol), 2);
    EXPECT_FALSE(center->registerSuccessAction(nullptr, protocol));
    EXPECT_FALSE(center->registerSuccessAction([] {}, TNProtocol()));

    center->registerProtocol(protocol, TNClass::make<FirstService>(QStringLiteral("FirstService")));
    EXPECT_EQ(waiting, 0); // asynchronously on the main thread
    EXPECT_EQ(center->pendingSuccessActionCount(protocol), 0);
    clock.runPending();
    EXPECT_EQ(waiting, 1);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(replaced, 10);

    // Later registrations of the protocol do not run them again.
    center->registerProtocol(protocol, TNClass::make<SecondService>(QStringLiteral("SecondService")));
    clock.runPending();
    EXPECT_EQ(waiting, 1);

    // With the class there, an action runs at once and the answer is false.
    EXPECT_FALSE(center->registerSuccessAction([&] { ++late; }, protocol));
    EXPECT_EQ(late, 1);
}

TEST(ProtocolRegistrationDeathTest, ClassNotConformingToRoutableObjectStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto center = TNRouterCenter::initWithID(QStringLiteral("DeathTests"));
            center->registerProtocol(
                TNProtocol(QStringLiteral("RoutingTestDeath")), TNClass(QStringLiteral("PlainThing"), false, {}, {}));
        },
        "class:PlainThing need conforms To TNRoutableObject protocol");
}

TEST(Singletons, RegisteredThenClassSharedThenDelegate)
{
    auto center = TNRouterCenter::initWithID(QStringLiteral("SingletonTests"));
    const TNProtocol protocol = TNProtocol::of<Service>();
    auto delegate = std::make_shared<SingletonDelegate>();
    center->setDelegate(delegate);

    // Nothing registered: the delegate answers.
    auto fromDelegate = center->singletonForProtocol<Service>();
    ASSERT_TRUE(fromDelegate);
    EXPECT_EQ(fromDelegate->who(), QStringLiteral("delegate"));
    EXPECT_EQ(delegate->asked, 1);

    // A class with a shared instance: that instance, every time.
    {
        ManualClock clock;
        center->registerProtocol<Service>(TNClass::make<SharedService, Service>(QStringLiteral("SharedService")));
        clock.runPending();
    }
    EXPECT_EQ(
        center->singletonForProtocol(protocol), std::static_pointer_cast<TNRoutableObject>(SharedService::shared()));
    EXPECT_EQ(delegate->asked, 1);

    // A registered singleton comes first.
    auto singleton = std::make_shared<SecondService>();
    center->registerSingleton(singleton, protocol);
    EXPECT_EQ(center->singletonForProtocol<Service>().get(), static_cast<Service *>(singleton.get()));
    int visited = 0;
    center->enumerateSingletonsUsingBlock([&](const TNProtocol &p, const std::shared_ptr<TNRoutableObject> &s, bool *) {
        ++visited;
        EXPECT_EQ(p, protocol);
        EXPECT_EQ(s, singleton);
    });
    EXPECT_EQ(visited, 1);
    center->removeSingletonForProtocol(protocol);
    EXPECT_EQ(center->singletonForProtocol<Service>()->who(), QStringLiteral("shared"));

    // Without delegate and class: null.
    delegate.reset();
    EXPECT_EQ(center->singletonForProtocol(TNProtocol(QStringLiteral("RoutingTestNoSingleton"))), nullptr);
    EXPECT_EQ(center->singletonForProtocol(TNProtocol()), nullptr);
}

// ---- Access conflicts ----

class AccessConflicts : public testing::Test
{
protected:
    void SetUp() override
    {
        TNRouterCenter::setAccessConflictLogSink([this](const QString &report) { reports << report; });
    }
    void TearDown() override { TNRouterCenter::setAccessConflictLogSink(nullptr); }
    QStringList reports;
};

const QString kTop = QStringLiteral("╔══════════════════════════════════════════════════════════════════════════════╗");
const QString kSeparator
    = QStringLiteral("╠══════════════════════════════════════════════════════════════════════════════╣");
const QString kBottom
    = QStringLiteral("╚══════════════════════════════════════════════════════════════════════════════╝");

TEST_F(AccessConflicts, GlobalThenMeetingLogsTheFramedReportOnce)
{
    const TNProtocol protocol(QStringLiteral("RoutingTestConflict"));
    auto meeting = TNRouterCenter::initWithID(QStringLiteral("Meeting"));
    TNRouterCenter::shared()->singletonForProtocol(protocol);
    TNRouterCenter::shared()->singletonForProtocol(protocol); // same centre: fine
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(meeting->singletonForProtocol(protocol), nullptr); // the access proceeds
    ASSERT_EQ(reports.size(), 1);

    const QStringList lines = reports.front().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 19);
    EXPECT_TRUE(reports.front().endsWith(QLatin1Char('\n')));
    EXPECT_EQ(lines[0], QString());
    EXPECT_EQ(lines[1], kTop);
    EXPECT_EQ(
        lines[2], QStringLiteral("║  ❌ RouterCenter Protocol Access Conflict Detected!                          ║"));
    EXPECT_EQ(lines[3], kSeparator);
    EXPECT_EQ(lines[4], QStringLiteral("║  Protocol: <RoutingTestConflict>"));
    EXPECT_EQ(lines[5], kSeparator);
    EXPECT_EQ(
        lines[6], QStringLiteral("║  FIRST ACCESS (recorded):                                                    ║"));
    EXPECT_EQ(lines[7], QStringLiteral("║    RouterCenter: [Global]"));
    EXPECT_EQ(lines[8], QStringLiteral("║    Method: singletonForProtocol:"));
    EXPECT_EQ(lines[9], QStringLiteral("║    Call Stack:"));
    qsizetype i = 10;
    while (i < lines.size() && lines[i].startsWith(QStringLiteral("║      ")))
        ++i;
    EXPECT_GT(i, 10); // the first access's call stack was captured
    ASSERT_EQ(lines.size(), i + 8);
    EXPECT_EQ(lines[i], kSeparator);
    EXPECT_EQ(lines[i + 1],
        QStringLiteral("║  CURRENT ACCESS (conflict):                                                  ║"));
    EXPECT_EQ(lines[i + 2], QStringLiteral("║    RouterCenter: [Meeting]"));
    EXPECT_EQ(lines[i + 3], QStringLiteral("║    Method: singletonForProtocol:"));
    EXPECT_EQ(lines[i + 4], kSeparator);
    EXPECT_EQ(lines[i + 5],
        QStringLiteral("║  💡 SUGGESTION: Use TNSharedFor / TNEventPosterFor instead of TNMTSharedFor  ║"));
    EXPECT_EQ(lines[i + 6], kBottom);
    EXPECT_EQ(lines[i + 7], QString());
    // The emoji lines are as wide on screen (each emoji takes two columns).
    for (const QString &framed : {kTop, kSeparator, kBottom, lines[6], lines[i + 1]})
        EXPECT_EQ(framed.size(), 80) << qPrintable(framed);
}

struct Probe
{
    static constexpr const char *tnProtocolName = "RoutingTestConflictEvents";
    virtual ~Probe() = default;
    virtual void ping() { }
};

struct ProbeTarget : QObject, Probe
{
};

TEST_F(AccessConflicts, EventAccessIsRecordedSeparatelyWithItsMethods)
{
    auto meeting = TNRouterCenter::initWithID(QStringLiteral("Meeting"));
    auto chat = TNRouterCenter::initWithID(QStringLiteral("Chat"));
    ProbeTarget target;
    meeting->posterForProtocol<Probe>();
    // A singleton access does not conflict with the event record.
    TNRouterCenter::shared()->singletonForProtocol(TNProtocol::of<Probe>());
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_TRUE(TNRouterCenter::shared()->registerTartget<Probe>(&target)); // proceeds
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains(QStringLiteral("║    Method: posterForProtocol:\n")));
    EXPECT_TRUE(
        reports[0].contains(QStringLiteral("║    RouterCenter: [Global]\n║    Method: registerTarget:forProtocol:\n")));
    EXPECT_TRUE(reports[0].contains(
        QStringLiteral("║  💡 SUGGESTION: Use TNMTSharedFor / TNMTEventPosterFor instead of TNSharedFor║\n")));

    // Another first centre: its ID in the suggestion; an empty ID reads "Unknown".
    const TNProtocol other(QStringLiteral("RoutingTestConflictOther"));
    chat->singletonForProtocol(other);
    TNRouterCenter::initWithID(QString())->singletonForProtocol(other);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reports[1].contains(QStringLiteral("║    RouterCenter: [Unknown]\n")));
    EXPECT_TRUE(reports[1].contains(
        QStringLiteral("║  💡 SUGGESTION: Protocol was first accessed via [Chat] RouterCenter            ║\n")));
    TNRouterCenter::shared()->unregisterTartget(&target);
}

} // namespace
