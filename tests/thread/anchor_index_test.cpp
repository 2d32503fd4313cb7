#include "tavlo_anchor_index.h"
#include "tavlo_post_converter.h"
#include "vorn_kcode.h"
#include "vorn_regex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::u16string U(const char* utf8) {
    return VornUtf8ToUtf16(utf8);
}

std::vector<int> Parse(const char* utf8, size_t* used = nullptr) {
    std::vector<int> out;
    size_t n = TavloParseAnchor(U(utf8), out);
    if (used)
        *used = n;
    return out;
}

// Display text of log lines "name<>mail<>date<>body<>" through the converter.
std::u16string Display(const std::string& log) {
    CTavloPostConverter c;
    std::u16string out;
    c.Convert(U(log.c_str()), 1, 1000000, nullptr, false, out);
    return out;
}

std::string Line(const std::string& id, const std::string& body) {
    return "n<><>2026/12/08 ID:" + id + "<>" + body + "<>\n";
}

using V = std::vector<int>;

} // namespace

TEST(AnchorParse, FormsOfAnchors) {
    size_t used = 0;
    EXPECT_EQ(Parse(">>12", &used), V({12}));
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(Parse(">>12-15"), V({12, 13, 14, 15}));
    EXPECT_EQ(Parse(">>12,14"), V({12, 14}));
    EXPECT_EQ(Parse(">>3,1-2,3"), V({3, 1, 2}));
    EXPECT_EQ(Parse("＞＞１２－１４"), V({12, 13, 14}));
    EXPECT_EQ(Parse(">１２，３"), V({12, 3}));
    EXPECT_EQ(Parse(">>15-12"), V({12, 13, 14, 15}));
    // A dash or comma without a number after it ends the anchor before it.
    EXPECT_EQ(Parse(">>5- x", &used), V({5}));
    EXPECT_EQ(used, 3u);
    EXPECT_EQ(Parse(">>5,"), V({5}));
    EXPECT_TRUE(Parse(">>x").empty());
    EXPECT_TRUE(Parse("12").empty());
    EXPECT_TRUE(Parse(">>0").empty());
    // Widths mixed, leading zeros, and the largest number there is.
    EXPECT_EQ(Parse(">>1２"), V({12}));
    EXPECT_EQ(Parse(">>１2"), V({12}));
    EXPECT_EQ(Parse(">>0000012-00000013"), V({12, 13}));
    EXPECT_EQ(Parse(">>9999999", &used), V({9999999}));
    EXPECT_EQ(used, 9u);
    EXPECT_TRUE(Parse(">>10000000").empty());
    EXPECT_TRUE(Parse(">>999999９").size() == 1 && Parse(">>99999999").empty());
}

TEST(AnchorParse, HostileAnchorsStayBounded) {
    EXPECT_EQ(Parse(">>1-999999").size(), kTavloAnchorTargetsMax);
    EXPECT_EQ(Parse(">>1-999999").back(), static_cast<int>(kTavloAnchorTargetsMax));
    EXPECT_TRUE(Parse(">>99999999999999999999").empty());
    std::string list = ">>1";
    for (int k = 2; k < 5000; ++k)
        list += "," + std::to_string(k % 7 + 1);
    EXPECT_EQ(Parse(list.c_str()).size(), 7u);
}

TEST(AnchorIndex, ReverseReferencesAndIds) {
    std::string log = Line("aaa", "first") + Line("bbb", ">>1 ok") +
                      Line("aaa", ">>1-2<br>and >>1 again") + Line("ccc", ">>1,3 >>4 >>9") +
                      Line("bbb", "none");
    CTavloAnchorIndex index;
    index.AddDisplay(Display(log));
    ASSERT_EQ(index.GetCount(), 5);
    EXPECT_EQ(index.ReferredBy(1), V({2, 3, 4}));
    EXPECT_EQ(index.ReferredCount(1), 3);
    EXPECT_EQ(index.ReferredBy(2), V({3}));
    EXPECT_EQ(index.RefersTo(3), V({1, 2}));
    // Itself left out; a post not there yet keeps its answers.
    EXPECT_EQ(index.RefersTo(4), V({1, 3, 9}));
    EXPECT_EQ(index.ReferredCount(9), 1);
    EXPECT_EQ(index.ReferredCount(4), 0);
    EXPECT_EQ(index.ReferredCount(0), 0);

    EXPECT_EQ(index.IdOf(3), u"aaa");
    EXPECT_EQ(index.PostsOfId(u"bbb"), V({2, 5}));
    EXPECT_EQ(index.IdOrdinal(5), 2);
    EXPECT_EQ(index.IdTotal(5), 2);
    EXPECT_EQ(index.IdTotal(4), 1);
    EXPECT_EQ(index.IdTotal(99), 0);
    EXPECT_TRUE(index.PostsOfId(u"zzz").empty());
}

