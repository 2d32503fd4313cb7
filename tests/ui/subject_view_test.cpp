// The thread list in the running program against the local board server: opening a board
// offline and online, marks after a second fetch, "not modified", sort keys and their settings,
// the search bar's highlight, opening and bookmarking threads, the title-search list, an empty
// list that leads to move detection, failures, cancel and a second open while fetching.
#include "list_shell_util.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_keys.h"
#include "tavlo_list_sort.h"
#include "tavlo_placeholder_views.h"
#include "vorn_config.h"

#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class SubjectList : public ListShell {
protected:
    SubjectList() {
        writeBoards("board.txt",
                    {{"ニュース", "", ""},
                     {"ニュース速報", kNewsUrl, "news"},
                     {"ニュース速報+", "http://news.example-bbs.test/newsplus/", "newsplus"}});
    }
    void open(const char* id = "news") {
        CVornString name, url;
        ASSERT_TRUE(boards()->FindBoardId(CVornString(id), &name, &url));
        CTavloBoardRef ref{name, url, CVornString(id)};
        f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&ref));
    }
    const CTavloSubjectFile& list() { return subject()->GetList(); }
    std::string localList(const char* board = "news") {
        return path(std::string("news.example-bbs.test/") + board + "/subject.txt");
    }
    // The entries of the shown list with a flag set.
    int count(int (CTavloListItem::*flag)() const) {
        int n = 0;
        for (const CTavloSubjectItem* item : list())
            n += (item->*flag)() == 1;
        return n;
    }
    QString text(int row, int column) {
        QString t;
        subject()->GetItemText(t, row, column);
        return t;
    }
    void key(Qt::Key k) { QTest::keyClick(subject()->GetListCtrl(), k); }
    CTavloDatView* threads() { return static_cast<CTavloDatViewHost*>(f->Views().thread)->View(); }
    void advance(const std::string& more) {
        ASSERT_EQ(ctl("advance", "host=news.example-bbs.test&board=news" + more), "ok");
    }
};

TEST_F(SubjectList, OfflineAMissingListIsFetchedOnlyAfterAsking) {
    start(0);
    const QString question = U("スレッド一覧が存在しません。サーバから取得しますか？");
    boxes.answers[question] = TAVLO_IDNO;
    open();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, question);
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
    EXPECT_EQ(requestsFor("subject.txt"), 0);
    EXPECT_EQ(subject()->GetItemCount(), 0);
    EXPECT_TRUE(subject()->HasBoard());

    boxes.answers[question] = TAVLO_IDYES;
    open();
    EXPECT_EQ(boxes.count(), 2u);
    EXPECT_EQ(requestsFor("subject.txt"), 1);
    ASSERT_EQ(list().GetCount(), 12);
    EXPECT_EQ(subject()->GetItemCount(), 12);
    EXPECT_EQ(ReadAll(localList()), fx.sim.get(std::string(kNewsUrl) + "subject.txt"));
    // Nothing to mark against: no marks.
    EXPECT_EQ(count(&CTavloListItem::IsNew) + count(&CTavloListItem::IsUpdated), 0);
    EXPECT_EQ(subject()->GetSelectedRow(), 0);
    EXPECT_EQ(f->windowTitle(), U("ニュース速報"));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_FALSE(subject()->IsBusy());
    // The columns and their texts.
    EXPECT_EQ(subject()->GetColumnHeader(4), U("スレッドID"));
    const CTavloSubjectItem* first = list().Get(0);
    EXPECT_EQ(text(0, 0), QString::number(first->GetIndex()));
    EXPECT_EQ(text(0, 1), QString::number(first->GetCount()));
    EXPECT_EQ(text(0, 2), TavloQString(first->GetTitle()));
    EXPECT_EQ(text(0, 3), QString::asprintf("%.1f", first->GetSpeed()));
    EXPECT_EQ(text(0, 4), TavloQString(first->GetKey()));
}

