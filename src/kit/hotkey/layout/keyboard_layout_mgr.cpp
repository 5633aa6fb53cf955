#include <kalvo/hotkey/keyboardlayoutmgr.h>

#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/scheduler.h>

#include "platform/linux/keyboard/xkb_keyboard_p.h"

#include <QCoreApplication>
#include <QSet>
#include <QThread>

#include <optional>

namespace kalvo {

namespace {

constexpr int kMaxKeyCode = 0x7F; // the highest position a Mac keyboard has
constexpr unsigned kTranslatedModifierBits = 0xFF00; // what a translation reads of a Carbon mask
constexpr unsigned kCarbonShift = 0x200;
constexpr qsizetype kMaxRememberedUnknown = 64;

const QList<int> &supportedKeyCodes()
{
    static const QList<int> codes = [] {
        QList<int> list;
        for (int code = 0; code <= 9; ++code)
            list.append(code);
        for (int code = 11; code <= 35; ++code)
            list.append(code);
        for (int code = 37; code <= 47; ++code)
            list.append(code);
        list.append(50);
        return list;
    }();
    return codes;
}

bool isSupportedKeyCode(int keyCode)
{
    return keyCode >= 0 && keyCode <= 50 && keyCode != 10 && keyCode != 36 && keyCode != 48 && keyCode != 49;
}

// What the process knows of one layout; kept for the process's life.
struct LayoutData
{
    std::shared_ptr<const keyboard::CompiledLayout> compiled;
    std::optional<QHash<QString, int>> letterMap;
    std::optional<QHash<QString, int>> symbolMap;
    std::optional<bool> typesLatinLetters;
    QHash<int, QString> letters;                   // key code → upper-cased text
    QHash<unsigned, QHash<int, QString>> symbols; // modifier bits → key code → text
};

// Layout caches. Main thread only, like the manager.
struct LayoutCache
{
    QHash<QString, std::shared_ptr<LayoutData>> known;
    QSet<QString> unknown; // names the XKB data lacks, bounded

    LayoutData *find(const QString &layoutID)
    {
        if (layoutID.isEmpty())
            return nullptr;
        if (auto it = known.constFind(layoutID); it != known.cend())
            return it->get();
        if (unknown.contains(layoutID))
            return nullptr;
        auto compiled = keyboard::compileLayout(layoutID);
        if (!compiled) {
            // Compiling again costs milliseconds; remember a few failures,
            // but never let arbitrary names grow the cache without bound.
            if (unknown.size() >= kMaxRememberedUnknown)
                unknown.clear();
            unknown.insert(layoutID);
            return nullptr;
        }
        auto data = std::make_shared<LayoutData>();
        data->compiled = std::move(compiled);
        return known.insert(layoutID, std::move(data))->get();
    }
};

LayoutCache &cache()
{
    static LayoutCache instance;
    return instance;
}

QString translate(LayoutData *layout, int keyCode, unsigned modifiers)
{
    if (!layout || keyCode < 0 || keyCode > kMaxKeyCode)
        return {};
    return layout->compiled->translate(keyCode, modifiers);
}

const QHash<QString, int> &letterMapOf(LayoutData &layout)
{
    if (!layout.letterMap) {
        QHash<QString, int> map;
        for (int code : supportedKeyCodes()) {
            const QString text = translate(&layout, code, 0);
            if (!text.isEmpty())
                map.insert(text.toUpper(), code);
        }
        layout.letterMap = std::move(map);
    }
    return *layout.letterMap;
}

// Whether the layout types every Latin letter without modifiers: the test
// for a layout a shortcut's letter can be found on.
bool typesLatinLetters(LayoutData &layout)
{
    if (!layout.typesLatinLetters) {
        const QHash<QString, int> &map = letterMapOf(layout);
        bool all = true;
        for (char c = 'A'; c <= 'Z' && all; ++c)
            all = map.contains(QString(QLatin1Char(c)));
        layout.typesLatinLetters = all;
    }
    return *layout.typesLatinLetters;
}

} // namespace

// ---- The manager ----

struct TNKeyboardLayoutMgr::Private
{
    std::unique_ptr<keyboard::X11Keyboard> x11;
    bool watching = false;
    bool waitsForApplication = false; // asked to watch before there was an event loop
    QString current;       // the layout shortcuts use
    QString currentSource; // the active layout, Latin or not
    std::shared_ptr<int> alive = std::make_shared<int>(0); // for calls hopping threads

