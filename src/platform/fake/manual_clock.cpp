#include <kalvo/platform/manualclock.h>

#include "../scheduler_p.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kalvo {

struct ManualClock::Private
{
    mutable std::mutex mutex;
    std::condition_variable posted;
    long long nowNs = 0;
    unsigned long long seq = 0;
    detail::TimedHeap heap;
    QDateTime origin; // wall-clock time at nowNs == 0

    void push(long long due, std::shared_ptr<detail::WorkState> work)
    {
        {
            std::lock_guard lock(mutex);
            heap.push(detail::TimedWork{due, seq++, std::move(work)});
        }
        posted.notify_all();
    }

    // Pops the next item due at or before `limit`, moving time to its due
    // time; null when there is none.
    std::shared_ptr<detail::WorkState> popDue(long long limit)
    {
        std::lock_guard lock(mutex);
        if (heap.empty() || heap.top().due > limit)
            return nullptr;
        detail::TimedWork item = heap.pop();
        nowNs = std::max(nowNs, item.due);
        return std::move(item.work);
    }

    // Runs every item due at or before `limit`; returns how many ran.
    int runDue(long long limit)
    {
        int ran = 0;
        while (auto work = popDue(limit)) {
            if (work->run())
                ++ran;
        }
        return ran;
    }
};

ManualClock::ManualClock(QDateTime start) : d(std::make_shared<Private>())
{
    d->origin = start.isValid() ? start : QDateTime(QDate(2026, 1, 5), QTime(9, 0));
    // The clock is owned by its creator; the installed pointer must not
    // delete it.
    m_previous = Scheduler::install(std::shared_ptr<Scheduler>(this, [](Scheduler *) {}));
    m_installed = true;
}

ManualClock::~ManualClock()
{
    if (m_installed)
        Scheduler::install(std::move(m_previous));
}

void ManualClock::async(std::function<void()> fn)
{
    long long due;
    {
        std::lock_guard lock(d->mutex);
        due = d->nowNs;
    }
    d->push(due, std::make_shared<detail::WorkState>(std::move(fn)));
}

WorkItem ManualClock::asyncAfter(double seconds, std::function<void()> fn)
{
    auto work = std::make_shared<detail::WorkState>(std::move(fn));
    long long due;
    {
        std::lock_guard lock(d->mutex);
        due = d->nowNs + delayToNanoseconds(seconds);
    }
    d->push(due, work);
    return WorkItem(std::move(work));
}

double ManualClock::now() const
{
    std::lock_guard lock(d->mutex);
    return static_cast<double>(d->nowNs) / 1.0e9;
}

QDateTime ManualClock::currentDateTime() const
{
    std::lock_guard lock(d->mutex);
    return d->origin.addMSecs(d->nowNs / 1'000'000);
}

void ManualClock::setCurrentDateTime(const QDateTime &dateTime)
{
    std::lock_guard lock(d->mutex);
    d->origin = dateTime.addMSecs(-(d->nowNs / 1'000'000));
}

int ManualClock::advance(double seconds)
{
    long long target;
    {
        std::lock_guard lock(d->mutex);
        target = d->nowNs + delayToNanoseconds(seconds);
    }
    const int ran = d->runDue(target);
    std::lock_guard lock(d->mutex);
    // A closure may itself have advanced past our target.
    d->nowNs = std::max(d->nowNs, target);
    return ran;
}

int ManualClock::runAll(double limitSeconds)
{
    long long limit;
    {
        std::lock_guard lock(d->mutex);
        limit = d->nowNs + delayToNanoseconds(limitSeconds);
    }
    return d->runDue(limit);
}

bool ManualClock::runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        runPending();
        if (done())
            return true;
        std::unique_lock lock(d->mutex);
        const bool woke = d->posted.wait_until(lock, deadline, [this] {
            return !d->heap.empty() && d->heap.top().due <= d->nowNs;
        });
        if (!woke) {
            lock.unlock();
            runPending();
            return done();
        }
    }
}

int ManualClock::pendingCount() const
{
    std::lock_guard lock(d->mutex);
    return static_cast<int>(std::count_if(d->heap.items().begin(), d->heap.items().end(), [](const detail::TimedWork &item) {
        return item.work->state.load() == detail::WorkState::Pending;
    }));
}

double ManualClock::nextDueIn() const
{
    std::lock_guard lock(d->mutex);
    long long best = -1;
    for (const detail::TimedWork &item : d->heap.items()) {
        if (item.work->state.load() != detail::WorkState::Pending)
            continue;
        if (best < 0 || item.due < best)
            best = item.due;
    }
    return best < 0 ? -1.0 : static_cast<double>(best - d->nowNs) / 1.0e9;
}

} // namespace kalvo
