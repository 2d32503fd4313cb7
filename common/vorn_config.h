#pragma once

#include "vorn_array.h"
#include "vorn_object.h"
#include "vorn_string.h"

#include <vector>

// The settings file: a plain INI text a person can edit, UTF-8 on disk, one section [tavlo]
// of "Key=Value" lines. Values are held as Shift_JIS in the program (flag 1 converts, flag 0
// passes the bytes through). Array entries are written "Key[0]=...", "Key[1]=..." in order.
//
// Escapes in values: "\\" is a backslash, "\n" a line feed, "\r" a carriage return; a
// backslash before anything else is kept as written. Writing escapes backslashes and line
// ends, so every value reads back as it was written.
//
// Lines the program does not know (other keys, other sections, comments starting with ';' or
// '#') survive every write. Every write replaces the file atomically.
// Without CreateCache every call reads (and writes) the file itself.
class CVornConfig : public CVornObject {
public:
    static int CreateCache(const char* file);
    static int DestroyCache(const char* file);

    static CVornString ReadString(const char* file, const char* key, int flag = 1);
    static int ReadInt(const char* file, const char* key, int def = 0);
    static int WriteString(const char* file, const char* key, const char* value, int flag = 1);
    static int WriteInt(const char* file, const char* key, int value);
    static int RemoveEntry(const char* file, const char* key);
    static int ExistEntry(const char* file, const char* key);

    static int ReadStringArray(const char* file, const char* key, CVornDataArray& out,
                               int flag = 1);
    static int WriteStringArray(const char* file, const char* key, const CVornDataArray& values,
                                int flag = 1);
    static int ReadIntArray(const char* file, const char* key, std::vector<int>& out);
    static int WriteIntArray(const char* file, const char* key, const std::vector<int>& values);

    // Escaping used on disk (exposed for tests).
    static std::string EscapeValue(std::string_view raw);
    static std::string UnescapeValue(std::string_view text);
};
