#include "../bbs/fetch_support.h"
#include "tavlo_board_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_dat_view.h"
#include "tavlo_grep_dialog.h"
#include "tavlo_hand_off.h"
#include "tavlo_info_file.h"
#include "tavlo_ng_file.h"
#include "tavlo_path.h"
#include "view_test_util.h"
#include "vorn_kcode.h"
#include "vorn_winsock.h"
#include "window_thread_frame.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// The main frame as far as the thread view needs one: view messages go back to the view,
// everything else is recorded.
class TestFrame : public CTavloWindowThreadFrame {
public:
    // With a hand-off (as the main frame has one) a worker does not wait for its block
    // messages to be handled.
    void QueueMessages(const Message* list, int count) override {
        if (!handOff) {
            CTavloWindow::QueueMessages(list, count);
            return;
        }
        for (int i = 0; i < count; ++i) {
            CTavloHandOff::Item item{list[i].message, list[i].wParam, list[i].lParam};
            handOff->Queue(&item, 1);
        }
    }
    void UseHandOff() {
        handOff = std::make_unique<CTavloHandOff>(
            qApp, [this](const CTavloHandOff::Item& m) { handle(m.message, m.wParam, m.lParam); },
            [this](const CTavloHandOff::Item& m) {
                ++dropped;
                delete reinterpret_cast<CTavloMessage*>(m.lParam);
            });
    }
    intptr_t handle(unsigned message, uintptr_t w, intptr_t l) override {
        switch (message) {
        case TAVLO_WM_VIEWMESSAGE: {
            auto* m = reinterpret_cast<CTavloMessage*>(l);
            types.push_back(m->Type);
            if (view)
                view->OnViewMessage(m, cancelFlag);
            delete m;
            break;
        }
        case TAVLO_WM_PROGRESS:
            progress.push_back(QString("%1/%2").arg(w).arg(l));
            break;
        case TAVLO_WM_SHOWERROR:
            errors.push_back(static_cast<int>(w));
            break;
        case TAVLO_WM_OPENURL:
        case TAVLO_WM_READTOEND: {
            auto* s = reinterpret_cast<CVornString*>(l);
            (message == TAVLO_WM_OPENURL ? urls : readToEnd).push_back(s->str());
            delete s;
            break;
        }
        case TAVLO_WM_LOGCLOSED:
            closed.push_back(reinterpret_cast<CVornString*>(l)->str());
            break;
        default:
            others.push_back(message);
            break;
        }
        return 0;
    }
    std::unique_ptr<CTavloHandOff> handOff;
    std::atomic<int> dropped{0};
    CTavloDatView* view = nullptr;
    int cancelFlag = 0;
    std::vector<int> types, errors;
    std::vector<unsigned> others;
    std::vector<QString> progress;
    std::vector<std::string> urls, readToEnd, closed;
};

const char kBoardUrl[] = "http://news.example-bbs.test/test/";

std::string post(int n, const char* name = "名無しさん", const char* mail = "",
                 const std::string& body = "", const char* id = nullptr) {
    std::string b = body.empty() ? "本文 " + std::to_string(n) : body;
    std::string idText = id ? id : ("ID" + std::to_string(n % 3));
    std::string title = n == 1 ? "テストスレッド" : "";
    return Sjis(name) + "<>" + mail + "<>" + Sjis("2009/01/01(木) 12:00:00 ID:") + idText + "<> " +
           Sjis(b.c_str()) + " <>" + Sjis(title.c_str()) + "\n";
}

class DatView : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<CTavloDatView>(&frame);
        frame.view = view.get();
        view->resize(500, 400);
        view->show();
    }
    void TearDown() override {
        frame.view = nullptr;
        view.reset();
    }
    std::string logPath(const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    void writeLog(const std::string& key, const std::string& text) {
        std::string path = logPath(key);
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(path)).c_str());
        WriteAll(path, text);
    }
    std::string thread(int posts) {
        std::string text;
        for (int i = 1; i <= posts; ++i)
            text += post(i);
        return text;
    }
    int open(const std::string& key, int number = 0) {
        return view->OpenThread(CVornString(""), CVornString(key), CVornString(kBoardUrl),
                                CVornString("test"), number);
    }
    CTavloDatCtrl* ctrl() { return view->GetCurrentCtrl(); }
    bool vk(int code, Qt::KeyboardModifiers m = Qt::NoModifier) { return view->OnKeyDown(code, m); }

    ViewEnv env;
    TestFrame frame;
    std::unique_ptr<CTavloDatView> view;
};

