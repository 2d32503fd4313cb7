#include "tavlo_article_file.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_info_file.h"
#include "tavlo_link.h"
#include "tavlo_path.h"
#include "view_test_util.h"

#include <QScrollBar>

#include <gtest/gtest.h>

#include <string>

namespace {

const CVornString kBoard("http://example.com/test/");
const CVornString kKey("1234567890");

std::string Post(int n, const char* body = "本文です", const char* mail = "sage") {
    std::string line = "名無しさん<>" + std::string(mail) + "<>2009/01/01(木) 12:00:0" +
                       std::to_string(n % 10) + " ID:id" + std::to_string(n) + "<> " + body +
                       " <>" + (n == 1 ? "テストスレ &amp; その１" : "") + "\n";
    return Sjis(line.c_str());
}

std::string Posts(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i)
        s += Post(i);
    return s;
}

class DatCtrl : public ::testing::Test {
protected:
    void SetUp() override {
        logPath = std::string(CTavloPath::GetLogPath(kBoard, kKey).c_str());
        infoPath = std::string(CTavloPath::GetInfoPath(kBoard, kKey).c_str());
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(logPath)).c_str());
        parent.resize(480, 300);
        ctrl = std::make_unique<CTavloDatCtrl>(&parent);
        ctrl->GetTextCtrl()->SetTextFont(ViewFont());
        ctrl->GetTextCtrl()->resize(480, 300);
        ctrl->SetThread(kBoard, kKey);
        parent.show();
        QApplication::processEvents();
    }
    void TearDown() override { ctrl.reset(); }

    void WriteLog(const std::string& bytes) { WriteAll(logPath, bytes); }
    void WriteInfo(const char* text) {
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(infoPath)).c_str());
        WriteAll(infoPath, text);
    }
    CTavloInfoFile ReadInfo() {
        CTavloInfoFile info;
        CTavloInfoFile::Create(kBoard, kKey, info);
        return info;
    }
    std::u16string Text() { return ctrl->GetTextCtrl()->GetText(); }
    // The reader moves to post n, as a key of the thread does.
    void ReadTo(int n) {
        ctrl->JumpNumber(n, false);
        ctrl->RaiseFurthestRead();
    }
    // Marker of post n's date line.
    char16_t DateMark(int n) {
        CTavloTextCtrl* t = ctrl->GetTextCtrl();
        int line = ctrl->GetPostLine(n);
        while (!t->IsLastLineOfLogical(line))
            ++line;
        return t->CharAt(t->LineIndex(line + 1));
    }

    ViewEnv env;
    QWidget parent;
    std::string logPath, infoPath;
    std::unique_ptr<CTavloDatCtrl> ctrl;
};

TEST_F(DatCtrl, OpensAtTheSavedPostWithNewPostsAboveCount) {
    WriteLog(Posts(1, 10));
    WriteInfo("((number . 5) nil nil nil nil nil nil (count 8) (max 6) nil)");
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 10);
    EXPECT_EQ(ctrl->GetTitle(), CVornString(Sjis("テストスレ & その１")));
    EXPECT_EQ(ctrl->GetTopPost(), 5);
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), ctrl->GetPostLine(5));
    EXPECT_EQ(ctrl->GetFurthestReadLine(), ctrl->GetPostLine(5));
    EXPECT_EQ(DateMark(8), TAVLO_MARK_DATE);
    EXPECT_EQ(DateMark(9), TAVLO_MARK_DATE_NEW);
    EXPECT_EQ(DateMark(10), TAVLO_MARK_DATE_NEW);
}

TEST_F(DatCtrl, NewFlagMovesTheBoundaryToMax) {
    WriteLog(Posts(1, 10));
    WriteInfo("((number . 1) nil nil nil nil nil (new 1) (count 8) (max 6) nil)");
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(DateMark(6), TAVLO_MARK_DATE);
    EXPECT_EQ(DateMark(7), TAVLO_MARK_DATE_NEW);
}

