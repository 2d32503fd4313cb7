#include "tavlo_text_layout.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <string>
#include <vector>

namespace {

// ASCII 10 pixels, everything else 20; markers (control characters) 0.
int FixedWidth(char16_t c, void*) {
    if (c < 0x20)
        return 0;
    return c < 0x80 ? 10 : 20;
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        CTavloCharWidths::Clear();
        layout.SetMeasure(FixedWidth, nullptr);
        params.clientWidth = 102; // 100 pixels of text between the 1-pixel margins
        params.averageWidth = 10;
        params.tabWidth = 80;
        layout.SetParams(params);
    }
    void TearDown() override { CTavloCharWidths::Clear(); }

    std::vector<std::u16string> Lines() const {
        std::vector<std::u16string> r;
        for (int i = 0; i < layout.LineCount(); ++i)
            r.push_back(
                layout.Substr(layout.LineStart(i), layout.LineStart(i + 1) - layout.LineStart(i)));
        return r;
    }
    std::vector<size_t> Starts() const {
        std::vector<size_t> r;
        for (int i = 0; i <= layout.LineCount(); ++i)
            r.push_back(layout.LineStart(i));
        return r;
    }

    TavloLayoutParams params;
    CTavloTextLayout layout;
};

TEST_F(Layout, WrapsBeforeTheWordThatOverflows) {
    layout.SetText(u"aaa bbb ccc dd");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"aaa bbb ", u"ccc dd"}));
    EXPECT_EQ(layout.MaxLineWidth() <= 101, true);
}

TEST_F(Layout, LongWordBreaksAtTheOverflowingCharacter) {
    layout.SetText(u"abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"abcdefghij", u"klmnopqrst", u"uvwxy"}));
    layout.SetText(u"ab abcdefghijklmn");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"ab ", u"abcdefghij", u"klmn"}));
}

TEST_F(Layout, JapaneseBreaksByCharacter) {
    layout.SetText(u"日本語の文章には空白がありません");
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], u"日本語の文");
    EXPECT_EQ(lines[3], u"ん");
}

TEST_F(Layout, EveryLineTakesAtLeastOneCharacter) {
    params.clientWidth = 5;
    layout.SetParams(params);
    layout.SetText(u"ab");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST_F(Layout, LineBreaksAndTheFinalEmptyLine) {
    layout.SetText(u"a\r\nb\rc\n\nd\n");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{u"a\r\n", u"b\r", u"c\n", u"\n", u"d\n", u""}));
    EXPECT_TRUE(layout.IsLastLineOfLogical(0));
    EXPECT_TRUE(layout.IsLastLineOfLogical(5));
    EXPECT_EQ(layout.LineLength(0), 1u);
    layout.SetText(u"");
    EXPECT_EQ(layout.LineCount(), 1);
    layout.SetText(u"abcdefghijkl\nx");
    EXPECT_FALSE(layout.IsLastLineOfLogical(0));
    EXPECT_TRUE(layout.IsLastLineOfLogical(1));
    EXPECT_TRUE(layout.IsLastLineOfLogical(2));
    EXPECT_EQ(layout.LineFromChar(0), 0);
    EXPECT_EQ(layout.LineFromChar(10), 1);
    EXPECT_EQ(layout.LineFromChar(13), 2);
    EXPECT_EQ(layout.LineFromChar(14), 2);
}

TEST_F(Layout, LineLimitWithoutWrap) {
    params.wrap = false;
    layout.SetParams(params);
    layout.SetText(std::u16string(40000, u'x'));
    ASSERT_EQ(layout.LineCount(), 2);
    EXPECT_EQ(layout.LineStart(1), 32768u);
    EXPECT_EQ(layout.LineStart(2), 40000u);
    // A line break right at the limit belongs to the line; a word that runs over the limit
    // moves to the next line.
    layout.SetText(std::u16string(32768, u'x') + u"\ny");
    EXPECT_EQ(layout.LineCount(), 2);
    layout.SetText(u"ab " + std::u16string(32766, u'x'));
    ASSERT_EQ(layout.LineCount(), 2);
    EXPECT_EQ(layout.LineStart(1), 3u);
    // Without wrap a short line stays whole however narrow the window.
    layout.SetText(u"aaa bbb ccc dd\nx");
    EXPECT_EQ(layout.LineCount(), 2);
}

