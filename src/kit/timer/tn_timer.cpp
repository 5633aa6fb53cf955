#include <kalvo/timer/tntimer.h>

#include "attachments_p.h"
#include "repeating_timer_p.h"

#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {

const char kAutoUnregisterKey = 0;

bool sameOwner(const ObserverOwner &a, const ObserverOwner &b)
{
    if (a.identity() != b.identity())
        return false;
    if (!a.isShared() && !b.isShared())
        return true;
    // A shared owner only matches the same live object, never a newer one
    // that happens to sit at the address of an expired one.
    const std::shared_ptr<const void> x = a.lockShared();
    const std::shared_ptr<const void> y = b.lockShared();
    return x && y && !x.owner_before(y) && !y.owner_before(x);
}

bool ownerExpired(const ObserverOwner &owner)
{
    return owner.isShared() && !owner.lockShared();
}

} // namespace

namespace detail {

struct TNTimerState : std::enable_shared_from_this<TNTimerState>
{
    double interval = 1.0;
    std::vector<TNTimerItemPtr> items;
    RepeatingTimer timer;

    bool owns(const TNTimerItemPtr &item) const { return item && item->m_timer.lock().get() == this; }

    void start()
    {
        if (!timer.isRunning())
            timer.start(interval, interval / 10.0, [this] { tick(); });
    }

    void stopIfEmpty()
    {
        if (items.empty())
            timer.stop();
    }

    // Takes the item out of this timer; `fromProxy` when the owner's proxy
    // is the one letting go (it is being destroyed).
    void detach(const TNTimerItemPtr &item, bool fromProxy)
    {
        if (!owns(item))
            return;
        items.erase(std::remove(items.begin(), items.end(), item), items.end());
        if (!fromProxy) {
            if (auto proxy = tn_timerAutoUnregisterProxyNonLazy(item->m_target)) {
                auto &list = proxy->m_timerItems;
                list.erase(std::remove(list.begin(), list.end(), item), list.end());
            }
        }
        item->m_handler = nullptr;
        item->m_timer.reset();
        stopIfEmpty();
    }

    // Items of shared owners that expired go before anything looks at them.
    void purgeExpired()
    {
        std::vector<TNTimerItemPtr> expired;
        for (const auto &item : items)
            if (ownerExpired(item->m_target))
                expired.push_back(item);
        for (const auto &item : expired)
            detach(item, false);
    }

    TNTimerItemPtr find(const ObserverOwner &owner, const QString &name) const
    {
        for (const auto &item : items)
            if (item->m_name == name && sameOwner(item->m_target, owner))
                return item;
        return nullptr;
    }

    void tick()
    {
        const std::shared_ptr<TNTimerState> keep = shared_from_this(); // a handler may destroy the TNTimer
        purgeExpired();
        const std::vector<TNTimerItemPtr> snapshot = items;
        std::vector<TNTimerItemPtr> finished;
        for (const auto &item : snapshot) {
            if (!owns(item))
                continue; // removed by an earlier handler
            std::shared_ptr<const void> ownerAlive;
            if (item->m_target.isShared()) {
                ownerAlive = item->m_target.lockShared();
                if (!ownerAlive) {
                    finished.push_back(item);
                    continue;
                }
            }
            item->m_timeCount += interval;
            // Sums of ticks carry rounding (ten ticks of 0.1 s add up to just
            // under 1.0); a billionth of the interval is not a real shortfall.
            if (item->m_timeCount < item->m_interval * (1.0 - 1e-9))
                continue;
            ++item->m_repeatCount;
            const TNTimerItem::Handler handler = item->m_handler;
            if (handler)
                handler(item->m_repeatCount, &item->m_stop);
            if (!owns(item))
                continue;
            item->m_timeCount = 0.0;
            if ((item->m_repeatNumber != 0 && item->m_repeatCount >= item->m_repeatNumber) || item->m_stop)
                finished.push_back(item);
        }
        for (const auto &item : finished)
            detach(item, false);
        stopIfEmpty();
    }

    void cleanUp()
    {
        timer.stop();
        const std::vector<TNTimerItemPtr> all = items;
        for (const auto &item : all)
            detach(item, false);
        items.clear();
    }
};

} // namespace detail

