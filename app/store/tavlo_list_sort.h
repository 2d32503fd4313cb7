#pragma once

#include "tavlo_subject_item.h"

#include <cstdint>

class CTavloSubjectFile;

// Sort keys of the thread list (the column argument of the list view's SortItems).
enum TavloSubjectSortKey {
    SUBJECT_SORT_INDEX = 0,  // file position
    SUBJECT_SORT_COUNT = 1,  // post count
    SUBJECT_SORT_TITLE = 2,  // title bytes
    SUBJECT_SORT_SPEED = 3,  // posts per day
    SUBJECT_SORT_KEY = 4,    // thread key as a number (age)
    SUBJECT_SORT_MARK = 5,   // new, then most new posts, then updated; ascending only
    SUBJECT_SORT_SEARCH = 6, // search hits first; ascending only
    SUBJECT_SORT_CACHE = 7,  // threads with a log first; ascending only
    SUBJECT_SORT_BOARD = 8,  // board name bytes (the search list's column 4)
};

// Context of TavloCompareSubjects.
struct CTavloSubjectSortContext {
    int key = SUBJECT_SORT_INDEX;
    int ascending = 1;
};

// Ranks of the mark keys; larger sorts first.
// Key 5: (new x 10000000 + new posts x 1000 + updated) x 10 - index.
int64_t TavloSubjectMarkRank(const CTavloSubjectItem& item);
// Key 6: TavloSearchRank (tavlo_list_item.h).
// Key 7: has log x 100000000 - index x 10000.
int64_t TavloSubjectCacheRank(const CTavloListItem& item);

// The list view's three-way comparison (a CVornPtrArray comparison; context is a
// CTavloSubjectSortContext). Keys 0, 1, 3, 4, 5, 6 and 7 never answer "equal": on equal values
// the first argument comes first. Keys 5, 6 and 7 have no descending order: with ascending 0
// every pair is equal.
int TavloCompareSubjects(const CTavloSubjectItem* a, const CTavloSubjectItem* b, void* context);

// The key a column sorts by: the search list's column 4 (board name) is key 8.
int TavloSubjectSortKeyOf(int column, bool searchList);
// The key after current for the sort key binding: the next one, after 7 back to 0.
int TavloNextSubjectSortKey(int current);

// Sorts the list by a column (mapped with TavloSubjectSortKeyOf for the search list) in the
// order of TavloCompareSubjects. Entries the comparison would call equal or tie on keep the
// order they had, which is where the "first one first" rule puts them when every pair is
// compared in list order; a comparison that calls both a<b and b<a is no ordering for a sort
// algorithm, so ties are decided by position here. Each entry's values are taken once.
void TavloSortSubjects(CTavloSubjectFile& list, int column, int ascending);
