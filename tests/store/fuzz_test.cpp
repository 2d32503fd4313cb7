// The readers of the store's files against random, mutated and cut input (fixed seed). Beyond
// not crashing, what is read must write back to text that reads back the same.
#include "store_test_util.h"
#include "tavlo_article_file.h"
#include "tavlo_board_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_info_file.h"
#include "tavlo_ng_file.h"

#include <gtest/gtest.h>
#include <random>

namespace {

constexpr int kRounds = 1500;

class Fuzz {
public:
    explicit Fuzz(uint32_t seed) : m_rng(seed) {}

    int Below(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }

    // Bytes biased towards what the formats are made of.
    std::string Random(int maxLength) {
        static const std::string pieces[] = {
            "(",      ")",       "\"",           "\\",    " ",      ".",
            ";",      "#(",      "\n",           "\t",    "\r",     "nil",
            "12",     "-3",      ":seen",        "board", "uri",    "artid",
            "number", "count",   "name",         "(new ", "(hide ", "\x83\x5c",
            "\x95",   "\x80",    "\xff",         "a",     "\x00",   "http://H/B/",
            "(\"",    "subject", ":access-time", "<>",
        };
        std::string out;
        int length = Below(maxLength + 1);
        while (static_cast<int>(out.size()) < length) {
            const std::string& p = pieces[Below(static_cast<int>(std::size(pieces)))];
            out.append(p.data(), p == std::string("\x00", 1) ? 1 : p.size());
        }
        return out;
    }

    std::string Mutate(std::string text) {
        int edits = 1 + Below(4);
        for (int i = 0; i < edits && !text.empty(); ++i) {
            size_t at = static_cast<size_t>(Below(static_cast<int>(text.size())));
            switch (Below(3)) {
            case 0:
                text[at] = static_cast<char>(Below(256));
                break;
            case 1:
                text.erase(at, 1 + static_cast<size_t>(Below(8)));
                break;
            default:
                text.insert(at, Random(6));
                break;
            }
        }
        return text;
    }

private:
    std::mt19937 m_rng;
};

std::string sampleBookmarks() {
    std::string text = "((\"\" \"\" ";
    for (int i = 0; i < 6; ++i) {
        std::string key = std::to_string(1000 + i);
        text += "(\"http://H/B/" + key + "\" (board (name . \"" + Sjis("板\\\"") +
                "\") (uri . \"http://H/B/\") (id . \"B\")) (article (subject . \"" +
                Sjis("ソ\\\\ ") + key + "\") (artid . \"" + key + "\") (count . \"3\"))) ";
    }
    return text + "))";
}

std::string sampleSummary() {
    std::string text = "(";
    for (int i = 0; i < 6; ++i)
        text += "(\"" + std::to_string(1000 + i) + "\" :seen " + std::to_string(i) +
                " :access-time (1 " + std::to_string(i) + " 0))";
    return text + ")";
}

const std::string kInfo = "((number . 12) (name . \"a\\\"b\\\\\") (time . \"t\") (hide 3 5 7) "
                          "(important 1) (mail . \"sage\") (new 1) (count 35) (max 30) nil)";

} // namespace

TEST(Fuzz, InfoFileReadsAnythingAndWritesWhatItReads) {
    Fuzz fuzz(1);
    for (int i = 0; i < kRounds * 2; ++i) {
        std::string input = i % 2 ? fuzz.Random(200) : fuzz.Mutate(kInfo);
        CTavloInfoFile info;
        info.Parse(input);
        CVornString once = info.Format();
        CTavloInfoFile again;
        again.Parse(once.str());
        ASSERT_EQ(again.Format(), once) << input;
    }
    // Every cut of a good line keeps the entries that are whole before the cut.
    for (size_t cut = 0; cut <= kInfo.size(); ++cut) {
        CTavloInfoFile info;
        info.Parse(kInfo.substr(0, cut));
        if (cut >= kInfo.find("(count 35)") + 10) {
            EXPECT_EQ(info.Count, 35) << cut;
        }
        if (cut >= kInfo.find("(number . 12)") + 13) {
            EXPECT_EQ(info.Number, 12) << cut;
        }
    }
}

TEST_F(StoreTest, FuzzBookmarksKeepEveryWholeEntry) {
    const std::string good = sampleBookmarks();
    Fuzz fuzz(2);
    for (int i = 0; i < kRounds; ++i) {
        std::string input = i % 2 ? fuzz.Random(400) : fuzz.Mutate(good);
        CTavloBookmarkFile list;
        list.Parse(input);
        CVornString once = list.Format();
        CTavloBookmarkFile again;
        again.Parse(once.str());
        ASSERT_EQ(again.GetCount(), list.GetCount()) << input;
        ASSERT_EQ(again.Format(), once) << input;
    }
    // A cut file yields exactly the entries that end before the cut.
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        int whole = 0;
        for (size_t end = good.find(")))"); end != std::string::npos && end + 3 <= cut;
             end = good.find(")))", end + 3))
            ++whole;
        CTavloBookmarkFile list;
        list.Parse(good.substr(0, cut));
        ASSERT_EQ(list.GetCount(), whole) << cut;
    }
}

TEST(Fuzz, ArticleSummaryKeepsEveryWholeEntry) {
    const std::string good = sampleSummary();
    Fuzz fuzz(3);
    for (int i = 0; i < kRounds; ++i) {
        std::string input = i % 2 ? fuzz.Random(300) : fuzz.Mutate(good);
        CTavloArticleFile summary;
        summary.Parse(input);
        CVornString once = summary.Format();
        CTavloArticleFile again;
        again.Parse(once.str());
        ASSERT_EQ(again.Format(), once) << input;
    }
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        int whole = 0;
        for (size_t end = good.find("))"); end != std::string::npos && end + 2 <= cut;
             end = good.find("))", end + 2))
            ++whole;
        CTavloArticleFile summary;
        summary.Parse(good.substr(0, cut));
        ASSERT_EQ(summary.GetRowCount(), whole) << cut;
    }
}

TEST_F(StoreTest, FuzzBoardListAndNgRulesSurviveAnyFile) {
    const std::string board = "A\n\n\nb\nhttp://h/b/\nb\nc\nhttp://h/c/\nc\n";
    const std::string ng = "\tone\r\nhttp://h/\ttwo\r\nx\t\tthree\r\n";
    Fuzz fuzz(4);
    for (int i = 0; i < kRounds / 3; ++i) {
        std::string input = i % 2 ? fuzz.Random(200) : fuzz.Mutate(i % 4 ? board : ng);
        WriteAll(path("board.txt"), input);
        CTavloBoardFile list;
        ASSERT_EQ(list.Load(), 0);
        ASSERT_EQ(list.Save(), 0);
        std::string once = ReadAll(path("board.txt"));
        ASSERT_EQ(list.Load(), 0);
        ASSERT_EQ(list.Save(), 0);
        ASSERT_EQ(ReadAll(path("board.txt")), once) << input;

        WriteAll(path("ngword.txt"), input);
        CTavloNgFile rules;
        ASSERT_TRUE(rules.Load());
        rules.GetExpression("1", "http://h/b/");
        ASSERT_TRUE(rules.Save());
        once = ReadAll(path("ngword.txt"));
        ASSERT_TRUE(rules.Load());
        ASSERT_TRUE(rules.Save());
        ASSERT_EQ(ReadAll(path("ngword.txt")), once) << input;
    }
}