TEST(AnchorIndex, AppendedPostsMatchARebuild) {
    std::string first, second;
    for (int k = 1; k <= 30; ++k)
        first += Line("id" + std::to_string(k % 4), ">>" + std::to_string(k / 2 + 1));
    for (int k = 31; k <= 40; ++k)
        second += Line("id" + std::to_string(k % 4), ">>" + std::to_string(k - 3) + ",1");
    std::u16string a = Display(first);
    CTavloPostConverter c;
    std::u16string all;
    c.Convert(U((first + second).c_str()), 1, 1000000, nullptr, false, all);

    CTavloAnchorIndex grown, whole;
    grown.AddDisplay(a);
    grown.AddDisplay(std::u16string_view(all).substr(a.size()));
    whole.AddDisplay(all);
    ASSERT_EQ(grown.GetCount(), 40);
    for (int k = 1; k <= 41; ++k) {
        EXPECT_EQ(grown.ReferredBy(k), whole.ReferredBy(k)) << k;
        EXPECT_EQ(grown.IdOrdinal(k), whole.IdOrdinal(k)) << k;
        EXPECT_EQ(grown.IdTotal(k), whole.IdTotal(k)) << k;
    }
    // Only the next post is taken.
    grown.AddPost(45, u"\x01[45]n<>\n\x05x\n>>1\n\n");
    EXPECT_EQ(grown.GetCount(), 40);
}

TEST(AnchorIndex, SelfAnchorsMissingPostsAndLongChains) {
    std::string chain;
    for (int k = 1; k <= 5000; ++k)
        chain += ">>" + std::to_string(k) + " ";
    std::string log = Line("a", ">>1 >>1-999999") + Line("b", chain) + Line("c", ">>2");
    CTavloAnchorIndex index;
    index.AddDisplay(Display(log));
    ASSERT_EQ(index.GetCount(), 3);
    EXPECT_EQ(index.RefersTo(1).size(), kTavloAnchorTargetsMax - 1);
    // Its own number is left out and the next one taken in its place.
    EXPECT_EQ(index.RefersTo(2).size(), kTavloPostTargetsMax);
    EXPECT_EQ(index.ReferredBy(1), V({2}));
    EXPECT_EQ(index.ReferredBy(2), V({1, 3}));
    EXPECT_EQ(index.ReferredBy(5000), V());

    // A target named from far before it and then from near it keeps both answers.
    CTavloAnchorIndex far;
    std::string log2 = Line("a", ">>3000");
    for (int k = 2; k <= 2990; ++k)
        log2 += Line("b", k == 2500 ? ">>3000" : "x");
    far.AddDisplay(Display(log2));
    EXPECT_EQ(far.ReferredBy(3000), V({1, 2500}));
    EXPECT_EQ(far.ReferredBy(9999999), V());
    index.Clear();
    EXPECT_EQ(index.GetCount(), 0);
    EXPECT_EQ(index.ReferredCount(2), 0);
}

