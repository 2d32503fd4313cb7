#include "tavlo_next_thread.h"

#include "vorn_kcode.h"

#include <string>
#include <vector>

namespace {

// UTF-8 here; converted to the working encoding before use.
const char* const kEscaped[] = {"\\", ".", "+", "*", "^", "$", "|", "?"};
const char* const kBrackets[][2] = {
    {"【", "】"}, {"[", "]"},   {"<", ">"}, {"〈", "〉"},
    {"《", "》"}, {"『", "』"}, {"{", "}"}, {"(", ")"},
};
const char* const kRemoved[] = {
    "0",    "1",        "2",        "3",        "4",    "5",    "6",  "7",  "8",    "9",
    "０",   "１",       "２",       "３",       "４",   "５",   "６", "７", "８",   "９",
    "十",   "一",       "二",       "三",       "四",   "五",   "六", "七", "八",   "九",
    "零",   "壱",       "弍",       "参",       "伍",   "拾",   " ",  "　", "Part", "part",
    "PART", "Ｐａｒｔ", "ｐａｒｔ", "ＰＡＲＴ", "その", "其の",
};
// Brackets that are expression syntax; those left after the bracket step are matched as text.
const char* const kSyntaxBrackets[] = {"[", "]", "{", "}", "(", ")"};

// The work happens in EUC-JP, where no trail byte can be mistaken for an ASCII character.
std::string euc(const char* utf8) {
    CVornString s(VornUtf8ToSjis(utf8));
    s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    return s.str();
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

} // namespace

CVornString TavloNextThreadPattern(const CVornString& title) {
    CVornString work = title;
    work.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    std::string& s = work.str();

    // The backslash first, so that the ones added later are not doubled.
    for (const char* c : kEscaped)
        replaceAll(s, euc(c), "\\" + euc(c));

    for (const auto& pair : kBrackets) {
        const std::string open = euc(pair[0]), close = euc(pair[1]);
        for (;;) {
            const size_t from = s.find(open);
            if (from == std::string::npos)
                break;
            const size_t to = s.find(close, from + open.size());
            if (to == std::string::npos)
                break;
            const size_t end = to + close.size();
            if (from == 0 && end == s.size())
                break;
            s.replace(from, end - from, ".*");
        }
    }
    for (const char* c : kSyntaxBrackets)
        replaceAll(s, c, std::string("\\") + c);

    for (const char* w : kRemoved)
        replaceAll(s, euc(w), ".*");
    while (s.find(".*.*") != std::string::npos)
        replaceAll(s, ".*.*", ".*");

    work.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    return work;
}
