// The shortcut managers: records, handles and the indexes that keep a
// keystroke's cost flat in the number of shortcuts.
#include <kalvo/hotkey/eventhotkeymgr.h>

#include "platform/linux/hotkeys/global_key_grabber.h"

#include <kalvo/platform/keycodes.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <QVarLengthArray>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <optional>

namespace kalvo {

namespace {

const std::vector<TNEventHotKeyRef> kNoRecords;

void eraseRef(std::vector<TNEventHotKeyRef> &refs, TNEventHotKeyRef ref)
{
    refs.erase(std::remove(refs.begin(), refs.end(), ref), refs.end());
}

} // namespace

// ---- Handlers and responders ----

TNEventHotkeyHandler::~TNEventHotkeyHandler() = default;

int TNEventHotkeyHandler::appEventActionWithHotkeyMgr(TNAppEventHotkeyMgr &, QKeyEvent *, TNEventHotKeyRef)
{
    return kTNHotkeyNotHandledErr;
}

int TNEventHotkeyHandler::globalEventActionWithHotkeyMgr(TNGlobalEventHotkeyMgr &, const TNGlobalHotkeyEvent &,
                                                         TNEventHotKeyRef)
{
    return kTNHotkeyNotHandledErr;
}

namespace {
std::atomic<int> g_responders{0};
}

TNHotkeyResponder::TNHotkeyResponder()
{
    ++g_responders;
}

TNHotkeyResponder::TNHotkeyResponder(const TNHotkeyResponder &)
{
    ++g_responders;
}

TNHotkeyResponder::~TNHotkeyResponder()
{
    --g_responders;
}

int TNHotkeyResponder::instanceCount()
{
    return g_responders.load(std::memory_order_relaxed);
}

QObject *TNHotkeyResponder::handleHotkeyWithEvent(QKeyEvent *event)
{
    return nextHotkeyResponder(event);
}

QObject *TNHotkeyResponder::nextHotkeyResponder(QKeyEvent *event)
{
    // Widgets are the only responders; a window (no parent) ends the chain.
    auto *widget = dynamic_cast<QWidget *>(this);
    return widget ? handleHotkeyWithEvent(widget->parentWidget(), event) : nullptr;
}

QObject *TNHotkeyResponder::handleHotkeyWithEvent(QObject *object, QKeyEvent *event)
{
    for (QObject *current = object; current; current = current->parent()) {
        if (!current->isWidgetType())
            return nullptr;
        if (auto *responder = dynamic_cast<TNHotkeyResponder *>(current))
            return responder->handleHotkeyWithEvent(event);
        if (static_cast<QWidget *>(current)->isWindow())
            return nullptr;
    }
    return nullptr;
}

// ---- Base manager ----

TNEventHotkeyMgr::TNEventHotkeyMgr() = default;
TNEventHotkeyMgr::~TNEventHotkeyMgr() = default;

TNEventHotKeyRef TNEventHotkeyMgr::nextHandle()
{
    static TNEventHotKeyRef counter = 0;
    return ++counter;
}

void TNEventHotkeyMgr::addEventHandler(TNEventHotkeyHandler *handler)
{
    if (handler && !m_handlers.contains(handler))
        m_handlers.append(handler);
}

void TNEventHotkeyMgr::removeEventHandler(TNEventHotkeyHandler *handler)
{
    if (handler)
        m_handlers.removeAll(handler);
}

bool TNEventHotkeyMgr::hasEventHandler(const TNEventHotkeyHandler *handler) const
{
    return handler && m_handlers.contains(const_cast<TNEventHotkeyHandler *>(handler));
}

namespace {

quint64 comboKey(int keyCode, quint32 modifiers)
{
    return (quint64(quint32(keyCode)) << 32) | modifiers;
}

} // namespace

int TNEventHotkeyMgr::registerEventHotkey(const TNHotkeyCombo &combo, TNEventHotkeyHandler *handler,
                                          TNEventHotKeyRef *hotkeyRef)
{
    const quint64 key = comboKey(combo.hotkeyCode(), combo.nsEventModifiers());
    if (auto bucket = m_byCombo.find(key); bucket != m_byCombo.end()) {
        for (TNEventHotKeyRef ref : bucket->second) {
            if (m_records.at(ref).handler == handler)
                return kTNHotkeyExistsErr;
        }
    }
    TNEventHotkeyRecord record;
    record.keyCombo = combo;
    record.hotkeyRef = nextHandle();
    record.handler = handler;
    m_records.emplace(record.hotkeyRef, record);
    m_byCombo[key].push_back(record.hotkeyRef);
    if (hotkeyRef)
        *hotkeyRef = record.hotkeyRef;
    updateEventMonitor();
    return kTNHotkeyNoErr;
}

void TNEventHotkeyMgr::unregisterEventHotKey(TNEventHotKeyRef hotkeyRef)
{
    auto it = m_records.find(hotkeyRef);
    if (it == m_records.end())
        return;
    setKeyDown(it->second, false);
    const TNHotkeyCombo combo = it->second.keyCombo;
    m_records.erase(it);
    if (auto bucket = m_byCombo.find(comboKey(combo.hotkeyCode(), combo.nsEventModifiers()));
        bucket != m_byCombo.end()) {
        eraseRef(bucket->second, hotkeyRef);
        if (bucket->second.empty())
            m_byCombo.erase(bucket);
    }
    updateEventMonitor();
}

void TNEventHotkeyMgr::setKeyDown(TNEventHotkeyRecord &record, bool down)
{
    if (record.isKeyDown == down)
        return;
    record.isKeyDown = down;
    std::vector<TNEventHotKeyRef> &pressed = m_pressed[record.keyCombo.hotkeyCode()];
    if (down) {
        pressed.insert(std::upper_bound(pressed.begin(), pressed.end(), record.hotkeyRef), record.hotkeyRef);
    } else {
        eraseRef(pressed, record.hotkeyRef);
        if (pressed.empty())
            m_pressed.erase(record.keyCombo.hotkeyCode());
    }
}

const TNEventHotkeyRecord *TNEventHotkeyMgr::getHotkeyBy(TNEventHotKeyRef hotkeyRef) const
{
    auto it = m_records.find(hotkeyRef);
    return it == m_records.end() ? nullptr : &it->second;
}

TNEventHotkeyRecord *TNEventHotkeyMgr::record(TNEventHotKeyRef hotkeyRef)
{
    auto it = m_records.find(hotkeyRef);
    return it == m_records.end() ? nullptr : &it->second;
}

QList<TNEventHotkeyRecord> TNEventHotkeyMgr::hotkeyArray() const
{
    QList<TNEventHotkeyRecord> records;
    records.reserve(qsizetype(m_records.size()));
    for (const auto &[ref, record] : m_records)
        records.append(record);
    std::sort(records.begin(), records.end(),
              [](const TNEventHotkeyRecord &a, const TNEventHotkeyRecord &b) { return a.hotkeyRef < b.hotkeyRef; });
    return records;
}

const std::vector<TNEventHotKeyRef> &TNEventHotkeyMgr::recordsFor(int keyCode, quint32 nsEventModifiers) const
{
    auto it = m_byCombo.find(comboKey(keyCode, nsEventModifiers));
    return it == m_byCombo.end() ? kNoRecords : it->second;
}

const std::vector<TNEventHotKeyRef> &TNEventHotkeyMgr::pressedRecordsFor(int keyCode) const
{
    auto it = m_pressed.find(keyCode);
    return it == m_pressed.end() ? kNoRecords : it->second;
}

// ---- Local manager ----

namespace {

// What identifies one key stroke while Qt hands the same event object on:
// from the window to the focus widget, and up the parents while unaccepted.
struct Delivery
{
    const QEvent *event = nullptr;
    QEvent::Type type = QEvent::None;
    quint64 timestamp = 0;
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    quint32 scanCode = 0;
    bool autoRepeat = false;
    // Compared, never followed, once its delivery has returned: a receiver
    // may be destroyed while its event is handed on. Its parent widget is
    // taken while it is certainly alive. (No QPointer: it costs a shared
    // reference count on every key event.)
    QObject *receiver = nullptr;
    const QObject *receiverParent = nullptr;
    bool receiverIsWindow = false;

