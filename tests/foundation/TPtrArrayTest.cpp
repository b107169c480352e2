#include "foundation/TPtrArray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item {
    explicit Item(int k, char t = ' ') : key(k), tag(t) { ++alive; }
    ~Item() { --alive; }
    int key;
    char tag;
    static int alive;
};
int Item::alive = 0;

int parr_compare(Item& a, Item& b) {
    return a.key - b.key;
}

template <class A>
std::string Keys(A const& arr) {
    std::string out;
    for (Item* p : arr) {
        if (!out.empty()) out += ',';
        out += std::to_string(p->key);
        if (p->tag != ' ') out += p->tag;
    }
    return out;
}

}  // namespace

TEST(TPtrArray, UnsortedRemovalMovesTheLastIntoTheHole) {
    Item a(1, 'A'), b(2, 'B'), c(3, 'C');
    TPtrArray<Item> arr;
    arr.append(&a);
    arr.append(&b);
    arr.append(&c);
    EXPECT_EQ(arr.remove(0, 0), 1);
    EXPECT_EQ(Keys(arr), "3C,2B");
    EXPECT_EQ(arr.remove(5, 0), 0);
    EXPECT_EQ(arr.remove(-1, 0), 0);
    EXPECT_EQ(arr.pos(&a), -1);
    EXPECT_EQ(arr.find(&b), 1);

    Item twin(2, 'b');  // find compares, first match wins
    arr.append(&twin);
    EXPECT_EQ(arr.find(&twin), 1);

    arr.remove(&c, 0);
    arr.remove(0, 0);
    arr.remove(0, 0);
    EXPECT_EQ(arr.Count(), 0);
    EXPECT_EQ(arr.Capacity(), 0);  // emptied by remove: storage freed
}

TEST(TPtrArray, SortedInsertGrowsAndKeepsOrder) {
    TPtrArray<Item> arr(kPArrSorted | kPArrOwning);
    // 32 fill the first block; the 33rd grows it to 64 with a gap in the middle.
    for (int k = 0; k < 64; k += 2) arr.insert(new Item(k));
    EXPECT_EQ(arr.Capacity(), 32);
    EXPECT_EQ(arr.insert(new Item(31)), 16);
    EXPECT_EQ(arr.Capacity(), 64);
    for (int i = 1; i < arr.Count(); ++i) EXPECT_LT(arr[i - 1]->key, arr[i]->key);

    Item probe(31);
    EXPECT_EQ(arr.find(&probe), 16);
    EXPECT_EQ(arr.pos(&probe), 16);
    Item missing(33);
    EXPECT_EQ(arr.find(&missing), -1);
    EXPECT_EQ(arr.pos(&missing), 18);  // where it would go

    EXPECT_EQ(arr.remove(&probe, 1), 1);  // owning: deleted, order kept
    for (int i = 1; i < arr.Count(); ++i) EXPECT_LT(arr[i - 1]->key, arr[i]->key);
    EXPECT_EQ(Item::alive, 32 + 2);  // the two probes on the stack
}

TEST(TPtrArray, DuplicatesLandWhereTheSearchMetAnEqual) {
    TPtrArray<Item> arr(kPArrSorted);
    Item a(1, 'a'), b(2, 'b'), c(2, 'c'), d(2, 'd'), e(3, 'e');
    arr.insert(&a);
    arr.insert(&b);
    arr.insert(&e);
    EXPECT_EQ(arr.insert(&c), 1);  // met b at index 1
    EXPECT_EQ(Keys(arr), "1a,2c,2b,3e");
    EXPECT_EQ(arr.insert(&d), 1);  // lo 0, hi 3: mid 1 is equal
    EXPECT_EQ(Keys(arr), "1a,2d,2c,2b,3e");
}

TEST(TPtrArray, WrongOperationsStoreNothing) {
    unsigned long before = CheckFailureCount();
    Item a(1);
    TPtrArray<Item> sorted(kPArrSorted);
    TPtrArray<Item> plain;
    EXPECT_EQ(sorted.append(&a), 0);
    EXPECT_EQ(plain.insert(&a), -1);
    sorted.do_sort([](void const*, void const*) { return 0; });
    EXPECT_EQ(sorted.Count(), 0);
    EXPECT_EQ(plain.Count(), 0);
    EXPECT_EQ(CheckFailureCount() - before, 3u);
}

TEST(TPtrArray, OwnershipDeletesOnlyWhenAsked) {
    {
        TPtrArray<Item> owning(kPArrOwning);
        owning.append(new Item(1));
        owning.append(new Item(2));
        Item* kept = owning[0];
        owning.remove(0, 0);  // not deleted
        EXPECT_EQ(Item::alive, 2);
        delete kept;
        TPtrArray<Item> moved(std::move(owning));
        EXPECT_EQ(owning.Count(), 0);
        EXPECT_EQ(moved.Count(), 1);
    }
    EXPECT_EQ(Item::alive, 0);  // destructor cleared the owning array
    {
        Item a(1);
        TPtrArray<Item> borrowing;
        borrowing.append(&a);
        borrowing.clear();
        EXPECT_EQ(Item::alive, 1);
    }
}

TEST(TPtrArray, DoSortPassesSlotPointers) {
    Item a(3), b(1), c(2);
    TPtrArray<Item> arr;
    arr.append(&a);
    arr.append(&b);
    arr.append(&c);
    arr.do_sort([](void const* x, void const* y) {
        return (*static_cast<Item* const*>(x))->key - (*static_cast<Item* const*>(y))->key;
    });
    EXPECT_EQ(Keys(arr), "1,2,3");
}
