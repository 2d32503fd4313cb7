// The frame's private messages: one handler per message number, found through a table.
#include "tavlo_main_frame.h"
#include "tavlo_status_line.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_errors.h"
#include "tavlo_find2ch_dialog.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_list_item.h"
#include "tavlo_menu.h"
#include "tavlo_message.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_search_dialog.h"
#include "tavlo_settings.h"
#include "tavlo_state_dump.h"
#include "tavlo_status_dialog.h"
#include "tavlo_views.h"

#include <QComboBox>
#include <QMetaObject>

#include <array>
#include <memory>

// The handlers reach the frame's private parts; each one returns the message's result.
struct CTavloFrameMessages {
    using Handler = intptr_t (*)(CMainFrame& f, uintptr_t wParam, intptr_t lParam);

    static intptr_t cancel(CMainFrame& f, uintptr_t, intptr_t) {
        f.OnCancel();
        return 0;
    }

    static intptr_t openBoard(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* board = reinterpret_cast<const CTavloBoardRef*>(lParam)) {
            f.clearCancelIfIdle();
            f.openBoard(board->Name, board->BoardUrl, board->Board);
        }
        return 0;
    }

    // Subject, bookmark and cache entries alike.
    static intptr_t openListItem(CMainFrame& f, uintptr_t, intptr_t lParam) {
        f.clearCancelIfIdle();
        f.openListItem(lParam);
        return 0;
    }

    static intptr_t viewBack(CMainFrame& f, uintptr_t, intptr_t) {
        f.ViewBack();
        return 0;
    }

    static intptr_t viewForward(CMainFrame& f, uintptr_t, intptr_t) {
        f.ViewForward();
        return 0;
    }

    static intptr_t openLink(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* url = reinterpret_cast<const CVornString*>(lParam)) {
            f.clearCancelIfIdle();
            return f.OpenUrl(*url);
        }
        return 0;
    }

    static intptr_t openUrl(CMainFrame& f, uintptr_t, intptr_t lParam) {
        // Posted: the URL is ours.
        std::unique_ptr<CVornString> url(reinterpret_cast<CVornString*>(lParam));
        if (!url)
            return 0;
        f.clearCancelIfIdle();
        return f.OpenUrl(*url);
    }

    static intptr_t showBookmarks(CMainFrame& f, uintptr_t, intptr_t) {
        f.clearCancelIfIdle();
        const CTavloFrameViews& v = f.m_views;
        if (v.bookmarkList)
            v.bookmarkList->ClearMarks();
        if (v.boardList)
            v.boardList->ClearMarks();
        f.SwitchView(TAVLO_VIEW_BOOKMARK);
        if (f.m_views.bookmarkList)
            f.m_views.bookmarkList->Reload();
        return 0;
    }

    static intptr_t addBookmark(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* item = reinterpret_cast<const CTavloListItem*>(lParam)) {
            CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
            if (bookmarks.Add(item->GetBoardUrl(), item->GetTitle(), item->GetKey(),
                              item->GetBoardName(), item->GetBoardId()) &&
                !bookmarks.Save())
                f.ShowErrorCode(-203);
            if (f.m_views.bookmarkList)
                f.m_views.bookmarkList->Reload();
        }
        return 0;
    }

    static intptr_t showCache(CMainFrame& f, uintptr_t, intptr_t) {
        const CTavloFrameViews& v = f.m_views;
        if (v.cacheList)
            v.cacheList->ClearMarks();
        if (v.imageList)
            v.imageList->ClearMarks();
        f.SwitchView(TAVLO_VIEW_CACHE);
        return 0;
    }

    static intptr_t statusBar(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (lParam) {
            f.m_cancel = 0;
            f.m_status->SetText(CVornString());
            f.m_status->SetProgress(0, 0);
        }
        f.ShowBar(CMainFrame::BAR_STATUS, lParam != 0);
        return 0;
    }

    static intptr_t searchBar(CMainFrame& f, uintptr_t, intptr_t lParam) {
        f.ShowBar(CMainFrame::BAR_SEARCH, lParam != 0);
        return 0;
    }

    static intptr_t find2chBar(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (lParam)
            f.m_find2ch->ReloadList();
        f.ShowBar(CMainFrame::BAR_FIND2CH, lParam != 0);
        return 0;
    }

    static intptr_t search(CMainFrame& f, uintptr_t wParam, intptr_t lParam) {
        if (auto* word = reinterpret_cast<const CVornString*>(lParam))
            f.onSearch(static_cast<int>(wParam), *word);
        return 0;
    }

    static intptr_t showFind2ch(CMainFrame& f, uintptr_t, intptr_t) {
        if (f.m_views.subject)
            f.m_views.subject->ShowFind2ch();
        f.SwitchView(TAVLO_VIEW_SUBJECT);
        return 0;
    }

    static intptr_t find2ch(CMainFrame& f, uintptr_t wParam, intptr_t lParam) {
        if (auto* words = reinterpret_cast<const CVornString*>(lParam)) {
            auto* url = reinterpret_cast<const CVornString*>(wParam);
            f.clearCancelIfIdle();
            f.onFind2ch(url ? *url : CVornString(), *words);
        }
        return 0;
    }

    static intptr_t actionMenu(CMainFrame& f, uintptr_t, intptr_t) {
        TavloApplyMenuNumber(f.m_actionMenu, CTavloSettings::Instance().MenuNumber);
        f.popupMenu(f.m_actionMenu);
        return 0;
    }

    static intptr_t viewMenu(CMainFrame& f, uintptr_t, intptr_t) {
        TavloApplyMenuNumber(f.m_viewMenu, CTavloSettings::Instance().MenuNumber);
        f.popupMenu(f.m_viewMenu);
        return 0;
    }

    static intptr_t refreshBookmark(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* path = reinterpret_cast<const CVornString*>(lParam))
            f.refreshThread(*path, false);
        else if (f.m_views.bookmarkList) // a bookmark was added: the whole list
            f.m_views.bookmarkList->Reload();
        return 0;
    }

    static intptr_t readToEnd(CMainFrame& f, uintptr_t, intptr_t lParam) {
        std::unique_ptr<CVornString> path(reinterpret_cast<CVornString*>(lParam));
        if (path)
            f.onReadToEnd(*path);
        return 0;
    }

    static intptr_t progress(CMainFrame& f, uintptr_t wParam, intptr_t lParam) {
        // The bookmark check reports progress after every start: one arriving just after a
        // cancel must not clear it, or the check would go on starting fetches.
        if (!(f.m_views.bookmarkList && f.m_views.bookmarkList->IsChecking()))
            f.m_cancel = 0;
        if (!f.IsBarShown(CMainFrame::BAR_STATUS))
            f.ShowBar(CMainFrame::BAR_STATUS, true);
        CVornString text;
        text.Format("%d/%d", static_cast<int>(wParam), static_cast<int>(lParam));
        f.m_status->SetText(text);
        f.m_status->SetProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    }

    // A thread was fetched, closed or deleted: the lists that show it.
    static intptr_t refreshThread(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* path = reinterpret_cast<const CVornString*>(lParam))
            f.refreshThread(*path, true);
        return 0;
    }

    static intptr_t jump(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (auto* text = reinterpret_cast<const CVornString*>(lParam)) {
            f.clearCancelIfIdle();
            f.OnJump(*text);
        }
        return 0;
    }

    static intptr_t jumpBar(CMainFrame& f, uintptr_t, intptr_t lParam) {
        if (lParam)
            f.m_jump->ReloadList();
        f.ShowBar(CMainFrame::BAR_JUMP, lParam != 0);
        return 0;
    }

    static intptr_t refreshImages(CMainFrame& f, uintptr_t, intptr_t lParam) {
        // lParam: the path of a cached image that was saved or deleted.
        if (f.m_views.imageList && lParam)
            f.m_views.imageList->RefreshLogPath(*reinterpret_cast<const CVornString*>(lParam));
        else if (f.m_views.imageList)
            f.m_views.imageList->Reload();
        return 0;
    }

    static intptr_t addBoard(CMainFrame& f, uintptr_t, intptr_t) {
        if (f.m_views.boardList)
            f.m_views.boardList->Reload();
        return 0;
    }

    static intptr_t imageDone(CMainFrame& f, uintptr_t, intptr_t lParam) {
        f.onImageDone(lParam);
        return 0;
    }

    static intptr_t showError(CMainFrame& f, uintptr_t wParam, intptr_t lParam) {
        const int code = static_cast<int>(static_cast<intptr_t>(wParam));
        // After a cancel, the failed connects and transfers of the stopped work are the
        // cancel's doing: nothing to report.
        if (f.m_cancel.load() && code >= -102 && code <= -100)
            return 0;
        f.ShowErrorCode(code, reinterpret_cast<const CVornString*>(lParam));
        return 0;
    }

    static intptr_t command(CMainFrame& f, uintptr_t wParam, intptr_t) {
        return f.runFrameCommand(static_cast<int>(wParam)) ? 1 : 0;
    }

    static intptr_t viewMessage(CMainFrame& f, uintptr_t, intptr_t lParam) {
        f.onViewMessage(lParam);
        return 0;
    }

    struct Entry {
        unsigned message;
        Handler handler;
    };
    static constexpr Entry kEntries[] = {
        {TAVLO_WM_CANCEL, cancel},
        {TAVLO_WM_OPENBOARD, openBoard},
        {TAVLO_WM_OPENSUBJECT, openListItem},
        {TAVLO_WM_OPENBOOKMARK, openListItem},
        {TAVLO_WM_OPENCACHE, openListItem},
        {TAVLO_WM_VIEWBACK, viewBack},
        {TAVLO_WM_VIEWFORWARD, viewForward},
        {TAVLO_WM_OPENLINK, openLink},
        {TAVLO_WM_OPENURL, openUrl},
        {TAVLO_WM_SHOWBOOKMARKS, showBookmarks},
        {TAVLO_WM_ADDBOOKMARK, addBookmark},
        {TAVLO_WM_SHOWCACHE, showCache},
        {TAVLO_WM_STATUSBAR, statusBar},
        {TAVLO_WM_SEARCHBAR, searchBar},
        {TAVLO_WM_FIND2CHBAR, find2chBar},
        {TAVLO_WM_SEARCH, search},
        {TAVLO_WM_SHOWFIND2CH, showFind2ch},
        {TAVLO_WM_FIND2CH, find2ch},
        {TAVLO_WM_ACTIONMENU, actionMenu},
        {TAVLO_WM_REFRESHBOOKMARK, refreshBookmark},
        {TAVLO_WM_READTOEND, readToEnd},
        {TAVLO_WM_PROGRESS, progress},
        {TAVLO_WM_REFRESHTHREAD, refreshThread},
        {TAVLO_WM_JUMP, jump},
        {TAVLO_WM_JUMPBAR, jumpBar},
        {TAVLO_WM_REFRESHIMAGES, refreshImages},
        {TAVLO_WM_ADDBOARD, addBoard},
        {TAVLO_WM_IMAGEDONE, imageDone},
        {TAVLO_WM_SHOWERROR, showError},
        {TAVLO_WM_LOGCLOSED, refreshThread},
        {TAVLO_WM_LOGDELETED, refreshThread},
        {TAVLO_WM_COMMAND, command},
        {TAVLO_WM_VIEWMENU, viewMenu},
        {TAVLO_WM_VIEWMESSAGE, viewMessage},
    };

    // Indexed by the offset from WM_APP; numbers without a handler are answered with 0.
    static constexpr unsigned kSlots = TAVLO_WM_VIEWMESSAGE - TAVLO_WM_APP + 1;
    static constexpr std::array<Handler, kSlots> makeTable() {
        std::array<Handler, kSlots> table{};
        for (const Entry& e : kEntries)
            table[e.message - TAVLO_WM_APP] = e.handler;
        return table;
    }

    static Handler find(unsigned message) {
        static constexpr std::array<Handler, kSlots> kTable = makeTable();
        if (message < TAVLO_WM_APP || message - TAVLO_WM_APP >= kSlots)
            return nullptr;
        return kTable[message - TAVLO_WM_APP];
    }
};

