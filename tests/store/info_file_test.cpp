#include "store_test_util.h"
#include "tavlo_info_file.h"
#include "tavlo_path.h"
#include "tavlo_sexp.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

namespace {

CTavloInfoFile parse(const std::string& text) {
    CTavloInfoFile info;
    info.Parse(text);
    return info;
}

} // namespace

TEST(SexpEscape, EscapesCharactersNotBytes) {
    EXPECT_EQ(TavloSexpEscape("a\"b\\c"), "a\\\"b\\\\c");
    // The trail byte 0x5C of these characters is not a backslash.
    std::string kanji = Sjis("ソ表能十");
    EXPECT_EQ(TavloSexpEscape(kanji).str(), kanji);
    EXPECT_EQ(TavloSexpUnescape(kanji).str(), kanji);
    EXPECT_EQ(TavloSexpUnescape(TavloSexpEscape(kanji + "\\\"" + kanji).view()).str(),
              kanji + "\\\"" + kanji);
    // A backslash that escapes nothing stays.
    EXPECT_EQ(TavloSexpUnescape("C:\\dir"), "C:\\dir");
}

TEST(SexpReader, ReadsListsStringsAndPropertizedStrings) {
    CTavloSexpReader r("((a . \"x\\\"y\") (b 1 2) (c . (d e)) (s . #(\"t\" 0 1 (charset cp932))))");
    CTavloSexp d;
    ASSERT_EQ(r.Read(d), CTavloSexpReader::OK);
    ASSERT_TRUE(d.IsList());
    EXPECT_EQ(*d.Find("a")->Value()->AsString(), "x\"y");
    EXPECT_EQ(d.Find("b")->items.size(), 3u);
    EXPECT_EQ(d.Find("c")->items.size(), 3u); // dotted list spliced
    EXPECT_EQ(*d.Find("s")->Value()->AsString(), "t");
    EXPECT_EQ(r.Read(d), CTavloSexpReader::END);
}

TEST(SexpReader, CutInputIsAnErrorUnlessClosedAtTheEnd) {
    CTavloSexp d;
    EXPECT_EQ(CTavloSexpReader("((a 1) (b \"x").Read(d), CTavloSexpReader::ERROR);
    ASSERT_EQ(CTavloSexpReader("((a 1) (b \"x").Read(d, true), CTavloSexpReader::OK);
    EXPECT_EQ(d.Find("a")->Value()->text, "1");
    EXPECT_EQ(d.Find("b")->Value(), nullptr);
    std::string deep(1000, '(');
    EXPECT_EQ(CTavloSexpReader(deep).Read(d, true), CTavloSexpReader::ERROR);
}

TEST(InfoFile, PartExampleRoundTripsByteForByte) {
    const std::string line = "((number . 12) nil nil nil nil nil (new 1) (count 35) (max 30) nil)";
    CTavloInfoFile info = parse(line);
    EXPECT_EQ(info.Number, 12);
    EXPECT_TRUE(info.New);
    EXPECT_EQ(info.Count, 35);
    EXPECT_EQ(info.Max, 30);
    EXPECT_FALSE(info.HasName);
    EXPECT_FALSE(info.HasTime);
    EXPECT_FALSE(info.HasMail);
    EXPECT_EQ(info.Format().str(), line);

    const std::string numberOnly = "((number . 7) nil nil nil nil nil nil nil nil nil)";
    info = parse(numberOnly);
    EXPECT_EQ(info.Number, 7);
    EXPECT_EQ(info.Count, 0);
    EXPECT_EQ(info.Max, 0);
    EXPECT_FALSE(info.New);
    EXPECT_EQ(info.Format().str(), numberOnly);

    // number is always written, also when 0.
    EXPECT_EQ(CTavloInfoFile().Format(), "((number . 0) nil nil nil nil nil nil nil nil nil)");
}

