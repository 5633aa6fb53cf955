#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/hotkeytransformers.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/propertylist.h>
#include <kalvo/platform/settings.h>

#include "value_reading_p.h"

#include <QDataStream>
#include <QIODevice>

#include <limits>

namespace kalvo {

using namespace hotkey_detail;

namespace {

const QString kArchiveCodeKey = QStringLiteral("hotKeyCode");
const QString kArchiveModifiersKey = QStringLiteral("hotkeyModifiers");
const QString kArchiveInvalidKey = QStringLiteral("hotkeyInvalidFlag");

// Binary archive: magic "TNHC", format version, then the three fields.
constexpr quint32 kArchiveMagic = 0x544E4843;
constexpr quint8 kArchiveVersion = 1;

bool isDictionary(const QVariant &value)
{
    const int type = value.metaType().id();
    return type == QMetaType::QVariantMap || type == QMetaType::QVariantHash;
}

// A stored key code: -1 (no key) for values that are no 32-bit whole number,
// so a damaged entry never turns into a live shortcut on some other key.
qint32 storedKeyCode(const QVariant &value)
{
    const auto n = wholeNumberOrText(value);
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
        return -1;
    return static_cast<qint32>(*n);
}

QString describe(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

} // namespace

// ---- Construction ----

TNHotkeyCombo::TNHotkeyCombo() = default;

TNHotkeyCombo::TNHotkeyCombo(int keyCode, quint32 modifiers) : m_hotKeyCode(keyCode)
{
    correctModifiers(modifiers);
}

TNHotkeyCombo TNHotkeyCombo::keyComboWithKeyCode(int keyCode, quint32 modifiers)
{
    return TNHotkeyCombo(keyCode, modifiers);
}

TNHotkeyCombo TNHotkeyCombo::comboWithValue(const QVariant &value)
{
    TNHotkeyCombo combo;
    combo.setValue(value);
    return combo;
}

const TNHotkeyCombo &TNHotkeyCombo::nullCombo()
{
    static const TNHotkeyCombo null;
    return null;
}

std::optional<TNHotkeyCombo> TNHotkeyCombo::hotkeyCombo(const QString &identifier, bool global)
{
    if (identifier.isEmpty())
        return std::nullopt;
    const auto store = Settings::suite(applicationIdentifier() + QStringLiteral(".Hotkey"));
    if (!store)
        return comboWithValue(QVariant());
    const QString key = global ? gHKComboId(identifier) : HKComboId(identifier);
    return comboWithValue(store->value(key));
}

// ---- Modifiers ----

quint32 TNHotkeyCombo::convertToEventRefModifier(quint32 m)
{
    quint32 r = m & kFunctionKeyMask;
    if (m & (ModifierFlag::shift | CarbonModifier::shift))
        r |= CarbonModifier::shift;
    if (m & (ModifierFlag::option | CarbonModifier::option))
        r |= CarbonModifier::option;
    if (m & (ModifierFlag::control | CarbonModifier::control))
        r |= CarbonModifier::control;
    if (m & (ModifierFlag::command | CarbonModifier::command))
        r |= CarbonModifier::command;
    return r;
}

quint32 TNHotkeyCombo::convertToNSEventModifier(quint32 m)
{
    quint32 r = m & kFunctionKeyMask;
    if (m & (ModifierFlag::shift | CarbonModifier::shift))
        r |= ModifierFlag::shift;
    if (m & (ModifierFlag::control | CarbonModifier::control))
        r |= ModifierFlag::control;
    if (m & (ModifierFlag::option | CarbonModifier::option))
        r |= ModifierFlag::option;
    if (m & (ModifierFlag::command | CarbonModifier::command))
        r |= ModifierFlag::command;
    return r;
}

bool TNHotkeyCombo::isFunctionKeyCode(int keyCode)
{
    switch (keyCode) {
    case KeyCode::F1: case KeyCode::F2: case KeyCode::F3: case KeyCode::F4: case KeyCode::F5:
    case KeyCode::F6: case KeyCode::F7: case KeyCode::F8: case KeyCode::F9: case KeyCode::F10:
    case KeyCode::F11: case KeyCode::F12: case KeyCode::F13: case KeyCode::F14: case KeyCode::F15:
    case KeyCode::F16: case KeyCode::F17: case KeyCode::F18: case KeyCode::F19: case KeyCode::F20:
    case KeyCode::LeftArrow: case KeyCode::RightArrow: case KeyCode::DownArrow: case KeyCode::UpArrow:
        return true;
    default:
        return false; // Help, Home, End, Page Up/Down and Forward Delete included
    }
}

void TNHotkeyCombo::correctModifiers(quint32 modifiers)
{
    if (isFunctionKeyCode(m_hotKeyCode))
        modifiers |= kFunctionKeyMask;
    m_eventRefModifiers = convertToEventRefModifier(modifiers);
    m_nsEventModifiers = convertToNSEventModifier(modifiers);
}

// ---- Dictionary form ----

QVariantMap TNHotkeyCombo::value() const
{
    QVariantMap map;
    map.insert(kTNHotkeyCodeKey, int(m_hotKeyCode));
    map.insert(kTNHotkeyModifierKey, uint(m_nsEventModifiers));
    if (m_isInvalid)
        map.insert(kTNHotkeyInvalidFlag, true);
    return map;
}

void TNHotkeyCombo::setValue(const QVariant &value)
{
    if (!isDictionary(value)) {
        m_hotKeyCode = -1;
        correctModifiers(0);
        return;
    }
    const QVariantMap map = value.toMap();
    const auto code = map.constFind(kTNHotkeyCodeKey);
    m_hotKeyCode = code == map.cend() ? 0 : storedKeyCode(*code);
    correctModifiers(maskValue(map.value(kTNHotkeyModifierKey), true));
    m_isInvalid = flagValue(map.value(kTNHotkeyInvalidFlag));
}

bool TNHotkeyCombo::isNullCombo() const
{
    return *this == nullCombo();
}

QString TNHotkeyCombo::description() const
{
    QString text = QStringLiteral("{\n");
    const QVariantMap map = value();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        text += QStringLiteral("    \"%1\" = %2;\n").arg(it.key(), describe(it.value()));
    return text + QLatin1Char('}');
}

// ---- Text ----

QString TNHotkeyCombo::hotkeyLetter() const
{
    return TNUSKeyCodeTransformer::transformedValue(m_hotKeyCode);
}

QString TNHotkeyCombo::emojiSymbol() const
{
    return TNHotkeyModifyFlagsTransformer::transformedValue(m_nsEventModifiers).value_or(QString()) + hotkeyLetter();
}

QString TNHotkeyCombo::characterSymbol() const
{
    const QString words = TNHotkeyModifyFlagsTransformer::characterSymbol(m_nsEventModifiers).value_or(QString());
    const QString letter = hotkeyLetter();
    if (!words.isEmpty() && !letter.isEmpty())
        return words + QLatin1Char('+') + letter;
    return words + letter;
}

int TNHotkeyCombo::keyCodeForCurrentKeyboardLayout() const
{
    const QString layout = currentKeyboardLayoutID();
    if (layout == kTNUSKeyboardLayoutID)
        return m_hotKeyCode;
    return translatedKeyCodeForLetter(hotkeyLetter(), m_hotKeyCode, layout);
}

// ---- Equality ----

bool TNHotkeyCombo::isEqual(const TNHotkeyCombo *other) const
{
    return *this == (other ? *other : nullCombo());
}

std::size_t TNHotkeyCombo::hash() const noexcept
{
    // The fields equality compares, nothing else.
    const quint64 bits = (quint64(quint32(m_hotKeyCode)) << 32) ^ (quint64(m_eventRefModifiers) << 1)
                         ^ quint64(m_isInvalid ? 1 : 0);
    return std::hash<quint64>{}(bits);
}

// ---- Archiving ----

QVariantMap TNHotkeyCombo::archivedValue() const
{
    QVariantMap map;
    map.insert(kArchiveCodeKey, int(m_hotKeyCode));
    map.insert(kArchiveModifiersKey, uint(m_nsEventModifiers));
    map.insert(kArchiveInvalidKey, m_isInvalid);
    return map;
}

std::optional<TNHotkeyCombo> TNHotkeyCombo::fromArchivedValue(const QVariant &archive)
{
    if (!isDictionary(archive))
        return std::nullopt;
    const QVariantMap map = archive.toMap();
    qint64 code = 0;
    qint64 modifiers = 0;
    bool invalid = false;
    if (map.contains(kArchiveCodeKey)) {
        const auto n = wholeNumber(map.value(kArchiveCodeKey));
        if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
            return std::nullopt;
        code = *n;
    }
    if (map.contains(kArchiveModifiersKey)) {
        const auto n = wholeNumber(map.value(kArchiveModifiersKey));
        if (!n || *n < 0 || *n > 0xFFFFFFFFLL)
            return std::nullopt;
        modifiers = *n;
    }
    if (map.contains(kArchiveInvalidKey)) {
        const QVariant flag = map.value(kArchiveInvalidKey);
        if (!isNumber(flag))
            return std::nullopt;
        invalid = flag.toDouble() != 0.0;
    }
    TNHotkeyCombo combo(static_cast<int>(code), static_cast<quint32>(modifiers));
    combo.m_isInvalid = invalid;
    return combo;
}

QByteArray TNHotkeyCombo::propertyListData() const
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    xml += "\t<key>" + kArchiveCodeKey.toLatin1() + "</key>\n\t<integer>" + QByteArray::number(m_hotKeyCode)
           + "</integer>\n";
    xml += "\t<key>" + kArchiveInvalidKey.toLatin1() + "</key>\n\t" + (m_isInvalid ? "<true/>" : "<false/>") + "\n";
    xml += "\t<key>" + kArchiveModifiersKey.toLatin1() + "</key>\n\t<integer>"
           + QByteArray::number(m_nsEventModifiers) + "</integer>\n";
    xml += "</dict>\n</plist>\n";
    return xml;
}

std::optional<TNHotkeyCombo> TNHotkeyCombo::fromPropertyListData(const QByteArray &xml)
{
    const auto root = parsePropertyList(xml);
    if (!root)
        return std::nullopt;
    return fromArchivedValue(*root);
}

QByteArray TNHotkeyCombo::archivedData() const
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << *this;
    return data;
}