intptr_t CMainFrame::onMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (m_closing && message != TAVLO_WM_VIEWMESSAGE) {
        // Only the bookkeeping of view messages still matters; nothing is shown any more.
        dropMessage(message, lParam);
        return 0;
    }
    CTavloFrameMessages::Handler handler = CTavloFrameMessages::find(message);
    return handler ? handler(*this, wParam, lParam) : 0;
}

void CMainFrame::onViewMessage(intptr_t lParam) {
    std::unique_ptr<CTavloMessage> message(reinterpret_cast<CTavloMessage*>(lParam));
    if (!message)
        return;
    if (m_statusLine)
        m_statusLine->OnViewMessage(message.get());
    if (m_views.thread)
        m_views.thread->OnViewMessage(message.get(), m_cancel.load());
    else // without a thread view the cut-off log must still count as out of date
        TavloMarkCancelledLog(message.get(), m_cancel.load());
    if (m_closing)
        return;
    if (m_dumpState && message->Type == CTavloMessage::TYPE_CLOSEFILE)
        QMetaObject::invokeMethod(
            this, [this] { TavloDumpState(this); }, Qt::QueuedConnection);
    if (message->Type == CTavloMessage::TYPE_CLOSEFILE &&
        static_cast<CTavloCloseFileMessage*>(message.get())->Written > 0)
        refreshThread(message->DatPath, true);
}