TEST_F(DatView, TabsOpenSelectWrapAndRespectTheLimit) {
    for (int k = 1; k <= 5; ++k)
        writeLog(std::to_string(1000 + k), thread(3));
    ASSERT_EQ(open("1001"), 1);
    EXPECT_EQ(view->ThreadTitles()[0].toStdString(), "テストスレッド");
    ASSERT_EQ(open("1002"), 1);
    ASSERT_EQ(open("1003"), 1);
    EXPECT_EQ(view->GetCurrentTab(), 2);
    // Open again: only selected.
    ASSERT_EQ(open("1001", 2), 1);
    EXPECT_EQ(view->GetTabCount(), 3);
    EXPECT_EQ(view->GetCurrentTab(), 0);
    EXPECT_EQ(ctrl()->GetTopPost(), 2);
    view->PrevTab(); // wraps to the last
    EXPECT_EQ(view->GetCurrentTab(), 2);
    view->NextTab(); // wraps to the first
    EXPECT_EQ(view->GetCurrentTab(), 0);

    ASSERT_EQ(open("1004"), 1);
    ASSERT_EQ(open("1005"), 1); // TabMax 4: the earliest goes
    EXPECT_EQ(view->GetTabCount(), 4);
    EXPECT_EQ(view->FindThread(CVornString(kBoardUrl), CVornString("1001")), -1);
    ASSERT_EQ(frame.closed.size(), 1u);
    EXPECT_EQ(frame.closed[0], logPath("1001"));

    // A thread being updated stays open; the new tab comes anyway.
    view->GetCtrl(0)->SetUpdating(true);
    writeLog("1006", thread(2));
    ASSERT_EQ(open("1006"), 1);
    EXPECT_EQ(view->GetTabCount(), 5);
    EXPECT_EQ(view->CloseTab(0), 0);
    view->GetCtrl(0)->SetUpdating(false);

    // Closing the first of several selects the new first; closing another the one before.
    view->SelectTab(0);
    ASSERT_EQ(view->CloseTab(0), 1);
    EXPECT_EQ(view->GetCurrentTab(), 0);
    view->SelectTab(1);
    ASSERT_EQ(view->CloseTab(1), 1);
    EXPECT_EQ(view->GetCurrentTab(), 0);
    EXPECT_EQ(view->CloseTab(99), 0);
}

TEST_F(DatView, AnchorsBackAndTheEndOfTheThread) {
    std::string text;
    for (int i = 1; i <= 40; ++i)
        text += post(i, "名無しさん", "", i == 3 ? "＞＞２５ 全角" : "");
    writeLog("2001", text);
    ASSERT_EQ(open("2001"), 1);
    CTavloDatCtrl* c = ctrl();
    ASSERT_EQ(c->GetPostCount(), 40);
    int top = c->GetTextCtrl()->GetTopLine();
    EXPECT_TRUE(c->OpenLinkText(u">>5"));
    EXPECT_EQ(c->GetTopPost(), 5);
    EXPECT_TRUE(c->OpenLinkText(u"＞＞２５"));
    EXPECT_EQ(c->GetTopPost(), 25);
    EXPECT_TRUE(vk(8)); // Back
    EXPECT_EQ(c->GetTopPost(), 5);
    EXPECT_TRUE(vk(8));
    EXPECT_EQ(c->GetTextCtrl()->GetTopLine(), top);
    EXPECT_FALSE(c->Back()); // empty history: nothing
    EXPECT_EQ(c->GetTextCtrl()->GetTopLine(), top);

    // A URL goes to the frame.
    EXPECT_TRUE(c->OpenLinkText(u"ttp://example.com/x"));
    QCoreApplication::processEvents();
    ASSERT_EQ(frame.urls.size(), 1u);
    EXPECT_EQ(frame.urls[0], "ttp://example.com/x");

    // Next post to the last line, then once more: nothing moves and the frame is told.
    EXPECT_TRUE(vk('N')); // last post
    EXPECT_EQ(c->GetTopPost(), 40);
    int guard = 0;
    while (c->NextPost() && ++guard < 100) {
    }
    EXPECT_EQ(c->GetTextCtrl()->GetTopLine(), c->GetTextCtrl()->GetLineCount() - 1);
    EXPECT_TRUE(vk(39));
    QCoreApplication::processEvents();
    ASSERT_EQ(frame.readToEnd.size(), 1u);
    EXPECT_EQ(frame.readToEnd[0], logPath("2001"));
    EXPECT_TRUE(vk('P'));
    EXPECT_EQ(c->GetTopPost(), 1);
    EXPECT_TRUE(vk(39));
    EXPECT_EQ(c->GetTopPost(), 2);
    EXPECT_TRUE(vk(37));
    EXPECT_EQ(c->GetTopPost(), 1);
}

