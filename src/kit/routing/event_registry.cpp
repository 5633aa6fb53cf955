#include <kalvo/routing/eventregistry.h>

#include <kalvo/collections/collectionsupport.h>
#include <kalvo/collections/threadsafearray.h>

#include <QHash>

#include <algorithm>
#include <unordered_map>

namespace kalvo {

// ---- Auto-unregister proxies ----
//
// Each target object carries one proxy listing its registrations in every
// registry. A QObject's proxy unregisters them all from its destroyed()
// signal; a shared target's proxy is dropped with its last registration (the
// registries prune expired shared targets when they take a snapshot).

namespace {

struct TNEventAutoUnregisterProxy
{
    ObserverOwner owner;
    TNThreadSafeArray<std::shared_ptr<TNEventTarget>> eventTargets;
    QMetaObject::Connection connection;
};

struct ProxyTable
{
    std::mutex mutex;
    std::unordered_map<const void *, std::shared_ptr<TNEventAutoUnregisterProxy>> proxies;
};

ProxyTable &proxyTable()
{
    // Never destroyed: QObjects may be destroyed during exit.
    static ProxyTable *table = new ProxyTable;
    return *table;
}

void unregisterEverywhere(const std::vector<std::shared_ptr<TNEventTarget>> &targets)
{
    for (const auto &target : targets) {
        if (auto registry = target->eventRegistry())
            registry->unregisterTartgetByEventTarget(target);
    }
}

void proxyOwnerDestroyed(const void *identity, const std::weak_ptr<TNEventAutoUnregisterProxy> &weakProxy)
{
    std::shared_ptr<TNEventAutoUnregisterProxy> proxy;
    {
        ProxyTable &table = proxyTable();
        std::lock_guard lock(table.mutex);
        auto it = table.proxies.find(identity);
        if (it == table.proxies.end() || it->second != weakProxy.lock())
            return;
        proxy = std::move(it->second);
        table.proxies.erase(it);
    }
    unregisterEverywhere(proxy->eventTargets.toVector());
}

// Records `target` in its object's proxy. Answers the registrations of a
// previous, expired shared object at the same address, which the caller
// must unregister.
std::vector<std::shared_ptr<TNEventTarget>> attachToProxy(const std::shared_ptr<TNEventTarget> &target)
{
    const ObserverOwner &owner = target->target();
    const void *identity = owner.identity();
    std::vector<std::shared_ptr<TNEventTarget>> stale;
    std::shared_ptr<TNEventAutoUnregisterProxy> created;
    {
        ProxyTable &table = proxyTable();
        std::lock_guard lock(table.mutex);
        auto &proxy = table.proxies[identity];
        if (proxy && proxy->owner.isShared() && !proxy->owner.lockShared()) {
            stale = proxy->eventTargets.toVector();
            proxy.reset();
        }
        if (!proxy) {
            proxy = std::make_shared<TNEventAutoUnregisterProxy>();
            proxy->owner = owner;
            created = proxy;
        }
        proxy->eventTargets.addObject(target);
    }
    if (created) {
        if (const QObject *object = owner.qobject()) {
            std::weak_ptr<TNEventAutoUnregisterProxy> weak = created;
            // Direct: the registrations must be gone before the object's memory is.
            created->connection = QObject::connect(
                object, &QObject::destroyed, object, [identity, weak] { proxyOwnerDestroyed(identity, weak); },
                Qt::DirectConnection);
        }
    }
    return stale;
}

void detachFromProxy(const std::shared_ptr<TNEventTarget> &target)
{
    const void *identity = target->target().identity();
    QMetaObject::Connection connection;
    {
        ProxyTable &table = proxyTable();
        std::lock_guard lock(table.mutex);
        auto it = table.proxies.find(identity);
        if (it == table.proxies.end())
            return;
        it->second->eventTargets.removeObject(target);
        if (it->second->eventTargets.isEmpty()) {
            connection = it->second->connection;
            table.proxies.erase(it);
        }
    }
    if (connection)
        QObject::disconnect(connection);
}

} // namespace

// ---- TNEventTarget ----

bool TNEventTarget::isAlive() const
{
    if (!isValid())
        return false;
    return !m_target.isShared() || m_target.lockShared() != nullptr;
}

// ---- TNEventPoster ----

TNEventPoster::TNEventPoster(
    const TNProtocol &protocol, TNEventTargetList eventTargets, std::shared_ptr<const TNEventRegistry> keepAlive)
    : m_protocol(protocol), m_targets(std::make_shared<const TNEventTargetList>(std::move(eventTargets))),
      m_keepAlive(std::move(keepAlive))
{ }

TNEventPoster::TNEventPoster(const TNProtocol &protocol, std::shared_ptr<const TNEventTargetList> eventTargets,
    std::shared_ptr<const TNEventRegistry> keepAlive)
    : m_protocol(protocol), m_targets(std::move(eventTargets)), m_keepAlive(std::move(keepAlive))
{ }

const TNEventTargetList &TNEventPoster::eventTargets() const
{
    static const TNEventTargetList empty;
    return m_targets ? *m_targets : empty;
}

void TNEventPoster::pruneExpired(const TNEventTarget &target)
{
    if (auto registry = target.eventRegistry())
        registry->pruneExpiredTargets(target.protocol());
}

TNEventPoster &TNEventPoster::setIgnoreSender(bool ignore)
{
    m_ignoreSender = ignore;
    return *this;
}

TNEventPoster &TNEventPoster::setIgnoreSelfObjectIfNil(bool ignore)
{
    m_ignoreSelfObjectIfNil = ignore;
    return *this;
}

TNEventPoster &TNEventPoster::setSender(const ObserverOwner &sender)
{
    m_sender = sender;
    m_senderObject = const_cast<QObject *>(sender.qobject());
    return *this;
}

TNEventPoster &TNEventPoster::setObject(const void *object)
{
    m_object = object;
    return *this;
}

TNEventPoster &TNEventPoster::setTag(qint64 tag)
{
    m_tag = tag;
    return *this;
}

TNEventPoster &TNEventPoster::setCallBack(CallBack callBack)
{
    m_callBack = std::move(callBack);
    return *this;
}

bool TNEventPoster::senderMatches(const TNEventTarget &target) const
{
    const void *identity = m_sender.identity();
    if (!identity || identity != target.m_target.identity())
        return false;
    // Only an existing sender counts.
    if (m_sender.qobject())
        return !m_senderObject.isNull();
    return m_sender.lockShared() != nullptr;
}

bool TNEventPoster::accepts(const TNEventTarget &target) const
{
    if (!target.isValid())
        return false;
    if (m_ignoreSender && senderMatches(target))
        return false;
    if (target.m_object) {
        if (m_object ? m_object != target.m_object : !m_ignoreSelfObjectIfNil)
            return false;
    }
    if (m_tag >= 0 && target.m_tag != m_tag)
        return false;
    return true;
}

void TNEventPoster::enumerateObjectsWithOptions(unsigned options, const Block &block) const
{
    if (!block)
        return;
    std::vector<const std::shared_ptr<TNEventTarget> *> accepted;
    const TNEventTargetList &targets = eventTargets();
    accepted.reserve(targets.size());
    for (const auto &target : targets) {
        if (accepts(*target))
            accepted.push_back(&target);
    }
    const qsizetype total = static_cast<qsizetype>(accepted.size());
    const bool reverse = options & TNEnumerationReverse;
    bool stop = false;
    for (qsizetype step = 0; step < total && !stop; ++step) {
        const qsizetype index = reverse ? total - 1 - step : step;
        const TNEventTarget &target = **accepted[static_cast<std::size_t>(index)];
        std::shared_ptr<const void> keepAlive;
        if (target.m_target.isShared()) {
            keepAlive = target.m_target.lockShared();
            if (!keepAlive)
                continue;
        }
        if (!target.isValid())
            continue;
        block(target, index, &stop);
    }
}

// ---- TNEventRegistry ----

struct TNEventRegistry::Private
{
    using Key = std::pair<const void *, const void *>; // protocol, target identity

