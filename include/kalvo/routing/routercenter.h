// The router centre: protocols mapped to classes and singletons, success
// actions waiting for a protocol, and an event registry with posters.
//
//   auto center = kalvo::TNRouterCenter::shared();                 // ID "Global"
//   center->registerProtocol<MeetingService>(
//       kalvo::TNClass::make<MeetingServiceImpl, MeetingService>("MeetingServiceImpl"));
//   center->registerSuccessAction([] { ... }, kalvo::TNProtocol::of<MeetingService>());
//   auto service = center->singletonForProtocol<MeetingService>();
//
//   center->registerTartget<MeetingEvents>(panel);                  // QObject or shared_ptr
//   center->posterForProtocol<MeetingEvents>().post(&MeetingEvents::meetingDidStart, id);
//
//   auto meeting = kalvo::TNRouterCenter::initWithID(QStringLiteral("Meeting"));
//
// How protocols, classes and messages are expressed in C++: protocol.h and
// eventregistry.h.
//
// Threads. registerProtocol() may be called from any thread; off the main
// thread it is re-posted there (holding the centre weakly). The event
// registry and the access records are mutex-guarded; the remaining maps are
// guarded too, but user code (factories, actions, the delegate) never runs
// under a lock. Everything else is meant for the main thread.
//
// Access conflicts. The first singleton access and the first poster or
// registration access to each protocol are recorded process-wide with the
// centre's ID, the method and the call stack; a later access to the same
// protocol through a centre with another ID logs a framed report (qWarning,
// or the sink set with setAccessConflictLogSink) and then proceeds.
#pragma once

#include <kalvo/routing/eventregistry.h>
#include <kalvo/routing/protocol.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalvo {

// Posted on the default notification centre, once per protocol, when the
// protocol gets its class; object: the protocol's identity(), userInfo
// "protocol": its name.
inline const QString TNRouterReady = QStringLiteral("TNRouterReady");

class TNRouterCenter;

// Every method is optional: the defaults answer "not implemented".
class KALVO_EXPORT TNRouterCenterDelegate
{
public:
    virtual ~TNRouterCenterDelegate();
    // routerCenter:singletonForProtocol: — the singleton to use when the
    // centre has none; null: none.
    virtual std::shared_ptr<TNRoutableObject> routerCenterSingletonForProtocol(
        TNRouterCenter &center, const TNProtocol &protocol);
    // routerCenter:collectTargets:forProtocol: — register the targets to
    // post to in `targets`; answer false when not implemented. A non-empty
    // list replaces the centre's own for that poster.
    virtual bool routerCenterCollectTargets(
        TNRouterCenter &center, TNEventRegistry &targets, const TNProtocol &protocol);
};

class KALVO_EXPORT TNRouterCenter : public std::enable_shared_from_this<TNRouterCenter>
{
public:
    using LogSink = std::function<void(const QString &report)>;

    // The process-wide centre, ID "Global"; lives for the process.
    static std::shared_ptr<TNRouterCenter> shared();
    static std::shared_ptr<TNRouterCenter> initWithID(const QString &ID);
    ~TNRouterCenter();

    TNRouterCenter(const TNRouterCenter &) = delete;
    TNRouterCenter &operator=(const TNRouterCenter &) = delete;

