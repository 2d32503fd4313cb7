// Keys as the window system delivers them: to the focused widget first, then, when unused, to
// each parent in turn. The bars' combo boxes hand keys on to their line edits by a direct call,
// so keys here are sent to the combo box, never to the line edit.
#include "tavlo_jump_dialog.h"
#include "tavlo_keys.h"
#include "tavlo_menu.h"
#include "tavlo_placeholder_views.h"
#include "tavlo_search_dialog.h"
#include "tavlo_settings.h"
#include "ui_test_util.h"
#include "vorn_async_socket.h"
#include "vorn_kcode.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A board tree that records the keys that reach it.
class KeyBoard : public CTavloBoardPlaceholder {
public:
    using CTavloBoardPlaceholder::CTavloBoardPlaceholder;
    bool OnKeyDown(int vk, Qt::KeyboardModifiers) override {
        keys.push_back(vk);
        return true;
    }
    std::vector<int> keys;
};

class FrameKeys : public ::testing::Test {
protected:
    void SetUp() override {
        WriteIni(dir.file("tavlo.ini"), {"RootDirectory=" + dir.file("logs")});
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        ASSERT_NE(f, nullptr);
        CTavloFrameViews v = f->Views();
        board = new KeyBoard(f, f->GetClient());
        v.board = board;
        v.subject = new CTavloSubjectPlaceholder(f, f->GetClient());
        v.thread = new CTavloThreadPlaceholder(f, f->GetClient());
        f->SetViews(v);
        f->ShowView(TAVLO_VIEW_BOARD);
        boxes.boxes.clear();
    }
    // The socket callback's user is the frame as a window.
    void* window() { return static_cast<CTavloWindow*>(f); }
    CTavloThreadPlaceholder* thread() {
        return static_cast<CTavloThreadPlaceholder*>(f->Views().thread);
    }
    // Types into a bar's combo box the way a key press arrives.
    static void type(QComboBox* combo, const char* utf8) { QTest::keyClicks(combo, U(utf8)); }

    TempDir dir;
    BoxLog boxes;
    ShellRun run{dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
    KeyBoard* board = nullptr;
};

TEST_F(FrameKeys, ReturnInTheBarsActsThereAndNeverReachesTheView) {
    f->OnCommand(ID_JUMP);
    QComboBox* jump = f->GetJumpBar()->GetCombo();
    type(jump, "http://news.example-bbs.test/test/read.cgi/news/1600000000/");
    QTest::keyClick(jump, Qt::Key_Return);
    EXPECT_EQ(thread()->LastRequest().toStdString(),
              "スレッド: http://news.example-bbs.test/news/1600000000 (0)");
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_TRUE(board->keys.empty());

    f->SwitchView(TAVLO_VIEW_BOARD);
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
    QComboBox* search = f->GetSearchBar()->GetCombo();
    type(search, "abc");
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(static_cast<CTavloBoardPlaceholder*>(board)->LastRequest().toStdString(),
              "検索: abc (0)");
    QTest::keyClick(search, Qt::Key_Enter, Qt::KeypadModifier);
    // Neither Return went on to the board tree.
    EXPECT_TRUE(board->keys.empty()) << board->keys.front();
    EXPECT_EQ(boxes.count(), 0u) << boxes.boxes.front().text.toStdString();
}

TEST_F(FrameKeys, BarsReopenWithTheLastEntrySelectedSoThatTypingReplacesIt) {
    f->OnCommand(ID_JUMP);
    QComboBox* jump = f->GetJumpBar()->GetCombo();
    type(jump, "http://news.example-bbs.test/test/read.cgi/news/1600000000/");
    QTest::keyClick(jump, Qt::Key_Return);
    ASSERT_FALSE(f->IsBarShown(CMainFrame::BAR_JUMP));
    f->OnCommand(ID_JUMP);
    EXPECT_EQ(jump->lineEdit()->selectedText(),
              U("http://news.example-bbs.test/test/read.cgi/news/1600000000/"));
    type(jump, "http://news.example-bbs.test/test/read.cgi/news/1600000100/");
    EXPECT_EQ(jump->currentText(),
              U("http://news.example-bbs.test/test/read.cgi/news/1600000100/"));
    QTest::keyClick(jump, Qt::Key_Escape);

    f->SwitchView(TAVLO_VIEW_BOARD);
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
    QComboBox* search = f->GetSearchBar()->GetCombo();
    type(search, "first");
    QTest::keyClick(search, Qt::Key_Return);
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 0);
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
    EXPECT_EQ(search->lineEdit()->selectedText(), U("first"));
    type(search, "second");
    EXPECT_EQ(search->currentText(), U("second"));
}