    using SharedList = std::shared_ptr<TNEventTargetList>;

    // Copy on write: posters share a list until the registry changes it, so
    // taking a snapshot costs one reference, not one per target. A list
    // handed out is never written again; the next change copies it.
    struct Slot
    {
        SharedList list;
        bool handedOut = false;
    };

    mutable std::mutex mutex;
    QHash<const void *, Slot> lists;
    QHash<Key, std::shared_ptr<TNEventTarget>> index;

    // Under the mutex: the protocol's list, ready to change.
    TNEventTargetList &mutableList(const void *protocol)
    {
        Slot &slot = lists[protocol];
        if (!slot.list) {
            slot.list = std::make_shared<TNEventTargetList>();
        } else if (slot.handedOut) {
            slot.list = std::make_shared<TNEventTargetList>(*slot.list);
            slot.handedOut = false;
        }
        return *slot.list;
    }

    // Under the mutex: the list to share with a poster, or null.
    std::shared_ptr<const TNEventTargetList> handOut(const void *protocol)
    {
        auto it = lists.find(protocol);
        if (it == lists.end())
            return nullptr;
        it->handedOut = true;
        return it->list;
    }

    static Key keyOf(const TNEventTarget &target) { return {target.protocol().identity(), target.target().identity()}; }

    // Under the mutex. Answers whether the target was listed here.
    bool removeLocked(const std::shared_ptr<TNEventTarget> &target)
    {
        auto it = index.find(keyOf(*target));
        if (it == index.end() || it.value() != target)
            return false;
        index.erase(it);
        const void *protocol = target->protocol().identity();
        if (lists.contains(protocol)) {
            TNEventTargetList &targets = mutableList(protocol);
            targets.erase(std::remove(targets.begin(), targets.end(), target), targets.end());
            if (targets.empty())
                lists.remove(protocol);
        }
        return true;
    }