TEST(AnchorIndex, RepeatsAcrossTheFarBoundaryAndManyIds) {
    // 2000 is far from post 1 until ">>1000" makes room for it; naming it again stays one.
    std::string log = Line("a", ">>2000 >>1000 >>2000 >>1000,2000") + Line("b", ">>2000");
    // More IDs than the first table holds: every one keeps its own posts.
    for (int k = 3; k <= 402; ++k)
        log += Line("x" + std::to_string(k % 200), "x");
    CTavloAnchorIndex index;
    index.AddDisplay(Display(log));
    ASSERT_EQ(index.GetCount(), 402);
    EXPECT_EQ(index.RefersTo(1), V({2000, 1000}));
    EXPECT_EQ(index.ReferredBy(2000), V({1, 2}));
    EXPECT_EQ(index.ReferredBy(1000), V({1}));
    for (int k = 3; k <= 402; ++k) {
        std::u16string id = U(("x" + std::to_string(k % 200)).c_str());
        ASSERT_EQ(index.IdOf(k), id) << k;
        int first = k < 203 ? k : k - 200;
        EXPECT_EQ(index.PostsOfId(id), V({first, first + 200})) << k;
        EXPECT_EQ(index.IdOrdinal(k), k < 203 ? 1 : 2) << k;
        EXPECT_EQ(index.IdTotal(k), 2) << k;
    }
}

TEST(AnchorIndex, AnchorsWrittenBackToBackCountEach) {
    CTavloAnchorIndex index;
    index.AddDisplay(Display(Line("a", "x") + Line("b", "y") + Line("c", ">>1>>2 >>>1 >>a>>2")));
    EXPECT_EQ(index.RefersTo(3), V({1, 2}));
    EXPECT_EQ(index.ReferredBy(2), V({3}));
}

// The index reads single anchors and ranges itself: it must read them as the parser does,
// its own number left out, also where a post runs into its limit of targets.
TEST(AnchorIndex, EachAnchorReadsAsTheParserReadsIt) {
    const std::vector<std::string> forms = {
        ">>5",          ">>5-8",      ">>8-5",      "＞＞１２－１４", ">１２，３",
        ">>3-4,6",      ">>4,2-3,4",  ">>5- x",     ">>5,",           ">>7-99999999",
        ">>99999999-3", ">>1-999999", ">>>>9",      ">>1-40",         ">>0-3",
        ">>6－８、2",   ">>10-10",    ">>2-4>>3-6", ">>９-１１ >>10"};
    std::string log = Line("a", "x");
    for (const std::string& f : forms)
        log += Line("b", f + " tail");
    CTavloAnchorIndex index;
    index.AddDisplay(Display(log));
    ASSERT_EQ(index.GetCount(), static_cast<int>(forms.size()) + 1);
    for (size_t k = 0; k < forms.size(); ++k) {
        const int number = static_cast<int>(k) + 2;
        std::u16string text = U(forms[k].c_str());
        V expected;
        for (size_t at = 0; at < text.size();) {
            V one;
            size_t used = TavloParseAnchor(std::u16string_view(text).substr(at), one);
            for (int t : one)
                if (t != number && std::find(expected.begin(), expected.end(), t) == expected.end())
                    expected.push_back(t);
            at += used ? used : 1;
        }
        EXPECT_EQ(index.RefersTo(number), expected) << forms[k];
        for (int t : expected) {
            V answers = index.ReferredBy(t);
            EXPECT_NE(std::find(answers.begin(), answers.end(), number), answers.end())
                << forms[k] << " " << t;
        }
    }

    // 950 posts named one by one, then ranges. With room for 50 more, a range is read as its
    // first 50 (here repeats only, so 952 stays unnamed); the next range still fits.
    std::string many;
    for (int k = 1; k <= 950; ++k)
        many += ">>" + std::to_string(k + 1) + " ";
    CTavloAnchorIndex full;
    full.AddDisplay(Display(Line("a", many + ">>902-1000 >>960-970")));
    EXPECT_EQ(full.RefersTo(1).size(), 961u);
    EXPECT_EQ(full.ReferredCount(952), 0);
    EXPECT_EQ(full.ReferredBy(960), V({1}));
    CTavloAnchorIndex room;
    room.AddDisplay(Display(Line("a", many + ">>952-1200 >>1300")));
    EXPECT_EQ(room.RefersTo(1).size(), kTavloPostTargetsMax);
    EXPECT_EQ(room.RefersTo(1).back(), 1001);
    EXPECT_EQ(room.ReferredCount(1300), 0);
}