    struct Reading
    {
        QString source; // the active layout
        QString layout; // the layout to use for letters
    };

    Reading read() const
    {
        QStringList layouts;
        int group = 0;
        if (x11) {
            const keyboard::X11Keyboard::Layouts server = x11->layouts();
            layouts = server.layouts;
            group = server.activeGroup;
        }
        if (layouts.isEmpty()) {
            layouts = keyboard::environmentLayouts();
            group = 0;
        }
        if (layouts.isEmpty())
            return {kTNUSKeyboardLayoutID, kTNUSKeyboardLayoutID};
        Reading reading{layouts.at(group), kTNUSKeyboardLayoutID};
        // The active layout when it types Latin letters, else the first
        // configured one that does (a Russian user's "us" beside "ru").
        layouts.move(group, 0);
        for (const QString &layout : layouts) {
            if (LayoutData *data = cache().find(layout); data && typesLatinLetters(*data)) {
                reading.layout = layout;
                break;
            }
        }
        return reading;
    }
};

TNKeyboardLayoutMgr &TNKeyboardLayoutMgr::sharedMgr()
{
    // Lives for the process: deleting it at exit would tear down its socket
    // notifier after the application object is gone.
    static TNKeyboardLayoutMgr *mgr = new TNKeyboardLayoutMgr();
    mgr->startWatchingIfPossible();
    return *mgr;
}

TNKeyboardLayoutMgr::TNKeyboardLayoutMgr(const QByteArray &displayName, bool watch) : d(std::make_unique<Private>())
{
    d->x11 = keyboard::X11Keyboard::open(displayName);
    const Private::Reading reading = d->read();
    d->current = reading.layout;
    d->currentSource = reading.source;
    d->waitsForApplication = watch && d->x11;
    startWatchingIfPossible();
}

void TNKeyboardLayoutMgr::startWatchingIfPossible()
{
    // Watching needs the application's event loop; a manager made before the
    // application object starts when it is next asked for after that.
    if (!d->waitsForApplication || !QCoreApplication::instance())
        return;
    d->waitsForApplication = false;
    d->watching = d->x11->watch([this] { keyboardLayoutInputSourceChanged(); });
}

TNKeyboardLayoutMgr::~TNKeyboardLayoutMgr() = default;

QString TNKeyboardLayoutMgr::currentKeyboardLayoutID() const
{
    return d->current;
}

void TNKeyboardLayoutMgr::setCurrentKeyboardLayoutID(const QString &layoutID)
{
    d->current = layoutID;
}

bool TNKeyboardLayoutMgr::isWatchingLayoutChanges() const
{
    return d->watching;
}

QString TNKeyboardLayoutMgr::getKeyboardLayoutID() const
{
    return d->read().layout;
}

QString TNKeyboardLayoutMgr::getCurrentKeyboardID()
{
    // A watching manager hears every change, so what it last read holds.
    Private &d = *sharedMgr().d;
    return d.watching ? d.currentSource : d.read().source;
}

void TNKeyboardLayoutMgr::keyboardLayoutInputSourceChanged()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        async([this, alive = std::weak_ptr<int>(d->alive)] {
            if (alive.lock())
                keyboardLayoutInputSourceChanged();
        });
        return;
    }
    const Private::Reading reading = d->read();
    d->currentSource = reading.source;
    const QString &layoutID = reading.layout;
    if (layoutID.isEmpty() && d->current.isEmpty())
        return;
    if (layoutID == d->current)
        return;
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutWillChanged);
    d->current = layoutID;
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutDidChanged);
}

// ---- Layout lookups ----

QList<int> TNKeyboardLayoutMgr::supportConvertKeyCodeArray()
{
    return supportedKeyCodes();
}