void CMainFrame::refreshThread(const CVornString& logPath, bool cache) {
    if (logPath.IsEmpty())
        return;
    CTavloBookmarkFile::Instance().RefreshLogPath(logPath);
    if (m_views.bookmarkList)
        m_views.bookmarkList->RefreshLogPath(logPath);
    if (cache && m_views.cacheList)
        m_views.cacheList->RefreshLogPath(logPath);
}

void CMainFrame::onSearch(int direction, const CVornString& word) {
    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_SEARCHWORD, word);
    m_search->ReloadList();
    m_find2ch->ReloadList();
    const int newest = NewestView();
    CTavloMainView* view = GetView(newest);
    if (!view)
        return;
    view->Search(word, direction);
    // The board tree and the thread view keep the bar for the next hit; the lists show the
    // result.
    if (newest == TAVLO_VIEW_SUBJECT || newest == TAVLO_VIEW_BOOKMARK ||
        newest == TAVLO_VIEW_CACHE) {
        ShowBar(BAR_SEARCH, false);
        focusShownView();
    } else if (IsBarShown(BAR_SEARCH)) {
        m_search->GetCombo()->setFocus();
    }
}

void CMainFrame::onFind2ch(const CVornString& url, const CVornString& words) {
    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_SEARCHWORD, words);
    m_search->ReloadList();
    m_find2ch->ReloadList();
    if (!m_views.subject)
        return;
    SwitchView(TAVLO_VIEW_SUBJECT);
    ShowBar(BAR_FIND2CH, false);
    onMessage(TAVLO_WM_STATUSBAR, 0, 1);
    m_views.subject->Find2ch(url, words);
    if (!m_closing)
        ShowBar(BAR_STATUS, false);
}