    static const QObject *parentWidgetOf(const QObject *object)
    {
        return object && object->isWidgetType() ? static_cast<const QWidget *>(object)->parentWidget() : nullptr;
    }

    static Delivery of(QObject *receiver, const QKeyEvent *event)
    {
        Delivery d;
        d.event = event;
        d.type = event->type();
        d.timestamp = event->timestamp();
        d.key = event->key();
        d.modifiers = event->modifiers();
        d.scanCode = event->nativeScanCode();
        d.autoRepeat = event->isAutoRepeat();
        d.receiver = receiver;
        d.receiverParent = parentWidgetOf(receiver);
        d.receiverIsWindow = receiver && receiver->isWindowType();
        return d;
    }

    bool sameStroke(const Delivery &other) const
    {
        return timestamp == other.timestamp && key == other.key && modifiers == other.modifiers
            && scanCode == other.scanCode && autoRepeat == other.autoRepeat;
    }
};

} // namespace

struct TNAppEventHotkeyMgr::Private
{
    class Filter final : public QObject
    {
    public:
        explicit Filter(TNAppEventHotkeyMgr *mgr) : m_mgr(mgr) {}
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
                return m_mgr->handleKeyEvent(watched, static_cast<QKeyEvent *>(event));
            default:
                return false;
            }
        }

