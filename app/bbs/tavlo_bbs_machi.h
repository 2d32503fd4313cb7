#pragma once

#include "tavlo_bbs.h"

#include <string>
#include <string_view>

// Boards of the Machi service: the read program's HTML page, asked for from the first post not
// stored yet, is turned into log lines. Skipped numbers get placeholder lines so that line N of
// the log stays post N.
class CTavloBbsMachi : public CTavloBbs {
public:
    CTavloBbsMachi(CTavloWindow* window, const CVornString& boardUrl, const CVornString& key)
        : CTavloBbs(window, boardUrl, key) {
        m_maxLine = kMaxLine;
    }
    // A page line is one post at most; a longer one is not a page of this service.
    static constexpr size_t kMaxLine = 1u << 20;

    CVornString GetDatUrl() override;
    int PrepareRequest() override { return 0; }
    int CheckResponse() override { return 0; }
    int WriteFileConvert(CVornString& text) override;
    bool IsTarget() override;

    // Host (with its domain) and board name of a Machi board URL; false when it is none.
    static bool SplitBoardUrl(const CVornString& boardUrl, std::string* host, std::string* board);
    // Posts already stored: complete lines of the log.
    static int StoredPosts(const CVornString& datPath);

private:
    int convertLine(std::string_view line, std::string& out);
    void clearPost();

    // The post under construction; kept between runs, so a post split across two reads is
    // completed by the second.
    std::string m_title;
    int m_number = 0;
    std::string m_name;
    std::string m_date;
    std::string m_id;
    std::string m_mail;
    std::string m_body;
    int m_next = 1;
    bool m_haveName = false;
    bool m_haveBody = false;
};
