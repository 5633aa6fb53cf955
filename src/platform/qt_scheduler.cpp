// The scheduler on the Qt event loop.
//
// async(): closures are appended to a locked vector; only the call that finds
// no wake-up in flight posts one QEvent, so a burst of calls costs one
// wake-up and one event, and the batch runs in order when it arrives.
//
// asyncAfter(): items wait in a min-heap on (due, seq) behind a single
// precise Qt timer armed for the earliest due time. Qt timers are kept in a
// sorted list, so one timer per item would make scheduling linear and a burst
// of n items quadratic; the heap keeps it O(log n).
//
// Nested event loops (a dialog's exec() inside a closure): the rest of the
// batch and any due items run inside the nested loop, as queued Qt calls do.
// Before the nested loop blocks, the dispatcher's aboutToBlock posts a
// wake-up when work is left.
#include "scheduler_p.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace kalvo::detail {

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class QtScheduler;

class Receiver final : public QObject
{
public:
    explicit Receiver(QtScheduler &owner) : m_owner(owner) {}

protected:
    void customEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QtScheduler &m_owner;
};

class QtScheduler final : public Scheduler
{
public:
    QtScheduler() : m_epoch(std::chrono::steady_clock::now())
    {
        m_receiver = new Receiver(*this);
        if (QCoreApplication *app = QCoreApplication::instance())
            m_receiver->moveToThread(app->thread());
    }

    void async(std::function<void()> fn) override
    {
        std::unique_lock lock(m_mutex);
        m_queue.push_back(std::move(fn));
        if (m_wakePosted)
            return;
        m_wakePosted = true;
        lock.unlock();
        postWake();
    }

    WorkItem asyncAfter(double seconds, std::function<void()> fn) override
    {
        auto work = std::make_shared<WorkState>(std::move(fn));
        const long long due = nowNs() + delayToNanoseconds(seconds);
        {
            std::lock_guard lock(m_mutex);
            m_heap.push(TimedWork{due, m_seq++, work});
        }
        if (onReceiverThread()) {
            if (due < m_armedDue)
                rearm();
        } else {
            // Timers belong to the main thread: let it arm one.
            wakeFromAnyThread();
        }
        return WorkItem(std::move(work));
    }

    double now() const override { return static_cast<double>(nowNs()) / 1.0e9; }

    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }

    // ---- Main-thread side ----

    void service()
    {
        connectNestedLoopHook();
        ++m_depth;
        runAsyncBatch();
        runDueItems();
        --m_depth;
        rearm();
    }

    void timerFired(int id)
    {
        if (id != m_timerId)
            return;
        m_receiver->killTimer(m_timerId);
        m_timerId = 0;
        m_armedDue = kNever;
        service();
    }

private:
    static constexpr long long kNever = LLONG_MAX;

    long long nowNs() const
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_epoch)
            .count();
    }

    bool onReceiverThread() const { return QThread::currentThread() == m_receiver->thread(); }

    void postWake() { QCoreApplication::postEvent(m_receiver, new QEvent(kWakeEvent)); }

    void wakeFromAnyThread()
    {
        std::unique_lock lock(m_mutex);
        if (m_wakePosted)
            return;
        m_wakePosted = true;
        lock.unlock();
        postWake();
    }

    void runAsyncBatch()
    {
        {
            std::lock_guard lock(m_mutex);
            // Cleared on every service, not only on a swap: a nested service
            // may continue a batch without swapping, and a stale flag would
            // stop every later async() from posting a wake-up.
            m_wakePosted = false;
            if (m_runIndex >= m_running.size()) {
                m_running.clear();
                m_running.swap(m_queue); // m_queue keeps the old capacity
                m_runIndex = 0;
            }
        }
        while (m_runIndex < m_running.size()) {
            std::function<void()> fn = std::move(m_running[m_runIndex++]);
            fn();
        }
    }

    void runDueItems()
    {
        // Only items that were due and scheduled before this pass started:
        // an item that reschedules itself with no delay runs on the next pass
        // instead of starving the event loop.
        const long long limit = nowNs();
        unsigned long long seqLimit;
        {
            std::lock_guard lock(m_mutex);
            seqLimit = m_seq;
        }
        for (;;) {
            std::shared_ptr<WorkState> work;
            {
                std::lock_guard lock(m_mutex);
                if (m_heap.empty() || m_heap.top().due > limit || m_heap.top().seq >= seqLimit)
                    break;
                work = m_heap.pop().work;
            }
            work->run();
        }
    }

    void rearm()
    {
        long long next = kNever;
        {
            std::lock_guard lock(m_mutex);
            // Cancelled items at the top would only cause empty wake-ups.
            while (!m_heap.empty() && m_heap.top().work->isCancelled())
                m_heap.pop();
            if (!m_heap.empty())
                next = m_heap.top().due;
        }
        if (next == m_armedDue && m_timerId != 0)
            return;
        if (m_timerId != 0) {
            m_receiver->killTimer(m_timerId);
            m_timerId = 0;
            m_armedDue = kNever;
        }
        if (next == kNever)
            return;
        if (QAbstractEventDispatcher::instance(m_receiver->thread()) == nullptr) {
            // No event loop yet (before QCoreApplication): the posted event
            // arrives once one runs, and arms the timer then.
            wakeFromAnyThread();
            return;
        }
        constexpr long long kMaxWaitMs = 24LL * 3600 * 1000; // re-armed when it fires
        const long long remainingNs = next - nowNs();
        const long long ms = std::clamp((remainingNs + 999'999) / 1'000'000, 0LL, kMaxWaitMs);
        m_timerId = m_receiver->startTimer(std::chrono::milliseconds(ms), Qt::PreciseTimer);
        m_armedDue = next;
    }

    void connectNestedLoopHook()
    {
        if (m_hooked)
            return;
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(m_receiver->thread());
        if (!dispatcher)
            return;
        m_hooked = true;
        QObject::connect(
            dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_receiver,
            [this] {
                if (m_depth == 0)
                    return;
                // A closure is waiting in a nested loop: keep its batch moving.
                bool leftover = m_runIndex < m_running.size();
                if (!leftover) {
                    std::lock_guard lock(m_mutex);
                    leftover = !m_queue.empty()
                               || (!m_heap.empty() && m_heap.top().due <= nowNs());
                }
                if (leftover)
                    wakeFromAnyThread();
            },
            Qt::DirectConnection);
    }

    const std::chrono::steady_clock::time_point m_epoch;
    Receiver *m_receiver = nullptr; // lives for the process

    std::mutex m_mutex; // guards m_queue, m_wakePosted, m_heap, m_seq
    std::vector<std::function<void()>> m_queue;
    bool m_wakePosted = false;
    TimedHeap m_heap;
    unsigned long long m_seq = 0;

    // Main thread only.
    std::vector<std::function<void()>> m_running;
    std::size_t m_runIndex = 0;
    int m_depth = 0;
    int m_timerId = 0;
    long long m_armedDue = kNever;
    bool m_hooked = false;
};

void Receiver::customEvent(QEvent *event)
{
    if (event->type() == kWakeEvent)
        m_owner.service();
}

void Receiver::timerEvent(QTimerEvent *event)
{
    m_owner.timerFired(event->timerId());
}

} // namespace

Scheduler &defaultScheduler()
{
    // Never destroyed: closures may still be posted while statics unwind.
    static QtScheduler *scheduler = new QtScheduler;
    return *scheduler;
}

} // namespace kalvo::detail
