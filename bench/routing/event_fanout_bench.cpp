// One posted message fanned out to N registered targets, against the plain
// loop a hand-written observer list would be: a std::vector of
// std::function called in order. The poster's extra work per target is the
// snapshot copy, the filters, the interface-type check and keeping shared
// targets alive during the call.
#include "bench_main.h"

#include <kalvo/routing/eventregistry.h>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

struct Ticks
{
    static constexpr const char *tnProtocolName = "BenchTicks";
    virtual ~Ticks() = default;
    virtual void tick(long long value) = 0;
};

class Sink : public Ticks
{
public:
    void tick(long long value) override { total += value; }
    long long total = 0;
};

void KalvoPosterFanOut(benchmark::State &state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    auto registry = kalvo::TNEventRegistry::create();
    std::vector<std::shared_ptr<Sink>> sinks;
    sinks.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        sinks.push_back(std::make_shared<Sink>());
        registry->registerTartget<Ticks>(sinks.back());
    }
    const kalvo::TNProtocol protocol = kalvo::TNProtocol::of<Ticks>();
    for (auto _ : state)
        registry->posterForProtocol(protocol).post(&Ticks::tick, 1LL);
    benchmark::DoNotOptimize(sinks.front()->total);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(n));
    state.counters["ns_per_target"]
        = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(n),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void StdFunctionLoop(benchmark::State &state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<std::shared_ptr<Sink>> sinks;
    std::vector<std::function<void(long long)>> handlers;
    for (std::size_t i = 0; i < n; ++i) {
        sinks.push_back(std::make_shared<Sink>());
        Sink *sink = sinks.back().get();
        handlers.emplace_back([sink](long long value) { sink->tick(value); });
    }
    for (auto _ : state) {
        for (const auto &handler : handlers)
            handler(1LL);
    }
    benchmark::DoNotOptimize(sinks.front()->total);
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(n));
    state.counters["ns_per_target"]
        = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(n),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(KalvoPosterFanOut)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdFunctionLoop)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

const bool registered = [] {
    kalvo::bench::compare(
        "event fan-out to 10,000 targets vs std::function loop", "KalvoPosterFanOut/10000", "StdFunctionLoop/10000");
    kalvo::bench::compare(
        "event fan-out to 100 targets vs std::function loop", "KalvoPosterFanOut/100", "StdFunctionLoop/100");
    return true;
}();

} // namespace
