#include "fetch_support.h"
#include "tavlo_article_file.h"
#include "tavlo_board_menu.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kMenuUrl[] = "http://menu.example-bbs.test/bbsmenu.html";
const char kHobby[] = "hobby.example-bbs.test";
const char kHobby2[] = "hobby2.example-bbs.test";
const char kSoftOld[] = "http://hobby.example-bbs.test/soft/";
const char kSoftNew[] = "http://hobby2.example-bbs.test/soft/";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> rows(const CTavloBoardFile& board) {
    std::vector<std::string> out;
    for (int i = 0; i < board.GetRowCount(); ++i)
        out.push_back(board.Get(i, 0).str() + "|" + board.Get(i, 1).str() + "|" +
                      board.Get(i, 2).str());
    return out;
}

// A store in a temporary root with the board server as proxy.
class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        VornCreateDirectories(root().c_str());
    }
    void TearDown() override { CTavloBookmarkFile::Destroy(); }
    std::string root() const { return fx.root(); }
    std::string file(const std::string& rel) const { return root() + "/" + rel; }
    std::string dir(const char* boardUrl) const {
        return CTavloPath::GetBoardDirectory(CVornString(boardUrl)).str();
    }
    std::string ctl(const std::string& op, const std::string& query) {
        return fx.sim.control("/_ctl/" + op + "?" + query);
    }
    // Local files of a board: one log and a summary with the given (key, seen) rows.
    void makeBoard(const char* boardUrl, const std::string& logKey,
                   const std::vector<std::pair<std::string, int>>& seen) {
        VornCreateDirectories((dir(boardUrl) + "/info").c_str());
        WriteAll(dir(boardUrl) + "/" + logKey + ".dat", "n<>m<>d<>" + logKey + "<>t\n");
        WriteAll(dir(boardUrl) + "/info/" + logKey, "info");
        CTavloArticleFile summary;
        summary.Load(CVornString(boardUrl));
        for (auto& s : seen)
            summary.SetSeen(CVornString(s.first), s.second);
        ASSERT_EQ(summary.Save(), 1);
    }
    void bookmark(const char* boardUrl, const char* key) {
        CTavloBookmarkFile& marks = CTavloBookmarkFile::Instance();
        if (marks.GetPath().IsEmpty())
            marks.Load(CTavloBookmarkFile::GetDefaultPath());
        marks.Add(CVornString(boardUrl), "title", CVornString(key), "name", "soft");
        ASSERT_EQ(marks.Save(), 1);
        // The code under test reads it back from the file.
        CTavloBookmarkFile::Destroy();
    }
    int refresh(CTavloBoardFile& board, CTavloMenuReport& report) {
        CTavloBoardMenu menu(&window);
        return menu.Refresh(board, CVornString(kMenuUrl), report);
    }

    BoardFixture fx;
    RecordingWindow window;
};

} // namespace

TEST(MenuParse, CategoriesLinksAndTheTwoLinkForms) {
    std::string page = "<B>head</B><BR><A HREF=http://h.test/top/>Top</A>"
                       "<BR><B>CatA</B><BR>\n"
                       "<A HREF=http://h.test/a1/ TARGET=_blank>A1</A><br>"
                       "<A HREF=http://h.test/a2/>A2</A><br>"
                       "<A HREF=http://h.test/deep/er/>Deep</A>"
                       "<BR><B>Empty</B><BR>"
                       "<BR><B>CatB</B><BR><A HREF=http://h.test/b1/>B1 &amp; co</A>"
                       "<BR><B>CatC</B><BR>"
                       "<A HREF=http://h.test/c1/ TARGET=_blank>C1</A>"
                       "<A HREF=https://h.test/c2/>https</A>"
                       "<A HREF=http://x.test/c3/ TARGET=_blank>C3</A>";
    CTavloBoardFile out("unused");
    EXPECT_EQ(CTavloBoardMenu::ParseMenu(page, out), 4);
    // The link before the first category is dropped; a TARGET=_blank link is taken only when
    // no plain link follows anywhere after it.
    EXPECT_EQ(rows(out),
              (std::vector<std::string>{"CatA||", "A2|http://h.test/a2/|a2", "Empty||", "CatB||",
                                        "B1 &amp; co|http://h.test/b1/|b1", "CatC||",
                                        "C1|http://h.test/c1/|c1", "C3|http://x.test/c3/|c3"}));
    CTavloBoardFile none("unused");
    EXPECT_EQ(CTavloBoardMenu::ParseMenu("<html>no menu here</html>", none), 0);
    EXPECT_EQ(none.GetRowCount(), 0);
}