TEST_F(DatCtrl, MissingInfoMakesEveryPostNew) {
    WriteLog(Posts(1, 3));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(DateMark(1), TAVLO_MARK_DATE_NEW);
    EXPECT_EQ(ctrl->GetTopPost(), 1);
}

TEST_F(DatCtrl, MissingAndEmptyLogs) {
    EXPECT_EQ(ctrl->CreateFromFile(), -200);
    EXPECT_EQ(ctrl->GetPostCount(), 0);
    WriteLog("");
    EXPECT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 0);
    EXPECT_TRUE(Text().empty());
}

TEST_F(DatCtrl, CrLfAndAMissingLastLineFeed) {
    WriteLog(Sjis("a<><>d<>x<>題名\r\nb<><>d<>y<>\r\nc<><>d<>z<>"));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 3);
    EXPECT_EQ(ctrl->GetTitle(), CVornString(Sjis("題名")));
}

TEST_F(DatCtrl, NgHidingKeepsNumbersAndTogglesBack) {
    std::string log = Posts(1, 2) + Post(3, "NGWORD") + Posts(4, 9) + Post(10, "NGWORD");
    WriteLog(log);
    WriteAll(env.root + "/ngword.txt", "\tNGWORD\r\n");
    ctrl->PrepareNgExpression();
    ASSERT_TRUE(ctrl->HasNgExpression());
    ASSERT_TRUE(ctrl->GetHideAboned());
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 10);
    EXPECT_EQ(ctrl->GetHeaderMark(3), TAVLO_MARK_ABONE);
    EXPECT_EQ(ctrl->GetLastVisiblePost(), 9);
    EXPECT_NE(Text().find(u"\n\x07\n\n\x03[4]"), std::u16string::npos);
    std::u16string hidden = Text();
    ctrl->JumpNumber(6, false);

    ctrl->ToggleHideAboned();
    EXPECT_FALSE(ctrl->GetHideAboned());
    EXPECT_EQ(ctrl->GetPostCount(), 10);
    EXPECT_NE(Text().find(VornUtf8ToUtf16("\x07[3]名無しさん<sage>")), std::u16string::npos);
    EXPECT_EQ(ctrl->GetLastVisiblePost(), 10);
    EXPECT_EQ(ctrl->GetTopPost(), 6);

    ctrl->ToggleHideAboned();
    EXPECT_EQ(Text(), hidden);
    EXPECT_EQ(ctrl->GetTopPost(), 6);
}

TEST_F(DatCtrl, AppendingAfterAFetchLeavesTheViewAlone) {
    WriteLog(Posts(1, 30));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->JumpNumber(5, false);
    int top = ctrl->GetTextCtrl()->GetTopLine();
    ctrl->OnOpenFile(0);
    ctrl->OnWriteFile(CVornString(Posts(31, 33)));
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), top);
    EXPECT_EQ(ctrl->GetPostCount(), 33);
    EXPECT_EQ(DateMark(31), TAVLO_MARK_DATE_NEW);
    EXPECT_EQ(DateMark(33), TAVLO_MARK_DATE_NEW);
    // The index follows the appended posts.
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetPostLine(32)), 32);
    // Each post ends with exactly one empty line, appended or not: the posts before 31 read
    // the same as in a whole rendering of the log.
    const std::u16string appended = Text();
    WriteLog(Posts(1, 33));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    const std::u16string whole = Text();
    const size_t a = appended.find(u"\x03[31]");
    const size_t w = whole.find(u"\x03[31]");
    ASSERT_NE(a, std::u16string::npos);
    ASSERT_NE(w, std::u16string::npos);
    EXPECT_EQ(appended.substr(0, a), whole.substr(0, w));
}

