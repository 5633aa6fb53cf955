#include <kalvo/platform/serialqueue.h>

#include "scheduler_p.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>

namespace kalvo {

namespace {
thread_local const SerialQueue *t_currentQueue = nullptr;
thread_local QString *t_currentLabel = nullptr;
} // namespace

struct SerialQueue::Private
{
    QString label;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    int running = 0;
    bool stopping = false;
    std::thread thread;

    void loop(const SerialQueue *owner)
    {
        t_currentQueue = owner;
        t_currentLabel = &label;
        // Thread names are limited to 15 bytes; enough to spot it in a debugger.
        const QByteArray name = label.toUtf8().left(15);
        pthread_setname_np(pthread_self(), name.constData());
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty())
                break; // stopping with nothing left
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            running = 1;
            lock.unlock();
            task();
            task = nullptr; // release captures outside the lock
            lock.lock();
            running = 0;
        }
        t_currentQueue = nullptr;
        t_currentLabel = nullptr;
    }
};

SerialQueue::SerialQueue(const QString &label) : d(std::make_unique<Private>())
{
    d->label = label;
    d->thread = std::thread([this] { d->loop(this); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
    }
    d->wake.notify_one();
    if (d->thread.joinable())
        d->thread.join();
}

QString SerialQueue::label() const
{
    return d->label;
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard lock(d->mutex);
        d->tasks.push_back(std::move(task));
    }
    d->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()> &task)
{
    if (isCurrent()) {
        task();
        return;
    }
    detail::postAndWait([this](std::function<void()> wrapped) { async(std::move(wrapped)); }, task);
}

bool SerialQueue::isCurrent() const
{
    return t_currentQueue == this;
}

QString SerialQueue::currentLabel()
{
    return t_currentLabel ? *t_currentLabel : QString();
}

int SerialQueue::pendingCount() const
{
    std::lock_guard lock(d->mutex);
    return static_cast<int>(d->tasks.size()) + d->running;
}

} // namespace kalvo
