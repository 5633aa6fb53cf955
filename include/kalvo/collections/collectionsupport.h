// Small pieces the kit's containers share: the "not found" index, ranges and
// index sets, what "nil" means for an element type, hashing, comparator and
// enumeration-block adapters, and the text descriptions.
//
//   kalvo::TNRange r{2, 3};                       // location 2, length 3
//   if (array.indexOfObject(x) == kalvo::TNNotFound) ...
//
// Nil. The containers hold values of their element type T. An element is
// "nil" when T is pointer-like and null: a raw pointer, std::shared_ptr,
// std::unique_ptr, QPointer or QSharedPointer that is null, or an empty
// std::optional. Containers refuse nil elements (the call returns false) and
// answer "nil" as an empty std::optional<T>. Other types (numbers, QString,
// structs) are never nil. Specialise TNNilTraits for further handle types.
#pragma once

#include <kalvo/global.h>

#include <QDebug>
#include <QList>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <compare>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace kalvo {

// Index answered by searches that find nothing: the largest signed 64-bit value.
inline constexpr qsizetype TNNotFound = std::numeric_limits<qint64>::max();

// A run of indexes: [location, location + length).
struct TNRange
{
    qsizetype location = 0;
    qsizetype length = 0;

    qsizetype end() const { return location + length; }
    // True when the range is well formed and lies inside [0, count).
    bool fitsIn(qsizetype count) const
    {
        return location >= 0 && length >= 0 && location <= count && length <= count - location;
    }
    friend bool operator==(const TNRange &, const TNRange &) = default;
};

// A sorted set of distinct indexes.
using TNIndexSet = std::set<qsizetype>;

// Options of the block enumerations. Concurrent enumeration is accepted and
// runs in order on the calling thread (the hint allows that).
enum TNEnumerationOptions : unsigned {
    TNEnumerationConcurrent = 1u << 0,
    TNEnumerationReverse = 1u << 1,
};

// Options of indexOfObjectInSortedRange.
enum TNBinarySearchingOptions : unsigned {
    TNBinarySearchingFirstEqual = 1u << 8,
    TNBinarySearchingLastEqual = 1u << 9,
    TNBinarySearchingInsertionIndex = 1u << 10,
};

// ---- Nil ----

template <typename T>
struct TNNilTraits
{
    static constexpr bool nullable = false;
    static bool isNil(const T &) { return false; }
};

template <typename T>
struct TNNilTraits<T *>
{
    static constexpr bool nullable = true;
    static bool isNil(T *const &value) { return value == nullptr; }
};

template <typename T>
struct TNNilTraits<std::shared_ptr<T>>
{
    static constexpr bool nullable = true;
    static bool isNil(const std::shared_ptr<T> &value) { return value == nullptr; }
};

template <typename T, typename D>
struct TNNilTraits<std::unique_ptr<T, D>>
{
    static constexpr bool nullable = true;
    static bool isNil(const std::unique_ptr<T, D> &value) { return value == nullptr; }
};

template <typename T>
struct TNNilTraits<QPointer<T>>
{
    static constexpr bool nullable = true;
    static bool isNil(const QPointer<T> &value) { return value.isNull(); }
};

template <typename T>
struct TNNilTraits<QSharedPointer<T>>
{
    static constexpr bool nullable = true;
    static bool isNil(const QSharedPointer<T> &value) { return value.isNull(); }
};

template <typename T>
struct TNNilTraits<std::optional<T>>
{
    static constexpr bool nullable = true;
    static bool isNil(const std::optional<T> &value) { return !value.has_value(); }
};

template <typename T>
bool tnIsNil(const T &value)
{
    return TNNilTraits<T>::isNil(value);
}

// ---- Hashing ----

namespace collections_detail {
using ::qHash;

template <typename T>
concept StdHashable = requires(const T &v) {
    { std::hash<T>{}(v) } -> std::convertible_to<std::size_t>;
};

template <typename T>
concept QtHashable = requires(const T &v) {
    { qHash(v, std::size_t(0)) } -> std::convertible_to<std::size_t>;
};

template <typename T>
std::size_t hashValue(const T &value)
{
    if constexpr (StdHashable<T>)
        return std::hash<T>{}(value);
    else
        return static_cast<std::size_t>(qHash(value, std::size_t(0)));
}
} // namespace collections_detail

