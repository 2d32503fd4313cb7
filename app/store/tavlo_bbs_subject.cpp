#include "tavlo_bbs_subject.h"

#include "tavlo_domains.h"

#include <cstring>

// None of the delimiters searched for below (".", ",", "<", ">", "(", ")", "/", ":", blank)
// can be the trail byte of a Shift_JIS or EUC-JP character, so plain byte searches are safe.

void CTavloBbsSubject::clear() {
    m_key = m_title = m_count = m_boardName = m_boardUrl = nullptr;
    m_boardId.Empty();
}

int CTavloBbsSubject::Parse(char* line) {
    clear();
    char* dot = strchr(line, '.');
    if (!dot)
        return 0;
    char* gt = strchr(dot + 1, '>');
    if (!gt)
        return 0;
    char* title = gt + 1;
    // A "<" after the title starts the extended fields.
    char* lt = strchr(title, '<');
    char* open = nullptr;
    for (char* p = title; *p && p != lt; ++p)
        if (*p == '(')
            open = p;
    if (!open)
        return 0;
    char* close = strchr(open + 1, ')');
    if (!close || (lt && close > lt))
        return 0;
    char* titleEnd = open;
    if (titleEnd > title && titleEnd[-1] == ' ')
        --titleEnd;

    char* url = nullptr;
    char* name = nullptr;
    if (lt) {
        char* urlStart = strchr(lt, '>');
        if (!urlStart)
            return 0;
        url = urlStart + 1;
        char* urlEnd = strchr(url, '<');
        if (!urlEnd)
            return 0;
        char* nameStart = strchr(urlEnd + 1, '>');
        if (!nameStart)
            return 0;
        name = nameStart + 1;
        *urlEnd = '\0';
        // The board id: after "://" skip to the next "/", then up to the last "/".
        const char* scheme = strstr(url, "://");
        if (!scheme)
            return 0;
        const char* path = strchr(scheme + 3, '/');
        if (!path)
            return 0;
        const char* last = strrchr(path + 1, '/');
        if (!last)
            return 0;
        SetBoardId(CVornString(path + 1, static_cast<size_t>(last - path - 1)).c_str());
    }
    *dot = '\0';
    *titleEnd = '\0';
    *close = '\0';
    SetKey(line);
    SetTitle(title);
    SetCount(open + 1);
    if (lt) {
        SetBoardUrl(url);
        SetBoardName(name);
    }
    return 1;
}

int CTavloBbsSubjectMachi::Parse(char* line) {
    clear();
    char* dot = strchr(line, '.');
    if (!dot)
        return 0;
    char* comma = strchr(dot + 1, ',');
    if (!comma)
        return 0;
    char* title = comma + 1;
    char* open = strrchr(title, '(');
    if (!open)
        return 0;
    char* close = strrchr(open + 1, ')');
    if (!close)
        return 0;
    *dot = '\0';
    *open = '\0';
    *close = '\0';
    SetKey(line);
    SetTitle(title);
    SetCount(open + 1);
    return 1;
}

void CTavloBbsSubjectLivedoor::SetTitle(const char* title) {
    m_convertedTitle = title ? title : "";
    m_convertedTitle.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    m_title = m_convertedTitle.c_str();
}

namespace {

// The host of a URL: after "://" up to the next "/" (or the end).
std::string hostOf(const std::string& url) {
    size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    size_t start = scheme + 3;
    size_t end = url.find('/', start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace

bool CTavloBbsSubjectManager::IsMachi(const CVornString& url) {
    std::string host = hostOf(url.str());
    for (const std::string& domain : CTavloDomains::Get().machi) {
        if (domain.empty() || host.size() <= domain.size() + 1)
            continue;
        size_t label = host.size() - domain.size() - 1;
        // One label, a dot, the domain.
        if (host.compare(label, std::string::npos, "." + domain) == 0 && host.find('.') == label)
            return true;
    }
    return false;
}

bool CTavloBbsSubjectManager::IsLivedoor(const CVornString& url) {
    return CTavloDomains::ContainsAny(url.str(), CTavloDomains::Get().jbbs);
}

CTavloBbsSubjectManager::CTavloBbsSubjectManager(const CVornString& boardUrl) {
    if (IsMachi(boardUrl))
        m_parser = std::make_unique<CTavloBbsSubjectMachi>();
    else if (IsLivedoor(boardUrl))
        m_parser = std::make_unique<CTavloBbsSubjectLivedoor>();
    else
        m_parser = std::make_unique<CTavloBbsSubject>();
}
