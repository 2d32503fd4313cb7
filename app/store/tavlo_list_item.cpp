#include "tavlo_list_item.h"

#include "tavlo_path.h"

#include <cstdlib>
#include <ctime>
#include <string>

void TavloCleanTitle(CVornString& text) {
    text.Replace("<br>", "\n");
    // Tags go from each "<" to the next ">"; a "<" without one ends the removal. Neither byte
    // is ever the trail byte of a double-byte character.
    const std::string& in = text.str();
    if (in.find('<') != std::string::npos) {
        std::string out;
        out.reserve(in.size());
        size_t pos = 0;
        while (pos < in.size()) {
            size_t lt = in.find('<', pos);
            if (lt == std::string::npos) {
                out.append(in, pos, std::string::npos);
                break;
            }
            size_t gt = in.find('>', lt + 1);
            if (gt == std::string::npos) {
                out.append(in, pos, std::string::npos);
                break;
            }
            out.append(in, pos, lt - pos);
            pos = gt + 1;
        }
        text = CVornString(std::move(out));
    }
    text.Replace("&gt;", ">");
    text.Replace("&lt;", "<");
    text.Replace("&amp;", "&");
    text.Replace("&quot;", "\"");
    text.Replace("&nbsp;", " ");
}

CTavloListItem::CTavloListItem(int index, const CVornString& title, const CVornString& key,
                               const CVornString& boardName, const CVornString& boardId,
                               const CVornString& boardUrl)
    : CTavloListItem(index, title, key, boardName, boardId, boardUrl, true) {}

CTavloListItem::CTavloListItem(int index, const CVornString& title, const CVornString& key,
                               const CVornString& boardName, const CVornString& boardId,
                               const CVornString& boardUrl, bool clean)
    : m_title(title), m_key(key), m_boardName(boardName), m_boardUrl(boardUrl), m_boardId(boardId),
      m_index(index) {
    if (clean) {
        TavloCleanTitle(m_title);
        TavloCleanTitle(m_boardName);
    }
    buildPaths();
}

void CTavloListItem::buildPaths() {
    m_threadUrl = m_boardUrl + m_key;
    m_logPath = m_key.IsEmpty() ? CVornString() : CTavloPath::GetLogPath(m_boardUrl, m_key);
}

void CTavloListItem::SetTitle(const CVornString& title) {
    m_title = title;
}

void CTavloListItem::SetBoardUrl(const CVornString& boardUrl) {
    m_boardUrl = boardUrl;
    buildPaths();
}

double CTavloListItem::GetSpeed() const {
    double speed = m_speed;
    if (speed >= 0.0)
        return speed;
    double age = static_cast<double>(time(nullptr)) -
                 static_cast<double>(std::strtoll(m_key.c_str(), nullptr, 10));
    if (age < 1.0)
        age = 1.0; // a key from the future or this very second
    speed = static_cast<double>(GetCount()) / age * 60 * 60 * 24;
    m_speed = speed;
    return speed;
}

int64_t TavloSearchRank(const CTavloListItem& item) {
    return int64_t{item.IsSearchHit()} * 100000000 - int64_t{item.GetIndex()} * 10000;
}
