#include "store_test_util.h"
#include "tavlo_ng_file.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

namespace {

class NgFileTest : public StoreTest {
protected:
    void TearDown() override {
        CTavloNgFile::Destroy();
        StoreTest::TearDown();
    }
    std::string ngPath() const { return path("ngword.txt"); }
};

} // namespace

TEST_F(NgFileTest, LoadSplitsAtTheLastTab) {
    WriteAll(ngPath(), "http://H/B/\tspam\r\n"
                       "\teverywhere\r\n"
                       "no tab here\r\n"
                       "a\t\tb\r\n"
                       "lf only\tx\n"
                       "cut\ttail");
    CTavloNgFile ng;
    ASSERT_TRUE(ng.Load());
    ASSERT_EQ(ng.GetRowCount(), 5);
    EXPECT_EQ(ng.Get(0, 0), "http://H/B/");
    EXPECT_EQ(ng.Get(0, 1), "spam");
    EXPECT_EQ(ng.Get(1, 0), "");
    EXPECT_EQ(ng.Get(1, 1), "everywhere");
    EXPECT_EQ(ng.Get(2, 0), "a\t"); // earlier tabs stay in the scope
    EXPECT_EQ(ng.Get(2, 1), "b");
    EXPECT_EQ(ng.Get(3, 1), "x");
    EXPECT_EQ(ng.Get(4, 1), "tail");

    // Written back with CR LF; the line without a tab is gone.
    ASSERT_TRUE(ng.Save());
    EXPECT_EQ(ReadAll(ngPath()), "http://H/B/\tspam\r\n\teverywhere\r\na\t\tb\r\nlf only\tx\r\n"
                                 "cut\ttail\r\n");
    CTavloNgFile again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.GetRowCount(), 5);
}

TEST_F(NgFileTest, BytesThatAreNotShiftJisSurviveLoadAndSave) {
    std::string text = "\t" + Sjis("荒らし") + "\x80\xff\r\n";
    WriteAll(ngPath(), text);
    CTavloNgFile ng;
    ASSERT_TRUE(ng.Load());
    ASSERT_EQ(ng.GetRowCount(), 1);
    ASSERT_TRUE(ng.Save());
    EXPECT_EQ(ReadAll(ngPath()), text);
}

TEST_F(NgFileTest, ExpressionJoinsApplicableRulesInRowOrder) {
    CTavloNgFile ng;
    ng.AddRow({"http://H/B/", "first"});
    ng.AddRow({"http://other/", "never"});
    ng.AddRow({"", "everywhere"});
    ng.AddRow({"/B/12", "third"});
    EXPECT_EQ(ng.GetExpression("123", "http://H/B/"), "first|everywhere|third");
    // The "/" is added when the board URL lacks it.
    EXPECT_EQ(ng.GetExpression("123", "http://H/B"), "first|everywhere|third");
    EXPECT_EQ(ng.GetExpression("99", "http://x/y/"), "everywhere");
    EXPECT_EQ(ng.GetExpression("", "http://H/B/"), "");
    EXPECT_EQ(ng.GetExpression("123", ""), "");
    CTavloNgFile empty;
    EXPECT_EQ(empty.GetExpression("1", "http://H/B/"), "");
}

TEST_F(NgFileTest, InvalidRulesAreReportedAndLeftOut) {
    CTavloNgFile ng;
    ng.AddRow({"(", "bad scope"});
    ng.AddRow({"", "[unclosed"});
    ng.AddRow({"", "good"});
    ng.AddRow({"", ""});
    ng.AddRow({"", "(?<n>a)"});
    ng.AddRow({"", "(?<n>b)"}); // valid alone, not beside the one before
    std::vector<CTavloNgFile::Problem> problems;
    EXPECT_EQ(ng.GetExpression("1", "http://H/B/", &problems), "good|(?<n>a)");
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].row, 0);
    EXPECT_EQ(problems[0].column, CTavloNgFile::COL_SCOPE);
    EXPECT_EQ(problems[1].row, 1);
    EXPECT_EQ(problems[1].column, CTavloNgFile::COL_PATTERN);
    EXPECT_FALSE(problems[1].error.IsEmpty());
    EXPECT_EQ(problems[2].row, 3);
    EXPECT_EQ(problems[3].row, 5);
    // The same answer from the cache.
    EXPECT_EQ(ng.GetExpression("1", "http://H/B/"), "good|(?<n>a)");
}

TEST_F(NgFileTest, AddThreadRuleGoesFirstAndIsSaved) {
    CTavloNgFile& ng = CTavloNgFile::Instance();
    ng.AddRow({"", "old"});
    ASSERT_TRUE(ng.AddThreadRule("http://H/B/123", "line1\nline2\twith tab"));
    EXPECT_EQ(ng.Get(0, 0), "http://H/B/123");
    EXPECT_EQ(ng.Get(0, 1), "line1line2\twith tab");
    // The tab is written as the expression "\t" so the line splits where it should.
    EXPECT_EQ(ReadAll(ngPath()), "http://H/B/123\tline1line2\\twith tab\r\n\told\r\n");
    EXPECT_FALSE(ng.AddThreadRule("http://H/B/123", "\n"));
    EXPECT_EQ(ng.GetRowCount(), 2);

    CTavloNgFile::Destroy();
    CTavloNgFile& again = CTavloNgFile::Instance();
    ASSERT_EQ(again.GetRowCount(), 2);
    EXPECT_EQ(again.Get(0, 1), "line1line2\\twith tab");
}

TEST_F(NgFileTest, MissingFileAndFailedSave) {
    CTavloNgFile ng;
    ng.AddRow({"", "kept"});
    EXPECT_FALSE(ng.Load()); // no file: rows stay
    EXPECT_EQ(ng.GetRowCount(), 1);

    ASSERT_TRUE(ng.Save());
    ng.AddRow({"", "more"});
    VornSetFileFault(VORN_FAULT_RENAME);
    EXPECT_FALSE(ng.Save());
    VornSetFileFault(VORN_FAULT_NONE);
    EXPECT_EQ(ReadAll(ngPath()), "\tkept\r\n");
}
