#pragma once

#include "tavlo_anchor_index.h"
#include "tavlo_info_file.h"
#include "tavlo_post_converter.h"
#include "tavlo_post_index.h"
#include "tavlo_text_ctrl.h"
#include "vorn_regex.h"
#include "vorn_string.h"

#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class QKeyEvent;
class QMouseEvent;
class QWidget;
class CTavloDatCtrl;
class CTavloInlineImages;
class CTavloPopupSet;

// What a thread control asks of the view that hosts it.
class CTavloDatHost {
public:
    virtual ~CTavloDatHost() = default;
    // A link was followed: hand the URL to the main frame's URL handling.
    virtual void OpenUrl(const CVornString& url) = 0;
    // The extracted posts of a grep (their numbers, in thread order) are to be shown.
    virtual void ShowGrep(CTavloDatCtrl* ctrl, const std::vector<int>& numbers) = 0;
};

// The thread control: one per open thread (a tab of the thread view). It turns the thread's
// log into display text for its text control, keeps the post index, paints posts by their
// markers, appends what a fetch brings, and keeps the reader's position in the info file.
class CTavloDatCtrl {
public:
    explicit CTavloDatCtrl(QWidget* parent = nullptr);
    virtual ~CTavloDatCtrl();
    CTavloDatCtrl(const CTavloDatCtrl&) = delete;
    CTavloDatCtrl& operator=(const CTavloDatCtrl&) = delete;

    CTavloTextCtrl* GetTextCtrl() const { return m_text.data(); }

    // Identity: board URL (ending in "/") and key; derives the thread identity, the remote
    // log URL, the log path and the info path.
    void SetThread(const CVornString& boardUrl, const CVornString& key);
    const CVornString& GetBoardUrl() const { return m_boardUrl; }
    const CVornString& GetKey() const { return m_key; }
    const CVornString& GetThreadId() const { return m_threadId; }
    const CVornString& GetRemoteUrl() const { return m_remoteUrl; }
    const CVornString& GetLogPath() const { return m_logPath; }
    const CVornString& GetInfoPath() const { return m_info.Path; }
    // Thread title (Shift_JIS, cleaned), from field 5 of post 1.
    const CVornString& GetTitle() const { return m_title; }
    void SetTitle(const CVornString& title) { m_title = title; }
    CTavloInfoFile& GetInfo() { return m_info; }

    // Builds this thread's NG expression from the rules and compiles it (any old one goes).
    void PrepareNgExpression();
    // Sets the expression from its text (Shift_JIS); empty means none.
    void SetNgExpression(const CVornString& pattern);
    bool HasNgExpression() const { return m_ng != nullptr; }

    // Opens the thread from its log: 0, or -200 when the log cannot be read.
    int CreateFromFile();
    // Display text of log lines (UTF-16) appended to out; fills title, IDs and references.
    size_t Convert(std::u16string_view log, int firstNumber, int firstNew, std::u16string& out);
    // Rebuilds the post index from the display lines.
    // fromLine: the first display line that may have changed (0: all).
    void createIndex(int fromLine = 0);
    // Clears text, index, ID counts, referenced numbers and the inline-image cache.
    void Clear();

    int GetPostCount() const { return m_index.GetCount(); }
    // Number of post headers at or above line (0 above post 1).
    int GetPostNumber(int line) const { return m_index.PostOfLine(line); }
    int GetPostLine(int number) const { return m_index.GetLine(number); }
    int GetTopPost() const;
    const CTavloPostIndex& GetIndex() const { return m_index; }
    const CTavloPostConverter& GetConverter() const { return m_conv; }
    // Anchors, answers and IDs of the posts shown; grows with the posts a fetch appends.
    const CTavloAnchorIndex& GetAnchors() const { return m_anchors; }
    // The anchor popups over this thread (null for the controls that show no thread).
    CTavloPopupSet* GetPopups() const { return m_popups.get(); }
    // The thread whose index numbers the posts shown here (this one once a thread is set; a
    // popup's thread for a popup); without one no counts are drawn.
    void SetAnchorSource(const CTavloDatCtrl* source) { m_anchorSource = source; }
    // Header marker of a post (0 when there is no such post).
    char16_t GetHeaderMark(int number) const;
    // The last post, skipping aboned ones while they are hidden; 0 when none.
    int GetLastVisiblePost() const;

    // Scrolls so that post number's header is the top line; nothing beyond the last post.
    void JumpNumber(int number, bool record);
    std::vector<int>& GetJumpHistory() { return m_history; }
    // The furthest-read post, as a line of the current layout. It is held as a post so that
    // re-rendering and relayouts keep it.
    int GetFurthestReadLine() const;
    void SetFurthestReadLine(int line) { m_furthestPost = GetPostNumber(line); }
    int GetFurthestReadPost() const { return m_furthestPost; }
    // Raises the furthest-read post to the one at the top (what the reader has reached).
    void RaiseFurthestRead();
    // Date lines of posts up to the furthest-read one lose the new marker.
    void MarkRead();

    // What a fetch tells the open thread (view message types 0 to 3).
    void OnWriteFile(const CVornString& text);
    void OnOpenFile(int fresh);
    // The size the server gave for the rest of the log (first progress of a fetch): the text
    // is made room for at once instead of growing block by block.
    void OnFetchSize(int bytes);
    void OnCloseFile(int written);
    void OnReloadFile();
    // Saves the reading position; writes the info file only when something changed or force.
    // 1 when it wrote, 0 when there was nothing to write, -1 when the write failed.
    int Write(bool force);

