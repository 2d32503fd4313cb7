#pragma once

#include "vorn_string.h"

#include <QString>
#include <QVariant>
#include <QWidget>

// One of the six main views of the frame. The frame offers keys (Windows virtual-key codes)
// and commands (menu identifiers) to the shown view, asks it for menu state and busy state, and
// tells it when it is shown or hidden.
class CTavloMainView : public QWidget {
public:
    explicit CTavloMainView(QWidget* parent = nullptr) : QWidget(parent) {}

    virtual int ViewNumber() const = 0;
    // A key press; true when the view used it.
    virtual bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) { return false; }
    // A menu command; true when the view handled it.
    virtual bool OnCommand(int id) { return false; }
    // State of a command the view handles; false when it is not this view's command.
    virtual bool UpdateCommand(int id, bool* enabled, bool* checked) { return false; }
    // Network work of this view is running (the frame's cancel asks this).
    virtual bool IsBusy() const { return false; }
    virtual void OnShowView() {}
    virtual void OnHideView() {}
    // The search bar's word (direction as the bar gives it).
    virtual void Search(const CVornString& word, int direction) {}
    // Settings changed (fonts, colours, sizes).
    virtual void ApplySettings() {}
    // Window title to show while this view is shown; empty keeps what the view set itself.
    virtual QString Title() const { return QString(); }

    // The frame names its shown view in this property of the top-level window.
    static constexpr const char* kShownViewProperty = "tavloShownView";
    // True when this view's title is the window's. In the desktop layout other views are
    // visible too: a list or a thread finishing a fetch there must not take the title.
    bool NamesTheWindow() const {
        const QWidget* top = window();
        if (!top || top == this || !isVisible())
            return false;
        const QVariant shown = top->property(kShownViewProperty);
        return !shown.isValid() || shown.toInt() == ViewNumber();
    }
};