void CMainFrame::onReadToEnd(const CVornString& logPath) {
    if (m_back.size() < 2 || m_back[m_back.size() - 2] != TAVLO_VIEW_BOOKMARK)
        return;
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    if (!bookmarks.FindLogPath(logPath))
        return;
    CTavloBookmarkItem* next = bookmarks.NextUpdated(logPath);
    if (!next || !m_views.thread)
        return;
    if (TavloMessageBox(this, "次の新着ブックマークを開きますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return;
    SwitchView(TAVLO_VIEW_THREAD);
    m_views.thread->OpenThread(next->GetTitle(), next->GetKey(), next->GetBoardUrl(),
                               next->GetBoardId(), -1);
    fillListPane();
}

void CMainFrame::onImageDone(intptr_t lParam) {
    auto* result = reinterpret_cast<const CTavloImageResult*>(lParam);
    if (!result)
        return;
    if (!result->Text.IsEmpty()) {
        if (m_views.image) {
            m_views.image->ShowText(result->Text);
            SwitchView(TAVLO_VIEW_IMAGE);
        }
    } else if (result->Error != 0) {
        ShowErrorCode(result->Error);
        return;
    }
    if (m_views.imageList)
        m_views.imageList->RefreshLogPath(CTavloPath::GetImageCachePath(result->Url));
    const CTavloSettings& s = CTavloSettings::Instance();
    if (s.ViewAfterDownload == 1) {
        if (NewestView() == TAVLO_VIEW_THREAD && m_views.image &&
            m_views.image->CanShow(result->Url)) {
            m_views.image->ShowImage(result->Url);
            SwitchView(TAVLO_VIEW_IMAGE);
        }
    } else if (m_views.thread) {
        m_views.thread->Refresh();
    }
}
