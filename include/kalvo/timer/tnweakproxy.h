// Weak proxies: address delayed work to an object without keeping it alive.
//
//   auto proxy = kalvo::selfProxy(widget);          // one per object, attached to it
//   proxy->performAfterDelay(0.3, [widget] { widget->refresh(); });
//   proxy->cancelPreviousPerformRequests();         // drops what is still pending
//
// An object here is a QObject or an object held by std::shared_ptr (see
// ObserverOwner). A proxy never calls into a destroyed target: work addressed
// to it is skipped once the target is gone, and a shared_ptr target is kept
// alive for the duration of each call.
//
// How the Objective-C forms map:
//   - a message sent to the proxy is send(fn): fn runs only while the target
//     lives, and the result is std::nullopt (false for void) when it is gone;
//   - performSelector:withObject:afterDelay:inModes: is performAfterDelay()
//     with a callable; run-loop modes are recorded with the request (Qt has
//     one event loop, so they select nothing);
//   - cancelPreviousPerformRequestsWithTarget: is cancelPreviousPerformRequests();
//   - equality, hashing, targetInherits() and description() answer for the
//     target; protocol conformance and responds-to questions are settled at
//     compile time in C++ (the callable either compiles or does not);
//   - the associated selfProxy / cancelProxy of NSObject are the free functions
//     selfProxy() and cancelProxy(): created on first use and attached to the
//     object. A QObject's attachments are destroyed with it (its destroyed()
//     signal); a shared_ptr object cannot announce its end, so its
//     attachments are destroyed the next time the attachment table is used
//     after it expired. Either way nothing addressed to it runs afterwards.
//
// Scheduling on a proxy attaches, once, the target's auto-cancel proxy,
// which cancels the proxy's pending work when the target is destroyed.
// Proxies belong to the main thread; cancelPreviousPerformRequests() and
// pendingPerformCount() are also safe from other threads.
#pragma once

#include <kalvo/platform/observerowner.h>
#include <kalvo/platform/scheduler.h>

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

namespace kalvo {

// The mode of the run loop's common set; an empty mode list means this one.
KALVO_EXPORT QString TNRunLoopCommonModes();
KALVO_EXPORT QString TNDefaultRunLoopMode();

class KALVO_EXPORT TNWeakProxy
{
public:
    // Whether scheduling through this proxy attaches the target's auto-cancel
    // proxy. Objects that cancel their own pending work on destruction (the
    // deferred calls) skip it.
    enum class AutoCancel { attach, skip };

    explicit TNWeakProxy(const ObserverOwner &target, AutoCancel autoCancel = AutoCancel::attach);
    virtual ~TNWeakProxy();

    TNWeakProxy(const TNWeakProxy &) = delete;
    TNWeakProxy &operator=(const TNWeakProxy &) = delete;

    static std::shared_ptr<TNWeakProxy> proxyWithTarget(const ObserverOwner &target);

    // The target's address while it lives, else null.
    const void *target() const;
    bool isTargetAlive() const;
    // The target when it is a live QObject, else null.
    QObject *targetObject() const;
    // The address the proxy was made for (kept after the target is gone).
    const void *targetIdentity() const;
    // Class queries answer for the target: a live QObject target that is or
    // derives from `className` (Qt's meta-object names).
    bool targetInherits(const char *className) const;

    // Runs fn while the target lives and keeps a shared target alive meanwhile.
    template <typename F>
    auto send(F &&fn) const
    {
        using R = std::invoke_result_t<F &>;
        const std::shared_ptr<const void> keep = lockTarget();
        const bool alive = keep != nullptr || isTargetAlive();
        if constexpr (std::is_void_v<R>) {
            if (alive)
                fn();
            return alive;
        } else {
            return alive ? std::optional<R>(fn()) : std::optional<R>();
        }
    }

    // Runs fn on the main thread after `seconds`, if the target still lives
    // then and the request was not cancelled. `modes` empty means the common
    // modes.
    WorkItem performAfterDelay(double seconds, std::function<void()> fn, const QStringList &modes = {});
    void cancelPreviousPerformRequests();
    // Requests neither run nor cancelled.
    int pendingPerformCount() const;
    // The run-loop modes of the pending requests, oldest first.
    QList<QStringList> pendingPerformModes() const;

    // "<TNWeakProxy: target>" with the target's class (and object name), or
    // "<TNWeakProxy: nil>" once it is gone.
    QString description() const;

    bool operator==(const TNWeakProxy &other) const { return targetIdentity() == other.targetIdentity(); }
    std::size_t hash() const { return std::hash<const void *>()(targetIdentity()); }

    // A strong reference to a live shared target, else null.
    std::shared_ptr<const void> lockTarget() const;

protected:
    struct Private;
    std::shared_ptr<Private> d;

private:
    friend class TNAutoCancelProxy;
};

// A weak proxy whose destruction cancels every pending request addressed to
// its target through any proxy that scheduled one. cancelProxy() attaches one
// to an object, so the requests die with the object.
class KALVO_EXPORT TNAutoCancelProxy : public TNWeakProxy
{
public:
    explicit TNAutoCancelProxy(const ObserverOwner &target);
    ~TNAutoCancelProxy() override;

    // Cancels `proxy`'s pending requests when this proxy is destroyed.
    void watch(const TNWeakProxy &proxy);

private:
    struct Watched;
    std::unique_ptr<Watched> m_watched;
};

// The object's own weak proxy, created on first use and attached to it; null
// without an object or for a shared object that has already expired.
KALVO_EXPORT std::shared_ptr<TNWeakProxy> selfProxy(const ObserverOwner &object);
// The object's auto-cancel proxy, created on first use and attached to it.
KALVO_EXPORT std::shared_ptr<TNAutoCancelProxy> cancelProxy(const ObserverOwner &object);

} // namespace kalvo

template <>
struct std::hash<kalvo::TNWeakProxy>
{
    std::size_t operator()(const kalvo::TNWeakProxy &proxy) const { return proxy.hash(); }
};
