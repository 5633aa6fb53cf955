#include <kalvo/hotkey/hotkeycenter.h>
#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/settings.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>

#include <utility>

namespace kalvo {

namespace {

// Registration numbers are process-wide, so entries of all centers sort in
// registration order.
qint64 nextRegistrationNumber()
{
    static qint64 counter = 0;
    return ++counter;
}

// A pushed state: bools and numbers, and the text a settings file gives back
// for them after a reload; nothing stored reads as off. Anything else is not
// a state.
std::optional<bool> stateFrom(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return false;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("no"))
            return false;
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (ok)
            return number != 0.0;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString identifierOfName(const QString &name, const QString &prefix)
{
    return name.startsWith(prefix) ? name.mid(prefix.size()) : QString();
}

} // namespace

// ---- Delegate defaults ----

TNHotkeyCenterDelegate::~TNHotkeyCenterDelegate() = default;
void TNHotkeyCenterDelegate::hotkeyCenterHotkeyWillUpdate(TNHotkeyCenter &, const TNHotkey &) {}
std::optional<bool> TNHotkeyCenterDelegate::hotkeyCenterShouldSkipHotkey(TNHotkeyCenter &, const TNHotkey &,
                                                                         const QKeyEvent *, bool)
{
    return std::nullopt;
}
std::optional<bool> TNHotkeyCenterDelegate::hotkeyCenterLongPressFailShouldShortPress(TNHotkeyCenter &,
                                                                                      const TNHotkey &,
                                                                                      const QKeyEvent *,
                                                                                      const QKeyEvent *)
{
    return std::nullopt;
}

// ---- Life ----

TNHotkeyCenter::TNHotkeyCenter(QObject *parent) : QObject(parent)
{
    observeKeyboardLayout();
}

TNHotkeyCenter::~TNHotkeyCenter()
{
    cleanUp();
}

void TNHotkeyCenter::observeKeyboardLayout()
{
    auto &center = NotificationCenter::defaultCenter();
    m_layoutWillChange = center.addObserver(this, TNKeyBoardLayoutWillChanged, nullptr,
                                            [this](const Notification &) { keyboardLayoutWillChange(); });
    m_layoutDidChange = center.addObserver(this, TNKeyBoardLayoutDidChanged, nullptr,
                                           [this](const Notification &) { keyboardLayoutDidChange(); });
}

void TNHotkeyCenter::cleanUp()
{
    auto &center = NotificationCenter::defaultCenter();
    center.removeObserver(m_layoutWillChange);
    center.removeObserver(m_layoutDidChange);
    m_layoutWillChange = m_layoutDidChange = 0;
    m_delegate.reset();
    pauseAll();
    unbindAll();
    TNGlobalEventHotkeyMgr::shared().removeEventHandler(this);
    TNAppEventHotkeyMgr::shared().removeEventHandler(this);
    m_globalEventHandler = m_localEventHandler = false;
    m_globalHotKeys.clear();
    m_localHotkeys.clear();
    m_globalByRef.clear();
    m_localByRef.clear();
    m_globalBinders.clear();
    m_localBinders.clear();
    m_globalStateBinders.clear();
    m_localStateBinders.clear();
    const auto store = TNHotkeyConfiguration::hotkeyDefaults();
    for (ObserverId id : std::as_const(m_bindings))
        store->removeObserver(id);
    m_bindings.clear();
}

TNEventHotkeyMgr &TNHotkeyCenter::manager(bool global) const
{
    if (global)
        return TNGlobalEventHotkeyMgr::shared();
    return TNAppEventHotkeyMgr::shared();
}

// ---- Registration ----

bool TNHotkeyCenter::isValidHotKeyCombo(const TNHotkeyCombo &combo) const
{
    return !combo.isInvalid() && combo.hotkeyCode() >= 0
        && (combo.eventRefModifiers() != 0 || m_isSupportNoneModifiers);
}

bool TNHotkeyCenter::registerHotKey(const std::shared_ptr<TNHotkey> &hotkey, bool global, int *status)
{
    if (status)
        *status = kTNHotkeyNoErr;
    if (!hotkey || !isValidHotKeyCombo(hotkey->hotkeyCombo())) {
        if (status)
            *status = kTNHotkeyInvalidErr;
        return false;
    }
    std::shared_ptr<TNHotkey> copy = hotkey->copy();
    const quint32 required = global ? m_globalRequiredModifiers : m_localRequiredModifiers;
    if (required != 0) {
        const TNHotkeyCombo &combo = copy->hotkeyCombo();
        copy->setHotkeyCombo(TNHotkeyCombo(combo.hotkeyCode(), required | combo.eventRefModifiers()));
    }
    copy->setHotkeyCenter(this);
    copy->setEventHotKeyRef(0);
    unregisterHotKeyByIdentifier(copy->identifier(), global);
    const qint64 number = nextRegistrationNumber();

    if (!paused(global)) {
        TNEventHotKeyRef ref = 0;
        const int result = manager(global).registerEventHotkey(copy->hotkeyCombo(), this, &ref);
        if (result != kTNHotkeyNoErr) {
            if (status)
                *status = result;
            return false;
        }
        copy->setEventHotKeyRef(ref);
        byRef(global).insert(ref, copy);
    }
    entries(global).insert(number, copy);
    byIdentifier(global).insert(copy->identifier(), number);
    updateHandlerRegistration(global);
    return true;
}

void TNHotkeyCenter::removeEntry(qint64 number, bool global)
{
    const std::shared_ptr<TNHotkey> entry = entries(global).take(number);
    if (!entry)
        return;
    if (byIdentifier(global).value(entry->identifier()) == number)
        byIdentifier(global).remove(entry->identifier());
    if (const TNEventHotKeyRef ref = entry->eventHotKeyRef()) {
        byRef(global).remove(ref);
        if (!paused(global))
            manager(global).unregisterEventHotKey(ref);
        entry->setEventHotKeyRef(0);
    }
    updateHandlerRegistration(global);
}

void TNHotkeyCenter::unregisterHotKey(const TNHotkey &hotkey, bool global)
{
    const Registrations &map = entries(global);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value()->hotkeyCombo() == hotkey.hotkeyCombo()) {
            removeEntry(it.key(), global);
            return;
        }
    }
}

