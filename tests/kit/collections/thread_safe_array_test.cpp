#include <kalvo/collections/threadsafearray.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <limits>
#include <memory>

using namespace kalvo;

namespace {

using Ints = std::vector<int>;

TEST(ThreadSafeArray, ReadsAndSearches)
{
    TNThreadSafeArray<int> array{4, 8, 15, 16, 23, 42, 8};
    EXPECT_EQ(array.count(), 7);
    EXPECT_EQ(array.objectAtIndex(2), 15);
    EXPECT_EQ(array[6], 8);
    EXPECT_FALSE(array.objectAtIndex(7).has_value());
    EXPECT_FALSE(array.objectAtIndex(-1).has_value());
    EXPECT_EQ(array.firstObject(), 4);
    EXPECT_EQ(array.lastObject(), 8);

    EXPECT_EQ(array.indexOfObject(8), 1);
    EXPECT_EQ(array.indexOfObject(8, TNRange{2, 5}), 6);
    EXPECT_EQ(array.indexOfObject(99), TNNotFound);
    EXPECT_EQ(TNNotFound, std::numeric_limits<qint64>::max());
    EXPECT_EQ(array.indexOfObject(4, TNRange{5, 9}), TNNotFound) << "a range past the end finds nothing";
    EXPECT_TRUE(array.containsObject(42));
    EXPECT_EQ(array.indexOfObjectPassingTest([](int v) { return v > 15; }), 3);
    EXPECT_EQ(array.indexOfObjectWithOptions(TNEnumerationReverse, [](int v) { return v > 15; }), 5);
    EXPECT_EQ(array.indexesOfObjectsPassingTest([](int v) { return v % 2 == 1; }), (TNIndexSet{2, 4}));
    EXPECT_EQ(array.objectsAtIndexes({0, 5}), (Ints{4, 42}));
    EXPECT_TRUE(array.objectsAtIndexes({0, 7}).empty());
    EXPECT_EQ(array.subarrayWithRange({1, 3}), (Ints{8, 15, 16}));
    EXPECT_TRUE(array.subarrayWithRange({5, 3}).empty());
    EXPECT_EQ(array.firstObjectCommonWithArray({42, 15}), 15);
    EXPECT_EQ(array.reversedObjects().front(), 8);
}

TEST(ThreadSafeArray, SortedSearchOptions)
{
    TNThreadSafeArray<int> array{1, 3, 3, 3, 7};
    auto cmp = [](int a, int b) { return a - b; };
    const TNRange all{0, 5};
    EXPECT_EQ(array.indexOfObjectInSortedRange(3, all, TNBinarySearchingFirstEqual, cmp), 1);
    EXPECT_EQ(array.indexOfObjectInSortedRange(3, all, TNBinarySearchingLastEqual, cmp), 3);
    EXPECT_EQ(array.indexOfObjectInSortedRange(5, all, 0, cmp), TNNotFound);
    EXPECT_EQ(array.indexOfObjectInSortedRange(5, all, TNBinarySearchingInsertionIndex, cmp), 4);
    EXPECT_EQ(array.indexOfObjectInSortedRange(
                  3, all, TNBinarySearchingInsertionIndex | TNBinarySearchingLastEqual, cmp),
              4);
    EXPECT_EQ(array.indexOfObjectInSortedRange(3, {0, 9}, 0, cmp), TNNotFound);
}

TEST(ThreadSafeArray, MutationsRefuseNilAndBadIndexes)
{
    TNThreadSafeArray<std::shared_ptr<int>> pointers;
    EXPECT_FALSE(pointers.addObject(nullptr));
    EXPECT_FALSE(pointers.insertObject(nullptr, 0));
    EXPECT_FALSE(pointers.addObjectsFromArray(std::vector<std::shared_ptr<int>>{std::make_shared<int>(1), nullptr}));
    EXPECT_EQ(pointers.count(), 1) << "the non-nil element is still added";

    TNThreadSafeArray<int> array{1, 2, 3};
    EXPECT_FALSE(array.insertObject(9, 4));
    EXPECT_FALSE(array.insertObject(9, -1));
    EXPECT_FALSE(array.removeObjectAtIndex(3));
    EXPECT_FALSE(array.removeObjectsInRange({2, 2}));
    EXPECT_FALSE(array.removeObjectsAtIndexes({1, 3}));
    EXPECT_FALSE(array.replaceObjectAtIndex(3, 9));
    EXPECT_FALSE(array.exchangeObjectAtIndex(0, 3));
    EXPECT_FALSE(array.replaceObjectsInRange({1, 5}, {7}));
    EXPECT_FALSE(array.insertObjects({7, 8}, {0}));
    EXPECT_EQ(array.toVector(), (Ints{1, 2, 3})) << "refused calls change nothing";
}

TEST(ThreadSafeArray, EveryMutationForm)
{
    TNThreadSafeArray<int> array = TNThreadSafeArray<int>::arrayWithCapacity(8);
    array.addObject(1);
    array.addObjectsFromArray(Ints{2, 3});
    array.insertObject(0, 0);
    EXPECT_EQ(array.toVector(), (Ints{0, 1, 2, 3}));

    // Each index refers to the array as it grows: x lands at 0, y at 5.
    EXPECT_TRUE(array.insertObjects({10, 11}, {0, 5}));
    EXPECT_EQ(array.toVector(), (Ints{10, 0, 1, 2, 3, 11}));

    EXPECT_TRUE(array.removeObjectsAtIndexes({0, 5}));
    EXPECT_TRUE(array.setObject(4, 4)); // append at count
    EXPECT_TRUE(array.setObject(9, 0));
    EXPECT_FALSE(array.setObject(9, 6));
    EXPECT_EQ(array.toVector(), (Ints{9, 1, 2, 3, 4}));

    EXPECT_TRUE(array.exchangeObjectAtIndex(0, 4));
    EXPECT_TRUE(array.replaceObjectsInRange({1, 2}, {7, 7, 7}));
    EXPECT_EQ(array.toVector(), (Ints{4, 7, 7, 7, 3, 9}));
    EXPECT_TRUE(array.removeObject(7));
    EXPECT_FALSE(array.removeObject(7));
    EXPECT_EQ(array.toVector(), (Ints{4, 3, 9}));

    array.addObjectsFromArray(Ints{4, 5, 4});
    EXPECT_TRUE(array.removeObject(4, TNRange{1, 4})); // only the 4 inside the range
    EXPECT_EQ(array.toVector(), (Ints{4, 3, 9, 5, 4}));
    EXPECT_TRUE(array.removeObjectsInArray({4, 9}));
    EXPECT_EQ(array.toVector(), (Ints{3, 5}));
    EXPECT_TRUE(array.replaceObjectsAtIndexes({0, 1}, {6, 2}));
    EXPECT_TRUE(array.removeLastObject());
    array.setArray({5, 1, 4, 2, 3});
    array.filterUsingPredicate([](int v) { return v != 4; });
    EXPECT_EQ(array.toVector(), (Ints{5, 1, 2, 3}));

    array.sortUsingComparator([](int a, int b) { return a - b; });
    EXPECT_EQ(array.toVector(), (Ints{1, 2, 3, 5}));
    int descending = -1; // the context reaches the function untouched
    array.sortUsingFunction([](const int &a, const int &b, void *ctx) { return *static_cast<int *>(ctx) * (a - b); },
                            &descending);
    EXPECT_EQ(array.toVector(), (Ints{5, 3, 2, 1}));
    EXPECT_EQ(array.sortedArrayUsingComparator([](int a, int b) { return a < b; }), (Ints{1, 2, 3, 5}));
    array.removeAllObjects();
    EXPECT_EQ(array.count(), 0);
    EXPECT_FALSE(array.removeLastObject());
}

TEST(ThreadSafeArray, BlockEnumerationStopsAndRunsBackwards)
{
    TNThreadSafeArray<int> array{1, 2, 3, 4};
    std::vector<std::pair<int, qsizetype>> seen;
    array.enumerateObjectsUsingBlock([&](int v, qsizetype i, bool &stop) {
        seen.emplace_back(v, i);
        stop = v == 2;
    });
    EXPECT_EQ(seen, (std::vector<std::pair<int, qsizetype>>{{1, 0}, {2, 1}}));

    Ints backwards;
    array.enumerateObjectsWithOptions(TNEnumerationReverse, [&](int v) { backwards.push_back(v); });
    EXPECT_EQ(backwards, (Ints{4, 3, 2, 1}));

    Ints picked;
    array.enumerateObjectsAtIndexes({0, 2, 9}, 0, [&](int v, qsizetype) { picked.push_back(v); });
    EXPECT_EQ(picked, (Ints{1, 3}));

    int sum = 0;
    array.makeObjectsPerform([&](int v) { sum += v; });
    EXPECT_EQ(sum, 10);
}

TEST(ThreadSafeArrayDeathTest, ABlockUsingItsOwnArrayStopsInsteadOfHanging)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TNThreadSafeArray<int> array{1, 2};
    EXPECT_DEATH(array.enumerateObjectsUsingBlock([&](int) { array.count(); }), "used again from a block");
    TNThreadSafeArray<int> other{1, 2};
    EXPECT_DEATH(array.makeObjectsPerform([&](int) { (void)(other == array); }), "used again from a block");
    // A different array inside the block is fine.
    qsizetype seen = 0;
    array.enumerateObjectsUsingBlock([&](int) { seen += other.count(); });
    EXPECT_EQ(seen, 4);
}