TEST_F(DatCtrl, CopyOfThePostBeforeAFetchBoundaryHasPlainLineEnds) {
    WriteLog(Posts(1, 3));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->OnOpenFile(0);
    ctrl->OnWriteFile(CVornString(Posts(4, 5)));
    std::u16string copied = ctrl->GetPostText(3);
    EXPECT_EQ(copied.find(u"\r\r"), std::u16string::npos);
    EXPECT_EQ(copied.substr(copied.size() - 2), u"\r\n");
    EXPECT_EQ(copied.substr(0, 3), u"[3]");
}

TEST_F(DatCtrl, ReopenAndToggleWhileFetchingNeverShowPostsTwice) {
    WriteLog(Posts(1, 5));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->SetUpdating(true);
    // The worker has appended two posts; their message is still on its way.
    WriteLog(Posts(1, 7));
    ctrl->Reopen();
    ctrl->ToggleHideAboned();
    EXPECT_EQ(ctrl->GetPostCount(), 5);
    ctrl->OnWriteFile(CVornString(Posts(6, 7)));
    EXPECT_EQ(ctrl->GetPostCount(), 7);
    ctrl->SetUpdating(false);
    ctrl->Reopen();
    EXPECT_EQ(ctrl->GetPostCount(), 7);
}

TEST_F(DatCtrl, FirstFetchIntoAnEmptyViewTakesTheTitle) {
    ctrl->OnOpenFile(1);
    ctrl->OnWriteFile(CVornString(Posts(1, 2)));
    EXPECT_EQ(ctrl->GetPostCount(), 2);
    EXPECT_EQ(Text().substr(0, 4), u"\x03[1]");
    EXPECT_EQ(ctrl->GetTitle(), CVornString(Sjis("テストスレ & その１")));
}

TEST_F(DatCtrl, CloseWithNewDataWritesCountAndNew) {
    WriteLog(Posts(1, 4));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->OnCloseFile(0);
    EXPECT_FALSE(VornFileExists(infoPath.c_str()));
    ctrl->OnWriteFile(CVornString(Posts(5, 6)));
    ctrl->OnCloseFile(120);
    CTavloInfoFile info = ReadInfo();
    EXPECT_TRUE(info.New);
    EXPECT_EQ(info.Count, 6);
}

TEST_F(DatCtrl, OpenAndReloadMessages) {
    WriteLog(Posts(1, 5));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    WriteLog(Posts(1, 7));
    ctrl->OnReloadFile();
    EXPECT_EQ(ctrl->GetPostCount(), 7);
    WriteLog("");
    ctrl->OnOpenFile(1);
    EXPECT_EQ(ctrl->GetPostCount(), 0);
    EXPECT_TRUE(Text().empty());
}

TEST_F(DatCtrl, SavingThePositionWritesOnlyChanges) {
    WriteLog(Posts(1, 20));
    WriteInfo("((number . 1) nil nil nil nil nil (new 1) (count 10) (max 1) nil)");
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    // Nothing moved since the file was read: nothing is written.
    VornRemoveFile(infoPath.c_str());
    EXPECT_EQ(ctrl->Write(false), 0);
    EXPECT_FALSE(VornFileExists(infoPath.c_str()));

    ReadTo(12);
    ReadTo(7);
    EXPECT_EQ(ctrl->Write(false), 1);
    CTavloInfoFile info = ReadInfo();
    EXPECT_EQ(info.Number, 7);
    EXPECT_EQ(info.Max, 12);
    EXPECT_TRUE(info.New);

    // Reaching the last post clears the new flag.
    ReadTo(20);
    EXPECT_EQ(ctrl->Write(false), 1);
    info = ReadInfo();
    EXPECT_EQ(info.Max, 20);
    EXPECT_FALSE(info.New);
    EXPECT_EQ(ctrl->Write(false), 0);
    EXPECT_EQ(ctrl->Write(true), 1);
}

TEST_F(DatCtrl, ScrollingCountsAsReading) {
    WriteLog(Posts(1, 40));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->GetTextCtrl()->verticalScrollBar()->setValue(ctrl->GetPostLine(25));
    ctrl->GetTextCtrl()->SetTopLine(0);
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 25);
    ctrl->Write(false);
    EXPECT_EQ(ReadInfo().Max, 25);
    EXPECT_EQ(ReadInfo().Number, 1);
}

