#include <kalvo/routing/callbackimpl.h>

#include <kalvo/platform/scheduler.h>

#include <QHash>
#include <QObject>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace kalvo {

namespace {

constexpr double kCheckInterval = 1.0;

// Alive while the owner is; always alive without owner.
struct OwnerWatch
{
    ObserverOwner owner;
    QPointer<QObject> qobject;

    explicit OwnerWatch(const ObserverOwner &o = {}) : owner(o), qobject(const_cast<QObject *>(o.qobject())) { }

    bool isAlive() const
    {
        if (owner.qobject())
            return !qobject.isNull();
        if (owner.isShared())
            return owner.lockShared() != nullptr;
        return true;
    }
};

struct PendingCallback
{
    TNCallbackObject object;
    OwnerWatch watch;
    quint64 sequence = 0;
};

struct Listener
{
    OwnerWatch watch;
    TNCallbackImpl::Completion callback;
    quint64 sequence = 0;
};

QString targetHash(const void *identity)
{
    return QString::asprintf("%lu", static_cast<unsigned long>(reinterpret_cast<quintptr>(identity)));
}

} // namespace

struct TNCallbackImpl::Private : std::enable_shared_from_this<TNCallbackImpl::Private>
{
    QHash<QString, std::vector<PendingCallback>> callbackDict;
    QHash<QString, QHash<QString, Listener>> listenCallbackDict;
    // QObject listeners' destroyed() connections, by target hash.
    QHash<QString, QMetaObject::Connection> listenerConnections;
    WorkItem checkTimeoutTimer;
    quint64 sequence = 0;
    QObject context; // receiver of listener owners' destroyed signals

    bool hasTimedCallbacks() const
    {
        for (const auto &list : callbackDict) {
            for (const PendingCallback &pending : list) {
                if (pending.object.timeout > 0)
                    return true;
            }
        }
        return false;
    }

    void ensureTimer()
    {
        if (checkTimeoutTimer.isPending())
            return;
        std::weak_ptr<Private> weak = weak_from_this();
        checkTimeoutTimer = kalvo::asyncAfter(kCheckInterval, [weak] {
            if (auto self = weak.lock())
                self->checkTimeouts();
        });
    }

    void checkTimeouts()
    {
        const double now = kalvo::now();
        std::vector<PendingCallback> expired;
        for (auto it = callbackDict.begin(); it != callbackDict.end();) {
            auto &list = it.value();
            auto late = std::stable_partition(list.begin(), list.end(), [now](const PendingCallback &pending) {
                return !(pending.object.timeout > 0 && now - pending.object.date >= pending.object.timeout);
            });
            std::move(late, list.end(), std::back_inserter(expired));
            list.erase(late, list.end());
            if (list.empty())
                it = callbackDict.erase(it);
            else
                ++it;
        }
        // Re-armed before the completions run, so callbacks they add find
        // the check already scheduled.
        checkTimeoutTimer = WorkItem();
        if (hasTimedCallbacks())
            ensureTimer();
        std::sort(expired.begin(), expired.end(),
            [](const PendingCallback &a, const PendingCallback &b) { return a.sequence < b.sequence; });
        for (const PendingCallback &pending : expired) {
            if (pending.watch.isAlive() && pending.object.completion)
                pending.object.completion(pending.object.key, pending.object.timeoutParam, pending.object.timeoutError);
        }
    }

    void removeListenerTarget(const QString &hash)
    {
        for (auto it = listenCallbackDict.begin(); it != listenCallbackDict.end();) {
            it.value().remove(hash);
            if (it.value().isEmpty())
                it = listenCallbackDict.erase(it);
            else
                ++it;
        }
        QObject::disconnect(listenerConnections.take(hash));
    }
};

TNCallbackImpl &TNCallbackImpl::shared()
{
    static TNCallbackImpl *impl = new TNCallbackImpl;
    return *impl;
}

TNCallbackImpl::TNCallbackImpl() : d(std::make_shared<Private>()) { }

TNCallbackImpl::~TNCallbackImpl()
{
    d->checkTimeoutTimer.cancel();
    for (const auto &connection : std::as_const(d->listenerConnections))
        QObject::disconnect(connection);
}

void TNCallbackImpl::addCallBackKey(
    const QString &callbackKey, const QString &key, Completion block, const TNCallbackOptions &options)
{
    if (callbackKey.isEmpty() || !block)
        return;
    PendingCallback pending;
    pending.object.timeout = options.timeout;
    pending.object.callbackKey = callbackKey;
    pending.object.key = key;
    pending.object.completion = std::move(block);
    pending.object.date = kalvo::now();
    pending.object.timeoutError = options.timeoutError;
    pending.object.timeoutParam = options.timeoutParam;
    pending.object.identifier = options.identifier;
    pending.object.timestamp = kalvo::currentDateTime().toMSecsSinceEpoch();
    pending.object.owner = options.owner;
    pending.watch = OwnerWatch(options.owner);
    pending.sequence = ++d->sequence;
    const bool timed = pending.object.timeout > 0;
    d->callbackDict[callbackKey].push_back(std::move(pending));
    if (timed)
        d->ensureTimer();
}

