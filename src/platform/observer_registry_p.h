// Observers keyed by a name, bound to owners, shared by the notification
// centre and the settings store.
//
// Notifying takes a snapshot under the lock and calls outside it, so handlers
// may add or remove observers (their own included) and post again. A handler
// removed during a notification is not called afterwards; one added during a
// notification is first called by the next one.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QHash>
#include <QObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kalvo::detail {

template <typename... Args>
class ObserverRegistry
{
public:
    using Handler = std::function<void(Args...)>;

    ObserverRegistry() : m_state(std::make_shared<State>()) {}

    ~ObserverRegistry()
    {
        std::lock_guard lock(m_state->mutex);
        for (auto &list : m_state->byKey)
            for (auto &entry : list)
                QObject::disconnect(entry->connection);
    }

    ObserverRegistry(const ObserverRegistry &) = delete;
    ObserverRegistry &operator=(const ObserverRegistry &) = delete;

    // An empty key observes every key. `filter`, when not null, only lets
    // through notifications about that object.
    ObserverId add(const QString &key, const void *filter, const ObserverOwner &owner, Handler handler)
    {
        auto entry = std::make_shared<Entry>();
        entry->key = key;
        entry->filter = filter;
        entry->owner = owner;
        entry->handler = std::move(handler);
        {
            std::lock_guard lock(m_state->mutex);
            entry->id = ++m_state->lastId;
            m_state->byKey[key].push_back(entry);
            m_state->keyOf.insert(entry->id, key);
        }
        if (const QObject *object = owner.qobject()) {
            std::weak_ptr<State> state = m_state;
            const ObserverId id = entry->id;
            // Direct: the entry must be gone before the owner's memory is.
            entry->connection = QObject::connect(
                object, &QObject::destroyed, &m_state->context,
                [state, id] {
                    if (auto s = state.lock())
                        s->remove(id);
                },
                Qt::DirectConnection);
        }
        return entry->id;
    }

    void remove(ObserverId id) { m_state->remove(id); }

    void removeOwner(const void *identity)
    {
        if (!identity)
            return;
        std::vector<ObserverId> ids;
        {
            std::lock_guard lock(m_state->mutex);
            for (auto &list : m_state->byKey)
                for (auto &entry : list)
                    if (entry->owner.identity() == identity)
                        ids.push_back(entry->id);
        }
        for (ObserverId id : ids)
            m_state->remove(id);
    }

    // Calls the observers of `key` and the catch-all ones, in registration
    // order. `sender` is matched against each observer's filter.
    void notify(const QString &key, const void *sender, Args... args)
    {
        std::vector<std::shared_ptr<Entry>> targets;
        {
            std::lock_guard lock(m_state->mutex);
            collect(m_state->byKey, key, sender, targets);
            if (!key.isEmpty())
                collect(m_state->byKey, QString(), sender, targets);
        }
        if (targets.size() > 1) {
            std::sort(targets.begin(), targets.end(),
                      [](const auto &a, const auto &b) { return a->id < b->id; });
        }
        for (const auto &entry : targets) {
            if (!entry->active.load(std::memory_order_acquire))
                continue;
            std::shared_ptr<const void> keepAlive;
            if (entry->owner.isShared()) {
                keepAlive = entry->owner.lockShared();
                if (!keepAlive) {
                    m_state->remove(entry->id);
                    continue;
                }
            }
            entry->handler(args...);
        }
    }

    bool hasObservers(const QString &key) const
    {
        std::lock_guard lock(m_state->mutex);
        auto it = m_state->byKey.constFind(key);
        return it != m_state->byKey.constEnd() && !it->empty();
    }

    int count() const
    {
        std::lock_guard lock(m_state->mutex);
        int n = 0;
        for (const auto &list : m_state->byKey)
            n += static_cast<int>(list.size());
        return n;
    }

private:
    struct Entry
    {
        ObserverId id = 0;
        QString key;
        const void *filter = nullptr;
        ObserverOwner owner;
        Handler handler;
        std::atomic<bool> active{true};
        QMetaObject::Connection connection;
    };

    using EntryList = std::vector<std::shared_ptr<Entry>>;

    struct State
    {
        mutable std::mutex mutex;
        QHash<QString, EntryList> byKey;
        QHash<ObserverId, QString> keyOf;
        ObserverId lastId = 0;
        QObject context; // receiver of owners' destroyed signals

        void remove(ObserverId id)
        {
            std::shared_ptr<Entry> removed;
            {
                std::lock_guard lock(mutex);
                auto keyIt = keyOf.find(id);
                if (keyIt == keyOf.end())
                    return;
                auto it = byKey.find(keyIt.value());
                keyOf.erase(keyIt);
                if (it == byKey.end())
                    return;
                auto &list = it.value();
                auto found = std::find_if(list.begin(), list.end(),
                                          [id](const auto &entry) { return entry->id == id; });
                if (found != list.end()) {
                    removed = *found;
                    list.erase(found);
                }
                if (list.empty())
                    byKey.erase(it);
            }
            if (removed) {
                removed->active.store(false, std::memory_order_release);
                QObject::disconnect(removed->connection);
            }
        }
    };

    static void collect(const QHash<QString, EntryList> &byKey, const QString &key, const void *sender,
                        std::vector<std::shared_ptr<Entry>> &out)
    {
        auto it = byKey.constFind(key);
        if (it == byKey.constEnd())
            return;
        for (const auto &entry : *it) {
            if (entry->filter == nullptr || entry->filter == sender)
                out.push_back(entry);
        }
    }

    std::shared_ptr<State> m_state;
};

} // namespace kalvo::detail
