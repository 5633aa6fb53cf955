#include <kalvo/timer/tnasynctaskqueue.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/platform/serialqueue.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_set>

namespace kalvo {

// ---- Tasks ----

TNAsyncTask::TNAsyncTask() = default;

TNAsyncTask::TNAsyncTask(const QString &identifier) : m_identifier(identifier) {}

TNAsyncTask::~TNAsyncTask() = default;

bool TNAsyncTask::transition(State from, State to)
{
    quint8 expected = static_cast<quint8>(from);
    return m_state.compare_exchange_strong(expected, static_cast<quint8>(to), std::memory_order_acq_rel);
}

void TNAsyncTask::cancel()
{
    quint8 current = m_state.load(std::memory_order_acquire);
    for (;;) {
        if (current == static_cast<quint8>(State::delivered) || current == static_cast<quint8>(State::cancelled))
            return;
        // On failure `current` holds the state that won; look again.
        if (m_state.compare_exchange_weak(current, static_cast<quint8>(State::cancelled), std::memory_order_acq_rel))
            return;
    }
}

bool TNAsyncTask::isCancelled() const
{
    return state() == State::cancelled;
}

bool TNAsyncTask::isFinished() const
{
    const State s = state();
    return s == State::finished || s == State::delivered;
}

QVariant TNAsyncTask::runInBackground()
{
    return {};
}

void TNAsyncTask::handleResult(const QVariant &) {}

void TNAsyncTask::handleCancellationWithResult(const QVariant &) {}

std::shared_ptr<TNAsyncBlockTask> TNAsyncTask::taskWithBlock(Block main, Handler resultHandler)
{
    return std::make_shared<TNAsyncBlockTask>(std::move(main), std::move(resultHandler));
}

std::shared_ptr<TNAsyncBlockTask> TNAsyncTask::taskWithBlock(Block main, Handler resultHandler,
                                                             Handler cancellationHandler)
{
    return std::make_shared<TNAsyncBlockTask>(std::move(main), std::move(resultHandler),
                                              std::move(cancellationHandler));
}

TNAsyncBlockTask::TNAsyncBlockTask(Block main, Handler resultHandler, Handler cancellationHandler)
    : m_main(std::move(main)), m_resultHandler(std::move(resultHandler)),
      m_cancellationHandler(std::move(cancellationHandler))
{
}

QVariant TNAsyncBlockTask::runInBackground()
{
    return m_main ? m_main() : QVariant();
}

void TNAsyncBlockTask::handleResult(const QVariant &result)
{
    if (m_resultHandler)
        m_resultHandler(result, *this);
}

void TNAsyncBlockTask::handleCancellationWithResult(const QVariant &result)
{
    if (m_cancellationHandler)
        m_cancellationHandler(result, *this);
}

// ---- Queue ----

namespace {

// One delivery waiting for the main thread.
struct Delivery
{
    std::function<void()> fn;
    bool done = false;
};

} // namespace

struct TNAsyncTaskQueue::Private : std::enable_shared_from_this<TNAsyncTaskQueue::Private>
{
    QString identifier;
    QString label;
    int qos = kDefaultQualityOfService;
    std::unique_ptr<SerialQueue> queue;

    mutable std::mutex runningMutex;
    std::unordered_set<std::shared_ptr<TNAsyncTask>> running;

    // Hand-off to the main thread. The destructor serves it directly, so a
    // worker waiting for the main thread never waits for a main thread that
    // is itself waiting for the worker.
    std::mutex mailMutex;
    std::condition_variable mailChanged;
    std::deque<std::shared_ptr<Delivery>> mailbox;
    int outstanding = 0; // submitted tasks not finished

    // Runs one waiting delivery; false when none waited. Main thread.
    bool serveOne(std::unique_lock<std::mutex> &lock)
    {
        if (mailbox.empty())
            return false;
        std::shared_ptr<Delivery> delivery = mailbox.front();
        mailbox.pop_front();
        lock.unlock();
        delivery->fn();
        lock.lock();
        delivery->done = true;
        mailChanged.notify_all();
        return true;
    }

