#include "tavlo_app.h"

#include "tavlo_board_view.h"
#include "tavlo_bookmark_board_view.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_view.h"
#include "tavlo_cache_image_view.h"
#include "tavlo_cache_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_errors.h"
#include "tavlo_image_view.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_subject_view.h"
#include "tavlo_tab_view.h"
#include "tavlo_window_placement.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_winsock.h"

#include <QCoreApplication>
#include <QPointer>

#include <clocale>
#include <filesystem>
#include <unistd.h>

namespace {

std::string executableDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return QCoreApplication::applicationDirPath().toStdString();
    return exe.parent_path().string();
}

} // namespace

CTavloApp::CTavloApp() = default;

CTavloApp::~CTavloApp() {
    ExitInstance();
}

std::string CTavloApp::LogDirectory(const std::string& exeDir, const std::string& profilePath) {
    if (!exeDir.empty() && access(exeDir.c_str(), W_OK) == 0)
        return exeDir;
    std::filesystem::path dir = std::filesystem::path(profilePath).parent_path();
    return dir.empty() ? std::string(".") : dir.string();
}

int CTavloApp::PrepareRoot(const CVornString& root) {
    const int slash = root.FindR('/');
    if (slash < 0) {
        TavloMessageBox(nullptr, "ルートディレクトリが不正です\ntavloを終了します", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 0;
    }
    CVornString parent = slash == 0 ? CVornString("/") : root.Left(slash);
    std::error_code ec;
    if (!std::filesystem::is_directory(parent.str(), ec)) {
        if (TavloMessageBox(nullptr, "ルートディレクトリを作成しますか？", kTavloCaption,
                            TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES) {
            TavloMessageBox(nullptr, "tavloを終了します", kTavloCaption,
                            TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
            return 0;
        }
    }
    if (!CTavloPath::MakeDirectory(root) || !std::filesystem::is_directory(root.str(), ec)) {
        TavloMessageBox(nullptr, "ルートディレクトリの作成に失敗しました", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 0;
    }
    return 1;
}

void CTavloApp::ApplyLogging() {
    const CTavloSettings& s = CTavloSettings::Instance();
    if (s.Debug == 1) {
        SetLogdir(LogDirectory(executableDirectory(), s.FilePath.str()).c_str());
        SetModule("tavlo");
        SetLoglevel("2");
    } else {
        SetLogdir("");
        SetModule("");
        SetLoglevel("");
    }
}

int CTavloApp::LockStore(CTavloStoreLock& lock, const CVornString& root) {
    int holder = 0;
    const int r = lock.Acquire(root, &holder);
    if (r == 1)
        return 1;
    // Without a lock file (a read-only store) there is nobody to share with.
    if (r < 0)
        return 1;
    std::string text = "ログの保存先は他のtavlo";
    if (holder > 0)
        text += "(pid " + std::to_string(holder) + ")";
    text += "が使用中です\ntavloを終了します";
    TavloMessageBox(nullptr, text.c_str(), kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return 0;
}

int CTavloApp::InitInstance(int argc, char** argv) {
    setlocale(LC_ALL, "");
    if (!CVornWinSock::InitSocket(2, 2)) {
        TavloMessageBox(nullptr, "Windows ソケットの初期化に失敗しました。", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 0;
    }
    // The settings file: there is no "program path without an extension" case here.
    CTavloSettings::SetProfilePath(TavloResolveProfilePath(argc, argv).c_str());
    CTavloSettings& s = CTavloSettings::Instance();

    ApplyLogging();
    VLOG(1, "CTavloApp::InitInstance", "settings %s, root %s", s.FilePath.c_str(),
         s.RootDirectory.c_str());

    if (!PrepareRoot(s.RootDirectory))
        return 0;
    if (!LockStore(m_storeLock, s.RootDirectory))
        return 0;

    m_frame = std::make_unique<CMainFrame>();
    CTavloWindowPlacement::Restore(m_frame.get());
    m_frame->show();
    new CTavloWindowPlacement(m_frame.get());
    createViews();
    // Closed while the board view fetched the menu at start-up.
    if (m_frame->IsShuttingDown())
        return 0;

    m_frame->ApplyMenuNumber();
    CTavloBookmarkFile::Instance().Load(CTavloBookmarkFile::GetDefaultPath());

    // Before the first view is shown: the single view is never laid out for nothing.
    if (s.DesktopLayout == 1)
        m_frame->SetDesktopLayout(true);
    if (s.BookmarkWhenStarting == 1) {
        m_frame->SwitchView(TAVLO_VIEW_BOOKMARK);
    } else {
        m_frame->ShowView(TAVLO_VIEW_BOARD);
        m_frame->setWindowTitle(QString::fromUtf8(kTavloCaption));
    }

    return 1;
}

void CTavloApp::createViews() {
    CMainFrame* f = m_frame.get();
    QWidget* client = f->GetClient();
    CTavloFrameViews v;
    // In the order of creation; each view not built yet is its stand-in.
    auto* board = new CTavloBoardView(f, client);
    v.board = board;
    auto* subject = new CTavloSubjectView(f, client);
    v.subject = subject;
    v.thread = new CTavloDatViewHost(f, client);
    v.cache = new CTavloTabView(TAVLO_VIEW_CACHE, QString::fromUtf8("キャッシュ"), f, client);
    v.imageList = new CTavloCacheImageView(f, v.cache);
    v.cacheList = new CTavloCacheView(f, v.cache);
    v.bookmark =
        new CTavloTabView(TAVLO_VIEW_BOOKMARK, QString::fromUtf8("ブックマーク"), f, client);
    auto* bookmarks = new CTavloBookmarkView(f, v.bookmark);
    bookmarks->SetStopRequest(f->GetStopRequest());
    v.bookmarkList = bookmarks;
    v.boardList = new CTavloBookmarkBoardView(f, v.bookmark);
    auto* image = new CTavloImageView(f, client);
    image->SetStopRequest(f->GetStopRequest());
    v.image = image;

    v.cache->AddTab(v.cacheList, VornUtf8ToSjis("スレッド"));
    v.cache->AddTab(v.imageList, VornUtf8ToSjis("画像"));
    v.bookmark->AddTab(v.bookmarkList, VornUtf8ToSjis("スレッド"));
    v.bookmark->AddTab(v.boardList, VornUtf8ToSjis("その他"));
    f->SetViews(v);

    // The initial updates of the board tree and the thread list, once the frame holds them:
    // the board tree may ask for the menu and fetch it, which the frame's cancel can stop and
    // during which the window may be closed.
    QPointer<CTavloSubjectView> list(subject);
    board->OnInitialUpdate();
    if (list)
        list->OnInitialUpdate();
}

void CTavloApp::ExitInstance() {
    if (m_frame) {
        m_frame->Shutdown();
        m_frame.reset();
    }
    m_storeLock.Release();
}
