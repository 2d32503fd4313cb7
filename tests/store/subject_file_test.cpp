#include "store_test_util.h"
#include "tavlo_bbs_subject.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_path.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Parsed {
    int ok = 0;
    std::string key, title, count, boardUrl, boardName, boardId;
    bool extended = false;
};

Parsed parseWith(CTavloBbsSubject& parser, const std::string& line) {
    std::string buf = line;
    Parsed p;
    p.ok = parser.Parse(buf.data());
    if (!p.ok)
        return p;
    p.key = parser.GetKey();
    p.title = parser.GetTitle();
    p.count = parser.GetCount();
    p.extended = parser.GetBoardName() != nullptr;
    if (p.extended) {
        p.boardUrl = parser.GetBoardUrl();
        p.boardName = parser.GetBoardName();
    }
    p.boardId = parser.GetBoardId().str();
    return p;
}

Parsed standard(const std::string& line) {
    CTavloBbsSubject parser;
    return parseWith(parser, line);
}

} // namespace

TEST(SubjectParse, StandardLineWithAndWithoutBlankBeforeCount) {
    Parsed a = standard("1234567890.dat<>Title (12)");
    ASSERT_EQ(a.ok, 1);
    EXPECT_EQ(a.key, "1234567890");
    EXPECT_EQ(a.title, "Title");
    EXPECT_EQ(a.count, "12");
    EXPECT_FALSE(a.extended);
    Parsed b = standard("1234567890.dat<>Title(12)");
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(b.title, "Title");
    EXPECT_EQ(b.count, "12");
    // Only one blank goes; text after the ")" is ignored.
    Parsed c = standard("1.dat<>T  (7) trailing");
    EXPECT_EQ(c.title, "T ");
    EXPECT_EQ(c.count, "7");
}

TEST(SubjectParse, TitleWithParenthesesKeepsAllBeforeTheLastOpening) {
    Parsed p = standard("1234567890.dat<>a (b) (3)");
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.title, "a (b)");
    EXPECT_EQ(p.count, "3");
    // Shift_JIS text whose trail bytes would look like delimiters in a careless search.
    Parsed k = standard("1.dat<>" + Sjis("表示ソフト（全角） (東京)") + " (45)");
    EXPECT_EQ(k.title, Sjis("表示ソフト（全角） (東京)"));
    EXPECT_EQ(k.count, "45");
}

TEST(SubjectParse, RejectedLines) {
    EXPECT_EQ(standard("no dot here <> (1)").ok, 0);
    EXPECT_EQ(standard("123.dat no arrow (1)").ok, 0);
    EXPECT_EQ(standard("123.dat<>no count").ok, 0);
    EXPECT_EQ(standard("123.dat<>open only (12").ok, 0);
    // The count's ")" must come before the extended fields.
    EXPECT_EQ(standard("123.dat<>t (12<>http://h/b/<>n)").ok, 0);
}

TEST(SubjectParse, ExtendedLineCarriesItsBoard) {
    Parsed p =
        standard("1234567890.dat<>T (5)<>http://news.example.test/board/<>" + Sjis("ニュース"));
    ASSERT_EQ(p.ok, 1);
    EXPECT_TRUE(p.extended);
    EXPECT_EQ(p.title, "T");
    EXPECT_EQ(p.count, "5");
    EXPECT_EQ(p.boardUrl, "http://news.example.test/board/");
    EXPECT_EQ(p.boardName, Sjis("ニュース"));
    EXPECT_EQ(p.boardId, "board");
    // The id runs from after the host to the last "/".
    EXPECT_EQ(standard("1.dat<>T (5)<>http://h.test/cat/123/<>n").boardId, "cat/123");
    // An empty board name is allowed.
    EXPECT_EQ(standard("1.dat<>T (5)<>http://h.test/b/<>").ok, 1);
    // Board URLs the id cannot be taken from.
    EXPECT_EQ(standard("1.dat<>T (5)<>h.test/b/<>n").ok, 0);
    EXPECT_EQ(standard("1.dat<>T (5)<>http://h.test<>n").ok, 0);
    EXPECT_EQ(standard("1.dat<>T (5)<>http://h.test/b<>n").ok, 0);
    EXPECT_EQ(standard("1.dat<>T (5)<>http://h.test/b/").ok, 0);
    // A parser reused for a standard line after an extended one forgets the board.
    CTavloBbsSubject parser;
    parseWith(parser, "1.dat<>T (5)<>http://h.test/b/<>n");
    Parsed again = parseWith(parser, "2.dat<>U (6)");
    EXPECT_FALSE(again.extended);
    EXPECT_EQ(again.boardId, "");
}