TEST_F(DatCtrl, JumpsTheReaderDidNotMakeDoNotRaiseTheFurthestRead) {
    WriteLog(Posts(1, 40));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    // A URL with a post number, an anchor click and a grep jump all end here.
    ctrl->JumpNumber(30, true);
    ctrl->Back();
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 1);
    ctrl->Write(false);
    EXPECT_EQ(ReadInfo().Max, 1);
    // The last-post command is reading to the end.
    ctrl->LastPost();
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 40);
}

TEST_F(DatCtrl, FurthestReadKeepsItsPostAcrossReRendering) {
    std::string log = Post(1);
    for (int i = 2; i <= 15; ++i)
        log += Post(i, "NGWORD");
    log += Posts(16, 40);
    WriteLog(log);
    WriteAll(env.root + "/ngword.txt", "\tNGWORD\r\n");
    ctrl->PrepareNgExpression();
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->GetTextCtrl()->verticalScrollBar()->setValue(ctrl->GetPostLine(30));
    ASSERT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 30);
    ctrl->ToggleHideAboned(); // the hidden posts change every line below them
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 30);
    ctrl->Reopen();
    ctrl->ToggleHideAboned();
    ctrl->OnReloadFile();
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 30);
    ctrl->Write(false);
    EXPECT_EQ(ReadInfo().Max, 30);
}

TEST_F(DatCtrl, HiddenLastPostsEndTheThreadForTheNewFlag) {
    WriteLog(Posts(1, 8) + Post(9, "NGWORD") + Post(10, "NGWORD"));
    WriteAll(env.root + "/ngword.txt", "\tNGWORD\r\n");
    WriteInfo("((number . 1) nil nil nil nil nil (new 1) (count 5) (max 1) nil)");
    ctrl->PrepareNgExpression();
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ReadTo(8);
    EXPECT_EQ(ctrl->Write(false), 1);
    EXPECT_FALSE(ReadInfo().New);
}

TEST_F(DatCtrl, AnEmptyViewNeverOverwritesThePosition) {
    WriteInfo("((number . 12) nil nil nil nil nil (new 1) (count 35) (max 30) nil)");
    EXPECT_EQ(ctrl->CreateFromFile(), -200);
    EXPECT_EQ(ctrl->Write(true), 0);
    EXPECT_EQ(ReadAll(infoPath),
              "((number . 12) nil nil nil nil nil (new 1) (count 35) (max 30) nil)");
}

TEST_F(DatCtrl, ClosingRecordsTheSummaryAndThePosition) {
    WriteLog(Posts(1, 12));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->JumpNumber(9, false);
    ctrl->SaveOnClose();
    CTavloArticleFile summary;
    ASSERT_TRUE(summary.Load(kBoard));
    EXPECT_EQ(summary.GetSeen(kKey), 12);
    EXPECT_EQ(ReadInfo().Number, 9);
}

TEST_F(DatCtrl, LinkUnderAPosition) {
    WriteLog(Sjis("n<><>d<>見て ttp://example.com/a.html と &gt;&gt;１２ を<>題\n"));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    std::u16string text = Text();
    std::u16string link;
    size_t url = text.find(u"ttp://");
    EXPECT_EQ(ctrl->GetLinkAt(url + 5, &link), TAVLO_LINK_URL);
    EXPECT_EQ(link, u"ttp://example.com/a.html");
    EXPECT_EQ(TavloCompleteUrl(link), u"http://example.com/a.html");
    size_t anchor = text.find(u">>");
    EXPECT_EQ(ctrl->GetLinkAt(anchor + 3, &link), TAVLO_LINK_ANCHOR);
    EXPECT_EQ(link, u">>\uFF11\uFF12");
    EXPECT_EQ(ctrl->GetLinkAt(url - 2, &link), TAVLO_LINK_NONE);
}

