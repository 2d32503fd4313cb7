// The owner-drawn list that every list view derives from: columns and widths from the
// settings, row height, the drawing rules (colours, mark icons), selection, the shared keys and
// commands, fitting the headers, copy information, and what it writes to the settings file.
#include "tavlo_icons.h"
#include "tavlo_keys.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_list_item.h"
#include "tavlo_list_view.h"
#include "tavlo_views.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Stands in for the main frame: keeps what it was sent.
class RecordingFrame : public CTavloWindow {
public:
    struct Sent {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        sent.push_back({message, wParam, lParam});
        return 0;
    }
    void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        sent.push_back({message, wParam, lParam});
    }
    std::vector<unsigned> messages() const {
        std::vector<unsigned> out;
        for (auto& s : sent)
            out.push_back(s.message);
        return out;
    }
    std::vector<Sent> sent;
};

class TestItem : public CTavloListItem {
public:
    TestItem(int index, const char* title, const char* key)
        : CTavloListItem(index, CVornString(VornUtf8ToSjis(title)), CVornString(key), CVornString(),
                         CVornString("news"), CVornString("http://news.example-bbs.test/news/")) {}
    int GetMark() const override { return mark; }
    int mark = MARK_NORMAL;
};

// A list view as the bookmark and cache views are made: frame base first, then the list.
class TestList : public CTavloListViewBase, public CTavloListView {
public:
    explicit TestList(CTavloWindow* frame)
        : CTavloListViewBase(TAVLO_VIEW_BOOKMARK, frame),
          CTavloListView(this, frame, CTavloSettings::LV_BOOKMARK, CTavloSettings::FONT_BOOKMARK) {
        InsertColumns({{"No", 50, TAVLO_LVCFMT_RIGHT},
                       {"レス", 50, TAVLO_LVCFMT_RIGHT},
                       {"スレッド", 300, TAVLO_LVCFMT_LEFT}});
    }
    ~TestList() override { destroyed = true; }

    void SortItems(int column, int ascending) override {
        m_sortColumn = column;
        m_sortAsc = ascending;
        StoreSort();
    }
    void OpenSelectedItem() override { opened.push_back(GetSelectedRow()); }
    int GetItemText(QString& text, int row, int column) override {
        if (row < 0 || row >= static_cast<int>(items.size()))
            return 0;
        const TestItem& item = *items[static_cast<size_t>(row)];
        switch (column) {
        case 0:
            text = label.isEmpty() ? QString::number(item.GetIndex()) : label;
            return 1;
        case 1:
            text = count.isEmpty() ? QString::number(row * 10) : count;
            return 1;
        case 2:
            text = TavloQString(item.GetTitle());
            return 1;
        default:
            return 0;
        }
    }
    CTavloListItem* GetItem(int row) override {
        if (row < 0 || row >= static_cast<int>(items.size()))
            return nullptr;
        return items[static_cast<size_t>(row)].get();
    }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers) override { return ListKeyDown(vk); }
    bool OnCommand(int id) override { return ListCommand(id); }

    TestItem* add(const char* title, const char* key = "1600000000") {
        items.push_back(std::make_unique<TestItem>(static_cast<int>(items.size()) + 1, title, key));
        SetItemCount(static_cast<int>(items.size()));
        return items.back().get();
    }

    std::vector<std::unique_ptr<TestItem>> items;
    std::vector<int> opened;
    QString count;
    QString label;
    static inline bool destroyed = false;
};

class ListView : public ::testing::Test {
protected:
    void SetUp() override {
        UiApp();
        CTavloSettings::SetProfilePath(ini().c_str());
    }
    void TearDown() override {
        list.reset();
        CTavloSettings::Destroy();
    }
    std::string ini() const { return dir.file("tavlo.ini"); }
    CTavloSettings& settings() { return CTavloSettings::Instance(); }
    TestList& make() {
        list = std::make_unique<TestList>(&frame);
        list->resize(600, 400);
        list->show();
        return *list;
    }
    QImage shot() {
        Pump(20);
        return list->GetListCtrl()->viewport()->grab().toImage();
    }
    QRect row(int r) { return list->GetListCtrl()->RowRect(r); }

