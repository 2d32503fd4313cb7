#include "test_util.h"
#include "vorn_regex.h"

#include <gtest/gtest.h>

TEST(Regex, ShiftJisTrailBytesAreNotMetacharacters) {
    // ソ is 83 5C and 表 is 95 5C: a byte regex would read an escape or alternation there.
    CVornRegex re;
    ASSERT_EQ(re.Compile(Sjis("ソフト|表示").c_str()), 1);
    CVornString subject(Sjis("この表示です"));
    EXPECT_EQ(re.Match(subject), 4); // byte offset of 表
    EXPECT_EQ(re.GetEnd(0), 8);
    // '|' as a trail byte (0x7C): ポ is 83 7C.
    CVornRegex bar;
    ASSERT_EQ(bar.Compile(Sjis("ポ").c_str()), 1);
    EXPECT_EQ(bar.Match(CVornString(Sjis("ab|ポ"))), 3);
    // A plain backslash in the subject does not match the trail byte of ソ.
    CVornRegex bs;
    ASSERT_EQ(bs.Compile("\\\\"), 1);
    EXPECT_EQ(bs.Match(CVornString(Sjis("ソソ\\"))), 4);
}

TEST(Regex, GroupsAndOffsetsMapBackToBytes) {
    CVornRegex re;
    ASSERT_EQ(re.Compile(Sjis("(名無し)(?:さん)?<>([^<]*)<>").c_str()), 1);
    EXPECT_EQ(re.GetSubexpCount(), 3);
    CVornString line(Sjis("名無しさん<>sage<>本文"));
    ASSERT_EQ(re.Match(line), 0);
    EXPECT_EQ(re.GetStart(1), 0);
    EXPECT_EQ(re.GetEnd(1), 6);
    EXPECT_EQ(re.GetGroup(2), "sage");
    EXPECT_EQ(re.GetStart(2), 12);
    EXPECT_EQ(re.GetStart(5), -1);
}

TEST(Regex, LazyCaseFoldAndStartOffset) {
    CVornRegex lazy;
    ASSERT_EQ(lazy.Compile("<b>(.+?)</b>"), 1);
    CVornString s("<b>one</b><b>two</b>");
    ASSERT_EQ(lazy.Match(s), 0);
    EXPECT_EQ(lazy.GetGroup(1), "one");
    ASSERT_EQ(lazy.Match(s, lazy.GetEnd(0)), 10);
    EXPECT_EQ(lazy.GetGroup(1), "two");
    EXPECT_EQ(lazy.Match(s, 11), CVornRegex::NOMATCH);
    EXPECT_EQ(lazy.Match(s, 999), CVornRegex::NOMATCH);

    CVornRegex icase;
    ASSERT_EQ(icase.Compile("SaGe", CVornRegex::FLAG_ICASE), 1);
    EXPECT_EQ(icase.Match(CVornString("mail: sage")), 6);
    CVornRegex strict;
    ASSERT_EQ(strict.Compile("SaGe"), 1);
    EXPECT_EQ(strict.Match(CVornString("mail: sage")), CVornRegex::NOMATCH);
    // Start in the middle of a double-byte character: the search starts at the next one.
    CVornRegex any;
    ASSERT_EQ(any.Compile("."), 1);
    EXPECT_EQ(any.Match(CVornString(Sjis("あい")), 1), 2);
}

TEST(Regex, ClassesAndFullWidthRanges) {
    CVornRegex re;
    ASSERT_EQ(re.Compile(Sjis("(>|＞)(1|１)[^0-9|０-９]").c_str()), 1);
    EXPECT_GE(re.Match(CVornString(Sjis("＞１ です"))), 0);
    EXPECT_EQ(re.Match(CVornString(Sjis(">>12"))), CVornRegex::NOMATCH);
    EXPECT_EQ(re.Match(CVornString(Sjis(">１０"))), CVornRegex::NOMATCH);
}

TEST(Regex, WideSubjects) {
    CVornRegex re;
    ASSERT_EQ(re.CompileW(u"ID:([^ ]+)"), 1);
    std::u16string text = u"2009/01/01 ID:ab+cD0 本文";
    ASSERT_EQ(re.MatchW(text), 11);
    EXPECT_EQ(re.GetStart(1), 14);
    EXPECT_EQ(re.GetEnd(1), 20);
}

TEST(Regex, InvalidPatternIsAnErrorValue) {
    CVornRegex re;
    EXPECT_EQ(re.Compile("(unclosed"), 0);
    EXPECT_FALSE(re.IsValid());
    EXPECT_FALSE(re.GetError().IsEmpty());
    EXPECT_EQ(re.Match(CVornString("unclosed")), CVornRegex::ERROR);
    EXPECT_EQ(re.GetSubexpCount(), 0);
    EXPECT_EQ(re.GetStart(0), -1);
    EXPECT_EQ(re.Compile("[z-a]"), 0);
    EXPECT_EQ(re.Compile("a{99999999}"), 0);
}

TEST(Regex, InvalidShiftJisSubjectStillMatches) {
    CVornRegex re;
    ASSERT_EQ(re.Compile("b"), 1);
    EXPECT_EQ(re.Match(CVornString(std::string("a\x80\xff"
                                               "b"))),
              3);
}
