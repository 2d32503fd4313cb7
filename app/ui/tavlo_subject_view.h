#pragma once

#include "tavlo_list_view.h"
#include "tavlo_subject_file.h"
#include "tavlo_views.h"
#include "vorn_string.h"

#include <memory>

// View 1: one board's thread list (or the title-search results) as a table. It marks what is
// new or updated since the list on disk, sorts by nine keys, and opens, bookmarks and reloads
// threads. Fetches run on the window thread; the busy flag drops a second request meanwhile.
class CTavloSubjectView : public CTavloSubjectViewBase, public CTavloListView {
public:
    // The columns of the list.
    enum { COLUMN_NO, COLUMN_COUNT, COLUMN_TITLE, COLUMN_SPEED, COLUMN_KEY, COLUMN_TOTAL };
    // The host of the title-search service; its results are the board "http://.tmp/HOST/".
    static const char kFind2chHost[];

    explicit CTavloSubjectView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloSubjectView() override;

    // Columns, font, and the sort key and direction of the settings (without sorting).
    void OnInitialUpdate();

    // Shows a board's list from disk: a missing list is fetched (with Online 0 after asking),
    // a stored one is shown and, with Online 1, reloaded at once. 1 or 0.
    int CreateFromFile(const CVornString& name, const CVornString& boardUrl,
                       const CVornString& board);
    // Downloads a board's list, marks it against the list on disk and shows it. 1 or 0 (1 also
    // when the request was dropped because a fetch runs).
    int Fetch(const CVornString& name, const CVornString& boardUrl, const CVornString& board);
    // Fetches the shown board again; 0 without a board and for the search list.
    int Reload();
    // Marks the entries whose title matches the pattern; with a hit, sorts them first and
    // selects the first row.
    void Highlight(const CVornString& pattern);
    // Asks, then hands the selected thread to the bookmarks (message 22).
    void AddBookmark();

    // CTavloListView
    void SortItems(int column, int ascending) override;
    void OpenSelectedItem() override;
    int SortIndicatorColumn() const override;
    int GetItemText(QString& text, int row, int column) override;
    CTavloListItem* GetItem(int row) override;

    // CTavloSubjectViewBase
    int OpenBoard(const CVornString& name, const CVornString& boardUrl,
                  const CVornString& board) override;
    bool HasBoard() const override { return !m_boardUrl.IsEmpty(); }
    int ShowBoardBeside(const CVornString& name, const CVornString& boardUrl,
                        const CVornString& board) override;
    void ClearNewMarks() override;
    void ShowFind2ch() override;
    // Fetches the results of a title search into the results list and shows it; on failure
    // the message is shown and the previous results stay. 0 or the failure's code.
    int Find2ch(const CVornString& url, const CVornString& words) override;
    // Next-thread search: asks whether to fetch the list again, then highlights the threads
    // whose titles match the title's pattern (see TavloNextThreadPattern).
    void SearchNextThread(const CVornString& title, const CVornString& boardUrl) override;
    // The same for the selected thread ("スレッドを選択して下さい" without one).
    void SearchNextThreadOfSelection() override;

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override { return m_busy != 0; }
    void Search(const CVornString& word, int direction) override { Highlight(word); }
    void ApplySettings() override { ApplyFonts(); }
    QString Title() const override;

    const CTavloSubjectFile& GetList() const { return *m_list; }
    const CTavloSubjectFile& GetPreviousList() const { return *m_previous; }
    const CVornString& GetBoardUrl() const { return m_boardUrl; }
    // The new-thread editor for the board shown; the list is reloaded after a post.
    void NewThread();
    const CVornString& GetBoardName() const { return m_boardName; }
    const CVornString& GetBoardId() const { return m_boardId; }
    const CVornString& GetLocalPath() const { return m_localPath; }
    bool IsSearchList() const { return m_boardUrl.StartsWith("http://.tmp"); }

private:
    bool setBoard(const CVornString& name, const CVornString& boardUrl, const CVornString& board);
    void clearLists();
    // Marks against the previous list, shows the rows and selects the first.
    void showRows();
    void setTitle();
    void showError(int code);
    void setStatus(bool on);
    TavloStopRequest stopRequest() const;

    std::unique_ptr<CTavloSubjectFile> m_list;
    std::unique_ptr<CTavloSubjectFile> m_previous;
    CVornString m_localPath;
    CVornString m_subjectUrl;
    CVornString m_boardUrl;
    CVornString m_boardName;
    CVornString m_boardId;
    int m_busy = 0;
};
