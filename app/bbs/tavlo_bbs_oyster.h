#pragma once

#include "tavlo_bbs_kako.h"

// A thread that has left its board on a current host: the whole log under
// BOARD/oyster/<first four digits of the key>/KEY.dat on the same server (9- and 10-digit
// keys). Tried before the classic archive; the previous log waits aside until the new one is
// complete, as there.
class CTavloBbsOyster : public CTavloBbsKako {
public:
    using CTavloBbsKako::CTavloBbsKako;
    CVornString GetDatUrl() override;
    bool IsTarget() override;
};
