#include "tavlo_text_ctrl.h"
#include "view_test_util.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

class TextCtrl : public ::testing::Test {
protected:
    void SetUp() override {
        ViewApp();
        CTavloTextCtrl::ClearWidthCache();
        ctrl = std::make_unique<CTavloTextCtrl>();
        ctrl->SetTextFont(ViewFont());
        ctrl->resize(400, 200);
        ctrl->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        ctrl.reset();
        CTavloTextCtrl::ClearWidthCache();
    }
    std::u16string Lines(int n) {
        std::u16string t;
        for (int i = 0; i < n; ++i)
            t += u"line " + std::u16string(1, u'a' + i % 26) + u"\n";
        return t;
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent e(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(ctrl.get(), &e);
    }
    void Mouse(QEvent::Type type, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, pos, ctrl->viewport()->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
        QApplication::sendEvent(ctrl->viewport(), &e);
    }
    // Paints the control and returns the runs the painter was offered.
    std::vector<TavloTextRun> PaintedRuns() {
        std::vector<TavloTextRun> runs;
        ctrl->SetPainter([&](QPainter&, const TavloTextRun& r) {
            runs.push_back(r);
            return false;
        });
        ctrl->grab();
        ctrl->SetPainter(nullptr);
        return runs;
    }
    std::unique_ptr<CTavloTextCtrl> ctrl;
};

TEST_F(TextCtrl, AppendingWhileScrolledUpKeepsTheTopLine) {
    ctrl->SetText(Lines(100));
    ctrl->SetTopLine(10);
    ctrl->AppendText(Lines(50));
    EXPECT_EQ(ctrl->GetTopLine(), 10);
    EXPECT_EQ(ctrl->GetLineCount(), 151);
    EXPECT_EQ(ctrl->verticalScrollBar()->maximum(), 150);
    EXPECT_EQ(ctrl->verticalScrollBar()->value(), 10);
}

TEST_F(TextCtrl, TopLineIsClampedToTheText) {
    ctrl->SetText(Lines(20));
    ctrl->SetTopLine(-5);
    EXPECT_EQ(ctrl->GetTopLine(), 0);
    ctrl->SetTopLine(500);
    EXPECT_EQ(ctrl->GetTopLine(), 20);
    ctrl->LineScroll(-3);
    EXPECT_EQ(ctrl->GetTopLine(), 17);
}

TEST_F(TextCtrl, WheelNotchScrollsThreeLines) {
    ctrl->SetText(Lines(100));
    QPoint at(10, 10);
    QWheelEvent down(at, ctrl->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(ctrl->viewport(), &down);
    EXPECT_EQ(ctrl->GetTopLine(), 3);
    // Half notches add up.
    QWheelEvent half(at, ctrl->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -60), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(ctrl->viewport(), &half);
    EXPECT_EQ(ctrl->GetTopLine(), 3);
    QApplication::sendEvent(ctrl->viewport(), &half);
    EXPECT_EQ(ctrl->GetTopLine(), 6);
}

TEST_F(TextCtrl, PageKeysMoveByAPageAndReadOnlyIgnoresTyping) {
    ctrl->SetText(Lines(100));
    ctrl->SetReadOnly(true);
    int page = ctrl->GetPageLines();
    ASSERT_GT(page, 3);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(ctrl->GetTopLine(), page);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(ctrl->GetTopLine(), 0);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ctrl->GetCaret(), ctrl->GetLength());
    EXPECT_GT(ctrl->GetTopLine(), 90);
    std::u16string before = ctrl->GetText();
    Key(Qt::Key_X, Qt::NoModifier, "x");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(ctrl->GetText(), before);
}

TEST_F(TextCtrl, EditingWhenWritable) {
    ctrl->SetText(u"ab");
    ctrl->SetSel(1, 1);
    Key(Qt::Key_X, Qt::NoModifier, "x");
    EXPECT_EQ(ctrl->GetText(), u"axb");
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(ctrl->GetText(), u"b");
}

TEST_F(TextCtrl, CopyLeavesMarkersBehind) {
    ctrl->SetText(u"\x03[1]name<sage>\n\x05"
                  u"2009/01/01\tID:x\nbody\r\n\n");
    ctrl->SetSel(0, ctrl->GetLength());
    EXPECT_EQ(CTavloTextCtrl::StripControls(ctrl->GetSelText()),
              u"[1]name<sage>\n2009/01/01\tID:x\nbody\r\n\n");
    // A header line selected by itself.
    ctrl->SetSel(0, ctrl->LineIndex(1));
    ctrl->Copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "[1]name<sage>\n");
}

TEST_F(TextCtrl, MouseSelectsAndDoubleClickTakesAWord) {
    ctrl->SetText(u"hello world\nsecond line\n");
    int lh = ctrl->GetLineHeight();
    Mouse(QEvent::MouseButtonPress, QPoint(1, lh / 2));
    Mouse(QEvent::MouseMove, QPoint(300, lh + lh / 2));
    Mouse(QEvent::MouseButtonRelease, QPoint(300, lh + lh / 2));
    EXPECT_EQ(ctrl->GetSelText(), u"hello world\nsecond line");
    QPoint inWorld = ctrl->PosFromChar(8) + QPoint(1, lh / 2);
    Mouse(QEvent::MouseButtonDblClick, inWorld);
    EXPECT_EQ(ctrl->GetSelText(), u"world");
}