int TNCallbackImpl::callBackByKey(
    const QString &callbackKey, const QString &key, const QVariant &param, const QVariant &error)
{
    // Taken out first: completions may add new callbacks under the same key.
    const std::vector<PendingCallback> taken = d->callbackDict.take(callbackKey);
    int called = 0;
    for (const PendingCallback &pending : taken) {
        if (!pending.watch.isAlive())
            continue;
        pending.object.completion(key.isEmpty() ? pending.object.key : key, param, error);
        ++called;
    }
    return called;
}

void TNCallbackImpl::removeCallbakByKey(const QString &callbackKey)
{
    const auto removed = d->callbackDict.take(callbackKey);
}

void TNCallbackImpl::removeCallbakByKey(const QString &callbackKey, const QString &identifier)
{
    auto it = d->callbackDict.find(callbackKey);
    if (it == d->callbackDict.end())
        return;
    std::vector<PendingCallback> removed;
    auto &list = it.value();
    auto kept = std::stable_partition(list.begin(), list.end(),
        [&](const PendingCallback &pending) { return pending.object.identifier != identifier; });
    std::move(kept, list.end(), std::back_inserter(removed));
    list.erase(kept, list.end());
    if (list.empty())
        d->callbackDict.erase(it);
}

bool TNCallbackImpl::hasCallbackByKey(const QString &callbackKey) const
{
    return d->callbackDict.contains(callbackKey);
}

int TNCallbackImpl::callbackCount() const
{
    int count = 0;
    for (const auto &list : std::as_const(d->callbackDict))
        count += static_cast<int>(list.size());
    return count;
}

bool TNCallbackImpl::isCheckingTimeouts() const
{
    return d->checkTimeoutTimer.isPending();
}

void TNCallbackImpl::addListenerByTarget(const ObserverOwner &target, const QString &typeKey, Completion callback)
{
    if (!target.identity() || typeKey.isEmpty() || !callback)
        return;
    const QString hash = targetHash(target.identity());
    Listener listener;
    listener.watch = OwnerWatch(target);
    listener.callback = std::move(callback);
    listener.sequence = ++d->sequence;
    d->listenCallbackDict[typeKey].insert(hash, std::move(listener));
    if (const QObject *object = target.qobject(); object && !d->listenerConnections.contains(hash)) {
        std::weak_ptr<Private> weak = d;
        d->listenerConnections.insert(hash,
            QObject::connect(
                object, &QObject::destroyed, &d->context,
                [weak, hash] {
                    if (auto self = weak.lock())
                        self->removeListenerTarget(hash);
                },
                Qt::DirectConnection));
    }
}

void TNCallbackImpl::addListenCallbakByTarget(const ObserverOwner &target, const QString &typeKey, Completion block)
{
    addListenerByTarget(target, typeKey, std::move(block));
}

int TNCallbackImpl::callbackListenByTypekey(
    const QString &typeKey, const QString &key, const QVariant &param, const QVariant &error)
{
    auto it = d->listenCallbackDict.constFind(typeKey);
    if (it == d->listenCallbackDict.constEnd())
        return 0;
    // A snapshot: listeners may add or remove listeners.
    std::vector<std::pair<QString, Listener>> listeners;
    for (auto entry = it->constBegin(); entry != it->constEnd(); ++entry)
        listeners.emplace_back(entry.key(), entry.value());
    std::sort(listeners.begin(), listeners.end(),
        [](const auto &a, const auto &b) { return a.second.sequence < b.second.sequence; });
    int called = 0;
    for (const auto &[hash, listener] : listeners) {
        // Skip listeners removed or replaced by an earlier one.
        auto current = d->listenCallbackDict.constFind(typeKey);
        if (current == d->listenCallbackDict.constEnd())
            break;
        auto still = current->constFind(hash);
        if (still == current->constEnd() || still->sequence != listener.sequence)
            continue;
        if (!listener.watch.isAlive()) {
            d->removeListenerTarget(hash);
            continue;
        }
        std::shared_ptr<const void> keepAlive = listener.watch.owner.lockShared();
        listener.callback(key, param, error);
        ++called;
    }
    return called;
}

void TNCallbackImpl::removeListenCallbakByTarget(const ObserverOwner &target)
{
    if (!target.identity())
        return;
    d->removeListenerTarget(targetHash(target.identity()));
}

int TNCallbackImpl::listenerCount(const QString &typeKey) const
{
    return static_cast<int>(d->listenCallbackDict.value(typeKey).size());
}

} // namespace kalvo
