#include "test_util.h"
#include "vorn_kcode.h"
#include "vorn_string.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// Characters that break naive Shift_JIS handling: the wave dash / full-width tilde pair,
// NEC and IBM extensions, half-width kana, and trail bytes that are ASCII '\\'.
struct Awkward {
    const char* sjis;
    char16_t unit;
};
const Awkward kAwkward[] = {
    {"\x81\x5f", u'\uFF3C'}, // ＼ full-width reverse solidus
    {"\x81\x60", u'\uFF5E'}, // ～ (CP932: full-width tilde, not the wave dash)
    {"\x81\x91", u'\uFFE0'}, // ￠
    {"\x87\x40", u'\u2460'}, // ① NEC special
    {"\xfb\xfc", u'\u9AD9'}, // 髙 IBM extension
    {"\xb1", u'\uFF71'},     // ｱ half-width kana
    {"\x83\x5c", u'\u30BD'}, // ソ trail byte 0x5C
    {"\x95\x5c", u'\u8868'}, // 表
};

TEST(KCode, AwkwardCharactersRoundTripThroughUtf16) {
    for (const auto& a : kAwkward) {
        std::u16string w = VornSjisToUtf16(a.sjis);
        ASSERT_EQ(w.size(), 1u) << a.sjis;
        EXPECT_EQ(w[0], a.unit);
        EXPECT_EQ(VornUtf16ToSjis(w), a.sjis);
        EXPECT_EQ(VornUtf8ToSjis(VornSjisToUtf8(a.sjis)), a.sjis);
    }
}

TEST(KCode, MixedTextAndOffsets) {
    std::string s = std::string("ab") + "\x83\x5c" + "c" + "\xb1" + "\x87\x40";
    std::vector<uint32_t> off;
    std::u16string w = VornSjisToUtf16(s, &off);
    ASSERT_EQ(w, u"ab\u30BDc\uFF71\u2460");
    std::vector<uint32_t> expect = {0, 1, 2, 4, 5, 6, 8};
    EXPECT_EQ(off, expect);
    std::vector<uint32_t> off8;
    std::string u8 = VornSjisToUtf8(s, &off8);
    ASSERT_EQ(off8.size(), u8.size() + 1);
    EXPECT_EQ(off8[2], 2u); // first byte of ソ
    EXPECT_EQ(off8[4], 2u); // last byte of ソ
    EXPECT_EQ(off8[5], 4u); // c
}

TEST(KCode, InvalidBytesAreKeptNotDropped) {
    // 0x80 and 0xA0 are not characters; a lead byte at the very end has no trail; 0x81 0x0A
    // is a lead byte followed by a line feed.
    std::string s = std::string("a\x80"
                                "b\xa0"
                                "c\x81\n"
                                "d\x82");
    std::u16string w = VornSjisToUtf16(s);
    EXPECT_EQ(w, std::u16string(u"a\xDC80"
                                u"b\xDCA0"
                                u"c\xDC81\n"
                                u"d\xDC82"));
    // Escapes restore the exact bytes.
    EXPECT_EQ(VornUtf16ToSjis(w), s);
    // UTF-8 cannot carry them: each becomes one U+FFFD, nothing vanishes.
    EXPECT_EQ(VornSjisToUtf8(s), "a\xEF\xBF\xBD"
                                 "b\xEF\xBF\xBD"
                                 "c\xEF\xBF\xBD\nd\xEF\xBF\xBD");
}

TEST(KCode, UnrepresentableBecomesQuestionMark) {
    EXPECT_EQ(VornUtf16ToSjis(u"x\U0001F600y\u00E9"), "x?y?");
    EXPECT_EQ(VornUtf8ToSjis("a\xff"
                             "b"),
              "a?b");
    EXPECT_EQ(VornUtf16ToSjis(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
}

TEST(KCode, LongMixedTextMatchesCharacterByCharacter) {
    std::string s;
    for (int i = 0; i < 5000; ++i)
        s += (i % 3) ? "\x82\xa0\x83\x5c" : "abc\\";
    std::u16string w = VornSjisToUtf16(s);
    EXPECT_EQ(VornUtf16ToSjis(w), s);
    size_t ascii = (5000 + 2) / 3; // i % 3 == 0
    EXPECT_EQ(w.size(), ascii * 4 + (5000 - ascii) * 2);
}

TEST(KCode, ConvertKCodeExBetweenEncodings) {
    std::string text = Sjis("日本語テキスト①～ｱ");
    CVornString s(text);
    EXPECT_EQ(s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC), 1);
    EXPECT_EQ(
        s.str(),
        std::string(
            "\xC6\xFC\xCB\xDC\xB8\xEC\xA5\xC6\xA5\xAD\xA5\xB9\xA5\xC8\xAD\xA1\xA1\xC1\x8E\xB1"));
    EXPECT_EQ(s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS), 1);
    EXPECT_EQ(s.str(), text);

    CVornString j(Sjis("日本"));
    EXPECT_EQ(j.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS), 1);
    EXPECT_EQ(j.str(), "\x1b$BF|K\\\x1b(B");
    EXPECT_EQ(j.ConvertKCodeEx(CVornString::KCODE_JIS_TO_SJIS), 1);
    EXPECT_EQ(j.str(), Sjis("日本"));
}

