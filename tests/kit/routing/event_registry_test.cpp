#include <kalvo/collections/collectionsupport.h>
#include <kalvo/routing/eventregistry.h>
#include <kalvo/routing/routercenter.h>

#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace kalvo;

namespace {

struct Events
{
    static constexpr const char *tnProtocolName = "RoutingTestEvents";
    virtual ~Events() = default;
    virtual void ping(std::string &log) = 0;
};

// An optional part of the protocol.
struct EventAnswers
{
    virtual ~EventAnswers() = default;
    virtual bool answer(int question) = 0;
};

struct OtherEvents
{
    static constexpr const char *tnProtocolName = "RoutingTestOtherEvents";
    virtual ~OtherEvents() = default;
    virtual void other(std::string &log) = 0;
};

class Recorder : public Events
{
public:
    explicit Recorder(std::string name) : name(std::move(name)) { }
    void ping(std::string &log) override
    {
        log += name;
        if (duringPing)
            duringPing();
    }
    std::string name;
    std::function<void()> duringPing;
};

class Answerer : public Recorder, public EventAnswers
{
public:
    Answerer(std::string name, bool reply) : Recorder(std::move(name)), reply(reply) { }
    bool answer(int question) override
    {
        questions += question;
        return reply;
    }
    bool reply;
    int questions = 0;
};

class QtRecorder : public QObject, public Events, public OtherEvents
{
public:
    explicit QtRecorder(std::string name) : name(std::move(name)) { }
    void ping(std::string &log) override { log += name; }
    void other(std::string &log) override { log += "o" + name; }
    std::string name;
};

class Unrelated : public QObject
{
};

std::shared_ptr<Recorder> recorder(const char *name)
{
    return std::make_shared<Recorder>(name);
}

std::string ping(const TNEventPoster &poster)
{
    std::string log;
    poster.post(&Events::ping, log);
    return log;
}

TEST(EventDispatch, PrioritiesRunHighToLowAndDefaultsKeepTheirPlace)
{
    auto registry = TNEventRegistry::create();
    auto a = recorder("A"), b = recorder("b5"), c = recorder("c9"), d = recorder("d5"), e = recorder("E");
    registry->registerTartget<Events>(a);
    registry->registerTartget<Events>(b, nullptr, 5);
    registry->registerTartget<Events>(c, nullptr, 9);
    registry->registerTartget<Events>(d, nullptr, 5);
    registry->registerTartget<Events>(e);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "Ac9b5d5E");

    // The search runs over the whole list, default-priority targets
    // included (they count as the largest priority), so a low priority
    // placed after a trailing default target joins the very end.
    auto low = recorder("L");
    registry->registerTartget<Events>(low, nullptr, -3);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "Ac9b5d5EL");
}

TEST(EventDispatch, RegistrationRules)
{
    auto registry = TNEventRegistry::create();
    auto a = recorder("A");
    auto first = registry->registerTartget<Events>(a, nullptr, 5, 3);
    ASSERT_TRUE(first);
    // The same target again: the existing registration, unchanged.
    auto again = registry->registerTartget<Events>(a, nullptr, 9, 4);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->priority(), 5);
    EXPECT_EQ(again->tag(), 3);
    EXPECT_EQ(registry->count(), 1);

    // Not implementing the protocol, or null: no registration.
    Unrelated unrelated;
    EXPECT_EQ(registry->registerTartget<Events>(&unrelated), nullptr);
    EXPECT_EQ(registry->registerTartget<Events>(std::shared_ptr<Recorder>()), nullptr);
    EXPECT_EQ(registry->registerTartget<Events>(static_cast<QtRecorder *>(nullptr)), nullptr);

    // One object under two protocols: two registrations, equal only to themselves.
    QtRecorder q("q");
    auto asEvents = registry->registerTartget<Events>(&q);
    auto asOther = registry->registerTartget<OtherEvents>(&q);
    ASSERT_TRUE(asEvents && asOther);
    EXPECT_FALSE(*asEvents == *asOther);
    EXPECT_TRUE(*asEvents == *registry->findEventTargetWithTartget(&q, TNProtocol::of<Events>()));
    EXPECT_EQ(asEvents->targetPointerValue(), reinterpret_cast<quintptr>(static_cast<QObject *>(&q)));
    EXPECT_EQ(registry->count(), 3);

    registry->unregisterTartget(&q);
    EXPECT_EQ(registry->count(), 1);
    EXPECT_FALSE(asEvents->isValid());
    registry->unregisterTartgetByEventTarget(first);
    EXPECT_EQ(registry->count(), 0);
    EXPECT_FALSE(first->isValid());
    EXPECT_TRUE(registry->eventTargetsForProtocol(TNProtocol::of<Events>()).empty());
}

