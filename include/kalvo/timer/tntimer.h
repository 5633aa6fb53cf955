// One shared tick driving many named, per-owner repeating callbacks.
//
//   kalvo::TNTimer timer;                        // ticks every 1.0 s while it has items
//   timer.addTimer(widget, "blink", 0.5, 0, [](quint64 count, bool *stop) {
//       if (count == 10) *stop = true;           // finished after this firing
//   });
//   timer.removeTimer(widget, "blink");
//
// An owner is a QObject or a std::shared_ptr-held object (ObserverOwner); its
// items are removed when it is destroyed, so a handler never runs for a
// destroyed owner. A QObject owner's items go when it is destroyed; a shared
// owner's items go at the next tick or lookup after it expired. A null owner
// is allowed: such items live until removed.
//
// Items fire only on ticks: an item's period is its interval rounded up to a
// whole number of ticks (2.5 s on a 1 s timer fires every third tick). The
// platform timer runs only while items exist. Main thread only.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace kalvo {

class TNTimer;

namespace detail {
struct TNTimerState;
}

class KALVO_EXPORT TNTimerItem
{
public:
    // (firings so far, including this one; set *stop to finish the item)
    using Handler = std::function<void(quint64 repeatCount, bool *stop)>;

    const Handler &handler() const { return m_handler; }
    double interval() const { return m_interval; }
    double timeCount() const { return m_timeCount; } // since the last firing
    quint64 repeatNumber() const { return m_repeatNumber; } // 0: unlimited
    quint64 repeatCount() const { return m_repeatCount; }
    bool stop() const { return m_stop; }
    // The owner's address (compared by identity), null for no owner.
    const void *target() const { return m_target.identity(); }
    const ObserverOwner &owner() const { return m_target; }
    QString name() const { return m_name; }
    // Still registered with a timer.
    bool isRegistered() const { return !m_timer.expired(); }

private:
    friend class TNTimer;
    friend class TNTimerAutoUnregisterProxy;
    friend struct detail::TNTimerState;

    Handler m_handler;
    double m_interval = 0.0;
    double m_timeCount = 0.0;
    quint64 m_repeatNumber = 0;
    quint64 m_repeatCount = 0;
    bool m_stop = false;
    ObserverOwner m_target;
    QString m_name;
    std::weak_ptr<detail::TNTimerState> m_timer;
};

using TNTimerItemPtr = std::shared_ptr<TNTimerItem>;

class KALVO_EXPORT TNTimer
{
public:
    TNTimer(); // interval 1.0
    // Intervals of 0.0001 s or less (or not a number) become 1.0.
    explicit TNTimer(double interval);
    ~TNTimer(); // cleanUp()

    TNTimer(const TNTimer &) = delete;
    TNTimer &operator=(const TNTimer &) = delete;

    double interval() const;
    // One tenth of the interval.
    double tolerance() const;
    // The platform timer is running.
    bool isRunning() const;

    // False when `interval` is not positive, the handler is empty or the name
    // is empty. An existing item of the owner and name only restarts its
    // count (handler, interval and repeat number stay); true.
    bool addTimer(const ObserverOwner &owner, const QString &name, double interval, quint64 repeatNumber,
                  TNTimerItem::Handler handler);
    void removeTimer(const ObserverOwner &owner, const QString &name);
    void removeTimerWithTarget(const ObserverOwner &owner);
    // The items of that name of every owner.
    void removeTimerWithName(const QString &name);
    void removeTimerWithTimerItem(const TNTimerItemPtr &item);
    void removeAllTimers();

    TNTimerItemPtr getTimerItemWithTarget(const ObserverOwner &owner, const QString &name) const;
    bool isExistTimer(const ObserverOwner &owner, const QString &name) const;
    // Registered items in registration order.
    std::vector<TNTimerItemPtr> timerItemArray() const;

    // Stops the platform timer and removes every item.
    void cleanUp();

private:
    std::shared_ptr<detail::TNTimerState> d;
};

// The items registered for one owner, attached to it and destroyed with it;
// its destruction removes them from their timers.
class KALVO_EXPORT TNTimerAutoUnregisterProxy
{
public:
    TNTimerAutoUnregisterProxy() = default;
    ~TNTimerAutoUnregisterProxy();

    TNTimerAutoUnregisterProxy(const TNTimerAutoUnregisterProxy &) = delete;
    TNTimerAutoUnregisterProxy &operator=(const TNTimerAutoUnregisterProxy &) = delete;

    std::vector<TNTimerItemPtr> timerItems() const { return m_timerItems; }

private:
    friend class TNTimer;
    friend struct detail::TNTimerState;
    std::vector<TNTimerItemPtr> m_timerItems;
};

// The owner's proxy, created on first use (null without a live owner).
KALVO_EXPORT std::shared_ptr<TNTimerAutoUnregisterProxy> tn_timerAutoUnregisterProxy(const ObserverOwner &owner);
// The owner's proxy if it has one, else null.
KALVO_EXPORT std::shared_ptr<TNTimerAutoUnregisterProxy>
tn_timerAutoUnregisterProxyNonLazy(const ObserverOwner &owner);

} // namespace kalvo
