// An ordered array that several threads may use at once. Every call takes
// the array's lock, does the same work on the inner std::vector and lets go.
//
//   kalvo::TNThreadSafeArray<std::shared_ptr<Listener>> listeners;
//   listeners.addObject(listener);                         // any thread
//   listeners.enumerateObjectsUsingBlock([](const auto &l) { l->ping(); });
//   for (const auto &l : listeners.toVector()) ...          // a snapshot
//
// Elements: any copyable T. Null pointer-like elements (see
// collectionsupport.h) are nil: adding or inserting one is refused (false),
// and reads that find nothing answer an empty std::optional. Equality of
// elements is operator==.
//
// The lock is a plain, non-recursive mutex (the binary semaphore of the
// original kit). Hence:
//   - Blocks passed to enumerateObjects…, makeObjectsPerform, the sorting
//     and the searching calls run while the lock is held. Such a block must
//     not use the same array again (not even count()). The lock would wait
//     for itself forever; instead the array notices the re-entry and stops
//     the process with "TNThreadSafeArray used again from a block running
//     under its own lock". Work on a snapshot (toVector(), copy()) when the
//     block needs the array.
//   - Range-for ("fast enumeration") copies the elements in batches of
//     kFastEnumerationBatch and takes the lock once per batch only; the loop
//     body runs without the lock and may use the array. Changes made while a
//     loop runs show up in later batches by index, so elements may be seen
//     twice or skipped, but nothing crashes.
//   - Comparing two arrays holds both locks. They are always taken in the
//     same global order (by address), so two threads comparing a == b and
//     b == a at the same time cannot deadlock. An array equals itself
//     without locking.
//   - Copies (copy(), mutableCopy(), the copy constructor and assignment)
//     are new arrays over a copy of the contents taken under the lock.
//
// Index arguments out of range make the call do nothing and answer false,
// an empty optional or TNNotFound; nothing throws.
#pragma once