void TNHotkeyCenter::unregisterHotKeyByIdentifier(const QString &identifier, bool global)
{
    auto it = byIdentifier(global).constFind(identifier);
    if (it != byIdentifier(global).cend())
        removeEntry(*it, global);
}

std::shared_ptr<TNHotkey> TNHotkeyCenter::getHotkeyByCombo(const TNHotkeyCombo &combo, bool global) const
{
    for (const auto &entry : entries(global)) {
        if (entry->hotkeyCombo() == combo)
            return entry;
    }
    return nullptr;
}

std::shared_ptr<TNHotkey> TNHotkeyCenter::hotkeyByIdentifier(const QString &identifier, bool global) const
{
    const auto &index = global ? m_globalByIdentifier : m_localByIdentifier;
    auto it = index.constFind(identifier);
    return it == index.cend() ? nullptr : entries(global).value(*it);
}

bool TNHotkeyCenter::isActive(const QString &identifier, bool global) const
{
    const std::shared_ptr<TNHotkey> entry = hotkeyByIdentifier(identifier, global);
    return entry && entry->eventHotKeyRef() != 0 && manager(global).getHotkeyBy(entry->eventHotKeyRef());
}

void TNHotkeyCenter::updateHandlerRegistration(bool global)
{
    bool &registered = global ? m_globalEventHandler : m_localEventHandler;
    const bool isPaused = global ? m_isGlobalPaused : m_isLocalPaused;
    if (registered && (isPaused || entries(global).isEmpty())) {
        manager(global).removeEventHandler(this);
        registered = false;
    } else if (!registered && !isPaused && !entries(global).isEmpty()) {
        manager(global).addEventHandler(this);
        registered = true;
    }
}

// ---- Pausing ----

void TNHotkeyCenter::pause(bool global)
{
    if (paused(global))
        return;
    paused(global) = true;
    for (const auto &entry : std::as_const(entries(global))) {
        if (const TNEventHotKeyRef ref = entry->eventHotKeyRef()) {
            manager(global).unregisterEventHotKey(ref);
            entry->setEventHotKeyRef(0);
        }
    }
    byRef(global).clear();
    updateHandlerRegistration(global);
}

