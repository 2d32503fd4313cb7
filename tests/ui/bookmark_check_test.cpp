// The bookmark update check of the whole program against the local board server: bounded
// parallel fetches of many bookmarks, new posts, failures, cancel, a thread open in a tab, the
// next bookmark with new posts, closing during a check, and a screenshot of the marks.
#include "fetch_support.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_view.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_status_dialog.h"
#include "ui_test_util.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoard[] = "news";
const char kBoardUrl[] = "http://news.example-bbs.test/news/";

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class Check : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetOnline(1);
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
        boxes.boxes.clear();
    }

    static std::string key(int i) { return std::to_string(1720000000 + i); }
    std::string ctl(const std::string& op, int i, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=" + kBoard +
                              "&key=" + key(i) + more);
    }
    std::string logPath(int i) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key(i))).str();
    }
    CTavloBookmarkView* bm() { return static_cast<CTavloBookmarkView*>(f->Views().bookmarkList); }
    CTavloDatView* view() { return static_cast<CTavloDatViewHost*>(f->Views().thread)->View(); }
    CTavloBookmarkItem* entry(int i) {
        CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
        return list.Get(list.FindThreadUrl(CVornString(kBoardUrl + key(i))));
    }
    int rowOf(int i) { return CTavloBookmarkFile::Instance().IndexOf(entry(i)); }

    // Threads 0..n-1 on the server and as bookmarks numbered 1..n in that order.
    void makeBookmarks(int n, int posts) {
        CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
        for (int i = n - 1; i >= 0; --i) {
            ASSERT_EQ(ctl("create", i, "&posts=" + std::to_string(posts)), "ok");
            ASSERT_TRUE(
                list.Add(CVornString(kBoardUrl), CVornString(Sjis("スレッド ") + std::to_string(i)),
                         CVornString(key(i)), CVornString(Sjis("ニュース")), CVornString(kBoard)));
        }
        ASSERT_TRUE(list.Save());
        f->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
        ASSERT_EQ(bm()->GetItemCount(), n);
    }
    // The reader has read thread i to its end.
    void markRead(int i) {
        CTavloInfoFile info;
        CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString(key(i)), info);
        info.Max = info.Count;
        info.New = false;
        ASSERT_TRUE(CTavloInfoFile::Write(info));
    }
    // Runs a whole check from the list's reload key; the status bar texts seen meanwhile.
    std::set<QString> checkAll(int ms = 60000) {
        std::set<QString> texts;
        EXPECT_TRUE(bm()->OnKeyDown('R', Qt::NoModifier));
        EXPECT_TRUE(bm()->IsChecking());
        EXPECT_TRUE(PumpUntil(
            [&] {
                if (f->IsBarShown(CMainFrame::BAR_STATUS))
                    texts.insert(f->GetStatusBar()->GetText());
                return !bm()->IsChecking();
            },
            ms));
        return texts;
    }
    // Largest number of log requests the server was answering at one moment, and how many
    // there were.
    std::pair<int, int> serverLoad(const std::string& onlyKey = "") {
        int count = 0;
        int peak = fx.sim.PeakConcurrent(std::string("/") + kBoard + "/dat/" + onlyKey, &count);
        return {peak, count};
    }
    QString cell(int row, int column) {
        QString text;
        bm()->GetItemText(text, row, column);
        return text;
    }
    // Scrolls thread i's row to the top of the list.
    void showRow(int i) {
        CTavloListCtrl* ctrl = bm()->GetListCtrl();
        ctrl->scrollTo(ctrl->model()->index(rowOf(i), 0), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
    }

    BoardFixture fx;
    BoxLog boxes;
    ShellRun run{fx.dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

TEST_F(Check, AHundredBookmarksAtMostThreadMaxAtOnceWithNewPostsFailuresAndCancel) {
    const int n = 100;
    CTavloSettings::Instance().SetInt("ThreadMax", 6);
    makeBookmarks(n, 10);
    // First check: every log arrives, and never read, every post is new.
    checkAll();
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(ReadAll(logPath(i)), ctl("dat", i)) << i;
        ASSERT_EQ(entry(i)->GetNewCount(), 10) << i;
        markRead(i);
    }
    f->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
    EXPECT_EQ(cell(0, 1), "10");

    // Every seventh thread gains posts, four are gone (302), two hang.
    const std::set<int> gone{5, 33, 61, 89}, hang{40, 95};
    for (int i = 0; i < n; i += 7)
        ASSERT_EQ(ctl("append", i, "&n=3"), "ok");
    for (int i : gone)
        ASSERT_EQ(ctl("mode", i, "&mode=gone"), "ok");
    for (int i : hang)
        ASSERT_EQ(ctl("mode", i, "&mode=hang"), "ok");
    std::map<int, std::string> before;
    for (int i : hang)
        before[i] = ReadAll(logPath(i));
    fx.sim.control("/_ctl/latency?ms=20");
    fx.sim.clearRequests();

    // Started from the menu; the hanging two keep it running after the last start.
    std::set<QString> texts;
    f->OnCommand(ID_RELOAD);
    ASSERT_TRUE(bm()->IsChecking());
    ASSERT_TRUE(PumpUntil(
        [&] {
            texts.insert(f->GetStatusBar()->GetText());
            if (f->GetStatusBar()->GetText() != "100/100")
                return false;
            for (int i = 0; i < n; ++i)
                if (entry(i)->IsChecking() != (hang.count(i) ? 1 : 0))
                    return false;
            return true;
        },
        60000));
    // Bookmarks started of all, step by step.
    EXPECT_GE(std::count_if(texts.begin(), texts.end(),
                            [](const QString& t) { return t.endsWith("/100"); }),
              5);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_TRUE(bm()->IsChecking());
    // Hanging rows carry the checking mark.
    EXPECT_EQ(entry(40)->GetMark() & 0x02, 0x02);
    f->show();
    showRow(36);
    ASSERT_TRUE(SaveShot(f, "bookmark_checking.png"));

    // The frame's cancel ends the hanging fetches at once.
    CVornTime timer;
    f->OnCommand(ID_CANCEL);
    ASSERT_TRUE(PumpUntil([&] { return !bm()->IsChecking(); }, 20000));
    fx.sim.control("/_ctl/latency?ms=0");
    EXPECT_TRUE(PumpUntil([&] { return !f->IsBarShown(CMainFrame::BAR_STATUS); }, 2000));
    EXPECT_EQ(boxes.texts(), std::vector<QString>{U("キャンセルしますか？")});

    auto [peak, requests] = serverLoad();
    EXPECT_LE(peak, 6);
    EXPECT_GE(peak, 2);
    EXPECT_GE(requests, n);
    for (int i = 0; i < n; ++i) {
        CTavloBookmarkItem* e = entry(i);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->IsChecking(), 0) << i;
        if (hang.count(i)) {
            EXPECT_EQ(ReadAll(logPath(i)), before[i]) << i;
            continue;
        }
        EXPECT_EQ(e->IsError(), gone.count(i) ? 1 : 0) << i;
        if (i % 7 == 0 && !gone.count(i)) {
            EXPECT_EQ(e->IsUpdated(), 1) << i;
            EXPECT_EQ(e->GetNewCount(), 3) << i;
            EXPECT_EQ(cell(rowOf(i), 1), "13\n(3)") << i;
            EXPECT_EQ(e->GetMark() & 0x08, 0x08) << i;
        } else {
            EXPECT_EQ(e->IsUpdated(), 0) << i;
            EXPECT_EQ(cell(rowOf(i), 1), "10") << i;
        }
        if (!gone.count(i)) {
            EXPECT_EQ(ReadAll(logPath(i)), ctl("dat", i)) << i;
        }
    }

    // New posts first, most first, then by number.
    f->OnCommand(ID_SORT_NEW);
    EXPECT_EQ(cell(0, 5), QString::fromStdString(key(0)));
    EXPECT_EQ(cell(1, 5), QString::fromStdString(key(7)));

    // A failed row stays on the error colour; a screenshot of the marks.
    f->show();
    const int failed = rowOf(33);
    bm()->SelectRow(failed - 2);
    bm()->GetListCtrl()->scrollTo(bm()->GetListCtrl()->model()->index(failed - 2, 0),
                                  QAbstractItemView::PositionAtTop);
    QApplication::processEvents();
    QImage shot = bm()->GetListCtrl()->viewport()->grab().toImage();
    QRect rect = bm()->GetListCtrl()->RowRect(failed);
    ASSERT_TRUE(rect.isValid());
    EXPECT_EQ(shot.pixelColor(rect.left() + 6, rect.center().y()),
              TavloColor(CTavloSettings::Instance().ColorError));
    rect = bm()->GetListCtrl()->RowRect(failed + 1);
    EXPECT_EQ(shot.pixelColor(rect.left() + 6, rect.center().y()),
              TavloColor(CTavloSettings::Instance().ColorBack));
    bm()->SelectRow(0);
    bm()->ScrollToTop();
    QApplication::processEvents();
    ASSERT_TRUE(SaveShot(f, "bookmark_check.png"));
    f->OnCommand(ID_SORT_NO);
    showRow(29);
    ASSERT_TRUE(SaveShot(f, "bookmark_check_errors.png"));
}

