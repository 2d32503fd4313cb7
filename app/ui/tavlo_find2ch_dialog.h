#pragma once

#include "tavlo_window.h"
#include "vorn_string.h"

#include <QWidget>

class QComboBox;
class QPushButton;

// The title-search bar: words (combo box 1007, from HistorySearchWord) and a sort order
// (combo box 1095), a search (1076) and a close (1067) button. Search sends message 30 with
// the search URL and the words (Shift_JIS); the thread-list view fetches the results.
class CTavloFind2chDialog : public QWidget {
public:
    explicit CTavloFind2chDialog(CTavloWindow* frame, QWidget* parent = nullptr);

    void ReloadList();
    QComboBox* GetCombo() const { return m_words; }
    QComboBox* GetSortCombo() const { return m_sort; }

    // Words not empty: keeps the sort index in SortFind2ch and sends message 30.
    // The search URL of words (Shift_JIS) with a sort index.
    static CVornString SearchUrl(const CVornString& words, int sort);
    void OnSearch();
    // Asks the main window to close the bar (message 27 with 0).
    void OnClose();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CTavloWindow* m_frame;
    QComboBox* m_words;
    QComboBox* m_sort;
    QPushButton* m_search;
    QPushButton* m_close;
};
