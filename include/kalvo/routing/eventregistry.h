// Event targets, the registry that keeps them per protocol, and the poster
// that fans one message out to them.
//
//   struct MeetingEvents {
//       static constexpr const char *tnProtocolName = "MeetingEvents";
//       virtual ~MeetingEvents() = default;
//       virtual void meetingDidStart(const QString &id) {}
//       virtual bool shouldLeave() { return false; }
//   };
//   class Panel : public QWidget, public MeetingEvents { ... };
//
//   auto registry = kalvo::TNEventRegistry::create();
//   registry->registerTartget<MeetingEvents>(panel);                  // a QObject
//   registry->registerTartget<MeetingEvents>(model, nullptr, 5);      // a shared_ptr, priority 5
//   registry->posterForProtocol(kalvo::TNProtocol::of<MeetingEvents>())
//       .post(&MeetingEvents::meetingDidStart, QStringLiteral("42"));
//
//   // An optional method lives in an interface of its own; targets that do
//   // not implement it are skipped. Name the registration interface first:
//   struct MeetingRecording { virtual ~MeetingRecording() = default; virtual bool mayRecord() = 0; };
//   registry->posterForProtocol<MeetingEvents>()
//       .setCallBack([](const kalvo::TNEventTarget &, bool yes, bool *stop) { *stop = !yes; })
//       .post<MeetingEvents>(&MeetingRecording::mayRecord);
//
// Targets. A target is a QObject or an object held by std::shared_ptr (see
// ObserverOwner), registered under a C++ interface P that it implements
// (statically, or found by dynamic_cast); otherwise registration answers
// null. The registry never keeps a target alive: a QObject's registrations
// end when it is destroyed (through its auto-unregister proxy), a shared
// target's are skipped and dropped once it expired.
//
// Messages. post<P>(&I::method, args...) calls the method on every target
// that passes the poster's filters and implements I: P is the interface the
// targets were registered under (by default I itself), I is P, a base of P
// or any interface reached from P by dynamic_cast (the "optional methods").
// A target registered under a different C++ type for the same protocol name
// does not implement the message. The arguments are passed to every target
// as lvalues. When the poster has a callBack and the method returns bool,
// the callBack sees each result and may stop the delivery.
//
// Threads. The registry is guarded by a mutex; a poster works on a snapshot
// taken when it was made, so targets may register and unregister (also
// themselves) during delivery: an unregistered target is not called again,
// a new one first hears the next poster. Messages run on the posting thread,
// and a shared target is kept alive while it is called; a QObject target
// should only be posted to from its own thread (its destruction is noticed
// through destroyed(), which cannot hold back a destructor running
// elsewhere).
#pragma once

#include <kalvo/platform/observerowner.h>
#include <kalvo/routing/protocol.h>

#include <QObject>
#include <QPointer>

#include <atomic>
#include <concepts>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <typeinfo>
#include <vector>

namespace kalvo {

class TNEventRegistry;

// The priority of a registration made without one: it joins the end.
inline constexpr qint64 TNEventDefaultPriority = std::numeric_limits<qint64>::max();
inline constexpr qint64 TNEventNoTag = -1;

namespace routing_detail {
// T* as P*: statically when T derives from P, else by dynamic_cast.
template<typename P, typename T> P *castTo(T *object)
{
    if (!object)
        return nullptr;
    if constexpr (std::is_base_of_v<P, T>)
        return object;
    else if constexpr (std::is_polymorphic_v<T>)
        return dynamic_cast<P *>(object);
    else
        return nullptr;
}
} // namespace routing_detail

// One registration of one target for one protocol.
class KALVO_EXPORT TNEventTarget
{
public:
    bool isValid() const { return m_valid.load(std::memory_order_acquire); }
    // The protocol (the field `p`).
    TNProtocol protocol() const { return m_protocol; }
    // The target, held weakly (a QObject pointer that the registry clears
    // through isValid(), or a weak shared_ptr).
    const ObserverOwner &target() const { return m_target; }
    // The target's identity, kept after the target is gone.
    quintptr targetPointerValue() const { return reinterpret_cast<quintptr>(m_target.identity()); }
    // The filter object (compared by address); null for none.
    const void *object() const { return m_object; }
    qint64 tag() const { return m_tag; }
    qint64 priority() const { return m_priority; }
    std::shared_ptr<TNEventRegistry> eventRegistry() const { return m_registry.lock(); }