    // Closing the tab: the board's article summary gets the post count (while the log
    // exists), then the position is saved.
    void SaveOnClose();

    // The link (link grammar) of the logical line that holds pos and covers it: kind
    // (TAVLO_LINK_URL or TAVLO_LINK_ANCHOR, 0 for none) with its text.
    int GetLinkAt(size_t pos, std::u16string* link);

    bool GetHideAboned() const { return m_hideAboned; }
    void SetHideAboned(bool on) { m_hideAboned = on; }
    // Saves the position, flips hide-aboned and renders the thread again from its log.
    void ToggleHideAboned();
    // Toggles wrapping, keeping the post at the top.
    void SetWrap(bool on);
    // Applies the article font, keeping the post at the top.
    void SetArticleFont(const QFont& font);
    // The article font of the settings.
    static QFont ArticleFont();
    static void ClearWidthCache() { CTavloTextCtrl::ClearWidthCache(); }

    bool IsUpdating() const { return m_updating; }
    void SetUpdating(bool on) { m_updating = on; }
    const CVornString& GetLinkTarget() const { return m_linkTarget; }
    void SetLinkTarget(const CVornString& url) { m_linkTarget = url; }

    // The thumbnails of the inline-image rows (made on first use).
    CTavloInlineImages* GetInlineImages();
    // The painter registered with the text control (public for the views that print).
    bool PaintRun(QPainter& p, const TavloTextRun& run);

    // Navigation (display lines of the text control; the index maps post numbers).
    void SetHost(CTavloDatHost* host) { m_host = host; }
    // Pops the jump history; false when it was empty.
    bool Back();
    void FirstPost();
    void LastPost();
    // Next post; false when nothing moved (the reader is at the very end).
    bool NextPost();
    bool PrevPost();
    // Selects the next (previous) link, from the selection or the visible page; pageOnly
    // stops at the page's edge. False when none was found.
    bool SelectLink(bool forward, bool pageOnly);
    // Opens link text (an anchor, a number-only name or a URL); false when it is none.
    bool OpenLinkText(std::u16string_view text);
    void JumpUrl(const CVornString& url);
    // The word under a text position, as a click takes it.
    std::u16string WordAt(size_t pos) const;
    // Acts on a click at a text position, by the marker of its line.
    void ClickAt(size_t pos);
    // Posts whose name / ID equals the top post's, and posts that refer to post n.
    std::vector<int> GrepByName();
    std::vector<int> GrepById();
    std::vector<int> GrepByRefer(int number);
    // Runs a grep and hands a non-empty result to the host.
    void Grep(int which);
    enum { GREP_ID, GREP_NAME, GREP_REFER };
    // Text of a post: its display lines without markers and image rows, CR LF after each line.
    std::u16string GetPostText(int number) const;
    // Name (header between "]" and the last "<") and ID (after "ID:") of a post.
    std::u16string GetPostName(int number) const;
    std::u16string GetPostId(int number) const;
    // "title\r\nhttp://host/test/read.cgi/board/key/N-\r\n" for the top post.
    std::u16string GetInformationText() const;
    void CopyInformation();
    void CopyMessage();
    // Saves the position, clears the view and opens the thread again from its log.
    void Reopen();
    // Shows a grep result as this control's text (the grep window's post control).
    void SetDisplayText(std::u16string display);
    // Display lines of posts (from header to the next header), markers kept.
    std::u16string GetPostDisplay(int number) const;

protected:
    // Key-down, before the text control: true when handled (the text control then leaves it).
    virtual bool OnKeyDown(QKeyEvent* e);
    // Mouse-button-up, after the text control.
    virtual void OnMouseUp(QMouseEvent* e);
    // An anchor or a number-only name was opened: go to that post of the thread, with history.
    virtual void OnAnchorJump(int number);
    // A row reserved for an inline image; true when painted (nothing by default).
    virtual bool PaintImageRow(QPainter& p, const TavloTextRun& run);
    // The inline-image cache is dropped with the text.
    virtual void ClearImageCache();

private:
    size_t logicalStart(int line);
    int keepTopPost();
    void restoreTopPost(int number);
    void openInto(TavloTextRoom&& room, size_t length);
    void paintCounts(QPainter& p, const TavloTextRun& run, char16_t first, size_t ls);

    QPointer<CTavloTextCtrl> m_text;
    CVornString m_boardUrl;
    CVornString m_key;
    CVornString m_threadId;
    CVornString m_remoteUrl;
    CVornString m_logPath;
    CVornString m_title;
    CTavloInfoFile m_info;
    CTavloPostConverter m_conv;
    TavloConvertedPosts m_converted; // of the posts converted last, until they are indexed
    bool m_sizeKnown = false;        // the fetch's size was taken (OnFetchSize)
    CTavloPostIndex m_index;
    CTavloAnchorIndex m_anchors;
    std::unique_ptr<CTavloPopupSet> m_popups;
    const CTavloDatCtrl* m_anchorSource = nullptr;
    std::unique_ptr<CVornRegex> m_ng;
    std::vector<int> m_history;
    bool m_hideAboned = true;
    bool m_updating = false;
    int m_furthestPost = 0;
    int m_topPost = 0; // kept across a relayout
    CVornString m_linkTarget;
    CTavloDatHost* m_host = nullptr;
    std::unique_ptr<CTavloInlineImages> m_images;
    QFont m_appliedFont;
    // Logical line start of the display line painted last.
    int m_cacheLine = -1;
    size_t m_cacheStart = 0;
};