TEST_F(MenuTest, MenuFetchWritesBoardTxtAndKeepsTheOldOne) {
    WriteAll(file("board.txt"), "old\n\n\n");
    CTavloBoardFile board;
    ASSERT_EQ(board.CreateFromHttp(CVornString(kMenuUrl), &window), 0);
    std::string h = "http://hobby.example-bbs.test/";
    std::string n = "http://news.example-bbs.test/";
    std::string expected =
        Sjis("ニュース") + "\n\n\n" + Sjis("ニュース速報") + "\n" + n + "news/\nnews\n" +
        Sjis("ニュース速報+") + "\n" + n + "newsplus/\nnewsplus\n" + Sjis("趣味") + "\n\n\n" +
        Sjis("ソフトウェア") + "\n" + h + "soft/\nsoft\n" + Sjis("料理") + "\n" + h +
        "food/\nfood\n" + Sjis("チャット") + "\n\n\n" + Sjis("チャット") + "\n" + h +
        "chat/\nchat\n" + Sjis("ツール類") + "\n\n\n" + Sjis("ツール") + "\n" + h +
        "tool/\ntool\n" + Sjis("他のサイト") + "\n\n\n" + Sjis("他のサイト") + "\n" + h +
        "other/\nother\n" + Sjis("リンク集") + "\n\n\n" + Sjis("リンク掲示板") + "\n" + h +
        "linkbbs/\nlinkbbs\n" + Sjis("おまけ&amp;雑談") + "\n" + h + "extra/\nextra\n";
    EXPECT_EQ(ReadAll(file("board.txt")), expected);
    EXPECT_EQ(ReadAll(file("board.txt.bak")), "old\n\n\n");
    // Loaded without the chat, tool and other-site categories; their boards stay.
    EXPECT_EQ(board.GetRowCount(), 12);
    EXPECT_GE(board.FindId("chat"), 0);
    EXPECT_GE(board.FindId("other"), 0);
    EXPECT_GE(board.FindId("tool"), 0);
    EXPECT_GE(board.FindId("extra"), 0);
    EXPECT_EQ(board.Get(0, 0).str(), Sjis("ニュース"));
    auto reqs = fx.sim.requests();
    ASSERT_FALSE(reqs.empty());
    EXPECT_TRUE(contains(reqs.back(), "\"accept-encoding\": \"identity\""));

    // The next fetch keeps this one as the backup.
    ASSERT_EQ(board.CreateFromHttp(CVornString(kMenuUrl), &window), 0);
    EXPECT_EQ(ReadAll(file("board.txt.bak")), expected);
}