QHash<QString, int> TNKeyboardLayoutMgr::KeyboardLayoutWithID(const QString &layoutID)
{
    LayoutData *layout = cache().find(layoutID);
    return layout ? letterMapOf(*layout) : QHash<QString, int>();
}

int TNKeyboardLayoutMgr::keyCodeForLetter(const QString &letter, int alternateKeyCode, const QString &layoutID)
{
    if (!letter.isEmpty() && isSupportedKeyCode(alternateKeyCode)) {
        if (LayoutData *layout = cache().find(layoutID)) {
            const QHash<QString, int> &map = letterMapOf(*layout);
            if (auto it = map.constFind(letter.toUpper()); it != map.cend())
                return *it;
        }
    }
    // Out-of-range codes would otherwise wrap onto real keys (65536 → A).
    return alternateKeyCode >= 0 && alternateKeyCode <= 0xFFFF ? alternateKeyCode : -1;
}

QString TNKeyboardLayoutMgr::letterForKeyCode(int keyCode, const QString &layoutID)
{
    LayoutData *layout = keyCode >= 0 && keyCode <= kMaxKeyCode ? cache().find(layoutID) : nullptr;
    if (!layout)
        return {};
    if (auto it = layout->letters.constFind(keyCode); it != layout->letters.cend())
        return *it;
    const QString letter = translate(layout, keyCode, 0).toUpper();
    layout->letters.insert(keyCode, letter);
    return letter;
}

QString TNKeyboardLayoutMgr::symbolForKeyCode(int keyCode, unsigned modify, const QString &layoutID)
{
    LayoutData *layout = keyCode >= 0 && keyCode <= kMaxKeyCode ? cache().find(layoutID) : nullptr;
    if (!layout)
        return {};
    // Keyed by the bits a translation reads, so the cache stays small
    // whatever masks callers pass.
    QHash<int, QString> &byKey = layout->symbols[modify & kTranslatedModifierBits];
    if (auto it = byKey.constFind(keyCode); it != byKey.cend())
        return *it;
    const QString symbol = translate(layout, keyCode, modify);
    byKey.insert(keyCode, symbol);
    return symbol;
}

int TNKeyboardLayoutMgr::keyCodeForSymbol(const QString &symbol, const QString &layoutID)
{
    if (symbol.isEmpty())
        return 0;
    LayoutData *layout = cache().find(layoutID);
    if (!layout)
        return 0;
    if (!layout->symbolMap) {
        QHash<QString, int> map;
        for (int code : supportedKeyCodes()) {
            for (unsigned modifiers : {0u, kCarbonShift}) {
                const QString text = translate(layout, code, modifiers);
                if (!text.isEmpty())
                    map.insert(text, code);
            }
        }
        layout->symbolMap = std::move(map);
    }
    return layout->symbolMap->value(symbol, 0);
}

QString TNKeyboardLayoutMgr::p_letterForKeyCode(int keyCode, unsigned modifyFlag, const QString &layoutID)
{
    return translate(cache().find(layoutID), keyCode, modifyFlag);
}

// ---- The model's key translator ----

void TNKeyboardLayoutMgr::installKeyTranslator()
{
    TNKeyTranslator translator;
    translator.currentKeyboardLayoutID = [] { return sharedMgr().currentKeyboardLayoutID(); };
    translator.letterForKeyCode = [](int keyCode, const QString &layoutID) {
        return letterForKeyCode(keyCode, layoutID);
    };
    translator.keyCodeForLetter = [](const QString &letter, int alternateKeyCode, const QString &layoutID) {
        return keyCodeForLetter(letter, alternateKeyCode, layoutID);
    };
    setKeyTranslator(std::move(translator));
}

} // namespace kalvo

namespace {
// Runs when the application object is created (or at once when the library
// is loaded into a running application): the model then translates through
// the real layouts. The shared manager itself is still made on first use.
void installKalvoKeyTranslator()
{
    kalvo::TNKeyboardLayoutMgr::installKeyTranslator();
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installKalvoKeyTranslator)