#include <kalvo/collections/collectionsupport.h>

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <iterator>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kalvo {

// Stops the process: a block running under an array's lock used that array.
[[noreturn]] KALVO_EXPORT void tnFatalThreadSafeArrayReentered();

// Reads an XML property-list file whose root is an array; nothing when the
// file is missing, unreadable or not an array. URLs must be local files.
KALVO_EXPORT std::optional<QVariantList> tnReadArrayFile(const QString &path);
KALVO_EXPORT std::optional<QVariantList> tnReadArrayURL(const QUrl &url);

template <typename T>
class TNThreadSafeArray
{
public:
    using value_type = T;
    static constexpr qsizetype kFastEnumerationBatch = 16;

    // ---- Creation ----

    TNThreadSafeArray() = default;
    TNThreadSafeArray(std::initializer_list<T> objects) { appendAll(objects.begin(), objects.end()); }
    explicit TNThreadSafeArray(const std::vector<T> &objects) { appendAll(objects.begin(), objects.end()); }
    explicit TNThreadSafeArray(const QList<T> &objects) { appendAll(objects.begin(), objects.end()); }

    TNThreadSafeArray(const TNThreadSafeArray &other) : m_items(other.toVector()) {}
    TNThreadSafeArray(TNThreadSafeArray &&other) noexcept
    {
        const Guard guard(other);
        m_items = std::move(other.m_items);
        other.m_items.clear();
    }
    TNThreadSafeArray &operator=(const TNThreadSafeArray &other)
    {
        if (this != &other) {
            std::vector<T> contents = other.toVector();
            const Guard guard(*this);
            m_items = std::move(contents);
        }
        return *this;
    }
    TNThreadSafeArray &operator=(TNThreadSafeArray &&other) noexcept
    {
        if (this != &other) {
            std::vector<T> contents;
            {
                const Guard guard(other);
                contents = std::move(other.m_items);
                other.m_items.clear();
            }
            const Guard guard(*this);
            m_items = std::move(contents);
        }
        return *this;
    }

    static TNThreadSafeArray array() { return TNThreadSafeArray(); }
    static TNThreadSafeArray arrayWithCapacity(qsizetype capacity)
    {
        TNThreadSafeArray result;
        if (capacity > 0)
            result.m_items.reserve(static_cast<std::size_t>(capacity));
        return result;
    }
    static TNThreadSafeArray arrayWithArray(const std::vector<T> &objects) { return TNThreadSafeArray(objects); }
    static TNThreadSafeArray arrayWithObjects(std::initializer_list<T> objects) { return TNThreadSafeArray(objects); }
    static TNThreadSafeArray arrayWithObject(const T &object)
    {
        TNThreadSafeArray result;
        result.addObject(object);
        return result;
    }

    // Property-list files and local file URLs; only for arrays of QVariant.
    static std::optional<TNThreadSafeArray> arrayWithContentsOfFile(const QString &path)
        requires std::is_same_v<T, QVariant>
    {
        if (auto list = tnReadArrayFile(path))
            return TNThreadSafeArray(*list);
        return std::nullopt;
    }
    static std::optional<TNThreadSafeArray> arrayWithContentsOfURL(const QUrl &url)
        requires std::is_same_v<T, QVariant>
    {
        if (auto list = tnReadArrayURL(url))
            return TNThreadSafeArray(*list);
        return std::nullopt;
    }

    // ---- Copies ----

    TNThreadSafeArray copy() const { return TNThreadSafeArray(*this); }
    TNThreadSafeArray mutableCopy() const { return TNThreadSafeArray(*this); }
    std::vector<T> toVector() const
    {
        const Guard guard(*this);
        return m_items;
    }
    QList<T> toList() const
    {
        const Guard guard(*this);
        return QList<T>(m_items.begin(), m_items.end());
    }

    // ---- Reading ----

    qsizetype count() const
    {
        const Guard guard(*this);
        return static_cast<qsizetype>(m_items.size());
    }
    bool isEmpty() const { return count() == 0; }

    std::optional<T> objectAtIndex(qsizetype index) const
    {
        const Guard guard(*this);
        if (!validIndex(index))
            return std::nullopt;
        return m_items[static_cast<std::size_t>(index)];
    }
    std::optional<T> operator[](qsizetype index) const { return objectAtIndex(index); }
    std::optional<T> firstObject() const
    {
        const Guard guard(*this);
        if (m_items.empty())
            return std::nullopt;
        return m_items.front();
    }
    std::optional<T> lastObject() const
    {
        const Guard guard(*this);
        if (m_items.empty())
            return std::nullopt;
        return m_items.back();
    }
    // Empty when any index is out of range.
    std::vector<T> objectsAtIndexes(const TNIndexSet &indexes) const
    {
        const Guard guard(*this);
        std::vector<T> result;
        result.reserve(indexes.size());
        for (qsizetype index : indexes) {
            if (!validIndex(index))
                return {};
            result.push_back(m_items[static_cast<std::size_t>(index)]);
        }
        return result;
    }
    // Empty when the range does not fit.
    std::vector<T> subarrayWithRange(TNRange range) const
    {
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return {};
        return std::vector<T>(m_items.begin() + range.location, m_items.begin() + range.end());
    }
    std::vector<T> arrayByAddingObject(const T &object) const
    {
        std::vector<T> result = toVector();
        if (!tnIsNil(object))
            result.push_back(object);
        return result;
    }
    std::vector<T> arrayByAddingObjectsFromArray(const std::vector<T> &objects) const
    {
        std::vector<T> result = toVector();
        for (const T &object : objects) {
            if (!tnIsNil(object))
                result.push_back(object);
        }
        return result;
    }
    std::vector<T> reversedObjects() const
    {
        std::vector<T> result = toVector();
        std::reverse(result.begin(), result.end());
        return result;
    }
    // Elements joined by `separator`; only for arrays of QString.
    QString componentsJoinedByString(const QString &separator) const
        requires std::is_same_v<T, QString>
    {
        const Guard guard(*this);
        return QStringList(m_items.begin(), m_items.end()).join(separator);
    }
    QString description() const
    {
        const Guard guard(*this);
        return tnDescribeElements(m_items);
    }

    // ---- Searching ----

    bool containsObject(const T &object) const
    {
        const Guard guard(*this);
        return std::find(m_items.begin(), m_items.end(), object) != m_items.end();
    }
    qsizetype indexOfObject(const T &object) const
    {
        const Guard guard(*this);
        return findIn(object, 0, size());
    }
    qsizetype indexOfObject(const T &object, TNRange range) const
    {
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return TNNotFound;
        return findIn(object, range.location, range.end());
    }
    template <typename Predicate>
    qsizetype indexOfObjectPassingTest(Predicate predicate) const
    {
        return indexOfObjectWithOptions(0, std::move(predicate));
    }
    template <typename Predicate>
    qsizetype indexOfObjectWithOptions(unsigned options, Predicate predicate) const
    {
        qsizetype found = TNNotFound;
        const Guard guard(*this);
        forEachIndex(options, [&](qsizetype i) {
            bool passed = false;
            const bool stop = tnCallTestBlock(predicate, m_items[static_cast<std::size_t>(i)], i, passed);
            if (passed)
                found = i;
            return passed || stop;
        });
        return found;
    }
    template <typename Predicate>
    TNIndexSet indexesOfObjectsPassingTest(Predicate predicate) const
    {
        TNIndexSet found;
        const Guard guard(*this);
        forEachIndex(0, [&](qsizetype i) {
            bool passed = false;
            const bool stop = tnCallTestBlock(predicate, m_items[static_cast<std::size_t>(i)], i, passed);
            if (passed)
                found.insert(i);
            return stop;
        });
        return found;
    }
    std::optional<T> firstObjectCommonWithArray(const std::vector<T> &others) const
    {
        const Guard guard(*this);
        for (const T &item : m_items) {
            if (std::find(others.begin(), others.end(), item) != others.end())
                return item;
        }
        return std::nullopt;
    }
    // Binary search of a range sorted by `comparator`. Without options any
    // equal element's index (or TNNotFound); FirstEqual / LastEqual pick the
    // first / last equal one; InsertionIndex answers where the object would
    // go to keep the order (after equal elements with LastEqual, before them
    // otherwise).
    template <typename Comparator>
    qsizetype indexOfObjectInSortedRange(const T &object, TNRange range, unsigned options,
                                         Comparator comparator) const
    {
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return TNNotFound;
        auto first = m_items.begin() + range.location;
        auto last = m_items.begin() + range.end();
        auto less = [&](const T &a, const T &b) { return tnLess<T>(comparator, a, b); };
        auto lower = std::lower_bound(first, last, object, less);
        auto upper = std::upper_bound(lower, last, object, less);
        if (options & TNBinarySearchingInsertionIndex)
            return ((options & TNBinarySearchingLastEqual) ? upper : lower) - m_items.begin();
        if (lower == upper)
            return TNNotFound;
        if (options & TNBinarySearchingLastEqual)
            return (upper - 1) - m_items.begin();
        return lower - m_items.begin();
    }

    // ---- Sorting (copies) ----

    template <typename Comparator>
    std::vector<T> sortedArrayUsingComparator(Comparator comparator) const
    {
        std::vector<T> result = toVector();
        std::stable_sort(result.begin(), result.end(),
                         [&](const T &a, const T &b) { return tnLess<T>(comparator, a, b); });
        return result;
    }
    std::vector<T> sortedArrayUsingFunction(int (*function)(const T &, const T &, void *), void *context) const
    {
        return sortedArrayUsingComparator([&](const T &a, const T &b) { return function(a, b, context); });
    }

    // ---- Enumeration (under the lock) ----

    template <typename Block>
    void enumerateObjectsUsingBlock(Block block) const
    {
        enumerateObjectsWithOptions(0, std::move(block));
    }
    template <typename Block>
    void enumerateObjectsWithOptions(unsigned options, Block block) const
    {
        const Guard guard(*this);
        forEachIndex(options, [&](qsizetype i) {
            return tnCallEnumerationBlock(block, m_items[static_cast<std::size_t>(i)], i);
        });
    }
    template <typename Block>
    void enumerateObjectsAtIndexes(const TNIndexSet &indexes, unsigned options, Block block) const
    {
        const Guard guard(*this);
        auto visit = [&](qsizetype i) {
            return validIndex(i) && tnCallEnumerationBlock(block, m_items[static_cast<std::size_t>(i)], i);
        };
        if (options & TNEnumerationReverse) {
            for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
                if (visit(*it))
                    return;
            }
        } else {
            for (qsizetype i : indexes) {
                if (visit(i))
                    return;
            }
        }
    }
    // makeObjectsPerformSelector: — C++ has no selectors; `action` is called
    // with each element in order.
    template <typename Action>
    void makeObjectsPerform(Action action) const
    {
        const Guard guard(*this);
        for (const T &item : m_items)
            std::invoke(action, item);
    }

    // ---- Fast enumeration ----

    // A single-pass iterator for range-for: it holds one batch copied under
    // the lock; only comparison with end() is meaningful.
    class const_iterator
    {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T *;
        using reference = const T &;

        const_iterator() = default;
        reference operator*() const { return m_batch[static_cast<std::size_t>(m_slot)]; }
        pointer operator->() const { return &m_batch[static_cast<std::size_t>(m_slot)]; }
        const_iterator &operator++()
        {
            ++m_slot;
            ++m_index;
            if (m_slot >= static_cast<qsizetype>(m_batch.size()))
                fetch();
            return *this;
        }
        void operator++(int) { ++*this; }
        bool operator==(const const_iterator &other) const { return atEnd() == other.atEnd(); }

    private:
        friend class TNThreadSafeArray;
        explicit const_iterator(const TNThreadSafeArray *array) : m_array(array) { fetch(); }
        bool atEnd() const { return m_array == nullptr; }
        void fetch()
        {
            m_batch.clear();
            m_slot = 0;
            {
                const Guard guard(*m_array);
                const qsizetype total = m_array->size();
                const qsizetype stop = std::min(total, m_index + kFastEnumerationBatch);
                for (qsizetype i = m_index; i < stop; ++i)
                    m_batch.push_back(m_array->m_items[static_cast<std::size_t>(i)]);
            }
            if (m_batch.empty())
                m_array = nullptr;
        }

        const TNThreadSafeArray *m_array = nullptr;
        std::vector<T> m_batch;
        qsizetype m_slot = 0;
        qsizetype m_index = 0;
    };
    using iterator = const_iterator;

    const_iterator begin() const { return const_iterator(this); }
    const_iterator end() const { return const_iterator(); }

    // ---- Equality and hash ----

    bool isEqualToArray(const TNThreadSafeArray &other) const
    {
        if (this == &other)
            return true;
        // One global order for the two locks keeps opposite-order
        // comparisons from deadlocking.
        const TNThreadSafeArray *first = std::less<const TNThreadSafeArray *>()(this, &other) ? this : &other;
        const TNThreadSafeArray *second = first == this ? &other : this;
        const Guard firstGuard(*first);
        const Guard secondGuard(*second);
        return m_items == other.m_items;
    }
    // Compared with anything that is not a thread-safe array of T: unequal.
    template <typename Other>
    bool isEqual(const Other &other) const
    {
        if constexpr (std::is_same_v<Other, TNThreadSafeArray>)
            return isEqualToArray(other);
        else
            return false;
    }
    friend bool operator==(const TNThreadSafeArray &a, const TNThreadSafeArray &b) { return a.isEqualToArray(b); }
    // As for arrays in the original kit: the element count.
    std::size_t hash() const { return static_cast<std::size_t>(count()); }

    // ---- Mutation ----

    bool addObject(const T &object)
    {
        if (tnIsNil(object))
            return false;
        const Guard guard(*this);
        m_items.push_back(object);
        return true;
    }
    bool addObject(T &&object)
    {
        if (tnIsNil(object))
            return false;
        const Guard guard(*this);
        m_items.push_back(std::move(object));
        return true;
    }
    // Nil elements are skipped; answers whether all were added.
    bool addObjectsFromArray(const std::vector<T> &objects)
    {
        const Guard guard(*this);
        return appendAllLocked(objects.begin(), objects.end());
    }
    bool addObjectsFromArray(const QList<T> &objects)
    {
        const Guard guard(*this);
        return appendAllLocked(objects.begin(), objects.end());
    }
    bool insertObject(const T &object, qsizetype index)
    {
        if (tnIsNil(object))
            return false;
        const Guard guard(*this);
        if (index < 0 || index > size())
            return false;
        m_items.insert(m_items.begin() + index, object);
        return true;
    }
    // Places objects[k] at the k-th index of `indexes`, as the original kit
    // does: each index refers to the array as it grows. Nothing is inserted
    // when the counts differ, an object is nil or an index is out of range.
    bool insertObjects(const std::vector<T> &objects, const TNIndexSet &indexes)
    {
        if (objects.size() != indexes.size())
            return false;
        for (const T &object : objects) {
            if (tnIsNil(object))
                return false;
        }
        const Guard guard(*this);
        qsizetype grown = size();
        for (qsizetype index : indexes) {
            if (index < 0 || index > grown)
                return false;
            ++grown;
        }
        std::size_t k = 0;
        for (qsizetype index : indexes)
            m_items.insert(m_items.begin() + index, objects[k++]);
        return true;
    }
    bool removeLastObject()
    {
        const Guard guard(*this);
        if (m_items.empty())
            return false;
        m_items.pop_back();
        return true;
    }
    bool removeObjectAtIndex(qsizetype index)
    {
        const Guard guard(*this);
        if (!validIndex(index))
            return false;
        m_items.erase(m_items.begin() + index);
        return true;
    }
    // Removes every equal element; false when there was none.
    bool removeObject(const T &object)
    {
        const Guard guard(*this);
        return std::erase(m_items, object) > 0;
    }
    bool removeObject(const T &object, TNRange range)
    {
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return false;
        auto first = m_items.begin() + range.location;
        auto last = m_items.begin() + range.end();
        auto kept = std::remove(first, last, object);
        if (kept == last)
            return false;
        m_items.erase(kept, last);
        return true;
    }
    bool removeObjectsInRange(TNRange range)
    {
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return false;
        m_items.erase(m_items.begin() + range.location, m_items.begin() + range.end());
        return true;
    }
    bool removeObjectsAtIndexes(const TNIndexSet &indexes)
    {
        const Guard guard(*this);
        if (!indexes.empty() && (*indexes.begin() < 0 || *indexes.rbegin() >= size()))
            return false;
        auto next = indexes.begin();
        qsizetype index = 0;
        std::erase_if(m_items, [&](const T &) {
            const bool drop = next != indexes.end() && *next == index;
            if (drop)
                ++next;
            ++index;
            return drop;
        });
        return true;
    }
    bool removeObjectsInArray(const std::vector<T> &objects)
    {
        const Guard guard(*this);
        return std::erase_if(m_items, [&](const T &item) {
                   return std::find(objects.begin(), objects.end(), item) != objects.end();
               }) > 0;
    }
    void removeAllObjects()
    {
        const Guard guard(*this);
        m_items.clear();
    }
    template <typename Predicate>
    void filterUsingPredicate(Predicate keep)
    {
        const Guard guard(*this);
        std::erase_if(m_items, [&](const T &item) { return !std::invoke(keep, item); });
    }
    bool replaceObjectAtIndex(qsizetype index, const T &object)
    {
        if (tnIsNil(object))
            return false;
        const Guard guard(*this);
        if (!validIndex(index))
            return false;
        m_items[static_cast<std::size_t>(index)] = object;
        return true;
    }
    // setObject:atIndexedSubscript: — replaces, or appends at index == count.
    bool setObject(const T &object, qsizetype index)
    {
        if (tnIsNil(object))
            return false;
        const Guard guard(*this);
        if (index == size()) {
            m_items.push_back(object);
            return true;
        }
        if (!validIndex(index))
            return false;
        m_items[static_cast<std::size_t>(index)] = object;
        return true;
    }
    bool replaceObjectsInRange(TNRange range, const std::vector<T> &objects)
    {
        for (const T &object : objects) {
            if (tnIsNil(object))
                return false;
        }
        const Guard guard(*this);
        if (!range.fitsIn(size()))
            return false;
        auto at = m_items.erase(m_items.begin() + range.location, m_items.begin() + range.end());
        m_items.insert(at, objects.begin(), objects.end());
        return true;
    }
    bool replaceObjectsAtIndexes(const TNIndexSet &indexes, const std::vector<T> &objects)
    {
        if (objects.size() != indexes.size())
            return false;
        for (const T &object : objects) {
            if (tnIsNil(object))
                return false;
        }
        const Guard guard(*this);
        if (!indexes.empty() && (*indexes.begin() < 0 || *indexes.rbegin() >= size()))
            return false;
        std::size_t k = 0;
        for (qsizetype index : indexes)
            m_items[static_cast<std::size_t>(index)] = objects[k++];
        return true;
    }
    void setArray(const std::vector<T> &objects)
    {
        const Guard guard(*this);
        m_items.clear();
        appendAllLocked(objects.begin(), objects.end());
    }
    bool exchangeObjectAtIndex(qsizetype index, qsizetype otherIndex)
    {
        const Guard guard(*this);
        if (!validIndex(index) || !validIndex(otherIndex))
            return false;
        std::swap(m_items[static_cast<std::size_t>(index)], m_items[static_cast<std::size_t>(otherIndex)]);
        return true;
    }
    // Stable sort in place; the comparator runs under the lock.
    template <typename Comparator>
    void sortUsingComparator(Comparator comparator)
    {
        const Guard guard(*this);
        std::stable_sort(m_items.begin(), m_items.end(),
                         [&](const T &a, const T &b) { return tnLess<T>(comparator, a, b); });
    }
    void sortUsingFunction(int (*function)(const T &, const T &, void *), void *context)
    {
        sortUsingComparator([&](const T &a, const T &b) { return function(a, b, context); });
    }

private:
    // Takes the lock for one call. The holder's thread id lets a block that
    // comes back to the same array fail loudly instead of waiting forever.
    class Guard
    {
    public:
        explicit Guard(const TNThreadSafeArray &array) : m_array(array)
        {
            if (array.m_holder.load(std::memory_order_relaxed) == std::this_thread::get_id())
                tnFatalThreadSafeArrayReentered();
            array.m_lock.lock();
            array.m_holder.store(std::this_thread::get_id(), std::memory_order_relaxed);
        }
        ~Guard()
        {
            m_array.m_holder.store(std::thread::id(), std::memory_order_relaxed);
            m_array.m_lock.unlock();
        }
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;

    private:
        const TNThreadSafeArray &m_array;
    };

    qsizetype size() const { return static_cast<qsizetype>(m_items.size()); }
    bool validIndex(qsizetype index) const { return index >= 0 && index < size(); }
    qsizetype findIn(const T &object, qsizetype from, qsizetype to) const
    {
        auto first = m_items.begin() + from;
        auto last = m_items.begin() + to;
        auto it = std::find(first, last, object);
        return it == last ? TNNotFound : it - m_items.begin();
    }
    template <typename Step>
    void forEachIndex(unsigned options, Step step) const
    {
        const qsizetype total = size();
        if (options & TNEnumerationReverse) {
            for (qsizetype i = total - 1; i >= 0; --i) {
                if (step(i))
                    return;
            }
        } else {
            for (qsizetype i = 0; i < total; ++i) {
                if (step(i))
                    return;
            }
        }
    }
    template <typename It>
    void appendAll(It first, It last)
    {
        appendAllLocked(first, last); // only from constructors: nobody else sees us yet
    }
    template <typename It>
    bool appendAllLocked(It first, It last)
    {
        bool all = true;
        for (; first != last; ++first) {
            if (tnIsNil(*first))
                all = false;
            else
                m_items.push_back(*first);
        }
        return all;
    }

    mutable std::mutex m_lock;
    // The thread holding m_lock, or no thread. Each thread only ever stores
    // its own id or clears it, so a relaxed read equals the reader's own id
    // exactly when the reader holds the lock.
    mutable std::atomic<std::thread::id> m_holder{};
    std::vector<T> m_items;
};

} // namespace kalvo
