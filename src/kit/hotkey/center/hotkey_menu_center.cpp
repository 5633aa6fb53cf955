#include <kalvo/hotkey/hotkeymenucenter.h>
#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/hotkeytransformers.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/settings.h>

#include <QAction>
#include <QKeySequence>

namespace kalvo {

namespace {

const char *const kIdentifierProperty = "hkIdentifier";
const char *const kHotkeyIdProperty = "hotkeyID";
const char *const kComboProperty = "hkComboValue";

// The Qt key of a key code: the character a character key types on a US
// keyboard, else the first Qt key the key-code table gives that code.
std::optional<int> qtKeyFor(int keyCode)
{
    const QString letter = usLetterForKeyCode(keyCode);
    if (letter.size() == 1)
        return letter.at(0).toUpper().unicode();
    static const QHash<int, int> special = [] {
        QHash<int, int> table;
        for (int key = Qt::Key_Escape; key <= Qt::Key_F35; ++key) {
            if (const std::optional<int> code = keyCodeFromQtKey(key); code && !table.contains(*code))
                table.insert(*code, key);
        }
        if (const std::optional<int> space = keyCodeFromQtKey(Qt::Key_Space))
            table.insert(*space, Qt::Key_Space);
        return table;
    }();
    auto it = special.constFind(keyCode);
    return it == special.cend() ? std::nullopt : std::optional<int>(*it);
}

// The shortcut of a combination dictionary, through the key-equivalent
// transformers as a menu item would get it; none for invalid or missing
// combinations.
QKeySequence shortcutFor(const QVariant &comboValue)
{
    const QString keyEquivalent = TNKeyEquivalentTransformer().transform(comboValue).toString();
    if (keyEquivalent.isEmpty())
        return {};
    const quint32 mask = TNKeyEquivalentModifierMaskTransformer().transform(comboValue).toUInt();
    const TNHotkeyCombo combo = TNHotkeyCombo::comboWithValue(comboValue);
    const std::optional<int> key = qtKeyFor(combo.hotkeyCode());
    if (!key)
        return {};
    return QKeySequence(QKeyCombination(qtModifiersFromFlags(mask), Qt::Key(*key)));
}

} // namespace

struct TNHotkeyMenuCenter::Binding
{
    QString identifier;
    ObserverId state = 0;
    ObserverId combo = 0;
    bool comboBound = false;
    QMetaObject::Connection destroyed;
};

TNHotkeyMenuCenter::TNHotkeyMenuCenter() = default;

TNHotkeyMenuCenter::~TNHotkeyMenuCenter()
{
    unbindAll();
}

TNHotkeyMenuCenter &TNHotkeyMenuCenter::sharedInstance()
{
    static auto *center = new TNHotkeyMenuCenter;
    return *center;
}

bool TNHotkeyMenuCenter::bindMenuItem(QAction *item, const QString &identifier)
{
    if (!item)
        return false;
    unbindMenuItem(item);
    if (identifier.isEmpty())
        return false;
    item->setProperty(kHotkeyIdProperty, identifier);
    item->setProperty(kIdentifierProperty, identifier);
    auto *binding = new Binding;
    binding->identifier = identifier;
    m_bindings.insert(item, binding);
    binding->destroyed = connect(item, &QObject::destroyed, this, [this, item] {
        // The store's observers go with the action (their owner); only the
        // record is left.
        delete m_bindings.take(item);
    });
    binding->state = TNHotkeyConfiguration::hotkeyDefaults()->bind(
        HKStateId(identifier), item, [this, item](const QString &, const QVariant &value) { statePushed(item, value); });
    return true;
}

void TNHotkeyMenuCenter::statePushed(QAction *item, const QVariant &value)
{
    Binding *binding = m_bindings.value(item);
    if (!binding)
        return;
    bool on = false;
    if (value.isValid()) {
        if (value.metaType().id() == QMetaType::QString) {
            const QString text = value.toString().trimmed().toLower();
            on = text == QLatin1String("true") || text == QLatin1String("yes") || text.toDouble() != 0.0;
        } else if (value.canConvert<bool>()) {
            on = value.toBool();
        } else {
            return;
        }
    }
    if (!on) {
        unbindCombination(item);
        return;
    }
    const auto store = TNHotkeyConfiguration::hotkeyDefaults();
    if (binding->combo)
        store->removeObserver(binding->combo);
    item->setProperty(kComboProperty, QVariant());
    binding->comboBound = true;
    binding->combo = store->bind(HKComboId(binding->identifier), item,
                                 [this, item](const QString &, const QVariant &v) { comboPushed(item, v); });
}

void TNHotkeyMenuCenter::comboPushed(QAction *item, const QVariant &value)
{
    if (!m_bindings.contains(item))
        return;
    if (value.isValid() && value.metaType().id() != QMetaType::QVariantMap)
        return;
    item->setProperty(kComboProperty, value.isValid() ? value : QVariant());
    item->setShortcut(shortcutFor(value));
}

void TNHotkeyMenuCenter::unbindCombination(QAction *item)
{
    Binding *binding = m_bindings.value(item);
    if (!binding)
        return;
    if (binding->combo)
        TNHotkeyConfiguration::hotkeyDefaults()->removeObserver(binding->combo);
    binding->combo = 0;
    binding->comboBound = false;
    item->setShortcut(QKeySequence());
    item->setProperty(kComboProperty, QVariant());
}

void TNHotkeyMenuCenter::unbindMenuItem(QAction *item)
{
    Binding *binding = m_bindings.value(item);
    if (!binding)
        return;
    unbindCombination(item);
    if (binding->state)
        TNHotkeyConfiguration::hotkeyDefaults()->removeObserver(binding->state);
    disconnect(binding->destroyed);
    delete m_bindings.take(item);
    item->setProperty(kIdentifierProperty, QVariant());
}

void TNHotkeyMenuCenter::unbindAll()
{
    const auto items = m_bindings.keys();
    for (const QAction *item : items)
        unbindMenuItem(const_cast<QAction *>(item));
}

bool TNHotkeyMenuCenter::isBound(const QAction *item) const
{
    return m_bindings.contains(item);
}

QVariant TNHotkeyMenuCenter::valueForBindingName(const QAction *item, const QString &bindName) const
{
    const Binding *binding = m_bindings.value(item);
    if (!binding)
        return {};
    if (bindName == HKStateId(binding->identifier))
        return binding->comboBound;
    if (bindName == HKComboId(binding->identifier))
        return item->property(kComboProperty);
    return {};
}

QString hkIdentifier(const QAction *item)
{
    return item ? item->property(kIdentifierProperty).toString() : QString();
}

void setHkIdentifier(QAction *item, const QString &identifier)
{
    if (!item || hkIdentifier(item) == identifier)
        return;
    auto &center = TNHotkeyMenuCenter::sharedInstance();
    center.unbindMenuItem(item);
    if (!identifier.isEmpty())
        center.bindMenuItem(item, identifier);
}

QString hotkeyID(const QAction *item)
{
    return item ? item->property(kHotkeyIdProperty).toString() : QString();
}

QVariantMap hkComboValue(const QAction *item)
{
    return item ? item->property(kComboProperty).toMap() : QVariantMap();
}

} // namespace kalvo
