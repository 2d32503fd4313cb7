#pragma once

#include "tavlo_cache_file.h"
#include "tavlo_list_view.h"
#include "tavlo_views.h"

// Commands of the multi-selection menu "選択" of the cache lists.
enum {
    ID_CHECK_TO_HERE = 32997,    // "ここまでを選択"
    ID_CHECK_FROM_HERE = 32998,  // "ここからを選択"
    ID_CHECK_SAME_BOARD = 32999, // "同じ板を選択"
    ID_CHECK_ALL = 33000,        // "すべて選択" (inverts)
    ID_CHECK_CLEAR = 33001,      // "選択解除"
};

// The stored threads ("スレッド" tab of the cache container): every log under the root, to
// open, bookmark, select and delete.
class CTavloCacheView : public CTavloListViewBase, public CTavloListView {
public:
    enum { SORT_INDEX, SORT_TITLE, SORT_BOARD, SORT_TIME, SORT_SEARCH, SORT_KEYS };

    explicit CTavloCacheView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloCacheView() override;

    // Builds the list from the root unless it is loaded.
    void Load();
    bool IsLoaded() const { return m_loaded != 0; }
    CTavloCacheFile& GetList() { return m_list; }
    // The selected entry, or every marked one in multi-selection mode, after asking.
    void DeleteItems();
    void AddBookmark();
    void SetMultiSelect(bool on);
    bool IsMultiSelect() const { return m_multi != 0; }
    // The commands of the "選択" menu (each switches multi-selection on first).
    void CheckCommand(int id);
    void Highlight(const CVornString& pattern);
    // The "選択" menu, at the list.
    void ShowCheckMenu();

    // CTavloListView
    void SortItems(int column, int ascending) override;
    void OpenSelectedItem() override;
    int GetItemText(QString& text, int row, int column) override;
    CTavloListItem* GetItem(int row) override;

    // CTavloListViewBase
    void Reload() override;
    void RefreshLogPath(const CVornString& logPath) override;

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    void OnShowView() override { Load(); }
    void OnHideView() override { StoreSort(); }
    void Search(const CVornString& word, int direction) override { Highlight(word); }
    void ApplySettings() override { ApplyFonts(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    CTavloCacheFile m_list;
    int m_multi = 0;
    int m_loaded = 0;
};
