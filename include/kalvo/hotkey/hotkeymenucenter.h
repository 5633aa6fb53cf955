// Actions whose shortcut follows a stored local shortcut: while the stored
// state "[HK@state]-<id>" is on, the action's shortcut is the combination
// stored under "[HK@combo]-<id>"; while it is off the action has none.
//
//   TNHotkeyMenuCenter::sharedInstance().bindMenuItem(muteAction, "mute");
//   // or: setHkIdentifier(muteAction, "mute");
//
// The binding ends when the action is destroyed. Command is Meta (Super) and
// Option is Alt, as everywhere in the hotkey kit. Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace kalvo {

class KALVO_EXPORT TNHotkeyMenuCenter : public QObject
{
    Q_OBJECT

public:
    static TNHotkeyMenuCenter &sharedInstance();

    // Unbinds the action first; false (and unbound) for an empty identifier.
    bool bindMenuItem(QAction *item, const QString &identifier);
    void unbindMenuItem(QAction *item);
    void unbindAll();
    bool isBound(const QAction *item) const;

    // A binding name's value for the action: for its state name whether its
    // combination is bound, for its combination name hkComboValue().
    QVariant valueForBindingName(const QAction *item, const QString &bindName) const;

private:
    TNHotkeyMenuCenter();
    ~TNHotkeyMenuCenter() override;

    struct Binding;
    void statePushed(QAction *item, const QVariant &value);
    void comboPushed(QAction *item, const QVariant &value);
    void unbindCombination(QAction *item);

    QHash<const QAction *, Binding *> m_bindings;
};

// ---- The action's side (properties of the QAction) ----
// The identifier the action is bound to; setting it binds again (an empty
// one unbinds), an unchanged one does nothing.
KALVO_EXPORT QString hkIdentifier(const QAction *item);
KALVO_EXPORT void setHkIdentifier(QAction *item, const QString &identifier);
// The identifier set by the last binding.
KALVO_EXPORT QString hotkeyID(const QAction *item);
// The bound combination dictionary; empty when none.
KALVO_EXPORT QVariantMap hkComboValue(const QAction *item);

} // namespace kalvo
