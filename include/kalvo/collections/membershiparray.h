// The shared core of TNMutableArray, TNOrderedSet and their keyed variants:
// an ordered std::vector plus a hash index that answers membership in
// constant time. Use the classes in mutablearray.h and keyedmutablearray.h;
// this header only holds what they have in common.
//
// The index is given as a policy with:
//   admissible(e)   may e be stored at all (not nil; keyed: has a key)
//   contains(e)     membership
//   add(e)          record e (keyed: the key now maps to e)
//   drop(e)         forget e
//   same(a, b)      do a and b denote the same element (== or same key)
//   member(e)       the stored element matching e
//   clear(), reserve(n)
#pragma once

#include <kalvo/collections/collectionsupport.h>

#include <QList>
#include <QString>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

namespace kalvo::collections_detail {

template <typename T, typename Index>
class MembershipArray
{
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_iterator;
    using iterator = const_iterator;

    MembershipArray(const MembershipArray &) = default;
    MembershipArray(MembershipArray &&) noexcept = default;
    MembershipArray &operator=(const MembershipArray &) = default;
    MembershipArray &operator=(MembershipArray &&) noexcept = default;

    // ---- Reading ----

    qsizetype count() const { return static_cast<qsizetype>(m_array.size()); }
    bool isEmpty() const { return m_array.empty(); }
    // Nil (empty) for an index outside the array.
    std::optional<T> objectAtIndex(qsizetype index) const
    {
        if (!validIndex(index))
            return std::nullopt;
        return m_array[static_cast<std::size_t>(index)];
    }
    std::optional<T> operator[](qsizetype index) const { return objectAtIndex(index); }
    // The first element that is the same as `object`, or TNNotFound.
    qsizetype indexOfObject(const T &object) const
    {
        if (!m_index.admissible(object))
            return TNNotFound;
        for (std::size_t i = 0; i < m_array.size(); ++i) {
            if (m_index.same(m_array[i], object))
                return static_cast<qsizetype>(i);
        }
        return TNNotFound;
    }
    // Constant time, whatever the count.
    bool containsObject(const T &object) const { return m_index.admissible(object) && m_index.contains(object); }

    // The inner array itself, and a copy of it.
    const std::vector<T> &array() const { return m_array; }
    std::vector<T> mutableArray() const { return m_array; }
    QList<T> toList() const { return QList<T>(m_array.begin(), m_array.end()); }

    const_iterator begin() const { return m_array.begin(); }
    const_iterator end() const { return m_array.end(); }

    // "<TNMutableArray: 0x…>(\n    a,\n    b\n)": the object, then the array.
    QString description() const { return tnObjectDescription(m_className, this) + tnDescribeElements(m_array); }

    // ---- Adding ----

    bool addObject(const T &object)
    {
        if (!m_index.admissible(object) || (m_unique && m_index.contains(object)))
            return false;
        m_array.push_back(object);
        m_index.add(object);
        return true;
    }
    bool insertObject(const T &object, qsizetype index)
    {
        if (!m_index.admissible(object) || index < 0 || index > count())
            return false;
        if (m_unique && m_index.contains(object))
            return false;
        m_array.insert(m_array.begin() + index, object);
        m_index.add(object);
        return true;
    }
    // objects[k] goes to the k-th index of `indexes`, each index referring
    // to the array as it grows. All or nothing: false when the counts
    // differ, an index is out of range, an object cannot be stored or (in
    // a set) is already present or listed twice.
    bool insertObjects(const std::vector<T> &objects, const TNIndexSet &indexes)
    {
        if (objects.size() != indexes.size())
            return false;
        qsizetype grown = count();
        for (qsizetype index : indexes) {
            if (index < 0 || index > grown)
                return false;
            ++grown;
        }
        for (std::size_t k = 0; k < objects.size(); ++k) {
            if (!m_index.admissible(objects[k]))
                return false;
            if (m_unique) {
                if (m_index.contains(objects[k]))
                    return false;
                for (std::size_t j = 0; j < k; ++j) {
                    if (m_index.same(objects[j], objects[k]))
                        return false;
                }
            }
        }
        std::size_t k = 0;
        for (qsizetype index : indexes) {
            m_array.insert(m_array.begin() + index, objects[k]);
            m_index.add(objects[k]);
            ++k;
        }
        return true;
    }
    // Adds one by one (sets skip what they hold); true when all were added.
    bool addObjectsFromArray(const std::vector<T> &objects)
    {
        bool all = true;
        for (const T &object : objects)
            all = addObject(object) && all;
        return all;
    }

    // ---- Removing ----