// ---- TNTimer ----

TNTimer::TNTimer() : TNTimer(1.0) {}

TNTimer::TNTimer(double interval) : d(std::make_shared<detail::TNTimerState>())
{
    d->interval = (interval > 0.0001 && std::isfinite(interval)) ? interval : 1.0;
}

TNTimer::~TNTimer()
{
    d->cleanUp();
}

double TNTimer::interval() const
{
    return d->interval;
}

double TNTimer::tolerance() const
{
    return d->interval / 10.0;
}

bool TNTimer::isRunning() const
{
    return d->timer.isRunning();
}

bool TNTimer::addTimer(const ObserverOwner &owner, const QString &name, double interval, quint64 repeatNumber,
                       TNTimerItem::Handler handler)
{
    if (!(interval > 0.0) || !handler || name.isEmpty())
        return false;
    if (ownerExpired(owner))
        return false;
    d->purgeExpired();
    if (TNTimerItemPtr existing = d->find(owner, name)) {
        existing->m_timeCount = 0.0;
        return true;
    }
    auto item = std::make_shared<TNTimerItem>();
    item->m_handler = std::move(handler);
    item->m_interval = interval;
    item->m_repeatNumber = repeatNumber;
    item->m_target = owner;
    item->m_name = name;
    item->m_timer = d;
    d->items.push_back(item);
    if (auto proxy = tn_timerAutoUnregisterProxy(owner))
        proxy->m_timerItems.push_back(item);
    d->start();
    return true;
}

void TNTimer::removeTimer(const ObserverOwner &owner, const QString &name)
{
    d->purgeExpired();
    if (TNTimerItemPtr item = d->find(owner, name))
        d->detach(item, false);
}

void TNTimer::removeTimerWithTarget(const ObserverOwner &owner)
{
    d->purgeExpired();
    std::vector<TNTimerItemPtr> matches;
    for (const auto &item : d->items)
        if (sameOwner(item->m_target, owner))
            matches.push_back(item);
    for (const auto &item : matches)
        d->detach(item, false);
}

void TNTimer::removeTimerWithName(const QString &name)
{
    std::vector<TNTimerItemPtr> matches;
    for (const auto &item : d->items)
        if (item->m_name == name)
            matches.push_back(item);
    for (const auto &item : matches)
        d->detach(item, false);
}

void TNTimer::removeTimerWithTimerItem(const TNTimerItemPtr &item)
{
    d->detach(item, false);
}

void TNTimer::removeAllTimers()
{
    d->cleanUp();
}

TNTimerItemPtr TNTimer::getTimerItemWithTarget(const ObserverOwner &owner, const QString &name) const
{
    d->purgeExpired();
    return d->find(owner, name);
}

bool TNTimer::isExistTimer(const ObserverOwner &owner, const QString &name) const
{
    return getTimerItemWithTarget(owner, name) != nullptr;
}

std::vector<TNTimerItemPtr> TNTimer::timerItemArray() const
{
    d->purgeExpired();
    return d->items;
}

void TNTimer::cleanUp()
{
    d->cleanUp();
}

// ---- Auto-unregister proxy ----

TNTimerAutoUnregisterProxy::~TNTimerAutoUnregisterProxy()
{
    const std::vector<TNTimerItemPtr> items = std::move(m_timerItems);
    for (const auto &item : items)
        if (auto timer = item->m_timer.lock())
            timer->detach(item, true);
}

std::shared_ptr<TNTimerAutoUnregisterProxy> tn_timerAutoUnregisterProxy(const ObserverOwner &owner)
{
    return detail::Attachments::get<TNTimerAutoUnregisterProxy>(
        owner, &kAutoUnregisterKey,
        std::function<std::shared_ptr<TNTimerAutoUnregisterProxy>()>(
            [] { return std::make_shared<TNTimerAutoUnregisterProxy>(); }));
}

std::shared_ptr<TNTimerAutoUnregisterProxy> tn_timerAutoUnregisterProxyNonLazy(const ObserverOwner &owner)
{
    return detail::Attachments::get<TNTimerAutoUnregisterProxy>(owner, &kAutoUnregisterKey, {});
}

} // namespace kalvo
