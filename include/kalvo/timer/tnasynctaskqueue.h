// A serial background queue of tasks that report on the main thread.
//
//   kalvo::TNAsyncTaskQueue queue(QStringLiteral("thumbnails"));
//   auto task = kalvo::TNAsyncTask::taskWithBlock(
//       [path] { return QVariant(renderThumbnail(path)); },                 // background
//       [](const QVariant &image, kalvo::TNAsyncBlockTask &) { show(image); },   // main thread
//       [](const QVariant &, kalvo::TNAsyncBlockTask &) { showPlaceholder(); }); // cancelled
//   queue.submitTask(task);
//   task->cancel();   // from any thread; the cancellation handler runs instead
//
// Tasks run one at a time in submission order on the queue's thread (a
// SerialQueue labelled "TNAsyncTaskQueue-<identifier>"). The result, or the
// cancellation, is delivered synchronously on the main thread while the
// worker waits, so a task's handlers run before the next task starts. A task
// runs at most once: submitting it again, or submitting a cancelled task,
// does nothing. Results are QVariant; a null QVariant stands for nil.
//
// Task states are atomic bytes moved with compare-and-swap, so cancel() may
// race with the worker from any thread. Destroying the queue waits for the
// tasks already submitted; on the main thread it delivers their results
// itself while it waits.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

namespace kalvo {

class TNAsyncBlockTask;

class KALVO_EXPORT TNAsyncTask : public std::enable_shared_from_this<TNAsyncTask>
{
public:
    enum class State : quint8 {
        newTask = 0,
        submitted = 1,
        finished = 2, // result computed
        cancelled = 3,
        delivered = 4, // finished and its result handled
    };

    TNAsyncTask();
    explicit TNAsyncTask(const QString &identifier);
    virtual ~TNAsyncTask();

    TNAsyncTask(const TNAsyncTask &) = delete;
    TNAsyncTask &operator=(const TNAsyncTask &) = delete;

    QString identifier() const { return m_identifier; }
    State state() const { return static_cast<State>(m_state.load(std::memory_order_acquire)); }

    // Any state but delivered becomes cancelled. Safe from any thread.
    void cancel();
    bool isCancelled() const;
    bool isFinished() const; // finished or delivered

    // On the queue's thread. The base class computes nothing (nil).
    virtual QVariant runInBackground();
    // On the main thread.
    virtual void handleResult(const QVariant &result);
    // On the main thread: nil when cancelled before running, else the result.
    virtual void handleCancellationWithResult(const QVariant &result);

    using Block = std::function<QVariant()>;
    using Handler = std::function<void(const QVariant &result, TNAsyncBlockTask &task)>;

    static std::shared_ptr<TNAsyncBlockTask> taskWithBlock(Block main, Handler resultHandler);
    static std::shared_ptr<TNAsyncBlockTask> taskWithBlock(Block main, Handler resultHandler,
                                                           Handler cancellationHandler);

private:
    friend class TNAsyncTaskQueue;
    // from -> to, atomically; false when the state was not `from`.
    bool transition(State from, State to);

    QString m_identifier;
    std::atomic<quint8> m_state{0};
};

class KALVO_EXPORT TNAsyncBlockTask : public TNAsyncTask
{
public:
    TNAsyncBlockTask(Block main, Handler resultHandler, Handler cancellationHandler = {});

    const Block &main() const { return m_main; }
    const Handler &resultHandler() const { return m_resultHandler; }
    const Handler &cancellationHandler() const { return m_cancellationHandler; }

    QVariant runInBackground() override; // main(), or nil without it
    void handleResult(const QVariant &result) override;
    void handleCancellationWithResult(const QVariant &result) override;

private:
    Block m_main;
    Handler m_resultHandler;
    Handler m_cancellationHandler;
};

class KALVO_EXPORT TNAsyncTaskQueue
{
public:
    static constexpr int kDefaultQualityOfService = 21;

    TNAsyncTaskQueue(); // no identifier
    // The quality-of-service class is recorded; the queue's thread runs at
    // the normal priority.
    explicit TNAsyncTaskQueue(const QString &identifier, int qos = kDefaultQualityOfService);
    ~TNAsyncTaskQueue();
    static std::shared_ptr<TNAsyncTaskQueue> queueWithIdentifier(const QString &identifier);

    TNAsyncTaskQueue(const TNAsyncTaskQueue &) = delete;
    TNAsyncTaskQueue &operator=(const TNAsyncTaskQueue &) = delete;

    QString identifier() const;
    // "TNAsyncTaskQueue-<identifier>", or "TNAsyncTaskQueue" without one.
    QString label() const;
    int qualityOfService() const;

    // Accepts a task only in the new state; otherwise does nothing.
    void submitTask(const std::shared_ptr<TNAsyncTask> &task);
    // Tasks computing or delivering right now.
    int numberOfRunningTasks() const;

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace kalvo