    private:
        TNAppEventHotkeyMgr *m_mgr;
    };

    std::unique_ptr<Filter> filter;
    bool installed = false;
    int bypass = 0;
    QPointer<QObject> assignedEventHandler;
    Delivery last;
    // The outcome of the last key press seen as a shortcut override: Qt sends
    // the override first, then (unless a Qt shortcut took it) the press.
    bool overridePending = false;
    bool overrideSwallowed = false;
    Delivery overrideStroke;
};

TNAppEventHotkeyMgr::TNAppEventHotkeyMgr() : d(std::make_unique<Private>()) {}

TNAppEventHotkeyMgr::~TNAppEventHotkeyMgr()
{
    if (d->installed && qApp)
        qApp->removeEventFilter(d->filter.get());
}

TNAppEventHotkeyMgr &TNAppEventHotkeyMgr::shared()
{
    // Lives for the process, like the application's event loop it serves.
    static auto *mgr = new TNAppEventHotkeyMgr;
    return *mgr;
}

bool TNAppEventHotkeyMgr::isMonitoring() const
{
    return d->installed;
}

QObject *TNAppEventHotkeyMgr::assignedEventHandler() const
{
    return d->assignedEventHandler;
}

void TNAppEventHotkeyMgr::updateEventMonitor()
{
    const bool wanted = hotkeyCount() > 0 && qApp;
    if (wanted == d->installed)
        return;
    if (wanted) {
        if (!d->filter)
            d->filter = std::make_unique<Private::Filter>(this);
        qApp->installEventFilter(d->filter.get());
    } else {
        if (qApp)
            qApp->removeEventFilter(d->filter.get());
        d->assignedEventHandler = nullptr;
        d->overridePending = false;
    }
    d->installed = wanted;
}

void TNAppEventHotkeyMgr::sendEventBypassingShortcuts(QObject *receiver, QKeyEvent *event)
{
    if (!receiver || !event)
        return;
    ++d->bypass;
    QCoreApplication::sendEvent(receiver, event);
    --d->bypass;
}

bool TNAppEventHotkeyMgr::handleKeyEvent(QObject *receiver, QKeyEvent *event)
{
    if (!event || d->bypass > 0)
        return false;
    const Delivery delivery = Delivery::of(receiver, event);
    // The same event handed on: from the window to its focus widget, or
    // from an unaccepting widget to its parent. Seen once is enough.
    if (receiver && receiver->isWidgetType() && d->last.event == event && d->last.type == delivery.type
        && d->last.sameStroke(delivery)
        && (d->last.receiverIsWindow || (d->last.receiverParent && d->last.receiverParent == receiver))) {
        d->last.receiver = receiver;
        d->last.receiverParent = Delivery::parentWidgetOf(receiver);
        d->last.receiverIsWindow = false;
        return false;
    }
    d->last = delivery;

    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Decide here, before Qt's own shortcuts: a handled press is kept
        // from QAction and QShortcut by accepting the override.
        d->overridePending = true;
        d->overrideStroke = delivery;
        d->overrideSwallowed = dispatchKeyDown(event, true);
        if (d->overrideSwallowed)
            event->accept();
        return d->overrideSwallowed;
    }
    case QEvent::KeyPress: {
        if (d->overridePending) {
            d->overridePending = false;
            if (d->overrideStroke.sameStroke(delivery))
                return d->overrideSwallowed;
        }
        return dispatchKeyDown(event, false);
    }
    case QEvent::KeyRelease:
        d->overridePending = false;
        return dispatchKeyUp(event);
    default:
        return false;
    }
}