TEST(SubjectParse, MachiLines) {
    CTavloBbsSubjectMachi machi;
    Parsed p = parseWith(machi, "1234567890.cgi," + Sjis("札幌の話題") + "(123)");
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.key, "1234567890");
    EXPECT_EQ(p.title, Sjis("札幌の話題"));
    EXPECT_EQ(p.count, "123");
    // No blank is trimmed; the last "(" and the last ")" after it bound the count.
    Parsed q = parseWith(machi, "1.cgi,a(b) (9)");
    EXPECT_EQ(q.title, "a(b) ");
    EXPECT_EQ(q.count, "9");
    EXPECT_EQ(parseWith(machi, "1.cgi title(3)").ok, 0);
    EXPECT_EQ(parseWith(machi, "1cgi,title(3)").ok, 0);
    EXPECT_EQ(parseWith(machi, "1.cgi,title 3)").ok, 0);
    EXPECT_EQ(parseWith(machi, "1.cgi,title(3").ok, 0);
}

TEST(SubjectParse, LivedoorTitleIsConvertedFromEucJp) {
    CTavloBbsSubjectLivedoor jbbs;
    CVornString title(Sjis("雑談スレッド（その２）"));
    title.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    ASSERT_NE(title.str(), Sjis("雑談スレッド（その２）"));
    Parsed p = parseWith(jbbs, "1234567890.cgi," + title.str() + "(77)");
    ASSERT_EQ(p.ok, 1);
    EXPECT_EQ(p.key, "1234567890");
    EXPECT_EQ(p.title, Sjis("雑談スレッド（その２）"));
    EXPECT_EQ(p.count, "77");
}

TEST(SubjectParse, ParserChoiceByBoardUrl) {
    auto kind = [](const char* url) {
        CTavloBbsSubjectManager m{CVornString(url)};
        if (dynamic_cast<CTavloBbsSubjectLivedoor*>(m.GetParser()))
            return "jbbs";
        if (dynamic_cast<CTavloBbsSubjectMachi*>(m.GetParser()))
            return "machi";
        return "std";
    };
    EXPECT_STREQ(kind("http://hokkaido.machi.to/hokkaidou/"), "machi");
    EXPECT_STREQ(kind("http://kanto.machibbs.com/tokyo/"), "machi");
    EXPECT_STREQ(kind("http://machi.to/tokyo/"), "std");     // no subdomain
    EXPECT_STREQ(kind("http://a.b.machi.to/tokyo/"), "std"); // two labels
    EXPECT_STREQ(kind("http://machi.to.example/x/"), "std"); // a different domain
    EXPECT_STREQ(kind("http://jbbs.shitaraba.net/game/1234/"), "jbbs");
    EXPECT_STREQ(kind("http://jbbs.livedoor.jp/game/1234/"), "jbbs");
    EXPECT_STREQ(kind("http://news.5ch.net/news/"), "std");
    EXPECT_STREQ(kind(""), "std");
}

namespace {

class SubjectFile : public StoreTest {
protected:
    void TearDown() override {
        CTavloSubjectFile::SetBoardNameLookup({});
        CTavloBookmarkFile::Destroy();
        StoreTest::TearDown();
    }
    // Writes root/host/board/subject.txt and returns its path.
    std::string write(const std::string& text, const std::string& dir = "host.test/board") {
        std::string d = path(dir);
        VornCreateDirectories(d.c_str());
        WriteAll(d + "/subject.txt", text);
        return d + "/subject.txt";
    }
};

} // namespace

