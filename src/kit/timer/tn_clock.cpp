#include <kalvo/timer/tnclock.h>

#include <kalvo/platform/scheduler.h>

#include "repeating_timer_p.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace kalvo {

TNClockWatcher::~TNClockWatcher() = default;

namespace {

struct WatcherEntry
{
    std::weak_ptr<TNClockWatcher> shared;
    QPointer<QObject> object;
    TNClockWatcher *watcher = nullptr;
    bool isObject = false;
    std::shared_ptr<bool> active = std::make_shared<bool>(true);

    bool alive() const { return isObject ? !object.isNull() : !shared.expired(); }
};

} // namespace

struct TNClock::Private
{
    detail::RepeatingTimer timerSecond;
    int minute = -1;
    int hour = 0;
    int day = -1;
    // The full date behind `day`: a jump to the same day of another month
    // (a machine asleep for weeks) is a day change too.
    QDate date;
    std::vector<WatcherEntry> pWatchers;

    void readNow()
    {
        const QDateTime now = currentDateTime();
        date = now.date();
        day = date.day();
        hour = now.time().hour();
        minute = now.time().minute();
    }

    void fire()
    {
        const QDateTime now = currentDateTime();
        const QDate newDate = now.date();
        const int newHour = now.time().hour();
        const int newMinute = now.time().minute();
        const bool dayChanged = newDate != date || newDate.day() != day;
        const bool hourChanged = newHour != hour;
        const bool minuteChanged = newMinute != minute;
        date = newDate;
        day = newDate.day();
        hour = newHour;
        minute = newMinute;

        pWatchers.erase(std::remove_if(pWatchers.begin(), pWatchers.end(),
                                       [](const WatcherEntry &e) { return !e.alive(); }),
                        pWatchers.end());
        const std::vector<WatcherEntry> snapshot = pWatchers;
        for (const WatcherEntry &entry : snapshot) {
            // Each call may remove or destroy this watcher or others.
            auto call = [&entry](void (TNClockWatcher::*method)()) {
                if (!*entry.active)
                    return;
                if (entry.isObject) {
                    if (!entry.object.isNull())
                        (entry.watcher->*method)();
                } else if (auto keep = entry.shared.lock()) {
                    ((*keep).*method)();
                }
            };
            call(&TNClockWatcher::ticktack);
            if (dayChanged)
                call(&TNClockWatcher::dayChanged);
            if (hourChanged)
                call(&TNClockWatcher::hourChanged);
            if (minuteChanged)
                call(&TNClockWatcher::minuteChanged);
        }
    }

    bool contains(const TNClockWatcher *watcher) const
    {
        return std::any_of(pWatchers.begin(), pWatchers.end(),
                           [watcher](const WatcherEntry &e) { return e.alive() && e.watcher == watcher; });
    }
};

TNClock &TNClock::sharedClock()
{
    static TNClock *clock = new TNClock;
    return *clock;
}

TNClock::TNClock() : d(std::make_shared<Private>())
{
    d->readNow();
    startTimer();
}

TNClock::~TNClock()
{
    d->timerSecond.stop();
}

void TNClock::addWatcher(const std::shared_ptr<TNClockWatcher> &watcher)
{
    if (!watcher || d->contains(watcher.get()))
        return;
    WatcherEntry entry;
    entry.shared = watcher;
    entry.watcher = watcher.get();
    d->pWatchers.push_back(std::move(entry));
}

void TNClock::addObjectWatcher(QObject *object, TNClockWatcher *watcher)
{
    if (!object || !watcher || d->contains(watcher))
        return;
    WatcherEntry entry;
    entry.object = object;
    entry.watcher = watcher;
    entry.isObject = true;
    d->pWatchers.push_back(std::move(entry));
}

void TNClock::removeWatcher(const TNClockWatcher *watcher)
{
    auto &list = d->pWatchers;
    for (auto it = list.begin(); it != list.end();) {
        if (it->watcher == watcher || !it->alive()) {
            *it->active = false;
            it = list.erase(it);
        } else {
            ++it;
        }
    }
}

int TNClock::watcherCount() const
{
    return static_cast<int>(std::count_if(d->pWatchers.begin(), d->pWatchers.end(),
                                          [](const WatcherEntry &e) { return e.alive(); }));
}

void TNClock::startTimer()
{
    std::weak_ptr<Private> weak = d; // a watcher may destroy this clock
    d->timerSecond.start(kTickInterval, kTickTolerance, [weak] {
        if (auto p = weak.lock())
            p->fire();
    });
    d->fire();
}

void TNClock::stopTimer()
{
    d->timerSecond.stop();
}

bool TNClock::isRunning() const
{
    return d->timerSecond.isRunning();
}

int TNClock::day() const
{
    return d->day;
}

int TNClock::hour() const
{
    return d->hour;
}

int TNClock::minute() const
{
    return d->minute;
}

} // namespace kalvo
