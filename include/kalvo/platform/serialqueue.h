// A labelled background thread that runs tasks one at a time, in the order
// they were submitted. Results go back to the main thread with
// asyncThenMain(), or with kalvo::async()/syncOnMain() from inside a task.
//
// Destroying the queue runs the tasks already submitted, then joins the
// thread; submitting from a task of the same queue during destruction is
// still accepted and run. Do not destroy a queue from its own thread, nor
// while one of its tasks waits for the main thread (syncOnMain) that is
// destroying it.
#pragma once

#include <kalvo/platform/scheduler.h>

#include <QString>

#include <functional>
#include <memory>
#include <type_traits>

namespace kalvo {

class KALVO_EXPORT SerialQueue
{
public:
    explicit SerialQueue(const QString &label);
    ~SerialQueue();

    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    QString label() const;

    void async(std::function<void()> task);

    // Runs the task and waits for it. Called from a task of this queue it
    // runs at once instead of waiting for itself.
    void sync(const std::function<void()> &task);

    // Runs `work` on the queue, then `deliver` with its result on the main
    // thread (through the current scheduler).
    template <typename Work, typename Deliver>
    void asyncThenMain(Work work, Deliver deliver)
    {
        async([work = std::move(work), deliver = std::move(deliver)]() mutable {
            if constexpr (std::is_void_v<std::invoke_result_t<Work &>>) {
                work();
                kalvo::async(std::move(deliver));
            } else {
                kalvo::async([deliver = std::move(deliver), result = work()]() mutable {
                    deliver(std::move(result));
                });
            }
        });
    }

    // True on this queue's thread.
    bool isCurrent() const;
    // The label of the queue whose task is running on this thread, or empty.
    static QString currentLabel();

    // Tasks submitted and not finished.
    int pendingCount() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
