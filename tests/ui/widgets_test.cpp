// The shell's small pieces: key codes, menu labels, the tab strip, the tab container and the
// bars.
#include "tavlo_bar_util.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_keys.h"
#include "tavlo_menu.h"
#include "tavlo_placeholder_views.h"
#include "tavlo_search_dialog.h"
#include "tavlo_status_dialog.h"
#include "tavlo_tab_ctrl.h"
#include "tavlo_tab_view.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Records what reaches the frame.
class FakeWindow : public CTavloWindow {
public:
    struct Sent {
        unsigned message;
        uintptr_t wParam;
        std::string text; // lParam as a word, when it is one
        intptr_t lParam;
    };
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        std::string text;
        if ((message == TAVLO_WM_SEARCH || message == TAVLO_WM_JUMP ||
             message == TAVLO_WM_FIND2CH) &&
            lParam)
            text = reinterpret_cast<const CVornString*>(lParam)->str();
        sent.push_back({message, wParam, text, lParam});
        return 0;
    }
    void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        SendMessage(message, wParam, lParam);
    }
    std::vector<Sent> sent;
};

class SettingsEnv : public ::testing::Test {
protected:
    void SetUp() override {
        UiApp();
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
    }
    void TearDown() override { CTavloSettings::Destroy(); }
    TempDir dir;
};

// ---- key codes -----------------------------------------------------------------------------

TEST(Keys, LettersDigitsAndNamedKeysGiveTheirVirtualKeyCodes) {
    EXPECT_EQ(TavloVirtualKey(Qt::Key_A), 65);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Z), 90);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_0), 48);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_9), 57);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Backspace), 8);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Tab), 9);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Backtab, Qt::ShiftModifier), 9); // Shift+Tab is Tab
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Return), 13);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Enter, Qt::KeypadModifier), 13);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Escape), 27);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Space), 32);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_PageUp), 33);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_PageDown), 34);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_End), 35);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Home), 36);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Left), 37);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Up), 38);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Right), 39);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Down), 40);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Insert), 45);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Delete), 46);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_F1), 112);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_F12), 123);
}

TEST(Keys, KeypadShiftedSymbolsAndUnknownKeys) {
    // The keypad has codes of its own; the same key elsewhere does not.
    EXPECT_EQ(TavloVirtualKey(Qt::Key_5, Qt::KeypadModifier), 0x65);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Asterisk, Qt::KeypadModifier), 0x6A);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Minus, Qt::KeypadModifier), 0x6D);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Minus), 0xBD);
    // A shifted symbol is the key that types it.
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Exclam, Qt::ShiftModifier), '1');
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Question, Qt::ShiftModifier), 0xBF);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Colon, Qt::ShiftModifier), 0xBA);
    // Modifiers do not change a letter.
    EXPECT_EQ(TavloVirtualKey(Qt::Key_S, Qt::ControlModifier), 'S');
    // Keys without a code give 0, which no binding matches.
    EXPECT_EQ(TavloVirtualKey(Qt::Key_Launch0), 0);
    EXPECT_EQ(TavloVirtualKey(Qt::Key_unknown), 0);
    EXPECT_EQ(TavloEventVirtualKey(nullptr), 0);
}

TEST(Keys, EveryCodeWithAKeyMapsBackToItself) {
    for (int vk = 1; vk < 256; ++vk) {
        int qt = TavloQtKey(vk);
        if (qt == 0)
            continue;
        bool keypad = vk >= 0x60 && vk <= 0x6F;
        EXPECT_EQ(TavloVirtualKey(qt, keypad ? Qt::KeypadModifier : Qt::NoModifier), vk) << vk;
    }
    // Every default key of the key table can be typed.
    for (int c = 0; c < CTavloSettings::CMD_COUNT; ++c) {
        if (int vk = CTavloSettings::DefaultKey(c)) {
            EXPECT_NE(TavloQtKey(vk), 0) << CTavloSettings::CommandName(c);
        }
    }
}

// ---- menu labels ---------------------------------------------------------------------------

