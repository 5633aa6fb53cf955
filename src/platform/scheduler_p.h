// Internals shared by the scheduler backends.
#pragma once

#include <kalvo/platform/scheduler.h>

#include <atomic>
#include <climits>
#include <vector>

namespace kalvo::detail {

struct WorkState
{
    enum : int { Pending = 0, Started = 1, Cancelled = 2 };

    explicit WorkState(std::function<void()> f) : fn(std::move(f)) {}

    std::atomic<int> state{Pending};
    // Owned by whoever moves `state` out of Pending: the runner calls it, a
    // canceller destroys it.
    std::function<void()> fn;

    // Runs the closure unless the item was cancelled first; true when it ran.
    bool run()
    {
        int expected = Pending;
        if (!state.compare_exchange_strong(expected, Started, std::memory_order_acq_rel))
            return false;
        std::function<void()> f = std::move(fn);
        fn = nullptr;
        if (f)
            f();
        return true;
    }

    bool isCancelled() const { return state.load(std::memory_order_acquire) == Cancelled; }
};

// A delayed item in a backend's heap. Times are nanoseconds on the backend's
// clock; `seq` keeps equal due times first-scheduled first.
struct TimedWork
{
    long long due;
    unsigned long long seq;
    std::shared_ptr<WorkState> work;
};

// Orders a std::*_heap as a min-heap on (due, seq).
struct LaterFirst
{
    bool operator()(const TimedWork &a, const TimedWork &b) const
    {
        return a.due != b.due ? a.due > b.due : a.seq > b.seq;
    }
};

// The Qt event-loop scheduler, created on first use.
Scheduler &defaultScheduler();

} // namespace kalvo::detail
