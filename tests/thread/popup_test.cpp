#include "tavlo_dat_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_popup.h"
#include "view_test_util.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

const CVornString kBoard("http://example.com/test/");
const CVornString kKey("1234567890");

std::string Post(int n, const std::string& body, const std::string& id = "") {
    std::string line = "名無しさん<>sage<>2009/01/01(木) 12:00:00 ID:" +
                       (id.empty() ? "id" + std::to_string(n) : id) + "<> " + body + " <>" +
                       (n == 1 ? "スレ" : "") + "\n";
    return Sjis(line.c_str());
}

// Post 3 answers post 1; posts 4, 5 and 6 answer post 3 (post 6 twice); post 7 names a range,
// a list and a post that is not there.
std::string Thread() {
    return Post(1, "最初") + Post(2, "二番目", "same") + Post(3, "&gt;&gt;1 そうだね") +
           Post(4, "&gt;&gt;3 同意", "same") + Post(5, "＞＞３ 全角") +
           Post(6, "&gt;&gt;3 &gt;&gt;3", "same") + Post(7, "&gt;&gt;1-2 &gt;&gt;4,6 &gt;&gt;99");
}

class Popup : public ::testing::Test {
protected:
    void SetUp() override {
        CTavloSettings::Instance().SetInt("PopupDelay", 1);
        std::string log = std::string(CTavloPath::GetLogPath(kBoard, kKey).c_str());
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(log)).c_str());
        WriteAll(log, Thread());
        parent.resize(480, 400);
        ctrl = std::make_unique<CTavloDatCtrl>(&parent);
        ctrl->GetTextCtrl()->SetTextFont(ViewFont());
        ctrl->GetTextCtrl()->resize(480, 400);
        ctrl->SetThread(kBoard, kKey);
        parent.show();
        QApplication::processEvents();
        ASSERT_EQ(ctrl->CreateFromFile(), 0);
        ctrl->GetTextCtrl()->SetTopLine(0);
        popups = ctrl->GetPopups();
        ASSERT_NE(popups, nullptr);
    }
    void TearDown() override { ctrl.reset(); }

    // Text position of the first occurrence of what in a control.
    static size_t Find(CTavloDatCtrl* c, const char* what) {
        return c->GetTextCtrl()->GetText().find(VornUtf8ToUtf16(what));
    }
    // Moves the mouse onto text position pos of a control.
    static void Move(CTavloDatCtrl* c, size_t pos) {
        CTavloTextCtrl* t = c->GetTextCtrl();
        QPoint at = t->PosFromChar(pos) + QPoint(2, t->GetLineHeight() / 2);
        QMouseEvent move(QEvent::MouseMove, at, t->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(t->viewport(), &move);
    }
    // Moves there and lets the hover delay pass until expected popups are open.
    void HoverWait(CTavloDatCtrl* c, size_t pos, int expected) {
        Move(c, pos);
        for (int k = 0; k < 400 && popups->Count() != expected; ++k) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Moves there and acts as the hover timer does when it fires.
    void Hover(CTavloDatCtrl* c, size_t pos) {
        Move(c, pos);
        popups->HoverNow();
        QApplication::processEvents();
    }
    void Key(int qtKey) {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
        QApplication::sendEvent(ctrl->GetTextCtrl(), &press);
    }
    static std::u16string TextOf(CTavloPopup* p) { return p->Ctrl()->GetTextCtrl()->GetText(); }

    ViewEnv env;
    QWidget parent;
    std::unique_ptr<CTavloDatCtrl> ctrl;
    CTavloPopupSet* popups = nullptr;
};

// Pixels of a colour in an image.
int CountColor(const QImage& image, QColor c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == c;
    return n;
}

} // namespace

