// The byte marks the Machi converter reads a page by: every instruction set marks the same
// bytes, the queries agree with a plain search, and a page converts the same wherever its
// lines fall against the 64-byte blocks.
#include "fetch_support.h"
#include "tavlo_bbs_machi.h"
#include "tavlo_machi_marks.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using M = CTavloMachiMarks;

// What each class means, byte by byte, with the text's ends as NULs.
bool marked(const std::string& t, size_t i, M::Class cls) {
    auto at = [&t](size_t k) { return k < t.size() ? t[k] : '\0'; };
    switch (cls) {
    case M::kLt:
        return t[i] == '<';
    case M::kCloseB:
        return t.compare(i, 4, "</b>") == 0;
    case M::kBody:
        return t[i] == '<' && at(i + 1) == 'b' && at(i + 4) == '<' && at(i + 5) == 'd';
    case M::kMail:
        return t[i] == ':' && i > 0 && t[i - 1] == 'o';
    case M::kWide:
        return t[i] == '\x81' && at(i + 1) == '\x46';
    case M::kLf:
        return t[i] == '\n';
    default:
        return false;
    }
}

struct Level {
    explicit Level(int level) : old(M::SetLevel(level)) {}
    ~Level() { M::SetLevel(old); }
    int old;
};

TEST(MachiMarks, EveryInstructionSetMarksTheBytesTheClassesMean) {
    std::mt19937 rng(7);
    const char alphabet[] = "<>/bd:o\x81\x46\n x";
    for (int round = 0; round < 300; ++round) {
        // Lengths around the block size and its multiples, where the edges are.
        size_t n = round < 200 ? static_cast<size_t>(round) : 64 * (1 + rng() % 6) + rng() % 3 - 1;
        std::string t(n, ' ');
        for (char& c : t)
            c = alphabet[rng() % (sizeof alphabet - 1)];
        for (int level = 0; level <= 3; ++level) {
            Level use(level);
            M marks;
            marks.Scan(t);
            for (int c = 0; c < M::kClasses; ++c) {
                auto cls = static_cast<M::Class>(c);
                std::vector<size_t> want, got;
                for (size_t i = 0; i < n; ++i)
                    if (marked(t, i, cls))
                        want.push_back(i);
                for (size_t i = marks.Next(cls, 0, n); i != M::npos; i = marks.Next(cls, i + 1, n))
                    got.push_back(i);
                ASSERT_EQ(got, want) << "level " << level << " class " << c << " length " << n;
                // Walking and looking back from random places agree with the list.
                size_t from = n ? rng() % n : 0, limit = from + rng() % (n - from + 1);
                auto first = std::lower_bound(want.begin(), want.end(), from);
                size_t next = first != want.end() && *first < limit ? *first : M::npos;
                EXPECT_EQ(marks.Next(cls, from, limit), next);
                M::Walker walker(marks, cls, from, limit);
                EXPECT_EQ(walker.Next(), next);
                auto last = std::lower_bound(want.begin(), want.end(), limit);
                size_t prev = last != want.begin() && *(last - 1) >= from ? *(last - 1) : M::npos;
                EXPECT_EQ(marks.Prev(cls, limit, from), prev);
            }
        }
    }
}

// A page shifted by whole lines of padding before it: the same log lines each time.
TEST(MachiMarks, PostsConvertTheSameAtEveryBlockOffset) {
    std::string page = Sjis("<title>題</title>\n");
    for (int i = 1; i <= 6; ++i)
        page += "<dt>" + std::to_string(i) +
                Sjis(" 名前：<a href=\"mailto:sage\"><b> 名 </b></a> 投稿日： 2024/01/0") +
                std::to_string(i) + Sjis(" ID:x<br>") + (i % 2 ? "[ h.example\n ]" : "") +
                "<br><dd> " + std::string(static_cast<size_t>(i * 13), 'b') + " <br><br>\n";
    std::string want;
    for (int level = 0; level <= 3; ++level) {
        Level use(level);
        for (size_t shift = 0; shift < 130; ++shift) {
            CTavloBbsMachi machi(nullptr, CVornString("http://x.example.test/b/"),
                                 CVornString("1"));
            CVornString text(std::string(shift, 'x') + "\n" + page);
            ASSERT_EQ(machi.WriteFileConvert(text), 0) << shift;
            if (want.empty()) {
                want = text.str();
                ASSERT_NE(want.find(Sjis("名<>sage<>2024/01/01 ID:x [h.example]<>")),
                          std::string::npos)
                    << want;
            }
            EXPECT_EQ(text.str(), want) << "level " << level << " shift " << shift;
        }
    }
}

} // namespace
