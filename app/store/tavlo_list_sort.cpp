#include "tavlo_list_sort.h"

#include "tavlo_subject_file.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

int64_t TavloSubjectMarkRank(const CTavloSubjectItem& item) {
    return (int64_t{item.IsNew()} * 10000000 + int64_t{item.GetNewCount()} * 1000 +
            item.IsUpdated()) *
               10 -
           item.GetIndex();
}

int64_t TavloSubjectCacheRank(const CTavloListItem& item) {
    return int64_t{item.HasLog()} * 100000000 - int64_t{item.GetIndex()} * 10000;
}

namespace {

int64_t keyNumber(const CTavloListItem& item) {
    return std::strtoll(item.GetKey().c_str(), nullptr, 10);
}

// Smaller first (or larger first when descending); equal values put a first.
template <typename T> int ordered(T a, T b, int ascending) {
    if (a == b)
        return -1;
    bool less = ascending ? a < b : b < a;
    return less ? -1 : 1;
}

int bytes(const CVornString& a, const CVornString& b, int ascending) {
    int c = a.str().compare(b.str());
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return ascending ? c : -c;
}

} // namespace

int TavloCompareSubjects(const CTavloSubjectItem* a, const CTavloSubjectItem* b, void* context) {
    const auto* ctx = static_cast<const CTavloSubjectSortContext*>(context);
    int key = ctx ? ctx->key : SUBJECT_SORT_INDEX;
    int asc = ctx ? ctx->ascending : 1;
    switch (key) {
    case SUBJECT_SORT_INDEX:
        return ordered(a->GetIndex(), b->GetIndex(), asc);
    case SUBJECT_SORT_COUNT:
        return ordered(a->GetCount(), b->GetCount(), asc);
    case SUBJECT_SORT_TITLE:
        return bytes(a->GetTitle(), b->GetTitle(), asc);
    case SUBJECT_SORT_SPEED:
        return ordered(a->GetSpeed(), b->GetSpeed(), asc);
    case SUBJECT_SORT_KEY:
        return ordered(keyNumber(*a), keyNumber(*b), asc);
    case SUBJECT_SORT_MARK:
        return asc ? ordered(TavloSubjectMarkRank(*a), TavloSubjectMarkRank(*b), 0) : 0;
    case SUBJECT_SORT_SEARCH:
        return asc ? ordered(TavloSearchRank(*a), TavloSearchRank(*b), 0) : 0;
    case SUBJECT_SORT_CACHE:
        return asc ? ordered(TavloSubjectCacheRank(*a), TavloSubjectCacheRank(*b), 0) : 0;
    case SUBJECT_SORT_BOARD:
        return bytes(a->GetBoardName(), b->GetBoardName(), asc);
    default:
        return 0;
    }
}

int TavloSubjectSortKeyOf(int column, bool searchList) {
    return searchList && column == SUBJECT_SORT_KEY ? SUBJECT_SORT_BOARD : column;
}

int TavloNextSubjectSortKey(int current) {
    return current < 0 || current >= SUBJECT_SORT_CACHE ? SUBJECT_SORT_INDEX : current + 1;
}

namespace {

struct Decorated {
    CTavloSubjectItem* item;
    int64_t number;
    double speed;
};

} // namespace

void TavloSortSubjects(CTavloSubjectFile& list, int column, int ascending) {
    int key = TavloSubjectSortKeyOf(column, list.IsSearchList());
    bool rankKey =
        key == SUBJECT_SORT_MARK || key == SUBJECT_SORT_SEARCH || key == SUBJECT_SORT_CACHE;
    if (key < SUBJECT_SORT_INDEX || key > SUBJECT_SORT_BOARD || (rankKey && !ascending))
        return;
    std::vector<Decorated> entries;
    entries.reserve(static_cast<size_t>(list.GetCount()));
    for (CTavloSubjectItem* item : list) {
        Decorated d{item, 0, 0.0};
        switch (key) {
        case SUBJECT_SORT_INDEX:
            d.number = item->GetIndex();
            break;
        case SUBJECT_SORT_COUNT:
            d.number = item->GetCount();
            break;
        case SUBJECT_SORT_SPEED:
            d.speed = item->GetSpeed();
            break;
        case SUBJECT_SORT_KEY:
            d.number = keyNumber(*item);
            break;
        case SUBJECT_SORT_MARK:
            d.number = TavloSubjectMarkRank(*item);
            break;
        case SUBJECT_SORT_SEARCH:
            d.number = TavloSearchRank(*item);
            break;
        case SUBJECT_SORT_CACHE:
            d.number = TavloSubjectCacheRank(*item);
            break;
        default:
            break;
        }
        entries.push_back(d);
    }
    auto sortBy = [&entries](auto less) { std::stable_sort(entries.begin(), entries.end(), less); };
    switch (key) {
    case SUBJECT_SORT_TITLE:
    case SUBJECT_SORT_BOARD: {
        bool title = key == SUBJECT_SORT_TITLE;
        sortBy([title, ascending](const Decorated& a, const Decorated& b) {
            const CVornString& x = title ? a.item->GetTitle() : a.item->GetBoardName();
            const CVornString& y = title ? b.item->GetTitle() : b.item->GetBoardName();
            int c = x.str().compare(y.str());
            return ascending ? c < 0 : c > 0;
        });
        break;
    }
    case SUBJECT_SORT_SPEED:
        sortBy([ascending](const Decorated& a, const Decorated& b) {
            return ascending ? a.speed < b.speed : b.speed < a.speed;
        });
        break;
    default:
        if (rankKey)
            sortBy([](const Decorated& a, const Decorated& b) { return a.number > b.number; });
        else
            sortBy([ascending](const Decorated& a, const Decorated& b) {
                return ascending ? a.number < b.number : b.number < a.number;
            });
        break;
    }
    for (size_t i = 0; i < entries.size(); ++i)
        list.Set(static_cast<int>(i), entries[i].item);
}
