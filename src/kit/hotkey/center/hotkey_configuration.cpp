#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeyvalidator.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/scheduler.h>
#include <kalvo/platform/settings.h>

namespace kalvo {

namespace {

struct ConfigurationState
{
    TNHotkeyConfiguration::Defaults defaults;
    QVariantMap table;
    bool built = false;
};

ConfigurationState &state()
{
    static ConfigurationState s;
    return s;
}

void buildTable()
{
    ConfigurationState &s = state();
    if (s.built)
        return;
    s.table.clear();
    for (auto it = s.defaults.hotkeyMap.cbegin(); it != s.defaults.hotkeyMap.cend(); ++it) {
        s.table.insert(HKStateId(it.key()), it.value());
        s.table.insert(gHKStateId(it.key()), false);
    }
    for (const QVariantMap &entry : std::as_const(s.defaults.defaultHotkeyArray)) {
        const QString name = entry.value(kTNHotkeyName).toString();
        if (!name.isEmpty())
            s.table.insert(HKComboId(name), TNHotkeyCombo::comboWithValue(entry).value());
    }
    s.built = true;
}

QString stateKey(const QString &identifier, bool global)
{
    return global ? gHKStateId(identifier) : HKStateId(identifier);
}

// Observers of the notification may change settings themselves: it is
// posted later, never from inside a write.
void postValueDidChange(const QString &identifier)
{
    async([identifier] {
        QVariantMap userInfo;
        if (!identifier.isNull())
            userInfo.insert(kTNHotkeyName, identifier);
        NotificationCenter::defaultCenter().post(kTNHotkeyValueDidChanged, nullptr, userInfo);
    });
}

} // namespace

void TNHotkeyConfiguration::setDefaults(const Defaults &defaults)
{
    state().defaults = defaults;
    state().built = false;
}

QMap<QString, bool> TNHotkeyConfiguration::hotkeyMap()
{
    return state().defaults.hotkeyMap;
}

QList<QVariantMap> TNHotkeyConfiguration::defaultHotkeyArray()
{
    return state().defaults.defaultHotkeyArray;
}

std::optional<QStringList> TNHotkeyConfiguration::supportGlobalHotkeyNameArray()
{
    return state().defaults.supportGlobalHotkeyNameArray;
}

QString TNHotkeyConfiguration::hotkeySuiteName()
{
    return applicationIdentifier() + QStringLiteral(".Hotkey");
}

std::shared_ptr<Settings> TNHotkeyConfiguration::hotkeyDefaults()
{
    return Settings::suite(hotkeySuiteName());
}

void TNHotkeyConfiguration::registerDefaultHotkey()
{
    buildTable();
    hotkeyDefaults()->registerDefaults(state().table);
}

bool TNHotkeyConfiguration::getHotkeyState(const QString &identifier, bool global)
{
    return hotkeyDefaults()->boolean(stateKey(identifier, global));
}

void TNHotkeyConfiguration::setHotkeyEnable(bool enable, const QString &identifier, bool global)
{
    buildTable();
    state().table.insert(stateKey(identifier, global), enable);
    hotkeyDefaults()->registerDefaults(state().table);
}

QVariantMap TNHotkeyConfiguration::hotkeyInfo(const QString &identifier, bool global)
{
    const std::optional<QVariantMap> stored = hotkeyDefaults()->dictionary(HKComboId(identifier));
    int code = -1;
    quint32 modifiers = 0;
    bool invalid = false;
    if (stored) {
        // Read through the combination, which copes with damaged values.
        const TNHotkeyCombo combo = TNHotkeyCombo::comboWithValue(*stored);
        if (stored->contains(kTNHotkeyCodeKey))
            code = combo.hotkeyCode();
        if (stored->contains(kTNHotkeyModifierKey))
            modifiers = combo.nsEventModifiers();
        invalid = combo.isInvalid();
    }
    return {{kTNHotkeyName, identifier},
            {kTNHotkeyCodeKey, code},
            {kTNHotkeyModifierKey, modifiers},
            {kTNHotkeyInvalidFlag, invalid},
            {kTNHotkeyEnableFlag, getHotkeyState(identifier, global)}};
}

QList<QVariantMap> TNHotkeyConfiguration::customHotkeyArray(bool global)
{
    QList<QVariantMap> infos;
    const auto store = hotkeyDefaults();
    const QMap<QString, bool> map = hotkeyMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (store->value(HKComboId(it.key())).isValid())
            infos.append(hotkeyInfo(it.key(), global));
    }
    return infos;
}

void TNHotkeyConfiguration::saveHotkey(const QString &identifier, bool global, const QVariant &hotkey)
{
    if (identifier.isEmpty())
        return;
    const auto store = hotkeyDefaults();
    const QString key = HKComboId(identifier);
    if (!hotkey.isValid() || hotkey.isNull()) {
        store->remove(key);
    } else if (hotkey.metaType().id() == QMetaType::QVariantMap) {
        TNHotkeyCombo combo = TNHotkeyCombo::comboWithValue(hotkey);
        if (combo.hotkeyCode() >= 0 || combo.nsEventModifiers() != 0) {
            if (!TNHotkeyValidator::sharedValidator().isAvailableHotkeyCombo(&combo, identifier, global, nullptr))
                combo.setInvalid(true);
            store->setValue(key, combo.value());
        } else {
            store->setValue(key, hotkey);
        }
    } else {
        // Not a combination: nothing stored is better than garbage.
        return;
    }
    postValueDidChange(identifier);
    async([global] { updateCustomHotkeyInvalidFlag(global); });
}

void TNHotkeyConfiguration::updateCustomHotkeyInvalidFlag(bool global)
{
    const auto store = hotkeyDefaults();
    for (const QVariantMap &info : customHotkeyArray(global)) {
        if (!info.value(kTNHotkeyInvalidFlag).toBool())
            continue;
        const QString identifier = info.value(kTNHotkeyName).toString();
        const TNHotkeyCombo combo(info.value(kTNHotkeyCodeKey).toInt(), info.value(kTNHotkeyModifierKey).toUInt());
        if (!TNHotkeyValidator::sharedValidator().isAvailableHotkeyCombo(&combo, identifier, global, nullptr))
            continue;
        store->setValue(HKComboId(identifier), combo.value());
        postValueDidChange(identifier);
    }
}

void TNHotkeyConfiguration::restoreDefaults()
{
    const auto store = hotkeyDefaults();
    const QMap<QString, bool> map = hotkeyMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        store->remove(HKComboId(it.key()));
        store->remove(HKStateId(it.key()));
        store->remove(gHKStateId(it.key()));
    }
    postValueDidChange(QString());
}

} // namespace kalvo
