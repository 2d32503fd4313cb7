#include "tavlo_headless.h"

#include "tavlo_app.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_updater.h"
#include "tavlo_dat_file.h"
#include "tavlo_errors.h"
#include "tavlo_info_file.h"
#include "tavlo_log_record.h"
#include "tavlo_message.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "tavlo_store_lock.h"
#include "tavlo_subject_file.h"
#include "tavlo_url.h"
#include "tavlo_views.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_winsock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};

QString u8(const CVornString& sjis) {
    return QString::fromStdString(VornSjisToUtf8(sjis.view()));
}

// The text of a result: the kind's own text when it left one, else the code's message.
std::string errorText(int code, const CVornString& kindText) {
    if (!kindText.IsEmpty())
        return VornSjisToUtf8(kindText.view());
    const char* m = TavloErrorMessage(code);
    if (m && *m)
        return m;
    if (code == -1)
        return "stopped";
    return "error " + std::to_string(code);
}

// Stands in for the main window: keeps the store's bookkeeping of the view messages exactly as
// the window program does for a thread no tab shows, and reports progress. Workers of the
// bookmark check send from several threads at once.
class CTavloHeadlessWindow : public CTavloWindow {
public:
    explicit CTavloHeadlessWindow(bool progress) : m_progress(progress) {}

    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard<std::mutex> lock(m_lock);
        switch (message) {
        case TAVLO_WM_VIEWMESSAGE: {
            std::unique_ptr<CTavloMessage> m(reinterpret_cast<CTavloMessage*>(lParam));
            if (!m)
                return 0;
            TavloMarkCancelledLog(m.get(), g_stop.load() ? 1 : 0);
            TavloRecordUnshownLog(*m);
            if (m->Type == CTavloMessage::TYPE_READURL && m_progress && !m_bookmarks) {
                auto* r = static_cast<CTavloReadUrlMessage*>(m.get());
                if (r->Total > 0)
                    fprintf(stderr, "\r%d/%d bytes", r->Received, r->Total);
                else
                    fprintf(stderr, "\r%d bytes", r->Received);
                m_dirty = true;
            }
            return 0;
        }
        case TAVLO_WM_PROGRESS:
            if (m_progress && !m_bookmarks) {
                fprintf(stderr, "\r%d bytes", static_cast<int>(wParam));
                m_dirty = true;
            }
            return 0;
        case TAVLO_WM_OPENURL:
        case TAVLO_WM_READTOEND:
            delete reinterpret_cast<CVornString*>(lParam);
            return 0;
        default:
            return 0;
        }
    }
    void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        SendMessage(message, wParam, lParam);
    }

    // Bookmark progress: done of total checks.
    void Checked(int done, int total) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_progress)
            return;
        fprintf(stderr, "\r%d/%d", done, total);
        m_dirty = true;
    }
    void SetBookmarks(bool on) { m_bookmarks = on; }
    // Ends a progress line before anything else goes to stderr.
    void EndProgress() {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_dirty)
            fputs("\r\033[K", stderr);
        m_dirty = false;
    }

private:
    std::mutex m_lock;
    bool m_progress;
    bool m_bookmarks = false;
    bool m_dirty = false;
};

