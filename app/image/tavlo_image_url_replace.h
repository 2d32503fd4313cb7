#pragma once

#include "vorn_object.h"
#include "vorn_regex.h"
#include "vorn_string.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// What a replacement row gives for a link: the URL to download, its referer and cookie
// (Shift_JIS; empty when not set).
struct CTavloImageViewUrlReplaceMatch {
    CVornString ImageUrl;
    CVornString Referer;
    CVornString Cookie;
};

class CTavloImageViewUrlReplaceBase : public CVornObject {
public:
    enum { MODE_PLAIN = 0, MODE_COOKIE = 1, MODE_EXTRACT = 2 };
};

// One rule of ImageViewURLReplace.dat.
class CTavloImageViewUrlReplaceData : public CTavloImageViewUrlReplaceBase {
public:
    // Fields as in the file (UTF-16); false when the match expression does not compile.
    bool Set(std::u16string_view match, std::u16string imageUrl, std::u16string referer,
             std::u16string_view command, std::u16string extract);

    std::unique_ptr<CVornRegex> MatchExpression;
    std::u16string ImageUrl;
    std::u16string Referer;
    int Mode = MODE_PLAIN;
    std::u16string Extract;
    std::u16string Argument;
};

// The page fetch of the cookie and extract rules: GET url with referer; 0 with the body and
// the "Set-Cookie" value, or a result code.
using TavloImagePageFetch = std::function<int(const CVornString& url, const CVornString& referer,
                                              std::string* body, CVornString* cookie)>;

// The URL replacement table: the rules of ImageViewURLReplace.dat in file order and the
// built-in rule last.
class CTavloImageViewUrlReplace : public CVornObject {
public:
    // The program's table, loaded from beside the executable on first use.
    static CTavloImageViewUrlReplace& Instance();
    // Drops it (tests; the next Instance loads again).
    static void Reset();

    CTavloImageViewUrlReplace();
    // Replaces the rules by those of a file (Shift_JIS); a missing file leaves the built-in
    // rule alone. The number of rules read.
    int Load(const CVornString& path);
    int Parse(const std::string& text);
    int GetCount() const { return static_cast<int>(m_rows.size()); }

    // The index of the first rule whose expression finds the link, with the result filled as
    // the rule's mode says; -1 when none does or an extract rule failed.
    int Match(const CVornString& link, CTavloImageViewUrlReplaceMatch* result);
    // Position (UTF-16) of the next image link in text at or after from, -1 when none; its
    // text when asked.
    int FindImageLink(std::u16string_view text, size_t from, std::u16string* capture);
    // Every image link of a line, in order.
    std::vector<std::u16string> FindImageLinks(std::u16string_view text);

    void SetPageFetch(TavloImagePageFetch fetch) { m_fetch = std::move(fetch); }

    // "$" references of a template against the last match of rule (and extract, when given).
    static std::u16string Expand(std::u16string_view tmpl, CVornRegex& rule,
                                 std::u16string_view subject, CVornRegex* extract,
                                 std::u16string_view page);

private:
    void addBuiltin();

    std::vector<std::unique_ptr<CTavloImageViewUrlReplaceData>> m_rows;
    CVornRegex m_candidate;
    TavloImagePageFetch m_fetch;
};
