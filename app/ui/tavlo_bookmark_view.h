#pragma once

#include "tavlo_list_view.h"
#include "tavlo_views.h"

#include <functional>
#include <memory>

class CTavloBookmarkFile;
class CTavloBookmarkItem;
class CTavloBookmarkUpdater;

// The bookmarked threads ("スレッド" tab of the bookmark container): the one bookmark list of the
// program with post counts and new posts, sorted, reordered, deleted and multi-selected, and
// the update check that fetches every bookmarked thread on bounded parallel workers.
//
// While a check runs its workers hold the entries, so nothing that deletes an entry is done
// then (deleting is refused, as are sorting and moving); bookmarks added meanwhile join the
// list but not the running check.
class CTavloBookmarkView : public CTavloListViewBase, public CTavloListView {
public:
    // Sort keys (the column argument of SortItems).
    enum {
        SORT_INDEX,
        SORT_COUNT,
        SORT_TITLE,
        SORT_SPEED,
        SORT_BOARD,
        SORT_KEY,
        SORT_UPDATED, // updated, then most new posts, then index; ascending only
        SORT_SEARCH,  // search hits first, then index; ascending only
        SORT_KEYS
    };

    explicit CTavloBookmarkView(CTavloWindow* frame, QWidget* parent = nullptr);
    // Waits for a running check, stores columns and sort, and empties the bookmark list.
    ~CTavloBookmarkView() override;

    // The stop request of the update check (the main window's cancel flag).
    void SetStopRequest(std::function<bool()> stop);

    // Loads the bookmark list if nobody did yet, shows it sorted by the stored key.
    void EnsureLoaded();
    bool IsLoaded() const { return m_loaded != 0; }

    // Starts the update check; false when one runs already or it could not start.
    bool StartCheck();
    // Waits until the running check has ended, serving the window meanwhile (tests, exit).
    void WaitCheck();

    // Deletes the selected entry, or every marked one in multi-selection mode, after asking.
    void DeleteItems();
    // Moves the selected entry one row down or up (only in "No" order); true when it moved.
    bool MoveItem(bool down);
    void SetMultiSelect(bool on);
    bool IsMultiSelect() const { return m_multi != 0; }
    // Marks the entries whose titles match the pattern and puts them first.
    void Highlight(const CVornString& pattern);

    // CTavloListView
    void SortItems(int column, int ascending) override;
    void OpenSelectedItem() override;
    int GetItemText(QString& text, int row, int column) override;
    CTavloListItem* GetItem(int row) override;

    // CTavloListViewBase
    void ClearMarks() override;
    void Reload() override;
    void RefreshLogPath(const CVornString& logPath) override;
    bool IsChecking() const override { return m_checking != 0; }

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override { return IsChecking(); }
    void OnShowView() override;
    void Search(const CVornString& word, int direction) override;
    void ApplySettings() override;

    // The key after current for the sort key binding: the next one, after 7 back to 0.
    static int NextSortKey(int current) { return (current + 1) % SORT_KEYS; }

protected:
    // Loaded when first shown, also by a tab switch of the container.
    void showEvent(QShowEvent* event) override;

private:
    void onCheckEnded();
    void redrawEntry(CTavloBookmarkItem* entry);
    void releaseSnapshot();
    bool save();

    std::unique_ptr<CTavloBookmarkUpdater> m_updater;
    int m_checking = 0;
    int m_loaded = 0;
    int m_multi = 0;
    // What the running check works on: the entries of the list when it started, not owned.
    std::unique_ptr<CTavloBookmarkFile> m_snapshot;
    std::function<bool()> m_stop;
    bool m_dying = false;
};