TEST(ThreadSafeArray, FastEnumerationReleasesTheLockBetweenBatches)
{
    TNThreadSafeArray<int> array;
    for (int i = 0; i < 50; ++i)
        array.addObject(i);
    Ints seen;
    for (int v : array) {
        seen.push_back(v);
        // The body runs without the lock, so using the array here must not
        // deadlock; appended elements show up in later batches.
        if (v == 0)
            array.addObject(50);
        EXPECT_GE(array.count(), 50);
    }
    ASSERT_EQ(seen.size(), 51u);
    EXPECT_EQ(seen.back(), 50);

    TNThreadSafeArray<int> empty;
    EXPECT_EQ(empty.begin(), empty.end());
}

TEST(ThreadSafeArray, CopiesEqualityAndHash)
{
    TNThreadSafeArray<QString> names{"a", "b"};
    TNThreadSafeArray<QString> copy = names.copy();
    TNThreadSafeArray<QString> mutableCopy = names.mutableCopy();
    EXPECT_TRUE(copy == names);
    mutableCopy.addObject("c");
    EXPECT_EQ(names.count(), 2) << "a copy is independent of its source";
    EXPECT_FALSE(mutableCopy == names);
    EXPECT_FALSE(names.isEqual(QStringList{"a", "b"})) << "anything that is not a thread-safe array is unequal";
    EXPECT_EQ(names.hash(), 2u);
    EXPECT_EQ(names.componentsJoinedByString(", "), "a, b");

    EXPECT_EQ(names.description(), "(\n    a,\n    b\n)");
    EXPECT_EQ(TNThreadSafeArray<int>().description(), "(\n)");
}