TEST_F(DatView, GrepsAndCopies) {
    std::string text;
    text += post(1, "名無しさん", "", "最初", "AAA");
    text += post(2, "コテ", "", ">>1 です", "BBB");
    text += post(3, "名無しさん", "sage", ">>10 だけ", "AAA");
    text += post(4, "コテ", "", "＞１ 全角", "CCC");
    for (int i = 5; i <= 10; ++i)
        text += post(i, "名無しさん", "", "", "DDD");
    writeLog("3001", text);
    ASSERT_EQ(open("3001"), 1);
    CTavloDatCtrl* c = ctrl();
    EXPECT_EQ(c->GrepByRefer(1), (std::vector<int>{2, 4}));
    c->JumpNumber(1, false);
    EXPECT_EQ(c->GrepById(), (std::vector<int>{1, 3}));
    EXPECT_EQ(c->GrepByName(), (std::vector<int>{1, 3, 5, 6, 7, 8, 9, 10}));
    c->JumpNumber(2, false);
    EXPECT_EQ(c->GrepByName(), (std::vector<int>{2, 4}));
    EXPECT_EQ(c->GetPostText(2),
              u"[2]コテ<>\r\n2009/01/01(木) 12:00:00 ID:BBB\r\n>>1 です \r\n\r\n");

    // Grep by refer from the keys shows the window; jumping from it moves the thread.
    CTavloSettings::Instance().SetKey(CTavloSettings::CMD_GREPREFER, 'K');
    c->JumpNumber(1, false);
    EXPECT_TRUE(vk('K'));
    CTavloGrepDialog* grep = view->GetGrepDialog();
    ASSERT_NE(grep, nullptr);
    EXPECT_EQ(grep->GetNumbers(), (std::vector<int>{2, 4}));
    EXPECT_EQ(grep->AllText(), c->GetPostText(2) + c->GetPostText(4));
    grep->GetPostCtrl()->JumpNumber(2, false);
    EXPECT_EQ(grep->CurrentNumber(), 4);
    grep->OnCommand(CTavloGrepDialog::ID_GREP_JUMP);
    EXPECT_EQ(c->GetTopPost(), 4);

    c->JumpNumber(3, false);
    EXPECT_EQ(c->GetInformationText(),
              u"テストスレッド\r\nhttp://news.example-bbs.test/test/read.cgi/test/3001/3-\r\n");
    c->CopyInformation();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdU16String(), c->GetInformationText());
    c->CopyMessage();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdU16String(), c->GetPostText(3));
}

