// A keystroke (press and release) sent with QApplication::sendEvent to the
// focus widget of a window, with 10, 1,000 or 10,000 shortcuts registered:
// through the hotkey center's local shortcuts, and through as many
// QShortcuts. "Hit" presses the one shortcut that acts; "Miss" presses a
// key no shortcut has.
#include "bench_main.h"

#include <kalvo/hotkey/hotkeycenter.h>
#include <kalvo/platform/keycodes.h>

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace kalvo;

namespace {

// Letters and digits: keys both sides can name.
const std::vector<std::pair<int, int>> &fillerKeys()
{
    static const std::vector<std::pair<int, int>> keys = [] {
        std::vector<std::pair<int, int>> all;
        for (int qtKey = Qt::Key_A; qtKey <= Qt::Key_Z; ++qtKey)
            all.emplace_back(qtKey, *keyCodeFromQtKey(qtKey));
        for (int qtKey = Qt::Key_0; qtKey <= Qt::Key_9; ++qtKey)
            all.emplace_back(qtKey, *keyCodeFromQtKey(qtKey));
        return all;
    }();
    return keys;
}

// Every set of Shift, Control, Alt and Meta but Meta+Shift (kept for the
// measured shortcut) and none.
const std::vector<Qt::KeyboardModifiers> &fillerModifiers()
{
    static const std::vector<Qt::KeyboardModifiers> sets = [] {
        std::vector<Qt::KeyboardModifiers> all;
        for (int bits = 1; bits < 16; ++bits) {
            Qt::KeyboardModifiers m;
            if (bits & 1)
                m |= Qt::ShiftModifier;
            if (bits & 2)
                m |= Qt::ControlModifier;
            if (bits & 4)
                m |= Qt::AltModifier;
            if (bits & 8)
                m |= Qt::MetaModifier;
            if (m != (Qt::MetaModifier | Qt::ShiftModifier))
                all.push_back(m);
        }
        return all;
    }();
    return sets;
}

// The i-th filler shortcut: (Qt key, modifiers, Kalvo key code).
struct Filler
{
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    int keyCode;
};

Filler filler(std::size_t i)
{
    const auto &keys = fillerKeys();
    const auto &mods = fillerModifiers();
    const std::size_t combos = keys.size() * mods.size();
    const std::size_t n = i % combos;
    return {keys[n % keys.size()].first, mods[n / keys.size()], keys[n % keys.size()].second};
}

struct Window
{
    Window()
    {
        widget.resize(100, 100);
        widget.setFocusPolicy(Qt::StrongFocus);
        widget.show();
        QApplication::setActiveWindow(&widget);
        widget.setFocus();
    }
    QWidget widget;
};

void keystroke(QWidget *receiver, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(receiver, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(receiver, &release);
}

// Kalvo: fillers in as many centers as their combinations need (one center
// holds each combination once); the measured shortcut registered last, so
// that newest-first matching finds it at once only if records are indexed.
void runKalvo(benchmark::State &state, bool hit)
{
    Window window;
    const std::size_t count = std::size_t(state.range(0));
    const std::size_t perCenter = fillerKeys().size() * fillerModifiers().size();
    std::vector<std::unique_ptr<TNHotkeyCenter>> centers;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (i % perCenter == 0) {
            centers.push_back(std::make_unique<TNHotkeyCenter>());
            centers.back()->resume(false);
        }
        const Filler f = filler(i);
        auto hotkey = TNHotkey::hotkeyWithIdentifier(QString::number(i),
                                                     TNHotkeyCombo(f.keyCode, modifierFlagsFromQt(f.modifiers)));
        hotkey->setKeyDownActionBlock([](const QVariant &, const QKeyEvent *) { return true; });
        centers.back()->registerHotKey(hotkey, false);
    }
    TNHotkeyCenter measured;
    measured.resume(false);
    std::size_t fired = 0;
    auto hotkey = TNHotkey::hotkeyWithIdentifier(
        QStringLiteral("measured"), TNHotkeyCombo(KeyCode::K, ModifierFlag::command | ModifierFlag::shift));
    hotkey->setKeyDownActionBlock([&fired](const QVariant &, const QKeyEvent *) {
        ++fired;
        return true;
    });
    measured.registerHotKey(hotkey, false);

    const int key = hit ? Qt::Key_K : Qt::Key_F12;
    const Qt::KeyboardModifiers modifiers = hit ? (Qt::MetaModifier | Qt::ShiftModifier) : Qt::ControlModifier;
    for (auto _ : state)
        keystroke(&window.widget, key, modifiers);
    if (hit && fired != std::size_t(state.iterations()))
        state.SkipWithError("the shortcut did not fire on every keystroke");
    state.counters["shortcuts"] = double(count);
}

void runQt(benchmark::State &state, bool hit)
{
    Window window;
    const std::size_t count = std::size_t(state.range(0));
    std::vector<std::unique_ptr<QShortcut>> shortcuts;
    shortcuts.reserve(count);
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const Filler f = filler(i);
        shortcuts.push_back(std::make_unique<QShortcut>(QKeySequence(QKeyCombination(f.modifiers, Qt::Key(f.qtKey))),
                                                        &window.widget));
    }
    std::size_t fired = 0;
    QShortcut measured(QKeySequence(Qt::META | Qt::SHIFT | Qt::Key_K), &window.widget);
    QObject::connect(&measured, &QShortcut::activated, [&fired] { ++fired; });

    const int key = hit ? Qt::Key_K : Qt::Key_F12;
    const Qt::KeyboardModifiers modifiers = hit ? (Qt::MetaModifier | Qt::ShiftModifier) : Qt::ControlModifier;
    for (auto _ : state)
        keystroke(&window.widget, key, modifiers);
    if (hit && fired != std::size_t(state.iterations()))
        state.SkipWithError("the shortcut did not fire on every keystroke");
    state.counters["shortcuts"] = double(count);
}

// The same keystrokes with no shortcut machinery at all: what delivery to a
// widget costs by itself, so the figures above can be read as overhead.
void NoShortcuts(benchmark::State &state)
{
    Window window;
    for (auto _ : state)
        keystroke(&window.widget, Qt::Key_F12, Qt::ControlModifier);
}

void KalvoHit(benchmark::State &state) { runKalvo(state, true); }
void KalvoMiss(benchmark::State &state) { runKalvo(state, false); }
void QtShortcutHit(benchmark::State &state) { runQt(state, true); }
void QtShortcutMiss(benchmark::State &state) { runQt(state, false); }

BENCHMARK(NoShortcuts)->Unit(benchmark::kNanosecond);
BENCHMARK(KalvoHit)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kNanosecond);
BENCHMARK(QtShortcutHit)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kNanosecond);
BENCHMARK(KalvoMiss)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kNanosecond);
BENCHMARK(QtShortcutMiss)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kNanosecond);

const bool registered = [] {
    for (const char *n : {"10", "1000", "10000"}) {
        const std::string count(n);
        kalvo::bench::compare("matching keystroke, " + count + " shortcuts", "KalvoHit/" + count,
                              "QtShortcutHit/" + count);
        kalvo::bench::compare("non-matching keystroke, " + count + " shortcuts", "KalvoMiss/" + count,
                              "QtShortcutMiss/" + count);
    }
    return true;
}();

} // namespace
