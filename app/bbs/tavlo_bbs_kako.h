#pragma once

#include "tavlo_bbs.h"
#include "tavlo_log_backup.h"

// A thread that has left its board, from the board's past-log archive in gzip form. The whole
// file is fetched; the previous log is kept aside until the new one has arrived complete.
class CTavloBbsKako : public CTavloBbs {
public:
    CTavloBbsKako(CTavloWindow* window, const CVornString& boardUrl, const CVornString& key);

    CVornString GetDatUrl() override;
    int PrepareRequest() override { return 0; }
    int CheckResponse() override;
    int Finalize(int result) override;

protected:
    // board URL + "kako/" + the key's directories + key + suffix.
    CVornString archiveUrl(const char* suffix) const;

    CTavloLogBackup m_backup;
};