TEST_F(DatView, GrepJumpAfterItsTabWasClosedDoesNothing) {
    writeLog("4101", thread(6));
    writeLog("4102", thread(6));
    ASSERT_EQ(open("4101"), 1);
    ctrl()->JumpNumber(1, false);
    ctrl()->Grep(CTavloDatCtrl::GREP_NAME);
    CTavloGrepDialog* grep = view->GetGrepDialog();
    ASSERT_NE(grep, nullptr);
    ASSERT_EQ(open("4102"), 1);
    view->CloseTab(0);
    ASSERT_EQ(view->GetTabCount(), 1);
    int top = ctrl()->GetTopPost();
    if ((grep = view->GetGrepDialog()) != nullptr) {
        grep->GetPostCtrl()->JumpNumber(3, false);
        grep->OnCommand(CTavloGrepDialog::ID_GREP_JUMP); // read freed memory before
    }
    EXPECT_EQ(ctrl()->GetTopPost(), top);
}

TEST_F(DatView, GrepWindowTakesItsKeysFromItsTextControlAndAnchorsGoToThePostOfTheThread) {
    std::string text;
    for (int i = 1; i <= 12; ++i) {
        bool named = i == 2 || i == 5 || i == 7 || i == 9;
        text += post(i, named ? "コテ" : "名無しさん", "", i == 9 ? ">>3 を見よ" : "");
    }
    writeLog("4201", text);
    ASSERT_EQ(open("4201"), 1);
    CTavloDatCtrl* c = ctrl();
    c->JumpNumber(2, false);
    c->Grep(CTavloDatCtrl::GREP_NAME);
    CTavloGrepDialog* grep = view->GetGrepDialog();
    ASSERT_NE(grep, nullptr);
    ASSERT_EQ(grep->GetNumbers(), (std::vector<int>{2, 5, 7, 9}));
    // The keys arrive where the window system delivers them: at the post control's text.
    CTavloTextCtrl* text_ = grep->GetPostCtrl()->GetTextCtrl();
    grep->resize(500, 120);
    QTest::keyClick(text_, Qt::Key_Right); // KeyNext
    EXPECT_EQ(grep->CurrentNumber(), 5);
    QTest::keyClick(text_, Qt::Key_Right);
    EXPECT_EQ(grep->CurrentNumber(), 7);
    QTest::keyClick(text_, Qt::Key_Left); // KeyPrev
    EXPECT_EQ(grep->CurrentNumber(), 5);
    int top = text_->GetTopLine();
    QTest::keyClick(text_, Qt::Key_Down); // KeyNextLine
    EXPECT_EQ(text_->GetTopLine(), top + 1);
    QTest::keyClick(text_, Qt::Key_Up); // KeyPrevLine
    EXPECT_EQ(text_->GetTopLine(), top);

    // ">>3" in the fourth extracted post names post 3 of the thread, not the third entry.
    c->JumpNumber(10, false);
    size_t at = text_->GetText().find(u">>3");
    ASSERT_NE(at, std::u16string::npos);
    grep->GetPostCtrl()->ClickAt(at + 2);
    EXPECT_FALSE(grep->isVisible());
    EXPECT_EQ(c->GetTopPost(), 3);
    EXPECT_TRUE(c->Back()); // an anchor jump keeps the way back
    EXPECT_EQ(c->GetTopPost(), 10);
}

TEST_F(DatView, HiddenAbonedPostsAreSkippedByTheKeys) {
    std::string text;
    for (int i = 1; i <= 10; ++i)
        text += post(i, "名無しさん", "", i >= 9 || i == 1 ? "NGWORD" : "");
    writeLog("4001", text);
    WriteAll(env.root + "/ngword.txt", "\tNGWORD\n");
    CTavloNgFile::Destroy();
    ASSERT_EQ(open("4001"), 1);
    CTavloDatCtrl* c = ctrl();
    ASSERT_TRUE(c->GetHideAboned());
    EXPECT_EQ(c->GetPostCount(), 10); // numbering never shifts
    EXPECT_TRUE(vk('N'));
    EXPECT_EQ(c->GetTopPost(), 8);
    EXPECT_TRUE(vk('P'));
    EXPECT_EQ(c->GetTopPost(), 2);
    c->ToggleHideAboned();
    EXPECT_TRUE(vk('N'));
    EXPECT_EQ(c->GetTopPost(), 10);
}

