#include "store_test_util.h"
#include "tavlo_list_sort.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"

#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class ListSort : public StoreTest {
protected:
    // An entry: index, post count, title, age in days (the key), board name.
    CTavloSubjectItem* add(int index, int count, const std::string& title, int days = 1,
                           const std::string& board = "B") {
        long long key = static_cast<long long>(time(nullptr)) - 86400LL * days - index;
        auto* item =
            new CTavloSubjectItem(index, CVornString(title), CVornString(std::to_string(key)),
                                  CVornString(board), "b", "http://h.test/b/", CVornString(count));
        list.Add(item);
        return item;
    }
    // Indexes in list order.
    std::vector<int> order() const {
        std::vector<int> out;
        for (const CTavloSubjectItem* item : list)
            out.push_back(item->GetIndex());
        return out;
    }
    int compare(const CTavloSubjectItem* a, const CTavloSubjectItem* b, int key, int asc) {
        CTavloSubjectSortContext ctx{key, asc};
        return TavloCompareSubjects(a, b, &ctx);
    }

    CTavloSubjectFile list;
};

using V = std::vector<int>;

} // namespace

TEST_F(ListSort, NumericKeysNeverCallTwoEntriesEqual) {
    CTavloSubjectItem* a = add(1, 5, "same", 2);
    CTavloSubjectItem* b = add(2, 5, "same", 2);
    // Equal counts: whichever is passed first comes first, in both directions.
    for (int asc : {1, 0}) {
        EXPECT_EQ(compare(a, b, SUBJECT_SORT_COUNT, asc), -1);
        EXPECT_EQ(compare(b, a, SUBJECT_SORT_COUNT, asc), -1);
        EXPECT_EQ(compare(a, a, SUBJECT_SORT_INDEX, asc), -1);
        EXPECT_EQ(compare(a, a, SUBJECT_SORT_SPEED, asc), -1);
        EXPECT_EQ(compare(a, a, SUBJECT_SORT_KEY, asc), -1);
    }
    for (int key : {SUBJECT_SORT_MARK, SUBJECT_SORT_SEARCH, SUBJECT_SORT_CACHE})
        EXPECT_EQ(compare(a, a, key, 1), -1) << key;
    // Byte keys do report equality.
    EXPECT_EQ(compare(a, b, SUBJECT_SORT_TITLE, 1), 0);
    EXPECT_EQ(compare(a, b, SUBJECT_SORT_BOARD, 0), 0);
    // Real differences.
    CTavloSubjectItem* c = add(3, 9, "z", 1);
    EXPECT_EQ(compare(a, c, SUBJECT_SORT_COUNT, 1), -1);
    EXPECT_EQ(compare(a, c, SUBJECT_SORT_COUNT, 0), 1);
    EXPECT_EQ(compare(c, a, SUBJECT_SORT_INDEX, 1), 1);
    EXPECT_EQ(compare(a, c, SUBJECT_SORT_TITLE, 0), 1);
    EXPECT_EQ(compare(a, c, SUBJECT_SORT_KEY, 1), -1); // a is older
}

TEST_F(ListSort, IndexCountTitleSpeedKeyAndBoard) {
    add(1, 30, "b", 10, Sjis("板"));
    add(2, 10, "a", 1, "Z");
    add(3, 24, Sjis("あ"), 5, "A");
    add(4, 24, "c", 2, "M");
    TavloSortSubjects(list, SUBJECT_SORT_COUNT, 0);
    EXPECT_EQ(order(), (V{1, 3, 4, 2})); // the tie keeps its order
    TavloSortSubjects(list, SUBJECT_SORT_COUNT, 1);
    EXPECT_EQ(order(), (V{2, 3, 4, 1}));
    TavloSortSubjects(list, SUBJECT_SORT_INDEX, 0);
    EXPECT_EQ(order(), (V{4, 3, 2, 1}));
    TavloSortSubjects(list, SUBJECT_SORT_INDEX, 1);
    EXPECT_EQ(order(), (V{1, 2, 3, 4}));
    // Unsigned bytes: Shift_JIS lead bytes sort after ASCII.
    TavloSortSubjects(list, SUBJECT_SORT_TITLE, 1);
    EXPECT_EQ(order(), (V{2, 1, 4, 3}));
    TavloSortSubjects(list, SUBJECT_SORT_TITLE, 0);
    EXPECT_EQ(order(), (V{3, 4, 1, 2}));
    // Speed: 30/10 = 3, 10/1 = 10, 24/5 = 4.8, 24/2 = 12 posts a day.
    TavloSortSubjects(list, SUBJECT_SORT_SPEED, 1);
    EXPECT_EQ(order(), (V{1, 3, 2, 4}));
    TavloSortSubjects(list, SUBJECT_SORT_SPEED, 0);
    EXPECT_EQ(order(), (V{4, 2, 3, 1}));
    // Key: oldest first ascending.
    TavloSortSubjects(list, SUBJECT_SORT_KEY, 1);
    EXPECT_EQ(order(), (V{1, 3, 4, 2}));
    TavloSortSubjects(list, SUBJECT_SORT_KEY, 0);
    EXPECT_EQ(order(), (V{2, 4, 3, 1}));
    TavloSortSubjects(list, SUBJECT_SORT_BOARD, 1);
    EXPECT_EQ(order(), (V{3, 4, 2, 1}));
}

