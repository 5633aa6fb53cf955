// Ordered arrays whose membership goes by a key each element supplies:
// TNKeyedMutableArray (several elements may share a key) and
// TNKeyedOrderedSet (never two elements with the same key).
//
//   struct Contact {
//       QString id, name;
//       QString tn_uniqueKey() const { return id; }   // null QString: no key
//   };
//   kalvo::TNKeyedOrderedSet<std::shared_ptr<Contact>> contacts;
//   contacts.addObject(alice);                  // true
//   contacts.addObject(aliceEdited);            // false: same key
//   contacts.replaceObject(aliceEdited);        // true: takes alice's place
//   contacts.containsObject(alice);             // true, without a scan
//
// The key. KeyOf turns an element into its key; the default,
// TNUniqueKeyOf, calls element.tn_uniqueKey() or, for pointer-like
// elements, element->tn_uniqueKey(). It may answer a std::optional<Key>, a
// pointer-like key or a plain key such as QString. A missing key is an
// empty optional, a null pointer-like key or a null QString / QByteArray;
// elements without a key are refused by every mutator (false) and are
// never contained. Nil elements (null pointer-like, empty optional) are
// refused as well and never asked for their key.
//
// In these arrays the key is the element's identity: containsObject asks
// the key table, and indexOfObject, removeObject and replaceObject match
// elements by key, so an edited copy of an element finds its original.
//
// Mutators answer whether they did what was asked. The arrays are for one
// thread. The original kit's class method `array` is the default
// constructor; array() is the inner array itself.
#pragma once

#include <kalvo/collections/membershiparray.h>
#include <kalvo/collections/mutablearray.h>

#include <QByteArray>
#include <QString>

#include <unordered_map>

namespace kalvo {

// Calls tn_uniqueKey() on the element or on what it points to.
struct TNUniqueKeyOf
{
    template <typename E>
    auto operator()(const E &element) const
    {
        if constexpr (requires { element.tn_uniqueKey(); })
            return element.tn_uniqueKey();
        else
            return (*element).tn_uniqueKey();
    }
};

namespace collections_detail {

template <typename R>
struct KeyType
{
    using type = std::decay_t<R>;
};
template <typename K>
struct KeyType<std::optional<K>>
{
    using type = K;
};

template <typename K>
bool keyIsMissing(const K &key)
{
    if constexpr (std::is_same_v<K, QString> || std::is_same_v<K, QByteArray>)
        return key.isNull();
    else
        return tnIsNil(key);
}

template <typename T, typename KeyOf>
class KeyIndex
{
public:
    using Key = typename KeyType<std::decay_t<std::invoke_result_t<const KeyOf &, const T &>>>::type;

    // The element's key, or nothing when it has none (or is nil).
    std::optional<Key> keyOf(const T &element) const
    {
        if (tnIsNil(element))
            return std::nullopt;
        auto key = KeyOf()(element);
        if constexpr (!std::is_same_v<std::decay_t<decltype(key)>, Key>) { // an optional
            if (!key || keyIsMissing(*key))
                return std::nullopt;
            return std::optional<Key>(std::move(*key));
        } else {
            if (keyIsMissing(key))
                return std::nullopt;
            return std::optional<Key>(std::move(key));
        }
    }

    bool admissible(const T &element) const { return keyOf(element).has_value(); }
    bool contains(const T &element) const
    {
        const auto key = keyOf(element);
        return key && m_table.find(*key) != m_table.end();
    }
    void add(const T &element)
    {
        if (auto key = keyOf(element))
            m_table.insert_or_assign(std::move(*key), element);
    }
    void drop(const T &element)
    {
        if (auto key = keyOf(element))
            m_table.erase(*key);
    }
    bool same(const T &a, const T &b) const
    {
        const auto keyA = keyOf(a);
        return keyA && keyA == keyOf(b);
    }
    std::optional<T> member(const T &element) const
    {
        const auto key = keyOf(element);
        if (!key)
            return std::nullopt;
        auto it = m_table.find(*key);
        if (it == m_table.end())
            return std::nullopt;
        return it->second;
    }
    void clear() { m_table.clear(); }
    void reserve(std::size_t count) { m_table.reserve(count); }

private:
    std::unordered_map<Key, T, TNHash<Key>> m_table;
};

} // namespace collections_detail

template <typename T, typename KeyOf = TNUniqueKeyOf>
class TNKeyedMutableArray : public collections_detail::MembershipArray<T, collections_detail::KeyIndex<T, KeyOf>>
{
    using Base = collections_detail::MembershipArray<T, collections_detail::KeyIndex<T, KeyOf>>;

public:
    using Key = typename collections_detail::KeyIndex<T, KeyOf>::Key;

