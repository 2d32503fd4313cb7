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
    // A field of the post under construction: a view into the text being converted, copied
    // only when the post is still open as that text goes (most posts end on their own line).
    struct Field {
        std::string_view view;
        std::string kept;
        void Set(std::string_view v) { view = v; }
        void SetOwn(std::string&& s) {
            kept = std::move(s);
            view = kept;
        }
        void Keep() {
            if (view.data() != kept.data()) {
                kept.assign(view);
                view = kept;
            }
        }
        void Clear() {
            view = {};
            kept.clear();
        }
    };

    int convertLine(std::string_view line, std::string& out);
    void clearPost();
    void keepPost();

    // The post under construction; kept between runs, so a post split across two reads is
    // completed by the second.
    std::string m_title;
    int m_number = 0;
    Field m_name;
    Field m_date;
    Field m_id; // without its brackets; m_haveId when the line had one
    Field m_mail;
    Field m_body;
    int m_next = 1;
    bool m_haveName = false;
    bool m_haveBody = false;
    bool m_haveId = false;
};
