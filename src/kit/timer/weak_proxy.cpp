#include <kalvo/timer/tnweakproxy.h>

#include "attachments_p.h"

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <typeinfo>
#include <vector>

namespace kalvo {

QString TNRunLoopCommonModes()
{
    return QStringLiteral("kCFRunLoopCommonModes");
}

QString TNDefaultRunLoopMode()
{
    return QStringLiteral("kCFRunLoopDefaultMode");
}

namespace {

const char kSelfProxyKey = 0;
const char kCancelProxyKey = 0;

struct Request
{
    WorkItem item;
    QStringList modes;
};

} // namespace

struct TNWeakProxy::Private
{
    QPointer<QObject> object;
    bool isObject = false;
    std::weak_ptr<const void> shared;
    const void *identity = nullptr;
    ObserverOwner owner;
    AutoCancel autoCancel = AutoCancel::attach;
    std::atomic<bool> attached{false};

    mutable std::mutex mutex;
    std::vector<Request> requests;

    std::shared_ptr<const void> lock() const { return shared.lock(); }

    bool alive() const { return isObject ? !object.isNull() : !shared.expired(); }

    // Drops requests that ran or were cancelled. Called locked.
    void prune()
    {
        requests.erase(std::remove_if(requests.begin(), requests.end(),
                                      [](const Request &r) { return !r.item.isPending(); }),
                       requests.end());
    }

    void cancelAll()
    {
        std::vector<Request> taken;
        {
            std::lock_guard guard(mutex);
            taken.swap(requests);
        }
        for (const Request &r : taken)
            r.item.cancel();
    }
};

TNWeakProxy::TNWeakProxy(const ObserverOwner &target, AutoCancel autoCancel) : d(std::make_shared<Private>())
{
    d->identity = target.identity();
    d->autoCancel = autoCancel;
    if (const QObject *object = target.qobject()) {
        d->isObject = true;
        d->object = const_cast<QObject *>(object);
    } else if (target.isShared()) {
        d->shared = target.lockShared();
        d->owner = target;
    }
}

TNWeakProxy::~TNWeakProxy() = default;

std::shared_ptr<TNWeakProxy> TNWeakProxy::proxyWithTarget(const ObserverOwner &target)
{
    return std::make_shared<TNWeakProxy>(target);
}

const void *TNWeakProxy::target() const
{
    return d->alive() ? d->identity : nullptr;
}

bool TNWeakProxy::isTargetAlive() const
{
    return d->identity != nullptr && d->alive();
}

QObject *TNWeakProxy::targetObject() const
{
    return d->object.data();
}

const void *TNWeakProxy::targetIdentity() const
{
    return d->identity;
}

bool TNWeakProxy::targetInherits(const char *className) const
{
    const QObject *object = d->object.data();
    return object && className && object->inherits(className);
}

std::shared_ptr<const void> TNWeakProxy::lockTarget() const
{
    return d->lock();
}

WorkItem TNWeakProxy::performAfterDelay(double seconds, std::function<void()> fn, const QStringList &modes)
{
    if (!fn || !isTargetAlive())
        return {};
    if (d->autoCancel == AutoCancel::attach && !d->attached.exchange(true)) {
        const ObserverOwner owner = d->isObject ? ObserverOwner(d->object.data()) : d->owner;
        if (auto canceller = cancelProxy(owner))
            canceller->watch(*this);
        else
            d->attached = false;
    }
    // The request holds the proxy's state, as a perform request retains its
    // target; the closure is released once it ran or was cancelled.
    std::shared_ptr<Private> state = d;
    WorkItem item = asyncAfter(seconds, [state, fn = std::move(fn)] {
        if (state->isObject) {
            if (!state->object.isNull())
                fn();
        } else if (std::shared_ptr<const void> keep = state->lock()) {
            fn();
        }
    });
    std::lock_guard guard(d->mutex);
    d->prune();
    d->requests.push_back(Request{item, modes.isEmpty() ? QStringList{TNRunLoopCommonModes()} : modes});
    return item;
}

void TNWeakProxy::cancelPreviousPerformRequests()
{
    d->cancelAll();
}

int TNWeakProxy::pendingPerformCount() const
{
    std::lock_guard guard(d->mutex);
    return static_cast<int>(std::count_if(d->requests.begin(), d->requests.end(),
                                          [](const Request &r) { return r.item.isPending(); }));
}

QList<QStringList> TNWeakProxy::pendingPerformModes() const
{
    QList<QStringList> modes;
    std::lock_guard guard(d->mutex);
    for (const Request &r : d->requests)
        if (r.item.isPending())
            modes.push_back(r.modes);
    return modes;
}

QString TNWeakProxy::description() const
{
    if (!isTargetAlive())
        return QStringLiteral("<TNWeakProxy: nil>");
    if (QObject *object = d->object.data()) {
        QString text = QString::fromLatin1(object->metaObject()->className());
        if (!object->objectName().isEmpty())
            text += QStringLiteral(" \"%1\"").arg(object->objectName());
        return QStringLiteral("<TNWeakProxy: %1>").arg(text);
    }
    return QStringLiteral("<TNWeakProxy: 0x%1>").arg(reinterpret_cast<quintptr>(d->identity), 0, 16);
}

// ---- Auto-cancel proxy ----

struct TNAutoCancelProxy::Watched
{
    std::mutex mutex;
    std::vector<std::weak_ptr<TNWeakProxy::Private>> proxies;
};

TNAutoCancelProxy::TNAutoCancelProxy(const ObserverOwner &target)
    : TNWeakProxy(target, AutoCancel::skip), m_watched(std::make_unique<Watched>())
{
}

TNAutoCancelProxy::~TNAutoCancelProxy()
{
    std::vector<std::weak_ptr<TNWeakProxy::Private>> proxies;
    {
        std::lock_guard guard(m_watched->mutex);
        proxies.swap(m_watched->proxies);
    }
    for (const auto &weak : proxies)
        if (auto state = weak.lock())
            state->cancelAll();
    d->cancelAll();
}

void TNAutoCancelProxy::watch(const TNWeakProxy &proxy)
{
    std::lock_guard guard(m_watched->mutex);
    auto &list = m_watched->proxies;
    list.erase(std::remove_if(list.begin(), list.end(), [](const auto &w) { return w.expired(); }), list.end());
    for (const auto &w : list)
        if (w.lock() == proxy.d)
            return;
    list.push_back(proxy.d);
}

// ---- Per-object helpers ----

std::shared_ptr<TNWeakProxy> selfProxy(const ObserverOwner &object)
{
    return detail::Attachments::get<TNWeakProxy>(
        object, &kSelfProxyKey, std::function<std::shared_ptr<TNWeakProxy>()>([&object] {
            return std::make_shared<TNWeakProxy>(object);
        }));
}

std::shared_ptr<TNAutoCancelProxy> cancelProxy(const ObserverOwner &object)
{
    return detail::Attachments::get<TNAutoCancelProxy>(
        object, &kCancelProxyKey, std::function<std::shared_ptr<TNAutoCancelProxy>()>([&object] {
            return std::make_shared<TNAutoCancelProxy>(object);
        }));
}

} // namespace kalvo