TEST_F(Layout, TabsAdvanceToTheNextStop) {
    EXPECT_EQ(layout.TabAdvance(1), 80);  // at the margin: a full stop
    EXPECT_EQ(layout.TabAdvance(75), 86); // 74 + 10 -> 160
    EXPECT_EQ(layout.TabAdvance(71), 10); // exactly one average width to the stop
    layout.SetText(u"ab\tc");
    EXPECT_EQ(layout.XOfChar(0, 3), 81);
    EXPECT_EQ(layout.CharFromX(0, 82), 3u);
    EXPECT_EQ(layout.CharFromX(0, 500), 4u);
}

TEST_F(Layout, MarkersTakeNoWidth) {
    layout.SetText(u"\x01"
                   "abcdefghij\n");
    EXPECT_EQ(layout.LineCount(), 2);
}

TEST_F(Layout, WidthsAreMeasuredOncePerCodeUnit) {
    static int calls;
    calls = 0;
    layout.SetMeasure(
        [](char16_t c, void*) {
            ++calls;
            return c == u'z' ? 0 : 10;
        },
        nullptr);
    layout.SetText(u"zzzzzaaaaazzz");
    EXPECT_EQ(calls, 2);
    CTavloCharWidths::Clear();
    layout.Relayout();
    EXPECT_EQ(calls, 4);
    // Widths keep their low 8 bits.
    layout.SetMeasure([](char16_t, void*) { return 300; }, nullptr);
    EXPECT_EQ(layout.CharWidth(u'q'), 300 & 0xFF);
}

TEST_F(Layout, AppendingKeepsEarlierLinesAndMatchesAFullLayout) {
    std::u16string all;
    layout.SetText(u"");
    for (int i = 0; i < 200; ++i) {
        std::u16string piece = u"\x01[" + std::u16string(1, u'0' + i % 10) +
                               u"] name <sage>\n\x05 date\nbody text that wraps around\n\n";
        all += piece;
        auto before = Starts();
        layout.Append(piece);
        auto after = Starts();
        // Lines above the old end are untouched.
        for (size_t k = 0; k + 2 < before.size(); ++k)
            ASSERT_EQ(before[k], after[k]);
    }
    auto incremental = Starts();
    layout.SetText(all);
    EXPECT_EQ(incremental, Starts());
}

TEST_F(Layout, RandomEditsMatchAFullLayout) {
    std::mt19937 rng(7);
    const std::u16string alphabet = u"ab  \n\r\t\u3042\u3044x";
    auto randomText = [&](size_t n) {
        std::u16string s;
        for (size_t i = 0; i < n; ++i)
            s += alphabet[rng() % alphabet.size()];
        return s;
    };
    layout.SetText(randomText(500));
    CTavloTextLayout reference;
    reference.SetMeasure(FixedWidth, nullptr);
    reference.SetParams(params);
    for (int round = 0; round < 2000; ++round) {
        size_t len = layout.Length();
        size_t pos = len ? rng() % (len + 1) : 0;
        size_t del = (rng() % 3 == 0 && pos < len) ? rng() % std::min<size_t>(40, len - pos) : 0;
        layout.Replace(pos, del, randomText(rng() % 30));
        reference.SetText(layout.Buffer().Text());
        std::vector<size_t> expect;
        for (int i = 0; i <= reference.LineCount(); ++i)
            expect.push_back(reference.LineStart(i));
        ASSERT_EQ(Starts(), expect) << "round " << round;
    }
}

// The line-breaking rule written plainly, one character at a time, to hold the layout's
// faster loop against.
std::vector<size_t> ReferenceStarts(const std::u16string& t, const TavloLayoutParams& p) {
    auto width = [](char16_t c) { return FixedWidth(c, nullptr); };
    std::vector<size_t> starts{0};
    size_t pos = 0;
    const size_t n = t.size();
    while (pos < n) {
        int x = p.marginLeft;
        size_t word = SIZE_MAX, next = n;
        for (size_t i = pos; i < n; ++i) {
            char16_t c = t[i];
            if (c == u'\n') {
                next = i + 1;
                break;
            }
            if (c == u'\r') {
                next = i + 1 < n && t[i + 1] == u'\n' ? i + 2 : i + 1;
                break;
            }
            int w;
            if (c == u' ' || c == u'\t') {
                word = SIZE_MAX;
                if (c == u' ') {
                    w = width(c);
                } else {
                    int rel = x - p.marginLeft + p.averageWidth;
                    w = (rel + p.tabWidth - 1) / p.tabWidth * p.tabWidth + p.marginLeft - x;
                }
            } else {
                if (word == SIZE_MAX)
                    word = i;
                w = width(c);
            }
            if (i > pos &&
                (i - pos >= p.lineLimit || (p.wrap && x + w > p.clientWidth - p.marginRight))) {
                next = word != SIZE_MAX && word > pos ? word : i;
                break;
            }
            x += w;
        }
        if (next >= n && !(n && (t[n - 1] == u'\n' || t[n - 1] == u'\r')))
            break;
        starts.push_back(next);
        pos = next;
    }
    starts.push_back(n);
    return starts;
}

