// EUC-JP to Shift_JIS: the table and its vector path give what the library's converter gives,
// for every two-byte code, wherever it falls against the 64-byte blocks.
#include "tavlo_kind_text.h"
#include "vorn_string.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

struct Level {
    explicit Level(int level) : old(TavloKindText::SetEucLevel(level)) {}
    ~Level() { TavloKindText::SetEucLevel(old); }
    int old;
};

struct Result {
    int code;
    std::string text;
    bool operator==(const Result&) const = default;
};

Result library(const std::string& euc) {
    CVornString s(euc);
    int r = s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    return {r == 1 ? 1 : 0, s.str()};
}

Result converted(const std::string& euc, int level) {
    Level l(level);
    std::string out = "<";
    int r = TavloKindText::EucToSjis(euc, out);
    return {r, out.substr(1)};
}

void expectSame(const std::string& euc, const std::string& what) {
    Result want = library(euc);
    EXPECT_EQ(converted(euc, 0), want) << what;
    EXPECT_EQ(converted(euc, 1), want) << what;
}

TEST(EucTable, EveryRowConvertsAsTheLibraryDoesAtEveryBlockOffset) {
    for (int c1 = 0xA1; c1 <= 0xFE; ++c1) {
        std::string row;
        for (int c2 = 0xA1; c2 <= 0xFE; ++c2) {
            row += static_cast<char>(c1);
            row += static_cast<char>(c2);
            if (c2 % 7 == 0)
                row += ' '; // short ASCII runs shift the pairs' parity
        }
        // A row with undefined codes goes to the library whole; the defined part alone must
        // convert through the fast paths.
        std::string defined;
        for (size_t i = 0; i < row.size();) {
            if (row[i] == ' ') {
                defined += ' ';
                ++i;
                continue;
            }
            std::string pair = row.substr(i, 2);
            if (library(pair).code == 1)
                defined += pair;
            i += 2;
        }
        for (int shift : {0, 1, 2, 31, 62, 63, 64, 65}) {
            std::string pad(static_cast<size_t>(shift), 'a');
            expectSame(pad + row, "row " + std::to_string(c1) + " shift " + std::to_string(shift));
            expectSame(pad + defined + "x",
                       "defined row " + std::to_string(c1) + " shift " + std::to_string(shift));
        }
    }
}

TEST(EucTable, PairsCutOrOddAtBlockEndsAndOtherSetsGoByTheLibrary) {
    const std::string kanji = "\xB0\xA1";
    for (size_t len = 0; len < 140; ++len) {
        std::string lead(len, 'a');
        // A lead byte at the very end, right at and around a block's end.
        expectSame(lead + "\xB0", "cut at " + std::to_string(len));
        // A pair across the block boundary, then more text.
        expectSame(lead + kanji + "b" + kanji, "across at " + std::to_string(len));
        // Half-width katakana, JIS X 0212, a trail below 0xA1, an ASCII trail.
        expectSame(lead + kanji + "\x8E\xB1" + kanji, "kana at " + std::to_string(len));
        expectSame(lead + kanji + "\x8F\xB0\xA1" + kanji, "0212 at " + std::to_string(len));
        expectSame(lead + kanji + "\xB0\x90" + kanji, "low trail at " + std::to_string(len));
        expectSame(lead + kanji +
                       "\xB0"
                       "c" +
                       kanji,
                   "ascii trail at " + std::to_string(len));
    }
}

TEST(EucTable, RandomTextConvertsAsTheLibraryDoes) {
    std::mt19937 rng(14);
    const char* pieces[] = {"\xA4\xA2", "\xA4\xF3", "\xA5\xF6", "\xB0\xA1", "\xCF\xD3", "\xF4\xA6",
                            "\xA1\xA1", "\xDF\xFE", "\xDE\xA1", " ",        "abc",      "\n",
                            "\x8E\xDF", "\xA4",     "\xFF",     "\x80",     "\xA9\xA1", "\xA4\xF4"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const bool clean = round % 2 == 0;
        for (int k = static_cast<int>(rng() % 120); k > 0; --k) {
            size_t at = rng() % (clean ? 13 : std::size(pieces));
            text += pieces[at];
        }
        expectSame(text, "round " + std::to_string(round));
        if (HasFailure())
            return;
    }
}

} // namespace