TEST_F(DatView, PositionSurvivesClosingAndReopening) {
    writeLog("5001", thread(30));
    ASSERT_EQ(open("5001"), 1);
    ctrl()->JumpNumber(17, true);
    ctrl()->RaiseFurthestRead(); // as a key that moved there does
    view->CloseTab(0);
    CTavloInfoFile info;
    ASSERT_TRUE(CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString("5001"), info));
    EXPECT_EQ(info.Number, 17);
    EXPECT_EQ(info.Max, 17);
    view = std::make_unique<CTavloDatView>(&frame);
    frame.view = view.get();
    view->resize(500, 400);
    view->show();
    ASSERT_EQ(open("5001"), 1);
    EXPECT_EQ(ctrl()->GetTopPost(), 17);
}

TEST_F(DatView, SwitchingTabsWritesThePositionOfTheThreadLeft) {
    writeLog("5101", thread(30));
    writeLog("5102", thread(3));
    ASSERT_EQ(open("5101"), 1);
    ctrl()->JumpNumber(12, false);
    ASSERT_EQ(open("5102"), 1); // a tab switch, as F would do
    CTavloInfoFile info;
    ASSERT_TRUE(CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString("5101"), info));
    EXPECT_EQ(info.Number, 12);
    view->SelectTab(0);
    ctrl()->JumpNumber(20, false);
    view->NextTab();
    ASSERT_TRUE(CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString("5101"), info));
    EXPECT_EQ(info.Number, 20);
}

TEST_F(DatView, AddingAnNgWordReportsTheSaveAndLeavesAFetchAlone) {
    writeLog("5201", thread(5));
    ASSERT_EQ(open("5201"), 1);
    std::vector<std::pair<QString, QString>> boxes;
    TavloSetMessageBoxHook([&](const QString& text, const QString& caption, int) {
        boxes.emplace_back(text, caption);
        return TAVLO_IDOK;
    });
    CTavloTextCtrl* t = ctrl()->GetTextCtrl();
    t->SetSel(0, 3);
    ctrl()->SetUpdating(true);
    view->AddSelectionToNg();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, QString::fromUtf8("NGワードに追加しました"));
    EXPECT_EQ(boxes[0].second, "tavlo/0.0.15");
    // The rule is stored; the open thread was not read again under the fetch.
    EXPECT_EQ(CTavloNgFile::Instance().GetRowCount(), 1);
    EXPECT_EQ(ctrl()->GetPostCount(), 5);

    // A save that fails is shown, never taken for success.
    VornSetFileFault(VORN_FAULT_RENAME);
    t->SetSel(0, 2);
    view->AddSelectionToNg();
    VornSetFileFault(VORN_FAULT_NONE);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].first, QString::fromUtf8("ファイル書き込みエラー"));
    ctrl()->SetUpdating(false);
    CTavloBookmarkFile::Instance().Load(CVornString(env.root + "/bookmark2.txt"));
    VornSetFileFault(VORN_FAULT_RENAME);
    view->AddBookmark();
    VornSetFileFault(VORN_FAULT_NONE);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].first, QString::fromUtf8("ファイル書き込みエラー"));
    TavloSetMessageBoxHook(nullptr);
    CTavloBookmarkFile::Destroy();
    CTavloNgFile::Destroy();
}

TEST_F(DatView, DeleteAsksThenRemovesFilesAndTab) {
    writeLog("6001", thread(3));
    ASSERT_EQ(open("6001"), 1);
    ctrl()->Write(true);
    EXPECT_FALSE(view->DeleteThread()); // the hook answers No
    EXPECT_TRUE(VornFileExists(logPath("6001").c_str()));
    TavloSetMessageBoxHook([](const QString& text, const QString&, int) {
        return text == QString::fromUtf8("このスレッドを削除しますか？") ? TAVLO_IDYES : TAVLO_IDNO;
    });
    EXPECT_TRUE(view->DeleteThread());
    EXPECT_FALSE(VornFileExists(logPath("6001").c_str()));
    EXPECT_FALSE(VornFileExists(
        CTavloPath::GetInfoPath(CVornString(kBoardUrl), CVornString("6001")).c_str()));
    EXPECT_EQ(view->GetTabCount(), 0);
}

