#pragma once

#include "vorn_string.h"

#include <QStatusBar>

#include <cstdint>
#include <map>
#include <string>

class CTavloMessage;
class CTavloThreadViewBase;
class QLabel;

// The line at the window's foot in either layout: what the last transfer that ended brought,
// its HTTP status, the thread's post count, its new posts and the bytes received. The status
// panel above it still shows the progress while a transfer runs.
class CTavloStatusLine : public QStatusBar {
public:
    explicit CTavloStatusLine(QWidget* parent = nullptr);

    // Counts the posts a thread fetch appends (the frame hands over every view message).
    void OnViewMessage(const CTavloMessage* message);
    // Shows the last transfer again; thread, when given, counts the posts of a thread it shows.
    void Refresh(CTavloThreadViewBase* thread);
    // The segments as shown, separated by " | " (tests read it).
    QString Text() const;

    // "HTTP 206", the code's message without an answer, or empty.
    static QString StatusText(int status, int result);
    // 15360 as "15,360".
    static QString Grouped(int64_t value);

private:
    struct Fetch {
        CVornString BoardUrl;
        CVornString Key;
        int NewPosts = 0;
        uint64_t Order = 0; // when it opened
    };

    void showFilled();

    QLabel* m_status;
    QLabel* m_posts;
    QLabel* m_new;
    QLabel* m_bytes;
    // By log path: the fetches running and the last ones ended (a few kept).
    std::map<std::string, Fetch> m_fetches;
    uint64_t m_order = 0;
};
