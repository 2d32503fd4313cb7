// What the frame opens: list entries, boards, URLs (threads, boards, images, videos, the
// browser) and the direct input of the jump bar.
#include "tavlo_main_frame.h"

#include "tavlo_errors.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_list_item.h"
#include "tavlo_platform.h"
#include "tavlo_process.h"
#include "tavlo_settings.h"
#include "tavlo_url.h"
#include "tavlo_views.h"
#include "vorn_kcode.h"
#include "vorn_log.h"

#include <QComboBox>

#include <algorithm>
#include <climits>

namespace {

// ASCII and full-width digits only; the value saturates instead of overflowing (a number that
// large names no post anyway).
bool parsePostNumber(const CVornString& text, int* number) {
    std::u16string w = VornSjisToUtf16(text.view());
    if (w.empty())
        return false;
    long long value = 0;
    for (char16_t c : w) {
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'０' && c <= u'９')
            digit = c - u'０';
        else
            return false;
        value = std::min<long long>(value * 10 + digit, INT_MAX);
    }
    *number = static_cast<int>(value);
    return true;
}

} // namespace

void CMainFrame::openListItem(intptr_t lParam) {
    auto* item = reinterpret_cast<const CTavloListItem*>(lParam);
    if (!item || !m_views.thread)
        return;
    SwitchView(TAVLO_VIEW_THREAD);
    m_views.thread->OpenThread(item->GetTitle(), item->GetKey(), item->GetBoardUrl(),
                               item->GetBoardId(), -1);
    fillListPane();
}

void CMainFrame::openBoard(const CVornString& name, const CVornString& boardUrl,
                           const CVornString& board) {
    if (!m_views.subject)
        return;
    SwitchView(TAVLO_VIEW_SUBJECT);
    m_views.subject->OpenBoard(name, boardUrl, board);
    // The list sets the title once it has the board.
    QString title = m_views.subject->Title();
    if (!title.isEmpty() && m_shown == TAVLO_VIEW_SUBJECT)
        setWindowTitle(title);
}

void CMainFrame::openCurrentSubject() {
    if (m_shown != TAVLO_VIEW_THREAD || !m_views.thread || !m_views.subject)
        return;
    CVornString name, boardUrl, board;
    if (!m_views.thread->GetCurrentBoard(&name, &boardUrl, &board))
        return;
    m_views.subject->ClearNewMarks();
    if (name.IsEmpty() && m_views.board)
        name = m_views.board->FindBoardName(board);
    openBoard(name, boardUrl, board);
}

int CMainFrame::OpenUrl(const CVornString& url) {
    VLOG(1, "CMainFrame::OpenUrl", "%s", url.c_str());
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.UseImageView == 1 && m_views.image) {
        int r = m_views.image->OpenImageUrl(url);
        if (r >= 0)
            return r;
    }
    CTavloUrlTarget target = TavloClassifyUrl(url, s.UseYoutube);
    switch (target.kind) {
    case CTavloUrlTarget::KIND_THREAD: {
        if (!m_views.thread)
            return 0;
        SwitchView(TAVLO_VIEW_THREAD);
        const int r = m_views.thread->OpenThread(target.title, target.key, target.boardUrl,
                                                 target.board, target.number);
        fillListPane();
        return r;
    }
    case CTavloUrlTarget::KIND_BOARD: {
        CVornString name;
        if (m_views.board)
            name = m_views.board->FindBoardName(target.board);
        openBoard(name, target.boardUrl, target.board);
        return 1;
    }
    case CTavloUrlTarget::KIND_VIDEO:
        if (s.YoutubeBrowser.IsEmpty()) {
            ShowErrorCode(-300);
            return 1;
        }
        if (!TavloStartProcess(s.YoutubeBrowser.c_str(), ("youtube://" + target.videoId).c_str()))
            TavloMessageBox(this, "Youtubeブラウザの起動に失敗しました", kTavloCaption,
                            TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 1;
    default:
        break;
    }
    if (s.Browser.IsEmpty()) {
        ShowErrorCode(-300);
        return 0;
    }
    CVornString complete = target.url.IsEmpty() ? TavloCompleteUrl(url) : target.url;
    if (!TavloStartProcess(s.Browser.c_str(), complete.c_str()))
        TavloMessageBox(this, "ブラウザの起動に失敗しました", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return 1;
}

void CMainFrame::OnJump(const CVornString& text) {
    CTavloSettings& s = CTavloSettings::Instance();
    VLOG(1, "CMainFrame::OnJump", "%s", text.c_str());
    if (text.Find("://") >= 0) {
        ShowBar(BAR_JUMP, false);
        OpenUrl(text);
        s.AddHistory(CTavloSettings::HISTORY_JUMP, text);
        m_jump->ReloadList();
        return;
    }
    CVornString name, boardUrl;
    if (m_views.board && m_views.board->FindBoardId(text, &name, &boardUrl)) {
        ShowBar(BAR_JUMP, false);
        openBoard(name, boardUrl, text);
        s.AddHistory(CTavloSettings::HISTORY_JUMP, text);
        m_jump->ReloadList();
        return;
    }
    int number = 0;
    if (parsePostNumber(text, &number) && NewestView() == TAVLO_VIEW_THREAD && m_views.thread) {
        ShowBar(BAR_JUMP, false);
        m_views.thread->JumpNumber(number);
        return;
    }
    TavloMessageBox(this, "直接入力にはURL/板ID/レス番号のみ入力可能です", kTavloCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    if (IsBarShown(BAR_JUMP))
        m_jump->GetCombo()->setFocus();
}

void CMainFrame::ShowErrorCode(int code, const CVornString* text) {
    const bool hasText = text && !text->IsEmpty();
    // A transfer the user stopped has nothing to report.
    if (code == -1 && !hasText)
        return;
    QByteArray message =
        hasText ? TavloQString(*text).toUtf8() : QByteArray(TavloErrorMessage(code));
    VLOG(0, "CMainFrame::ShowErrorCode", "%d %s", code, message.constData());
    TavloMessageBox(this, message.constData(), kTavloErrorCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONERROR);
}

void CMainFrame::searchNextThread() {
    if (!m_views.subject)
        return;
    if (m_shown == TAVLO_VIEW_THREAD && m_views.thread) {
        // The thread's board first, so that its list is the one searched.
        CVornString name, boardUrl, board;
        if (!m_views.thread->GetCurrentBoard(&name, &boardUrl, &board))
            return;
        const CVornString title = m_views.thread->GetCurrentTitle();
        openCurrentSubject();
        if (m_shown == TAVLO_VIEW_SUBJECT && m_views.subject)
            m_views.subject->SearchNextThread(title, boardUrl);
    } else if (m_shown == TAVLO_VIEW_SUBJECT) {
        m_views.subject->SearchNextThreadOfSelection();
    }
}
