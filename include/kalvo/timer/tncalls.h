// Deferred calls: objects that throttle, coalesce or batch repeated requests
// into later calls on the main thread.
//
//   auto save = kalvo::TNDelayCall::delayCall([this] { writeSettings(); });
//   save->setNeedsCall(true);                  // many times; one call 0.1 s after the first
//
//   auto log = kalvo::TNCoalesceCall::coalesceCall([](const QVariantList &lines) { ... });
//   log->callWithValue(line);                  // all lines of the next 0.1 s in one call
//
// Values are QVariant; a null QVariant is nil and is ignored where values are
// collected. Every delayed call goes through the object's own weak proxy
// (selfProxy()), so destroying the object (or dropping the last shared_ptr
// to it) drops its pending work: no action runs afterwards. The objects can
// live in a shared_ptr or directly as members. Run-loop modes are recorded
// and passed on with each request; Qt has one event loop, so they select
// nothing. Main thread only; all delays go through the scheduler.
#pragma once

#include <kalvo/timer/tnweakproxy.h>

#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <limits>
#include <memory>

namespace kalvo {

namespace detail {
struct BaseCallState;
struct DelayCallState;
struct AsyncCallState;
struct CoalesceCallState;
struct ConcurrencyCallState;
} // namespace detail

class KALVO_EXPORT TNBaseCall
{
public:
    static constexpr double kDefaultTimeInterval = 0.1;

    virtual ~TNBaseCall(); // cancels pending calls

    TNBaseCall(const TNBaseCall &) = delete;
    TNBaseCall &operator=(const TNBaseCall &) = delete;

    double timeInterval() const;
    void setTimeInterval(double seconds);
    // Empty means the common modes.
    QStringList runloopModes() const;
    void setRunloopModes(const QStringList &modes);

    // A call is scheduled or due.
    bool isInCalling() const;
    // The weak proxy the delayed calls are addressed to.
    std::shared_ptr<TNWeakProxy> selfProxy() const;

protected:
    explicit TNBaseCall(std::shared_ptr<detail::BaseCallState> state);
    std::shared_ptr<detail::BaseCallState> m_state;
};

// Throttle: the action runs timeInterval after the first of a burst of
// requests, or at once when maxAccumulation requests have piled up.
class KALVO_EXPORT TNDelayCall : public TNBaseCall
{
public:
    using Action = std::function<void()>;

    explicit TNDelayCall(Action action = {});
    static std::shared_ptr<TNDelayCall> delayCall(Action action = {});

    Action action() const;
    void setAction(Action action);
    qint64 maxAccumulation() const;
    void setMaxAccumulation(qint64 value); // default: the largest value
    qint64 accumulation() const;
    bool isInActioning() const;
    bool isInCallingByDelay() const;

    // true: one more request; false: forget the requests and drop a pending call.
    void setNeedsCall(bool needsCall);
    // Schedules the action after `seconds` unless such a call is pending.
    void callActionWithDelay(double seconds);
    // Runs the action now, dropping every pending call.
    void callAction();

private:
    detail::DelayCallState &state() const;
};

// The latest value, once, on the next turn of the main queue.
class KALVO_EXPORT TNAsyncCall
{
public:
    using Action = std::function<void(const QVariant &value)>;

    explicit TNAsyncCall(Action action = {});
    ~TNAsyncCall();
    static std::shared_ptr<TNAsyncCall> asyncCall(Action action = {});

    TNAsyncCall(const TNAsyncCall &) = delete;
    TNAsyncCall &operator=(const TNAsyncCall &) = delete;

    Action action() const;
    void setAction(Action action);
    QVariant value() const;
    bool isInCalling() const;

    void callWithValue(const QVariant &value);

private:
    std::shared_ptr<detail::AsyncCallState> m_state;
};

// Collects values and hands them over in one call, timeInterval after the
// first one.
class KALVO_EXPORT TNCoalesceCall : public TNBaseCall
{
public:
    using Action = std::function<void(const QVariantList &values)>;

    explicit TNCoalesceCall(Action action = {});
    static std::shared_ptr<TNCoalesceCall> coalesceCall(Action action = {});

    Action action() const;
    void setAction(Action action);
    // The values collected for the next call.
    QVariantList array() const;

    void callWithValue(const QVariant &value);        // nil is ignored
    void callWithValue(QVariant &&value);
    void callWithArray(const QVariantList &values);   // nil entries are ignored
    void setNeedsCall(bool needsCall);                // false = cancel()
    // Drops the pending call and the collected values.
    void cancel();
    void callAction();

private:
    detail::CoalesceCallState &state() const;
};

// Batches of at most `concurrency` values, one batch per timeInterval.
class KALVO_EXPORT TNConcurrencyCall : public TNBaseCall
{
public:
    using Action = std::function<void(const QVariantList &batch)>;

    explicit TNConcurrencyCall(Action action = {});
    static std::shared_ptr<TNConcurrencyCall> concurrencyCall(Action action = {});

    Action action() const;
    void setAction(Action action);
    uint concurrency() const;
    void setConcurrency(uint value); // default 20; 0 counts as 1
    // Batches waiting for delivery, oldest first (the last may still fill).
    int pendingBatchCount() const;

    void callWithValue(const QVariant &value); // nil is ignored
    void callWithValue(QVariant &&value);
    void setNeedsCall(bool needsCall);         // false = cancel()
    // Drops the pending call and every waiting batch.
    void cancel();
    // Delivers the oldest batch now.
    void callAction();

private:
    detail::ConcurrencyCallState &state() const;
};

} // namespace kalvo
