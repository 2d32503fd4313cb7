#pragma once

#include "tavlo_bbs_kako.h"

// The past-log archive's uncompressed form, for boards whose archive holds no ".dat.gz".
class CTavloBbsKakoPlain : public CTavloBbsKako {
public:
    using CTavloBbsKako::CTavloBbsKako;
    CVornString GetDatUrl() override { return archiveUrl(".dat"); }
};