    TempDir dir;
    RecordingFrame frame;
    std::unique_ptr<TestList> list;
};

// ---- columns, widths, row height -----------------------------------------------------------

TEST_F(ListView, ColumnsTakeTheStoredWidthsAndTheDefaultForZeroOrMissingEntries) {
    settings().SetColumnWidth(CTavloSettings::LV_BOOKMARK, {70, 0});
    TestList& l = make();
    EXPECT_EQ(l.GetColumnCount(), 3);
    EXPECT_EQ(l.GetColumnHeader(0), U("No"));
    EXPECT_EQ(l.GetColumnHeader(2), U("スレッド"));
    EXPECT_EQ(l.GetColumnWidths(), (std::vector<int>{70, 50, 300}));
    l.SetColumnHeader(2, "板");
    EXPECT_EQ(l.GetColumnHeader(2), U("板"));
}

TEST_F(ListView, RowHeightIsOneOrTwoFontHeightsPlusMarginAndFour) {
    settings().SetInt("FontSizeBookmark", 12);
    TestList& l = make();
    l.add("a");
    const int h = TavloPointsToPixels(12);
    EXPECT_EQ(l.GetFontHeight(), h);
    EXPECT_EQ(l.GetRowHeight(), 2 * h + 4);
    Pump(10);
    EXPECT_EQ(row(0).height(), 2 * h + 4);

    settings().SetInt("ListSingleLine", 1);
    settings().SetInt("ListMargin", 6);
    l.ApplyFonts();
    Pump(10);
    EXPECT_EQ(l.GetRowHeight(), 6 + h + 4);
    EXPECT_EQ(row(0).height(), 6 + h + 4);
}

// ---- drawing -------------------------------------------------------------------------------

TEST_F(ListView, RowBackgroundsFollowLogUpdatedErrorInThatOrderAcrossTheClientWidth) {
    CTavloSettings& s = settings();
    s.SetInt("ColorBack", 0x102030);
    s.SetInt("ColorCache", 0x405060);
    s.SetInt("ColorNew", 0x708090);
    s.SetInt("ColorError", 0xA0B0C0);
    TestList& l = make();
    l.add("plain");
    TestItem* cached = l.add("log");
    cached->SetHasLog(1);
    cached->SetUpdated(1); // the log wins
    l.add("updated")->SetUpdated(1);
    TestItem* error = l.add("error");
    error->SetError(1);
    l.SelectRow(0); // the selection does not change the background
    QImage img = shot();
    // Right of the last column (at 400): filled to the client width.
    auto at = [&](int r) { return img.pixelColor(560, row(r).center().y()); };
    EXPECT_EQ(TavloColorRef(at(0)), 0x102030);
    EXPECT_EQ(TavloColorRef(at(1)), 0x405060);
    EXPECT_EQ(TavloColorRef(at(2)), 0x708090);
    EXPECT_EQ(TavloColorRef(at(3)), 0xA0B0C0);
    // Below the last row: the background colour.
    EXPECT_EQ(TavloColorRef(img.pixelColor(560, row(3).bottom() + 10)), 0x102030);
}

TEST_F(ListView, TextIsActiveWhenSelectedElseSearchColourForHitsElseFore) {
    CTavloSettings& s = settings();
    s.SetInt("FontSizeBookmark", 24);
    s.SetInt("ColorFore", 0x00AA00);
    s.SetInt("ColorSearch", 0xAA0000);
    s.SetInt("ColorActive", 0x0000AA);
    TestList& l = make();
    // A full block: its inside is painted in the text colour alone.
    l.add("■■■■");
    l.add("■■■■")->SetSearchHit(1);
    l.add("■■■■")->SetSearchHit(1);
    l.SelectRow(2);
    QImage img = shot();
    // The title column starts at 100.
    auto count = [&](int r, int colorref) {
        int n = 0;
        QRect rr = row(r);
        for (int y = rr.top(); y <= rr.bottom(); ++y)
            for (int x = 104; x < 250; ++x)
                n += TavloColorRef(img.pixelColor(x, y)) == colorref;
        return n;
    };
    EXPECT_GT(count(0, 0x00AA00), 100);
    EXPECT_EQ(count(0, 0xAA0000), 0);
    EXPECT_GT(count(1, 0xAA0000), 100);
    EXPECT_GT(count(2, 0x0000AA), 100); // selected beats the search colour
    EXPECT_EQ(count(2, 0xAA0000), 0);
}

