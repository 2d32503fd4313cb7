// Title search against the board server's search service (pages, totals, hits cut across
// reads, foreign and hanging pages, cancel) and the next-thread search: its expression and
// the successor it selects in a real list.
#include "list_shell_util.h"

#include "tavlo_find2ch_dialog.h"
#include "tavlo_find2ch_fetch.h"
#include "tavlo_next_thread.h"
#include "vorn_config.h"
#include "vorn_regex.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

CVornString sj(const char* utf8) {
    return CVornString(VornUtf8ToSjis(utf8));
}
std::string pattern(const char* titleUtf8) {
    return VornSjisToUtf8(TavloNextThreadPattern(sj(titleUtf8)).str());
}

TEST(NextThreadPattern, NumbersCountersBlanksAndBracketsBecomeOneWildcard) {
    EXPECT_EQ(pattern("abc part3"), "abc.*");
    EXPECT_EQ(pattern("【雑談】abc"), ".*abc");
    // One bracketed phrase is the whole title: kept.
    EXPECT_EQ(pattern("【雑談】"), "【雑談】");
    EXPECT_EQ(pattern("天気の話 その十二"), "天気の話.*");
    EXPECT_EQ(pattern("ＰＡＲＴ２ 天気[過去ログ]"), ".*天気.*");
    // An opening parenthesis without its pair stays, matched as text.
    EXPECT_EQ(pattern("abc(def"), "abc\\(def");
}

TEST(NextThreadPattern, QuestionMarksAndDotsAreMatchedLiterally) {
    const CVornString p = TavloNextThreadPattern(sj("why? a.b part1"));
    EXPECT_EQ(p.str(), "why\\?.*a\\.b.*");
    CVornRegex re;
    ASSERT_TRUE(re.Compile(p));
    EXPECT_GE(re.Match(sj("why? a.b part2")), 0);
    EXPECT_LT(re.Match(sj("whyX aXb part2")), 0);
    // Every title gives an expression that compiles, brackets or not.
    for (const char* t : {"(", ")", "[a", "a]", "{", "a|b*c+d^$\\"}) {
        CVornRegex r;
        EXPECT_TRUE(r.Compile(TavloNextThreadPattern(sj(t)))) << t;
    }
}

TEST(Find2chUrl, WordsGoToEucJpAndTheSortTextEndsTheQuery) {
    EXPECT_EQ(CTavloFind2chFetch::BuildUrl(sj("天気 予報"), 3, "find.5ch.net").str(),
              "http://find.5ch.net/index.php?TYPE=TITLE&STR=%C5%B7%B5%A4+%CD%BD%CA%F3&COUNT=50&"
              "SCEND=D&SORT=CREATED");
    EXPECT_TRUE(CTavloFind2chFetch::BuildUrl(sj("a"), 9, "h").EndsWith("SCEND=A&SORT=NPOSTS"));
}

class Find2ch : public ListShell {
protected:
    std::string dir() { return path(std::string(".tmp/") + CTavloSubjectView::kFind2chHost); }
    std::string ini(const char* key) {
        return CVornConfig::ReadString((dir() + "/subject.txt.ini").c_str(), key, 1).str();
    }
    void service(const std::string& q) {
        ASSERT_EQ(ctl("search", q), "ok");
        if (shownAtStart == 0)
            shownAtStart = boxes.count(); // the board tree's start-up question
    }
    size_t shownAtStart = 0;
    // Searches through the bar with a sort index.
    void search(const char* words, int sort) {
        f->OnCommand(ID_FIND2CH);
        f->GetFind2chBar()->GetCombo()->setEditText(U(words));
        f->GetFind2chBar()->GetSortCombo()->setCurrentIndex(sort);
        QTest::keyClick(f->GetFind2chBar()->GetCombo()->lineEdit(), Qt::Key_Return);
    }
    std::vector<std::string> searchUrls() {
        std::vector<std::string> out;
        for (const std::string& r : fx.sim.requests())
            if (r.find("index.php") != std::string::npos)
                out.push_back(r);
        return out;
    }
    const CTavloSubjectFile& list() { return subject()->GetList(); }
};

TEST_F(Find2ch, SixtyHitsArePagedAtZeroTwentyFiveAndFiftyAndListedLikeABoard) {
    start(1);
    service("hits=60");
    search("天気", 3);
    auto urls = searchUrls();
    ASSERT_EQ(urls.size(), 3u);
    const char* offsets[] = {"SCEND=D&SORT=CREATED&OFFSET=0\"", "&OFFSET=25\"", "&OFFSET=50\""};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(urls[i].find(offsets[i]), std::string::npos) << urls[i];
    EXPECT_NE(urls[0].find("STR=%C5%B7%B5%A4&COUNT=50"), std::string::npos);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    ASSERT_EQ(list().GetCount(), 60);
    EXPECT_TRUE(subject()->IsSearchList());
    EXPECT_EQ(ini("Count"), "60");
    EXPECT_EQ(ini("CountAll"), "60");
    EXPECT_EQ(VornSjisToUtf8(ini("Key")), "天気");
    EXPECT_NE(ini("Url").find("SORT=CREATED"), std::string::npos);
    EXPECT_EQ(ini("Url").find("OFFSET"), std::string::npos);
    // The stored lines: bold tag gone, "&amp;" a plain "&", board URL and name.
    std::string text = ReadAll(dir() + "/subject.txt");
    EXPECT_EQ(text.substr(0, text.find('\n') + 1),
              Sjis("1500000000.dat<>検索0 & 話 (1)<>http://news.example-bbs.test/news/<>"
                   "ニュース速報\n"));
    EXPECT_EQ(boxes.count(), shownAtStart);

    // The list opens its threads.
    ASSERT_EQ(ctl("create", "host=news.example-bbs.test&board=news&key=1500000007&posts=3"), "ok");
    int row = -1;
    for (int i = 0; i < list().GetCount(); ++i)
        if (list().Get(i)->GetKey() == CVornString("1500000007"))
            row = i;
    ASSERT_GE(row, 0);
    subject()->SelectRow(row);
    subject()->OpenSelectedItem();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    ASSERT_TRUE(PumpUntil([&] { return requestsFor("1500000007.dat") > 0; }));
    EXPECT_EQ(f->Views().thread->GetTabCount(), 1);
}

