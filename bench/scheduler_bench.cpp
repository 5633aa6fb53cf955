// The scheduler against the Qt calls it replaces.
//
// Async: post N closures, then drain them. Qt's queued invokeMethod wakes
// the event dispatcher on every post; the scheduler wakes it once per batch.
//
// Delayed: N items with delays spread over 0-99 ms, run on the real event
// loop; the measured time is from the first scheduling call until the last
// item fired, minus the longest delay: the scheduling and dispatch overhead.
// QTimer keeps its timers in a sorted list (quadratic in N); the scheduler
// keeps a heap behind one timer (N log N).
#include "bench_main.h"

#include <kalvo/platform/scheduler.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

constexpr int kLongestDelayMs = 99;

int delayMs(int i)
{
    return static_cast<int>((static_cast<long long>(i) * 7919) % (kLongestDelayMs + 1));
}

void KalvoAsync(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int count = 0;
        for (int i = 0; i < n; ++i)
            kalvo::async([&count] { ++count; });
        while (count < n)
            QCoreApplication::sendPostedEvents();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void QtQueuedInvoke(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    QObject receiver;
    for (auto _ : state) {
        int count = 0;
        for (int i = 0; i < n; ++i)
            QMetaObject::invokeMethod(&receiver, [&count] { ++count; }, Qt::QueuedConnection);
        while (count < n)
            QCoreApplication::sendPostedEvents();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

template <typename Schedule>
void runDelayed(benchmark::State &state, Schedule schedule)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QEventLoop loop;
        int fired = 0;
        auto onFire = [&] {
            if (++fired == n)
                loop.quit();
        };
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i)
            schedule(delayMs(i), loop, onFire);
        loop.exec();
        const std::chrono::duration<double> total = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::max(0.0, total.count() - kLongestDelayMs / 1000.0));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void KalvoAsyncAfter(benchmark::State &state)
{
    runDelayed(state, [](int ms, QEventLoop &, auto &onFire) { kalvo::asyncAfter(ms / 1000.0, onFire); });
}

void QtSingleShot(benchmark::State &state)
{
    runDelayed(state, [](int ms, QEventLoop &loop, auto &onFire) { QTimer::singleShot(ms, &loop, onFire); });
}

BENCHMARK(KalvoAsync)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(QtQueuedInvoke)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(KalvoAsyncAfter)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(QtSingleShot)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

const bool registered = [] {
    using kalvo::bench::compare;
    compare("async x1,000,000 vs queued invokeMethod", "KalvoAsync/1000000", "QtQueuedInvoke/1000000");
    for (const char *n : {"1000", "10000", "100000"}) {
        compare(std::string("asyncAfter x") + n + " vs QTimer::singleShot (overhead)",
                std::string("KalvoAsyncAfter/") + n + "/iterations:3/manual_time",
                std::string("QtSingleShot/") + n + "/iterations:3/manual_time");
    }
    return true;
}();

} // namespace
