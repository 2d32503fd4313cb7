// The two lists of the cache container without the network: multi-selection commands,
// deleting (and what the frame is told), a first fetch listed at the top, opening entries.
#include "tavlo_bookmark_file.h"
#include "tavlo_cache_image_file.h"
#include "tavlo_cache_image_view.h"
#include "tavlo_cache_view.h"
#include "tavlo_path.h"
#include "ui_test_util.h"

#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

namespace {

// Stands in for the main frame: keeps every message it is sent, with a string lParam's text.
class Frame : public CTavloWindow {
public:
    struct Sent {
        unsigned message;
        std::string text;
        const void* pointer;
    };
    intptr_t SendMessage(unsigned message, uintptr_t, intptr_t lParam) override {
        Sent s{message, {}, reinterpret_cast<const void*>(lParam)};
        if ((message == TAVLO_WM_REFRESHBOOKMARK || message == TAVLO_WM_OPENLINK) && lParam)
            s.text = reinterpret_cast<const CVornString*>(lParam)->str();
        sent.push_back(s);
        return 0;
    }
    void PostMessage(unsigned, uintptr_t, intptr_t) override {}
    std::vector<Sent> of(unsigned message) const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.message == message)
                out.push_back(s);
        return out;
    }
    std::vector<Sent> sent;
};

class CacheViews : public testing::Test {
protected:
    void SetUp() override {
        UiApp();
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        root = dir.file("root");
        VornCreateDirectories(root.c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(root));
        CTavloBookmarkFile::Destroy();
        CTavloCacheImageFile::Reset();
        WriteAll(
            root + "/board.txt",
            Sjis("ソフト\nhttp://a.example/soft/\nsoft\n料理\nhttp://b.example/food/\nfood\n"));
        log("a.example/soft", "1600000001", "soft one");
        log("a.example/soft", "1600000002", "soft two");
        log("b.example/food", "1600000003", "food one");
        log("b.example/food", "1600000004", "food two");
    }
    void TearDown() override {
        CTavloBookmarkFile::Destroy();
        CTavloCacheImageFile::Reset();
        CTavloSettings::Destroy();
    }
    std::string log(const std::string& board, const std::string& key, const char* title) {
        const std::string d = root + "/" + board;
        VornCreateDirectories(d.c_str());
        WriteAll(d + "/" + key + ".dat", std::string("n<>m<>d<>b<>") + title + "\n");
        return d + "/" + key + ".dat";
    }
    int marked(CTavloCacheView& v) {
        int n = 0;
        for (CTavloCacheItem* e : v.GetList())
            n += e->IsSelected();
        return n;
    }
    int rowOf(CTavloCacheView& v, const char* title) {
        for (int i = 0; i < v.GetList().GetCount(); ++i)
            if (v.GetList().Get(i)->GetTitle() == title)
                return i;
        return -1;
    }

    TempDir dir;
    std::string root;
    Frame frame;
    BoxLog boxes;
};

} // namespace