namespace {

// Responders and shortcuts see (and long presses keep) a key press, also
// when the decision is taken on the shortcut override that announces it;
// the copy is made only when someone is to see it.
class PressEvent
{
public:
    PressEvent(QKeyEvent *event, bool isOverride) : m_event(event), m_isOverride(isOverride) {}
    QKeyEvent *get()
    {
        if (!m_isOverride)
            return m_event;
        if (!m_press) {
            m_press.emplace(QEvent::KeyPress, m_event->key(), m_event->modifiers(), m_event->nativeScanCode(),
                            m_event->nativeVirtualKey(), m_event->nativeModifiers(), m_event->text(),
                            m_event->isAutoRepeat(), m_event->count(), m_event->device());
            m_press->setTimestamp(m_event->timestamp());
        }
        return &*m_press;
    }

private:
    QKeyEvent *m_event;
    bool m_isOverride;
    std::optional<QKeyEvent> m_press;
};

// The first widget from `object` up that is a hotkey responder.
TNHotkeyResponder *firstResponder(QObject *object)
{
    for (QObject *current = object; current && current->isWidgetType(); current = current->parent()) {
        if (auto *responder = dynamic_cast<TNHotkeyResponder *>(current))
            return responder;
        if (static_cast<QWidget *>(current)->isWindow())
            return nullptr;
    }
    return nullptr;
}

} // namespace

bool TNAppEventHotkeyMgr::dispatchKeyDown(QKeyEvent *event, bool isOverride)
{
    PressEvent press(event, isOverride);
    // A widget holding the press sees its repeats before the shortcuts do.
    if (QObject *holder = d->assignedEventHandler) {
        if (!event->isAutoRepeat()) {
            // A new press while a release went missing (focus change, popup):
            // the hold ends.
            d->assignedEventHandler = nullptr;
        } else if (auto *responder = dynamic_cast<TNHotkeyResponder *>(holder)) {
            responder->handleHotkeyWithEvent(press.get());
        }
    }
    if (!event->isAutoRepeat() && !d->assignedEventHandler && TNHotkeyResponder::instanceCount() > 0) {
        QObject *first = QApplication::focusWidget();
        if (!first && d->last.receiver && d->last.receiver->isWidgetType())
            first = d->last.receiver;
        if (TNHotkeyResponder *responder = firstResponder(first)) {
            if (QObject *claimed = responder->handleHotkeyWithEvent(press.get())) {
                d->assignedEventHandler = claimed;
                return true;
            }
        }
    }

    const std::optional<int> keyCode = keyCodeOf(*event);
    if (!keyCode)
        return false;
    quint32 flags = modifierFlagsFromQt(event->modifiers()) & 0x9E0000;
    // Function and arrow keys carry the function bit, as combinations do.
    if (TNHotkeyCombo::isFunctionKeyCode(*keyCode))
        flags |= TNHotkeyCombo::kFunctionKeyMask;

    const std::vector<TNEventHotKeyRef> &matching = recordsFor(*keyCode, flags);
    if (matching.empty())
        return false;
    // Newest first; handlers may register or unregister as they run, so the
    // handles are copied.
    const QVarLengthArray<TNEventHotKeyRef, 8> refs(matching.cbegin(), matching.cend());
    for (auto it = refs.crbegin(); it != refs.crend(); ++it) {
        TNEventHotkeyRecord *match = record(*it);
        if (!match)
            continue;
        setKeyDown(*match, true);
        TNEventHotkeyHandler *handler = match->handler;
        if (!hasEventHandler(handler))
            continue;
        if (handler->appEventActionWithHotkeyMgr(*this, press.get(), *it) == kTNHotkeyNoErr)
            return true;
    }
    return false;
}

bool TNAppEventHotkeyMgr::dispatchKeyUp(QKeyEvent *event)
{
    if (QObject *holder = d->assignedEventHandler) {
        d->assignedEventHandler = nullptr;
        if (auto *responder = dynamic_cast<TNHotkeyResponder *>(holder))
            responder->handleHotkeyWithEvent(event);
        return true;
    }
    const std::optional<int> keyCode = keyCodeOf(*event);
    if (!keyCode)
        return false;
    const std::vector<TNEventHotKeyRef> &pressed = pressedRecordsFor(*keyCode);
    if (pressed.empty())
        return false;
    const QVarLengthArray<TNEventHotKeyRef, 8> refs(pressed.cbegin(), pressed.cend());
    for (auto it = refs.crbegin(); it != refs.crend(); ++it) {
        TNEventHotkeyRecord *match = record(*it);
        if (!match || !match->isKeyDown)
            continue;
        setKeyDown(*match, false);
        TNEventHotkeyHandler *handler = match->handler;
        if (!hasEventHandler(handler))
            continue;
        if (handler->appEventActionWithHotkeyMgr(*this, event, *it) == kTNHotkeyNoErr)
            return true;
    }
    return false;
}

