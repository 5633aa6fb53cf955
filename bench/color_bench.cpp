// Colour resolution at drawing time, against reading a colour from a
// QPalette; and the cost of the first token and of a cached name lookup.
//
// Resolution must allocate nothing: the global allocator is counted around
// the loop and reported as allocs_per_op (expected 0).
#include "bench_main.h"

#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>

#include <kalvo/platform/bundle.h>
#include <kalvo/theme/contrast.h>

#include <QGuiApplication>
#include <QPalette>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long long> g_allocations{0};
}

void *operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

template <typename Body>
void countAllocations(benchmark::State &state, Body body)
{
    const long long before = g_allocations.load();
    for (auto _ : state)
        body();
    const long long after = g_allocations.load();
    state.counters["allocs_per_op"] =
        benchmark::Counter(static_cast<double>(after - before) / static_cast<double>(state.iterations()));
}

void ResolveAppearanceToken(benchmark::State &state)
{
    const kalvo::ColorPtr token = kalvo::Color::fillPrimary();
    const kalvo::DrawingAppearanceScope scope(kalvo::Appearance::tn_darkAppearance());
    countAllocations(state, [&] { benchmark::DoNotOptimize(token->resolved()); });
}

void ResolveThemeToken(benchmark::State &state)
{
    const kalvo::ColorPtr token = kalvo::Color::Theme::textPrimary();
    const kalvo::DrawingAppearanceScope scope(kalvo::Appearance::tn_darkAppearance(), kalvo::TNTheme::rose());
    countAllocations(state, [&] { benchmark::DoNotOptimize(token->resolved()); });
}

void ResolveOutsideAScope(benchmark::State &state)
{
    const kalvo::ColorPtr token = kalvo::Color::textNeutral();
    countAllocations(state, [&] { benchmark::DoNotOptimize(token->resolved()); });
}

void QPaletteRole(benchmark::State &state)
{
    const QPalette palette = QGuiApplication::palette();
    countAllocations(state, [&] { benchmark::DoNotOptimize(QColor(palette.color(QPalette::Active, QPalette::Window))); });
}

// What the first token costs: the five token files read from the library's
// resources and parsed, then one theme-aware token built from them.
void FirstToken(benchmark::State &state)
{
    for (auto _ : state) {
        int entries = 0;
        for (const char *file : {"colors-light", "colors-dark", "colors-agave", "colors-bloom", "colors-rose"}) {
            // What the library does on first use: read the resource, parse it.
            const std::optional<QByteArray> bytes =
                kalvo::Bundle::library()->readResource(QString::fromLatin1(file), QStringLiteral("json"));
            const std::optional<QHash<QString, QString>> table =
                bytes ? kalvo::parseTokenFile(*bytes) : std::nullopt;
            entries += table ? static_cast<int>(table->size()) : 0;
            if (table)
                benchmark::DoNotOptimize(kalvo::parseTokenValue(table->value(QStringLiteral("TextPrimary"))));
        }
        benchmark::DoNotOptimize(entries);
    }
}

void CachedColorByName(benchmark::State &state)
{
    const QString name = QStringLiteral("fillPrimary");
    (void)kalvo::Color::colorWithName(name);
    for (auto _ : state)
        benchmark::DoNotOptimize(kalvo::Color::colorWithName(name));
}

void CachedHexFactory(benchmark::State &state)
{
    (void)kalvo::Color::color(0x0E72ED, 0x599EF2);
    for (auto _ : state)
        benchmark::DoNotOptimize(kalvo::Color::color(0x0E72ED, 0x599EF2));
}

BENCHMARK(ResolveAppearanceToken);
BENCHMARK(ResolveThemeToken);
BENCHMARK(ResolveOutsideAScope);
BENCHMARK(QPaletteRole);
BENCHMARK(FirstToken)->Unit(benchmark::kMicrosecond);
BENCHMARK(CachedColorByName);
BENCHMARK(CachedHexFactory);

const bool registered = [] {
    kalvo::bench::compare("resolve a token vs QPalette::color", "ResolveAppearanceToken", "QPaletteRole");
    kalvo::bench::compare("resolve a theme token vs QPalette::color", "ResolveThemeToken", "QPaletteRole");
    return true;
}();

} // namespace
