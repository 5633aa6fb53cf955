// A priority queue on a binary heap. Larger priorities come out first (or
// smaller ones with isMinHeap); equal priorities come out in the order they
// went in.
//
//   kalvo::TNPriorityQueue<QString> queue;
//   queue.addObject(QStringLiteral("low"), 1);
//   queue.addObject(QStringLiteral("high"), 9);
//   queue.topObject();      // "high"
//   queue.removeTopObject();
//
// Nil: null pointer-like objects (see collectionsupport.h) are ignored by
// addObject, and topObject answers an empty std::optional on an empty queue.
// The queue is not thread-safe; use it from one thread.
//
// The heap lives in internalArray(): index 0 is the top, the children of i
// are 2i+1 and 2i+2. Sifting leaves the slots exactly as exchanging the
// contents (object, insert order, priority) of two slots at a time would;
// it only copies less on the way.
#pragma once

#include <kalvo/collections/collectionsupport.h>

#include <QtGlobal>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kalvo {

template <typename T>
struct TNPriorityItem
{
    T object{};
    quint64 insertOrder = 0;
    quint64 priority = 0;
};

template <typename T>
class TNPriorityQueue
{
public:
    using Item = TNPriorityItem<T>;
    // True when item A belongs above item B. Replaces the built-in order.
    using CompareBlock = std::function<bool(const Item &a, const Item &b)>;

    TNPriorityQueue() = default;
    explicit TNPriorityQueue(bool isMinHeap) : m_isMinHeap(isMinHeap) {}

    bool isMinHeap() const { return m_isMinHeap; }
    void setIsMinHeap(bool isMinHeap) { m_isMinHeap = isMinHeap; }
    const CompareBlock &compareBlock() const { return m_compareBlock; }
    void setCompareBlock(CompareBlock block) { m_compareBlock = std::move(block); }

    // The next insert order to hand out; starts at 0.
    quint64 lastOrder() const { return m_lastOrder; }
    const std::vector<Item> &internalArray() const { return m_heap; }
    qsizetype count() const { return static_cast<qsizetype>(m_heap.size()); }
    bool isEmpty() const { return m_heap.empty(); }

    // Pre-sizes the heap for `capacity` items.
    void reserve(qsizetype capacity)
    {
        if (capacity > 0)
            m_heap.reserve(static_cast<std::size_t>(capacity));
    }

    // Ignores nil; answers whether the object was queued.
    bool addObject(T object, quint64 priority)
    {
        if (tnIsNil(object))
            return false;
        m_heap.push_back(Item{std::move(object), m_lastOrder++, priority});
        withOrder([this](auto above) { siftUp(m_heap.size() - 1, above); });
        return true;
    }

    std::optional<T> topObject() const
    {
        if (m_heap.empty())
            return std::nullopt;
        return m_heap.front().object;
    }

    // Does nothing on an empty queue; answers whether an item was removed.
    bool removeTopObject()
    {
        if (m_heap.empty())
            return false;
        if (m_heap.size() == 1) {
            m_heap.clear();
            return true;
        }
        // The last item's contents take the root's place and sift down.
        Item last = std::move(m_heap.back());
        m_heap.pop_back();
        if (m_compareBlock)
            siftDown(0, std::move(last), [this](const Item &a, const Item &b) { return m_compareBlock(a, b); });
        else if (m_isMinHeap)
            siftDownFromLeaf(std::move(last), &TNPriorityQueue::aboveMin);
        else
            siftDownFromLeaf(std::move(last), &TNPriorityQueue::aboveMax);
        return true;
    }

    // Removes the top item and hands its object over; empty when the queue is.
    std::optional<T> takeTopObject()
    {
        if (m_heap.empty())
            return std::nullopt;
        std::optional<T> top(std::move(m_heap.front().object));
        removeTopObject();
        return top;
    }

    // Empties the queue and starts the insert order again at 0.
    void cleanAllObjects()
    {
        m_heap.clear();
        m_lastOrder = 0;
    }