    // Under the mutex: takes out the protocol's shared targets that expired.
    void pruneLocked(const void *protocol, std::vector<std::shared_ptr<TNEventTarget>> &expired)
    {
        const SharedList list = lists.value(protocol).list;
        if (!list)
            return;
        for (const auto &target : *list) {
            if (target->target().isShared() && target->m_weak.expired())
                expired.push_back(target);
        }
        for (const auto &target : expired)
            removeLocked(target);
    }

    static void finishRemoval(const std::vector<std::shared_ptr<TNEventTarget>> &removed)
    {
        for (const auto &target : removed) {
            target->m_valid.store(false, std::memory_order_release);
            detachFromProxy(target);
        }
    }
};

TNEventRegistry::TNEventRegistry() : d(std::make_unique<Private>()) { }

std::shared_ptr<TNEventRegistry> TNEventRegistry::create()
{
    return std::shared_ptr<TNEventRegistry>(new TNEventRegistry);
}

TNEventRegistry::~TNEventRegistry()
{
    std::vector<std::shared_ptr<TNEventTarget>> all;
    {
        std::lock_guard lock(d->mutex);
        for (const auto &list : std::as_const(d->lists))
            all.insert(all.end(), list.list->begin(), list.list->end());
        d->lists.clear();
        d->index.clear();
    }
    Private::finishRemoval(all);
}

std::shared_ptr<TNEventTarget> TNEventRegistry::registerInterface(const TNProtocol &protocol,
    const ObserverOwner &target, const std::type_info &type, void *iface, const void *object, qint64 priority,
    qint64 tag)
{
    if (protocol.isNull() || !target.identity() || !iface)
        return nullptr;
    std::vector<std::shared_ptr<TNEventTarget>> stale;
    std::shared_ptr<TNEventTarget> created;
    {
        std::lock_guard lock(d->mutex);
        auto existing = d->index.find({protocol.identity(), target.identity()});
        if (existing != d->index.end()) {
            if (existing.value()->isAlive())
                return existing.value();
            // A dead shared object whose address was reused.
            stale.push_back(existing.value());
            d->removeLocked(existing.value());
        }
        created.reset(new TNEventTarget);
        created->m_protocol = protocol;
        created->m_target = target;
        if (target.isShared())
            created->m_weak = target.lockShared();
        created->m_type = &type;
        created->m_interface = iface;
        created->m_object = object;
        created->m_tag = tag;
        created->m_priority = priority;
        created->m_registry = weak_from_this();

        TNEventTargetList &list = d->mutableList(protocol.identity());
        if (priority == TNEventDefaultPriority) {
            list.push_back(created);
        } else {
            // High to low; equal priorities keep registration order.
            std::size_t low = 0;
            std::size_t high = list.size();
            while (low < high) {
                const std::size_t mid = (low + high) / 2;
                if (priority > list[mid]->priority())
                    high = mid;
                else
                    low = mid + 1;
            }
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(low), created);
        }
        d->index.insert({protocol.identity(), target.identity()}, created);
    }
    Private::finishRemoval(stale);
    unregisterEverywhere(attachToProxy(created));
    // Unregistered by another thread before the proxy knew it.
    if (!created->isValid())
        detachFromProxy(created);
    return created;
}

