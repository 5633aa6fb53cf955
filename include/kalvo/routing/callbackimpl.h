// Pending callbacks keyed by name, with optional time-outs, and listeners
// keyed by type.
//
//   auto &callbacks = kalvo::TNCallbackImpl::shared();
//   callbacks.addCallBackKey(QStringLiteral("join"), QStringLiteral("req-1"),
//       [](const QString &key, const QVariant &param, const QVariant &error) { ... },
//       {.timeout = 10, .timeoutError = QStringLiteral("timed out")});
//   callbacks.callBackByKey(QStringLiteral("join"), {}, result, {});   // every "join" callback, once
//
// A callback with a positive time-out that is still pending when it has
// waited that long is removed and called with its time-out parameter and
// error. Time-outs are checked every 1.0 s through the scheduler (so tests
// use the manual clock) while callbacks with time-outs are pending: a
// time-out of 2 fires between 2 and 3 seconds after the callback was added.
//
// Owners. A callback or listener may name an owner (QObject or shared_ptr,
// see ObserverOwner); it is never called once the owner is gone: a callback
// is then dropped silently (when answered or timed out), a listener removed.
//
// Main thread only. Completions may add, answer or remove callbacks.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace kalvo {

struct TNCallbackOptions
{
    QString identifier;
    // Seconds; 0 or less: no time-out.
    double timeout = 0;
    QVariant timeoutError;
    QVariant timeoutParam;
    ObserverOwner owner;
};

// One pending callback.
struct TNCallbackObject
{
    using Completion = std::function<void(const QString &key, const QVariant &param, const QVariant &error)>;

    double timeout = 0;
    QString callbackKey;
    QString key;
    Completion completion;
    double date = 0; // scheduler time when added
    QVariant timeoutError;
    QVariant timeoutParam;
    QString identifier;
    qint64 timestamp = 0; // wall clock when added, ms since the epoch
    ObserverOwner owner;
};

class KALVO_EXPORT TNCallbackImpl
{
public:
    using Completion = TNCallbackObject::Completion;

    static TNCallbackImpl &shared();

    TNCallbackImpl();
    ~TNCallbackImpl();
    TNCallbackImpl(const TNCallbackImpl &) = delete;
    TNCallbackImpl &operator=(const TNCallbackImpl &) = delete;

    // addCallBackKey:key:block: and its identifier:/timeout:timeoutError:/
    // timeoutParam: forms. An empty callback key or a null block is ignored.
    void addCallBackKey(
        const QString &callbackKey, const QString &key, Completion block, const TNCallbackOptions &options = {});
    // Removes every callback of `callbackKey`, then calls each with (`key`,
    // or its own key when `key` is empty, param, error). Answers how many
    // were called.
    int callBackByKey(const QString &callbackKey, const QString &key, const QVariant &param, const QVariant &error);
    void removeCallbakByKey(const QString &callbackKey);
    void removeCallbakByKey(const QString &callbackKey, const QString &identifier);
    bool hasCallbackByKey(const QString &callbackKey) const;
    int callbackCount() const;
    // Whether the 1.0 s time-out check is scheduled.
    bool isCheckingTimeouts() const;

    // One listener per (target, type key); adding again replaces it.
    void addListenerByTarget(const ObserverOwner &target, const QString &typeKey, Completion callback);
    void addListenCallbakByTarget(const ObserverOwner &target, const QString &typeKey, Completion block);
    // Calls every listener of `typeKey`; answers how many.
    int callbackListenByTypekey(
        const QString &typeKey, const QString &key, const QVariant &param, const QVariant &error);
    // Under every type key; empty type keys are dropped.
    void removeListenCallbakByTarget(const ObserverOwner &target);
    int listenerCount(const QString &typeKey) const;

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace kalvo
