#include <kalvo/timer/tncalls.h>

#include <kalvo/platform/scheduler.h>

#include <algorithm>
#include <deque>
#include <utility>

namespace kalvo {

namespace detail {

// The state of a deferred call lives behind a shared_ptr so that pending
// work can hold it weakly and an action may destroy its own call object.
struct BaseCallState
{
    virtual ~BaseCallState() = default;

    double timeInterval = TNBaseCall::kDefaultTimeInterval;
    QStringList runloopModes;
    bool inCalling = false;
    std::shared_ptr<TNWeakProxy> proxy; // targets this state

    template <typename State>
    static std::shared_ptr<State> make()
    {
        auto state = std::make_shared<State>();
        state->proxy = std::make_shared<TNWeakProxy>(ObserverOwner(state), TNWeakProxy::AutoCancel::skip);
        return state;
    }

    void cancelPending() { proxy->cancelPreviousPerformRequests(); }

    // Schedules `run` on this state through the proxy: it never runs once the
    // state is gone or the request was cancelled.
    template <typename State>
    static void schedule(const std::shared_ptr<State> &state, double seconds,
                         void (*run)(const std::shared_ptr<State> &))
    {
        std::weak_ptr<State> weak = state;
        state->proxy->performAfterDelay(
            seconds,
            [weak, run] {
                if (auto s = weak.lock())
                    run(s);
            },
            state->runloopModes);
    }
};

struct DelayCallState : BaseCallState
{
    TNDelayCall::Action action;
    qint64 maxAccumulation = std::numeric_limits<qint64>::max();
    bool inActioning = false;
    bool inCallingByDelay = false;
    qint64 accumulation = 0;

    static void callAction(const std::shared_ptr<DelayCallState> &s)
    {
        // Re-entered from its own action (directly, or by a request that
        // reaches maxAccumulation) it would recurse without end; the running
        // call stands for it.
        if (s->inActioning)
            return;
        s->cancelPending();
        s->inCallingByDelay = false;
        s->inActioning = true;
        const TNDelayCall::Action action = s->action;
        if (action)
            action();
        s->inActioning = false;
        s->accumulation = 0;
        s->inCalling = false;
    }

    static void setNeedsCall(const std::shared_ptr<DelayCallState> &s, bool needsCall)
    {
        if (needsCall) {
            if (s->accumulation < std::numeric_limits<qint64>::max())
                ++s->accumulation;
            if (s->accumulation >= s->maxAccumulation) {
                callAction(s);
            } else if (!s->inCalling) {
                s->inCalling = true;
                schedule(s, s->timeInterval, &DelayCallState::callAction);
            }
        } else {
            s->accumulation = 0;
            if (s->inCalling || s->inCallingByDelay) {
                s->cancelPending();
                s->inCalling = false;
                s->inCallingByDelay = false;
            }
        }
    }
};

struct AsyncCallState
{
    TNAsyncCall::Action action;
    QVariant value;
    bool inCalling = false;
};

struct CoalesceCallState : BaseCallState
{
    TNCoalesceCall::Action action;
    QVariantList array;

    static void setNeedsCall(const std::shared_ptr<CoalesceCallState> &s, bool needsCall)
    {
        if (!needsCall) {
            cancel(s);
        } else if (!s->inCalling) {
            s->inCalling = true;
            schedule(s, s->timeInterval, &CoalesceCallState::callAction);
        }
    }

    static void cancel(const std::shared_ptr<CoalesceCallState> &s)
    {
        s->cancelPending();
        s->array.clear();
        s->inCalling = false;
    }

    static void callAction(const std::shared_ptr<CoalesceCallState> &s)
    {
        s->cancelPending();
        // The values are taken before the action runs: values given during
        // the action belong to the next call instead of being cleared unseen.
        const QVariantList values = std::exchange(s->array, QVariantList());
        const TNCoalesceCall::Action action = s->action;
        if (action)
            action(values);
        s->inCalling = false;
        if (!s->array.isEmpty())
            setNeedsCall(s, true);
    }
};

struct ConcurrencyCallState : BaseCallState
{
    using Batch = std::shared_ptr<QVariantList>;

    TNConcurrencyCall::Action action;
    uint concurrency = 20;
    std::weak_ptr<QVariantList> valueArray; // the batch being filled
    std::deque<Batch> blockArray;           // batches waiting, oldest first

    qsizetype limit() const { return std::max<qsizetype>(1, static_cast<qsizetype>(concurrency)); }

    static void setNeedsCall(const std::shared_ptr<ConcurrencyCallState> &s, bool needsCall)
    {
        if (!needsCall) {
            cancel(s);
        } else if (!s->inCalling) {
            s->inCalling = true;
            schedule(s, s->timeInterval, &ConcurrencyCallState::callAction);
        }
    }