TEST_F(SubjectList, OnlineASecondFetchMarksNewAndUpdatedThreads) {
    start(1);
    open();
    EXPECT_EQ(boxes.count(), 0u); // online: fetched without asking
    ASSERT_EQ(list().GetCount(), 12);
    EXPECT_EQ(count(&CTavloListItem::IsNew), 0);

    advance("&posts=3&new=1");
    key(Qt::Key_R); // Reload
    ASSERT_EQ(list().GetCount(), 13);
    EXPECT_EQ(count(&CTavloListItem::IsNew), 1);
    EXPECT_EQ(count(&CTavloListItem::IsUpdated), 3);
    EXPECT_EQ(subject()->GetPreviousList().GetCount(), 12);
    // The count column of an updated thread: count and new posts on two lines.
    for (int row = 0; row < list().GetCount(); ++row) {
        const CTavloSubjectItem* item = list().Get(row);
        if (item->IsUpdated()) {
            ASSERT_GT(item->GetNewCount(), 0);
            EXPECT_EQ(text(row, 1),
                      QString("%1\n(%2)").arg(item->GetCount()).arg(item->GetNewCount()));
            EXPECT_TRUE(item->GetMark() & CTavloListItem::MARK_UPDATED);
        }
        if (item->IsNew()) {
            EXPECT_TRUE(item->GetMark() & CTavloListItem::MARK_NEW);
        }
    }
    // Sorting by marks: the new thread first, then most new posts.
    f->OnCommand(ID_SORT_NEW);
    EXPECT_TRUE(list().Get(0)->IsNew());
    EXPECT_TRUE(list().Get(1)->IsUpdated());
    EXPECT_GE(list().Get(1)->GetNewCount(), list().Get(2)->GetNewCount());
    bool enabled = false, checked = false;
    f->GetCommandState(ID_SORT_NEW, &enabled, &checked);
    EXPECT_TRUE(checked);
    f->GetCommandState(ID_SORT_NO, &enabled, &checked);
    EXPECT_FALSE(checked);
    // One line when ListSingleLine is 1.
    CTavloSettings::Instance().SetInt("ListSingleLine", 1);
    EXPECT_EQ(text(1, 1),
              QString("%1(%2)").arg(list().Get(1)->GetCount()).arg(list().Get(1)->GetNewCount()));
    CTavloSettings::Instance().SetInt("ListSingleLine", 0);

    // A bookmarked thread and one with a log, for the picture.
    subject()->SelectRow(3);
    key(Qt::Key_A);
    EXPECT_EQ(boxes.last().text, U("ブックマークに追加しますか？"));
    EXPECT_TRUE(list().Get(3)->GetMark() & CTavloListItem::MARK_BOOKMARKED);
    subject()->SelectRow(4);
    key(Qt::Key_Return);
    ASSERT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    ASSERT_TRUE(PumpUntil([&] { return !f->Views().thread->IsBusy(); }, 15000));
    f->SwitchView(TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(list().Get(4)->HasLog(), 1);
    subject()->SelectRow(2);
    Pump(50);
    ASSERT_TRUE(SaveShot(f, "subject_list_marks.png"));
}

TEST_F(SubjectList, AStoredListOpenedOnlineIsShownThenReloadedAgainstIt) {
    CTavloPath::MakeDirectory(CVornString(CTavloPath::GetDirectory(CVornString(localList()))));
    WriteAll(localList(), fx.sim.get(std::string(kNewsUrl) + "subject.txt"));
    advance("&posts=2&new=2");
    fx.sim.clearRequests();
    start(1);
    open();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(requestsFor("subject.txt"), 1);
    ASSERT_EQ(list().GetCount(), 14);
    EXPECT_EQ(count(&CTavloListItem::IsNew), 2);
    EXPECT_EQ(count(&CTavloListItem::IsUpdated), 2);
}

TEST_F(SubjectList, NotModifiedShowsTheStoredListWithoutMarks) {
    start(0);
    boxes.answer = TAVLO_IDYES;
    open(); // asked, fetched
    ASSERT_EQ(list().GetCount(), 12);
    fx.sim.clearRequests();
    const std::string before = ReadAll(localList());
    f->OnCommand(ID_RELOAD);
    ASSERT_EQ(requestsFor("subject.txt"), 1);
    EXPECT_NE(fx.sim.requests()[0].find("304"), std::string::npos) << fx.sim.requests()[0];
    EXPECT_EQ(list().GetCount(), 12);
    EXPECT_EQ(count(&CTavloListItem::IsNew) + count(&CTavloListItem::IsUpdated), 0);
    EXPECT_EQ(ReadAll(localList()), before);
    EXPECT_EQ(boxes.count(), 1u); // no error for "not modified"
}

TEST_F(SubjectList, TheSortKeyWrapsAfterSevenAndIsWrittenOnlyWhenItChanged) {
    CTavloSettings::Instance().SetSortColumn(CTavloSettings::LV_SUBJECT, 6);
    start(1);
    open();
    EXPECT_EQ(subject()->GetSortColumn(), 6);
    key(Qt::Key_Tab); // Sort
    EXPECT_EQ(subject()->GetSortColumn(), 7);
    key(Qt::Key_Tab);
    EXPECT_EQ(subject()->GetSortColumn(), 0);
    EXPECT_EQ(subject()->GetSortAsc(), 1);
    EXPECT_EQ(CVornConfig::ReadInt(fx.dir.file("tavlo.ini").c_str(), "SortColumnSubject"), 0);
    // Index order after the wrap.
    for (int i = 0; i < list().GetCount(); ++i)
        EXPECT_EQ(list().Get(i)->GetIndex(), i + 1);
    // The same key again writes nothing.
    const auto stamp = fs::last_write_time(fx.dir.file("tavlo.ini"));
    const std::string ini = ReadAll(fx.dir.file("tavlo.ini"));
    f->OnCommand(ID_SORT_NO);
    EXPECT_EQ(ReadAll(fx.dir.file("tavlo.ini")), ini);
    EXPECT_EQ(fs::last_write_time(fx.dir.file("tavlo.ini")), stamp);
    // "レス" sorts by count, most first; the direction is written.
    f->OnCommand(ID_SORT_RES);
    EXPECT_EQ(CVornConfig::ReadInt(fx.dir.file("tavlo.ini").c_str(), "SortAscSubject"), 0);
    for (int i = 1; i < list().GetCount(); ++i)
        EXPECT_GE(list().Get(i - 1)->GetCount(), list().Get(i)->GetCount());
    // The next start sorts the same way.
    EXPECT_EQ(CTavloSettings::Instance().SortColumn[CTavloSettings::LV_SUBJECT], 1);
}

TEST_F(SubjectList, SortingKeepsTheChosenThreadChosenAndTheHeaderShowsTheKey) {
    CTavloSettings::Instance().SetSortColumn(CTavloSettings::LV_SUBJECT, 0);
    start(1);
    open();
    ASSERT_GT(list().GetCount(), 3);
    subject()->SelectRow(1);
    const CTavloListItem* chosen = subject()->GetSelectedItem();
    const QHeaderView* header = subject()->GetListCtrl()->header();
    for (int step = 0; step < 8; ++step) {
        key(Qt::Key_Tab);
        EXPECT_EQ(subject()->GetSelectedItem(), chosen) << subject()->GetSortColumn();
        const int column = subject()->GetSortColumn();
        // Keys with a column of their own (number, count, title, speed, key) mark it.
        EXPECT_EQ(header->isSortIndicatorShown(), column <= SUBJECT_SORT_KEY) << column;
        if (column <= SUBJECT_SORT_KEY) {
            EXPECT_EQ(header->sortIndicatorSection(), column);
        }
    }
    f->OnCommand(ID_SORT_RES);
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(subject()->GetSelectedItem(), chosen);
    // Enter opens the chosen thread, not the one now in its old row.
    const CVornString title = chosen->GetTitle();
    key(Qt::Key_Return);
    ASSERT_EQ(threads()->GetTabCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return !f->Views().thread->IsBusy(); }, 15000));
    EXPECT_EQ(threads()->ThreadTitles()[0], TavloQString(title));
}