    // compareItemA:itemB: — true when A belongs above B.
    bool compareItem(const Item &a, const Item &b) const
    {
        if (m_compareBlock)
            return m_compareBlock(a, b);
        return m_isMinHeap ? aboveMin(a, b) : aboveMax(a, b);
    }

private:
    __extension__ typedef unsigned __int128 Wide;

    // Priority first, then the earlier insert order, folded into one
    // 128-bit comparison: it compiles without branches, which the heap's
    // unpredictable comparisons reward. (For the max-heap the order is
    // inverted so that "larger key" still means "earlier".)
    static bool aboveMax(const Item &a, const Item &b)
    {
        return ((Wide(a.priority) << 64) | ~a.insertOrder) > ((Wide(b.priority) << 64) | ~b.insertOrder);
    }
    static bool aboveMin(const Item &a, const Item &b)
    {
        return ((Wide(a.priority) << 64) | a.insertOrder) < ((Wide(b.priority) << 64) | b.insertOrder);
    }

    // Picks the order once per operation, so the sift loops run without
    // re-testing the mode at every level.
    template <typename Run>
    void withOrder(Run run)
    {
        if (m_compareBlock)
            run([this](const Item &a, const Item &b) { return m_compareBlock(a, b); });
        else if (m_isMinHeap)
            run(&TNPriorityQueue::aboveMin);
        else
            run(&TNPriorityQueue::aboveMax);
    }

    // The sifts carry the moving item in a temporary and shift the others
    // into the gap, which leaves every slot exactly as a chain of pairwise
    // exchanges would, with a third of the copying.
    template <typename Above>
    void siftUp(std::size_t index, Above above)
    {
        if (index == 0)
            return;
        Item moving = std::move(m_heap[index]);
        while (index > 0) {
            const std::size_t parent = (index - 1) / 2;
            if (!above(moving, m_heap[parent]))
                break;
            m_heap[index] = std::move(m_heap[parent]);
            index = parent;
        }
        m_heap[index] = std::move(moving);
    }

    // `moving` goes into the slot at `index` (whose old contents are gone)
    // and on down while a child belongs above it.
    template <typename Above>
    void siftDown(std::size_t index, Item moving, Above above)
    {
        const std::size_t size = m_heap.size();
        for (;;) {
            std::size_t child = 2 * index + 1;
            if (child >= size)
                break;
            if (child + 1 < size) // the right child when it is above the left
                child += above(m_heap[child + 1], m_heap[child]) ? 1 : 0;
            if (!above(m_heap[child], moving))
                break;
            m_heap[index] = std::move(m_heap[child]);
            index = child;
        }
        m_heap[index] = std::move(moving);
    }

    // The same result as siftDown(0, …) for the built-in orders, with about
    // half the comparisons: walk the gap down the path of the upper children
    // to a leaf, then climb back to where `moving` belongs. The built-in
    // orders are strict and total (insert orders never repeat), and along
    // that path every item is above the next, so the climb stops exactly
    // where the downward sift would have. A caller's compareBlock carries no
    // such promise, so it takes the plain downward sift.
    template <typename Above>
    void siftDownFromLeaf(Item moving, Above above)
    {
        const std::size_t size = m_heap.size();
        std::size_t index = 0;
        for (;;) {
            std::size_t child = 2 * index + 1;
            if (child >= size)
                break;
            if (child + 1 < size)
                child += above(m_heap[child + 1], m_heap[child]) ? 1 : 0;
            m_heap[index] = std::move(m_heap[child]);
            index = child;
        }
        while (index > 0) {
            const std::size_t parent = (index - 1) / 2;
            if (!above(moving, m_heap[parent]))
                break;
            m_heap[index] = std::move(m_heap[parent]);
            index = parent;
        }
        m_heap[index] = std::move(moving);
    }

    std::vector<Item> m_heap;
    quint64 m_lastOrder = 0;
    bool m_isMinHeap = false;
    CompareBlock m_compareBlock;
};

} // namespace kalvo