TEST_F(CacheViews, SelectionCommandsInvertAndSelectAllTwiceLeavesNothingMarked) {
    CTavloCacheView view(&frame);
    view.Load();
    ASSERT_EQ(view.GetItemCount(), 4);
    view.SortItems(CTavloCacheView::SORT_TITLE, 1); // food one, food two, soft one, soft two
    EXPECT_FALSE(view.IsMultiSelect());
    view.OnCommand(ID_CHECK_ALL);
    EXPECT_TRUE(view.IsMultiSelect());
    EXPECT_EQ(marked(view), 4);
    view.OnCommand(ID_CHECK_ALL);
    EXPECT_EQ(marked(view), 0);

    view.SelectRow(1);
    view.OnCommand(ID_CHECK_TO_HERE); // rows 0 and 1
    EXPECT_EQ(marked(view), 2);
    view.OnCommand(ID_CHECK_FROM_HERE); // rows 1..3: row 1 flips back
    EXPECT_TRUE(view.GetList().Get(0)->IsSelected());
    EXPECT_FALSE(view.GetList().Get(1)->IsSelected());
    EXPECT_TRUE(view.GetList().Get(2)->IsSelected());
    EXPECT_EQ(view.GetList().Get(2)->GetMark(),
              CTavloListItem::MARK_NORMAL | CTavloListItem::MARK_SELECTED);
    view.OnCommand(ID_CHECK_CLEAR);
    EXPECT_EQ(marked(view), 0);
    view.SelectRow(3);
    view.OnCommand(ID_CHECK_SAME_BOARD);
    EXPECT_EQ(marked(view), 2);
    EXPECT_EQ(view.GetList().Get(2)->GetBoardName(), Sjis("ソフト"));
    EXPECT_TRUE(view.GetList().Get(2)->IsSelected() && view.GetList().Get(3)->IsSelected());

    // Enter on a row in multi-selection mode flips its mark instead of opening it.
    view.SelectRow(0);
    view.OpenSelectedItem();
    EXPECT_EQ(marked(view), 3);
    EXPECT_TRUE(frame.of(TAVLO_WM_OPENCACHE).empty());

    // Deleting the marked ones asks once and leaves the unmarked one.
    boxes.answer = TAVLO_IDYES;
    view.OnCommand(ID_DELETE);
    EXPECT_EQ(boxes.last().text, QString::fromUtf8("選択アイテムを全て削除しますか？"));
    ASSERT_EQ(view.GetItemCount(), 1);
    EXPECT_EQ(view.GetList().Get(0)->GetTitle(), "food two");
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(root + "/a.example/soft/1600000001.dat")));
    EXPECT_EQ(view.GetList().Get(0)->GetIndex(), 1);

    // Off clears every mark; Enter then opens the entry in the frame.
    view.OnCommand(ID_CHECK_ALL);
    view.OnCommand(ID_CHECK_ONOFF);
    EXPECT_FALSE(view.IsMultiSelect());
    EXPECT_EQ(marked(view), 0);
    view.SelectRow(0);
    view.OpenSelectedItem();
    ASSERT_EQ(frame.of(TAVLO_WM_OPENCACHE).size(), 1u);
    EXPECT_EQ(frame.of(TAVLO_WM_OPENCACHE)[0].pointer, view.GetList().Get(0));
}

TEST_F(CacheViews, DeletingABookmarkedThreadTellsTheFrameAndAnUnbookmarkedOneDoesNot) {
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    bookmarks.Add("http://a.example/soft/", "soft one", "1600000001", Sjis("ソフト"), "soft");
    CTavloCacheView view(&frame);
    view.Load();
    const int bookmarked = rowOf(view, "soft one");
    ASSERT_GE(bookmarked, 0);
    EXPECT_EQ(view.GetList().Get(bookmarked)->GetMark(), CTavloListItem::MARK_BOOKMARKED);
    const std::string path = view.GetList().Get(bookmarked)->GetLogPath().str();

    boxes.answer = TAVLO_IDNO;
    view.SelectRow(bookmarked);
    view.DeleteItems();
    EXPECT_EQ(view.GetItemCount(), 4);
    EXPECT_TRUE(CTavloPath::GetFileStatus(CVornString(path)));

    boxes.answer = TAVLO_IDYES;
    view.DeleteItems();
    EXPECT_EQ(boxes.last().text, QString::fromUtf8("削除しますか？"));
    EXPECT_EQ(view.GetItemCount(), 3);
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(path)));
    auto told = frame.of(TAVLO_WM_REFRESHBOOKMARK);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, path);

    view.SelectRow(rowOf(view, "food one"));
    view.DeleteItems();
    EXPECT_EQ(view.GetItemCount(), 2);
    EXPECT_EQ(frame.of(TAVLO_WM_REFRESHBOOKMARK).size(), 1u);
    // Indexes stay 1..n.
    std::vector<int> indexes;
    for (CTavloCacheItem* e : view.GetList())
        indexes.push_back(e->GetIndex());
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, (std::vector<int>{1, 2}));
}