    static void cancel(const std::shared_ptr<ConcurrencyCallState> &s)
    {
        s->cancelPending();
        s->blockArray.clear();
        s->valueArray.reset();
        s->inCalling = false;
    }

    static void callAction(const std::shared_ptr<ConcurrencyCallState> &s)
    {
        s->cancelPending();
        if (s->blockArray.empty()) {
            s->inCalling = false;
            return;
        }
        const Batch batch = s->blockArray.front();
        s->blockArray.pop_front();
        // A batch on its way out takes no more values: ones given during the
        // action start a new batch instead of being lost with this one.
        if (s->valueArray.lock() == batch)
            s->valueArray.reset();
        const TNConcurrencyCall::Action action = s->action;
        if (action)
            action(*batch);
        s->inCalling = false;
        if (!s->blockArray.empty())
            setNeedsCall(s, true);
    }
};

} // namespace detail

// ---- TNBaseCall ----

TNBaseCall::TNBaseCall(std::shared_ptr<detail::BaseCallState> state) : m_state(std::move(state)) {}

TNBaseCall::~TNBaseCall()
{
    m_state->cancelPending();
}

double TNBaseCall::timeInterval() const
{
    return m_state->timeInterval;
}

void TNBaseCall::setTimeInterval(double seconds)
{
    m_state->timeInterval = seconds;
}

QStringList TNBaseCall::runloopModes() const
{
    return m_state->runloopModes;
}

void TNBaseCall::setRunloopModes(const QStringList &modes)
{
    m_state->runloopModes = modes;
}

bool TNBaseCall::isInCalling() const
{
    return m_state->inCalling;
}

std::shared_ptr<TNWeakProxy> TNBaseCall::selfProxy() const
{
    return m_state->proxy;
}

// ---- TNDelayCall ----

TNDelayCall::TNDelayCall(Action action) : TNBaseCall(detail::BaseCallState::make<detail::DelayCallState>())
{
    state().action = std::move(action);
}

std::shared_ptr<TNDelayCall> TNDelayCall::delayCall(Action action)
{
    return std::make_shared<TNDelayCall>(std::move(action));
}

detail::DelayCallState &TNDelayCall::state() const
{
    return static_cast<detail::DelayCallState &>(*m_state);
}

TNDelayCall::Action TNDelayCall::action() const
{
    return state().action;
}

void TNDelayCall::setAction(Action action)
{
    state().action = std::move(action);
}

qint64 TNDelayCall::maxAccumulation() const
{
    return state().maxAccumulation;
}

void TNDelayCall::setMaxAccumulation(qint64 value)
{
    state().maxAccumulation = value;
}

qint64 TNDelayCall::accumulation() const
{
    return state().accumulation;
}

bool TNDelayCall::isInActioning() const
{
    return state().inActioning;
}

bool TNDelayCall::isInCallingByDelay() const
{
    return state().inCallingByDelay;
}

void TNDelayCall::setNeedsCall(bool needsCall)
{
    // The common case of a burst: a call is pending and the limit is far.
    detail::DelayCallState &s = state();
    if (needsCall && s.inCalling && s.accumulation < s.maxAccumulation - 1) {
        ++s.accumulation;
        return;
    }
    detail::DelayCallState::setNeedsCall(std::static_pointer_cast<detail::DelayCallState>(m_state), needsCall);
}

void TNDelayCall::callActionWithDelay(double seconds)
{
    auto s = std::static_pointer_cast<detail::DelayCallState>(m_state);
    if (s->inCallingByDelay)
        return;
    detail::BaseCallState::schedule(s, seconds, &detail::DelayCallState::callAction);
    s->inCallingByDelay = true;
}

void TNDelayCall::callAction()
{
    detail::DelayCallState::callAction(std::static_pointer_cast<detail::DelayCallState>(m_state));
}

// ---- TNAsyncCall ----

TNAsyncCall::TNAsyncCall(Action action) : m_state(std::make_shared<detail::AsyncCallState>())
{
    m_state->action = std::move(action);
}

TNAsyncCall::~TNAsyncCall() = default;

std::shared_ptr<TNAsyncCall> TNAsyncCall::asyncCall(Action action)
{
    return std::make_shared<TNAsyncCall>(std::move(action));
}

TNAsyncCall::Action TNAsyncCall::action() const
{
    return m_state->action;
}

void TNAsyncCall::setAction(Action action)
{
    m_state->action = std::move(action);
}

QVariant TNAsyncCall::value() const
{
    return m_state->value;
}

bool TNAsyncCall::isInCalling() const
{
    return m_state->inCalling;
}

void TNAsyncCall::callWithValue(const QVariant &value)
{
    m_state->value = value;
    if (m_state->inCalling)
        return;
    m_state->inCalling = true;
    std::weak_ptr<detail::AsyncCallState> weak = m_state;
    kalvo::async([weak] {
        const std::shared_ptr<detail::AsyncCallState> s = weak.lock();
        if (!s)
            return; // the call object is gone, and its work with it
        const TNAsyncCall::Action action = s->action;
        if (action)
            action(s->value);
        s->inCalling = false;
    });
}

// ---- TNCoalesceCall ----

TNCoalesceCall::TNCoalesceCall(Action action) : TNBaseCall(detail::BaseCallState::make<detail::CoalesceCallState>())
{
    state().action = std::move(action);
}

std::shared_ptr<TNCoalesceCall> TNCoalesceCall::coalesceCall(Action action)
{
    return std::make_shared<TNCoalesceCall>(std::move(action));
}

detail::CoalesceCallState &TNCoalesceCall::state() const
{
    return static_cast<detail::CoalesceCallState &>(*m_state);
}

TNCoalesceCall::Action TNCoalesceCall::action() const
{
    return state().action;
}

void TNCoalesceCall::setAction(Action action)
{
    state().action = std::move(action);
}

QVariantList TNCoalesceCall::array() const
{
    return state().array;
}

void TNCoalesceCall::callWithValue(const QVariant &value)
{
    callWithValue(QVariant(value));
}

void TNCoalesceCall::callWithValue(QVariant &&value)
{
    if (value.isNull())
        return;
    state().array.append(std::move(value));
    setNeedsCall(true);
}

void TNCoalesceCall::callWithArray(const QVariantList &values)
{
    bool added = false;
    for (const QVariant &value : values) {
        if (value.isNull())
            continue;
        state().array.append(value);
        added = true;
    }
    if (added)
        setNeedsCall(true);
}

void TNCoalesceCall::setNeedsCall(bool needsCall)
{
    if (needsCall && state().inCalling)
        return;
    detail::CoalesceCallState::setNeedsCall(std::static_pointer_cast<detail::CoalesceCallState>(m_state), needsCall);
}

void TNCoalesceCall::cancel()
{
    setNeedsCall(false);
}

void TNCoalesceCall::callAction()
{
    detail::CoalesceCallState::callAction(std::static_pointer_cast<detail::CoalesceCallState>(m_state));
}

// ---- TNConcurrencyCall ----

TNConcurrencyCall::TNConcurrencyCall(Action action)
    : TNBaseCall(detail::BaseCallState::make<detail::ConcurrencyCallState>())
{
    state().action = std::move(action);
}

std::shared_ptr<TNConcurrencyCall> TNConcurrencyCall::concurrencyCall(Action action)
{
    return std::make_shared<TNConcurrencyCall>(std::move(action));
}

detail::ConcurrencyCallState &TNConcurrencyCall::state() const
{
    return static_cast<detail::ConcurrencyCallState &>(*m_state);
}

TNConcurrencyCall::Action TNConcurrencyCall::action() const
{
    return state().action;
}

void TNConcurrencyCall::setAction(Action action)
{
    state().action = std::move(action);
}

uint TNConcurrencyCall::concurrency() const
{
    return state().concurrency;
}

void TNConcurrencyCall::setConcurrency(uint value)
{
    state().concurrency = value;
}

int TNConcurrencyCall::pendingBatchCount() const
{
    return static_cast<int>(state().blockArray.size());
}

void TNConcurrencyCall::callWithValue(const QVariant &value)
{
    callWithValue(QVariant(value));
}

void TNConcurrencyCall::callWithValue(QVariant &&value)
{
    if (value.isNull())
        return;
    detail::ConcurrencyCallState &s = state();
    std::shared_ptr<QVariantList> batch = s.valueArray.lock();
    if (!batch) {
        batch = std::make_shared<QVariantList>();
        batch->reserve(s.limit());
        s.blockArray.push_back(batch);
        s.valueArray = batch;
    }
    batch->append(std::move(value));
    if (batch->size() >= s.limit())
        s.valueArray.reset();
    setNeedsCall(true);
}

void TNConcurrencyCall::setNeedsCall(bool needsCall)
{
    if (needsCall && state().inCalling)
        return;
    detail::ConcurrencyCallState::setNeedsCall(std::static_pointer_cast<detail::ConcurrencyCallState>(m_state),
                                               needsCall);
}

void TNConcurrencyCall::cancel()
{
    setNeedsCall(false);
}

void TNConcurrencyCall::callAction()
{
    detail::ConcurrencyCallState::callAction(std::static_pointer_cast<detail::ConcurrencyCallState>(m_state));
}

} // namespace kalvo