// ---- Global manager ----

struct TNGlobalEventHotkeyMgr::Private
{
    struct Entry
    {
        TNEventHotKeyRef handle = 0; // also the grab's id
        TNHotkeyCombo combo;
        QList<TNEventHotKeyRef> subHotkeyRefs; // oldest first
        bool grabbed = false;
    };

    std::unique_ptr<GlobalKeyGrabber> grabber;
    bool listening = false;
    // "ID(<code>,<modifiers>)" → entry, and entry handle → key.
    QHash<QString, Entry> globalHotkeyRef;
    QHash<TNEventHotKeyRef, QString> entryKeys;

    static QString keyFor(const TNHotkeyCombo &combo)
    {
        return QStringLiteral("ID(%1,%2)").arg(combo.hotkeyCode()).arg(combo.nsEventModifiers());
    }
};

TNGlobalEventHotkeyMgr::TNGlobalEventHotkeyMgr() : d(std::make_unique<Private>()) {}
TNGlobalEventHotkeyMgr::~TNGlobalEventHotkeyMgr() = default;

TNGlobalEventHotkeyMgr &TNGlobalEventHotkeyMgr::shared()
{
    static auto *mgr = new TNGlobalEventHotkeyMgr;
    return *mgr;
}

GlobalKeyGrabber &TNGlobalEventHotkeyMgr::grabber()
{
    if (!d->grabber)
        d->grabber = createDefaultGlobalKeyGrabber();
    return *d->grabber;
}

bool TNGlobalEventHotkeyMgr::isAvailable()
{
    return grabber().isAvailable();
}

namespace {

int statusFor(KeyGrabResult result)
{
    switch (result) {
    case KeyGrabResult::grabbed:
        return kTNHotkeyNoErr;
    case KeyGrabResult::heldByAnotherClient:
        return kTNHotkeyExistsErr;
    case KeyGrabResult::keyNotOnKeyboard:
        return kTNHotkeyInvalidErr;
    case KeyGrabResult::unavailable:
    case KeyGrabResult::failed:
        break;
    }
    return kTNHotkeyUnavailableErr;
}

} // namespace

int TNGlobalEventHotkeyMgr::grabEntry(TNEventHotKeyRef entryRef, const TNHotkeyCombo &combo)
{
    // Stored combinations name US keys; the grab needs the key that types
    // the same letter in the layout in use.
    return statusFor(grabber().grab(entryRef, combo.keyCodeForCurrentKeyboardLayout(), combo.nsEventModifiers()));
}

int TNGlobalEventHotkeyMgr::registerEventHotkey(const TNHotkeyCombo &combo, TNEventHotkeyHandler *handler,
                                                TNEventHotKeyRef *hotkeyRef)
{
    TNEventHotKeyRef ref = 0;
    const int status = TNEventHotkeyMgr::registerEventHotkey(combo, handler, &ref);
    if (status != kTNHotkeyNoErr)
        return status;

    const QString key = Private::keyFor(combo);
    auto entry = d->globalHotkeyRef.find(key);
    if (entry == d->globalHotkeyRef.end()) {
        Private::Entry created;
        created.handle = nextHandle();
        created.combo = combo;
        entry = d->globalHotkeyRef.insert(key, created);
        d->entryKeys.insert(created.handle, key);
    }
    entry->subHotkeyRefs.append(ref);
    if (!entry->grabbed) {
        const int grabStatus = grabEntry(entry->handle, combo);
        if (grabStatus != kTNHotkeyNoErr) {
            // A refused grab leaves nothing behind: a stale record would make
            // the next attempt fail as a duplicate long after the key is free.
            TNEventHotkeyMgr::unregisterEventHotKey(ref);
            entry = d->globalHotkeyRef.find(key);
            entry->subHotkeyRefs.removeAll(ref);
            if (entry->subHotkeyRefs.isEmpty()) {
                d->entryKeys.remove(entry->handle);
                d->globalHotkeyRef.erase(entry);
            }
            return grabStatus;
        }
        entry->grabbed = true;
    }
    if (hotkeyRef)
        *hotkeyRef = ref;
    return kTNHotkeyNoErr;
}

