#include "tavlo_bbs_oyster.h"

#include "tavlo_live.h"

CVornString CTavloBbsOyster::GetDatUrl() {
    CVornString url;
    url.Format("%soyster/%s/%s.dat", m_boardUrl.c_str(), m_key.Left(4).c_str(), m_key.c_str());
    return url;
}

bool CTavloBbsOyster::IsTarget() {
    if (m_key.GetLength() != 9 && m_key.GetLength() != 10)
        return false;
    for (char c : m_key.view())
        if (c < '0' || c > '9')
            return false;
    return TavloLive::IsUrl(m_boardUrl.view()) && CTavloBbs::IsTarget();
}