void TNHotkeyCenter::resume(bool global)
{
    if (!paused(global))
        return;
    paused(global) = false;
    // Entries the platform refuses now stay inactive until the next resume.
    const Registrations snapshot = entries(global);
    for (const auto &entry : snapshot) {
        TNEventHotKeyRef ref = 0;
        if (manager(global).registerEventHotkey(entry->hotkeyCombo(), this, &ref) == kTNHotkeyNoErr) {
            entry->setEventHotKeyRef(ref);
            byRef(global).insert(ref, entry);
        } else {
            entry->setEventHotKeyRef(0);
        }
    }
    updateHandlerRegistration(global);
}

void TNHotkeyCenter::pauseAll()
{
    pause(true);
    pause(false);
}

void TNHotkeyCenter::resumeAll()
{
    resume(true);
    resume(false);
}

void TNHotkeyCenter::keyboardLayoutWillChange()
{
    if (!m_isGlobalPaused) {
        pause(true);
        m_isGlobalPausedByKeyBoard = true;
    }
    if (!m_isLocalPaused) {
        pause(false);
        m_isLocalPausedByKeyBoard = true;
    }
}

void TNHotkeyCenter::keyboardLayoutDidChange()
{
    if (m_isGlobalPausedByKeyBoard && m_isGlobalPaused)
        resume(true);
    if (m_isLocalPausedByKeyBoard && m_isLocalPaused)
        resume(false);
    m_isGlobalPausedByKeyBoard = false;
    m_isLocalPausedByKeyBoard = false;
}

// ---- Events ----

bool TNHotkeyCenter::isApplicationTyping()
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return false;
    if (auto *edit = qobject_cast<QLineEdit *>(focus))
        return !edit->isReadOnly();
    if (auto *edit = qobject_cast<QTextEdit *>(focus))
        return !edit->isReadOnly();
    if (auto *edit = qobject_cast<QPlainTextEdit *>(focus))
        return !edit->isReadOnly();
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(focus))
        return !spin->isReadOnly();
    if (auto *combo = qobject_cast<QComboBox *>(focus))
        return combo->isEditable();
    // Web and code views, known by class name so that their libraries need
    // not be linked; their focus may sit in a child of the view.
    for (QObject *object = focus; object; object = object->parent()) {
        if (object->inherits("QWebEngineView") || object->inherits("QsciScintillaBase")
            || qstrcmp(object->metaObject()->className(), "QtWebEngineCore::RenderWidgetHostViewQtDelegateWidget")
                == 0)
            return true;
    }
    return false;
}

int TNHotkeyCenter::appEventActionWithHotkeyMgr(TNAppEventHotkeyMgr &, QKeyEvent *event, TNEventHotKeyRef hotkeyRef)
{
    return handleLocalEvent(event, hotkeyRef);
}

int TNHotkeyCenter::globalEventActionWithHotkeyMgr(TNGlobalEventHotkeyMgr &, const TNGlobalHotkeyEvent &event,
                                                   TNEventHotKeyRef hotkeyRef)
{
    return handleGlobalEvent(event, hotkeyRef);
}

int TNHotkeyCenter::handleLocalEvent(QKeyEvent *event, TNEventHotKeyRef hotkeyRef)
{
    // Held here: the action may unregister its own shortcut.
    const std::shared_ptr<TNHotkey> entry = m_localByRef.value(hotkeyRef);
    if (!entry || !event)
        return kTNHotkeyNotHandledErr;
    const std::shared_ptr<TNHotkeyCenterDelegate> delegate = m_delegate.lock();
    const bool suggest = entry->skipWhenTyping() && isApplicationTyping();
    std::optional<bool> skip;
    if (delegate)
        skip = delegate->hotkeyCenterShouldSkipHotkey(*this, *entry, event, suggest);
    if (skip.value_or(suggest))
        return kTNHotkeyNotHandledErr;
    m_replayedKeystroke = false;
    const bool handled = event->type() == QEvent::KeyRelease ? entry->keyUp(event) : entry->keyDown(event);
    // A failed long press replayed as a keystroke has sent its own release;
    // this one would be a second.
    const bool replayed = std::exchange(m_replayedKeystroke, false);
    return handled || replayed ? kTNHotkeyNoErr : kTNHotkeyNotHandledErr;
}

