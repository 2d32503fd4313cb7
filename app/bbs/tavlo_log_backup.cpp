#include "tavlo_log_backup.h"

#include "tavlo_dat_file.h"
#include "tavlo_path.h"

int CTavloLogBackup::Keep() {
    if (m_held) {
        CTavloPath::DeleteFile(m_path);
        return 1;
    }
    int64_t size = 0;
    if (!CTavloDatFile::GetStatus(m_path, &size, nullptr) || size == 0)
        return 0;
    if (!CTavloPath::RenameReplace(m_path, m_bak))
        return 0;
    m_held = true;
    return 1;
}

int CTavloLogBackup::Restore() {
    if (!m_held)
        return 0;
    m_held = false;
    return CTavloPath::RenameReplace(m_bak, m_path) ? 1 : 0;
}

void CTavloLogBackup::Drop() {
    if (m_held)
        CTavloPath::DeleteFile(m_bak);
    m_held = false;
}