TEST_F(TextCtrl, HooksSeeEventsAndCannotReenter) {
    ctrl->SetText(Lines(50));
    int before = 0, after = 0, nested = 0;
    ctrl->SetBeforeHook([&](QEvent* e) {
        if (e->type() != QEvent::KeyPress)
            return false;
        ++before;
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_PageDown) {
            // Handled by the owner: the control must not page.
            QKeyEvent again(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(ctrl.get(), &again); // no hook while one runs
            return true;
        }
        return false;
    });
    ctrl->SetAfterHook([&](QEvent* e) {
        if (e->type() == QEvent::KeyPress)
            ++after;
        if (e->type() == QEvent::MouseButtonRelease)
            ++nested;
    });
    Key(Qt::Key_PageDown);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(ctrl->GetTopLine(), 0);
    EXPECT_EQ(ctrl->LineFromChar(ctrl->GetCaret()), 1); // the nested Down went through
    Key(Qt::Key_Down);
    EXPECT_EQ(before, 2);
    EXPECT_EQ(after, 1);
    Mouse(QEvent::MouseButtonPress, QPoint(5, 5));
    Mouse(QEvent::MouseButtonRelease, QPoint(5, 5));
    EXPECT_EQ(nested, 1);
}

TEST_F(TextCtrl, RunsAreCutAtTabsSelectionEvery256AndTheGap) {
    ctrl->SetWrap(false);
    ctrl->resize(4000, 200);
    QApplication::processEvents();
    std::u16string line(600, u'x');
    line[300] = u'\t';
    ctrl->SetText(line + u"\n");
    ctrl->SetSel(10, 20);
    std::vector<std::pair<size_t, int>> got;
    for (const auto& r : PaintedRuns())
        if (r.line == 0)
            got.emplace_back(r.offset, r.count);
    // The selected run [10, 20) is drawn by the control itself and never offered.
    std::vector<std::pair<size_t, int>> want = {{0, 10}, {20, 236}, {256, 44}, {301, 211}};
    ASSERT_GE(got.size(), want.size());
    got.resize(want.size());
    EXPECT_EQ(got, want);

    // The gap moves to an edit in the middle of the text; a run never spans it.
    ctrl->SetSel(0, 0);
    ctrl->SetReadOnly(false);
    ctrl->SetSel(100, 100);
    ctrl->ReplaceSel(u"y");
    ASSERT_EQ(ctrl->Layout().Buffer().GapPosition(), 101u);
    for (const auto& r : PaintedRuns())
        EXPECT_FALSE(r.offset < 101 && r.offset + static_cast<size_t>(r.count) > 101);
}

TEST_F(TextCtrl, LongLineWithoutWrapIsBrokenAtTheLimit) {
    ctrl->SetWrap(false);
    ctrl->SetText(std::u16string(40000, u'x'));
    ASSERT_EQ(ctrl->GetLineCount(), 2);
    EXPECT_EQ(ctrl->LineIndex(1), 32768u);
    EXPECT_GT(ctrl->horizontalScrollBar()->maximum(), 0);
    ctrl->grab(); // painting a long line stays cheap: runs stop at the window's edge
}

TEST_F(TextCtrl, JapaneseWrapsByCharacterAndRelayoutFollowsTheWidth) {
    std::u16string jp;
    for (int i = 0; i < 60; ++i)
        jp += u"日本語";
    ctrl->SetText(jp);
    int narrow = ctrl->GetLineCount();
    EXPECT_GT(narrow, 3);
    // Each line is as full as the width allows: one more character would not fit.
    int w = ctrl->viewport()->width() - 2 * CTavloTextCtrl::kMargin;
    for (int l = 0; l + 1 < narrow; ++l) {
        size_t a = ctrl->LineIndex(l), b = ctrl->LineIndex(l + 1);
        int width = ctrl->RunWidth(ctrl->Layout().Buffer().Data(a), static_cast<int>(b - a));
        EXPECT_LE(width, w);
        EXPECT_GT(width + ctrl->RunWidth(u"日", 1), w);
    }
    int calls = 0;
    ctrl->SetRelayoutHook([&](bool) { ++calls; });
    ctrl->resize(800, 200);
    QApplication::processEvents();
    EXPECT_EQ(calls, 2);
    EXPECT_LT(ctrl->GetLineCount(), narrow);
    // A height change alone lays nothing out again.
    ctrl->resize(800, 300);
    QApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

TEST_F(TextCtrl, LastLineOfLogicalLine) {
    ctrl->SetText(std::u16string(200, u'a') + u"\nb");
    int lines = ctrl->GetLineCount();
    ASSERT_GT(lines, 2);
    EXPECT_FALSE(ctrl->IsLastLineOfLogical(0));
    EXPECT_TRUE(ctrl->IsLastLineOfLogical(lines - 2));
    EXPECT_TRUE(ctrl->IsLastLineOfLogical(lines - 1));
    EXPECT_EQ(ctrl->GetTextBytes(), 202u * 2);
}

TEST_F(TextCtrl, WidthsAreCachedPerCodeUnit) {
    ctrl->SetText(u"abcあ");
    EXPECT_NE(CTavloCharWidths::Entry(u'a'), 0);
    EXPECT_NE(CTavloCharWidths::Entry(u'あ'), 0);
    EXPECT_EQ(CTavloCharWidths::Entry(u'z'), 0);
    // Markers take no room.
    EXPECT_EQ(ctrl->RunWidth(u"\x01\x05\x0f", 3), 0);
    CTavloTextCtrl::ClearWidthCache();
    EXPECT_EQ(CTavloCharWidths::Entry(u'a'), 0);

    // A different font never reuses widths measured with the old one.
    ctrl->SetText(u"WWWW");
    int small = ctrl->RunWidth(u"W", 1);
    ctrl->SetTextFont(ViewFont(28));
    EXPECT_GT(ctrl->RunWidth(u"W", 1), small);
}

} // namespace