TEST_F(ListView, MarkIconsShareOnePlaceInShortRowsAndStackInTallOnes) {
    settings().SetInt("FontSizeBookmark", 8);
    TestList& l = make();
    TestItem* both = l.add("both");
    both->mark =
        CTavloListItem::MARK_NORMAL | CTavloListItem::MARK_NEW | CTavloListItem::MARK_BOOKMARKED;
    l.add("plain");
    TestItem* picked = l.add("picked");
    picked->mark = CTavloListItem::MARK_NORMAL | CTavloListItem::MARK_SELECTED;
    ASSERT_LE(l.GetRowHeight(), 31);
    QImage img = shot();
    const QColor red(0xE0, 0x28, 0x28), gold(0xFF, 0xC8, 0x20);
    // The icon cell starts 2 pixels into column 0; images sit 2 pixels below the row top.
    auto px = [&](int r, int x, int y) { return img.pixelColor(2 + x, row(r).top() + 2 + y); };
    EXPECT_EQ(px(0, 2, 8), red);  // the new badge, drawn first
    EXPECT_EQ(px(0, 8, 8), gold); // the star over it
    // No icon for an entry with no mark but the normal bit.
    EXPECT_EQ(px(1, 8, 8), TavloColor(settings().ColorBack));
    // The selection mark fills the icon cell with the highlight colour.
    EXPECT_EQ(px(2, 8, 8), l.palette().color(QPalette::Highlight));

    settings().SetInt("FontSizeBookmark", 18);
    l.ApplyFonts();
    ASSERT_GT(l.GetRowHeight(), 31);
    img = shot();
    EXPECT_EQ(px(0, 2, 8), red);
    EXPECT_NE(px(0, 8, 8), gold);      // the star moved down
    EXPECT_EQ(px(0, 8, 16 + 8), gold); // by 16 pixels
}

TEST_F(ListView, ColumnZeroIsCutFromItsEndAndLinesBreakOnlyAtNewlines) {
    settings().SetInt("FontSizeBookmark", 12);
    settings().SetInt("ColorFore", 0x000000);
    settings().SetInt("ColorBack", 0xFFFFFF);
    TestList& l = make();
    l.count = U("■\n■");
    l.label = U("■■■■■■■■");
    l.add("x");
    // The label area: 20 to 50 less the padding, room for one block of two.
    const int block = QFontMetrics(l.GetListFont()).horizontalAdvance(U("■"));
    ASSERT_LT(block, 26);
    ASSERT_GT(2 * block, 26);
    QImage img = shot();
    // Column 1 (50..100, right-aligned): two lines, one font height apart.
    const int h = l.GetFontHeight();
    auto dark = [&](int y) {
        for (int x = 50; x < 100; ++x)
            if (img.pixelColor(x, y).lightness() < 60)
                return true;
        return false;
    };
    const QRect r = row(0);
    EXPECT_TRUE(dark(r.top() + 2 + h / 2));
    EXPECT_TRUE(dark(r.top() + 2 + h + h / 2));
    // Column 0's text is cut to whole characters inside its cell: the cell shows some of it,
    // and nothing reaches the gap before column 1's right-aligned text.
    bool label = false;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = 20; x < 20 + block; ++x)
            label = label || img.pixelColor(x, y).lightness() < 60;
    EXPECT_TRUE(label);
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = 22 + block; x < 50; ++x)
            ASSERT_GT(img.pixelColor(x, y).lightness(), 200) << x << "," << y;
}

// ---- rows and selection --------------------------------------------------------------------

TEST_F(ListView, SetItemCountKeepsASelectionThatStillExists) {
    TestList& l = make();
    for (int i = 0; i < 5; ++i)
        l.add("t");
    l.SelectRow(3);
    EXPECT_EQ(l.GetSelectedRow(), 3);
    EXPECT_EQ(l.GetSelectedItem(), l.items[3].get());
    l.SetItemCount(5);
    EXPECT_EQ(l.GetSelectedRow(), 3);
    l.items.resize(2);
    l.SetItemCount(2);
    EXPECT_EQ(l.GetSelectedRow(), -1);
    EXPECT_EQ(l.GetSelectedItem(), nullptr);
    l.SelectRow(7);
    EXPECT_EQ(l.GetSelectedRow(), -1);
    // A list emptied before it was told so draws nothing and does not fail.
    l.items.clear();
    shot();
}

