#include "tavlo_bbs_manager.h"

#include "tavlo_bbs_dolib.h"
#include "tavlo_bbs_kako_plain.h"
#include "tavlo_bbs_livedoor.h"
#include "tavlo_bbs_machi.h"
#include "tavlo_bbs_machi_offlaw.h"
#include "tavlo_bbs_oyster.h"

#include "tavlo_dat_file.h"
#include "tavlo_message.h"
#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"

template <typename Kind> static CTavloBbsManager::Factory kind() {
    return [](CTavloWindow* w, const CVornString& url, const CVornString& key) {
        return std::unique_ptr<CTavloBbs>(new Kind(w, url, key));
    };
}

// The foreign services first (their URLs are unmistakable), then the 2ch family's live logs,
// then the places a thread goes when it has left its board.
CTavloBbsManager::CTavloBbsManager()
    : m_kinds{
          kind<CTavloBbsMachiOfflaw>(), kind<CTavloBbsMachi>(), kind<CTavloBbsLivedoor>(),
          kind<CTavloBbsSjis>(),        kind<CTavloBbs>(),      kind<CTavloBbsOyster>(),
          kind<CTavloBbsDoLib>(),       kind<CTavloBbsKako>(),  kind<CTavloBbsKakoPlain>(),
      } {}

CTavloBbsManager& CTavloBbsManager::Instance() {
    static CTavloBbsManager manager;
    return manager;
}

bool CTavloBbsManager::registerFetch(const CVornString& boardUrl, const CVornString& key) {
    CVornLock lock(*this);
    for (int row = m_running.Search(0, boardUrl.view()); row >= 0;
         row = m_running.Search(0, boardUrl.view(), row + 1))
        if (m_running.Get(row, 1) == key)
            return false;
    m_running.AddRow({boardUrl, key});
    return true;
}

void CTavloBbsManager::unregisterFetch(const CVornString& boardUrl, const CVornString& key) {
    CVornLock lock(*this);
    for (int row = 0; row < m_running.GetRowCount(); ++row)
        if (m_running.Get(row, 0) == boardUrl && m_running.Get(row, 1) == key) {
            m_running.RemoveRow(row);
            return;
        }
}

bool CTavloBbsManager::IsFetching(const CVornString& boardUrl, const CVornString& key) {
    CVornLock lock(*this);
    for (int row = 0; row < m_running.GetRowCount(); ++row)
        if (m_running.Get(row, 0) == boardUrl && m_running.Get(row, 1) == key)
            return true;
    return false;
}

int CTavloBbsManager::Fetch(const CVornString& boardUrl, const CVornString& key,
                            CTavloWindow* window, CVornString& errorText) {
    if (!registerFetch(boardUrl, key))
        return 0;
    int result = 0;
    for (const Factory& make : m_kinds) {
        std::unique_ptr<CTavloBbs> bbs = make(window, boardUrl, key);
        if (!bbs->IsTarget())
            continue;
        // A repair the end of the process cut short left the whole old log aside.
        CVornString aside = bbs->GetDatPath() + ".bak";
        if (VornFileExists(aside.c_str())) {
            VLOG(1, "CTavloBbsManager::Fetch", "old log back [%s]", aside.c_str());
            CTavloPath::RenameReplace(aside, bbs->GetDatPath());
        }
        result = bbs->Run();
        if (result == -104)
            continue; // left the board: the later kinds look in the archives
        if (result == -105) {
            // The local log no longer matches: fetch it whole, keeping the old one aside
            // until the new one has arrived complete.
            CVornString path = bbs->GetDatPath();
            CVornString bak = path + ".bak";
            VLOG(1, "CTavloBbsManager::Fetch", "repair [%s]", path.c_str());
            CTavloPath::RenameReplace(path, bak);
            result = bbs->Run();
            // A whole log without a single post is no repair: keep what we had.
            if (result == 0 && bbs->IsComplete() && CTavloDatFile::Count(path) < 1)
                result = -202;
            if (result == 0 && bbs->IsComplete()) {
                CTavloPath::DeleteFile(bak);
            } else {
                CTavloPath::RenameReplace(bak, path);
                TavloSendViewMessage(window, new CTavloReloadFileMessage(key, boardUrl, path));
                if (result == 0)
                    result = -102; // cut short: the old log is back, nothing was lost
                errorText = bbs->GetErrorText();
            }
        } else if (result == -1) {
            CTavloPath::ResetFileTime(bbs->GetDatPath());
        } else if (result != 0) {
            errorText = bbs->GetErrorText();
        }
        break;
    }
    unregisterFetch(boardUrl, key);
    return result;
}
