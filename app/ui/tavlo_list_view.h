#pragma once

#include "tavlo_window.h"

#include <QFont>
#include <QPointer>
#include <QString>

#include <vector>

class CTavloListCtrl;
class CTavloListItem;
class CTavloListModel;
class QPainter;
class QRect;
class QWidget;

// Column alignments of a list view (header and cells), as the list control's formats.
enum { TAVLO_LVCFMT_LEFT = 0, TAVLO_LVCFMT_RIGHT = 1, TAVLO_LVCFMT_CENTER = 2 };

// A column of a list view: fixed header text (UTF-8), default width, alignment.
struct CTavloListColumn {
    const char* header;
    int width;
    int format = TAVLO_LVCFMT_LEFT;
};

// The owner-drawn list that every list view derives from (thread list, bookmarks, bookmarked
// boards, cached threads, cached images). It lives in the view's widget (its host), which it
// fills with a report-style list control holding no entries of its own: the subclass tells it
// the row count and supplies texts and entries on demand, and the rows are drawn here by the
// drawing rules of the lists (colours, mark icons, row height from ListMargin/ListSingleLine).
//
// A list view derives from its frame base (a QWidget, listed first so that the widget outlives
// this part) and from this class, passes itself as host, and forwards from its overrides: OnKeyDown
// to ListKeyDown, OnCommand to ListCommand, UpdateCommand to ListUpdateCommand, ApplySettings to
// ApplyFonts.
class CTavloListView {
public:
    // listSetting: the CTavloSettings::LV_* of the column widths and sort settings; fontSlot:
    // the CTavloSettings::FONT_* of the list font.
    CTavloListView(QWidget* host, CTavloWindow* frame, int listSetting, int fontSlot);
    // Stores the column widths (written only when they changed).
    virtual ~CTavloListView();
    CTavloListView(const CTavloListView&) = delete;
    CTavloListView& operator=(const CTavloListView&) = delete;

    // ---- what a list view supplies, in slot order ----
    // Sorts the rows by a column's key and redraws; remembers column and direction.
    virtual void SortItems(int column, int ascending) = 0;
    // Opens the selected entry (Enter, double click); nothing without a selection.
    virtual void OpenSelectedItem() = 0;
    // Text of a cell; 1, or 0 when the row or column does not exist.
    virtual int GetItemText(QString& text, int row, int column) = 0;
    // The selected entry, null when none (the default: the entry of the selected row).
    virtual CTavloListItem* GetSelectedItem();
    // The entry of a row, null when there is none.
    virtual CTavloListItem* GetItem(int row) = 0;
    // Puts title and read.cgi address of the selected entry on the clipboard.
    virtual void CopyInformation();

    // Draws one row whole; rect spans the client width. The control calls it for every
    // visible row.
    virtual void DrawItem(QPainter& painter, int row, const QRect& rect, bool selected);

    // ---- columns ----
    // Creates the columns; widths from the ColumnWidth setting of the list, where an entry of
    // 0 or a missing one takes the column's default.
    void InsertColumns(const std::vector<CTavloListColumn>& columns);
    void SetColumnHeader(int column, const char* utf8);
    QString GetColumnHeader(int column) const;
    int GetColumnCount() const;
    int GetColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    std::vector<int> GetColumnWidths() const;
    // Sizes every column to fit header and contents, then halves column 1 when
    // ListSingleLine is 0 and always halves column 2 (command 32963).
    void FitColumns();
    // Writes the current widths as the list's ColumnWidth setting when they differ from it.
    void StoreColumnWidths();

    // ---- rows ----
    // The number of rows; a row selected before stays selected when it still exists.
    void SetItemCount(int count);
    int GetItemCount() const;
    // Repaints every row (after sorting or marking). Window thread.
    void RedrawItems();
    // Repaints one row; any thread (a worker's call is queued to the window thread).
    void RedrawItem(int row);

    // ---- selection ----
    int GetSelectedRow() const;
    // Selects a row and scrolls it into view; -1 or a row out of range clears the selection.
    void SelectRow(int row);
    void ClearSelection();
    void ScrollToTop();

    // ---- sort state ----
    // The header's arrow at the column of the current sort key, if it has one.
    void ShowSortIndicator();
    virtual int SortIndicatorColumn() const;
    int GetSortColumn() const { return m_sortColumn; }
    int GetSortAsc() const { return m_sortAsc; }
    // Writes column and direction to the list's SortColumn/SortAsc settings, each only when it
    // differs from the stored value.
    void StoreSort();

    // ---- font and row height ----
    // The list font from the font slot's settings; the old font goes, rows take the new height.
    void ApplyFonts();
    const QFont& GetListFont() const { return m_font; }
    // Absolute height of the list font in pixels.
    int GetFontHeight() const;
    // ListMargin + h + 4 with ListSingleLine 1, ListMargin + 2h + 4 otherwise.
    int GetRowHeight() const;

    // ---- keys and commands shared by the list views ----
    // Cancel (message 1), ViewBack (6), ViewForward (7), Bottom, Top, Find2ch (command 32806),
    // Menu (message 31), PageUp, PageDown, ChangeView (the view menu), in this order. true when
    // used; any other key is left to the control.
    bool ListKeyDown(int vk);
    // 32779 first row, 32780 last row, 32963 fit columns, 32980 copy information.
    bool ListCommand(int id);
    bool ListUpdateCommand(int id, bool* enabled, bool* checked);

    CTavloListCtrl* GetListCtrl() const;
    QWidget* GetHost() const { return m_host; }
    int GetListSetting() const { return m_listSetting; }

protected:
    // Draws a cell's text: lines broken at "\n", aligned as the column, clipped to the cell.
    void drawCellText(QPainter& painter, const QRect& cell, const QString& text, int format);

    CTavloWindow* m_listFrame;
    int m_sortColumn = 0;
    int m_sortAsc = 1;
    // A row narrower than the client is filled to the client's width.
    int m_fillToWidth = 1;
    int m_firstColumnMargin = 0;

private:
    QWidget* m_host;
    int m_listSetting;
    int m_fontSlot;
    QFont m_font;
    QPointer<CTavloListModel> m_model;
    QPointer<CTavloListCtrl> m_ctrl;
    std::vector<int> m_defaultWidths;
    std::vector<int> m_formats;
};
