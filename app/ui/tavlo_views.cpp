#include "tavlo_views.h"

#include "tavlo_board_file.h"
#include "tavlo_errors.h"
#include "tavlo_message.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"

namespace {

// Row of id in a board list file, with its name and URL.
bool findIn(CTavloBoardFile& file, const CVornString& id, CVornString* name, CVornString* url) {
    if (file.Load() != 0)
        return false;
    int row = file.FindId(id);
    if (row < 0)
        return false;
    if (name)
        *name = CVornString(file.Get(row, CTavloBoardFile::COL_NAME));
    if (url)
        *url = CVornString(file.Get(row, CTavloBoardFile::COL_URL));
    return true;
}

} // namespace

bool TavloCommonViewKey(CTavloWindow* frame, int vk) {
    if (!frame || vk == 0)
        return false;
    if (TavloKeyIs(CTavloSettings::CMD_CANCEL, vk)) {
        frame->SendMessage(TAVLO_WM_CANCEL, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWBACK, vk)) {
        frame->SendMessage(TAVLO_WM_VIEWBACK, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWFORWARD, vk)) {
        frame->SendMessage(TAVLO_WM_VIEWFORWARD, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_CHANGEVIEW, vk)) {
        frame->SendMessage(TAVLO_WM_VIEWMENU, 0, 0);
        return true;
    }
    return false;
}

QString CTavloBoardViewBase::Title() const {
    return QString::fromUtf8(kTavloCaption);
}

bool CTavloBoardViewBase::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    return TavloCommonViewKey(m_frame, vk);
}

bool CTavloBoardViewBase::FindBoardId(const CVornString& id, CVornString* name,
                                      CVornString* boardUrl) {
    if (id.IsEmpty()) // category rows carry an empty id
        return false;
    CTavloBoardFileEtc etc;
    if (findIn(etc, id, name, boardUrl))
        return true;
    CTavloBoardFile menu;
    return findIn(menu, id, name, boardUrl);
}

CVornString CTavloBoardViewBase::FindBoardName(const CVornString& board) {
    CVornString name;
    if (!FindBoardId(board, &name, nullptr))
        name.Empty();
    return name;
}

bool CTavloSubjectViewBase::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    return TavloCommonViewKey(m_frame, vk);
}

void CTavloThreadViewBase::OnViewMessage(CTavloMessage* message, int cancelFlag) {
    TavloMarkCancelledLog(message, cancelFlag);
}

void TavloMarkCancelledLog(const CTavloMessage* message, int cancelFlag) {
    if (message && message->Type == CTavloMessage::TYPE_CLOSEFILE && cancelFlag == 1 &&
        !message->DatPath.IsEmpty() && CTavloPath::GetFileStatus(message->DatPath))
        CTavloPath::ResetFileTime(message->DatPath);
}

bool CTavloListViewBase::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    return TavloCommonViewKey(m_frame, vk);
}

QString CTavloImageViewBase::Title() const {
    return QString::fromUtf8("画像");
}

bool CTavloImageViewBase::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    return TavloCommonViewKey(m_frame, vk);
}