TEST_F(ListSort, MarkRankPutsNewThenMostNewPostsThenUpdatedThenIndex) {
    CTavloSubjectItem* plain1 = add(1, 1, "p");
    CTavloSubjectItem* upd3 = add(2, 1, "u");
    CTavloSubjectItem* fresh = add(3, 1, "n");
    CTavloSubjectItem* upd1 = add(4, 1, "v");
    CTavloSubjectItem* plain5 = add(5, 1, "q");
    upd3->SetUpdated(1);
    upd3->SetNewCount(3);
    fresh->SetNew(1);
    upd1->SetUpdated(1);
    upd1->SetNewCount(1);
    EXPECT_EQ(TavloSubjectMarkRank(*fresh), (10000000LL + 0 + 0) * 10 - 3);
    EXPECT_EQ(TavloSubjectMarkRank(*upd3), (3 * 1000LL + 1) * 10 - 2);
    EXPECT_EQ(TavloSubjectMarkRank(*plain1), -1);
    EXPECT_EQ(TavloSubjectMarkRank(*plain5), -5);
    TavloSortSubjects(list, SUBJECT_SORT_MARK, 1);
    EXPECT_EQ(order(), (V{3, 2, 4, 1, 5}));
    EXPECT_EQ(compare(fresh, upd3, SUBJECT_SORT_MARK, 1), -1);
    EXPECT_EQ(compare(upd3, fresh, SUBJECT_SORT_MARK, 1), 1);
}

TEST_F(ListSort, SearchAndCacheRanks) {
    add(1, 1, "a");
    CTavloSubjectItem* hit2 = add(2, 1, "b");
    add(3, 1, "c");
    CTavloSubjectItem* hit4 = add(4, 1, "d");
    hit2->SetSearchHit(1);
    hit4->SetSearchHit(1);
    EXPECT_EQ(TavloSearchRank(*hit4), 100000000LL - 40000);
    TavloSortSubjects(list, SUBJECT_SORT_SEARCH, 1);
    EXPECT_EQ(order(), (V{2, 4, 1, 3}));

    // Logs are looked up in the file system while sorting.
    VornCreateDirectories(path("h.test/b").c_str());
    WriteAll(list.Get(3)->GetLogPath().str(), "x<>y<>z<>w<>t\n"); // index 3
    WriteAll(list.Get(2)->GetLogPath().str(), "x<>y<>z<>w<>t\n"); // index 1
    TavloSortSubjects(list, SUBJECT_SORT_CACHE, 1);
    EXPECT_EQ(order(), (V{1, 3, 2, 4}));
    EXPECT_EQ(TavloSubjectCacheRank(*list.Get(0)), 100000000LL - 10000);
}

TEST_F(ListSort, RankKeysHaveNoDescendingOrder) {
    add(3, 1, "a")->SetNew(1);
    add(1, 1, "b")->SetSearchHit(1);
    add(2, 1, "c");
    for (int key : {SUBJECT_SORT_MARK, SUBJECT_SORT_SEARCH, SUBJECT_SORT_CACHE}) {
        EXPECT_EQ(compare(list.Get(0), list.Get(1), key, 0), 0);
        EXPECT_EQ(compare(list.Get(1), list.Get(0), key, 0), 0);
        TavloSortSubjects(list, key, 0);
        EXPECT_EQ(order(), (V{3, 1, 2})) << key;
    }
}

TEST_F(ListSort, SearchListColumnFourSortsByBoardName) {
    add(1, 1, "a", 3, "Cboard");
    add(2, 1, "b", 2, "Aboard");
    add(3, 1, "c", 1, "Bboard");
    EXPECT_EQ(TavloSubjectSortKeyOf(4, false), SUBJECT_SORT_KEY);
    EXPECT_EQ(TavloSubjectSortKeyOf(4, true), SUBJECT_SORT_BOARD);
    EXPECT_EQ(TavloSubjectSortKeyOf(1, true), SUBJECT_SORT_COUNT);
    // An ordinary board: column 4 is the key (descending: newest first).
    list.SetBoardUrl("http://h.test/b/");
    TavloSortSubjects(list, 4, 0);
    EXPECT_EQ(order(), (V{3, 2, 1}));
    list.SetBoardUrl("http://.tmp/find.example.test/");
    ASSERT_TRUE(list.IsSearchList());
    TavloSortSubjects(list, 4, 1);
    EXPECT_EQ(order(), (V{2, 3, 1}));
    TavloSortSubjects(list, 4, 0);
    EXPECT_EQ(order(), (V{1, 3, 2}));
}

TEST(ListSortKeys, NextKeyWrapsAfterSeven) {
    for (int key = 0; key < 7; ++key)
        EXPECT_EQ(TavloNextSubjectSortKey(key), key + 1);
    EXPECT_EQ(TavloNextSubjectSortKey(7), 0);
    EXPECT_EQ(TavloNextSubjectSortKey(8), 0);
    EXPECT_EQ(TavloNextSubjectSortKey(-1), 0);
}

TEST_F(ListSort, EntriesStayInPlaceWhileSorted) {
    CTavloSubjectItem* a = add(1, 3, "a");
    CTavloSubjectItem* b = add(2, 9, "b");
    TavloSortSubjects(list, SUBJECT_SORT_COUNT, 0);
    EXPECT_EQ(list.Get(0), b);
    EXPECT_EQ(list.Get(1), a);
    EXPECT_EQ(a->GetTitle(), "a");
}
