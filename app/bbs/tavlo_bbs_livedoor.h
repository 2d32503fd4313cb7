#pragma once

#include "tavlo_bbs.h"

#include <string>

// Boards of Livedoor JBBS: the rawmode program answers seven-field lines in EUC-JP from the
// first post not stored yet; they become five-field Shift_JIS lines with the ID after the
// date. Skipped numbers get placeholder lines.
class CTavloBbsLivedoor : public CTavloBbs {
public:
    using CTavloBbs::CTavloBbs;

    CVornString GetDatUrl() override;
    int PrepareRequest() override { return 0; }
    int CheckResponse() override;
    int WriteFileConvert(CVornString& text) override;
    bool IsTarget() override;

    // Host, category and board number of a JBBS board URL; false when it is none.
    static bool SplitBoardUrl(const CVornString& boardUrl, std::string* host, std::string* category,
                              std::string* board);
    // The "ERROR" answer header as a result code: 0 when empty, -501 ... -505.
    static int ErrorCode(const CVornString& value);

private:
    int m_next = 1;
};