    // The target as the interface it was registered under, while valid and
    // alive; null otherwise or when P is not that interface. For shared
    // targets hold lockTarget() while using the pointer.
    template<typename P> P *as() const
    {
        if (!isValid() || *m_type != typeid(P))
            return nullptr;
        if (m_target.isShared() && !m_target.lockShared())
            return nullptr;
        return static_cast<P *>(m_interface);
    }
    // Keeps a shared target alive; null for QObject targets and dead ones.
    std::shared_ptr<const void> lockTarget() const { return m_target.lockShared(); }
    // Valid, and the target still exists.
    bool isAlive() const;

    // Same protocol and same target identity.
    friend bool operator==(const TNEventTarget &a, const TNEventTarget &b)
    {
        return a.m_protocol == b.m_protocol && a.m_target.identity() == b.m_target.identity();
    }

private:
    friend class TNEventRegistry;
    friend class TNEventPoster;
    TNEventTarget() = default;

    std::atomic<bool> m_valid {true};
    TNProtocol m_protocol;
    ObserverOwner m_target;
    std::weak_ptr<const void> m_weak; // shared targets: expiry check without locking
    const std::type_info *m_type = &typeid(void);
    void *m_interface = nullptr;
    const void *m_object = nullptr;
    qint64 m_tag = TNEventNoTag;
    qint64 m_priority = TNEventDefaultPriority;
    std::weak_ptr<TNEventRegistry> m_registry;
};

using TNEventTargetList = std::vector<std::shared_ptr<TNEventTarget>>;

// Delivers messages of one protocol to a snapshot of its targets.
class KALVO_EXPORT TNEventPoster
{
public:
    // (target, the bool the message returned, stop): setting *stop ends the
    // delivery.
    using CallBack = std::function<void(const TNEventTarget &target, bool result, bool *stop)>;
    // (target, index among the accepted targets, stop).
    using Block = std::function<void(const TNEventTarget &target, qsizetype index, bool *stop)>;

    TNEventPoster() = default;
    // `keepAlive`: a registry the targets belong to that only the poster
    // holds (the delegate's collected targets).
    TNEventPoster(const TNProtocol &protocol, TNEventTargetList eventTargets,
        std::shared_ptr<const TNEventRegistry> keepAlive = {});
    // Shares an immutable snapshot (what the registry hands out).
    TNEventPoster(const TNProtocol &protocol, std::shared_ptr<const TNEventTargetList> eventTargets,
        std::shared_ptr<const TNEventRegistry> keepAlive = {});

    TNProtocol protocol() const { return m_protocol; }
    const TNEventTargetList &eventTargets() const;

    // Skip the target that is the sender (when a sender exists).
    bool ignoreSender() const { return m_ignoreSender; }
    TNEventPoster &setIgnoreSender(bool ignore);
    // Let targets registered with an object hear a poster without object.
    bool ignoreSelfObjectIfNil() const { return m_ignoreSelfObjectIfNil; }
    TNEventPoster &setIgnoreSelfObjectIfNil(bool ignore);
    // Held weakly.
    TNEventPoster &setSender(const ObserverOwner &sender);
    const void *senderIdentity() const { return m_sender.identity(); }
    const void *object() const { return m_object; }
    TNEventPoster &setObject(const void *object);
    // Negative: no tag filter.
    qint64 tag() const { return m_tag; }
    TNEventPoster &setTag(qint64 tag);
    const CallBack &callBack() const { return m_callBack; }
    TNEventPoster &setCallBack(CallBack callBack);

    // Whether `target` passes validity, sender, object and tag filters.
    bool accepts(const TNEventTarget &target) const;

    template<typename P = void, typename I, typename R, typename... A, typename... Args>
    void post(R (I::*method)(A...), Args &&...args) const
    {
        deliver<std::conditional_t<std::is_void_v<P>, I, P>, I, R>(method, args...);
    }
    template<typename P = void, typename I, typename R, typename... A, typename... Args>
    void post(R (I::*method)(A...) const, Args &&...args) const
    {
        deliver<std::conditional_t<std::is_void_v<P>, I, P>, I, R>(method, args...);
    }

    // Visits the accepted targets in delivery order (TNEnumerationReverse
    // from collectionsupport.h reverses it; concurrency is not offered, the
    // visit runs on the calling thread).
    void enumerateObjectsUsingBlock(const Block &block) const { enumerateObjectsWithOptions(0, block); }
    void enumerateObjectsWithOptions(unsigned options, const Block &block) const;

private:
    template<typename P, typename I, typename R, typename Method, typename... Args>
    void deliver(Method method, Args &...args) const
    {
        static_assert(std::is_polymorphic_v<P>, "a protocol must be a polymorphic interface");
        if (!m_targets)
            return;
        bool stop = false;
        const TNEventTarget *expired = nullptr;
        for (const auto &target : *m_targets) {
            if (!accepts(*target) || *target->m_type != typeid(P))
                continue;
            std::shared_ptr<const void> keepAlive;
            if (target->m_target.isShared()) {
                keepAlive = target->m_target.lockShared();
                if (!keepAlive) {
                    expired = target.get();
                    continue;
                }
            }
            P *protocolObject = static_cast<P *>(target->m_interface);
            I *receiver = nullptr;
            if constexpr (std::is_base_of_v<I, P>)
                receiver = protocolObject;
            else
                receiver = dynamic_cast<I *>(protocolObject);
            if (!receiver)
                continue;
            if constexpr (std::is_same_v<R, bool>) {
                const bool result = (receiver->*method)(args...);
                if (m_callBack) {
                    m_callBack(*target, result, &stop);
                    if (stop)
                        break;
                }
            } else {
                (receiver->*method)(args...);
            }
        }
        if (expired)
            pruneExpired(*expired);
    }