TEST_F(MenuTest, FailedMenuFetchChangesNothing) {
    WriteAll(file("board.txt"), "cat\n\n\nB\nhttp://h.test/b/\nb\n");
    WriteAll(file("board.txt.bak"), "older\n\n\n");
    CTavloBoardFile board;
    ASSERT_EQ(board.Load(), 0);
    EXPECT_EQ(board.CreateFromHttp("http://menu.example-bbs.test/missing.html", &window), -101);
    // A page without any category (an error page served with 200).
    EXPECT_EQ(board.CreateFromHttp("http://hobby.example-bbs.test/soft/", &window), -201);
    // Stopped once the answer has begun (the first progress message arms the stop request).
    bool armed = false;
    class Arm : public CTavloWindow {
    public:
        explicit Arm(bool& flag) : m_flag(flag) {}
        intptr_t SendMessage(unsigned, uintptr_t, intptr_t) override {
            m_flag = true;
            return 0;
        }
        void PostMessage(unsigned, uintptr_t, intptr_t) override {}
        bool& m_flag;
    } arm(armed);
    EXPECT_EQ(board.CreateFromHttp(CVornString(kMenuUrl), &arm, [&armed] { return armed; }), -1);
    EXPECT_EQ(ReadAll(file("board.txt")), "cat\n\n\nB\nhttp://h.test/b/\nb\n");
    EXPECT_EQ(ReadAll(file("board.txt.bak")), "older\n\n\n");
    EXPECT_EQ(rows(board), (std::vector<std::string>{"cat||", "B|http://h.test/b/|b"}));

    CTavloMenuReport report;
    CTavloBoardMenu menu(&window);
    EXPECT_EQ(menu.Refresh(board, "http://menu.example-bbs.test/missing.html", report), 0);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].kind, CTavloNotice::ERROR_CODE);
    EXPECT_EQ(report.notices[0].code, -101);
}

TEST_F(MenuTest, RefreshMovesABoardFoundAtANewHost) {
    CTavloBoardFile board;
    CTavloMenuReport report;
    ASSERT_EQ(refresh(board, report), 1);
    EXPECT_TRUE(report.moves.empty());
    makeBoard(kSoftOld, "1600000001", {{"1600000001", 5}, {"1600000002", 7}});
    makeBoard(kSoftNew, "1600000003", {{"1600000002", 9}, {"1600000003", 1}});
    makeBoard("http://news.example-bbs.test/news/", "1600000009", {{"1600000009", 2}});
    bookmark(kSoftOld, "1600000001");
    WriteAll(file("etc.txt"), std::string("mine\n") + kSoftOld + "\nsoft\n");

    ASSERT_EQ(ctl("move", std::string("host=") + kHobby + "&board=soft&to=" + kHobby2), "ok");
    report.Clear();
    ASSERT_EQ(refresh(board, report), 1);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_EQ(report.moves[0].oldUrl, kSoftOld);
    EXPECT_EQ(report.moves[0].newUrl, kSoftNew);
    EXPECT_TRUE(report.moves[0].merged);
    EXPECT_TRUE(report.notices.empty());

    // The old directory went, and with it the host directory that became empty.
    EXPECT_FALSE(VornIsDirectory(dir(kSoftOld).c_str()));
    EXPECT_FALSE(VornIsDirectory(file(kHobby).c_str()));
    EXPECT_TRUE(VornFileExists((dir(kSoftNew) + "/1600000001.dat").c_str()));
    EXPECT_TRUE(VornFileExists((dir(kSoftNew) + "/info/1600000001").c_str()));
    EXPECT_TRUE(VornFileExists((dir(kSoftNew) + "/1600000003.dat").c_str()));
    CTavloArticleFile merged;
    ASSERT_TRUE(merged.Load(CVornString(kSoftNew)));
    EXPECT_EQ(merged.GetSeen("1600000001"), 5);
    EXPECT_EQ(merged.GetSeen("1600000002"), 9); // the new board's entry wins
    EXPECT_EQ(merged.GetSeen("1600000003"), 1);
    // An unchanged board is not touched.
    EXPECT_TRUE(
        VornFileExists((dir("http://news.example-bbs.test/news/") + "/1600000009.dat").c_str()));
    // References rewritten.
    std::string marks = ReadAll(file("bookmark2.txt"));
    EXPECT_TRUE(contains(marks, std::string("\"") + kSoftNew + "1600000001\""));
    EXPECT_FALSE(contains(marks, kSoftOld));
    EXPECT_EQ(ReadAll(file("etc.txt")), std::string("mine\n") + kSoftNew + "\nsoft\n");

    // Nothing moves again on the next refresh.
    report.Clear();
    ASSERT_EQ(refresh(board, report), 1);
    EXPECT_TRUE(report.moves.empty());
}