void TNGlobalEventHotkeyMgr::unregisterEventHotKey(TNEventHotKeyRef hotkeyRef)
{
    const TNEventHotkeyRecord *found = getHotkeyBy(hotkeyRef);
    if (!found)
        return;
    const QString key = Private::keyFor(found->keyCombo);
    TNEventHotkeyMgr::unregisterEventHotKey(hotkeyRef);
    auto entry = d->globalHotkeyRef.find(key);
    if (entry == d->globalHotkeyRef.end())
        return;
    entry->subHotkeyRefs.removeAll(hotkeyRef);
    if (!entry->subHotkeyRefs.isEmpty())
        return;
    if (entry->grabbed && d->grabber)
        d->grabber->ungrab(entry->handle);
    d->entryKeys.remove(entry->handle);
    d->globalHotkeyRef.erase(entry);
}

void TNGlobalEventHotkeyMgr::updateEventMonitor()
{
    const bool wanted = hotkeyCount() > 0;
    if (wanted == d->listening)
        return;
    d->listening = wanted;
    if (wanted) {
        grabber().setListener([this](quint64 id, bool pressed) {
            dispatchGlobalEvent(id, TNGlobalHotkeyEvent{pressed ? TNGlobalHotkeyEvent::pressed
                                                                : TNGlobalHotkeyEvent::released});
        });
    } else if (d->grabber) {
        d->grabber->setListener(nullptr);
    }
}

int TNGlobalEventHotkeyMgr::dispatchGlobalEvent(TNEventHotKeyRef entryRef, const TNGlobalHotkeyEvent &event)
{
    if (entryRef == 0)
        return kTNHotkeyNotHandledErr;
    const QString key = d->entryKeys.value(entryRef);
    auto entry = d->globalHotkeyRef.find(key);
    if (key.isEmpty() || entry == d->globalHotkeyRef.end())
        return kTNHotkeyNotHandledErr;
    // Handlers may unregister while the walk runs.
    const QList<TNEventHotKeyRef> refs = entry->subHotkeyRefs;
    for (auto it = refs.crbegin(); it != refs.crend(); ++it) {
        TNEventHotkeyRecord *match = record(*it);
        if (!match)
            continue;
        setKeyDown(*match, event.kind == TNGlobalHotkeyEvent::pressed);
        TNEventHotkeyHandler *handler = match->handler;
        if (!hasEventHandler(handler))
            continue;
        if (handler->globalEventActionWithHotkeyMgr(*this, event, *it) == kTNHotkeyNoErr)
            return kTNHotkeyNoErr;
    }
    return kTNHotkeyNotHandledErr;
}

void TNGlobalEventHotkeyMgr::setKeyGrabber(std::unique_ptr<GlobalKeyGrabber> grabber)
{
    if (d->grabber) {
        for (const Private::Entry &entry : std::as_const(d->globalHotkeyRef)) {
            if (entry.grabbed)
                d->grabber->ungrab(entry.handle);
        }
        d->grabber->setListener(nullptr);
    }
    d->grabber = std::move(grabber);
    d->listening = false;
    // Entries the new service refuses stay, ungrabbed: their records belong
    // to centers that believe them registered, and the next replacement or
    // re-registration may succeed.
    for (Private::Entry &entry : d->globalHotkeyRef)
        entry.grabbed = d->grabber && grabEntry(entry.handle, entry.combo) == kTNHotkeyNoErr;
    if (d->grabber)
        updateEventMonitor();
}

bool TNGlobalEventHotkeyMgr::connectToDisplay(const QString &displayName)
{
    setKeyGrabber(createX11KeyGrabber(displayName));
    return d->grabber->isAvailable();
}

QStringList TNGlobalEventHotkeyMgr::globalHotkeyRefKeys() const
{
    QStringList keys = d->globalHotkeyRef.keys();
    keys.sort();
    return keys;
}

QList<TNEventHotKeyRef> TNGlobalEventHotkeyMgr::subHotkeyRefs(const QString &key) const
{
    return d->globalHotkeyRef.value(key).subHotkeyRefs;
}

} // namespace kalvo