    TNKeyedMutableArray() : Base("TNKeyedMutableArray", false) {}
    explicit TNKeyedMutableArray(TNCapacity capacity) : TNKeyedMutableArray() { this->reserve(capacity.capacity); }
    // initWithArray: adds the elements one by one (keyless ones are left out).
    explicit TNKeyedMutableArray(const std::vector<T> &objects) : TNKeyedMutableArray() { addAll(objects); }
    TNKeyedMutableArray(std::initializer_list<T> objects) : TNKeyedMutableArray() { addAll(objects); }

    static TNKeyedMutableArray arrayWithCapacity(qsizetype capacity)
    {
        return TNKeyedMutableArray(TNCapacity{capacity});
    }
    static TNKeyedMutableArray arrayWithArray(const std::vector<T> &objects) { return TNKeyedMutableArray(objects); }

    // The element's key as this array sees it; nothing when it has none.
    static std::optional<Key> keyOf(const T &object) { return collections_detail::KeyIndex<T, KeyOf>().keyOf(object); }

    TNKeyedMutableArray copy() const { return *this; }

protected:
    TNKeyedMutableArray(const char *className, bool unique) : Base(className, unique) {}

    template <typename Range>
    void addAll(const Range &objects)
    {
        this->reserve(static_cast<qsizetype>(std::size(objects)));
        for (const T &object : objects)
            this->addObject(object);
    }
};

template <typename T, typename KeyOf = TNUniqueKeyOf>
class TNKeyedOrderedSet : public TNKeyedMutableArray<T, KeyOf>
{
    using Base = TNKeyedMutableArray<T, KeyOf>;

public:
    TNKeyedOrderedSet() : Base("TNKeyedOrderedSet", true) {}
    explicit TNKeyedOrderedSet(TNCapacity capacity) : TNKeyedOrderedSet() { this->reserve(capacity.capacity); }
    // initWithArray: adds one by one, skipping keyless elements and keys
    // already present.
    explicit TNKeyedOrderedSet(const std::vector<T> &objects) : TNKeyedOrderedSet() { this->addAll(objects); }
    TNKeyedOrderedSet(std::initializer_list<T> objects) : TNKeyedOrderedSet() { this->addAll(objects); }
    // initWithNoDuplicateArray: takes the array unchanged, without looking
    // for repeated keys: the caller promises there are none. (Elements
    // without a key, which no keyed array may hold, are still left out.)
    TNKeyedOrderedSet(TNNoDuplicateArrayTag, const std::vector<T> &objects) : TNKeyedOrderedSet()
    {
        this->adoptWithoutChecks(objects);
    }

    static TNKeyedOrderedSet arrayWithCapacity(qsizetype capacity) { return TNKeyedOrderedSet(TNCapacity{capacity}); }
    static TNKeyedOrderedSet arrayWithArray(const std::vector<T> &objects) { return TNKeyedOrderedSet(objects); }
    static TNKeyedOrderedSet setWithArray(const std::vector<T> &objects) { return TNKeyedOrderedSet(objects); }
    static TNKeyedOrderedSet setWithNoDuplicateArray(const std::vector<T> &objects)
    {
        return TNKeyedOrderedSet(TNNoDuplicateArray, objects);
    }

    // The stored element with the same key as `object`, or nil.
    std::optional<T> member(const T &object) const { return this->memberOf(object); }

    TNKeyedOrderedSet copy() const { return *this; }
};

} // namespace kalvo
