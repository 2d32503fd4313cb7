#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <cstdint>
#include <string_view>
#include <vector>

// A thread's info record: the reader's position and new-post bookkeeping, kept in the board
// directory as info/<key>, one S-expression line in navi2ch's form.
class CTavloInfoFile : public CVornObject {
public:
    CVornString Path; // info path; set by Create even when the file is missing
    int32_t Number = 0;
    int32_t Count = 0;
    int32_t Max = 0;
    bool New = false;
    CVornString Name;
    bool HasName = false;
    CVornString Time;
    bool HasTime = false;
    CVornString Mail;
    bool HasMail = false;
    std::vector<int32_t> Hide;
    std::vector<int32_t> Important;

    // Reads the info file of (board URL, key) into info, after resetting it; false when the
    // file cannot be opened (info then holds the defaults and the path).
    static bool Create(const CVornString& boardUrl, const CVornString& key, CTavloInfoFile& info);
    // Writes info to its path (directories made as needed), replacing the old file whole.
    static bool Write(const CTavloInfoFile& info);
    // The count of a thread's info file; 0 when absent or unreadable.
    static int GetCount(const CVornString& boardUrl, const CVornString& key);

    // Reads the file at path; false when it cannot be opened or is unreasonably large.
    bool ReadFile(const CVornString& path);
    // Fills the fields from the file's text (the first line that is not a comment).
    void Parse(std::string_view text);
    // The one line the file holds, without a line end.
    CVornString Format() const;
    // Back to the initial values; the path stays.
    void Reset();

private:
    void apply(std::string_view key, const class CTavloSexp& entry);
    void parseByField(std::string_view line);
};
