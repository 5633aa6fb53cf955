// Reading numbers and flags out of stored values of unknown type. Stored
// dictionaries come from settings files that users and older versions wrote,
// so every reader accepts what a number can sensibly be and refuses the rest
// with a clear "nothing".
#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>

namespace kalvo::hotkey_detail {

inline bool isNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

// A whole number from a number variant; floating-point values are taken when
// finite and whole. Nothing for other types and for values beyond 64 bits.
inline std::optional<qint64> wholeNumber(const QVariant &value)
{
    if (!isNumber(value))
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18)
            return std::nullopt;
        return static_cast<qint64>(d);
    }
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong u = value.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return static_cast<qint64>(u);
    }
    default:
        return value.toLongLong();
    }
}

// Like wholeNumber(), and text holding a whole number too: settings files
// keep scalars as text.
inline std::optional<qint64> wholeNumberOrText(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString || value.metaType().id() == QMetaType::QByteArray) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }
    return wholeNumber(value);
}

// true for true, non-zero numbers and "true"/"yes"/non-zero numeric text.
inline bool flagValue(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return value.toDouble() != 0.0;
    if (value.metaType().id() == QMetaType::QString || value.metaType().id() == QMetaType::QByteArray) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        bool ok = false;
        const double d = text.toDouble(&ok);
        return ok && d != 0.0;
    }
    return false;
}

// A 32-bit mask: whole numbers (or numeric text) in 0..0xFFFFFFFF, else 0.
inline quint32 maskValue(const QVariant &value, bool allowText)
{
    const auto n = allowText ? wholeNumberOrText(value) : wholeNumber(value);
    if (!n || *n < 0 || *n > 0xFFFFFFFFLL)
        return 0;
    return static_cast<quint32>(*n);
}

} // namespace kalvo::hotkey_detail
