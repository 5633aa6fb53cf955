// Internals shared by the scheduler backends.
#pragma once

#include <kalvo/platform/scheduler.h>

#include <atomic>
#include <algorithm>
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

inline bool runsBefore(const TimedWork &a, const TimedWork &b)
{
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
}

// A min-heap on (due, seq) with four children per node: half the depth of a
// binary heap, and siblings share cache lines, which matters once the heap
// outgrows the cache (hundreds of thousands of pending items).
class TimedHeap
{
public:
    bool empty() const { return m_items.empty(); }
    std::size_t size() const { return m_items.size(); }
    const TimedWork &top() const { return m_items.front(); }
    const std::vector<TimedWork> &items() const { return m_items; }

    void push(TimedWork item)
    {
        std::size_t i = m_items.size();
        m_items.push_back(std::move(item));
        TimedWork moving = std::move(m_items[i]);
        while (i > 0) {
            const std::size_t parent = (i - 1) / 4;
            if (!runsBefore(moving, m_items[parent]))
                break;
            m_items[i] = std::move(m_items[parent]);
            i = parent;
        }
        m_items[i] = std::move(moving);
    }

    TimedWork pop()
    {
        TimedWork result = std::move(m_items.front());
        TimedWork last = std::move(m_items.back());
        m_items.pop_back();
        const std::size_t n = m_items.size();
        if (n == 0)
            return result;
        std::size_t i = 0;
        for (;;) {
            const std::size_t first = 4 * i + 1;
            if (first >= n)
                break;
            std::size_t best = first;
            const std::size_t end = std::min(first + 4, n);
            for (std::size_t c = first + 1; c < end; ++c) {
                if (runsBefore(m_items[c], m_items[best]))
                    best = c;
            }
            if (!runsBefore(m_items[best], last))
                break;
            m_items[i] = std::move(m_items[best]);
            i = best;
        }
        m_items[i] = std::move(last);
        return result;
    }

private:
    std::vector<TimedWork> m_items;
};

// Hands `task` to `post` (which runs it on another thread) and blocks until
// it has run.
void postAndWait(const std::function<void(std::function<void()>)> &post, const std::function<void()> &task);

// The Qt event-loop scheduler, created on first use.
Scheduler &defaultScheduler();

} // namespace kalvo::detail
