#pragma once

#include "vorn_string.h"

#include <cstdint>

// Path operations of the log store. Every store file is found from the root (the RootDirectory
// setting) and a board URL; a URL that could name a place outside the root gives an empty path.
class CTavloPath {
public:
    // The RootDirectory setting.
    static CVornString GetRoot();

    // Root + "/" + everything after "://" with one trailing "/" removed. Empty when the URL has
    // no "://", or when an element of it is empty, "." or "..", or it holds a NUL.
    static CVornString GetBoardDirectory(const CVornString& url);
    static CVornString GetBoardDirectory(const CVornString& url, const CVornString& root);
    // Board directory + "/" + key + ".dat"; empty when the key is not a safe file name.
    static CVornString GetLogPath(const CVornString& boardUrl, const CVornString& key);
    // Board directory + "/info/" + key.
    static CVornString GetInfoPath(const CVornString& boardUrl, const CVornString& key);
    // Root + "/.img/" + the URL-encoded remainder of the URL + its extension.
    static CVornString GetImageCachePath(const CVornString& url);
    static CVornString GetImageCachePath(const CVornString& url, const CVornString& root);
    // A thread key usable as a file name: not empty, no "/" or NUL, not "." or "..".
    static bool IsSafeKey(const CVornString& key);

    // Text before the last "/", empty when there is none.
    static CVornString GetDirectory(const CVornString& path);
    // Creates the directory and every missing parent; an existing directory succeeds.
    static int MakeDirectory(const CVornString& path);
    // 1 when the path exists; size and last-write time (seconds since 1970) when asked.
    static int GetFileStatus(const CVornString& path, int64_t* size = nullptr,
                             int64_t* time = nullptr);
    // Last-write time in nanoseconds, -1 when missing (finer than a second, so two writes in
    // one second are told apart).
    static int64_t GetFileTimeNs(const CVornString& path);
    // Deletes "to" (a failure is ignored), then moves "from" to "to".
    static int RenameReplace(const CVornString& from, const CVornString& to);
    // Copies every file and directory of "from" into "to" (made with its parents).
    static int CopyTree(const CVornString& from, const CVornString& to);
    // Removes every file and subdirectory, stopping at the first failure, then the directory.
    static int RemoveTree(const CVornString& path);
    static int DeleteFile(const CVornString& path);
    // Sets the last-write time to 1970-01-01 00:00:00 UTC.
    static int ResetFileTime(const CVornString& path);
};