TEST_F(DatCtrl, OpeningAgainStartsFromNothing) {
    WriteLog(Post(1) + Post(2));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    std::u16string first = Text();
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(Text(), first);
    EXPECT_EQ(ctrl->GetPostCount(), 2);
    EXPECT_EQ(ctrl->GetConverter().GetIdCount(u"id1"), 1);
}

TEST_F(DatCtrl, MarkReadStopsAtTheFurthestPost) {
    WriteLog(Posts(1, 10));
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ReadTo(4);
    ctrl->MarkRead();
    EXPECT_EQ(DateMark(1), TAVLO_MARK_DATE);
    EXPECT_EQ(DateMark(4), TAVLO_MARK_DATE);
    EXPECT_EQ(DateMark(5), TAVLO_MARK_DATE_NEW);
}

TEST_F(DatCtrl, RelayoutKeepsThePostAtTheTop) {
    std::string log;
    for (int i = 1; i <= 30; ++i)
        log +=
            Post(i, "とても長い本文が続きます。とても長い本文が続きます。とても長い本文が続きます。"
                    "とても長い本文が続きます。");
    WriteLog(log);
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    ctrl->JumpNumber(17, false);
    ctrl->SetFurthestReadLine(ctrl->GetPostLine(17));
    ctrl->SetWrap(false);
    EXPECT_EQ(ctrl->GetTopPost(), 17);
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), ctrl->GetPostLine(17));
    ctrl->SetWrap(true);
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), ctrl->GetPostLine(17));
    int before = ctrl->GetTextCtrl()->GetLineCount();
    ctrl->GetTextCtrl()->resize(240, 300);
    QApplication::processEvents();
    EXPECT_GT(ctrl->GetTextCtrl()->GetLineCount(), before);
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), ctrl->GetPostLine(17));
    ctrl->SetArticleFont(ViewFont(20));
    EXPECT_EQ(ctrl->GetTextCtrl()->GetTopLine(), ctrl->GetPostLine(17));
    EXPECT_EQ(ctrl->GetPostNumber(ctrl->GetFurthestReadLine()), 17);
}

TEST_F(DatCtrl, HostileLogsOpenInBoundedTime) {
    // NULs, invalid Shift_JIS, a "<" without ">", "&#" with five digits and no ";", a 10 MB
    // line, and the rest of a normal log after them.
    std::string log = Post(1);
    static const char kNul[] = "a\0b<><>d<>\x81\x0a";
    log += std::string(kNul, sizeof kNul - 1);
    log += "x<>\xff\xfe\x80<<&#12345<br><>\n";
    std::string huge = "n<><>d<>";
    while (huge.size() < 10 * 1024 * 1024)
        huge += "<&#12345 \x82\xa0http://example.com/";
    log += huge + "<>\n" + Posts(5, 6);
    WriteLog(log);
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 6);
    EXPECT_NE(Text().find(u"\x03[6]"), std::u16string::npos);
    ctrl->JumpNumber(4, false);
    ctrl->GetTextCtrl()->SetTopLine(ctrl->GetTextCtrl()->GetTopLine() + 5000);
    ctrl->GetTextCtrl()->grab();
}

TEST_F(DatCtrl, HundredThousandPosts) {
    std::string log;
    log.reserve(100000 * 80);
    for (int i = 1; i <= 100000; ++i)
        log += Sjis("名無し<>sage<>2009/01/01 ID:abcdefgh<>&gt;&gt;1 本文<>\n");
    WriteLog(log);
    ASSERT_EQ(ctrl->CreateFromFile(), 0);
    EXPECT_EQ(ctrl->GetPostCount(), 100000);
    ctrl->JumpNumber(99999, false);
    EXPECT_EQ(ctrl->GetTopPost(), 99999);
    ctrl->GetTextCtrl()->grab();
}

} // namespace