TEST_F(Layout, MatchesThePlainRuleOnRandomText) {
    std::mt19937 rng(11);
    const std::u16string alphabet = u"abcdefgh     \u3042\u3044\u6f22\u5b57\t\n>>12";
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        size_t len = rng() % 2000;
        for (size_t i = 0; i < len; ++i)
            text += alphabet[rng() % alphabet.size()];
        params.clientWidth = 20 + static_cast<int>(rng() % 400);
        params.wrap = rng() % 4 != 0;
        params.lineLimit = rng() % 2 ? 32768 : 1 + rng() % 60;
        layout.SetParams(params);
        layout.SetText(text);
        ASSERT_EQ(Starts(), ReferenceStarts(text, params)) << "round " << round;
    }
}

// Room handed over becomes the text without a copy; its unused end is the gap, and a full
// room (no gap at all) still takes edits.
TEST(GapBuffer, TakesOverRoomWithTheTextAtItsStart) {
    for (size_t spare : {size_t{0}, size_t{1}, size_t{500}}) {
        TavloTextRoom room;
        ASSERT_TRUE(room.Grow(11 + spare));
        std::u16string_view text = u"hello world";
        std::copy(text.begin(), text.end(), room.p);
        const char16_t* where = room.p;
        CTavloGapBuffer b;
        b.Adopt(std::move(room), text.size());
        EXPECT_EQ(room.p, nullptr);
        EXPECT_EQ(b.Data(0), where) << "copied";
        EXPECT_EQ(b.Text(), text);
        b.Insert(b.Length(), u"!");
        b.Insert(5, u",");
        b.Insert(0, std::u16string(3000, u'x'));
        EXPECT_EQ(b.Length(), 3013u);
        EXPECT_EQ(b.Substr(2998, 100), u"xxhello, world!");
    }
    CTavloGapBuffer empty;
    empty.Insert(0, u"old");
    empty.Adopt(TavloTextRoom(), 0);
    EXPECT_EQ(empty.Length(), 0u);
}

TEST(GapBuffer, EditsAnywhere) {
    CTavloGapBuffer b;
    b.Insert(0, u"hello world");
    b.Insert(5, u",");
    b.Erase(0, 1);
    b.Insert(0, u"J");
    EXPECT_EQ(b.Text(), u"Jello, world");
    EXPECT_EQ(b.Substr(4, 4), u"o, w");
    std::u16string big(5000, u'x');
    b.Insert(3, big);
    EXPECT_EQ(b.Length(), 5012u);
    EXPECT_EQ(b.At(5003), u'l');
    EXPECT_EQ(b.Substr(5000, 100), u"xxxlo, world");
    b.Erase(2, 100000);
    EXPECT_EQ(b.Text(), u"Je");
}

// Growth at the end keeps the text where realloc leaves it; growth with text after the gap,
// and room made ahead of a long append, keep every character too.
TEST(GapBuffer, GrowsWithoutLosingTextWhereverTheGapIs) {
    CTavloGapBuffer b;
    std::u16string want;
    for (int k = 0; k < 300; ++k) {
        std::u16string piece(97 + k % 13, static_cast<char16_t>(u'a' + k % 26));
        b.Insert(b.Length(), piece);
        want += piece;
    }
    ASSERT_EQ(b.Text(), want);
    b.Insert(10, u"XYZ");
    want.insert(10, u"XYZ");
    std::u16string big(40000, u'q');
    b.Insert(20, big); // grows with most of the text after the gap
    want.insert(20, big);
    ASSERT_EQ(b.Text(), want);
    b.Reserve(100000);
    b.Insert(b.Length(), u"end");
    want += u"end";
    EXPECT_EQ(b.Text(), want);
    EXPECT_EQ(b.At(b.Length() - 1), u'd');
    b.Assign(u"fresh");
    b.Reserve(10);
    b.Insert(5, u"!");
    EXPECT_EQ(b.Text(), u"fresh!");
}

} // namespace
