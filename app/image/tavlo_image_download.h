#pragma once

#include "tavlo_http_fetch.h"
#include "tavlo_window.h"
#include "vorn_string.h"
#include "vorn_thread.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;

// A finished download, as the worker hands it to the main window (message 40): the text is
// for the image view (empty on success and on plain failures), Url is the link (its cache
// path is the file).
struct CTavloImageDownloadResult {
    int Error = 0;
    CVornString Link;
    CVornString ImageUrl;
    CVornString Referer;
    CVornString Cookie;
    CVornString Message;
};

// The image downloads: one worker thread per image, the set of links being downloaded under
// its lock, results to the main window by sent messages. A file appears in the cache only
// whole: it is received into root/.img-tmp and renamed into place.
class CTavloImageDownloader {
public:
    CTavloImageDownloader(CTavloWindow* window, TavloStopRequest stop);
    // Waits for the workers (the frame has stopped the network by then).
    ~CTavloImageDownloader();
    CTavloImageDownloader(const CTavloImageDownloader&) = delete;
    CTavloImageDownloader& operator=(const CTavloImageDownloader&) = delete;

    // The downloader of the program's image view (the thumbnails' icon asks it); may be null.
    static CTavloImageDownloader* Current();
    // Called on the worker thread with each result (not for a stopped download); it tells
    // the main window (message 40) and returns once the window has handled it.
    void SetDone(std::function<void(const CTavloImageDownloadResult&)> done) {
        m_done = std::move(done);
    }
    static void SetCurrent(CTavloImageDownloader* downloader);

    // 0 when the link is being downloaded already, is cached, or the user declined (asked
    // while offline, owned by parent); 1 when its worker started.
    int Start(const CVornString& link, const CVornString& imageUrl, const CVornString& referer,
              const CVornString& cookie, QWidget* parent);
    bool IsDownloading(const CVornString& link);
    int Count();
    // Waits until every worker has ended, serving the window meanwhile (bounded).
    void WaitAll(int timeoutMs);

    // The worker's body, callable on any thread: result code and message.
    static int Download(CTavloWindow* window, const TavloStopRequest& stop,
                        const CVornString& imageUrl, const CVornString& referer,
                        const CVornString& cookie, const CVornString& path, CVornString* message);

    // Removes the parts in tmpDir that no running download can own: those of this process
    // and of processes that are gone (a program killed mid-download). Their count.
    static int SweepTemp(const CVornString& tmpDir);

private:
    void reap();

    CTavloWindow* m_window;
    TavloStopRequest m_stop;
    CVornMutex m_lock;
    std::map<std::string, int> m_downloading; // guarded by m_lock
    std::vector<std::unique_ptr<CVornThread>> m_threads;
    std::function<void(const CTavloImageDownloadResult&)> m_done;
};