TEST_F(MenuTest, HostDirectoryStaysWhileOtherBoardsLiveThere) {
    CTavloBoardFile board;
    CTavloMenuReport report;
    ASSERT_EQ(refresh(board, report), 1);
    makeBoard(kSoftOld, "1600000001", {{"1600000001", 5}});
    makeBoard("http://hobby.example-bbs.test/food/", "1600000005", {});
    ASSERT_EQ(ctl("move", std::string("host=") + kHobby + "&board=soft&to=" + kHobby2), "ok");
    ASSERT_EQ(refresh(board, report), 1);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_FALSE(VornIsDirectory(dir(kSoftOld).c_str()));
    EXPECT_TRUE(VornIsDirectory(file(kHobby).c_str()));
    EXPECT_TRUE(
        VornFileExists((dir("http://hobby.example-bbs.test/food/") + "/1600000005.dat").c_str()));
    EXPECT_TRUE(VornFileExists((dir(kSoftNew) + "/1600000001.dat").c_str()));
}

TEST_F(MenuTest, BoardWithoutLocalDirectoryStillMovesItsReferences) {
    CTavloBoardFile board;
    CTavloMenuReport report;
    ASSERT_EQ(refresh(board, report), 1);
    bookmark(kSoftOld, "1600000001");
    WriteAll(file("etc.txt"), std::string("mine\n") + kSoftOld + "\nsoft\n");
    ASSERT_EQ(ctl("move", std::string("host=") + kHobby + "&board=soft&to=" + kHobby2), "ok");
    ASSERT_EQ(refresh(board, report), 1);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_TRUE(report.moves[0].merged);
    EXPECT_FALSE(VornIsDirectory(dir(kSoftNew).c_str()));
    EXPECT_TRUE(contains(ReadAll(file("bookmark2.txt")), kSoftNew));
    EXPECT_EQ(ReadAll(file("etc.txt")), std::string("mine\n") + kSoftNew + "\nsoft\n");
}

TEST_F(MenuTest, ComparisonByBoardId) {
    // Old menu: a moved board, a vanished one, an unchanged one and a name on two hosts.
    WriteAll(file("board.txt.bak"), "c\n\n\n"
                                    "M\nhttp://a.test/moved/\nmoved\n"
                                    "G\nhttp://a.test/gone/\ngone\n"
                                    "S\nhttp://a.test/same/\nsame\n"
                                    "T\nhttp://a.test/twin/\ntwin\n"
                                    "T\nhttp://b.test/twin/\ntwin\n");
    WriteAll(file("board.txt"), "c\n\n\n"
                                "M\nhttp://z.test/moved/\nmoved\n"
                                "S\nhttp://a.test/same/\nsame\n"
                                "T\nhttp://a.test/twin/\ntwin\n"
                                "T\nhttp://b.test/twin/\ntwin\n");
    makeBoard("http://b.test/twin/", "1600000007", {});
    makeBoard("http://a.test/gone/", "1600000008", {});
    CTavloBoardFile current;
    ASSERT_EQ(current.Load(), 0);
    CTavloBoardMenu menu;
    CTavloMenuReport report;
    EXPECT_EQ(menu.DetectMovesByComparison(current, report), 1);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_EQ(report.moves[0].oldUrl, "http://a.test/moved/");
    EXPECT_EQ(report.moves[0].newUrl, "http://z.test/moved/");
    // The second twin still is where it was: its logs are not merged into the first.
    EXPECT_TRUE(VornFileExists((dir("http://b.test/twin/") + "/1600000007.dat").c_str()));
    EXPECT_TRUE(VornFileExists((dir("http://a.test/gone/") + "/1600000008.dat").c_str()));
    // Without a backup there is nothing to compare.
    VornRemoveFile(file("board.txt.bak").c_str());
    report.Clear();
    EXPECT_EQ(menu.DetectMovesByComparison(current, report), 1);
    EXPECT_TRUE(report.moves.empty());
}

