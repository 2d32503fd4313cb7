#pragma once

#include "vorn_string.h"

#include <QDialog>

#include <vector>

class CMainFrame;
class CTavloConfigPage;
class QMenu;
class QMenuBar;
class QStackedWidget;

// The configuration dialog: twelve pages in one stacked area, chosen from the "メニュー" menu;
// "OK" saves every page in creation order, "キャンセル" closes without saving.
class CTavloConfigDialog : public QDialog {
public:
    // NG candidates: targets (board URL, board URL + key) and words (lines of the selection).
    CTavloConfigDialog(const std::vector<CVornString>& ngTargets,
                       const std::vector<CVornString>& ngWords, QWidget* parent = nullptr);

    // Shows the page of a menu command (hides the others, focuses it, checks its entry).
    void ShowPage(int menuId);
    CTavloConfigPage* GetPage(int menuId) const;
    CTavloConfigPage* GetShownPage() const { return m_shown; }
    const std::vector<CTavloConfigPage*>& Pages() const { return m_pages; }
    QMenu* GetPageMenu() const { return m_menu; }
    QMenuBar* GetMenuBar() const { return m_bar; }

    void OnOK();
    void OnCancel();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<CVornString> m_ngTargets;
    std::vector<CVornString> m_ngWords;
    std::vector<CTavloConfigPage*> m_pages;
    CTavloConfigPage* m_shown = nullptr;
    QStackedWidget* m_stack;
    QMenuBar* m_bar;
    QMenu* m_menu;
};

// Command 32776: opens the dialog over the frame (title "tavlo設定" meanwhile). After OK a
// changed root ends the program after saying so; otherwise every view takes the settings
// again. Returns 1 after OK, 0 after cancel.
int TavloRunConfigDialog(CMainFrame* frame);