TEST(KCode, ConvertKCodeExReplacesWhatCannotConvert) {
    // ① has no ISO-2022-JP form; it becomes the geta mark, reported by the result 0.
    CVornString s(Sjis("a①b"));
    EXPECT_EQ(s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS), 0);
    EXPECT_EQ(s.str(), "a\x1b$B\".\x1b(Bb");
    CVornString bad(std::string("x\x80y"));
    EXPECT_EQ(bad.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC), 0);
    EXPECT_EQ(bad.str(), "x\xA2\xAEy");
    CVornString euc(std::string("\xA4\xA2\xFF"));
    EXPECT_EQ(euc.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS), 0);
    EXPECT_EQ(euc.str(), Sjis("あ〓"));
    CVornString keep("abc");
    EXPECT_EQ(keep.ConvertKCodeEx(99), -1);
    EXPECT_EQ(keep, "abc");
}

} // namespace

namespace {

// The table decoder must agree with the iconv walk on every byte and pair, including broken
// pairs, lone leads at the end and random garbage.
TEST(KCode, FastDecoderAgreesWithIconvOnEverySequence) {
    for (int c = 0; c < 256; ++c) {
        std::string one(1, static_cast<char>(c));
        std::u16string a, b;
        VornAppendSjisToUtf16(one, a);
        VornAppendSjisToUtf16Fast(one, b);
        ASSERT_EQ(a, b) << c;
        for (int t = 0; t < 256; ++t) {
            std::string two = one + static_cast<char>(t) + "x";
            std::u16string a2, b2;
            size_t ea = VornAppendSjisToUtf16(two, a2);
            size_t eb = VornAppendSjisToUtf16Fast(two, b2);
            ASSERT_EQ(a2, b2) << c << " " << t;
            ASSERT_EQ(ea, eb);
        }
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string s;
        for (int i = 0; i < 300; ++i) {
            seed = seed * 1103515245u + 12345u;
            s += static_cast<char>((seed >> 16) & 0xFF);
        }
        std::u16string a = u"prefix", b = u"prefix";
        VornAppendSjisToUtf16(s, a);
        VornAppendSjisToUtf16Fast(s, b);
        ASSERT_EQ(a, b);
    }
}

// ASCII goes sixteen bytes at a time: runs of every length around that width, starting at
// every offset, between two-byte characters, half-width kana, broken pairs and the text's
// ends, must decode as the iconv walk does, into exactly the room of the bytes.
TEST(KCode, FastDecoderAgreesAroundAsciiRuns) {
    const std::string kanji = "\x8a\xbf\x8e\x9a", kana = "\xb1\xb2", broken = "\x81\x20",
                      lead = "\x82";
    const std::string tails[] = {"", kanji, kana, broken, lead};
    for (size_t before = 0; before < 20; ++before) {
        for (size_t run = 0; run < 40; ++run) {
            for (const std::string& tail : tails) {
                std::string s = std::string(before % 3 ? kanji : kana).substr(0, before % 5);
                for (size_t k = 0; k < run; ++k)
                    s += static_cast<char>('!' + (k * 7 + before) % 90);
                s += tail;
                std::u16string a;
                size_t ea = VornAppendSjisToUtf16(s, a);
                std::vector<char16_t> room(s.size() + 1, u'#');
                size_t eb = 0;
                size_t units = VornDecodeSjisFast(s, room.data(), &eb);
                ASSERT_EQ(a, std::u16string_view(room.data(), units)) << before << " " << run;
                ASSERT_EQ(ea, eb);
                ASSERT_EQ(room[s.size()], u'#') << "wrote past its room";
            }
        }
    }
}

} // namespace