TEST_F(DatView, DeleteOfAThreadWhoseBoardMovedRemovesTheLogAtTheNewPlace) {
    writeLog("6002", thread(3));
    ASSERT_EQ(open("6002"), 1);
    // The board moves while the tab is open: its directory goes to the new host and the
    // board list names the new address for the same id.
    const CVornString moved("http://moved.example-bbs.test/test/");
    const CVornString oldLog = CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString("6002"));
    const CVornString newLog = CTavloPath::GetLogPath(moved, CVornString("6002"));
    ASSERT_TRUE(VornCreateDirectories(CTavloPath::GetDirectory(newLog).c_str()));
    ASSERT_EQ(std::rename(oldLog.c_str(), newLog.c_str()), 0);
    CTavloBoardFile boards;
    boards.AddRow({CVornString("news"), CVornString(), CVornString()});
    boards.AddRow({CVornString("test board"), moved, CVornString("test")});
    ASSERT_EQ(boards.Save(), 0);
    TavloSetMessageBoxHook([](const QString&, const QString&, int) { return TAVLO_IDYES; });
    EXPECT_TRUE(view->DeleteThread());
    EXPECT_FALSE(VornFileExists(newLog.c_str()));
    EXPECT_EQ(view->GetTabCount(), 0);
}

// Fetching through the board server: the tab fills while the fetch runs.
class DatViewFetch : public DatView {
protected:
    void SetUp() override {
        fx = std::make_unique<BoardFixture>();
        ViewApp();
        CTavloSettings::Instance().SetOnline(1);
        DatView::SetUp();
    }
    void TearDown() override {
        DatView::TearDown();
        fx.reset();
    }
    void waitIdle() {
        for (int i = 0; i < 2000 && (ctrl() && ctrl()->IsUpdating()); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
        QCoreApplication::processEvents();
    }
    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx->sim.control("/_ctl/" + op + "?host=news.example-bbs.test&board=test&key=" + key +
                               more);
    }
    std::unique_ptr<BoardFixture> fx;
};

TEST_F(DatViewFetch, ThreadArrivesAndOnlyNewPostsAreMarked) {
    ASSERT_TRUE(fx->sim.ok());
    ASSERT_EQ(ctl("create", "7001", "&posts=20"), "ok");
    ASSERT_EQ(open("7001"), 1);
    EXPECT_TRUE(ctrl()->IsUpdating());
    EXPECT_TRUE(view->IsBusy());
    waitIdle();
    ASSERT_FALSE(ctrl()->IsUpdating());
    EXPECT_EQ(ctrl()->GetPostCount(), 20);
    ASSERT_GE(frame.types.size(), 3u);
    EXPECT_EQ(frame.types.front(), CTavloMessage::TYPE_OPENFILE);
    EXPECT_EQ(frame.types.back(), CTavloMessage::TYPE_CLOSEFILE);
    EXPECT_FALSE(frame.progress.empty());
    EXPECT_NE(view->ThreadTitles()[0].toStdString(), "");
    for (int k = 1; k <= 20; ++k)
        EXPECT_EQ(ctrl()->GetHeaderMark(k) != 0, true);

    // Read to the end, close, three more posts arrive: only they are new on reopening.
    ctrl()->LastPost();
    view->CloseTab(0);
    ASSERT_EQ(ctl("append", "7001", "&n=3"), "ok");
    frame.types.clear();
    ASSERT_EQ(open("7001"), 1);
    waitIdle();
    CTavloDatCtrl* c = ctrl();
    ASSERT_EQ(c->GetPostCount(), 23);
    auto dateMark = [&](int k) {
        std::u16string d = c->GetPostDisplay(k);
        return d[d.find(u'\n') + 1];
    };
    EXPECT_EQ(dateMark(20), TAVLO_MARK_DATE);
    EXPECT_EQ(dateMark(21), TAVLO_MARK_DATE_NEW);
    EXPECT_EQ(dateMark(23), TAVLO_MARK_DATE_NEW);
    EXPECT_TRUE(frame.errors.empty());
}

