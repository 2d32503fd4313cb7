#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <cstdint>
#include <string_view>

// A stored thread log: key + ".dat" in the board directory, one post per LF-terminated line.
class CTavloDatFile : public CVornObject {
public:
    // Number of LF bytes (complete posts) in the log, or -1 when it cannot be opened.
    static int Count(const CVornString& path);
    // The title of a log: its first line after the last ">", trimmed. 1, or 0 when the file
    // cannot be opened, the first line has no ">" or is unreasonably long.
    static int GetTitle(const CVornString& path, CVornString& title);
    // A log exists when its attributes can be read.
    static bool Exists(const CVornString& path);
    // 1 with size and last-write time (seconds since 1970) when the log exists.
    static int GetStatus(const CVornString& path, int64_t* size, int64_t* time);
    // Whether the log of size bytes ends with a line end (a log cut inside a post does not);
    // false when it cannot be read.
    static bool EndsWithLine(const CVornString& path, int64_t size);
    // Appends the whole lines of data (up to its last LF) to the log, making the log and its
    // directory when missing. The bytes appended (0 when data holds no LF), or -1 when the log
    // could not be opened or written; a failed write is cut back so no part of a line stays.
    static int Append(const CVornString& path, std::string_view data);
    // Deletes the log and the info file of (board URL, key) and the key's row of the board's
    // article summary. A file already missing is no error; 0 when something stayed.
    static int Delete(const CVornString& boardUrl, const CVornString& key);
};
