#pragma once

#include "vorn_string.h"

#include <cstdint>

// What the last transfer that ended brought: kept for the window's status line. Any thread
// may note one (fetch workers, the window thread); reading gives a copy.
struct CTavloTransferNote {
    CVornString Url;
    // The thread's log for a thread fetch, else empty.
    CVornString LogPath;
    int Status = 0;       // HTTP status, 0 when no answer came
    int64_t Received = 0; // body bytes
    int Result = 0;       // 0 or the fetch's result code
    uint64_t Serial = 0;  // counts the notes: 0 before the first
};

void TavloNoteTransfer(const CVornString& url, const CVornString& logPath, int status,
                       int64_t received, int result);
CTavloTransferNote TavloLastTransfer();