// A body that trickles in: posts show while the transfer still runs, in order, and the
// progress and lines of each block reach the view as before (progress first).
TEST_F(DatViewFetch, ViewFollowsTheDownloadLive) {
    ASSERT_EQ(ctl("create", "7003", "&posts=200"), "ok");
    ASSERT_EQ(ctl("mode", "7003", "&mode=slow&delay=3"), "ok");
    ASSERT_EQ(open("7003"), 1);
    int shownWhileRunning = 0;
    for (int i = 0; i < 5000 && ctrl()->IsUpdating(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (ctrl()->IsUpdating() && ctrl()->GetPostCount() < 200)
            shownWhileRunning = std::max(shownWhileRunning, ctrl()->GetPostCount());
        QThread::msleep(1);
    }
    waitIdle();
    ASSERT_FALSE(ctrl()->IsUpdating());
    EXPECT_GT(shownWhileRunning, 0);
    EXPECT_EQ(ctrl()->GetPostCount(), 200);
    for (int k = 1; k <= 200; ++k)
        ASSERT_NE(ctrl()->GetHeaderMark(k), 0) << k;
    ASSERT_GE(frame.types.size(), 4u);
    EXPECT_EQ(frame.types.front(), CTavloMessage::TYPE_OPENFILE);
    EXPECT_EQ(frame.types.back(), CTavloMessage::TYPE_CLOSEFILE);
    // Every WRITEFILE follows the READURL of its block.
    for (size_t i = 1; i + 1 < frame.types.size(); ++i) {
        if (frame.types[i] == CTavloMessage::TYPE_WRITEFILE) {
            EXPECT_EQ(frame.types[i - 1], CTavloMessage::TYPE_READURL) << i;
        }
    }
    EXPECT_TRUE(frame.errors.empty());
}

// The same with the worker running ahead of the window: the blocks it read while the view
// was busy reach it together, still in order, and the close comes after the last one.
TEST_F(DatViewFetch, ViewFollowsTheDownloadLiveWhenTheWorkerRunsAhead) {
    frame.UseHandOff();
    ASSERT_EQ(ctl("create", "7004", "&posts=200"), "ok");
    ASSERT_EQ(ctl("mode", "7004", "&mode=slow&delay=3"), "ok");
    ASSERT_EQ(open("7004"), 1);
    int shownWhileRunning = 0;
    for (int i = 0; i < 5000 && ctrl()->IsUpdating(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (ctrl()->IsUpdating() && ctrl()->GetPostCount() < 200)
            shownWhileRunning = std::max(shownWhileRunning, ctrl()->GetPostCount());
        QThread::msleep(1);
    }
    waitIdle();
    ASSERT_FALSE(ctrl()->IsUpdating());
    EXPECT_GT(shownWhileRunning, 0);
    EXPECT_EQ(ctrl()->GetPostCount(), 200);
    for (int k = 1; k <= 200; ++k)
        ASSERT_NE(ctrl()->GetHeaderMark(k), 0) << k;
    ASSERT_GE(frame.types.size(), 4u);
    EXPECT_EQ(frame.types.front(), CTavloMessage::TYPE_OPENFILE);
    EXPECT_EQ(frame.types.back(), CTavloMessage::TYPE_CLOSEFILE);
    for (size_t i = 1; i + 1 < frame.types.size(); ++i) {
        if (frame.types[i] == CTavloMessage::TYPE_WRITEFILE) {
            EXPECT_EQ(frame.types[i - 1], CTavloMessage::TYPE_READURL) << i;
        }
    }
    EXPECT_EQ(frame.dropped.load(), 0);
    EXPECT_TRUE(frame.errors.empty());
}

// Closing the view while blocks are queued for it: the fetch stops, what was queued still
// reaches the view before it goes, nothing is handed to it afterwards, and the log on disk
// holds whole lines only.
TEST_F(DatViewFetch, ClosingTheViewWhileBlocksAreQueued) {
    frame.UseHandOff();
    ASSERT_EQ(ctl("create", "7005", "&posts=3000"), "ok");
    ASSERT_EQ(ctl("mode", "7005", "&mode=slow&delay=1"), "ok");
    ASSERT_EQ(open("7005"), 1);
    // Some blocks are in; the window thread then stops serving for a moment, so that more
    // pile up in the queue.
    for (int i = 0; i < 5000 && ctrl()->GetPostCount() == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    ASSERT_GT(ctrl()->GetPostCount(), 0);
    for (int i = 0; i < 5000 && frame.handOff->Pending() == 0; ++i)
        QThread::msleep(1);
    EXPECT_GT(frame.handOff->Pending(), 0);
    frame.cancelFlag = 1;
    view.reset(); // waits for its worker, serving it meanwhile
    frame.view = nullptr;
    EXPECT_EQ(frame.handOff->Pending(), 0);
    const size_t handled = frame.types.size();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.types.size(), handled);
    ASSERT_FALSE(frame.types.empty());
    EXPECT_EQ(frame.types.back(), CTavloMessage::TYPE_CLOSEFILE);
    std::string stored = ReadAll(logPath("7005"));
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back(), '\n');
}

TEST_F(DatViewFetch, FailuresAreReportedAndNothingIsLost) {
    ASSERT_EQ(ctl("create", "7002", "&posts=5"), "ok");
    ASSERT_EQ(open("7002"), 1);
    waitIdle();
    std::string stored = ReadAll(logPath("7002"));
    ASSERT_EQ(ctl("mode", "7002", "&mode=gone"), "ok");
    view->StartUpdate(ctrl());
    waitIdle();
    ASSERT_EQ(frame.errors.size(), 1u);
    EXPECT_EQ(frame.errors[0], -104);
    EXPECT_EQ(ReadAll(logPath("7002")), stored);
    EXPECT_EQ(ctrl()->GetPostCount(), 5);
}

} // namespace