TEST_F(SubjectList, TheSearchBarHighlightsMatchingTitlesFirst) {
    start(1);
    open();
    const int before = list().GetCount();
    f->OnCommand(ID_SEARCH);
    ASSERT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    CVornString word(VornUtf8ToSjis("天気|画像"));
    f->SendMessage(TAVLO_WM_SEARCH, 1, reinterpret_cast<intptr_t>(&word));
    const int hits = count(&CTavloListItem::IsSearchHit);
    ASSERT_GT(hits, 0);
    ASSERT_LT(hits, before);
    for (int i = 0; i < list().GetCount(); ++i)
        EXPECT_EQ(list().Get(i)->IsSearchHit(), i < hits ? 1 : 0) << i;
    EXPECT_EQ(subject()->GetSortColumn(), SUBJECT_SORT_SEARCH);
    EXPECT_EQ(subject()->GetSelectedRow(), 0);
    // The bar goes and the list has the focus.
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    // No hit: the flags are cleared, the order stays.
    CVornString none("zzzz");
    f->SendMessage(TAVLO_WM_SEARCH, 1, reinterpret_cast<intptr_t>(&none));
    EXPECT_EQ(count(&CTavloListItem::IsSearchHit), 0);
}

TEST_F(SubjectList, OpeningAThreadGivesTheThreadViewATab) {
    start(1);
    open();
    subject()->SelectRow(2);
    const CVornString title = list().Get(2)->GetTitle();
    key(Qt::Key_Return);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    ASSERT_EQ(threads()->GetTabCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return !f->Views().thread->IsBusy(); }, 15000));
    EXPECT_EQ(threads()->ThreadTitles()[0], TavloQString(title));
    // Back shows the list again with its title.
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(f->windowTitle(), U("ニュース速報"));
    EXPECT_EQ(list().Get(2)->HasLog(), 1);
}