TEST(MenuNumber, FirstTwelveEntriesOfEachMenuGetKeypadLabels) {
    UiApp();
    QMenu menu;
    for (int i = 0; i < 13; ++i) {
        TavloAddCommand(&menu, 100 + i, ("e" + std::to_string(i)).c_str());
        if (i == 2)
            menu.addSeparator(); // no text: not counted
    }
    QMenu* sub = menu.addMenu("sub"); // the 14th entry with text: none
    TavloAddCommand(sub, 200, "s0");
    TavloAddCommand(sub, 201, "s1");

    TavloApplyMenuNumber(&menu, 1);
    QList<QAction*> a = menu.actions();
    EXPECT_EQ(a[0]->text(), "e0\t&1");
    EXPECT_EQ(a[2]->text(), "e2\t&3");
    EXPECT_TRUE(a[3]->isSeparator());
    EXPECT_EQ(a[4]->text(), "e3\t&4");
    EXPECT_EQ(a[10]->text(), "e9\t&0");
    EXPECT_EQ(a[11]->text(), "e10\t&*");
    EXPECT_EQ(a[12]->text(), "e11\t&#");
    EXPECT_EQ(a[13]->text(), "e12");
    EXPECT_EQ(a[14]->text(), "sub");
    // A submenu counts on its own.
    EXPECT_EQ(sub->actions()[0]->text(), "s0\t&1");
    EXPECT_EQ(sub->actions()[1]->text(), "s1\t&2");
    EXPECT_EQ(TavloCommandId(a[0]), 100);

    // Applying again adds nothing; switching off removes the labels.
    TavloApplyMenuNumber(&menu, 1);
    EXPECT_EQ(a[0]->text(), "e0\t&1");
    TavloApplyMenuNumber(&menu, 0);
    EXPECT_EQ(a[0]->text(), "e0");
    EXPECT_EQ(a[12]->text(), "e11");
    EXPECT_EQ(sub->actions()[1]->text(), "s1");
}

TEST(MenuNumber, AnEntryWithItsOwnSuffixKeepsItAndStillCounts) {
    UiApp();
    QMenu menu;
    TavloAddCommand(&menu, 1, "a\t&9");
    TavloAddCommand(&menu, 2, "b");
    TavloApplyMenuNumber(&menu, 1);
    EXPECT_EQ(menu.actions()[0]->text(), "a\t&9");
    EXPECT_EQ(menu.actions()[1]->text(), "b\t&2");
}

// ---- tab strip and container ---------------------------------------------------------------

TEST_F(SettingsEnv, TabStripCarriesItemDataAndWrapsWithArrowsWhenNotForwarding) {
    CTavloTabCtrl tabs;
    int a = 1, b = 2, c = 3;
    EXPECT_EQ(tabs.AddItem("a", &a), 0);
    EXPECT_EQ(tabs.AddItem("b", &b), 1);
    EXPECT_EQ(tabs.AddItem("c&d", &c), 2);
    EXPECT_EQ(tabs.GetItemData(1), &b);
    EXPECT_EQ(tabs.GetItemData(7), nullptr);
    EXPECT_EQ(tabs.FindItemData(&c), 2);
    std::vector<int> changes;
    tabs.SetSelChangeHandler([&](int i) { changes.push_back(i); });

    // Forwarding: the strip leaves the arrows to its parent.
    tabs.setCurrentIndex(0);
    changes.clear();
    QTest::keyClick(&tabs, Qt::Key_Left);
    EXPECT_EQ(tabs.currentIndex(), 0);
    EXPECT_TRUE(changes.empty());

    tabs.SetForwardKeys(0);
    QTest::keyClick(&tabs, Qt::Key_Left); // wraps to the last
    EXPECT_EQ(tabs.currentIndex(), 2);
    QTest::keyClick(&tabs, Qt::Key_Right); // and back to the first
    EXPECT_EQ(tabs.currentIndex(), 0);
    EXPECT_EQ(changes, (std::vector<int>{2, 0}));

    tabs.SetItemSize(QSize(300, 20));
    EXPECT_EQ(tabs.tabRect(1).size(), QSize(300, 20));
}

