#include "vorn_array.h"
#include "vorn_binary.h"
#include "vorn_short_copy.h"
#include "vorn_table.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
struct Item {
    int key;
    int order;
};
int byKey(const Item* a, const Item* b, void* ctx) {
    int dir = *static_cast<int*>(ctx);
    return dir * (a->key - b->key);
}
int destroyed = 0;
struct Counted {
    ~Counted() { ++destroyed; }
};
} // namespace

TEST(Containers, PtrArraySortIsStableWithContext) {
    std::vector<Item> items = {{2, 0}, {1, 1}, {2, 2}, {1, 3}, {0, 4}};
    CVornPtrArray<Item> a;
    for (auto& i : items)
        a.Add(&i);
    int dir = 1;
    a.Sort(byKey, &dir);
    std::vector<int> order;
    for (Item* i : a)
        order.push_back(i->order);
    EXPECT_EQ(order, (std::vector<int>{4, 1, 3, 0, 2}));
    dir = -1;
    a.Sort(byKey, &dir);
    order.clear();
    for (Item* i : a)
        order.push_back(i->order);
    EXPECT_EQ(order, (std::vector<int>{0, 2, 1, 3, 4}));
    EXPECT_EQ(a.Get(99), nullptr);
    EXPECT_EQ(a.Remove(-1), 0);
}

TEST(Containers, AllocPtrArrayOwnsItems) {
    destroyed = 0;
    {
        CVornAllocPtrArray<Counted> a;
        a.Add(new Counted);
        a.Add(new Counted);
        a.Add(new Counted);
        a.Remove(1);
        EXPECT_EQ(destroyed, 1);
        Counted* kept = a.Detach(0);
        delete kept;
        EXPECT_EQ(destroyed, 2);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(Containers, DataArraySplit) {
    CVornDataArray a;
    EXPECT_EQ(a.CreateStringArray("a<>b<><>c", "<>"), 4);
    EXPECT_EQ(a.Get(2), "");
    EXPECT_EQ(a.Get(3), "c");
    EXPECT_EQ(a.Get(9), "");
    EXPECT_EQ(a.CreateStringArray("a<>b<><>c", "<>", true), 3);
    EXPECT_EQ(a.CreateStringArray("", ","), 1);
    EXPECT_EQ(a.Find("x"), -1);
}

TEST(Containers, TableSearchAndSort) {
    CVornTable t(2);
    t.AddRow({"b", "1"});
    t.AddRow({"a", "2"});
    t.AddRow({"b", "3"});
    t.AddRow({"only-one-column"});
    EXPECT_EQ(t.Get(3, 1), "");
    EXPECT_EQ(t.Search(0, "b"), 0);
    EXPECT_EQ(t.Search(0, "b", 1), 2);
    EXPECT_EQ(t.Search(1, "9"), -1);
    EXPECT_EQ(t.Search(5, "b"), -1);
    t.Sort(0, true);
    EXPECT_EQ(t.Get(0, 0), "a");
    EXPECT_EQ(t.Get(1, 1), "1"); // stable: b/1 before b/3
    EXPECT_EQ(t.Get(2, 1), "3");
    EXPECT_EQ(t.Get(3, 0), "only-one-column");
}

TEST(Containers, TreeWithCallerComparison) {
    CVornTree<int> byLength(
        [](const CVornString& a, const CVornString& b) { return a.GetLength() - b.GetLength(); });
    byLength.Set("aaa", 3);
    byLength.Set("b", 1);
    byLength.Set("cc", 2);
    byLength.Set("zzz", 33); // same length as "aaa": same key
    EXPECT_EQ(byLength.GetCount(), 3);
    EXPECT_EQ(*byLength.Find("xyz"), 33);
    std::vector<int> v;
    for (auto& [k, val] : byLength)
        v.push_back(val);
    EXPECT_EQ(v, (std::vector<int>{1, 2, 33}));
    CVornTreeTable h;
    h.Add("set-cookie", "a=1");
    h.Add("set-cookie", "b=2");
    ASSERT_NE(h.Find("set-cookie"), nullptr);
    EXPECT_EQ(h.Find("set-cookie")->size(), 2u);
    EXPECT_EQ(h.GetFirst("none"), "");
}

TEST(Containers, BinaryConsume) {
    CVornBinary b;
    std::string big(200000, 'x');
    big[150000] = 'y';
    b.Append(big);
    b.Consume(100000);
    EXPECT_EQ(b.size(), 100000u);
    b.Consume(50000);
    EXPECT_EQ(b.GetData()[0], 'y');
    b.Append("z", 1);
    EXPECT_EQ(b.view().back(), 'z');
    b.Consume(1000000);
    EXPECT_TRUE(b.IsEmpty());
}

// Every length around the widths it switches at, for both element sizes: the copy is exact and
// nothing before or after the run is written (each width's two moves overlap).
template <typename T> void checkShortCopies() {
    for (size_t n = 0; n <= 40; ++n) {
        std::vector<T> from(n + 2), to(n + 16, T(0x55));
        for (size_t i = 0; i < from.size(); ++i)
            from[i] = static_cast<T>(0x100 * (sizeof(T) - 1) + 1 + i);
        VornCopyShort(to.data() + 8, from.data() + 1, n);
        for (size_t i = 0; i < to.size(); ++i) {
            const bool inside = i >= 8 && i < 8 + n;
            EXPECT_EQ(to[i], inside ? from[i - 7] : T(0x55)) << "length " << n << " at " << i;
        }
    }
}

TEST(Containers, ShortCopyIsExactAtEveryLength) {
    checkShortCopies<char>();
    checkShortCopies<char16_t>();
}