TEST_F(SubjectList, TheTitleSearchListShowsBoardsAndCannotBeReloaded) {
    start(1);
    // Missing: said so.
    f->SendMessage(TAVLO_WM_SHOWFIND2CH, 0, 0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text,
              U("２ちゃんねる検索の結果がありません\n２ちゃんねる検索を行うには\n[メ"
                "ニュー]→[２ちゃんねる検索]を実行して下さい"));
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONINFORMATION);

    const std::string dir = path(std::string(".tmp/") + CTavloSubjectView::kFind2chHost);
    CTavloPath::MakeDirectory(CVornString(dir));
    WriteAll(dir + "/subject.txt",
             Sjis("1600000001.dat<>天気の話 (5)<>http://news.example-bbs.test/news/<>ニュース速報\n"
                  "1600000002.dat<>料理の話 (7)<>http://hobby.example-bbs.test/food/<>料理\n"));
    f->SendMessage(TAVLO_WM_SHOWFIND2CH, 0, 0);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    ASSERT_EQ(list().GetCount(), 2);
    EXPECT_TRUE(subject()->IsSearchList());
    EXPECT_EQ(subject()->GetColumnHeader(4), U("板"));
    EXPECT_EQ(text(0, 4), U("ニュース速報"));
    EXPECT_EQ(text(1, 4), U("料理"));
    EXPECT_EQ(list().Get(1)->GetBoardUrl().str(), "http://hobby.example-bbs.test/food/");
    // No reload, no request.
    fx.sim.clearRequests();
    EXPECT_EQ(subject()->Reload(), 0);
    key(Qt::Key_R);
    EXPECT_TRUE(fx.sim.requests().empty());
    // Column 4 sorts by board name; "スレッドID" is off, "板名" on.
    bool enabled = true, checked = false;
    f->GetCommandState(ID_SORT_THREADID, &enabled, &checked);
    EXPECT_FALSE(enabled);
    f->GetCommandState(ID_SORT_BOARD, &enabled, &checked);
    EXPECT_TRUE(enabled);
    subject()->SortItems(4, 1);
    EXPECT_EQ(subject()->GetSortColumn(), SUBJECT_SORT_BOARD);
    subject()->SortItems(4, 0);
    EXPECT_EQ(text(0, 4), U("料理")); // Shift_JIS order, reversed
}