TEST(EventDispatch, ObjectAndTagFilters)
{
    auto registry = TNEventRegistry::create();
    int objectX = 0, objectY = 0;
    auto x = recorder("x"), y = recorder("y"), plain = recorder("p"), tagged = recorder("t");
    registry->registerTartget<Events>(x, &objectX);
    registry->registerTartget<Events>(y, &objectY);
    registry->registerTartget<Events>(plain);
    registry->registerTartget<Events>(tagged, nullptr, TNEventDefaultPriority, 7);

    auto poster = [&] { return registry->posterForProtocol<Events>(); };
    EXPECT_EQ(ping(poster()), "pt");
    EXPECT_EQ(ping(poster().setIgnoreSelfObjectIfNil(true)), "xypt");
    EXPECT_EQ(ping(poster().setObject(&objectX)), "xpt");
    EXPECT_EQ(ping(poster().setObject(&objectY).setIgnoreSelfObjectIfNil(true)), "ypt");
    EXPECT_EQ(ping(poster().setTag(7)), "t");
    EXPECT_EQ(ping(poster().setTag(8)), "");
    EXPECT_EQ(ping(poster().setTag(-5)), "pt"); // negative: no tag filter
}

TEST(EventDispatch, IgnoreSenderSkipsOnlyAnExistingSender)
{
    auto registry = TNEventRegistry::create();
    auto a = recorder("a"), b = recorder("b");
    registry->registerTartget<Events>(a);
    registry->registerTartget<Events>(b);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>().setSender(a)), "ab");
    EXPECT_EQ(ping(registry->posterForProtocol<Events>().setSender(a).setIgnoreSender(true)), "b");

    QtRecorder q("q");
    registry->registerTartget<Events>(&q);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>().setSender(&q).setIgnoreSender(true)), "ab");
}

TEST(EventDispatch, OptionalMessagesAndCallBackWithStop)
{
    auto registry = TNEventRegistry::create();
    auto yes = std::make_shared<Answerer>("y", true);
    auto silent = recorder("s"); // does not implement EventAnswers
    auto no = std::make_shared<Answerer>("n", false);
    auto late = std::make_shared<Answerer>("l", true);
    for (auto target : std::vector<std::shared_ptr<Recorder>> {yes, silent, no, late})
        registry->registerTartget<Events>(target);

    std::string seen;
    auto poster = registry->posterForProtocol<Events>();
    poster.setCallBack([&](const TNEventTarget &target, bool result, bool *stop) {
        auto *events = target.as<Events>();
        seen += static_cast<Recorder *>(events)->name + (result ? "+" : "-");
        if (!result)
            *stop = true;
    });
    poster.post<Events>(&EventAnswers::answer, 42);
    EXPECT_EQ(seen, "y+n-");
    EXPECT_EQ(yes->questions, 42);
    EXPECT_EQ(no->questions, 42);
    EXPECT_EQ(late->questions, 0);

    // Messages that return nothing do not involve the callBack.
    seen.clear();
    EXPECT_EQ(ping(poster), "ysnl");
    EXPECT_EQ(seen, "");

    // Posted under another interface type than the targets': nobody implements it.
    poster.post(&EventAnswers::answer, 1);
    EXPECT_EQ(yes->questions, 42);
}