TEST_F(MenuTest, MergeDirectoryGuardsTheLogs) {
    makeBoard("http://a.test/b/", "1600000001", {{"1600000001", 3}});
    // Two addresses of one directory: nothing to copy, nothing removed.
    EXPECT_TRUE(CTavloBoardMenu::MergeDirectory("http://a.test/b/", "https://a.test/b/"));
    EXPECT_TRUE(VornFileExists((dir("http://a.test/b/") + "/1600000001.dat").c_str()));
    // One inside the other cannot be merged.
    EXPECT_FALSE(CTavloBoardMenu::MergeDirectory("http://a.test/b/", "http://a.test/b/c/"));
    EXPECT_FALSE(CTavloBoardMenu::MergeDirectory("http://a.test/b/c/", "http://a.test/b/"));
    EXPECT_FALSE(CTavloBoardMenu::MergeDirectory("http://a.test/b/", "not a url"));
    EXPECT_TRUE(VornFileExists((dir("http://a.test/b/") + "/1600000001.dat").c_str()));
    // A board right under the root: its "host directory" is the root, which stays.
    makeBoard("http://top/", "1600000002", {});
    EXPECT_TRUE(CTavloBoardMenu::MergeDirectory("http://top/", "http://x.test/top/"));
    EXPECT_TRUE(VornIsDirectory(root().c_str()));
    EXPECT_TRUE(VornFileExists((dir("http://x.test/top/") + "/1600000002.dat").c_str()));

    // A failed removal leaves both directories and reports the failure.
    makeBoard("http://a.test/ro/", "1600000003", {});
    chmod(dir("http://a.test/ro/").c_str(), 0555);
    bool merged = CTavloBoardMenu::MergeDirectory("http://a.test/ro/", "http://c.test/ro/");
    chmod(dir("http://a.test/ro/").c_str(), 0755);
    if (geteuid() != 0) {
        EXPECT_FALSE(merged);
        EXPECT_TRUE(VornFileExists((dir("http://a.test/ro/") + "/1600000003.dat").c_str()));
    }
    EXPECT_TRUE(VornFileExists((dir("http://c.test/ro/") + "/1600000003.dat").c_str()));
}

TEST(MenuRedirect, FindsTheScriptsAddress) {
    EXPECT_EQ(CTavloBoardMenu::FindRedirect(
                  "<html><head>\n<script language=\"javascript\">\n"
                  "window.location.href=\"http://new.test/b/\";\n</script>\n</head></html>"),
              "http://new.test/b/");
    EXPECT_EQ(CTavloBoardMenu::FindRedirect("<script language=\"javascript\">window.location."
                                            "href=\"http://n.test/x/\"</script>"),
              "http://n.test/x/");
    EXPECT_EQ(CTavloBoardMenu::FindRedirect("<html><body>board</body></html>"), "");
    EXPECT_EQ(CTavloBoardMenu::FindRedirect("<script>window.location.href=\"http://n/\"</script>"),
              "");
}