TEST_F(ListView, EnterAndDoubleClickOpenTheSelectedEntry) {
    TestList& l = make();
    l.add("a");
    l.add("b");
    l.SelectRow(1);
    QTest::keyClick(l.GetListCtrl(), Qt::Key_Return);
    EXPECT_EQ(l.opened, std::vector<int>{1});
    QTest::mouseDClick(l.GetListCtrl()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       row(0).center());
    EXPECT_EQ(l.opened, (std::vector<int>{1, 0}));
}

// ---- keys and commands ---------------------------------------------------------------------

TEST_F(ListView, SharedKeysInTheirOrder) {
    CTavloSettings& s = settings();
    s.SetKey(CTavloSettings::CMD_CANCEL, 'C');
    s.SetKey(CTavloSettings::CMD_VIEWFORWARD, 'F');
    s.SetSubKey(CTavloSettings::CMD_VIEWBACK, 'B');
    s.SetKey(CTavloSettings::CMD_FIND2CH, 'S');
    s.SetKey(CTavloSettings::CMD_CHANGEVIEW, 'V');
    s.SetKey(CTavloSettings::CMD_PAGEDOWN, 'D');
    s.SetKey(CTavloSettings::CMD_PAGEUP, 'U');
    TestList& l = make();
    for (int i = 0; i < 60; ++i)
        l.add("row");
    EXPECT_TRUE(l.ListKeyDown('N')); // Bottom
    EXPECT_EQ(l.GetSelectedRow(), 59);
    EXPECT_TRUE(l.ListKeyDown('P')); // Top
    EXPECT_EQ(l.GetSelectedRow(), 0);
    EXPECT_TRUE(l.ListKeyDown('D'));
    const int page = l.GetSelectedRow();
    EXPECT_GT(page, 3);
    EXPECT_TRUE(l.ListKeyDown('U'));
    EXPECT_LT(l.GetSelectedRow(), page);

    for (int vk : {int('C'), int('B'), int(TAVLO_VK_ESCAPE), int('F'), int('S'),
                   int(TAVLO_VK_SPACE), int('V')})
        EXPECT_TRUE(l.ListKeyDown(vk)) << vk;
    EXPECT_EQ(frame.messages(),
              (std::vector<unsigned>{TAVLO_WM_CANCEL, TAVLO_WM_VIEWBACK, TAVLO_WM_VIEWBACK,
                                     TAVLO_WM_VIEWFORWARD, TAVLO_WM_COMMAND, TAVLO_WM_ACTIONMENU,
                                     TAVLO_WM_VIEWMENU}));
    EXPECT_EQ(frame.sent[4].wParam, static_cast<uintptr_t>(ID_FIND2CH));
    // Unbound keys are the control's; 0 never matches.
    EXPECT_FALSE(l.ListKeyDown('Q'));
    EXPECT_FALSE(l.ListKeyDown(0));

    // A key bound to Cancel and to Bottom cancels only.
    s.SetKey(CTavloSettings::CMD_BOTTOM, 'C');
    frame.sent.clear();
    l.SelectRow(0);
    EXPECT_TRUE(l.ListKeyDown('C'));
    EXPECT_EQ(frame.messages(), std::vector<unsigned>{TAVLO_WM_CANCEL});
    EXPECT_EQ(l.GetSelectedRow(), 0);
}