    // Removes every element that is the same as `object`; false when none was.
    bool removeObject(const T &object)
    {
        if (!m_index.admissible(object))
            return false;
        if (m_unique && !m_index.contains(object))
            return false;
        const auto removed = std::erase_if(m_array, [&](const T &item) { return m_index.same(item, object); });
        m_index.drop(object);
        return removed > 0;
    }
    bool removeObjectAtIndex(qsizetype index)
    {
        if (!validIndex(index))
            return false;
        T removed = std::move(m_array[static_cast<std::size_t>(index)]);
        m_array.erase(m_array.begin() + index);
        forgetIfGone(removed);
        return true;
    }
    // Removes exactly the elements at the indexes; false (and nothing
    // removed) when an index is out of range.
    bool removeObjectsAtIndexes(const TNIndexSet &indexes)
    {
        if (indexes.empty())
            return true;
        if (*indexes.begin() < 0 || *indexes.rbegin() >= count())
            return false;
        std::vector<T> removed;
        removed.reserve(indexes.size());
        for (qsizetype index : indexes)
            removed.push_back(m_array[static_cast<std::size_t>(index)]);
        eraseIndexes(indexes);
        if (m_unique) {
            for (const T &item : removed)
                m_index.drop(item);
        } else {
            rebuildIndex();
        }
        return true;
    }
    // Rebuilds array and index from the elements not listed, in one pass.
    // Indexes outside the array are ignored; answers whether anything went.
    bool fast_removeObjectsAtIndexes(const TNIndexSet &indexes)
    {
        const qsizetype total = count();
        const auto listed = std::count_if(indexes.begin(), indexes.end(),
                                          [total](qsizetype index) { return index >= 0 && index < total; });
        if (listed == 0)
            return false;
        std::vector<T> kept;
        kept.reserve(static_cast<std::size_t>(total - listed));
        m_index.clear();
        m_index.reserve(static_cast<std::size_t>(total - listed));
        auto next = indexes.lower_bound(0);
        for (qsizetype i = 0; i < total; ++i) {
            if (next != indexes.end() && *next == i) {
                ++next;
                continue;
            }
            m_index.add(m_array[static_cast<std::size_t>(i)]);
            kept.push_back(std::move(m_array[static_cast<std::size_t>(i)]));
        }
        m_array = std::move(kept);
        return true;
    }
    // removeObject for each; true when anything was removed.
    bool removeObjectsInArray(const std::vector<T> &objects)
    {
        bool any = false;
        for (const T &object : objects)
            any = removeObject(object) || any;
        return any;
    }
    bool removeAllObjects()
    {
        m_array.clear();
        m_index.clear();
        return true;
    }

    // ---- Rearranging ----

    // Moves within the array; membership does not change.
    bool moveObjectFromIndex(qsizetype from, qsizetype to)
    {
        if (!validIndex(from) || !validIndex(to))
            return false;
        auto first = m_array.begin();
        if (from < to)
            std::rotate(first + from, first + from + 1, first + to + 1);
        else if (from > to)
            std::rotate(first + to, first + from, first + from + 1);
        return true;
    }
    // Puts `object` in place of the first element that is the same as it;
    // false when there is none.
    bool replaceObject(const T &object)
    {
        if (!m_index.admissible(object))
            return false;
        const qsizetype index = indexOfObject(object);
        if (index == TNNotFound)
            return false;
        m_index.drop(m_array[static_cast<std::size_t>(index)]);
        m_array[static_cast<std::size_t>(index)] = object;
        m_index.add(object);
        return true;
    }
    // Stable; membership does not change.
    template <typename Comparator>
    void sortUsingComparator(Comparator comparator)
    {
        std::stable_sort(m_array.begin(), m_array.end(),
                         [&](const T &a, const T &b) { return tnLess<T>(comparator, a, b); });
    }
    void sortUsingFunction(int (*function)(const T &, const T &, void *), void *context)
    {
        sortUsingComparator([&](const T &a, const T &b) { return function(a, b, context); });
    }

protected:
    MembershipArray(const char *className, bool unique) : m_className(className), m_unique(unique) {}

    std::optional<T> memberOf(const T &object) const
    {
        if (!m_index.admissible(object))
            return std::nullopt;
        return m_index.member(object);
    }
    void reserve(qsizetype capacity)
    {
        if (capacity > 0) {
            m_array.reserve(static_cast<std::size_t>(capacity));
            m_index.reserve(static_cast<std::size_t>(capacity));
        }
    }
    // Takes the elements as they are, without looking for duplicates; only
    // elements that cannot be stored at all are left out.
    void adoptWithoutChecks(const std::vector<T> &objects)
    {
        m_array.clear();
        m_index.clear();
        reserve(static_cast<qsizetype>(objects.size()));
        for (const T &object : objects) {
            if (!m_index.admissible(object))
                continue;
            m_array.push_back(object);
            m_index.add(object);
        }
    }

private:
    bool validIndex(qsizetype index) const { return index >= 0 && index < count(); }

    // After one element left: sets drop it at once; arrays only when no
    // element that is the same remains (and point the index at that one).
    void forgetIfGone(const T &removed)
    {
        if (!m_unique) {
            for (const T &item : m_array) {
                if (m_index.same(item, removed)) {
                    m_index.add(item);
                    return;
                }
            }
        }
        m_index.drop(removed);
    }
    void eraseIndexes(const TNIndexSet &indexes)
    {
        auto next = indexes.begin();
        qsizetype i = 0;
        std::erase_if(m_array, [&](const T &) {
            const bool drop = next != indexes.end() && *next == i;
            if (drop)
                ++next;
            ++i;
            return drop;
        });
    }
    void rebuildIndex()
    {
        m_index.clear();
        m_index.reserve(m_array.size());
        for (const T &item : m_array)
            m_index.add(item);
    }

    std::vector<T> m_array;
    Index m_index;
    const char *m_className;
    bool m_unique;
};

} // namespace kalvo::collections_detail
