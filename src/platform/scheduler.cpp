#include "scheduler_p.h"

#include <QCoreApplication>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kalvo {

// ---- Main thread ----

namespace {

// The thread that loaded the library stands in for the main thread until a
// QCoreApplication exists; the startup hook below then records the real one.
std::atomic<std::thread::id> g_mainThread{std::this_thread::get_id()};

} // namespace

} // namespace kalvo

// Runs on the main thread when the QCoreApplication is constructed (or at
// load, when the library comes after it).
static void kalvoRecordMainThread()
{
    kalvo::g_mainThread.store(std::this_thread::get_id());
    // Creating the default scheduler here puts its event receiver on the
    // main thread even if the first async() comes from a worker.
    kalvo::detail::defaultScheduler();
}
Q_COREAPP_STARTUP_FUNCTION(kalvoRecordMainThread)

namespace kalvo {

bool isMainThread()
{
    return std::this_thread::get_id() == g_mainThread.load(std::memory_order_relaxed);
}

// ---- Work items ----

WorkItem::WorkItem(std::shared_ptr<detail::WorkState> state) : m_state(std::move(state)) {}

void WorkItem::cancel() const
{
    if (!m_state)
        return;
    int expected = detail::WorkState::Pending;
    if (m_state->state.compare_exchange_strong(expected, detail::WorkState::Cancelled,
                                               std::memory_order_acq_rel)) {
        // Captured objects are released now, not when the due time passes.
        m_state->fn = nullptr;
    }
}

bool WorkItem::isCancelled() const
{
    return m_state && m_state->isCancelled();
}

bool WorkItem::hasRun() const
{
    return m_state && m_state->state.load(std::memory_order_acquire) == detail::WorkState::Started;
}

bool WorkItem::isPending() const
{
    return m_state && m_state->state.load(std::memory_order_acquire) == detail::WorkState::Pending;
}

// ---- Current scheduler ----

namespace {

std::atomic<Scheduler *> g_current{nullptr};
std::mutex g_installMutex;
std::shared_ptr<Scheduler> g_installed; // keeps g_current alive

} // namespace

Scheduler::~Scheduler() = default;

Scheduler &Scheduler::current()
{
    if (Scheduler *s = g_current.load(std::memory_order_acquire))
        return *s;
    return detail::defaultScheduler();
}

std::shared_ptr<Scheduler> Scheduler::install(std::shared_ptr<Scheduler> scheduler)
{
    std::lock_guard lock(g_installMutex);
    std::shared_ptr<Scheduler> previous = std::move(g_installed);
    g_installed = std::move(scheduler);
    g_current.store(g_installed.get(), std::memory_order_release);
    return previous;
}

void async(std::function<void()> fn)
{
    Scheduler::current().async(std::move(fn));
}

WorkItem asyncAfter(double seconds, std::function<void()> fn)
{
    return Scheduler::current().asyncAfter(seconds, std::move(fn));
}

double now()
{
    return Scheduler::current().now();
}

QDateTime currentDateTime()
{
    return Scheduler::current().currentDateTime();
}

void syncOnMain(const std::function<void()> &fn)
{
    if (isMainThread()) {
        fn();
        return;
    }
    detail::postAndWait([](std::function<void()> task) { async(std::move(task)); }, fn);
}

void detail::postAndWait(const std::function<void(std::function<void()>)> &post, const std::function<void()> &task)
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    post([&] {
        task();
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_one();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
}

long long delayToNanoseconds(double seconds)
{
    constexpr double kMaxSeconds = 1.0e9; // ~31 years; keeps nanoseconds in range
    if (!(seconds > 0.0)) // negative, zero and NaN
        return 0;
    if (seconds > kMaxSeconds)
        seconds = kMaxSeconds;
    return std::llround(seconds * 1.0e9);
}

} // namespace kalvo