class CountingList : public CTavloListViewBase {
public:
    using CTavloListViewBase::CTavloListViewBase;
    bool OnCommand(int id) override {
        commands.push_back(id);
        return id == ID_DELETE;
    }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers) override {
        keys.push_back(vk);
        return true;
    }
    void OnShowView() override { ++shown; }
    void Search(const CVornString& word, int) override { words.push_back(word.str()); }
    std::vector<int> commands, keys;
    std::vector<std::string> words;
    int shown = 0;
};

TEST_F(SettingsEnv, ContainerSwitchesTabsWithWrapAndRoutesToTheSelectedChild) {
    FakeWindow frame;
    CTavloTabView view(TAVLO_VIEW_BOOKMARK, "B", &frame);
    view.resize(400, 300);
    auto* first = new CountingList(TAVLO_VIEW_BOOKMARK, &frame);
    auto* second = new CountingList(TAVLO_VIEW_BOOKMARK, &frame);
    ASSERT_EQ(view.AddTab(first, VornUtf8ToSjis("スレッド")), 1);
    ASSERT_EQ(view.AddTab(second, VornUtf8ToSjis("その他")), 1);
    EXPECT_EQ(view.GetTabCtrl()->tabText(0), QString::fromUtf8("スレッド"));
    EXPECT_EQ(view.GetCurSel(), 0);

    // Container keys: NextTab 'F' wraps from the last to the first, PrevTab 'B' back.
    EXPECT_TRUE(view.OnContainerKey('F'));
    EXPECT_EQ(view.GetCurSel(), 1);
    EXPECT_TRUE(second->isVisibleTo(&view));
    EXPECT_FALSE(first->isVisibleTo(&view));
    EXPECT_TRUE(view.OnContainerKey('F'));
    EXPECT_EQ(view.GetCurSel(), 0);
    EXPECT_TRUE(view.OnContainerKey('B'));
    EXPECT_EQ(view.GetCurSel(), 1);
    // ViewBack (Escape) and ViewForward go to the frame as messages 6 and 7.
    CTavloSettings::Instance().SetKey(CTavloSettings::CMD_VIEWFORWARD, 'Y');
    EXPECT_TRUE(view.OnContainerKey(27));
    EXPECT_TRUE(view.OnContainerKey('Y'));
    ASSERT_EQ(frame.sent.size(), 2u);
    EXPECT_EQ(frame.sent[0].message, TAVLO_WM_VIEWBACK);
    EXPECT_EQ(frame.sent[1].message, TAVLO_WM_VIEWFORWARD);
    EXPECT_FALSE(view.OnContainerKey('R'));
    EXPECT_FALSE(view.OnContainerKey(0));

    // Keys, commands and the search word go to the selected child; the container takes
    // the tab commands the child leaves.
    EXPECT_TRUE(view.OnKeyDown('R', Qt::NoModifier));
    EXPECT_EQ(second->keys, std::vector<int>{'R'});
    EXPECT_TRUE(view.OnCommand(ID_DELETE));
    EXPECT_TRUE(view.OnCommand(ID_NEXT_TAB));
    EXPECT_EQ(second->commands, (std::vector<int>{ID_DELETE, ID_NEXT_TAB}));
    EXPECT_EQ(view.GetCurSel(), 0);
    view.Search(CVornString("w"), 0);
    EXPECT_EQ(first->words, std::vector<std::string>{"w"});
    EXPECT_FALSE(view.OnCommand(ID_RELOAD));
    view.OnShowView();
    EXPECT_EQ(first->shown, 1);
    EXPECT_EQ(second->shown, 0);

    // The child fills the container from two pixels above the strip's bottom.
    const int strip = view.GetTabCtrl()->StripHeight();
    EXPECT_EQ(first->geometry(), QRect(0, strip - 2, 400, 300 - (strip - 2)));
}

TEST_F(SettingsEnv, ContainerWithOneTabDoesNotMove) {
    FakeWindow frame;
    CTavloTabView view(TAVLO_VIEW_CACHE, "C", &frame);
    view.AddTab(new CountingList(TAVLO_VIEW_CACHE, &frame), CVornString("a"));
    view.NextTab();
    view.PrevTab();
    EXPECT_EQ(view.GetCurSel(), 0);
    bool enabled = true, checked = true;
    // The child's UpdateCommand does not know it: the container disables it.
    EXPECT_TRUE(view.UpdateCommand(ID_NEXT_TAB, &enabled, &checked));
    EXPECT_FALSE(enabled);
}