TEST_F(Popup, HoverShowsThePostNestsAndEscapeCloses) {
    HoverWait(ctrl.get(), Find(ctrl.get(), ">>1 そうだね") + 2, 1);
    ASSERT_EQ(popups->Count(), 1);
    CTavloPopup* first = popups->Last();
    EXPECT_EQ(first->Numbers(), std::vector<int>({1}));
    std::u16string text = TextOf(first);
    EXPECT_EQ(text.rfind(u"\x03[1]", 0), 0u);
    EXPECT_NE(text.find(VornUtf8ToUtf16("最初")), std::u16string::npos);
    EXPECT_TRUE(first->isVisible());

    // Drawn by the thread's painter: the header in the sage colour, the body in the text one.
    QImage shot = first->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_GT(CountColor(shot, TavloColor(s.ColorFromWithSage)), 20);
    EXPECT_GT(CountColor(shot, TavloColor(s.ColorFore)), 20);
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() - 3), TavloColor(s.ColorBack));

    // Resting on the same anchor keeps the popup.
    Hover(ctrl.get(), Find(ctrl.get(), ">>1 そうだね") + 1);
    EXPECT_EQ(popups->Last(), first);

    // Post 3 shown in a popup of post 4's anchor; its ">>1" opens a child.
    Hover(ctrl.get(), Find(ctrl.get(), ">>3 同意") + 2);
    ASSERT_EQ(popups->Count(), 1);
    CTavloPopup* three = popups->Last();
    EXPECT_EQ(three->Numbers(), std::vector<int>({3}));
    Hover(three->Ctrl(), Find(three->Ctrl(), ">>1"));
    ASSERT_EQ(popups->Count(), 2);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({1}));
    // And deeper: post 1's header lists its answers.
    Hover(popups->Last()->Ctrl(), 2);
    ASSERT_EQ(popups->Count(), 3);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({3, 7}));

    Key(Qt::Key_Escape);
    EXPECT_EQ(popups->Count(), 2);
    // Resting on plain text of the first popup closes the ones above it.
    Hover(three->Ctrl(), Find(three->Ctrl(), "そうだね") + 1);
    EXPECT_EQ(popups->Count(), 1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(popups->Count(), 0);
    // Escape without popups is the thread's again.
    Key(Qt::Key_Escape);
    EXPECT_EQ(popups->Count(), 0);
}

TEST_F(Popup, RangesListsAnswersAndIds) {
    const CTavloAnchorIndex& index = ctrl->GetAnchors();
    EXPECT_EQ(index.ReferredCount(3), 3);
    EXPECT_EQ(index.ReferredBy(3), std::vector<int>({4, 5, 6}));
    EXPECT_EQ(index.IdTotal(4), 3);
    EXPECT_EQ(index.IdOrdinal(6), 3);

    Hover(ctrl.get(), Find(ctrl.get(), ">>1-2") + 4);
    ASSERT_EQ(popups->Count(), 1);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({1, 2}));
    // The missing post is left out.
    Hover(ctrl.get(), Find(ctrl.get(), ">>4,6") + 4);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({4, 6}));
    Hover(ctrl.get(), Find(ctrl.get(), ">>99") + 2);
    EXPECT_EQ(popups->Count(), 0);

    // The header's number lists the answers, the ID its posts.
    Hover(ctrl.get(), ctrl->GetTextCtrl()->LineIndex(ctrl->GetPostLine(3)) + 2);
    ASSERT_EQ(popups->Count(), 1);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({4, 5, 6}));
    Hover(ctrl.get(), Find(ctrl.get(), "ID:same") + 4);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({2, 4, 6}));
}

TEST_F(Popup, PopupKeyOpensTheSelectedLinkAndLinkKeysMoveInside) {
    ASSERT_TRUE(ctrl->SelectLink(true, false));
    Key(Qt::Key_V);
    ASSERT_EQ(popups->Count(), 1);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({1}));
    // Tab selects the link in the popup... post 1 has none, so nothing opens from it.
    Key(Qt::Key_Tab);
    Key(Qt::Key_V);
    EXPECT_EQ(popups->Count(), 1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(popups->Count(), 0);
}

