// The main queue and every delay in Kalvo go through one Scheduler.
//
//   kalvo::async(fn)                  run fn on the main thread, soon, in order
//   kalvo::asyncAfter(seconds, fn)    run fn on the main thread after a delay;
//                                     returns a WorkItem that can cancel it
//   kalvo::now()                      monotonic seconds for measuring delays
//   kalvo::currentDateTime()          the wall clock (calendars, day changes)
//
// The default scheduler runs on the Qt event loop of the application's main
// thread: pending async calls are drained in one batch per wake-up, and
// delayed items wait in a heap behind a single Qt timer, so scheduling costs
// O(log n) and never one Qt timer per item. Tests install a ManualClock
// (manualclock.h) and move time by hand, so no test sleeps.
//
// async() and asyncAfter() may be called from any thread; the work always
// runs on the main thread. Items run in due-time order, first-scheduled first
// among equal due times. A delay that is negative or not a number counts as 0.
#pragma once

#include <kalvo/global.h>

#include <QDateTime>

#include <functional>
#include <memory>

namespace kalvo {

namespace detail {
struct WorkState;
}

// A handle to one delayed item. Copies share the item. An empty handle (the
// default) does nothing.
class KALVO_EXPORT WorkItem
{
public:
    WorkItem() = default;
    explicit WorkItem(std::shared_ptr<detail::WorkState> state);

    // Prevents the item from running and releases its closure at once. Has no
    // effect once the item has started running. Safe from any thread.
    void cancel() const;

    bool isCancelled() const;
    bool hasRun() const; // started running (possibly still on the stack)
    bool isPending() const; // neither run nor cancelled
    explicit operator bool() const { return m_state != nullptr; }

private:
    std::shared_ptr<detail::WorkState> m_state;
};

class KALVO_EXPORT Scheduler
{
public:
    virtual ~Scheduler();

    virtual void async(std::function<void()> fn) = 0;
    virtual WorkItem asyncAfter(double seconds, std::function<void()> fn) = 0;
    virtual double now() const = 0;
    virtual QDateTime currentDateTime() const = 0;

    // The scheduler in use: the installed one, else the Qt event-loop one
    // (created on first use; it needs a QCoreApplication to deliver work).
    static Scheduler &current();

    // Makes `scheduler` current and returns the previous one (null when the
    // default was in use). Install before other threads schedule work; it is
    // meant for tests and hosts with their own loop. Passing null restores
    // the default.
    static std::shared_ptr<Scheduler> install(std::shared_ptr<Scheduler> scheduler);
};

KALVO_EXPORT void async(std::function<void()> fn);
KALVO_EXPORT WorkItem asyncAfter(double seconds, std::function<void()> fn);
KALVO_EXPORT double now();
KALVO_EXPORT QDateTime currentDateTime();

// Runs fn on the main thread and waits for it. On the main thread it runs at
// once. Never call it from a thread the main thread is waiting for.
KALVO_EXPORT void syncOnMain(const std::function<void()> &fn);

// The thread of the QCoreApplication, or, before one exists, the thread that
// loaded the library.
KALVO_EXPORT bool isMainThread();

// Delay arithmetic shared by the backends: seconds to whole nanoseconds,
// with negative and NaN delays as 0 and huge ones capped at about 30 years.
KALVO_EXPORT long long delayToNanoseconds(double seconds);

} // namespace kalvo
