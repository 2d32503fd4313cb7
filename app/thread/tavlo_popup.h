#pragma once

#include <QFrame>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class CTavloDatCtrl;
class QKeyEvent;

// What a text position of a thread or popup text points at: the posts of an anchor, the
// posts answering a header's post, or the posts of a date line's ID.
std::vector<int> TavloPopupTargets(const CTavloDatCtrl& source, const CTavloDatCtrl& from,
                                   size_t pos);

// One popup: posts of the thread shown in a thread control of its own, so that they are
// drawn by the same painter, colours and font as the thread.
class CTavloPopup : public QFrame {
public:
    CTavloPopup(CTavloDatCtrl* source, const std::vector<int>& numbers, QWidget* owner);
    ~CTavloPopup() override;

    CTavloDatCtrl* Ctrl() const { return m_ctrl.get(); }
    const std::vector<int>& Numbers() const { return m_numbers; }
    // Shows the popup below (or, without room, above) the rectangle, inside the screen.
    void ShowAt(const QRect& anchor);

private:
    std::unique_ptr<CTavloDatCtrl> m_ctrl;
    std::vector<int> m_numbers;
};

// The popups over one thread control, each a child of the one whose anchor opened it. The
// mouse resting on an anchor opens one; resting elsewhere closes those above the text it
// rests on; the popup key opens one for the selected link; Escape or the ViewBack key
// closes the last.
class CTavloPopupSet : public QObject {
public:
    explicit CTavloPopupSet(CTavloDatCtrl* source);
    ~CTavloPopupSet() override;

    // Opens a popup of the posts that text position pos of from (the thread or an open
    // popup) points at; popups above from close first. Null when it points at nothing.
    CTavloPopup* OpenAt(CTavloDatCtrl* from, size_t pos);
    // The same for the link selected in the last popup (or the thread).
    CTavloPopup* OpenSelected();
    // Closes the popups above from (all of them for the thread).
    void CloseAbove(const CTavloDatCtrl* from);
    void CloseLast();
    void CloseAll() { CloseAbove(m_source); }
    int Count() const { return static_cast<int>(m_chain.size()); }
    CTavloPopup* Last() const { return m_chain.empty() ? nullptr : m_chain.back().get(); }
    CTavloPopup* At(int k) const { return m_chain[static_cast<size_t>(k)].get(); }
    // A key while the thread is shown: the popup key, and while popups are open Escape /
    // ViewBack and the link keys. true when used.
    bool OnKeyDown(int vk);
    // What the hover timer does when it fires: acts on the resting place.
    void HoverNow();
    // Called after any popup opened or closed (a test's view of the program).
    static void SetChangeHook(std::function<void()> hook);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void watch(CTavloDatCtrl* ctrl);
    CTavloDatCtrl* ctrlOf(QObject* watched) const;
    void checkLeft();
    void checkActive();
    void closeOutOfSight();
    void changed();

    CTavloDatCtrl* m_source;
    std::vector<std::unique_ptr<CTavloPopup>> m_chain;
    QTimer m_hover;
    QTimer m_leave;
    CTavloDatCtrl* m_hoverCtrl = nullptr;
    QPoint m_hoverPos;
};
