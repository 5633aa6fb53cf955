#include <kalvo/collections/priorityqueue.h>

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

using namespace kalvo;

namespace {

template <typename T>
std::vector<T> drain(TNPriorityQueue<T> &queue)
{
    std::vector<T> out;
    while (auto top = queue.topObject()) {
        out.push_back(*top);
        EXPECT_TRUE(queue.removeTopObject());
    }
    return out;
}

// Every parent must belong above (or tie with) its children under the
// queue's own order, and each slot's three fields must still belong together.
template <typename T>
void expectHeapShape(const TNPriorityQueue<T> &queue)
{
    const auto &heap = queue.internalArray();
    for (std::size_t i = 1; i < heap.size(); ++i)
        ASSERT_FALSE(queue.compareItem(heap[i], heap[(i - 1) / 2])) << "slot " << i << " is above its parent";
}

TEST(PriorityQueue, EqualPrioritiesLeaveInArrivalOrderInBothHeapKinds)
{
    TNPriorityQueue<QString> maxHeap;
    TNPriorityQueue<QString> minHeap;
    minHeap.setIsMinHeap(true);
    const std::vector<std::pair<QString, quint64>> input{{"first5", 5}, {"nine", 9}, {"second5", 5}, {"one", 1}};
    for (const auto &[name, priority] : input) {
        EXPECT_TRUE(maxHeap.addObject(name, priority));
        EXPECT_TRUE(minHeap.addObject(name, priority));
    }
    EXPECT_EQ(maxHeap.count(), 4);
    EXPECT_EQ(maxHeap.lastOrder(), 4u);
    EXPECT_EQ(drain(maxHeap), (std::vector<QString>{"nine", "first5", "second5", "one"}));
    EXPECT_EQ(drain(minHeap), (std::vector<QString>{"one", "first5", "second5", "nine"}));
}

TEST(PriorityQueue, PrioritiesCompareAsUnsigned)
{
    TNPriorityQueue<int> queue;
    queue.addObject(1, 1);
    queue.addObject(2, ~quint64(0)); // would be -1 if read as signed
    queue.addObject(3, quint64(1) << 63);
    EXPECT_EQ(drain(queue), (std::vector<int>{2, 3, 1}));
}

TEST(PriorityQueue, EmptyQueueAndNilObjects)
{
    TNPriorityQueue<std::shared_ptr<int>> queue;
    EXPECT_FALSE(queue.topObject().has_value());
    EXPECT_FALSE(queue.removeTopObject());
    EXPECT_FALSE(queue.takeTopObject().has_value());
    EXPECT_EQ(queue.count(), 0);

    EXPECT_FALSE(queue.addObject(nullptr, 7));
    EXPECT_EQ(queue.count(), 0);
    EXPECT_EQ(queue.lastOrder(), 0u) << "an ignored nil must not use up an insert order";

    auto only = std::make_shared<int>(1);
    queue.addObject(only, 3);
    EXPECT_EQ(queue.takeTopObject(), only);
    EXPECT_FALSE(queue.removeTopObject()) << "removing the last item empties the queue";
}

TEST(PriorityQueue, CompareBlockReplacesTheBuiltInOrder)
{
    TNPriorityQueue<QString> queue;
    queue.setIsMinHeap(true); // ignored while a block is set
    // Alphabetical, whatever the priority.
    queue.setCompareBlock([](const TNPriorityItem<QString> &a, const TNPriorityItem<QString> &b) {
        return a.object < b.object;
    });
    for (const char *name : {"delta", "alpha", "charlie", "bravo"})
        queue.addObject(QString::fromLatin1(name), 1);
    expectHeapShape(queue);
    EXPECT_EQ(drain(queue), (std::vector<QString>{"alpha", "bravo", "charlie", "delta"}));

    queue.setCompareBlock(nullptr); // back to priorities, min-heap
    queue.addObject("high", 9);
    queue.addObject("low", 1);
    EXPECT_EQ(queue.topObject(), QString("low"));
}

TEST(PriorityQueue, CleanAllObjectsResetsTheInsertOrder)
{
    TNPriorityQueue<int> queue;
    for (int i = 0; i < 3; ++i)
        queue.addObject(i, 1);
    queue.cleanAllObjects();
    EXPECT_EQ(queue.count(), 0);
    EXPECT_EQ(queue.lastOrder(), 0u);
    EXPECT_FALSE(queue.topObject().has_value());

    queue.addObject(10, 1);
    queue.addObject(11, 1);
    EXPECT_EQ(queue.internalArray().front().insertOrder, 0u);
    EXPECT_EQ(drain(queue), (std::vector<int>{10, 11}));
}

// Random pushes and pops with many ties against a stable-sorted model: the
// heap must keep its shape, never split an item's fields, and hand items out
// by priority and then arrival.
TEST(PriorityQueue, InterleavedPushAndPopMatchAStableModel)
{
    for (bool minHeap : {false, true}) {
        SCOPED_TRACE(minHeap ? "min-heap" : "max-heap");
        struct Entry
        {
            quint64 priority;
            quint64 order;
        };
        TNPriorityQueue<Entry *> queue; // the object remembers its own fields
        queue.setIsMinHeap(minHeap);
        std::vector<std::unique_ptr<Entry>> storage;
        std::vector<Entry *> model;
        auto before = [minHeap](const Entry *a, const Entry *b) {
            if (a->priority != b->priority)
                return minHeap ? a->priority < b->priority : a->priority > b->priority;
            return a->order < b->order;
        };
        std::mt19937 random(42);
        quint64 order = 0;
        for (int step = 0; step < 4000; ++step) {
            if (random() % 3 != 0 || model.empty()) {
                storage.push_back(std::make_unique<Entry>(Entry{random() % 8, order++}));
                queue.addObject(storage.back().get(), storage.back()->priority);
                model.push_back(storage.back().get());
            } else {
                auto best = std::min_element(model.begin(), model.end(), before);
                ASSERT_EQ(queue.topObject(), *best) << "step " << step;
                model.erase(best);
                queue.removeTopObject();
            }
            if (step % 97 == 0) {
                expectHeapShape(queue);
                for (const auto &item : queue.internalArray()) {
                    ASSERT_EQ(item.priority, item.object->priority);
                    ASSERT_EQ(item.insertOrder, item.object->order);
                }
            }
        }
        ASSERT_EQ(queue.count(), static_cast<qsizetype>(model.size()));
        std::stable_sort(model.begin(), model.end(), before);
        EXPECT_EQ(drain(queue), model);
    }
}

// The built-in orders take a faster route down the heap; a compareBlock
// spelling out the same order takes the plain one. Slot for slot, both
// heaps must stay identical.
TEST(PriorityQueue, BuiltInOrderLeavesTheSameHeapAsTheDescribedSift)
{
    for (bool minHeap : {false, true}) {
        SCOPED_TRACE(minHeap ? "min-heap" : "max-heap");
        TNPriorityQueue<int> fast;
        fast.setIsMinHeap(minHeap);
        TNPriorityQueue<int> plain;
        plain.setCompareBlock([minHeap](const TNPriorityItem<int> &a, const TNPriorityItem<int> &b) {
            if (a.priority != b.priority)
                return minHeap ? a.priority < b.priority : a.priority > b.priority;
            return a.insertOrder < b.insertOrder;
        });
        std::mt19937 random(11);
        for (int step = 0; step < 3000; ++step) {
            if (random() % 5 < 3) {
                const quint64 priority = random() % 6;
                fast.addObject(step, priority);
                plain.addObject(step, priority);
            } else {
                fast.removeTopObject();
                plain.removeTopObject();
            }
            const auto &a = fast.internalArray();
            const auto &b = plain.internalArray();
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                ASSERT_EQ(a[i].object, b[i].object) << "slot " << i << " at step " << step;
                ASSERT_EQ(a[i].insertOrder, b[i].insertOrder);
            }
        }
    }
}

} // namespace