TEST_F(Popup, StaysInsideTheScreenAndFollowsTheSettings) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    // Anchored at the screen's bottom right corner.
    parent.move(area.right() - 100, area.bottom() - 60);
    QApplication::processEvents();
    ctrl->GetTextCtrl()->SetTopLine(ctrl->GetTextCtrl()->LineFromChar(Find(ctrl.get(), ">>1-2")));
    Hover(ctrl.get(), Find(ctrl.get(), ">>1-2") + 1);
    ASSERT_EQ(popups->Count(), 1);
    EXPECT_TRUE(area.contains(popups->Last()->frameGeometry())) << area.width();
    popups->CloseAll();

    CTavloSettings::Instance().SetInt("PopupUse", 0);
    Hover(ctrl.get(), Find(ctrl.get(), ">>1-2") + 1);
    EXPECT_EQ(popups->Count(), 0);
}

TEST_F(Popup, AppendedPostsJoinTheIndexAndNgHidesInside) {
    std::string log = std::string(CTavloPath::GetLogPath(kBoard, kKey).c_str());
    WriteAll(log, Thread() + Post(8, "&gt;&gt;3 also"));
    ctrl->OnWriteFile(CVornString(Post(8, "&gt;&gt;3 also")));
    EXPECT_EQ(ctrl->GetAnchors().GetCount(), 8);
    EXPECT_EQ(ctrl->GetAnchors().ReferredBy(3), std::vector<int>({4, 5, 6, 8}));

    ctrl->SetNgExpression(CVornString(Sjis("同意")));
    ctrl->Clear();
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetAnchors().GetCount(), 8);
    // Post 4 is hidden: its anchor no longer counts, and a popup leaves it out.
    EXPECT_EQ(ctrl->GetAnchors().ReferredBy(3), std::vector<int>({5, 6, 8}));
    ctrl->GetTextCtrl()->SetTopLine(0);
    Hover(ctrl.get(), Find(ctrl.get(), ">>4,6") + 2);
    ASSERT_EQ(popups->Count(), 1);
    EXPECT_EQ(popups->Last()->Numbers(), std::vector<int>({6}));
}