TEST(InfoFile, ListsNamesAndFlags) {
    const std::string line = "((number . 3) (name . \"a\\\"b\") (time . \"Sat, 01 Jan 2000 "
                             "00:00:00 GMT\") (hide 3 5 7) (important 9) (mail . \"sage\") nil "
                             "(count 10) nil nil)";
    CTavloInfoFile info = parse(line);
    EXPECT_EQ(info.Name, "a\"b");
    EXPECT_TRUE(info.HasName);
    EXPECT_EQ(info.Time, "Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_EQ(info.Hide, (std::vector<int32_t>{3, 5, 7}));
    EXPECT_EQ(info.Important, (std::vector<int32_t>{9}));
    EXPECT_EQ(info.Mail, "sage");
    EXPECT_EQ(info.Format().str(), line);

    EXPECT_FALSE(parse("((number . 1) nil nil nil nil nil (new 2) nil nil nil)").New);
    EXPECT_FALSE(parse("((number . 1) (name . \"\") nil)").HasName); // "" reads as absent
    EXPECT_EQ(parse("((number . x1) (count abc) (max 12x))").Number, 0);
    EXPECT_EQ(parse("((number . x1) (count abc) (max 12x))").Max, 12);
}

TEST(InfoFile, BackslashesAndShiftJisTrailBytesRoundTrip) {
    CTavloInfoFile info;
    info.Number = 1;
    info.Name = CVornString("name\\");
    info.HasName = true;
    info.Mail = Sjis("ソ表\"十");
    info.HasMail = true;
    CVornString line = info.Format();
    EXPECT_EQ(line.str(), "((number . 1) (name . \"name\\\\\") nil nil nil (mail . \"" +
                              Sjis("ソ表\\\"十") + "\") nil nil nil nil)");
    CTavloInfoFile back = parse(line.str());
    EXPECT_EQ(back.Name, info.Name);
    EXPECT_EQ(back.Mail, info.Mail);
    EXPECT_EQ(back.Format(), line);
}

TEST(InfoFile, ReadsWhatNavi2chWrites) {
    // A comment line first, eleven positional slots, strings with text properties.
    const std::string text = ";;; -*- mode: emacs-lisp; -*-\n"
                             "((number . 25) (name . #(\"" +
                             Sjis("名無し") +
                             "\" 0 3 (charset cp932-2-byte))) (time . \"Sun, 02 Jan 2000 "
                             "10:00:00 GMT\") (hide 4) nil nil (mail . \"" +
                             Sjis("ソ\\\\") + "\") nil nil nil nil)\n";
    CTavloInfoFile info = parse(text);
    EXPECT_EQ(info.Number, 25);
    EXPECT_EQ(info.Name.str(), Sjis("名無し"));
    EXPECT_EQ(info.Time, "Sun, 02 Jan 2000 10:00:00 GMT");
    EXPECT_EQ(info.Hide, (std::vector<int32_t>{4}));
    EXPECT_EQ(info.Mail.str(), Sjis("ソ\\"));
    // The mail is written back exactly as navi2ch wrote it.
    EXPECT_NE(info.Format().str().find("(mail . \"" + Sjis("ソ\\\\") + "\")"), std::string::npos);
}

TEST(InfoFile, EntriesInsideStringsAreNotEntries) {
    CTavloInfoFile info = parse(
        "((number . 4) (name . \"(count 99) (max 5)\") nil nil nil nil nil (count 8) nil nil)");
    EXPECT_EQ(info.Count, 8);
    EXPECT_EQ(info.Max, 0);
    EXPECT_EQ(info.Name, "(count 99) (max 5)");
}

TEST(InfoFile, CutAndDamagedLinesKeepWhatTheyHold) {
    CTavloInfoFile info = parse("((number . 12) (count 35) (name . \"ab");
    EXPECT_EQ(info.Number, 12);
    EXPECT_EQ(info.Count, 35);
    EXPECT_FALSE(info.HasName);
    info = parse(") garbage ((number . 9)");
    EXPECT_EQ(info.Number, 9);
    info = parse("");
    EXPECT_EQ(info.Number, 0);
    // Lines after the record are not read.
    EXPECT_EQ(parse("((number . 1))\n((number . 2))").Number, 1);
}

TEST_F(StoreTest, InfoFileCreateWriteAndCount) {
    CTavloInfoFile info;
    info.Number = 99;
    EXPECT_FALSE(CTavloInfoFile::Create("http://H/B/", "123", info));
    EXPECT_EQ(info.Number, 0); // reset on failure
    EXPECT_EQ(info.Path.str(), path("H/B/info/123"));
    EXPECT_EQ(CTavloInfoFile::GetCount("http://H/B/", "123"), 0);

    info.Number = 12;
    info.Count = 35;
    info.Max = 30;
    info.New = true;
    ASSERT_TRUE(CTavloInfoFile::Write(info)); // makes H/B/info
    EXPECT_EQ(ReadAll(path("H/B/info/123")),
              "((number . 12) nil nil nil nil nil (new 1) (count 35) (max 30) nil)");
    CTavloInfoFile back;
    ASSERT_TRUE(CTavloInfoFile::Create("http://H/B/", "123", back));
    EXPECT_EQ(back.Number, 12);
    EXPECT_EQ(CTavloInfoFile::GetCount("http://H/B/", "123"), 35);

    // A URL outside the root has no info file at all.
    EXPECT_FALSE(CTavloInfoFile::Create("http://H/../../", "123", back));
    EXPECT_TRUE(back.Path.IsEmpty());
    EXPECT_FALSE(CTavloInfoFile::Write(back));
}

TEST_F(StoreTest, InfoFileFailedWriteLeavesTheOldFile) {
    CTavloInfoFile info;
    CTavloInfoFile::Create("http://H/B/", "5", info);
    info.Number = 1;
    ASSERT_TRUE(CTavloInfoFile::Write(info));
    const std::string before = ReadAll(info.Path.str());
    info.Number = 2;
    for (int fault : {VORN_FAULT_RENAME, VORN_FAULT_WRITE}) {
        VornSetFileFault(fault);
        EXPECT_FALSE(CTavloInfoFile::Write(info));
        VornSetFileFault(VORN_FAULT_NONE);
        EXPECT_EQ(ReadAll(info.Path.str()), before);
    }
    // No temporary file is left behind.
    EXPECT_EQ(VornListDirectory(CTavloPath::GetDirectory(info.Path).c_str()).size(), 1u);
}

TEST(InfoFile, UnescapedQuoteInNameLosesOnlyTheName) {
    // Older writers left the quote in a name unescaped.
    CTavloInfoFile info = parse("((number . 12) (name . \"a\"b\") (time . \"Sat, 01 Jan 2000 "
                                "00:00:00 GMT\") (hide 3) nil (mail . \"sage\") (new 1) "
                                "(count 35) (max 30) nil)");
    EXPECT_EQ(info.Number, 12);
    EXPECT_EQ(info.Name, "a\"b");
    EXPECT_EQ(info.Time, "Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_EQ(info.Hide, (std::vector<int32_t>{3}));
    EXPECT_EQ(info.Mail, "sage");
    EXPECT_TRUE(info.New);
    EXPECT_EQ(info.Count, 35);
    EXPECT_EQ(info.Max, 30);
    // The next write escapes it, and reads back the same.
    CTavloInfoFile back = parse(info.Format().str());
    EXPECT_EQ(back.Name, "a\"b");
    EXPECT_EQ(back.Count, 35);
    EXPECT_EQ(back.Max, 30);

    info = parse("((number . 3) (name . \"x\") (time . \"1\"2\") nil nil nil nil (count 8) nil nil)");
    EXPECT_EQ(info.Name, "x");
    EXPECT_EQ(info.Time, "1\"2");
    EXPECT_EQ(info.Count, 8);
}