TEST_F(FrameKeys, F10OpensTheMenuBarUnlessItIsBound) {
    QTest::keyClick(board, Qt::Key_F10);
    EXPECT_TRUE(board->keys.empty());
    ASSERT_NE(f->menuBar()->activeAction(), nullptr);
    EXPECT_EQ(f->menuBar()->activeAction()->menu(), f->GetActionMenu());
    // Right goes on to the main menu, where Quit is.
    ASSERT_TRUE(PumpUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    EXPECT_TRUE(PumpUntil([&] {
        return f->menuBar()->activeAction() &&
               f->menuBar()->activeAction()->menu() == f->GetMainMenu();
    }));
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([] { return QApplication::activePopupWidget() == nullptr; }));
    // Escape again leaves the menu bar, and the keys go to the view again.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(f->menuBar()->activeAction(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), board);

    // Bound to a command, F10 is that command's key.
    QApplication::processEvents();
    f->menuBar()->setActiveAction(nullptr);
    CTavloSettings::Instance().Key[CTavloSettings::CMD_MENU] = TAVLO_VK_F1 + 9;
    board->keys.clear();
    QTest::keyClick(board, Qt::Key_F10);
    EXPECT_EQ(f->menuBar()->activeAction(), nullptr);
    if (QApplication::activePopupWidget())
        QApplication::activePopupWidget()->close();
}

TEST_F(FrameKeys, InputDuringAWindowThreadTransferIsRefusedNotDelayed) {
    // The network callback of a transfer on the window thread handles the window's events;
    // the shown view is in the middle of changing then.
    auto post = [&](Qt::Key k) {
        QApplication::postEvent(board, new QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier));
    };
    post(Qt::Key_Return);
    post(Qt::Key_R);
    CVornSocketMessage wait{};
    wait.message = MESSAGE_RECV_WAIT;
    EXPECT_EQ(CMainFrame::SocketCallback(wait, window()), 0);
    EXPECT_EQ(wait.result, 0);
    EXPECT_FALSE(f->InTransfer());
    // Refused at once, not kept for later.
    QApplication::processEvents();
    EXPECT_TRUE(board->keys.empty());
    // Outside a transfer keys act again.
    post(Qt::Key_R);
    QApplication::processEvents();
    EXPECT_EQ(board->keys, std::vector<int>{'R'});

    // Closing the window stops the transfer; the frame closes once it has returned.
    QMetaObject::invokeMethod(
        f, [this] { f->close(); }, Qt::QueuedConnection);
    CVornSocketMessage again{};
    again.message = MESSAGE_RECV_WAIT;
    CMainFrame::SocketCallback(again, window());
    // Asked to close (callers see it), but the views are still whole and the window open.
    EXPECT_TRUE(f->IsShuttingDown());
    EXPECT_TRUE(f->isVisible());
    EXPECT_NE(f->Views().board, nullptr);
    EXPECT_EQ(f->GetCancelFlag(), 1);
    EXPECT_EQ(again.result, 1);
    EXPECT_TRUE(PumpUntil([&] { return !f->isVisible(); }));
}

TEST_F(FrameKeys, WindowThreadTransfersCallBackOften) {
    EXPECT_LE(CVornAsyncSocket::CallbackInterval(), CMainFrame::kCallbackIntervalMs);
}

} // namespace