// Posts taken from what their conversion found must index exactly as their text does.
TEST(AnchorIndex, ConvertedPostsMatchTheirText) {
    std::string log;
    for (int k = 1; k <= 600; ++k) {
        std::string body = ">>" + std::to_string(k / 2 + 1) + ">>" + std::to_string(k / 3 + 1) +
                           "-" + std::to_string(k / 3 + 4) + "<br>＞＞１,３ &gt;&gt;" +
                           std::to_string(k + 5000) + " NGWORD" + std::to_string(k % 7) +
                           " http://e.x/a.jpg <br><br><br><br> &gt;x &gt;&gt;" + std::to_string(k);
        log += Line(k % 5 ? "id" + std::to_string(k % 37) : "???", body);
    }
    for (bool hide : {false, true}) {
        CVornRegex ng;
        ASSERT_TRUE(ng.CompileW(u"NGWORD3"));
        CTavloPostConverter c;
        c.Options().inlineImage = true;
        std::u16string all = u"\n\n";
        // Large enough to be decoded in several pieces.
        c.ConvertSjis(VornUtf8ToSjis(log), 1, 300, &ng, hide, all);
        const TavloConvertedPosts& found = c.GetConverted();
        ASSERT_EQ(found.posts.size(), 600u);
        const std::u16string_view text = std::u16string_view(all).substr(found.textStart);

        CTavloAnchorIndex fromText, fromFound;
        fromText.AddDisplay(text);
        ASSERT_TRUE(fromFound.AddConverted(text, found));
        ASSERT_EQ(fromFound.GetCount(), 600);
        for (int k = 1; k <= 6000; ++k) {
            ASSERT_EQ(fromFound.ReferredBy(k), fromText.ReferredBy(k)) << k << hide;
            if (k > 600)
                continue;
            ASSERT_EQ(fromFound.RefersTo(k), fromText.RefersTo(k)) << k << hide;
            ASSERT_EQ(fromFound.IdOf(k), fromText.IdOf(k)) << k << hide;
            ASSERT_EQ(fromFound.IdOrdinal(k), fromText.IdOrdinal(k)) << k << hide;
            ASSERT_EQ(fromFound.IdTotal(k), fromText.IdTotal(k)) << k << hide;
            // Found by its text: the conversion's hash is the index's own.
            ASSERT_EQ(fromFound.PostsOfId(fromText.IdOf(k)), fromText.PostsOfId(fromText.IdOf(k)))
                << k << hide;
        }
        // A hidden post has nothing left to index.
        EXPECT_EQ(fromFound.RefersTo(3).empty(), hide);
        EXPECT_EQ(fromFound.ReferredCount(4000), 0);
        EXPECT_EQ(fromFound.ReferredBy(5001), V({1}));
    }
}

TEST(AnchorIndex, ConvertedPostsOnlyWhenTheyAreTheNextAndTheText) {
    CTavloPostConverter c;
    std::u16string first, second;
    c.Convert(U((Line("a", "x") + Line("b", ">>1")).c_str()), 1, 1, nullptr, false, first);
    TavloConvertedPosts one;
    c.TakeConverted(one);
    EXPECT_TRUE(c.GetConverted().posts.empty());
    c.Convert(U(Line("a", ">>2 >>1").c_str()), 3, 3, nullptr, false, second);
    TavloConvertedPosts two = c.GetConverted();

    CTavloAnchorIndex index;
    EXPECT_FALSE(index.AddConverted(second, two)); // posts 1 and 2 are not there
    EXPECT_FALSE(index.AddConverted(std::u16string_view(first).substr(1), one));
    EXPECT_EQ(index.GetCount(), 0);
    ASSERT_TRUE(index.AddConverted(first, one));
    // Findings that point outside the text are refused, not followed.
    TavloConvertedPosts bad = two;
    bad.anchors[0] = static_cast<uint32_t>(second.size());
    EXPECT_FALSE(index.AddConverted(second, bad));
    bad = two;
    bad.posts[0].idStart = static_cast<uint32_t>(second.size());
    EXPECT_FALSE(index.AddConverted(second, bad));
    EXPECT_EQ(index.GetCount(), 2);
    ASSERT_TRUE(index.AddConverted(second, two));
    EXPECT_EQ(index.ReferredBy(1), V({2, 3}));
    EXPECT_EQ(index.ReferredBy(2), V({3}));
    EXPECT_EQ(index.PostsOfId(u"a"), V({1, 3}));
}
