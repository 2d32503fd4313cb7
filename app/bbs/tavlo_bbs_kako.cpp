#include "tavlo_bbs_kako.h"

#include "tavlo_dat_file.h"
#include "tavlo_message.h"
#include "vorn_log.h"

CTavloBbsKako::CTavloBbsKako(CTavloWindow* window, const CVornString& boardUrl,
                             const CVornString& key)
    : CTavloBbs(window, boardUrl, key), m_backup(m_datPath) {}

CVornString CTavloBbsKako::archiveUrl(const char* suffix) const {
    CVornString url;
    if (m_key.GetLength() == 9)
        url.Format("%skako/%s/%s%s", m_boardUrl.c_str(), m_key.Left(3).c_str(), m_key.c_str(),
                   suffix);
    else
        url.Format("%skako/%s/%s/%s%s", m_boardUrl.c_str(), m_key.Left(4).c_str(),
                   m_key.Left(5).c_str(), m_key.c_str(), suffix);
    return url;
}

CVornString CTavloBbsKako::GetDatUrl() {
    return archiveUrl(".dat.gz");
}

int CTavloBbsKako::CheckResponse() {
    // The archive is the whole log: it starts a new file, and the old one waits aside.
    m_backup.Keep();
    return 0;
}

int CTavloBbsKako::Finalize(int result) {
    if (!m_backup.IsHeld())
        return result;
    if (result == 0 && IsComplete() && CTavloDatFile::Count(m_datPath) > 0) {
        m_backup.Drop();
        return 0;
    }
    // Cut, refused or not a log: the previous complete log is worth more than a part.
    VLOG(1, "CTavloBbsKako::Finalize", "[%s] %d, previous log kept", m_datPath.c_str(), result);
    m_backup.Restore();
    send(new CTavloReloadFileMessage(m_key, m_boardUrl, m_datPath));
    if (result == 0)
        result = m_canceled ? -1 : -102;
    return result;
}
