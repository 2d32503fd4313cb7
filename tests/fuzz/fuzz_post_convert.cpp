// Post conversion: thread log bytes (Shift_JIS lines "name<>mail<>date<>body<>title") to
// display text, with the options and NG rule a first byte chooses.
#include "fuzz_support.h"
#include "tavlo_post_converter.h"
#include "vorn_regex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static CVornRegex* ng = [] {
        auto* r = new CVornRegex;
        r->Compile("ab+c|\x83\x5c");
        return r;
    }();
    unsigned char flags = data[0];
    std::string_view log = fuzz::View(data + 1, size - 1);
    CTavloPostConverter converter;
    converter.Options().deleteBlankLines = flags & 1;
    converter.Options().inlineImage = flags & 2;
    converter.Options().inlineImageHeight = (flags >> 4) & 7;
    std::u16string out;
    size_t n = converter.ConvertSjis(log, 1 + (flags >> 5), 1 + (flags & 4),
                                     (flags & 8) ? ng : nullptr, flags & 16, out);
    if (n != out.size())
        abort();
    // Made in the converter's own room after a start, the text must be that start and the
    // same text.
    CTavloPostConverter inRoom;
    inRoom.Options() = converter.Options();
    const std::u16string_view made = inRoom.ConvertSjisAfter(
        u"\n", log, 1 + (flags >> 5), 1 + (flags & 4), (flags & 8) ? ng : nullptr, flags & 16);
    if (made.size() != out.size() + 1 || made[0] != u'\n' || made.substr(1) != out)
        abort();
    // A second piece continues the numbering of the first.
    converter.ConvertSjis(log.substr(log.size() / 2), converter.GetLastCount() + 1, 1, nullptr,
                          false, out);
    if (converter.HasTitle())
        TavloCleanTitle(converter.GetTitle());
    return 0;
}