std::optional<TNHotkeyCombo> TNHotkeyCombo::fromArchivedData(const QByteArray &data)
{
    QDataStream stream(data);
    TNHotkeyCombo combo;
    stream >> combo;
    if (stream.status() != QDataStream::Ok || !stream.atEnd())
        return std::nullopt;
    return combo;
}

QDataStream &operator<<(QDataStream &stream, const TNHotkeyCombo &combo)
{
    stream << kArchiveMagic << kArchiveVersion << qint32(combo.hotkeyCode()) << quint32(combo.nsEventModifiers())
           << combo.isInvalid();
    return stream;
}

QDataStream &operator>>(QDataStream &stream, TNHotkeyCombo &combo)
{
    quint32 magic = 0;
    quint8 version = 0;
    qint32 code = -1;
    quint32 modifiers = 0;
    bool invalid = false;
    stream >> magic;
    if (stream.status() == QDataStream::Ok && magic != kArchiveMagic) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stream;
    }
    stream >> version;
    if (stream.status() == QDataStream::Ok && version != kArchiveVersion) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return stream;
    }
    stream >> code >> modifiers >> invalid;
    if (stream.status() != QDataStream::Ok)
        return stream;
    TNHotkeyCombo decoded(code, modifiers);
    decoded.setInvalid(invalid);
    combo = decoded;
    return stream;
}

} // namespace kalvo
