#include "tavlo_image_download.h"

#include "tavlo_errors.h"
#include "tavlo_image_fetch.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_log.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <signal.h>
#include <unistd.h>

namespace {

CTavloImageDownloader* g_current = nullptr;
std::atomic<unsigned> g_serial{0};
std::mutex g_sweptLock;
std::set<std::string> g_swept; // temporary directories already cleaned by this process

// The process id a temporary name starts with ("<pid>-<n>.part"); 0 when it is no such name.
long partOwner(const std::string& name) {
    if (name.size() < 6 || name.compare(name.size() - 5, 5, ".part") != 0)
        return 0;
    char* end = nullptr;
    const long pid = strtol(name.c_str(), &end, 10);
    return pid > 0 && end && *end == '-' ? pid : 0;
}

} // namespace

int CTavloImageDownloader::SweepTemp(const CVornString& tmpDir) {
    int removed = 0;
    const long self = static_cast<long>(getpid());
    for (const std::string& name : VornListDirectory(tmpDir.c_str())) {
        const long pid = partOwner(name);
        if (pid == 0)
            continue;
        // Another running program's download is still being received: leave it.
        if (pid != self && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            continue;
        const std::string path = std::string(tmpDir.c_str()) + "/" + name;
        if (unlink(path.c_str()) == 0)
            ++removed;
    }
    if (removed > 0)
        VLOG(1, "CTavloImageDownloader::SweepTemp", "%d stale part files in %s", removed,
             tmpDir.c_str());
    return removed;
}

CTavloImageDownloader* CTavloImageDownloader::Current() {
    return g_current;
}

void CTavloImageDownloader::SetCurrent(CTavloImageDownloader* downloader) {
    g_current = downloader;
}

CTavloImageDownloader::CTavloImageDownloader(CTavloWindow* window, TavloStopRequest stop)
    : m_window(window), m_stop(std::move(stop)) {}

CTavloImageDownloader::~CTavloImageDownloader() {
    if (g_current == this)
        g_current = nullptr;
    for (auto& t : m_threads)
        t->Wait(-1);
}

bool CTavloImageDownloader::IsDownloading(const CVornString& link) {
    CVornLock lock(m_lock);
    return m_downloading.count(link.c_str()) != 0;
}

int CTavloImageDownloader::Count() {
    CVornLock lock(m_lock);
    return static_cast<int>(m_downloading.size());
}

void CTavloImageDownloader::reap() {
    for (size_t i = 0; i < m_threads.size();) {
        if (!m_threads[i]->IsRunning()) {
            m_threads[i]->Wait(-1);
            m_threads.erase(m_threads.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

void CTavloImageDownloader::WaitAll(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Count() > 0 && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    reap();
}

int CTavloImageDownloader::Start(const CVornString& link, const CVornString& imageUrl,
                                 const CVornString& referer, const CVornString& cookie,
                                 QWidget* parent) {
    if (IsDownloading(link))
        return 0;
    const CVornString path = CTavloPath::GetImageCachePath(link);
    if (path.IsEmpty() || CTavloPath::GetFileStatus(path))
        return 0;
    if (CTavloSettings::Instance().Online != 1 &&
        TavloMessageBox(parent, "ファイルが存在しません。サーバから取得しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return 0;
    {
        CVornLock lock(m_lock);
        m_downloading[link.c_str()] = 1;
    }
    reap();
    auto thread = std::make_unique<CVornThread>();
    CTavloWindow* window = m_window;
    TavloStopRequest stop = m_stop;
    auto body = [this, window, stop, link, imageUrl, referer, cookie, path](CVornThread&) {
        if (window)
            window->SendMessage(TAVLO_WM_STATUSBAR, 0, 1);
        CVornString message;
        const int rc = Download(window, stop, imageUrl, referer, cookie, path, &message);
        {
            CVornLock lock(m_lock);
            m_downloading.erase(link.c_str());
        }
        CTavloImageDownloadResult done;
        done.Error = rc;
        done.Link = link;
        done.ImageUrl = imageUrl;
        done.Referer = referer;
        done.Cookie = cookie;
        done.Message = message;
        // A stopped download ends at once: the user asked for it.
        if (rc != -1 && m_done)
            m_done(done);
        if (window)
            window->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
        return rc;
    };
    if (!thread->Begin(body)) {
        TavloMessageBox(parent, "スレッドの起動に失敗しました", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        CVornLock lock(m_lock);
        m_downloading.erase(link.c_str());
        return 0;
    }
    m_threads.push_back(std::move(thread));
    return 1;
}

int CTavloImageDownloader::Download(CTavloWindow* window, const TavloStopRequest& stop,
                                    const CVornString& imageUrl, const CVornString& referer,
                                    const CVornString& cookie, const CVornString& path,
                                    CVornString* message) {
    CTavloHttpFetch fetch(window, stop);
    CTavloImageRequest request{imageUrl, referer, cookie};
    CTavloImageAnswer answer;
    int rc = TavloImageOpen(fetch, request, &answer);
    if (rc != 0) {
        if (message && rc == -101)
            *message = answer.StatusLine;
        return rc;
    }
    if (answer.ContentType.Left(5) != "image") {
        char buf[512];
        snprintf(buf, sizeof buf, "Content-Type: %s", answer.ContentType.Left(400).c_str());
        if (message)
            *message = buf;
        return -101;
    }
    // Received beside the cache and renamed into it whole: no reader, list or crash ever sees
    // a part of a picture under the cache's name.
    const CVornString root = CTavloPath::GetRoot();
    const CVornString tmpDir =
        root + (root.view().empty() || root.view().back() != '/' ? "/" : "") + ".img-tmp";
    char name[64];
    snprintf(name, sizeof name, "/%d-%u.part", static_cast<int>(getpid()), ++g_serial);
    const CVornString tmp = tmpDir + name;
    if (!CTavloPath::MakeDirectory(tmpDir) ||
        !CTavloPath::MakeDirectory(CTavloPath::GetDirectory(path))) {
        VLOG(0, "CTavloImageView::ThreadHttpGetProc", "CFile::Open error[%s][%s][%d]", path.c_str(),
             strerror(errno), errno);
        return -200;
    }
    {
        // A download killed with its program leaves its part behind; the first download of
        // this run cleans them (before any part of this run exists, so only stale ones go).
        std::lock_guard<std::mutex> lock(g_sweptLock);
        if (g_swept.insert(tmpDir.c_str()).second)
            SweepTemp(tmpDir);
    }
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) {
        VLOG(0, "CTavloImageView::ThreadHttpGetProc", "CFile::Open error[%s][%s][%d]", tmp.c_str(),
             strerror(errno), errno);
        return -200;
    }
    bool writeFailed = false;
    rc = fetch.Receive([&](const char* data, int len) {
        if (fwrite(data, 1, static_cast<size_t>(len), f) != static_cast<size_t>(len)) {
            writeFailed = true;
            return -203;
        }
        return 0;
    });
    if (fclose(f) != 0 && rc == 0)
        writeFailed = true;
    // A body that ends before its announced length is a broken transfer, not a picture.
    if (rc == 0 && answer.ContentLength >= 0 && fetch.GetReceived() < answer.ContentLength) {
        VLOG(1, "CTavloImageView::ThreadHttpGetProc", "short body %lld of %lld",
             static_cast<long long>(fetch.GetReceived()),
             static_cast<long long>(answer.ContentLength));
        rc = -102;
    }
    if (rc == 0 && writeFailed)
        rc = -203;
    if (rc != 0) {
        unlink(tmp.c_str());
        return rc == -203 ? -200 : rc;
    }
    if (!CTavloPath::RenameReplace(tmp, path)) {
        unlink(tmp.c_str());
        VLOG(0, "CTavloImageView::ThreadHttpGetProc", "CFile::Open error[%s][%s][%d]", path.c_str(),
             strerror(errno), errno);
        return -200;
    }
    return 0;
}