// std::hash where the type has one, qHash otherwise.
template <typename T>
struct TNHash
{
    std::size_t operator()(const T &value) const { return collections_detail::hashValue(value); }
};

// ---- Comparators ----
// A comparator may answer like NSComparator (a negative, zero or positive
// number), like a three-way comparison (std::strong/weak/partial_ordering),
// or as a "less than" predicate (bool). tnLess turns any of them into "a
// sorts before b".

template <typename T, typename Comparator>
bool tnLess(Comparator &comparator, const T &a, const T &b)
{
    using Result = std::invoke_result_t<Comparator &, const T &, const T &>;
    if constexpr (std::is_same_v<std::decay_t<Result>, bool>)
        return comparator(a, b);
    else if constexpr (std::is_convertible_v<Result, std::partial_ordering>)
        return std::partial_ordering(comparator(a, b)) < 0;
    else
        return comparator(a, b) < 0;
}

// Three-way answer (-1, 0, 1) from any comparator form.
template <typename T, typename Comparator>
int tnCompare(Comparator &comparator, const T &a, const T &b)
{
    using Result = std::invoke_result_t<Comparator &, const T &, const T &>;
    if constexpr (std::is_same_v<std::decay_t<Result>, bool>) {
        if (comparator(a, b))
            return -1;
        return comparator(b, a) ? 1 : 0;
    } else if constexpr (std::is_convertible_v<Result, std::partial_ordering>) {
        const std::partial_ordering order = comparator(a, b);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    } else {
        const auto order = comparator(a, b);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
}

// ---- Enumeration blocks ----
// A block may take (element, index, bool &stop), (element, index) or
// (element). Setting stop to true ends the enumeration after this call.

template <typename T, typename Block>
bool tnCallEnumerationBlock(Block &block, const T &element, qsizetype index)
{
    bool stop = false;
    if constexpr (std::is_invocable_v<Block &, const T &, qsizetype, bool &>)
        block(element, index, stop);
    else if constexpr (std::is_invocable_v<Block &, const T &, qsizetype>)
        block(element, index);
    else
        block(element);
    return stop;
}

// Same forms for tests answering bool; `passed` receives the answer and the
// return value says whether to stop.
template <typename T, typename Predicate>
bool tnCallTestBlock(Predicate &predicate, const T &element, qsizetype index, bool &passed)
{
    bool stop = false;
    if constexpr (std::is_invocable_v<Predicate &, const T &, qsizetype, bool &>)
        passed = predicate(element, index, stop);
    else if constexpr (std::is_invocable_v<Predicate &, const T &, qsizetype>)
        passed = predicate(element, index);
    else
        passed = predicate(element);
    return stop;
}

// ---- Descriptions ----

// "<Class: 0x…>", the object part of a container's description.
KALVO_EXPORT QString tnObjectDescription(const char *className, const void *object);
// "(\n    a,\n    b\n)", the way arrays describe themselves; "(\n)" when empty.
KALVO_EXPORT QString tnArrayDescription(const QStringList &elements);

// The text of one element: what QDebug prints for it, the address for
// pointer-like elements QDebug does not know, "(null)" for nil.
template <typename T>
QString tnElementDescription(const T &value)
{
    if (tnIsNil(value))
        return QStringLiteral("(null)");
    if constexpr (requires(QDebug &dbg) { dbg << value; }) {
        QString text;
        QDebug dbg(&text);
        dbg.nospace().noquote() << value;
        return text;
    } else if constexpr (requires { value.get(); }) {
        return tnElementDescription(static_cast<const void *>(value.get()));
    } else if constexpr (requires { *value; }) {
        return tnElementDescription(*value);
    } else {
        return tnObjectDescription(typeid(T).name(), &value);
    }
}

template <typename Range>
QString tnDescribeElements(const Range &elements)
{
    QStringList parts;
    for (const auto &element : elements)
        parts.append(tnElementDescription(element));
    return tnArrayDescription(parts);
}

} // namespace kalvo
