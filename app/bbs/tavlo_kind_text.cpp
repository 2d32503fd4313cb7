#include "tavlo_kind_text.h"

#include "vorn_kcode.h"
#include "vorn_string.h"

namespace TavloKindText {

std::string Sjis(const char* utf8) {
    return VornUtf8ToSjis(utf8);
}

bool IsBoundary(std::string_view text, size_t pos) {
    // Bytes that can lead a pair come in pairs before a boundary: count the run of them just
    // before pos; the byte before that run ends a character either way.
    size_t run = 0;
    while (pos > run && VornIsSjisLead(static_cast<unsigned char>(text[pos - run - 1])))
        ++run;
    return run % 2 == 0;
}

size_t FindSjis(std::string_view text, std::string_view needle, size_t from) {
    for (size_t at = text.find(needle, from); at != std::string_view::npos;
         at = text.find(needle, at + 1))
        if (IsBoundary(text, at))
            return at;
    return std::string_view::npos;
}

std::string StripTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lt = text.find('<', pos);
        if (lt == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, lt - pos));
        size_t gt = text.find('>', lt);
        if (gt == std::string_view::npos) {
            out.append(text.substr(lt));
            break;
        }
        pos = gt + 1;
    }
    return out;
}

void AppendFields(std::string& out, std::initializer_list<std::string_view> parts) {
    for (std::string_view p : parts)
        out.append(p);
}

} // namespace TavloKindText