int TNHotkeyCenter::handleGlobalEvent(const TNGlobalHotkeyEvent &event, TNEventHotKeyRef hotkeyRef)
{
    const std::shared_ptr<TNHotkey> entry = m_globalByRef.value(hotkeyRef);
    if (!entry)
        return kTNHotkeyNotHandledErr;
    bool handled = false;
    if (event.kind == TNGlobalHotkeyEvent::pressed)
        handled = entry->keyDown(nullptr);
    else if (event.kind == TNGlobalHotkeyEvent::released)
        handled = entry->keyUp(nullptr);
    return handled ? kTNHotkeyNoErr : kTNHotkeyNotHandledErr;
}

void TNHotkeyCenter::hotkeyLongPressFail(TNHotkey &hotkey, const QKeyEvent *downEvent, const QKeyEvent *upEvent)
{
    const std::shared_ptr<TNHotkeyCenterDelegate> delegate = m_delegate.lock();
    if (!delegate || !delegate->hotkeyCenterLongPressFailShouldShortPress(*this, hotkey, downEvent, upEvent).value_or(false))
        return;
    // The keystroke goes where keys go now: the focus widget, else the
    // focus window's focus object.
    QObject *receiver = QApplication::focusWidget();
    if (!receiver) {
        if (QWindow *window = QGuiApplication::focusWindow())
            receiver = window->focusObject() ? window->focusObject() : window;
    }
    if (!receiver)
        return;
    QPointer<QObject> guard(receiver);
    for (const QKeyEvent *event : {downEvent, upEvent}) {
        if (!event || !guard)
            continue;
        std::unique_ptr<QKeyEvent> copy(event->clone());
        TNAppEventHotkeyMgr::shared().sendEventBypassingShortcuts(guard, copy.get());
    }
    m_replayedKeystroke = upEvent != nullptr;
}

// ---- Bindings ----

bool TNHotkeyCenter::bindHotKey(const std::shared_ptr<TNHotkey> &hotkey, bool global)
{
    if (!hotkey || hotkey->identifier().isEmpty())
        return false;
    const QString identifier = hotkey->identifier();
    const QString stateName = stateBindName(identifier, global);
    auto &stateBinders = global ? m_globalStateBinders : m_localStateBinders;
    if (stateBinders.contains(stateName))
        unbindHotkeyByIdentifier(identifier, global);
    std::shared_ptr<TNHotkey> copy = hotkey->copy();
    copy->setHotkeyCombo(TNHotkeyCombo());
    stateBinders.insert(stateName, copy);
    const QString key = global ? gHKStateId(identifier) : HKStateId(identifier);
    // bind() delivers the current value at once.
    m_bindings.insert(stateName, 0);
    const ObserverId id = TNHotkeyConfiguration::hotkeyDefaults()->bind(
        key, this, [this, stateName, global](const QString &, const QVariant &value) {
            stateValuePushed(stateName, global, value);
        });
    if (m_bindings.contains(stateName))
        m_bindings.insert(stateName, id);
    else
        TNHotkeyConfiguration::hotkeyDefaults()->removeObserver(id); // unbound from inside the first push
    return true;
}

void TNHotkeyCenter::stateValuePushed(const QString &stateName, bool global, const QVariant &value)
{
    const std::optional<bool> on = stateFrom(value);
    if (!on)
        return;
    const std::shared_ptr<TNHotkey> binder = (global ? m_globalStateBinders : m_localStateBinders).value(stateName);
    if (!binder)
        return;
    if (const auto delegate = m_delegate.lock())
        delegate->hotkeyCenterHotkeyWillUpdate(*this, *binder);
    if (*on)
        bindCombination(stateName, global);
    else
        unbindCombination(binder->identifier(), global);
}

void TNHotkeyCenter::bindCombination(const QString &stateName, bool global)
{
    const std::shared_ptr<TNHotkey> binder = (global ? m_globalStateBinders : m_localStateBinders).value(stateName);
    if (!binder)
        return;
    const QString identifier = binder->identifier();
    const QString comboName = comboBindName(identifier, global);
    const auto store = TNHotkeyConfiguration::hotkeyDefaults();
    if (auto it = m_bindings.find(comboName); it != m_bindings.end()) {
        store->removeObserver(*it);
        m_bindings.erase(it);
    }
    binder->setHotkeyCombo(TNHotkeyCombo());
    (global ? m_globalBinders : m_localBinders).insert(comboName, binder);
    m_bindings.insert(comboName, 0);
    const ObserverId id = store->bind(HKComboId(identifier), this,
                                      [this, comboName, global](const QString &, const QVariant &value) {
                                          comboValuePushed(comboName, global, value);
                                      });
    if (m_bindings.contains(comboName))
        m_bindings.insert(comboName, id);
    else
        store->removeObserver(id);
}

