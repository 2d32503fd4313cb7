#pragma once

#include "tavlo_list_view.h"
#include "tavlo_views.h"

class CTavloCacheImageFile;

// The stored images ("画像" tab of the cache container): the program's one image cache list,
// to open in the image view, select and delete.
class CTavloCacheImageView : public CTavloListViewBase, public CTavloListView {
public:
    enum { SORT_INDEX, SORT_NAME, SORT_TIME, SORT_SEARCH, SORT_KEYS };

    explicit CTavloCacheImageView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloCacheImageView() override;

    void Load();
    // The selected entry, or every marked one in multi-selection mode, after asking: files
    // and entries go.
    void DeleteItems();
    void SetMultiSelect(bool on);
    bool IsMultiSelect() const { return m_multi != 0; }
    void Highlight(const CVornString& pattern);

    // CTavloListView
    void SortItems(int column, int ascending) override;
    void OpenSelectedItem() override;
    int GetItemText(QString& text, int row, int column) override;
    CTavloListItem* GetItem(int row) override;

    // CTavloListViewBase
    void Reload() override;
    // A file of the image cache was saved or deleted.
    void RefreshLogPath(const CVornString& path) override;

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

private:
    CTavloCacheImageFile& list() const;

    int m_multi = 0;
    int m_loaded = 0;
    // What the frame opens (message 8) until it returns.
    CVornString m_openUrl;
};