TEST_F(Check, CancelEndsEveryWorkerWithinASecondAndLogsKeepWholeLines) {
    const int n = 16;
    CTavloSettings::Instance().SetInt("ThreadMax", 4);
    makeBookmarks(n, 20);
    checkAll();
    std::vector<std::string> before;
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(ctl("append", i, "&n=300"), "ok");
        ASSERT_EQ(ctl("mode", i, "&mode=slow&delay=30"), "ok");
        before.push_back(ReadAll(logPath(i)));
    }
    fx.sim.clearRequests();
    ASSERT_TRUE(bm()->StartCheck());
    // Well inside the transfers: some logs have grown.
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (int i = 0; i < n; ++i)
                if (ReadAll(logPath(i)).size() > before[i].size())
                    return true;
            return false;
        },
        10000));

    // Meanwhile: deleting and sorting are refused, adding is fine.
    const int sort = bm()->GetSortColumn();
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    EXPECT_TRUE(f->DispatchKey('D'));
    EXPECT_EQ(boxes.last().text, U("ブックマークの更新チェック中は削除できません"));
    f->OnCommand(ID_SORT_RES);
    EXPECT_EQ(bm()->GetSortColumn(), sort);
    bool enabled = true, checked = false;
    f->GetCommandState(ID_DELETE, &enabled, &checked);
    EXPECT_FALSE(enabled);
    f->GetCommandState(ID_APP_EXIT, &enabled, &checked);
    EXPECT_FALSE(enabled);
    CTavloBookmarkItem added(CVornString(kBoard), CVornString("N"), 1, CVornString("T"),
                             CVornString("1720009999"), CVornString(kBoardUrl));
    f->SendMessage(TAVLO_WM_ADDBOOKMARK, 0, reinterpret_cast<intptr_t>(&added));
    EXPECT_EQ(bm()->GetItemCount(), n + 1);
    boxes.boxes.clear();

    CVornTime timer;
    f->OnCommand(ID_CANCEL);
    ASSERT_EQ(f->GetCancelFlag(), 1);
    // Progress of the check arriving after the cancel leaves it cancelled.
    if (bm()->IsChecking()) {
        f->SendMessage(TAVLO_WM_PROGRESS, 5, n);
        EXPECT_EQ(f->GetCancelFlag(), 1);
    }
    ASSERT_TRUE(PumpUntil([&] { return !bm()->IsChecking(); }, 20000));
    EXPECT_EQ(boxes.texts(), std::vector<QString>{U("キャンセルしますか？")});
    // No fetch starts afterwards, and not every thread was asked for.
    const size_t asked = fx.sim.requests().size();
    Pump(400);
    EXPECT_EQ(fx.sim.requests().size(), asked);
    EXPECT_LT(serverLoad().second, n);
    for (int i = 0; i < n; ++i) {
        std::string local = ReadAll(logPath(i));
        EXPECT_GE(local.size(), before[i].size()) << i;
        EXPECT_EQ(ctl("dat", i).compare(0, local.size(), local), 0) << i;
        EXPECT_EQ(local.back(), '\n') << i;
    }
    // The one added meanwhile is saved with the rest.
    EXPECT_NE(ReadAll(fx.root() + "/bookmark2.txt").find("1720009999"), std::string::npos);

    // A new check after the cancel runs to its end.
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(ctl("mode", i, "&mode="), "ok");
    checkAll();
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(ReadAll(logPath(i)), ctl("dat", i)) << i;
}

