#pragma once

#include "tavlo_bbs.h"

// Machi boards on a current host: the offlaw.cgi/2 program answers log lines
// "number<>name<>mail<>date ID<>body<>title<>host" from post N ("N-"; the whole thread without
// it). They become five-field lines, with placeholders for skipped numbers so that line N of
// the log stays post N.
class CTavloBbsMachiOfflaw : public CTavloBbs {
public:
    using CTavloBbs::CTavloBbs;

    CVornString GetDatUrl() override;
    int PrepareRequest() override { return 0; }
    int CheckResponse() override { return 0; }
    int WriteFileConvert(CVornString& text) override;
    bool IsTarget() override;

private:
    int m_next = 1;
};