TEST(EventDispatch, TargetsMayRegisterAndUnregisterDuringDelivery)
{
    auto registry = TNEventRegistry::create();
    auto a = recorder("a"), b = recorder("b"), c = recorder("c"), added = recorder("N");
    registry->registerTartget<Events>(a);
    registry->registerTartget<Events>(b);
    registry->registerTartget<Events>(c);
    a->duringPing = [&] {
        registry->unregisterTartget(b, TNProtocol::of<Events>());
        registry->unregisterTartget(a, TNProtocol::of<Events>());
        registry->registerTartget<Events>(added);
    };
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "ac");
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "cN");

    // Posting again from inside a delivery works on its own snapshot.
    std::string nested;
    bool once = true;
    c->duringPing = [&] {
        if (std::exchange(once, false))
            nested = ping(registry->posterForProtocol<Events>());
    };
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "cN");
    EXPECT_EQ(nested, "cN");
}

TEST(EventDispatch, DestroyedTargetsAreNeverCalled)
{
    auto registry = TNEventRegistry::create();
    auto *first = new QtRecorder("1");
    auto *second = new QtRecorder("2");
    auto shared = recorder("s");
    registry->registerTartget<Events>(first);
    registry->registerTartget<Events>(second);
    registry->registerTartget<OtherEvents>(second);
    auto sharedTarget = registry->registerTartget<Events>(shared);
    EXPECT_EQ(registry->count(), 4);

    // A QObject's registrations end with it, at once and under every protocol.
    delete first;
    EXPECT_EQ(registry->count(), 3);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "2s");

    // Destroyed while a poster (snapshot) is delivering: skipped.
    auto poster = registry->posterForProtocol<Events>();
    delete second;
    EXPECT_EQ(ping(poster), "s");
    EXPECT_EQ(registry->count(), 1);

    // A shared target is skipped once expired and pruned at the next snapshot.
    auto held = registry->posterForProtocol<Events>();
    shared.reset();
    EXPECT_FALSE(sharedTarget->isAlive());
    EXPECT_EQ(sharedTarget->as<Events>(), nullptr);
    EXPECT_EQ(ping(held), "");
    EXPECT_TRUE(registry->eventTargetsForProtocol(TNProtocol::of<Events>()).empty());
    EXPECT_EQ(registry->count(), 0);
}

TEST(EventDispatch, AddressOfADeadSharedTargetCanRegisterAfresh)
{
    auto registry = TNEventRegistry::create();
    // Two objects at the same address, one after the other.
    alignas(Recorder) unsigned char storage[sizeof(Recorder)];
    auto *place = reinterpret_cast<Recorder *>(storage);
    auto makeAt = [&](const char *name) {
        new (place) Recorder(name);
        return std::shared_ptr<Recorder>(place, [](Recorder *r) { r->~Recorder(); });
    };
    auto old = makeAt("old");
    auto oldTarget = registry->registerTartget<Events>(old, nullptr, 1);
    old.reset();
    auto fresh = makeAt("new");
    auto freshTarget = registry->registerTartget<Events>(fresh, nullptr, 2);
    EXPECT_NE(freshTarget, oldTarget);
    EXPECT_FALSE(oldTarget->isValid());
    EXPECT_EQ(freshTarget->priority(), 2);
    EXPECT_EQ(ping(registry->posterForProtocol<Events>()), "new");
    fresh.reset();
}

TEST(EventDispatch, DestroyingTheRegistryEndsItsRegistrations)
{
    auto *q = new QtRecorder("q");
    std::shared_ptr<TNEventTarget> target;
    {
        auto registry = TNEventRegistry::create();
        target = registry->registerTartget<Events>(q);
    }
    EXPECT_FALSE(target->isValid());
    delete q; // its proxy is already gone: nothing to do, nothing to crash
    SUCCEED();
}

