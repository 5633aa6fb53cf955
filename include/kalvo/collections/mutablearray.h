// Ordered arrays that answer containsObject in constant time: TNMutableArray
// (duplicates allowed) and TNOrderedSet (never two equal elements).
//
//   kalvo::TNOrderedSet<QString> names = kalvo::TNOrderedSet<QString>::setWithArray({"a", "b", "a"});
//   names.count();                      // 2: "a", "b"
//   names.containsObject("b");          // true, without a scan
//   names.addObject("a");               // false: already there
//
// Elements are compared with Equal (operator== by default) and hashed with
// Hash (std::hash or qHash); for std::shared_ptr and raw pointers that is
// identity, as for plain objects in the original kit. Null pointer-like
// elements and empty optionals are nil (see collectionsupport.h): every
// mutator refuses them (false), lookups of them find nothing, and reads
// outside the array answer an empty std::optional.
//
// Mutators answer whether they did what was asked. The arrays are for one
// thread; share a TNThreadSafeArray between threads instead.
//
// The original kit's class method `array` is the default constructor here
// (C++ cannot have a static and a member array() side by side); array()
// is the inner array itself.
#pragma once

#include <kalvo/collections/membershiparray.h>

#include <unordered_set>

namespace kalvo {

namespace collections_detail {

template <typename T, typename Hash, typename Equal>
class EqualityIndex
{
public:
    bool admissible(const T &element) const { return !tnIsNil(element); }
    bool contains(const T &element) const { return m_set.find(element) != m_set.end(); }
    void add(const T &element) { m_set.insert(element); }
    void drop(const T &element) { m_set.erase(element); }
    bool same(const T &a, const T &b) const { return Equal()(a, b); }
    std::optional<T> member(const T &element) const
    {
        auto it = m_set.find(element);
        if (it == m_set.end())
            return std::nullopt;
        return *it;
    }
    void clear() { m_set.clear(); }
    void reserve(std::size_t count) { m_set.reserve(count); }

private:
    std::unordered_set<T, Hash, Equal> m_set;
};

} // namespace collections_detail

// Reserved space: TNMutableArray<T>(TNCapacity{100}).
struct TNCapacity
{
    qsizetype capacity = 0;
};

template <typename T, typename Hash = TNHash<T>, typename Equal = std::equal_to<T>>
class TNMutableArray
    : public collections_detail::MembershipArray<T, collections_detail::EqualityIndex<T, Hash, Equal>>
{
    using Base = collections_detail::MembershipArray<T, collections_detail::EqualityIndex<T, Hash, Equal>>;

public:
    TNMutableArray() : Base("TNMutableArray", false) {}
    explicit TNMutableArray(TNCapacity capacity) : TNMutableArray() { this->reserve(capacity.capacity); }
    // initWithArray: adds the elements one by one.
    explicit TNMutableArray(const std::vector<T> &objects) : TNMutableArray() { addAll(objects); }
    TNMutableArray(std::initializer_list<T> objects) : TNMutableArray() { addAll(objects); }

    static TNMutableArray arrayWithCapacity(qsizetype capacity) { return TNMutableArray(TNCapacity{capacity}); }
    static TNMutableArray arrayWithArray(const std::vector<T> &objects) { return TNMutableArray(objects); }

    TNMutableArray copy() const { return *this; }

protected:
    TNMutableArray(const char *className, bool unique) : Base(className, unique) {}

    template <typename Range>
    void addAll(const Range &objects)
    {
        this->reserve(static_cast<qsizetype>(std::size(objects)));
        for (const T &object : objects)
            this->addObject(object);
    }
};

// Tag for taking an array as it is: TNOrderedSet<T>(TNNoDuplicateArray, v).
struct TNNoDuplicateArrayTag
{
};
inline constexpr TNNoDuplicateArrayTag TNNoDuplicateArray{};

template <typename T, typename Hash = TNHash<T>, typename Equal = std::equal_to<T>>
class TNOrderedSet : public TNMutableArray<T, Hash, Equal>
{
    using Base = TNMutableArray<T, Hash, Equal>;

public:
    TNOrderedSet() : Base("TNOrderedSet", true) {}
    explicit TNOrderedSet(TNCapacity capacity) : TNOrderedSet() { this->reserve(capacity.capacity); }
    // initWithArray: adds one by one, skipping duplicates.
    explicit TNOrderedSet(const std::vector<T> &objects) : TNOrderedSet() { this->addAll(objects); }
    TNOrderedSet(std::initializer_list<T> objects) : TNOrderedSet() { this->addAll(objects); }
    // initWithNoDuplicateArray: takes the array unchanged, without looking
    // for duplicates: the caller promises there are none. (Nil elements,
    // which no array may hold, are still left out.)
    TNOrderedSet(TNNoDuplicateArrayTag, const std::vector<T> &objects) : TNOrderedSet()
    {
        this->adoptWithoutChecks(objects);
    }

    static TNOrderedSet arrayWithCapacity(qsizetype capacity) { return TNOrderedSet(TNCapacity{capacity}); }
    static TNOrderedSet arrayWithArray(const std::vector<T> &objects) { return TNOrderedSet(objects); }
    static TNOrderedSet setWithArray(const std::vector<T> &objects) { return TNOrderedSet(objects); }
    static TNOrderedSet setWithNoDuplicateArray(const std::vector<T> &objects)
    {
        return TNOrderedSet(TNNoDuplicateArray, objects);
    }

    // The stored element equal to `object`, or nil.
    std::optional<T> member(const T &object) const { return this->memberOf(object); }

    TNOrderedSet copy() const { return *this; }
};

} // namespace kalvo
