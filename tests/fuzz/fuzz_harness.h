#pragma once
// The shapes several fuzz targets share: a store file's round trip, and a converting board
// kind fed one answer in two reads.

#include "fuzz_support.h"
#include "vorn_string.h"

#include <cstdlib>
#include <string_view>

namespace fuzz {

// What File parses writes back to text that parses back to the same text.
template <class File> void RoundTrip(std::string_view data) {
    File first;
    first.Parse(data);
    CVornString text = first.Format();
    File second;
    second.Parse(text.view());
    if (second.Format() != text)
        abort();
}

// Feeds the answer to the kind's converter in two reads, cut after the first line end past the
// middle (so that a post may be split across them); false when the first read is refused.
template <class Bbs> bool ConvertInTwoReads(Bbs& bbs, std::string_view answer) {
    bbs.GetDatUrl();
    size_t cut = answer.find('\n', answer.size() / 2);
    cut = cut == std::string_view::npos ? answer.size() : cut + 1;
    CVornString first(answer.substr(0, cut));
    if (bbs.WriteFileConvert(first) != 0)
        return false;
    CVornString second(answer.substr(cut));
    bbs.WriteFileConvert(second);
    return true;
}

} // namespace fuzz
