#include "attachments_p.h"

#include <QObject>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kalvo::detail {

namespace {

struct Slot
{
    Attachments::Key key;
    std::shared_ptr<void> value;
};

struct Entry
{
    const QObject *object = nullptr;
    ObserverOwner owner; // for shared owners: the weak reference
    std::vector<Slot> slots;
};

struct Table
{
    std::mutex mutex;
    std::unordered_map<const void *, Entry> entries;
    std::size_t lookupsSinceSweep = 0;
};

Table &table()
{
    // Never destroyed: owners may go away during exit.
    static Table *t = new Table;
    return *t;
}

bool sameSharedOwner(const ObserverOwner &a, const ObserverOwner &b)
{
    const std::shared_ptr<const void> x = a.lockShared();
    const std::shared_ptr<const void> y = b.lockShared();
    return x && y && !x.owner_before(y) && !y.owner_before(x);
}

// Moves the slots of expired shared owners into `dead`. Called locked.
void collectExpired(Table &t, std::vector<Slot> &dead)
{
    for (auto it = t.entries.begin(); it != t.entries.end();) {
        if (it->second.object == nullptr && !it->second.owner.lockShared()) {
            for (Slot &slot : it->second.slots)
                dead.push_back(std::move(slot));
            it = t.entries.erase(it);
        } else {
            ++it;
        }
    }
    t.lookupsSinceSweep = 0;
}

void onDestroyed(const QObject *object)
{
    std::vector<Slot> dead;
    {
        Table &t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.entries.find(object);
        if (it == t.entries.end() || it->second.object != object)
            return;
        dead = std::move(it->second.slots);
        t.entries.erase(it);
    }
    // Later attachments first, as they may refer to earlier ones.
    while (!dead.empty())
        dead.pop_back();
}

} // namespace

std::shared_ptr<void> Attachments::get(const ObserverOwner &owner, Key key,
                                       const std::function<std::shared_ptr<void>()> &make)
{
    const void *identity = owner.identity();
    if (!identity)
        return nullptr;
    if (owner.isShared() && !owner.lockShared())
        return nullptr;

    std::vector<Slot> dead;
    std::shared_ptr<void> result;
    {
        Table &t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.entries.find(identity);
        if (it != t.entries.end() && it->second.object == nullptr && !sameSharedOwner(it->second.owner, owner)) {
            // A former shared owner at the same address: its attachments end here.
            dead = std::move(it->second.slots);
            t.entries.erase(it);
            it = t.entries.end();
        }
        if (it != t.entries.end()) {
            for (const Slot &slot : it->second.slots)
                if (slot.key == key)
                    result = slot.value;
        }
        if (!result && make) {
            result = make();
            if (result) {
                if (it == t.entries.end()) {
                    Entry entry;
                    entry.object = owner.qobject();
                    entry.owner = owner;
                    it = t.entries.emplace(identity, std::move(entry)).first;
                    if (const QObject *object = owner.qobject()) {
                        // Direct: the attachments must go before the object's memory does.
                        QObject::connect(object, &QObject::destroyed, [object] { onDestroyed(object); });
                    }
                }
                it->second.slots.push_back(Slot{key, result});
            }
        }
        if (++t.lookupsSinceSweep >= std::max<std::size_t>(64, t.entries.size()))
            collectExpired(t, dead);
    }
    while (!dead.empty())
        dead.pop_back();
    return result;
}

void Attachments::sweep()
{
    std::vector<Slot> dead;
    {
        Table &t = table();
        std::lock_guard lock(t.mutex);
        collectExpired(t, dead);
    }
    while (!dead.empty())
        dead.pop_back();
}

int Attachments::ownerCount()
{
    Table &t = table();
    std::lock_guard lock(t.mutex);
    return static_cast<int>(t.entries.size());
}

} // namespace kalvo::detail