TEST(EventDispatch, EnumerationVisitsAcceptedTargets)
{
    auto registry = TNEventRegistry::create();
    int object = 0;
    auto a = recorder("a"), b = recorder("b"), c = recorder("c");
    registry->registerTartget<Events>(a);
    registry->registerTartget<Events>(b, &object);
    registry->registerTartget<Events>(c);
    std::string order;
    auto poster = registry->posterForProtocol<Events>();
    auto visit = [&](const TNEventTarget &target, qsizetype index, bool *stop) {
        order += static_cast<Recorder *>(target.as<Events>())->name + std::to_string(index);
        *stop = order.size() >= 4;
    };
    poster.enumerateObjectsUsingBlock(visit);
    EXPECT_EQ(order, "a0c1");
    order.clear();
    poster.setObject(&object).enumerateObjectsWithOptions(TNEnumerationReverse, visit);
    EXPECT_EQ(order, "c2b1");
}

// ---- Through the router centre ----

struct CenterEvents
{
    static constexpr const char *tnProtocolName = "RoutingTestCenterEvents";
    virtual ~CenterEvents() = default;
    virtual void ping(std::string &log) = 0;
};

class CenterRecorder : public QObject, public CenterEvents
{
public:
    explicit CenterRecorder(std::string name) : name(std::move(name)) { }
    void ping(std::string &log) override { log += name; }
    std::string name;
};

class CollectingDelegate : public TNRouterCenterDelegate
{
public:
    CenterRecorder substitute {"S"};
    bool collect = true;
    bool routerCenterCollectTargets(TNRouterCenter &, TNEventRegistry &targets, const TNProtocol &protocol) override
    {
        if (collect && protocol == TNProtocol::of<CenterEvents>())
            targets.registerTartget<CenterEvents>(&substitute);
        return true;
    }
};

TEST(EventDispatch, RouterCenterPostersAndDelegateCollectedTargets)
{
    auto center = TNRouterCenter::initWithID(QStringLiteral("EventTests"));
    CenterRecorder a("a"), b("b");
    int object = 0;
    center->registerTartget<CenterEvents>(&a);
    center->registerTartget<CenterEvents>(&b, &object, 4, 2);
    auto log = [](const TNEventPoster &poster) {
        std::string text;
        poster.post(&CenterEvents::ping, text);
        return text;
    };
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>()), "a");
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>(nullptr, &object)), "ab");
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>(nullptr, nullptr, 2, true)), "b");
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>(&a).setIgnoreSender(true)), "");

    auto delegate = std::make_shared<CollectingDelegate>();
    center->setDelegate(delegate);
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>()), "S");
    delegate->collect = false; // an empty collection: the centre's own targets
    EXPECT_EQ(log(center->posterForProtocol<CenterEvents>()), "a");
    delegate.reset(); // held weakly
    EXPECT_EQ(center->delegate(), nullptr);

    center->unregisterTartget(&a, TNProtocol::of<CenterEvents>());
    center->unregisterTartget(&b);
    EXPECT_EQ(center->eventRegistry()->count(), 0);
}

// ---- Routable objects and optional messages ----

class Routable : public TNRoutableObject, public Events
{
public:
    void ping(std::string &log) override { log += "r"; }
};

TEST(EventDispatch, RoutableObjectsAnswerUnimplementedMessagesWithZero)
{
    Routable routable;
    std::string log;
    tnSend(&routable, &Events::ping, log);
    EXPECT_EQ(log, "r");
    EXPECT_FALSE(tnSend(&routable, &EventAnswers::answer, 1));
    Answerer answerer("a", true);
    Events *asEvents = &answerer;
    EXPECT_TRUE(tnSend(asEvents, &EventAnswers::answer, 1));
}

} // namespace