    void serveMailbox()
    {
        std::unique_lock lock(mailMutex);
        while (serveOne(lock)) {
        }
    }

    // Runs fn on the main thread and waits for it. Worker thread.
    void deliverOnMain(std::function<void()> fn)
    {
        if (isMainThread()) {
            fn();
            return;
        }
        auto delivery = std::make_shared<Delivery>();
        delivery->fn = std::move(fn);
        {
            std::lock_guard lock(mailMutex);
            mailbox.push_back(delivery);
        }
        mailChanged.notify_all();
        std::weak_ptr<Private> weak = weak_from_this();
        kalvo::async([weak] {
            if (auto self = weak.lock())
                self->serveMailbox();
        });
        std::unique_lock lock(mailMutex);
        mailChanged.wait(lock, [&] { return delivery->done; });
    }

    void run(const std::shared_ptr<TNAsyncTask> &task)
    {
        if (task->isCancelled()) {
            deliverOnMain([&] { task->handleCancellationWithResult(QVariant()); });
        } else {
            {
                std::lock_guard lock(runningMutex);
                running.insert(task);
            }
            const QVariant result = task->runInBackground();
            if (task->transition(TNAsyncTask::State::submitted, TNAsyncTask::State::finished)) {
                deliverOnMain([&] {
                    // Claiming the delivery atomically settles a race with
                    // cancel(): exactly one of the two handlers runs.
                    if (task->transition(TNAsyncTask::State::finished, TNAsyncTask::State::delivered))
                        task->handleResult(result);
                    else
                        task->handleCancellationWithResult(result);
                });
            } else {
                deliverOnMain([&] { task->handleCancellationWithResult(result); });
            }
            std::lock_guard lock(runningMutex);
            running.erase(task);
        }
        std::lock_guard lock(mailMutex);
        --outstanding;
        mailChanged.notify_all();
    }
};

TNAsyncTaskQueue::TNAsyncTaskQueue() : TNAsyncTaskQueue(QString()) {}

TNAsyncTaskQueue::TNAsyncTaskQueue(const QString &identifier, int qos) : d(std::make_shared<Private>())
{
    d->identifier = identifier;
    d->qos = qos;
    d->label = identifier.isEmpty() ? QStringLiteral("TNAsyncTaskQueue")
                                    : QStringLiteral("TNAsyncTaskQueue-%1").arg(identifier);
    d->running.reserve(8);
    d->queue = std::make_unique<SerialQueue>(d->label);
}

TNAsyncTaskQueue::~TNAsyncTaskQueue()
{
    {
        std::unique_lock lock(d->mailMutex);
        const bool onMain = isMainThread();
        while (d->outstanding > 0) {
            if (onMain && d->serveOne(lock))
                continue;
            d->mailChanged.wait(lock);
        }
    }
    d->queue.reset(); // idle now: joins at once
}

std::shared_ptr<TNAsyncTaskQueue> TNAsyncTaskQueue::queueWithIdentifier(const QString &identifier)
{
    return std::make_shared<TNAsyncTaskQueue>(identifier);
}

QString TNAsyncTaskQueue::identifier() const
{
    return d->identifier;
}

QString TNAsyncTaskQueue::label() const
{
    return d->label;
}

int TNAsyncTaskQueue::qualityOfService() const
{
    return d->qos;
}

void TNAsyncTaskQueue::submitTask(const std::shared_ptr<TNAsyncTask> &task)
{
    if (!task || !task->transition(TNAsyncTask::State::newTask, TNAsyncTask::State::submitted))
        return;
    {
        std::lock_guard lock(d->mailMutex);
        ++d->outstanding;
    }
    Private *p = d.get(); // the destructor waits for every submitted task
    d->queue->async([p, task] { p->run(task); });
}

int TNAsyncTaskQueue::numberOfRunningTasks() const
{
    std::lock_guard lock(d->runningMutex);
    return static_cast<int>(d->running.size());
}

} // namespace kalvo