TEST(ThreadSafeArray, ReadsPropertyListFilesAndRefusesBadOnes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath("good.plist");
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string><integer>7</integer>"
               "</array></plist>");
    file.close();
    auto array = TNThreadSafeArray<QVariant>::arrayWithContentsOfFile(good);
    ASSERT_TRUE(array.has_value());
    EXPECT_EQ(array->count(), 2);
    EXPECT_EQ(array->objectAtIndex(0)->toString(), "x");
    EXPECT_EQ(array->objectAtIndex(1)->toLongLong(), 7);
    EXPECT_TRUE(TNThreadSafeArray<QVariant>::arrayWithContentsOfURL(QUrl::fromLocalFile(good)).has_value());

    const QString dict = dir.filePath("dict.plist");
    QFile dictFile(dict);
    ASSERT_TRUE(dictFile.open(QIODevice::WriteOnly));
    dictFile.write("<plist><dict><key>a</key><string>b</string></dict></plist>");
    dictFile.close();
    EXPECT_FALSE(TNThreadSafeArray<QVariant>::arrayWithContentsOfFile(dict).has_value()) << "root is not an array";
    EXPECT_FALSE(TNThreadSafeArray<QVariant>::arrayWithContentsOfFile(dir.filePath("missing")).has_value());
    EXPECT_FALSE(TNThreadSafeArray<QVariant>::arrayWithContentsOfURL(QUrl("https://example.invalid/a.plist")));
}

} // namespace
