#include <kalvo/collections/keyedmutablearray.h>
#include <kalvo/collections/mutablearray.h>

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <memory>
#include <random>

using namespace kalvo;

namespace {

using Names = std::vector<QString>;

// Equal by id only, so a replacement can be told apart by its label.
struct Tagged
{
    int id;
    QString label;
    bool operator==(const Tagged &other) const { return id == other.id; }
};
struct TaggedHash
{
    std::size_t operator()(const Tagged &t) const { return std::hash<int>()(t.id); }
};

struct Contact
{
    QString id; // null: no key
    QString name;
    QString tn_uniqueKey() const { return id; }
};
using ContactPtr = std::shared_ptr<Contact>;
ContactPtr contact(const char *id, const char *name)
{
    return std::make_shared<Contact>(Contact{id ? QString::fromLatin1(id) : QString(), QString::fromLatin1(name)});
}

struct Numbered
{
    int n;
    std::optional<int> tn_uniqueKey() const { return n >= 0 ? std::optional<int>(n) : std::nullopt; }
    bool operator==(const Numbered &) const = default;
};

// ---- TNMutableArray ----

TEST(MutableArray, RemovingOneOfTwoEqualElementsKeepsMembership)
{
    TNMutableArray<QString> array{"A", "B", "A"};
    EXPECT_TRUE(array.removeObjectAtIndex(0));
    EXPECT_TRUE(array.containsObject("A")) << "the second A is still there";
    EXPECT_EQ(array.array(), (Names{"B", "A"}));
    EXPECT_FALSE(array.removeObjectAtIndex(2)) << "beyond the end";
    EXPECT_TRUE(array.containsObject("A"));
    EXPECT_TRUE(array.removeObjectAtIndex(1)); // the former index 2
    EXPECT_FALSE(array.containsObject("A"));
    EXPECT_TRUE(array.containsObject("B"));
}

TEST(MutableArray, EmptyArrayAndNil)
{
    TNMutableArray<std::shared_ptr<int>> array;
    EXPECT_EQ(array.count(), 0);
    EXPECT_FALSE(array.objectAtIndex(0).has_value());
    EXPECT_EQ(array.indexOfObject(nullptr), TNNotFound);
    EXPECT_FALSE(array.addObject(nullptr));
    EXPECT_FALSE(array.insertObject(nullptr, 0));
    EXPECT_FALSE(array.containsObject(nullptr));
    EXPECT_FALSE(array.removeObject(nullptr));
    auto one = std::make_shared<int>(1);
    EXPECT_FALSE(array.insertObjects({one, nullptr}, {0, 1})) << "all or nothing";
    EXPECT_EQ(array.count(), 0);
    EXPECT_TRUE(array.addObject(one));
    EXPECT_TRUE(array.containsObject(one));
    EXPECT_FALSE(array.containsObject(std::make_shared<int>(1))) << "pointers compare by identity";
}

TEST(MutableArray, RemovalsByValueAndByIndexes)
{
    TNMutableArray<QString> array{"A", "B", "A", "C"};
    EXPECT_TRUE(array.removeObject("A"));
    EXPECT_EQ(array.array(), (Names{"B", "C"})) << "every equal element goes";
    EXPECT_FALSE(array.containsObject("A"));
    EXPECT_FALSE(array.removeObject("A"));

    array = TNMutableArray<QString>{"A", "B", "A", "C"};
    EXPECT_TRUE(array.removeObjectsAtIndexes({0, 3}));
    EXPECT_EQ(array.array(), (Names{"B", "A"})) << "only the listed slots go";
    EXPECT_TRUE(array.containsObject("A"));
    EXPECT_FALSE(array.containsObject("C"));
    EXPECT_FALSE(array.removeObjectsAtIndexes({1, 2}));
    EXPECT_EQ(array.count(), 2);

    array = TNMutableArray<QString>{"A", "B", "A", "C"};
    EXPECT_TRUE(array.fast_removeObjectsAtIndexes({0, 2}));
    EXPECT_EQ(array.array(), (Names{"B", "C"}));
    EXPECT_FALSE(array.containsObject("A"));
    EXPECT_TRUE(array.containsObject("C"));
    EXPECT_FALSE(array.fast_removeObjectsAtIndexes({}));
    EXPECT_FALSE(array.fast_removeObjectsAtIndexes({7, -3})) << "nothing in range, nothing removed";
    EXPECT_TRUE(array.fast_removeObjectsAtIndexes({1, 9}));
    EXPECT_EQ(array.array(), (Names{"B"}));

    array = TNMutableArray<QString>{"A", "B", "C", "B"};
    EXPECT_TRUE(array.removeObjectsInArray({"B", "Z"}));
    EXPECT_EQ(array.array(), (Names{"A", "C"}));
    EXPECT_TRUE(array.removeAllObjects());
    EXPECT_FALSE(array.containsObject("A"));
}

TEST(MutableArray, ReplaceMoveAndSortKeepMembership)
{
    TNOrderedSet<Tagged, TaggedHash> set{{1, "one"}, {2, "two"}, {3, "three"}};
    EXPECT_TRUE(set.replaceObject({2, "TWO"}));
    EXPECT_EQ(set.objectAtIndex(1)->label, "TWO") << "replaced in place";
    EXPECT_EQ(set.member({2, ""})->label, "TWO") << "the index holds the new element too";
    EXPECT_FALSE(set.replaceObject({9, "nine"}));
    EXPECT_EQ(set.count(), 3);

    EXPECT_TRUE(set.moveObjectFromIndex(0, 2));
    EXPECT_EQ(set.objectAtIndex(2)->id, 1);
    EXPECT_TRUE(set.moveObjectFromIndex(2, 0));
    EXPECT_EQ(set.objectAtIndex(0)->id, 1);
    EXPECT_EQ(set.objectAtIndex(1)->id, 2);
    EXPECT_FALSE(set.moveObjectFromIndex(0, 3));

    set.sortUsingComparator([](const Tagged &a, const Tagged &b) { return b.id - a.id; });
    EXPECT_EQ(set.objectAtIndex(0)->id, 3);
    for (int id : {1, 2, 3})
        EXPECT_TRUE(set.containsObject({id, ""}));
    EXPECT_EQ(set.indexOfObject({1, ""}), 2);
    EXPECT_EQ(set.indexOfObject({4, ""}), TNNotFound);

    TNMutableArray<int> numbers{3, 1, 2};
    int flip = -1;
    numbers.sortUsingFunction([](const int &a, const int &b, void *ctx) { return (a - b) * *static_cast<int *>(ctx); },
                              &flip);
    EXPECT_EQ(numbers.array(), (std::vector<int>{3, 2, 1}));
}

// ---- TNOrderedSet ----

TEST(OrderedSet, NeverHoldsTwoEqualElements)
{
    auto set = TNOrderedSet<QString>::setWithArray({"A", "B", "A"});
    EXPECT_EQ(set.array(), (Names{"A", "B"}));
    EXPECT_FALSE(set.addObject("A"));
    EXPECT_FALSE(set.insertObject("B", 0));
    EXPECT_FALSE(set.insertObjects({"C", "C"}, {0, 1})) << "duplicates among the new elements";
    EXPECT_FALSE(set.insertObjects({"C", "A"}, {0, 1}));
    EXPECT_EQ(set.count(), 2);
    EXPECT_TRUE(set.insertObjects({"C", "D"}, {0, 3}));
    EXPECT_EQ(set.array(), (Names{"C", "A", "B", "D"}));
    EXPECT_FALSE(set.addObjectsFromArray({"E", "A"})) << "A was skipped";
    EXPECT_TRUE(set.containsObject("E"));
    EXPECT_FALSE(set.removeObject("Z"));
    EXPECT_TRUE(set.removeObject("A"));
    EXPECT_FALSE(set.containsObject("A"));
    EXPECT_TRUE(set.addObject("A")) << "can come back once removed";
    EXPECT_EQ(set.member("E"), QString("E"));
    EXPECT_FALSE(set.member("Z").has_value());

    auto sameAsGiven = TNOrderedSet<QString>::setWithNoDuplicateArray({"X", "Y"});
    EXPECT_EQ(sameAsGiven.array(), (Names{"X", "Y"}));
    EXPECT_TRUE(sameAsGiven.containsObject("Y"));

    TNOrderedSet<QString> copy = set.copy();
    copy.removeAllObjects();
    EXPECT_TRUE(set.containsObject("E")) << "a copy is independent";
}

// Random operations against a plain list: membership must always agree
// with a linear scan, whatever mix of removals happened.
template <typename Array>
void checkAgainstModel(Array array, bool unique)
{
    std::vector<int> model;
    std::mt19937 random(7);
    auto pick = [&](int bound) { return static_cast<int>(random() % static_cast<unsigned>(bound)); };
    for (int step = 0; step < 3000; ++step) {
        const int value = pick(12);
        const bool present = std::find(model.begin(), model.end(), value) != model.end();
        const int n = static_cast<int>(model.size());
        switch (pick(8)) {
        case 0:
        case 1:
            ASSERT_EQ(array.addObject(value), !(unique && present));
            if (!(unique && present))
                model.push_back(value);
            break;
        case 2: {
            const int at = pick(n + 1);
            ASSERT_EQ(array.insertObject(value, at), !(unique && present));
            if (!(unique && present))
                model.insert(model.begin() + at, value);
            break;
        }
        case 3:
            if (n > 0) {
                const int at = pick(n);
                ASSERT_TRUE(array.removeObjectAtIndex(at));
                model.erase(model.begin() + at);
            }
            break;
        case 4:
            array.removeObject(value);
            std::erase(model, value);
            break;
        case 5:
            if (n > 1) {
                const TNIndexSet indexes{pick(n), pick(n)};
                if (step % 2)
                    ASSERT_TRUE(array.fast_removeObjectsAtIndexes(indexes));
                else
                    ASSERT_TRUE(array.removeObjectsAtIndexes(indexes));
                for (auto it = indexes.rbegin(); it != indexes.rend(); ++it)
                    model.erase(model.begin() + *it);
            }
            break;
        case 6:
            if (n > 1) {
                const int from = pick(n), to = pick(n);
                ASSERT_TRUE(array.moveObjectFromIndex(from, to));
                const int moved = model[from];
                model.erase(model.begin() + from);
                model.insert(model.begin() + to, moved);
            }
            break;
        case 7:
            ASSERT_EQ(array.replaceObject(value), present);
            break;
        }
        ASSERT_EQ(array.count(), static_cast<qsizetype>(model.size())) << "step " << step;
        for (int v = 0; v < 12; ++v) {
            const auto at = std::find(model.begin(), model.end(), v);
            ASSERT_EQ(array.containsObject(v), at != model.end()) << "value " << v << " step " << step;
            ASSERT_EQ(array.indexOfObject(v), at == model.end() ? TNNotFound : at - model.begin());
        }
    }
}

TEST(MutableArray, MembershipAlwaysMatchesTheContents)
{
    checkAgainstModel(TNMutableArray<int>(), false);
    checkAgainstModel(TNOrderedSet<int>(), true);
}

// ---- Keyed arrays ----

TEST(KeyedArray, RefusesElementsWithoutKeyAndNil)
{
    TNKeyedMutableArray<ContactPtr> array;
    EXPECT_FALSE(array.addObject(contact(nullptr, "anonymous")));
    EXPECT_FALSE(array.insertObject(contact(nullptr, "anonymous"), 0));
    EXPECT_FALSE(array.addObject(nullptr));
    EXPECT_FALSE(array.containsObject(nullptr));
    EXPECT_FALSE(array.containsObject(contact(nullptr, "anonymous")));
    EXPECT_EQ(array.count(), 0);
    EXPECT_TRUE(array.addObject(contact("", "empty but present key")));

    TNKeyedOrderedSet<Numbered> numbers({Numbered{1}, Numbered{-1}, Numbered{2}, Numbered{1}});
    EXPECT_EQ(numbers.count(), 2) << "keyless and repeated keys are skipped";
    EXPECT_FALSE(numbers.addObject(Numbered{-5}));
    EXPECT_FALSE(TNKeyedMutableArray<Numbered>::keyOf(Numbered{-5}).has_value());
    EXPECT_EQ(TNKeyedMutableArray<Numbered>::keyOf(Numbered{5}), 5);
}

TEST(KeyedArray, TheKeyIsTheIdentity)
{
    auto alice = contact("a1", "Alice");
    auto aliceEdited = contact("a1", "Alice B.");
    auto bob = contact("b1", "Bob");

    TNKeyedOrderedSet<ContactPtr> set{alice, bob};
    EXPECT_TRUE(set.containsObject(aliceEdited)) << "a different object with the same key";
    EXPECT_FALSE(set.addObject(aliceEdited));
    EXPECT_EQ(set.indexOfObject(aliceEdited), 0);
    EXPECT_EQ(set.member(aliceEdited), alice);

    EXPECT_TRUE(set.replaceObject(aliceEdited));
    EXPECT_EQ(set.objectAtIndex(0), aliceEdited);
    EXPECT_EQ(set.member(alice), aliceEdited);

    EXPECT_TRUE(set.removeObject(alice)) << "removes the element with alice's key";
    EXPECT_EQ(set.count(), 1);
    EXPECT_FALSE(set.containsObject(aliceEdited));
    EXPECT_FALSE(set.removeObject(alice));
}

TEST(KeyedArray, SharedKeysStayMemberUntilTheLastGoes)
{
    auto first = contact("k", "first");
    auto second = contact("k", "second");
    auto other = contact("o", "other");
    TNKeyedMutableArray<ContactPtr> array{first, other, second};
    EXPECT_EQ(array.count(), 3) << "plain keyed arrays allow repeated keys";
    EXPECT_TRUE(array.removeObjectAtIndex(0));
    EXPECT_TRUE(array.containsObject(first));
    EXPECT_TRUE(array.removeObjectAtIndex(1));
    EXPECT_FALSE(array.containsObject(second));

    TNKeyedMutableArray<ContactPtr> again{first, other, second};
    EXPECT_TRUE(again.removeObject(contact("k", "a stranger with the key")));
    EXPECT_EQ(again.count(), 1) << "both elements with that key went";
    EXPECT_FALSE(again.containsObject(first));

    TNKeyedMutableArray<ContactPtr> fast{first, other, second};
    EXPECT_TRUE(fast.fast_removeObjectsAtIndexes({1}));
    EXPECT_FALSE(fast.containsObject(other));
    EXPECT_TRUE(fast.containsObject(first));
    fast.sortUsingComparator([](const ContactPtr &a, const ContactPtr &b) { return b->name < a->name; });
    EXPECT_EQ(fast.objectAtIndex(0), second);
    EXPECT_TRUE(fast.containsObject(second));
}

TEST(KeyedArray, MembershipAlwaysMatchesTheContents)
{
    struct Keyed
    {
        int n;
        int tn_uniqueKey() const { return n; }
        bool operator==(const Keyed &) const = default;
    };
    // Reuses the model run through a thin adapter from int to Keyed.
    struct Adapter
    {
        TNKeyedOrderedSet<Keyed> set;
        bool addObject(int v) { return set.addObject({v}); }
        bool insertObject(int v, qsizetype at) { return set.insertObject({v}, at); }
        bool removeObjectAtIndex(qsizetype at) { return set.removeObjectAtIndex(at); }
        bool removeObject(int v) { return set.removeObject({v}); }
        bool fast_removeObjectsAtIndexes(const TNIndexSet &i) { return set.fast_removeObjectsAtIndexes(i); }
        bool removeObjectsAtIndexes(const TNIndexSet &i) { return set.removeObjectsAtIndexes(i); }
        bool moveObjectFromIndex(qsizetype a, qsizetype b) { return set.moveObjectFromIndex(a, b); }
        bool replaceObject(int v) { return set.replaceObject({v}); }
        qsizetype count() const { return set.count(); }
        bool containsObject(int v) const { return set.containsObject({v}); }
        qsizetype indexOfObject(int v) const { return set.indexOfObject({v}); }
    };
    checkAgainstModel(Adapter(), true);
}

} // namespace