TEST_F(SubjectList, AnEmptyListOffersMoveDetectionAndFetchesFromTheNewHost) {
    ASSERT_EQ(ctl("move", "host=news.example-bbs.test&board=news&to=news5.example-bbs.test"), "ok");
    start(1);
    const QString question = U("スレッド一覧の受信に失敗しました。\n移転先検出処理を行いますか？");
    boxes.answers[question] = TAVLO_IDNO;
    open();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, question);
    EXPECT_EQ(list().GetCount(), 0);
    EXPECT_EQ(requestsFor("news5.example-bbs.test/news/"), 0);

    boxes.answers[question] = TAVLO_IDYES;
    f->OnCommand(ID_RELOAD);
    ASSERT_EQ(boxes.count(), 3u);
    EXPECT_EQ(boxes.boxes[1].text, question);
    EXPECT_EQ(boxes.boxes[2].text, U("移転先を検出しました"));
    const std::string newUrl = "http://news5.example-bbs.test/news/";
    EXPECT_EQ(subject()->GetBoardUrl().str(), newUrl);
    EXPECT_EQ(list().GetCount(), 12);
    EXPECT_TRUE(fs::exists(path("news5.example-bbs.test/news/subject.txt")));
    // The tree and board.txt know the new address.
    EXPECT_EQ(boards()->GetBoardUrl(boards()->FindBoardNumber(CVornString("news"))).str(), newUrl);
    EXPECT_TRUE(idle());
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
}

TEST_F(SubjectList, AFailedFetchIsReportedAndLeavesTheStoredListAlone) {
    writeBoards("board.txt", {{"ニュース", "", ""},
                              {"ニュース速報", kNewsUrl, "news"},
                              {"無い板", "http://news.example-bbs.test/nothing/", "nothing"}});
    start(1);
    open();
    ASSERT_EQ(list().GetCount(), 12);
    const std::string stored = ReadAll(localList());
    ASSERT_EQ(ctl("subject", "host=news.example-bbs.test&board=news&mode=cut"), "ok");
    advance("&posts=2");
    f->OnCommand(ID_RELOAD);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("HTTPエラー(RECV)"));
    EXPECT_EQ(boxes.last().caption, "tavlo");
    EXPECT_EQ(list().GetCount(), 0);
    EXPECT_EQ(ReadAll(localList()), stored);
    EXPECT_FALSE(subject()->IsBusy());
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    // An unknown board.
    open("nothing");
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.last().text, U("HTTPエラー(GET)"));
    EXPECT_FALSE(fs::exists(localList("nothing")));
}

TEST_F(SubjectList, CancelStopsASlowFetchQuietlyAndASecondOpenMeanwhileIsDropped) {
    start(1);
    open();
    ASSERT_EQ(list().GetCount(), 12);
    const std::string stored = ReadAll(localList());
    ASSERT_EQ(ctl("board", "host=news.example-bbs.test&board=news&threads=400"), "ok");
    advance("&new=300");
    ASSERT_EQ(ctl("subject", "host=news.example-bbs.test&board=news&mode=slow&delay=40"), "ok");
    // The fetch pumps messages while it runs: the user acts from there.
    bool busy = false;
    QTimer::singleShot(300, [&] {
        busy = subject()->IsBusy();
        open("newsplus"); // dropped
        f->OnCommand(ID_CANCEL);
    });
    CVornTime timer;
    key(Qt::Key_R);
    EXPECT_TRUE(busy);
    EXPECT_EQ(subject()->GetBoardId().str(), "news");
    EXPECT_EQ(requestsFor("newsplus"), 0);
    // Asked, and nothing reported for the stopped transfer.
    EXPECT_EQ(boxes.texts(), std::vector<QString>{U("キャンセルしますか？")});
    EXPECT_EQ(ReadAll(localList()), stored);
    EXPECT_FALSE(subject()->IsBusy());
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    // The next fetch is not stopped by the old cancel.
    ASSERT_EQ(ctl("subject", "host=news.example-bbs.test&board=news&mode="), "ok");
    key(Qt::Key_R);
    EXPECT_GT(list().GetCount(), 300);
}

} // namespace
