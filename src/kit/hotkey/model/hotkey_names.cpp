#include <kalvo/hotkey/hotkeyconstants.h>

namespace kalvo {

// These formats are the keys of users' stored shortcuts: keep them as they are.

QString HKStateId(const QString &identifier)
{
    return QStringLiteral("[HK@state]-") + identifier;
}

QString gHKStateId(const QString &identifier)
{
    return QStringLiteral("[gHK@state]-") + identifier;
}

QString HKComboId(const QString &identifier)
{
    return QStringLiteral("[HK@combo]-") + identifier;
}

// Global shortcuts share the local combination key on purpose: one stored
// combination per identifier, whatever its scope.
QString gHKComboId(const QString &identifier)
{
    return HKComboId(identifier);
}

QString stateBindName(const QString &identifier, bool global)
{
    return global ? gHKStateId(identifier) : HKStateId(identifier);
}

QString comboBindName(const QString &identifier, bool global)
{
    return global ? QStringLiteral("[gHK@combo]-") + identifier : HKComboId(identifier);
}

} // namespace kalvo
