// The posting answer: the page's classification (done, error, confirmation) and the
// confirmation form and cookies. Lines before the first empty line are Set-Cookie values.
#include "fuzz_support.h"
#include "tavlo_post.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    fuzz::UseSettings();
    bool fromEuc = data[0] & 1;
    std::string_view text = fuzz::View(data + 1, size - 1);
    std::vector<CVornString> cookies;
    size_t pos = 0;
    size_t split = text.find("\n\n");
    if (split != std::string_view::npos) {
        while (pos < split) {
            size_t lf = text.find('\n', pos);
            cookies.emplace_back(text.substr(pos, lf - pos));
            pos = lf + 1;
        }
        pos = split + 2;
    }
    CVornString page(text.substr(pos));
    CTavloConfirmation confirmation = TavloParseConfirmation(cookies, page, 1700000000);
    CVornHttpClient http;
    TavloApplyConfirmation(http, confirmation);
    CVornString error;
    TavloClassifyPostPage(page, fromEuc, &error);
    return 0;
}
