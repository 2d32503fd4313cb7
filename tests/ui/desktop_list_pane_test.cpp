// The desktop layout's list pane when a thread is opened while it has no board, as after a
// restart that reopens only a thread: it shows the thread's board from the store, offline
// without a fetch or a question; the shown view, the history and the title stay the thread's.
#include "list_shell_util.h"

#include "tavlo_desktop_layout.h"
#include "tavlo_message.h"
#include "vorn_file.h"

#include <filesystem>

namespace {

constexpr const char* kKey = "1700000000";

class DesktopListPane : public ListShell {
protected:
    DesktopListPane() {
        writeBoards("board.txt", {{"ニュース", "", ""}, {"ニュース速報", kNewsUrl, "news"}});
    }
    void startIn(int desktop, int online) {
        CTavloSettings::Instance().SetInt("DesktopLayout", desktop);
        start(online);
        f->resize(1280, 900);
        f->show();
        Pump(5);
    }
    std::string threadUrl() const {
        return std::string("http://news.example-bbs.test/test/read.cgi/news/") + kKey + "/";
    }
    // A stored thread of three posts, and the board's list when asked.
    void storeThread(bool withList) {
        const CVornString log = CTavloPath::GetLogPath(CVornString(kNewsUrl), CVornString(kKey));
        std::filesystem::create_directories(std::filesystem::path(log.str()).parent_path());
        std::string dat;
        for (int i = 1; i <= 3; ++i)
            dat += "名無しさん<><>2009/01/01(木) 12:00:0" + std::to_string(i) + " ID:abc<> 本文 " +
                   std::to_string(i) + " <>" + (i == 1 ? "保存したスレ" : "") + "\n";
        ASSERT_EQ(VornWriteFileAtomic(log.c_str(), VornUtf8ToSjis(dat)), 1);
        if (withList)
            WriteAll(localList(), fx.sim.get(std::string(kNewsUrl) + "subject.txt"));
    }
    std::string localList() const { return path("news.example-bbs.test/news/subject.txt"); }
    void openThread() {
        f->OpenUrl(CVornString(threadUrl()));
        ASSERT_TRUE(PumpUntil([&] { return idle() && f->Views().thread->GetTabCount() == 1; }));
    }
};

TEST_F(DesktopListPane, OfflineTheThreadsBoardComesFromTheStoreWithoutAFetch) {
    storeThread(true);
    startIn(1, 0);
    ASSERT_NE(f->GetDesktopLayout(), nullptr);
    ASSERT_FALSE(subject()->HasBoard());
    const std::vector<int> back = f->BackList();
    const size_t boxesBefore = boxes.count();
    const size_t requestsBefore = fx.sim.requests().size(); // the list stored above
    openThread();

    EXPECT_EQ(subject()->GetBoardUrl(), CVornString(kNewsUrl));
    EXPECT_EQ(subject()->GetItemCount(), 12);
    EXPECT_TRUE(subject()->isVisible());
    EXPECT_EQ(fx.sim.requests().size(), requestsBefore);
    EXPECT_EQ(boxes.count(), boxesBefore);
    // The thread stays the shown view and the title; the list is no step in the history.
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(f->windowTitle(), U("保存したスレ"));
    std::vector<int> expected = back;
    expected.push_back(TAVLO_VIEW_THREAD);
    EXPECT_EQ(f->BackList(), expected);
    // The list knows its board: Back to it and its reload work as after opening it.
    EXPECT_EQ(subject()->Title(), U("ニュース速報"));
}

TEST_F(DesktopListPane, OfflineWithoutAStoredListThePaneHasTheBoardButAsksNothing) {
    storeThread(false);
    startIn(1, 0);
    const size_t boxesBefore = boxes.count();
    openThread();
    EXPECT_TRUE(subject()->HasBoard());
    EXPECT_EQ(subject()->GetBoardUrl(), CVornString(kNewsUrl));
    EXPECT_EQ(subject()->GetItemCount(), 0);
    EXPECT_EQ(boxes.count(), boxesBefore); // no "fetch it?" question for a list not asked for
    EXPECT_EQ(fx.sim.requests().size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(localList()));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
}

TEST_F(DesktopListPane, OnlineTheListIsFetchedAsOpeningTheBoardWould) {
    ASSERT_EQ(ctl("create", std::string("host=news.example-bbs.test&board=news&key=") + kKey +
                                "&posts=5&title=" + enc("新しいスレ")),
              "ok");
    // The thread comes in slowly: the list finishing beside it must not take the title.
    ASSERT_EQ(ctl("mode", std::string("host=news.example-bbs.test&board=news&key=") + kKey +
                              "&mode=slow&delay=100"),
              "ok");
    startIn(1, 1);
    openThread();
    // Both transfers ended: the thread's title is known whichever came in last.
    ASSERT_TRUE(PumpUntil([&] {
        return idle() && !f->Views().thread->IsBusy() && subject()->GetItemCount() > 0;
    }));
    EXPECT_EQ(subject()->GetBoardUrl(), CVornString(kNewsUrl));
    EXPECT_EQ(requestsFor("subject.txt"), 1);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(f->windowTitle(), U("新しいスレ"));
}

TEST_F(DesktopListPane, AListAlreadyShownStaysAndTheSingleViewIsUntouched) {
    storeThread(true);
    // Another board in the list pane: a thread of news does not replace it.
    writeBoards("board.txt",
                {{"ニュース", "", ""},
                 {"ニュース速報", kNewsUrl, "news"},
                 {"ニュース速報+", "http://news.example-bbs.test/newsplus/", "newsplus"}});
    const std::string plus = path("news.example-bbs.test/newsplus/subject.txt");
    std::filesystem::create_directories(std::filesystem::path(plus).parent_path());
    WriteAll(plus, VornUtf8ToSjis("1600000000.dat<>別の板のスレ (3)\n"));
    startIn(1, 0);
    CTavloBoardRef ref{CVornString(VornUtf8ToSjis("ニュース速報+")),
                       CVornString("http://news.example-bbs.test/newsplus/"),
                       CVornString("newsplus")};
    f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&ref));
    ASSERT_EQ(subject()->GetItemCount(), 1);
    openThread();
    EXPECT_EQ(subject()->GetBoardUrl(), CVornString("http://news.example-bbs.test/newsplus/"));
    EXPECT_EQ(subject()->GetItemCount(), 1);
}

TEST_F(DesktopListPane, TheSingleViewOpensTheThreadAlone) {
    storeThread(true);
    startIn(0, 0);
    openThread();
    EXPECT_FALSE(subject()->HasBoard());
    EXPECT_FALSE(subject()->isVisible());
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
}

} // namespace