TEST_F(Find2ch, APageWithoutTheTotalEndsTheSearchWithCountAllMinusOne) {
    start(1);
    service("hits=60&mode=nototal");
    search("天気", 0);
    EXPECT_EQ(searchUrls().size(), 1u);
    EXPECT_EQ(list().GetCount(), 25);
    EXPECT_EQ(ini("CountAll"), "-1");
    EXPECT_EQ(ini("Count"), "25");
}

TEST_F(Find2ch, AHitCutAcrossTwoReadsIsWrittenOnce) {
    start(1);
    service("hits=3&mode=split&delay=60");
    search("天気", 0);
    ASSERT_EQ(list().GetCount(), 3);
    std::string text = ReadAll(dir() + "/subject.txt");
    for (int i = 0; i < 3; ++i) {
        const std::string key = std::to_string(1500000000 + i) + ".dat";
        EXPECT_EQ(text.find(key), text.rfind(key)) << key;
        EXPECT_NE(text.find(key), std::string::npos) << key;
    }
    EXPECT_EQ(ini("Count"), "3");
}

TEST_F(Find2ch, AForeignPageOrACancelledHangKeepThePreviousResults) {
    start(1);
    service("hits=5");
    search("天気", 0);
    ASSERT_EQ(list().GetCount(), 5);
    const std::string before = ReadAll(dir() + "/subject.txt");

    service("hits=30&mode=utf8");
    search("雨", 0);
    ASSERT_EQ(boxes.count(), shownAtStart + 1);
    EXPECT_EQ(boxes.last().text, U("検索結果のページを読めませんでした(EUC-JPではありません)"));
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_EQ(list().GetCount(), 5);
    EXPECT_EQ(ReadAll(dir() + "/subject.txt"), before);
    EXPECT_EQ(ini("Count"), "5");
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));

    service("mode=hang");
    fx.sim.clearRequests();
    // The user cancels once the request hangs at the service.
    bool asked = false;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!asked && !searchUrls().empty()) {
            asked = true;
            f->OnCancel();
        }
    });
    timer.start();
    search("雪", 0);
    timer.stop();
    EXPECT_TRUE(asked);
    EXPECT_EQ(boxes.last().text, U("キャンセルしますか？"));
    EXPECT_EQ(boxes.count(), shownAtStart + 2); // the question only: a cancel is no error
    EXPECT_EQ(list().GetCount(), 5);
    EXPECT_EQ(ReadAll(dir() + "/subject.txt"), before);
    EXPECT_FALSE(subject()->IsBusy());
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
}

TEST_F(Find2ch, NextThreadSearchSelectsTheSuccessorInTheBoardsList) {
    start(1);
    const std::string q = "host=news.example-bbs.test&board=news&posts=5&key=";
    ASSERT_EQ(ctl("create", q + "1700000001&title=" + enc("天気の話 Part1")), "ok");
    ASSERT_EQ(ctl("create", q + "1700000002&title=" + enc("天気の話 Part2")), "ok");
    CTavloBoardRef ref{sj("ニュース速報"), CVornString(kNewsUrl), CVornString("news")};
    f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&ref));
    ASSERT_GT(list().GetCount(), 2);

    subject()->ClearSelection();
    f->OnCommand(ID_SEARCH_RELATED);
    EXPECT_EQ(boxes.last().text, U("スレッドを選択して下さい"));

    int row = -1;
    for (int i = 0; i < list().GetCount(); ++i)
        if (list().Get(i)->GetKey() == CVornString("1700000001"))
            row = i;
    ASSERT_GE(row, 0);
    subject()->SelectRow(row);
    const QString question = U("スレッド一覧を最新化しますか？");
    boxes.answers[question] = TAVLO_IDNO;
    fx.sim.clearRequests();
    f->OnCommand(ID_SEARCH_RELATED);
    EXPECT_EQ(boxes.last().text, question);
    EXPECT_EQ(requestsFor("subject.txt"), 0);
    CTavloListItem* selected = subject()->GetSelectedItem();
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->GetKey().str(), "1700000002");
    int hits = 0;
    for (const CTavloSubjectItem* item : list())
        hits += item->IsSearchHit();
    EXPECT_EQ(hits, 2);

    // Yes fetches the list first.
    boxes.answers[question] = TAVLO_IDYES;
    f->OnCommand(ID_SEARCH_RELATED);
    EXPECT_EQ(requestsFor("subject.txt"), 1);
}

} // namespace