void TNHotkeyCenter::comboValuePushed(const QString &comboName, bool global, const QVariant &value)
{
    // A combination is a dictionary; a removed one (nothing stored) is no
    // combination, so the shortcut goes. Other values are ignored.
    if (value.isValid() && value.metaType().id() != QMetaType::QVariantMap)
        return;
    const std::shared_ptr<TNHotkey> binder = (global ? m_globalBinders : m_localBinders).value(comboName);
    if (!binder)
        return;
    const TNHotkeyCombo combo = value.isValid() ? TNHotkeyCombo::comboWithValue(value) : TNHotkeyCombo();
    if (combo == binder->hotkeyCombo())
        return;
    if (const auto delegate = m_delegate.lock())
        delegate->hotkeyCenterHotkeyWillUpdate(*this, *binder);
    // A key held across the change gets its release now: the new
    // registration will never see it.
    if (const std::shared_ptr<TNHotkey> current = hotkeyByIdentifier(binder->identifier(), global);
        current && current->isKeyDown())
        current->keyUp(nullptr);
    binder->setHotkeyCombo(combo);
    unregisterHotKeyByIdentifier(binder->identifier(), global);
    registerHotKey(binder, global);
}

void TNHotkeyCenter::unbindCombination(const QString &identifier, bool global)
{
    const QString comboName = comboBindName(identifier, global);
    if (auto it = m_bindings.find(comboName); it != m_bindings.end()) {
        if (*it)
            TNHotkeyConfiguration::hotkeyDefaults()->removeObserver(*it);
        m_bindings.erase(it);
    }
    (global ? m_globalBinders : m_localBinders).remove(comboName);
    unregisterHotKeyByIdentifier(identifier, global);
}

void TNHotkeyCenter::unbindHotkeyByIdentifier(const QString &identifier, bool global)
{
    const QString stateName = stateBindName(identifier, global);
    if (auto it = m_bindings.find(stateName); it != m_bindings.end()) {
        if (*it)
            TNHotkeyConfiguration::hotkeyDefaults()->removeObserver(*it);
        m_bindings.erase(it);
    }
    (global ? m_globalStateBinders : m_localStateBinders).remove(stateName);
    unbindCombination(identifier, global);
}

void TNHotkeyCenter::unbindAll()
{
    for (bool global : {true, false}) {
        QStringList identifiers;
        for (const auto &binder : std::as_const(global ? m_globalStateBinders : m_localStateBinders))
            identifiers.append(binder->identifier());
        for (const auto &binder : std::as_const(global ? m_globalBinders : m_localBinders))
            identifiers.append(binder->identifier());
        identifiers.removeDuplicates();
        for (const QString &identifier : std::as_const(identifiers))
            unbindHotkeyByIdentifier(identifier, global);
    }
}

bool TNHotkeyCenter::isBindByIdentifier(const QString &identifier, bool global) const
{
    return (global ? m_globalBinders : m_localBinders).contains(comboBindName(identifier, global));
}

bool TNHotkeyCenter::isBindByIdentifier(const QString &bindName) const
{
    return m_globalBinders.contains(bindName) || m_localBinders.contains(bindName);
}

QVariant TNHotkeyCenter::valueForBindingName(const QString &bindName) const
{
    for (bool global : {true, false}) {
        const QString statePrefix = stateBindName(QString(), global);
        if (bindName.startsWith(statePrefix))
            return isBindByIdentifier(identifierOfName(bindName, statePrefix), global);
        const QString comboPrefix = comboBindName(QString(), global);
        if (bindName.startsWith(comboPrefix)) {
            const auto binder = (global ? m_globalBinders : m_localBinders).value(bindName);
            return binder ? QVariant(binder->hotkeyCombo().value()) : QVariant();
        }
    }
    return {};
}

} // namespace kalvo