TEST_F(SubjectFile, LoadsEntriesWithIndexesBoardAndName) {
    WriteAll(path("board.txt"), Sjis("カテゴリ\n\n\n掲示板\nhttp://host.test/board/\nboard\n"));
    std::string p = write("1000000001.dat<>first (10)\n"
                          "\n"
                          "broken line\n"
                          "1000000003.dat<>" +
                          Sjis("三番目") +
                          " (3)\n"
                          "\n"
                          "1000000004.dat<>ext (4)<>http://other.test/o/<>Other\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    EXPECT_EQ(list.GetBoardUrl(), "http://host.test/board/");
    ASSERT_EQ(list.GetCount(), 3);
    // Empty lines do not count; the rejected one does.
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(1)->GetIndex(), 3);
    EXPECT_EQ(list.Get(2)->GetIndex(), 4);
    const CTavloSubjectItem* first = list.Get(0);
    EXPECT_EQ(first->GetKey(), "1000000001");
    EXPECT_EQ(first->GetTitle(), "first");
    EXPECT_EQ(first->GetCount(), 10);
    EXPECT_EQ(first->GetCountText(), "10");
    EXPECT_EQ(first->GetBoardUrl(), "http://host.test/board/");
    EXPECT_EQ(first->GetBoardId(), "board");
    EXPECT_EQ(first->GetBoardName().str(), Sjis("掲示板"));
    EXPECT_EQ(first->GetThreadUrl(), "http://host.test/board/1000000001");
    EXPECT_EQ(first->GetLogPath().str(), path("host.test/board/1000000001.dat"));
    EXPECT_EQ(list.Get(1)->GetTitle().str(), Sjis("三番目"));
    // The extended line keeps its own board.
    const CTavloSubjectItem* ext = list.Get(2);
    EXPECT_EQ(ext->GetBoardUrl(), "http://other.test/o/");
    EXPECT_EQ(ext->GetBoardName(), "Other");
    EXPECT_EQ(ext->GetBoardId(), "o");
    EXPECT_EQ(ext->GetThreadUrl(), "http://other.test/o/1000000004");
    // Key index.
    EXPECT_EQ(list.FindKey("1000000003"), list.Get(1));
    EXPECT_EQ(list.FindKey("1000000002"), nullptr);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.FindKey("1000000003"), nullptr);
}

TEST_F(SubjectFile, BoardNameFromEtcBeforeMenuAndFromAPluggedLookup) {
    WriteAll(path("board.txt"), "cat\n\n\nMenuName\nhttp://host.test/board/\nboard\n");
    WriteAll(path("etc.txt"), "EtcName\nhttp://host.test/board/\nboard\n");
    std::string p = write("1.dat<>t (1)\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    EXPECT_EQ(list.Get(0)->GetBoardName(), "EtcName");
    CVornString asked;
    CTavloSubjectFile::SetBoardNameLookup([&asked](const CVornString& url) {
        asked = url;
        return CVornString("Plugged");
    });
    ASSERT_EQ(list.CreateFromFile(p), 0);
    EXPECT_EQ(asked, "http://host.test/board/");
    EXPECT_EQ(list.Get(0)->GetBoardName(), "Plugged");
}

TEST_F(SubjectFile, TitlesAndBoardNamesAreCleanedOncePerEntry) {
    std::string p = write("1.dat<>&amp;lt; (1)\n"
                          "2.dat<>&quot;q&quot; &gt; &nbsp;x (2)\n"
                          "3.dat<>t (3)<>http://h.test/b/<><b>x</b> &amp;amp;\n"
                          // A raw "<" in a title starts the extended fields: no count before it.
                          "4.dat<>a<b>b</b> (4)\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(0)->GetTitle(), "&lt;");
    EXPECT_EQ(list.Get(1)->GetTitle(), "\"q\" >  x");
    EXPECT_EQ(list.Get(2)->GetBoardName(), "x &amp;");
}

TEST_F(SubjectFile, LongLinesCrlfAndNulBytesStayOneEntryEach) {
    std::string longTitle(20000, 'x');
    std::string text = "1.dat<>" + longTitle + " (5)\r\n2.dat<>two (6)\r\n";
    text += std::string("3.dat<>n\0l (7)\n", 15);
    std::string p = write(text);
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(0)->GetTitle().str(), longTitle);
    EXPECT_EQ(list.Get(0)->GetCount(), 5);
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
    EXPECT_EQ(list.Get(1)->GetCount(), 6);
    EXPECT_EQ(list.Get(2)->GetTitle(), "n l");
    EXPECT_EQ(list.Get(2)->GetCount(), 7);
}

TEST_F(SubjectFile, MissingFileKeepsTheListAndPathsOutsideTheStoreHaveNoBoard) {
    std::string p = write("1.dat<>t (1)\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    EXPECT_EQ(list.CreateFromFile(path("host.test/none/subject.txt")), -200);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_NE(list.FindKey("1"), nullptr);

    TempDir elsewhere;
    VornCreateDirectories((elsewhere.path() + "/h/b").c_str());
    WriteAll(elsewhere.path() + "/h/b/subject.txt", "9.dat<>t (1)\n");
    ASSERT_EQ(list.CreateFromFile(elsewhere.path() + "/h/b/subject.txt"), 0);
    EXPECT_EQ(list.GetBoardUrl(), "");
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Get(0)->GetBoardId(), "");
    EXPECT_EQ(list.Get(0)->GetLogPath(), "");
}

TEST(SubjectPath, BoardOfPath) {
    CVornString url, id;
    EXPECT_TRUE(CTavloSubjectFile::BoardOfPath("/r/h.test/b/subject.txt", "/r", url, id));
    EXPECT_EQ(url, "http://h.test/b/");
    EXPECT_EQ(id, "b");
    EXPECT_TRUE(CTavloSubjectFile::BoardOfPath("/r/h.test/b/subject.txt", "/r/", url, id));
    EXPECT_EQ(url, "http://h.test/b/");
    EXPECT_TRUE(CTavloSubjectFile::BoardOfPath("/r/h.test/cat/12/subject.txt", "/r", url, id));
    EXPECT_EQ(url, "http://h.test/cat/12/");
    EXPECT_EQ(id, "12");
    EXPECT_TRUE(CTavloSubjectFile::BoardOfPath("/r/.tmp/find.test/subject.txt", "/r", url, id));
    EXPECT_EQ(url, "http://.tmp/find.test/");
    EXPECT_FALSE(CTavloSubjectFile::BoardOfPath("/rx/h/b/subject.txt", "/r", url, id));
    EXPECT_EQ(url, "");
    EXPECT_FALSE(CTavloSubjectFile::BoardOfPath("/r/h/b/subject.txt.bak", "/r", url, id));
    EXPECT_FALSE(CTavloSubjectFile::BoardOfPath("subject.txt", "/r", url, id));
}

TEST_F(SubjectFile, SearchListHoldsEachThreadsOwnBoard) {
    std::string p = write("1.dat<>a (1)<>http://x.test/b1/<>B1\n"
                          "2.dat<>b (2)<>http://y.test/b2/<>B2\n",
                          ".tmp/find.example.test");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    EXPECT_EQ(list.GetBoardUrl(), "http://.tmp/find.example.test/");
    EXPECT_TRUE(list.IsSearchList());
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Get(1)->GetBoardName(), "B2");
    EXPECT_EQ(list.Get(1)->GetBoardUrl(), "http://y.test/b2/");
    EXPECT_EQ(list.Get(1)->GetLogPath().str(), path("y.test/b2/2.dat"));
}