namespace {
TEST_F(DatView, ScreenshotOfTabsAndGrepWindow) {
    std::string text;
    text += post(1, "名無しさん", "", "スレ立てました http://example.com/", "AAA");
    text += post(2, "名無しさん", "sage", ">>1 乙です", "BBB");
    text += post(3, "通りすがり", "mail", ">>1 ありがとう<br>>引用した文", "AAA");
    text += post(4, "名無しさん", "", "ソフト表示の能力は十分", "CCC");
    writeLog("8001", text);
    writeLog("8002", thread(5));
    view->resize(560, 420);
    ASSERT_EQ(open("8002"), 1);
    ASSERT_EQ(open("8001"), 1);
    QCoreApplication::processEvents();
    std::string dir = std::string(TAVLO_BINARY_DIR) + "/artifacts";
    VornCreateDirectories(dir.c_str());
    QImage shot = view->grab().toImage();
    ASSERT_TRUE(shot.save(QString::fromStdString(dir + "/thread_tabs.png")));
    printf("artifact: %s/thread_tabs.png\n", dir.c_str());
    ctrl()->JumpNumber(1, false);
    ctrl()->Grep(CTavloDatCtrl::GREP_REFER);
    ASSERT_NE(view->GetGrepDialog(), nullptr);
    view->GetGrepDialog()->resize(480, 240);
    QCoreApplication::processEvents();
    QImage grep = view->GetGrepDialog()->grab().toImage();
    ASSERT_TRUE(grep.save(QString::fromStdString(dir + "/grep_window.png")));
    printf("artifact: %s/grep_window.png\n", dir.c_str());
    // The selected tab's label is drawn in the active colour (red by default).
    bool red = false;
    for (int y = 0; y < 20 && !red; ++y)
        for (int x = 0; x < shot.width() && !red; ++x) {
            QColor px = shot.pixelColor(x, y);
            red = px.red() > 180 && px.green() < 90 && px.blue() < 90;
        }
    EXPECT_TRUE(red);
}
} // namespace