// ---- bars ----------------------------------------------------------------------------------

TEST(StatusBar, ProgressIsTruncatedPercentAndSafeForLargeOrZeroTotals) {
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(50, 200), 25);
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(2, 3), 66);
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(10, 0), 0);
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(-5, 10), 0);
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(2000000000, 2100000000), 95);
    EXPECT_EQ(CTavloStatusDialog::ProgressPercent(300, 200), 100);
}

TEST_F(SettingsEnv, StatusEscapeAsksTheFrameToHideIt) {
    FakeWindow frame;
    CTavloStatusDialog status(&frame);
    status.SetText(CVornString(VornUtf8ToSjis("受信中")));
    EXPECT_EQ(status.GetText(), QString::fromUtf8("受信中"));
    status.SetProgress(1, 4);
    EXPECT_EQ(status.GetPosition(), 25);
    QTest::keyClick(&status, Qt::Key_Escape);
    ASSERT_EQ(frame.sent.size(), 1u);
    EXPECT_EQ(frame.sent[0].message, TAVLO_WM_STATUSBAR);
    EXPECT_EQ(frame.sent[0].lParam, 0);
}

TEST_F(SettingsEnv, SearchBarSendsTheWordWithItsDirectionAndNothingWhenEmpty) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.AddHistory(CTavloSettings::HISTORY_SEARCHWORD, CVornString(VornUtf8ToSjis("古い")));
    s.AddHistory(CTavloSettings::HISTORY_SEARCHWORD, CVornString(VornUtf8ToSjis("新しい")));
    FakeWindow frame;
    CTavloSearchDialog bar(&frame);
    // Newest history entry first, and it is the text.
    ASSERT_EQ(bar.GetCombo()->count(), 2);
    EXPECT_EQ(bar.GetCombo()->currentText(), QString::fromUtf8("新しい"));

    bar.GetCombo()->setEditText(QString());
    QTest::keyClick(bar.GetCombo()->lineEdit(), Qt::Key_Return);
    bar.GetButton(1065)->click();
    EXPECT_TRUE(frame.sent.empty());

    bar.GetCombo()->setEditText(QString::fromUtf8("表示"));
    QTest::keyClick(bar.GetCombo()->lineEdit(), Qt::Key_Return);
    bar.GetButton(1066)->click();
    bar.GetButton(1067)->click();
    ASSERT_EQ(frame.sent.size(), 3u);
    EXPECT_EQ(frame.sent[0].message, TAVLO_WM_SEARCH);
    EXPECT_EQ(frame.sent[0].wParam, 0u);
    EXPECT_EQ(frame.sent[0].text, VornUtf8ToSjis("表示"));
    EXPECT_EQ(frame.sent[1].wParam, 1u);
    EXPECT_EQ(frame.sent[2].message, TAVLO_WM_SEARCHBAR);
    EXPECT_EQ(frame.sent[2].lParam, 0);
    // Typing does not add to the list; the history does.
    EXPECT_EQ(bar.GetCombo()->count(), 2);
}

TEST_F(SettingsEnv, JumpBarSendsShiftJisTextAndClosesOnCancel) {
    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_JUMP, CVornString("news"));
    FakeWindow frame;
    CTavloJumpDialog bar(&frame);
    EXPECT_EQ(bar.GetCombo()->currentText(), "news");
    bar.GetCombo()->setEditText(QString::fromUtf8("１２３"));
    bar.GetOkButton()->click();
    bar.GetCombo()->setEditText(QString());
    bar.GetOkButton()->click(); // empty: nothing
    QTest::keyClick(&bar, Qt::Key_Escape);
    ASSERT_EQ(frame.sent.size(), 2u);
    EXPECT_EQ(frame.sent[0].message, TAVLO_WM_JUMP);
    EXPECT_EQ(frame.sent[0].text, VornUtf8ToSjis("１２３"));
    EXPECT_EQ(frame.sent[1].message, TAVLO_WM_JUMPBAR);
    EXPECT_EQ(frame.sent[1].lParam, 0);
    bar.resize(300, 24);
    EXPECT_EQ(bar.IconSize(), 16);
}

} // namespace
