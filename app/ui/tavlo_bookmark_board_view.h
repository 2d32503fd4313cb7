#pragma once

#include "tavlo_bookmark_board_file.h"
#include "tavlo_list_view.h"
#include "tavlo_views.h"

// The extra boards of etc.txt ("その他" tab of the bookmark container): opened in the thread
// list, sorted, multi-selected and deleted.
class CTavloBookmarkBoardView : public CTavloListViewBase, public CTavloListView {
public:
    // Sort keys (the column argument of SortItems).
    enum {
        SORT_INDEX,
        SORT_NAME,
        SORT_ID,
        SORT_SEARCH, // search hits first, then index; ascending only
        SORT_KEYS
    };

    explicit CTavloBookmarkBoardView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloBookmarkBoardView() override;

    CTavloBookmarkBoardFile& GetList() { return m_list; }
    bool IsLoaded() const { return m_loaded != 0; }
    void EnsureLoaded();

    // Deletes the selected board, or every marked one in multi-selection mode, after asking.
    void DeleteItems();
    void SetMultiSelect(bool on);
    bool IsMultiSelect() const { return m_multi != 0; }
    // Marks the boards whose names match the pattern and puts them first.
    void Highlight(const CVornString& pattern);

    // CTavloListView
    void SortItems(int column, int ascending) override;
    void OpenSelectedItem() override;
    int GetItemText(QString& text, int row, int column) override;
    CTavloListItem* GetItem(int row) override;

    // CTavloListViewBase: etc.txt read again (a board was added to it).
    void Reload() override;

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    void OnShowView() override;
    void Search(const CVornString& word, int direction) override;
    void ApplySettings() override;

    static int NextSortKey(int current) { return (current + 1) % SORT_KEYS; }

protected:
    // Loaded when first shown, also by a tab switch of the container.
    void showEvent(QShowEvent* event) override;

private:
    void load();
    void sortList(int column, int ascending);
    bool save();

    CTavloBookmarkBoardFile m_list;
    int m_multi = 0;
    int m_loaded = 0;
    // etc.txt exists but could not be read: it is never written over.
    bool m_unreadable = false;
};
