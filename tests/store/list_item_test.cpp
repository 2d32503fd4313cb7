#include "store_test_util.h"
#include "tavlo_list_item.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

class Item : public CTavloListItem {
public:
    using CTavloListItem::CTavloListItem;
    int GetMark() const override { return MARK_NORMAL; }
    int GetCount() const override { return count; }
    int count = 0;
};

CVornString clean(const char* text) {
    CVornString s(text);
    TavloCleanTitle(s);
    return s;
}

} // namespace

TEST(TitleCleaning, TagsBreaksAndEntitiesInOrder) {
    EXPECT_EQ(clean("<b>x</b>"), "x");
    EXPECT_EQ(clean("a<br>b"), "a\nb");
    EXPECT_EQ(clean("&amp;lt;"), "&lt;"); // one pass only
    EXPECT_EQ(clean("&gt;&lt;&quot;&nbsp;&amp;"), "><\" &");
    EXPECT_EQ(clean("a < b"), "a < b");        // no ">" after: nothing removed
    EXPECT_EQ(clean("<i>a</i> < b"), "a < b"); // removal stops at the first open "<"
    EXPECT_EQ(clean("x &lt;tag&gt; y"), "x <tag> y");
    std::string kanji = Sjis("ソ表<b>能</b>");
    CVornString k(kanji);
    TavloCleanTitle(k);
    EXPECT_EQ(k.str(), Sjis("ソ表能"));
}

TEST_F(StoreTest, ListItemBuildsUrlAndPathAndCleans) {
    Item item(3, "<b>T</b> &amp; U", "1234567890", "B&quot;", "b", "http://H/b/");
    EXPECT_EQ(item.GetTitle(), "T & U");
    EXPECT_EQ(item.GetBoardName(), "B\"");
    EXPECT_EQ(item.GetThreadUrl(), "http://H/b/1234567890");
    EXPECT_EQ(item.GetLogPath().str(), path("H/b/1234567890.dat"));
    EXPECT_EQ(item.GetIndex(), 3);
    EXPECT_EQ(item.HasLog() + item.IsUpdated() + item.IsNew() + item.IsSearchHit() + item.IsError(),
              0);
    item.SetBoardUrl("http://G/b/");
    EXPECT_EQ(item.GetThreadUrl(), "http://G/b/1234567890");
    EXPECT_EQ(item.GetLogPath().str(), path("G/b/1234567890.dat"));
    item.SetBoardUrl("http://G/../");
    EXPECT_EQ(item.GetLogPath(), "");
}

TEST_F(StoreTest, ListItemSpeedIsCachedUntilReset) {
    CVornString key(std::to_string(time(nullptr) - 2 * 86400));
    Item item(1, "t", key, "", "b", "http://H/b/");
    item.count = 100;
    EXPECT_NEAR(item.GetSpeed(), 50.0, 0.5);
    item.count = 200;
    EXPECT_NEAR(item.GetSpeed(), 50.0, 0.5); // cached
    item.ResetSpeed();
    EXPECT_NEAR(item.GetSpeed(), 100.0, 1.0);
    Item future(1, "t", "9999999999", "", "b", "http://H/b/");
    EXPECT_GE(future.GetSpeed(), 0.0);
}