TEST_F(MenuTest, MoveFoundFromTheOldBoardPage) {
    CTavloBoardFile board;
    CTavloMenuReport report;
    ASSERT_EQ(refresh(board, report), 1);
    std::string before = ReadAll(file("board.txt"));
    makeBoard(kSoftOld, "1600000001", {{"1600000001", 5}});
    bookmark(kSoftOld, "1600000001");
    // Moved, but the menu still lists the old host.
    ASSERT_EQ(ctl("move", std::string("host=") + kHobby + "&board=soft&to=" + kHobby2 + "&menu=0"),
              "ok");
    report.Clear();
    ASSERT_EQ(refresh(board, report), 1);
    EXPECT_TRUE(report.moves.empty());

    CTavloBoardMenu menu(&window);
    CVornString found;
    report.Clear();
    ASSERT_EQ(menu.DetectMoveFromPage(kSoftOld, found, report), 1);
    EXPECT_EQ(found, kSoftNew);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].kind, CTavloNotice::INFORMATION);
    EXPECT_EQ(report.notices[0].text, CTavloBoardMenuText::kMoveFound);
    EXPECT_EQ(ReadAll(file("board.txt.bak")), before);
    EXPECT_TRUE(contains(ReadAll(file("board.txt")), kSoftNew));
    EXPECT_FALSE(contains(ReadAll(file("board.txt")), kSoftOld));
    EXPECT_TRUE(VornFileExists((dir(kSoftNew) + "/1600000001.dat").c_str()));
    EXPECT_FALSE(VornIsDirectory(dir(kSoftOld).c_str()));
    EXPECT_TRUE(contains(ReadAll(file("bookmark2.txt")), kSoftNew));

    // A page without a redirect, one pointing at itself, and no page at all.
    report.Clear();
    EXPECT_EQ(menu.DetectMoveFromPage("http://news.example-bbs.test/news/", found, report), 0);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].kind, CTavloNotice::ERROR_TEXT);
    EXPECT_EQ(report.notices[0].text, CTavloBoardMenuText::kMoveNotFound);
    ASSERT_EQ(ctl("redirect", "host=news.example-bbs.test&board=news&to=http://"
                              "news.example-bbs.test/news/"),
              "ok");
    report.Clear();
    EXPECT_EQ(menu.DetectMoveFromPage("http://news.example-bbs.test/news/", found, report), 0);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].text, CTavloBoardMenuText::kMoveNotFound);
    report.Clear();
    EXPECT_EQ(menu.DetectMoveFromPage("http://news.example-bbs.test/nosuch/", found, report), 0);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].kind, CTavloNotice::ERROR_CODE);
    EXPECT_EQ(report.notices[0].code, -101);
}

TEST_F(MenuTest, BoardAddedByHandMovesFromItsPage) {
    CTavloBoardFile board;
    CTavloMenuReport report;
    ASSERT_EQ(refresh(board, report), 1);
    const char* oldUrl = "http://hobby.example-bbs.test/mine/";
    const char* newUrl = "http://hobby2.example-bbs.test/mine/";
    ASSERT_EQ(ctl("board", std::string("host=") + kHobby + "&board=mine&threads=3"), "ok");
    WriteAll(file("etc.txt"), std::string("mine\n") + oldUrl + "\nmine\n");
    makeBoard(oldUrl, "1600000004", {{"1600000004", 2}});
    bookmark(oldUrl, "1600000004");
    ASSERT_EQ(ctl("move", std::string("host=") + kHobby + "&board=mine&to=" + kHobby2), "ok");

    CTavloBoardMenu menu(&window);
    CVornString found;
    report.Clear();
    ASSERT_EQ(menu.DetectMoveFromPage(oldUrl, found, report), 1);
    EXPECT_EQ(found, newUrl);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_TRUE(report.moves[0].merged);
    EXPECT_EQ(ReadAll(file("etc.txt")), std::string("mine\n") + newUrl + "\nmine\n");
    EXPECT_TRUE(VornFileExists((dir(newUrl) + "/1600000004.dat").c_str()));
    EXPECT_FALSE(VornIsDirectory(dir(oldUrl).c_str()));
    CTavloArticleFile summary;
    ASSERT_TRUE(summary.Load(CVornString(newUrl)));
    EXPECT_EQ(summary.GetSeen("1600000004"), 2);
    EXPECT_TRUE(contains(ReadAll(file("bookmark2.txt")), std::string(newUrl) + "1600000004"));
}