    QString ID() const;
    // Held weakly.
    std::shared_ptr<TNRouterCenterDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<TNRouterCenterDelegate> &delegate);
    std::shared_ptr<TNEventRegistry> eventRegistry() const;

    // ---- Protocols and classes ----

    // Null arguments are ignored. A class not conforming to
    // TNRoutableObject stops the program. The first class for a protocol
    // wins; the first registration posts TNRouterReady when idle and runs the
    // waiting success actions asynchronously on the main thread.
    void registerProtocol(const TNProtocol &protocol, const TNClass &cls);
    template<TNNamedProtocol P> void registerProtocol(const TNClass &cls)
    {
        registerProtocol(TNProtocol::of<P>(), cls);
    }
    void registerProtocols(const QList<TNProtocol> &protocols, const TNClass &cls);
    TNClass classForProtocol(const TNProtocol &protocol) const;
    // A new instance of the protocol's class, or null.
    std::shared_ptr<TNRoutableObject> objectForProtocol(const TNProtocol &protocol) const;
    template<TNNamedProtocol P> std::shared_ptr<P> objectForProtocol() const
    {
        return std::dynamic_pointer_cast<P>(objectForProtocol(TNProtocol::of<P>()));
    }
    // In registration order.
    void enumerateProtocolsAndClassesUsingBlock(
        const std::function<void(const TNProtocol &, const TNClass &, bool *stop)> &block) const;

    // ---- Success actions ----

    // Runs `action` at once and answers false when the protocol already has
    // a class; otherwise keeps it (under `ID`, a new UUID string when empty)
    // until the class arrives and answers true. A null action or protocol:
    // false.
    bool registerSuccessAction(std::function<void()> action, const TNProtocol &protocol);
    bool registerSuccessAction(std::function<void()> action, const TNProtocol &protocol, const QString &ID);
    void removeSuccessActionForProtocol(const TNProtocol &protocol, const QString &ID);
    // Actions waiting for the protocol.
    int pendingSuccessActionCount(const TNProtocol &protocol) const;

    // ---- Singletons ----

    void registerSingleton(const std::shared_ptr<TNRoutableObject> &singleton, const TNProtocol &protocol);
    void removeSingletonForProtocol(const TNProtocol &protocol);
    // The registered singleton, else the protocol's class's shared instance,
    // else the delegate's, else null. Records the access first.
    std::shared_ptr<TNRoutableObject> singletonForProtocol(const TNProtocol &protocol);
    template<TNNamedProtocol P> std::shared_ptr<P> singletonForProtocol()
    {
        return std::dynamic_pointer_cast<P>(singletonForProtocol(TNProtocol::of<P>()));
    }
    void enumerateSingletonsUsingBlock(
        const std::function<void(const TNProtocol &, const std::shared_ptr<TNRoutableObject> &, bool *stop)> &block)
        const;

    // ---- Events ----

    // posterForProtocol: and its sender:/object:/tag:/ignoreSelfObjectIfNil:
    // forms. Records the access.
    TNEventPoster posterForProtocol(const TNProtocol &protocol, const ObserverOwner &sender = {},
        const void *object = nullptr, qint64 tag = TNEventNoTag, bool ignoreSelfObjectIfNil = false);
    template<TNNamedProtocol P>
    TNEventPoster posterForProtocol(const ObserverOwner &sender = {}, const void *object = nullptr,
        qint64 tag = TNEventNoTag, bool ignoreSelfObjectIfNil = false)
    {
        return posterForProtocol(TNProtocol::of<P>(), sender, object, tag, ignoreSelfObjectIfNil);
    }
    // posterForProtocol:callBack:
    template<TNNamedProtocol P> TNEventPoster posterForProtocol(TNEventPoster::CallBack callBack)
    {
        TNEventPoster poster = posterForProtocol(TNProtocol::of<P>());
        poster.setCallBack(std::move(callBack));
        return poster;
    }

    // registerTartget:forProtocol: with the optional object:, priority:,
    // tag: forms (see TNEventRegistry). Records the access.
    template<TNNamedProtocol P, std::derived_from<QObject> T>
    std::shared_ptr<TNEventTarget> registerTartget(
        T *target, const void *object = nullptr, qint64 priority = TNEventDefaultPriority, qint64 tag = TNEventNoTag)
    {
        recordEventRegistration(TNProtocol::of<P>());
        return eventRegistry()->template registerTartget<P>(target, object, priority, tag);
    }
    template<TNNamedProtocol P, typename T>
    std::shared_ptr<TNEventTarget> registerTartget(const std::shared_ptr<T> &target, const void *object = nullptr,
        qint64 priority = TNEventDefaultPriority, qint64 tag = TNEventNoTag)
    {
        recordEventRegistration(TNProtocol::of<P>());
        return eventRegistry()->template registerTartget<P>(target, object, priority, tag);
    }
    void unregisterTartget(const ObserverOwner &target, const TNProtocol &protocol);
    void unregisterTartgetByEventTarget(const std::shared_ptr<TNEventTarget> &eventTarget);
    void unregisterTartget(const ObserverOwner &target);

    // ---- Access-conflict report ----

    // Where reports go; null restores qWarning.
    static void setAccessConflictLogSink(LogSink sink);

private:
    explicit TNRouterCenter(const QString &ID);
    void recordEventRegistration(const TNProtocol &protocol);
    void registerProtocolOnMain(const TNProtocol &protocol, const TNClass &cls);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