TEST_F(CacheViews, AFirstTimeFetchIsListedAtTheTopWithIndexOne) {
    CTavloCacheView view(&frame);
    view.Load();
    ASSERT_EQ(view.GetItemCount(), 4);
    const std::string fresh = log("b.example/food", "1600000009", "new thread");
    view.RefreshLogPath(CVornString(fresh));
    ASSERT_EQ(view.GetItemCount(), 5);
    EXPECT_EQ(view.GetList().Get(0)->GetTitle(), "new thread");
    EXPECT_EQ(view.GetList().Get(0)->GetIndex(), 1);
    QString text;
    view.GetItemText(text, 0, 0);
    EXPECT_EQ(text, "1");
    view.GetItemText(text, 0, 2);
    EXPECT_EQ(text, QString::fromUtf8("料理"));
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(view.GetList().Get(i)->GetIndex(), i + 1);
    // A log that is listed already is refreshed, not added again; a deleted one goes.
    view.RefreshLogPath(CVornString(fresh));
    EXPECT_EQ(view.GetItemCount(), 5);
    unlink(fresh.c_str());
    view.RefreshLogPath(CVornString(fresh));
    EXPECT_EQ(view.GetItemCount(), 4);
    EXPECT_EQ(view.GetList().Get(0)->GetIndex(), 1);
}

TEST_F(CacheViews, SortKeysAndHighlight) {
    CTavloCacheView view(&frame);
    view.Load();
    // The sort key binding runs through the five keys and back to the index.
    view.SortItems(CTavloCacheView::SORT_SEARCH, 1);
    const int key = CTavloSettings::Instance().Key[CTavloSettings::CMD_SORT];
    view.OnKeyDown(key, Qt::NoModifier);
    EXPECT_EQ(view.GetSortColumn(), CTavloCacheView::SORT_INDEX);
    view.OnCommand(ID_SORT_DATE);
    EXPECT_EQ(view.GetSortColumn(), CTavloCacheView::SORT_TIME);
    EXPECT_EQ(view.GetSortAsc(), 0);
    view.Highlight("two");
    EXPECT_EQ(view.GetSortColumn(), CTavloCacheView::SORT_SEARCH);
    EXPECT_EQ(view.GetSelectedRow(), 0);
    EXPECT_TRUE(view.GetList().Get(0)->IsSearchHit());
    EXPECT_TRUE(view.GetList().Get(1)->IsSearchHit());
    EXPECT_FALSE(view.GetList().Get(2)->IsSearchHit());
}

TEST_F(CacheViews, ImageListOpensTheImageUrlAndDeletesFiles) {
    const std::string img = root + "/.img";
    VornCreateDirectories(img.c_str());
    WriteAll(img + "/i.example%2Fa%2Fone.png", "x");
    WriteAll(img + "/i.example%2Ftwo.png", "y");
    CTavloCacheImageView view(&frame);
    view.Load();
    ASSERT_EQ(view.GetItemCount(), 2);
    view.SortItems(CTavloCacheImageView::SORT_NAME, 1);
    QString text;
    view.GetItemText(text, 0, 1);
    EXPECT_EQ(text, "i.example/a/one.png");
    view.SelectRow(0);
    view.OpenSelectedItem();
    ASSERT_EQ(frame.of(TAVLO_WM_OPENLINK).size(), 1u);
    EXPECT_EQ(frame.of(TAVLO_WM_OPENLINK)[0].text, "http://i.example/a/one.png");

    boxes.answer = TAVLO_IDYES;
    view.DeleteItems();
    EXPECT_EQ(view.GetItemCount(), 1);
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(img + "/i.example%2Fa%2Fone.png")));
    EXPECT_FALSE(
        CTavloCacheImageFile::Instance().IsCached(CVornString(img + "/i.example%2Fa%2Fone.png")));
    // A file saved meanwhile joins at the top.
    WriteAll(img + "/i.example%2Fthree.png", "z");
    view.RefreshLogPath(CVornString(img + "/i.example%2Fthree.png"));
    ASSERT_EQ(view.GetItemCount(), 2);
    EXPECT_EQ(CTavloCacheImageFile::Instance().Get(0)->GetIndex(), 1);
}
