#include "tavlo_transfer_note.h"

#include <mutex>

namespace {

std::mutex g_lock;
CTavloTransferNote g_last;

} // namespace

void TavloNoteTransfer(const CVornString& url, const CVornString& logPath, int status,
                       int64_t received, int result) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_last.Url = url;
    g_last.LogPath = logPath;
    g_last.Status = status;
    g_last.Received = received;
    g_last.Result = result;
    ++g_last.Serial;
}

CTavloTransferNote TavloLastTransfer() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_last;
}