void TNEventRegistry::unregisterTartget(const ObserverOwner &target, const TNProtocol &protocol)
{
    std::shared_ptr<TNEventTarget> removed;
    {
        std::lock_guard lock(d->mutex);
        auto it = d->index.find({protocol.identity(), target.identity()});
        if (it == d->index.end())
            return;
        removed = it.value();
        d->removeLocked(removed);
    }
    Private::finishRemoval({removed});
}

void TNEventRegistry::unregisterTartgetByEventTarget(const std::shared_ptr<TNEventTarget> &eventTarget)
{
    if (!eventTarget)
        return;
    {
        std::lock_guard lock(d->mutex);
        d->removeLocked(eventTarget);
    }
    Private::finishRemoval({eventTarget});
}

void TNEventRegistry::unregisterTartget(const ObserverOwner &target)
{
    if (!target.identity())
        return;
    std::vector<std::shared_ptr<TNEventTarget>> removed;
    {
        std::lock_guard lock(d->mutex);
        for (const auto &entry : std::as_const(d->index)) {
            if (entry->target().identity() == target.identity())
                removed.push_back(entry);
        }
        for (const auto &entry : removed)
            d->removeLocked(entry);
    }
    Private::finishRemoval(removed);
}

std::shared_ptr<TNEventTarget> TNEventRegistry::findEventTargetWithTartget(
    const ObserverOwner &target, const TNProtocol &protocol) const
{
    std::lock_guard lock(d->mutex);
    auto found = d->index.value({protocol.identity(), target.identity()});
    return found && found->isAlive() ? found : nullptr;
}

TNEventTargetList TNEventRegistry::eventTargetsForProtocol(const TNProtocol &protocol) const
{
    TNEventTargetList copy;
    std::vector<std::shared_ptr<TNEventTarget>> expired;
    {
        std::lock_guard lock(d->mutex);
        d->pruneLocked(protocol.identity(), expired);
        if (auto list = d->lists.value(protocol.identity()).list)
            copy = *list;
    }
    Private::finishRemoval(expired);
    return copy;
}

void TNEventRegistry::pruneExpiredTargets(const TNProtocol &protocol)
{
    std::vector<std::shared_ptr<TNEventTarget>> expired;
    {
        std::lock_guard lock(d->mutex);
        d->pruneLocked(protocol.identity(), expired);
    }
    Private::finishRemoval(expired);
}

TNEventPoster TNEventRegistry::posterForProtocol(const TNProtocol &protocol) const
{
    // The shared list itself: expired shared targets are skipped by the
    // poster, which prunes them afterwards.
    std::shared_ptr<const TNEventTargetList> snapshot;
    {
        std::lock_guard lock(d->mutex);
        snapshot = d->handOut(protocol.identity());
    }
    return TNEventPoster(protocol, std::move(snapshot));
}

int TNEventRegistry::count() const
{
    std::lock_guard lock(d->mutex);
    return static_cast<int>(d->index.size());
}

} // namespace kalvo