    // Drops the expired shared targets from the registry of `target`.
    static void pruneExpired(const TNEventTarget &target);

    bool senderMatches(const TNEventTarget &target) const;

    TNProtocol m_protocol;
    std::shared_ptr<const TNEventTargetList> m_targets;
    std::shared_ptr<const TNEventRegistry> m_keepAlive;
    bool m_ignoreSender = false;
    bool m_ignoreSelfObjectIfNil = false;
    ObserverOwner m_sender;
    QPointer<QObject> m_senderObject;
    const void *m_object = nullptr;
    qint64 m_tag = TNEventNoTag;
    CallBack m_callBack;
};

// Protocol -> ordered list of event targets.
class KALVO_EXPORT TNEventRegistry : public std::enable_shared_from_this<TNEventRegistry>
{
public:
    static std::shared_ptr<TNEventRegistry> create();
    ~TNEventRegistry();

    TNEventRegistry(const TNEventRegistry &) = delete;
    TNEventRegistry &operator=(const TNEventRegistry &) = delete;

    // registerTartget:forProtocol:object:priority:tag:. Null when the target
    // is null or does not implement P. An existing registration of the same
    // target for the same protocol is answered unchanged. With the default
    // priority the target joins the end; otherwise it is placed before the
    // first target of lower priority (high to low, equal ones in
    // registration order).
    template<typename P, std::derived_from<QObject> T>
    std::shared_ptr<TNEventTarget> registerTartget(
        T *target, const void *object = nullptr, qint64 priority = TNEventDefaultPriority, qint64 tag = TNEventNoTag)
    {
        P *iface = routing_detail::castTo<P>(target);
        if (!iface)
            return nullptr;
        return registerInterface(TNProtocol::of<P>(), ObserverOwner(static_cast<const QObject *>(target)), typeid(P),
            iface, object, priority, tag);
    }
    template<typename P, typename T>
    std::shared_ptr<TNEventTarget> registerTartget(const std::shared_ptr<T> &target, const void *object = nullptr,
        qint64 priority = TNEventDefaultPriority, qint64 tag = TNEventNoTag)
    {
        P *iface = routing_detail::castTo<P>(target.get());
        if (!iface)
            return nullptr;
        return registerInterface(TNProtocol::of<P>(), ObserverOwner(target), typeid(P), iface, object, priority, tag);
    }

    // The untyped form behind registerTartget: `iface` must be the target
    // seen as the interface `type` (what post<type> will call).
    std::shared_ptr<TNEventTarget> registerInterface(const TNProtocol &protocol, const ObserverOwner &target,
        const std::type_info &type, void *iface, const void *object, qint64 priority, qint64 tag);

    void unregisterTartget(const ObserverOwner &target, const TNProtocol &protocol);
    template<typename P> void unregisterTartget(const ObserverOwner &target)
    {
        unregisterTartget(target, TNProtocol::of<P>());
    }
    void unregisterTartgetByEventTarget(const std::shared_ptr<TNEventTarget> &eventTarget);
    // Every registration of `target` in this registry.
    void unregisterTartget(const ObserverOwner &target);

    std::shared_ptr<TNEventTarget> findEventTargetWithTartget(
        const ObserverOwner &target, const TNProtocol &protocol) const;
    // A copy of the protocol's list, dead shared targets left out.
    TNEventTargetList eventTargetsForProtocol(const TNProtocol &protocol) const;
    // Removes the protocol's shared targets that expired.
    void pruneExpiredTargets(const TNProtocol &protocol);
    // A poster over a snapshot of the protocol's list.
    TNEventPoster posterForProtocol(const TNProtocol &protocol) const;
    template<typename P> TNEventPoster posterForProtocol() const { return posterForProtocol(TNProtocol::of<P>()); }

    // Registrations in all lists.
    int count() const;

private:
    TNEventRegistry();
    struct Private;
    friend struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
