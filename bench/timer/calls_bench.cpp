// Deferred calls fed a flood of requests, against the usual Qt idiom for the
// same job: a single-shot QTimer started on the first request (and left
// running for the later ones), with the values kept in a list.
//
// Coalesce: N values into one TNCoalesceCall must give exactly one action
// call carrying all N values; the benchmark fails otherwise and reports the
// count as `action_calls`. Throttle: N setNeedsCall(true) on a TNDelayCall
// must give exactly one call too.
//
// Two clocks, for two questions:
//   - ManualClock: the cost of a request itself, with the one delivery made
//     by advancing the clock (no event loop, no waiting);
//   - the real scheduler with a zero interval, side by side with the QTimer
//     idiom: requests plus one delivery through the Qt event loop, so both
//     pay for the same wake-up and the ratio compares the request paths.
#include "bench_main.h"

#include <kalvo/platform/manualclock.h>
#include <kalvo/timer/tncalls.h>

#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

void perRequest(benchmark::State &state, int n)
{
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["per_request"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

bool check(benchmark::State &state, int calls, qsizetype delivered, qsizetype expected)
{
    state.counters["action_calls"] = calls;
    if (calls != 1 || delivered != expected) {
        state.SkipWithError("a flood of requests must give exactly one action call with every value");
        return false;
    }
    return true;
}

void CoalesceManualClock(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    kalvo::ManualClock clock;
    for (auto _ : state) {
        int calls = 0;
        qsizetype delivered = 0;
        kalvo::TNCoalesceCall call([&](const QVariantList &values) {
            ++calls;
            delivered = values.size();
        });
        for (int i = 0; i < n; ++i)
            call.callWithValue(i);
        clock.advance(call.timeInterval());
        if (!check(state, calls, delivered, n))
            return;
    }
    perRequest(state, n);
}

void CoalesceEventLoop(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QEventLoop loop;
        int calls = 0;
        qsizetype delivered = 0;
        kalvo::TNCoalesceCall call([&](const QVariantList &values) {
            ++calls;
            delivered = values.size();
            loop.quit();
        });
        call.setTimeInterval(0);
        for (int i = 0; i < n; ++i)
            call.callWithValue(i);
        loop.exec();
        if (!check(state, calls, delivered, n))
            return;
    }
    perRequest(state, n);
}

void QtTimerCoalesce(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QEventLoop loop;
        int calls = 0;
        qsizetype delivered = 0;
        QVariantList values;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++calls;
            const QVariantList batch = std::exchange(values, QVariantList());
            delivered = batch.size();
            loop.quit();
        });
        for (int i = 0; i < n; ++i) {
            const QVariant value(i);
            if (value.isNull())
                continue;
            values.append(value);
            if (!timer.isActive())
                timer.start();
        }
        loop.exec();
        if (!check(state, calls, delivered, n))
            return;
    }
    perRequest(state, n);
}

void ThrottleManualClock(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    kalvo::ManualClock clock;
    for (auto _ : state) {
        int calls = 0;
        kalvo::TNDelayCall call([&] { ++calls; });
        for (int i = 0; i < n; ++i)
            call.setNeedsCall(true);
        clock.advance(call.timeInterval());
        if (!check(state, calls, 1, 1))
            return;
    }
    perRequest(state, n);
}

void ThrottleEventLoop(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QEventLoop loop;
        int calls = 0;
        kalvo::TNDelayCall call([&] {
            ++calls;
            loop.quit();
        });
        call.setTimeInterval(0);
        for (int i = 0; i < n; ++i)
            call.setNeedsCall(true);
        loop.exec();
        if (!check(state, calls, 1, 1))
            return;
    }
    perRequest(state, n);
}

void QtTimerThrottle(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QEventLoop loop;
        int calls = 0;
        long long accumulation = 0;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++calls;
            accumulation = 0;
            loop.quit();
        });
        for (int i = 0; i < n; ++i) {
            ++accumulation;
            if (!timer.isActive())
                timer.start();
        }
        loop.exec();
        if (!check(state, calls, 1, 1))
            return;
    }
    perRequest(state, n);
}

BENCHMARK(CoalesceManualClock)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(CoalesceEventLoop)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(QtTimerCoalesce)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ThrottleManualClock)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ThrottleEventLoop)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(QtTimerThrottle)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

const bool registered = [] {
    using kalvo::bench::compare;
    compare("coalesce x100,000 (event loop) vs QTimer idiom", "CoalesceEventLoop/100000", "QtTimerCoalesce/100000");
    compare("throttle x100,000 (event loop) vs QTimer idiom", "ThrottleEventLoop/100000", "QtTimerThrottle/100000");
    return true;
}();

} // namespace
