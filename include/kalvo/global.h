// Basics every Kalvo header shares: the export macro, the fixed messages of
// programming errors, and the table that drives every enumeration's
// description, debug description, case list and raw-value lookup.
#pragma once

#include <kalvo/kalvo_export.h>

#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <type_traits>

namespace kalvo {

// ---- Programming errors ----
// These stop the process: they mark a caller bug, never user input.

// Construction from an archive is not supported by any control.
[[noreturn]] KALVO_EXPORT void fatalCoderNotImplemented();
// An abstract operation was called on a class that should have overridden it.
[[noreturn]] KALVO_EXPORT void fatalMustOverride(const char *operation);
// A raw value outside an enumeration's cases reached a place that needs a case.
[[noreturn]] KALVO_EXPORT void fatalUnknownRawValue(const char *enumeration, long long raw);

// ---- Enumerations ----
// Each enumeration declares one table of rows in raw order:
//
//   template <> struct EnumTraits<Gravity> {
//       static constexpr const char *name = "Gravity";
//       static constexpr std::array rows{EnumRow<Gravity>{Gravity::top, "Top", ".top"}, ...};
//   };
//
// and gets description(), debugDescription(), allCases<E>() and fromRaw<E>()
// from it. A static_assert keeps the rows strictly increasing, so lookups can
// trust the order.

template <typename E>
struct EnumRow
{
    E value;
    const char *description;
    const char *debugDescription;
};

template <typename E>
struct EnumTraits; // specialised next to each enumeration

template <typename E>
constexpr long long toRaw(E value)
{
    return static_cast<long long>(static_cast<std::underlying_type_t<E>>(value));
}

template <typename Rows>
constexpr bool rowsInRawOrder(const Rows &rows)
{
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (toRaw(rows[i - 1].value) >= toRaw(rows[i].value))
            return false;
    }
    return true;
}

template <typename E>
concept TabledEnum = std::is_enum_v<E> && requires { EnumTraits<E>::rows; };

template <TabledEnum E>
constexpr const EnumRow<E> *enumRow(E value)
{
    static_assert(rowsInRawOrder(EnumTraits<E>::rows), "enumeration rows must be listed in raw order");
    const auto &rows = EnumTraits<E>::rows;
    std::size_t lo = 0;
    std::size_t hi = rows.size();
    const long long raw = toRaw(value);
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const long long midRaw = toRaw(rows[mid].value);
        if (midRaw == raw)
            return &rows[mid];
        if (midRaw < raw)
            lo = mid + 1;
        else
            hi = mid;
    }
    return nullptr;
}

// The case with this raw value, or nothing when no case has it.
template <TabledEnum E>
constexpr std::optional<E> fromRaw(long long raw)
{
    const E candidate = static_cast<E>(raw);
    if (toRaw(candidate) != raw) // does not fit the underlying type
        return std::nullopt;
    if (enumRow(candidate) == nullptr)
        return std::nullopt;
    return candidate;
}

// The case for an optional number: nothing in, or out of range, gives nothing.
template <TabledEnum E>
constexpr std::optional<E> fromOptionalRaw(std::optional<long long> raw)
{
    return raw ? fromRaw<E>(*raw) : std::nullopt;
}

// The case with this raw value; any other value is a programming error.
template <TabledEnum E>
E checkedFromRaw(long long raw)
{
    if (auto value = fromRaw<E>(raw))
        return *value;
    fatalUnknownRawValue(EnumTraits<E>::name, raw);
}

template <TabledEnum E>
constexpr auto allCases()
{
    std::array<E, EnumTraits<E>::rows.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = EnumTraits<E>::rows[i].value;
    return cases;
}

// "Small" for Size::small; empty for a value that is no case.
template <TabledEnum E>
QString description(E value)
{
    const EnumRow<E> *row = enumRow(value);
    return row ? QString::fromUtf8(row->description) : QString();
}

// ".small" for Size::small; empty for a value that is no case.
template <TabledEnum E>
QString debugDescription(E value)
{
    const EnumRow<E> *row = enumRow(value);
    return row ? QString::fromUtf8(row->debugDescription) : QString();
}

} // namespace kalvo