TEST_F(SubjectFile, HasLogAsksTheFileSystemAndMarksIncludeBookmarks) {
    std::string p = write("1000000001.dat<>t (1)\n1000000002.dat<>u (2)\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(p), 0);
    CTavloSubjectItem* item = list.Get(0);
    EXPECT_EQ(item->HasLog(), 0);
    WriteAll(item->GetLogPath().str(), "a<>b<>c<>d<>e\n");
    EXPECT_EQ(item->HasLog(), 1);
    VornRemoveFile(item->GetLogPath().c_str());
    EXPECT_EQ(item->HasLog(), 0);

    EXPECT_EQ(item->GetMark(), CTavloListItem::MARK_NORMAL);
    ASSERT_TRUE(CTavloBookmarkFile::Instance().Add("http://host.test/board/", "t", "1000000001",
                                                   "B", "board"));
    EXPECT_EQ(item->GetMark(), CTavloListItem::MARK_NORMAL | CTavloListItem::MARK_BOOKMARKED);
    item->SetNew(1);
    list.Get(1)->SetUpdated(1);
    EXPECT_EQ(item->GetMark(), 0x01 | 0x04 | 0x20);
    EXPECT_EQ(list.Get(1)->GetMark(), 0x01 | 0x08);
}

TEST_F(SubjectFile, MarkingAgainstThePreviousList) {
    CTavloSubjectFile previous, current;
    std::string p = write("1.dat<>same (10)\n2.dat<>grew (10)\n3.dat<>fell (10)\n");
    ASSERT_EQ(previous.CreateFromFile(p), 0);
    p = write("4.dat<>new (3)\n1.dat<>same (10)\n2.dat<>grew (15)\n3.dat<>fell (8)\n");
    ASSERT_EQ(current.CreateFromFile(p), 0);

    // Without a previous list nothing is marked.
    CTavloSubjectFile empty;
    EXPECT_EQ(current.Mark(empty), 0);
    for (CTavloSubjectItem* item : current)
        EXPECT_EQ(item->IsNew() + item->IsUpdated() + item->GetNewCount(), 0);

    EXPECT_EQ(current.Mark(previous), 2);
    CTavloSubjectItem* added = current.FindKey("4");
    EXPECT_EQ(added->IsNew(), 1);
    EXPECT_EQ(added->IsUpdated(), 0);
    CTavloSubjectItem* grew = current.FindKey("2");
    EXPECT_EQ(grew->IsUpdated(), 1);
    EXPECT_EQ(grew->GetNewCount(), 5);
    EXPECT_EQ(grew->IsNew(), 0);
    for (const char* key : {"1", "3"}) {
        CTavloSubjectItem* item = current.FindKey(key);
        EXPECT_EQ(item->IsNew() + item->IsUpdated() + item->GetNewCount(), 0) << key;
    }
}