TEST_F(ListView, TopBottomAndFitCommands) {
    TestList& l = make();
    for (int i = 0; i < 3; ++i)
        l.add("a fairly long thread title for the title column");
    EXPECT_TRUE(l.OnCommand(ID_BOTTOM));
    EXPECT_EQ(l.GetSelectedRow(), 2);
    EXPECT_TRUE(l.OnCommand(ID_TOP));
    EXPECT_EQ(l.GetSelectedRow(), 0);
    EXPECT_FALSE(l.OnCommand(ID_RELOAD));

    // Fit: each column to header and contents; then 1 halved with two-line rows, 2 always.
    QFontMetrics fm(l.GetListFont());
    const int title = fm.horizontalAdvance(U("a fairly long thread title for the title column"));
    settings().SetInt("ListSingleLine", 1);
    EXPECT_TRUE(l.OnCommand(ID_FIT_HEADER));
    const std::vector<int> single = l.GetColumnWidths();
    EXPECT_GE(single[2] * 2 + 1, title);
    EXPECT_LT(single[2], title);
    settings().SetInt("ListSingleLine", 0);
    l.FitColumns();
    const std::vector<int> twoLine = l.GetColumnWidths();
    EXPECT_EQ(twoLine[1], single[1] / 2);
    EXPECT_EQ(twoLine[0], single[0]);
}

TEST_F(ListView, CopyInformationPutsTitleAndReadAddressOnTheClipboard) {
    TestList& l = make();
    QGuiApplication::clipboard()->setText("before");
    l.add("スレの題", "1690000000");
    l.OnCommand(ID_COPY_INFORMATION); // nothing selected: nothing copied
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    l.SelectRow(0);
    EXPECT_TRUE(l.OnCommand(ID_COPY_INFORMATION));
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              U("スレの題\r\nhttp://news.example-bbs.test/test/read.cgi/news/1690000000\r\n"));
    bool enabled = false, checked = true;
    EXPECT_TRUE(l.ListUpdateCommand(ID_COPY_INFORMATION, &enabled, &checked));
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(checked);
}

// ---- settings ------------------------------------------------------------------------------

TEST_F(ListView, SortAndWidthsAreWrittenOnlyWhenTheyChanged) {
    namespace fs = std::filesystem;
    {
        TestList& l = make();
        // Same as the stored defaults: nothing written, not even the file.
        l.SortItems(0, 1);
        list.reset();
    }
    // Destruction wrote the widths, which had never been stored.
    ASSERT_TRUE(fs::exists(ini()));
    std::string first = ReadAll(ini());
    EXPECT_NE(first.find("ColumnWidthBookmark"), std::string::npos);
    EXPECT_EQ(first.find("SortColumnBookmark"), std::string::npos);
    EXPECT_EQ(first.find("SortAscBookmark"), std::string::npos);
    const auto stamp = fs::last_write_time(ini());

    // The same widths again, the same sort: the file stays as it was.
    {
        TestList& l = make();
        l.SortItems(0, 1);
        list.reset();
    }
    EXPECT_EQ(ReadAll(ini()), first);
    EXPECT_EQ(fs::last_write_time(ini()), stamp);

    // A new direction only: only that key is written.
    {
        TestList& l = make();
        l.SortItems(0, 0);
        EXPECT_EQ(settings().SortAsc[CTavloSettings::LV_BOOKMARK], 0);
        l.SetColumnWidth(2, 222);
        list.reset();
    }
    std::string second = ReadAll(ini());
    EXPECT_EQ(second.find("SortColumnBookmark"), std::string::npos);
    EXPECT_NE(second.find("SortAscBookmark"), std::string::npos);
    EXPECT_EQ(settings().ColumnWidth[CTavloSettings::LV_BOOKMARK], (std::vector<int>{50, 50, 222}));
    CTavloSettings::Destroy();
    CTavloSettings::SetProfilePath(ini().c_str());
    EXPECT_EQ(settings().SortAsc[CTavloSettings::LV_BOOKMARK], 0);
    EXPECT_EQ(settings().ColumnWidth[CTavloSettings::LV_BOOKMARK], (std::vector<int>{50, 50, 222}));
}

TEST_F(ListView, RowsRedrawnFromAWorkerAreQueuedAndDroppedWithTheList) {
    TestList& l = make();
    l.add("a");
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            l.RedrawItem(0);
    });
    worker.join();
    Pump(20);
    // Calls still queued when the list goes are dropped with its control.
    std::thread late([&] { l.RedrawItem(0); });
    late.join();
    list.reset();
    Pump(20);
    EXPECT_TRUE(TestList::destroyed);
}

} // namespace