TEST_F(Check, AThreadOpenInATabIsFetchedOnceAndTheTabFollowsTheCheck) {
    makeBookmarks(3, 30);
    f->OnCommand(ID_JUMP);
    f->GetJumpBar()->GetCombo()->setEditText(QString::fromStdString(
        std::string("http://") + kHost + "/test/read.cgi/" + kBoard + "/" + key(1) + "/"));
    f->GetJumpBar()->GetOkButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return view()->GetTabCount() == 1 && !view()->IsBusy(); }));
    ASSERT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 30);

    // The check fetches the open thread; its tab takes the new posts.
    ASSERT_EQ(ctl("append", 1, "&n=5"), "ok");
    checkAll();
    EXPECT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 35);
    EXPECT_EQ(ReadAll(logPath(1)), ctl("dat", 1));

    // While the tab fetches the thread itself, the check leaves it alone.
    ASSERT_EQ(ctl("append", 1, "&n=200"), "ok");
    ASSERT_EQ(ctl("mode", 1, "&mode=slow&delay=20"), "ok");
    fx.sim.clearRequests();
    f->SwitchView(TAVLO_VIEW_THREAD);
    f->OnCommand(ID_RELOAD);
    ASSERT_TRUE(PumpUntil([&] { return view()->IsBusy(); }, 2000));
    checkAll();
    EXPECT_TRUE(view()->IsBusy());
    ASSERT_TRUE(PumpUntil([&] { return !view()->IsBusy(); }, 30000));
    EXPECT_EQ(serverLoad(key(1)).second, 1);
    EXPECT_EQ(serverLoad().second, 3);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 235);
    EXPECT_EQ(ReadAll(logPath(1)), ctl("dat", 1));
    EXPECT_EQ(entry(1)->IsError(), 0);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Check, TheNextBookmarkWithNewPostsIsOfferedAfterReadingAThreadToItsEnd) {
    makeBookmarks(3, 5);
    checkAll();
    // The second one is read already; the first and the third have new posts.
    markRead(1);
    f->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
    ASSERT_EQ(entry(1)->IsUpdated(), 0);
    ASSERT_EQ(entry(2)->IsUpdated(), 1);

    bm()->SelectRow(rowOf(0));
    bm()->OpenSelectedItem();
    ASSERT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    ASSERT_TRUE(PumpUntil([&] { return view()->GetTabCount() == 1 && !view()->IsBusy(); }));
    // Reading on with the Next key until the end.
    for (int press = 0; press < 30 && boxes.count() == 0; ++press) {
        f->DispatchKey(39);
        Pump(20);
    }
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("次の新着ブックマークを開きますか？"));
    ASSERT_TRUE(PumpUntil([&] { return view()->GetTabCount() == 2; }));
    EXPECT_EQ(view()->GetCurrentCtrl()->GetKey(), CVornString(key(2)));
}

TEST_F(Check, ClosingTheWindowDuringACheckEndsPromptly) {
    CTavloSettings::Instance().SetInt("ThreadMax", 3);
    makeBookmarks(8, 10);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(ctl("mode", i, "&mode=hang"), "ok");
    ASSERT_TRUE(bm()->StartCheck());
    ASSERT_TRUE(PumpUntil([&] { return entry(2)->IsChecking() == 1; }, 5000));
    CVornTime timer;
    f->close();
    run.app.ExitInstance();
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_LT(serverLoad().second, 8);
}

} // namespace