namespace {

// The rendered thread with the count settings as given; the text is the same in all cases.
QImage Render(CTavloDatCtrl* c, int refer, int ids) {
    CTavloSettings::Instance().SetInt("PopupRefer", refer);
    CTavloSettings::Instance().SetInt("PopupIdCount", ids);
    c->GetTextCtrl()->viewport()->update();
    return c->GetTextCtrl()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Inked pixels (not the background) in the rows of display line line, right of x.
int InkRight(const QImage& image, CTavloTextCtrl* t, int line, int x) {
    const QColor back = TavloColor(CTavloSettings::Instance().ColorBack);
    int n = 0;
    const int top = t->PosFromChar(t->LineIndex(line)).y();
    for (int y = top; y < top + t->GetLineHeight() && y < image.height(); ++y)
        for (int k = x; k < image.width(); ++k)
            n += image.pixelColor(k, y) != back;
    return n;
}

} // namespace

TEST_F(Popup, AnswerAndIdCountsAfterTheHeaderAndTheId) {
    CTavloTextCtrl* t = ctrl->GetTextCtrl();
    const std::u16string text = t->GetText();
    EXPECT_EQ(TavloReferCountText(ctrl->GetAnchors().ReferredCount(3)), u" (3)");
    EXPECT_EQ(TavloIdCountText(ctrl->GetAnchors().IdOrdinal(4), ctrl->GetAnchors().IdTotal(4)),
              u" (2/3)");

    auto lineEnd = [t](int line) {
        return t->PosFromChar(t->LineIndex(line) + t->Layout().LineLength(line)).x() + 1;
    };
    const int header = ctrl->GetPostLine(3);
    const int date = header + 1;
    const int header5 = ctrl->GetPostLine(5);

    QImage on = Render(ctrl.get(), 1, 1);
    // " (3)" after post 3's header, " (1/1)" after its ID; post 5 has no answers.
    EXPECT_GT(InkRight(on, t, header, lineEnd(header)), 20);
    EXPECT_GT(InkRight(on, t, date, lineEnd(date)), 20);
    EXPECT_EQ(InkRight(on, t, header5, lineEnd(header5)), 0);
    QImage noIds = Render(ctrl.get(), 1, 0);
    EXPECT_GT(InkRight(noIds, t, header, lineEnd(header)), 20);
    EXPECT_EQ(InkRight(noIds, t, date, lineEnd(date)), 0);

    // With the settings off the thread is drawn as a thread without any index, and the text
    // never changes.
    QImage off = Render(ctrl.get(), 0, 0);
    EXPECT_EQ(t->GetText(), text);
    EXPECT_EQ(InkRight(off, t, header, lineEnd(header)), 0);
    EXPECT_EQ(InkRight(off, t, date, lineEnd(date)), 0);
    ctrl->SetAnchorSource(nullptr);
    QImage plain = Render(ctrl.get(), 0, 0);
    EXPECT_TRUE(off == plain);
    EXPECT_FALSE(on == plain);
    EXPECT_EQ(t->GetText(), text);
}

TEST_F(Popup, CloseWhenTheThreadLeavesSightOrTheWindowItsActivation) {
    int changes = 0;
    CTavloPopupSet::SetChangeHook([&changes] { ++changes; });
    Hover(ctrl.get(), Find(ctrl.get(), ">>3 同意") + 2);
    ASSERT_EQ(popups->Count(), 1);
    Hover(popups->Last()->Ctrl(), Find(popups->Last()->Ctrl(), ">>1"));
    ASSERT_EQ(popups->Count(), 2);
    EXPECT_EQ(changes, 2);
    // Another tab or view: the thread's widget (here its parent) is hidden.
    parent.hide();
    EXPECT_EQ(popups->Count(), 0);
    EXPECT_EQ(changes, 3);
    parent.show();
    QApplication::processEvents();

    // Another window becomes the active one.
    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::processEvents();
    QApplication::setActiveWindow(&parent);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &parent);
    Hover(ctrl.get(), Find(ctrl.get(), ">>3 同意") + 2);
    ASSERT_EQ(popups->Count(), 1);
    // Opening a popup does not count as leaving the window.
    QApplication::processEvents();
    EXPECT_EQ(popups->Count(), 1);
    QApplication::setActiveWindow(&other);
    for (int k = 0; k < 100 && popups->Count() != 0; ++k)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(popups->Count(), 0);
    CTavloPopupSet::SetChangeHook(nullptr);
}

TEST_F(Popup, ScrollBarOnlyWhenTheTextDoesNotFit) {
    std::string tall;
    for (int k = 0; k < 300; ++k)
        tall += "行<br>";
    const std::string added = Post(8, tall) + Post(9, "&gt;&gt;8 &gt;&gt;1");
    WriteAll(std::string(CTavloPath::GetLogPath(kBoard, kKey).c_str()), Thread() + added);
    ctrl->OnWriteFile(CVornString(added));
    ASSERT_EQ(ctrl->GetPostCount(), 9);
    const size_t anchors = ctrl->GetTextCtrl()->GetText().rfind(u">>8");

    CTavloPopup* p = popups->OpenAt(ctrl.get(), anchors + 5);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->Numbers(), std::vector<int>({1}));
    EXPECT_FALSE(p->Ctrl()->GetTextCtrl()->verticalScrollBar()->isVisible());
    popups->CloseAll();

    p = popups->OpenAt(ctrl.get(), anchors + 2);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->Numbers(), std::vector<int>({8}));
    EXPECT_TRUE(p->Ctrl()->GetTextCtrl()->verticalScrollBar()->isVisible());
}
