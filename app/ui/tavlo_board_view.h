#pragma once

#include "tavlo_board_file.h"
#include "tavlo_board_menu.h"
#include "tavlo_views.h"
#include "vorn_string.h"

#include <QFont>

#include <memory>
#include <mutex>

class CTavloBoardTree;
class QTreeWidgetItem;

// View 0: the tree of the board menu's categories and boards, the extra boards ("その他") and
// three fixed entries. It owns the two board lists (board.txt and etc.txt) that other parts
// consult by board id or URL, refreshes the menu and finds moved boards.
class CTavloBoardView : public CTavloBoardViewBase {
public:
    // Board numbers of the extra boards start here (etc.txt row + 10000).
    static constexpr int kEtcBase = 10000;
    // Blanks between a board's name and its id in its label.
    static constexpr int kIdGap = 24;

    explicit CTavloBoardView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloBoardView() override;

    // Font, the fixed items, the board lists (or the question when there is no board.txt),
    // the first item selected.
    void OnInitialUpdate();
    // Loads board.txt and builds the tree, then etc.txt and its subtree. 1 or 0 (the failure
    // was shown).
    int CreateFromFile();

    // Fetches the menu, moves boards whose address changed, rebuilds the tree. 1 or 0 (the
    // failure was shown); 1 and nothing done while busy.
    int RefreshMenu(const CVornString& menuUrl);
    int DetectMove(const CVornString& oldUrl, CVornString* newUrl) override;

    // Board numbers: the etc.txt row + kEtcBase or the board.txt row; etc.txt is searched
    // first. -1 when not found.
    int FindBoardNumber(const CVornString& id) const;
    int FindBoardNumberByUrl(const CVornString& url) const;
    CVornString GetBoardName(int number) const;
    CVornString GetBoardUrl(int number) const;
    CVornString GetBoardId(int number) const;
    bool FindBoardId(const CVornString& id, CVornString* name, CVornString* boardUrl) override;
    CVornString FindBoardName(const CVornString& board) override;
    // Every board item with oldUrl gets newUrl.
    void ReplaceUrl(const CVornString& oldUrl, const CVornString& newUrl);

    // Selects the next board after the selection whose name or id matches; 1, or 0 after
    // telling that the end was reached.
    int SearchBoard(const CVornString& pattern);
    // Name and URL of the selected board on the clipboard.
    void CopyInformation();
    // Asks, then puts the selected board first in etc.txt (message 39 tells the frame).
    void AddToEtc();
    // Opens an item: a board's list (message 2), bookmarks (21), cache (23), title search (29).
    // A click posts, Enter sends; Enter on an item with children toggles it.
    void OpenItem(QTreeWidgetItem* item, bool send);

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override { return m_busy != 0; }
    void Search(const CVornString& word, int direction) override { SearchBoard(word); }
    void ApplySettings() override;

    // The tree and its parts, for the frame and tests.
    CTavloBoardTree* GetTree() const { return m_tree; }
    QTreeWidgetItem* GetSelectedItem() const;
    void SelectItem(QTreeWidgetItem* item);
    QTreeWidgetItem* GetRootItem() const { return m_root; }
    QTreeWidgetItem* GetBookmarkItem() const { return m_bookmark; }
    QTreeWidgetItem* GetCacheItem() const { return m_cache; }
    QTreeWidgetItem* GetFind2chItem() const { return m_find2ch; }
    QTreeWidgetItem* GetEtcItem() const { return m_etcItem; }
    // The record of a category or board item, null for the fixed items.
    static const CTavloBoardRef* RecordOf(const QTreeWidgetItem* item);
    // A board (an item with a record and a URL).
    static bool IsBoard(const QTreeWidgetItem* item);
    const CTavloBoardFile& GetBoardFile() const { return *m_board; }
    const CTavloBoardFileEtc& GetEtcFile() const { return *m_etc; }
    const QFont& GetTreeFont() const { return m_font; }

private:
    struct Lookup;

    void buildBoardTree();
    void buildEtcTree();
    int loadEtc(const char* failure);
    // Both lists, for lookups from any thread.
    void publish();
    void showReport(const CTavloMenuReport& report);
    void setStatus(bool on);
    // Refuses (with a note to the user) while the bookmark check runs.
    bool refuseWhileChecking();
    TavloStopRequest stopRequest() const;
    QTreeWidgetItem* addBoardItem(QTreeWidgetItem* parent, const CVornString& name,
                                  const CVornString& url, const CVornString& id);
    QTreeWidgetItem* lastVisibleItem() const;

    std::unique_ptr<CTavloBoardFile> m_board;
    std::unique_ptr<CTavloBoardFileEtc> m_etc;
    QTreeWidgetItem* m_root = nullptr; // "tavlo"
    QTreeWidgetItem* m_bookmark = nullptr;
    QTreeWidgetItem* m_cache = nullptr;
    QTreeWidgetItem* m_find2ch = nullptr;
    QTreeWidgetItem* m_etcItem = nullptr; // "その他"
    QFont m_font;
    int m_busy = 0;
    CTavloBoardTree* m_tree;
    // The board a click asked the frame to open: the posted message points here.
    CTavloBoardRef m_posted;
    std::shared_ptr<Lookup> m_lookup;
};