// SIGINT and SIGTERM stop the network work as the cancel command does: every socket is shut,
// so the fetches end and a cut log is marked out of date. A thread of its own waits for them.
class CTavloSignalWatch {
public:
    CTavloSignalWatch() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGINT);
        sigaddset(&m_set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_thread = std::thread([this] {
            timespec step{0, 100 * 1000 * 1000};
            while (!m_done) {
                if (sigtimedwait(&m_set, nullptr, &step) > 0) {
                    g_stop = true;
                    CVornWinSock::CleanupSocket();
                    CVornWinSock::InitSocket(2, 2);
                }
            }
        });
    }
    ~CTavloSignalWatch() {
        m_done = true;
        m_thread.join();
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_set, m_old;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

void printJson(const QJsonObject& o) {
    fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
}

// One line of the text output: new, total, URL, title[, error].
void printLine(int fresh, int total, const std::string& url, const QString& title,
               const std::string& error) {
    std::string line = std::to_string(fresh) + "\t" + std::to_string(total) + "\t" + url + "\t" +
                       title.simplified().toStdString();
    if (!error.empty())
        line += "\t" + error;
    puts(line.c_str());
}

// A fetch that ended early counts as success to the board layer (the complete lines stay), but
// it marks the log out of date by its time; a script must hear that the log is not whole.
int cutShort(int code, const CVornString& path) {
    int64_t size = 0, time = 0;
    if (code == 0 && CTavloPath::GetFileStatus(path, &size, &time) && time == 0)
        return -102;
    return code;
}

int unreadOf(const CVornString& boardUrl, const CVornString& key) {
    CTavloInfoFile info;
    if (!CTavloInfoFile::Create(boardUrl, key, info) || !info.New)
        return 0;
    return info.Count > info.Max ? info.Count - info.Max : 0;
}

// A board's address as the board lists hold it: "http://" host "/" one or two directories
// "/" (Machi and JBBS boards have two). Only the main services' boards are recognised by the
// open-URL rules, and a script may name any board.
bool boardOfUrl(const std::string& url, CTavloUrlTarget* t) {
    std::string rest;
    if (url.rfind("http://", 0) == 0)
        rest = url.substr(7);
    else if (url.rfind("https://", 0) == 0)
        rest = url.substr(8);
    else
        return false;
    if (rest.find_first_of("?#") != std::string::npos)
        return false;
    size_t slash = rest.find('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    std::string host = rest.substr(0, slash);
    std::vector<std::string> parts;
    for (size_t at = slash + 1; at < rest.size();) {
        size_t end = rest.find('/', at);
        if (end == std::string::npos)
            end = rest.size();
        if (end == at)
            return false;
        parts.push_back(rest.substr(at, end - at));
        at = end + 1;
    }
    if (parts.empty() || parts.size() > 2 || parts.back().find('.') != std::string::npos)
        return false;
    std::string board = "http://" + host + "/";
    for (auto& p : parts)
        board += p + "/";
    t->kind = CTavloUrlTarget::KIND_BOARD;
    t->boardUrl = board;
    t->board = parts.back();
    return true;
}

struct FetchResult {
    int code = 0;
    std::string error;
    QJsonObject json;
};

FetchResult fetchThread(const CTavloUrlTarget& t, const std::string& url,
                        CTavloHeadlessWindow& window, bool text) {
    FetchResult out;
    const CVornString path = CTavloPath::GetLogPath(t.boardUrl, t.key);
    if (path.IsEmpty()) {
        out.code = -200;
        out.error = errorText(-200, {});
        return out;
    }
    const int before = std::max(0, CTavloDatFile::Count(path));
    CVornString kindText;
    out.code =
        cutShort(CTavloBbsManager::Instance().Fetch(t.boardUrl, t.key, &window, kindText), path);
    window.EndProgress();
    const int after = std::max(0, CTavloDatFile::Count(path));
    CVornString title;
    CTavloDatFile::GetTitle(path, title);
    if (out.code != 0)
        out.error = errorText(out.code, kindText);
    const int added = std::max(0, after - before);
    out.json = QJsonObject{{"url", QString::fromStdString(url)},
                           {"kind", "thread"},
                           {"board_url", u8(t.boardUrl)},
                           {"key", u8(t.key)},
                           {"title", u8(title)},
                           {"posts", after},
                           {"added", added},
                           {"unread", unreadOf(t.boardUrl, t.key)},
                           {"log", u8(path)},
                           {"code", out.code},
                           {"error", QString::fromStdString(out.error)}};
    if (text && out.code == 0)
        printLine(added, after, url, u8(title), {});
    return out;
}

FetchResult fetchBoard(const CTavloUrlTarget& t, const std::string& url,
                       CTavloHeadlessWindow& window, bool text) {
    FetchResult out;
    const CVornString dir = CTavloPath::GetBoardDirectory(t.boardUrl);
    if (dir.IsEmpty()) {
        out.code = -200;
        out.error = errorText(-200, {});
        return out;
    }
    const CVornString local = dir + "/subject.txt";
    CTavloSubjectFile previous, fresh;
    if (CTavloPath::GetFileStatus(local))
        previous.CreateFromFile(local);
    out.code = fresh.CreateFromHttp(local, t.boardUrl + "subject.txt", &window,
                                    [] { return g_stop.load(); });
    window.EndProgress();
    if (out.code == -103) // not modified: the stored list stands
        out.code = fresh.CreateFromFile(local);
    int marked = 0, fresh_ = 0, updated = 0;
    if (out.code == 0) {
        marked = fresh.Mark(previous);
        for (CTavloSubjectItem* item : fresh) {
            fresh_ += item->IsNew() ? 1 : 0;
            updated += item->IsUpdated() ? 1 : 0;
        }
    } else {
        out.error = errorText(out.code, {});
    }
    const CVornString name = fresh.GetCount() > 0 ? fresh.Get(0)->GetBoardName() : CVornString();
    out.json = QJsonObject{{"url", QString::fromStdString(url)},
                           {"kind", "board"},
                           {"board_url", u8(t.boardUrl)},
                           {"title", u8(name)},
                           {"threads", out.code == 0 ? fresh.GetCount() : 0},
                           {"new", fresh_},
                           {"updated", updated},
                           {"list", u8(local)},
                           {"code", out.code},
                           {"error", QString::fromStdString(out.error)}};
    if (text && out.code == 0)
        printLine(marked, fresh.GetCount(), url, u8(name), {});
    return out;
}

// The address a reader opens a bookmarked thread at.
std::string readUrl(const CVornString& boardUrl, const CVornString& key) {
    const std::string url = boardUrl.str();
    const size_t host = url.find("://");
    const size_t path = host == std::string::npos ? host : url.find('/', host + 3);
    if (path == std::string::npos || url.back() != '/')
        return url + key.str();
    const std::string dirs = url.substr(path + 1, url.size() - path - 2);
    const std::string start = url.substr(0, path);
    // JBBS boards are a category and a number.
    if (dirs.find('/') != std::string::npos)
        return start + "/bbs/read.cgi/" + dirs + "/" + key.str() + "/";
    return start + "/test/read.cgi/" + dirs + "/" + key.str() + "/";
}

struct BookmarkResult {
    int code = 0;
    std::string error;
    bool checked = false;
};

int checkBookmarks(CTavloHeadlessWindow& window, bool json, QJsonArray* out) {
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    list.Load(CTavloBookmarkFile::GetDefaultPath());
    const int total = list.GetCount();
    std::vector<BookmarkResult> results(static_cast<size_t>(std::max(0, total)));
    std::atomic<int> done{0};
    int failed = 0;
    if (total > 0) {
        window.SetBookmarks(true);
        CTavloBookmarkUpdater updater(&window);
        updater.SetStopRequested([] { return g_stop.load(); });
        updater.SetChecked([&](CTavloBookmarkItem* entry, int position, int code,
                               const CVornString& kindText) {
            if (position >= 0 && position < total) {
                code =
                    cutShort(code, CTavloPath::GetLogPath(entry->GetBoardUrl(), entry->GetKey()));
                results[static_cast<size_t>(position)].code = code;
                results[static_cast<size_t>(position)].checked = true;
                if (code != 0)
                    results[static_cast<size_t>(position)].error = errorText(code, kindText);
            }
            window.Checked(++done, total);
        });
        if (!updater.Start(list)) {
            fputs("tavlo: the bookmark check could not start\n", stderr);
            return CTavloCommandLine::EXIT_FAILED;
        }
        updater.Wait();
        window.EndProgress();
    }
    for (int i = 0; i < total; ++i) {
        CTavloBookmarkItem* e = list.Get(i);
        BookmarkResult& r = results[static_cast<size_t>(i)];
        // A stop before the entry's turn leaves it unchecked.
        if (!r.checked) {
            r.code = -1;
            r.error = errorText(-1, {});
        }
        if (r.code != 0)
            ++failed;
        const std::string url = readUrl(e->GetBoardUrl(), e->GetKey());
        if (json) {
            out->append(QJsonObject{{"url", QString::fromStdString(url)},
                                    {"board_url", u8(e->GetBoardUrl())},
                                    {"key", u8(e->GetKey())},
                                    {"title", u8(e->GetTitle())},
                                    {"board", u8(e->GetBoardName())},
                                    {"posts", e->GetCount()},
                                    {"new", e->GetNewCount()},
                                    {"updated", e->IsUpdated() != 0},
                                    {"code", r.code},
                                    {"error", QString::fromStdString(r.error)}});
        } else {
            printLine(e->GetNewCount(), e->GetCount(), url, u8(e->GetTitle()), r.error);
        }
        if (r.code != 0)
            fprintf(stderr, "tavlo: %s: %s\n", url.c_str(), r.error.c_str());
    }
    return failed ? CTavloCommandLine::EXIT_FAILED : CTavloCommandLine::EXIT_OK;
}

// The root must exist for the lock; without anyone to ask, only a missing root below an
// existing directory is created.
bool prepareRoot(const CVornString& root) {
    const int slash = root.FindR('/');
    if (slash < 0) {
        fprintf(stderr, "tavlo: the root directory \"%s\" is not an absolute path\n", root.c_str());
        return false;
    }
    std::error_code ec;
    const std::string parent = slash == 0 ? std::string("/") : root.Left(slash).str();
    if (!std::filesystem::is_directory(parent, ec)) {
        fprintf(stderr, "tavlo: the directory above the root \"%s\" does not exist\n",
                root.c_str());
        return false;
    }
    if (!CTavloPath::MakeDirectory(root) || !std::filesystem::is_directory(root.str(), ec)) {
        fprintf(stderr, "tavlo: the root directory \"%s\" cannot be created\n", root.c_str());
        return false;
    }
    return true;
}

} // namespace

int TavloRunHeadless(const CTavloCommandLine& c) {
    setlocale(LC_ALL, "");
    g_stop = false;
    if (!CVornWinSock::InitSocket(2, 2)) {
        fputs("tavlo: the socket layer cannot be started\n", stderr);
        return CTavloCommandLine::EXIT_FAILED;
    }
    std::vector<std::string> args{"tavlo"};
    if (!c.Ini.empty())
        args.insert(args.end(), {"--ini", c.Ini});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CTavloSettings::SetProfilePath(
        TavloResolveProfilePath(static_cast<int>(args.size()), argv.data()).c_str());
    CTavloSettings& s = CTavloSettings::Instance();
    CTavloApp::ApplyLogging();

    if (!prepareRoot(s.RootDirectory))
        return CTavloCommandLine::EXIT_STORE;
    CTavloStoreLock lock;
    int holder = 0;
    int locked = lock.Acquire(s.RootDirectory, &holder);
    if (locked != 1) {
        if (locked == 0 && holder > 0)
            fprintf(stderr, "tavlo: the log store %s is in use by tavlo (pid %d)\n",
                    s.RootDirectory.c_str(), holder);
        else if (locked == 0)
            fprintf(stderr, "tavlo: the log store %s is in use by another tavlo\n",
                    s.RootDirectory.c_str());
        else
            fprintf(stderr, "tavlo: the lock file %s cannot be created\n",
                    CTavloStoreLock::GetPath(s.RootDirectory).c_str());
        return CTavloCommandLine::EXIT_STORE;
    }

    CTavloSignalWatch signalWatch;
    CTavloHeadlessWindow window(isatty(STDERR_FILENO) == 1);
    int exit = CTavloCommandLine::EXIT_OK;
    QJsonArray fetched, bookmarks;
    for (const std::string& url : c.Fetch) {
        if (g_stop)
            break;
        CTavloUrlTarget t = TavloClassifyUrl(CVornString(url), 0);
        if (t.kind != CTavloUrlTarget::KIND_THREAD)
            boardOfUrl(url, &t);
        FetchResult r;
        if (t.kind == CTavloUrlTarget::KIND_THREAD) {
            r = fetchThread(t, url, window, !c.Json);
        } else if (t.kind == CTavloUrlTarget::KIND_BOARD) {
            r = fetchBoard(t, url, window, !c.Json);
        } else {
            fprintf(stderr, "tavlo: %s is neither a thread nor a board\n", url.c_str());
            return CTavloCommandLine::EXIT_USAGE;
        }
        VLOG(1, "TavloRunHeadless", "fetch %s: %d", url.c_str(), r.code);
        if (r.code != 0) {
            fprintf(stderr, "tavlo: %s: %s\n", url.c_str(), r.error.c_str());
            exit = CTavloCommandLine::EXIT_FAILED;
        }
        fetched.append(r.json);
    }
    if (c.CheckBookmarks && !g_stop) {
        int r = checkBookmarks(window, c.Json, &bookmarks);
        if (r != CTavloCommandLine::EXIT_OK)
            exit = r;
    }
    if (c.Json) {
        QJsonObject o;
        if (!c.Fetch.empty())
            o["fetch"] = fetched;
        if (c.CheckBookmarks)
            o["bookmarks"] = bookmarks;
        printJson(o);
    }
    fflush(stdout);
    CTavloBookmarkFile::Destroy();
    if (g_stop)
        return CTavloCommandLine::EXIT_INTERRUPT;
    return exit;
}
