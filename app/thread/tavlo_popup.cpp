#include "tavlo_popup.h"

#include "tavlo_dat_ctrl.h"
#include "tavlo_keys.h"
#include "tavlo_link.h"
#include "tavlo_post_converter.h"
#include "tavlo_settings.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

std::function<void()> g_changeHook;

// How far back from a position an anchor may start: ">>" and a list of a few numbers.
constexpr size_t kAnchorReach = 64;

inline bool isAnchorChar(char16_t c) {
    return TavloIsGreater(c) || TavloIsDigit(c) || c == u'-' || c == u'\uFF0D' || c == u',' ||
           c == u'\uFF0C' || c == u'\u3001';
}

} // namespace

std::vector<int> TavloPopupTargets(const CTavloDatCtrl& source, const CTavloDatCtrl& from,
                                   size_t pos) {
    std::vector<int> out;
    const CTavloTextCtrl* text = from.GetTextCtrl();
    const CTavloTextLayout& layout = text->Layout();
    if (pos >= layout.Length())
        return out;
    const size_t ls = layout.LineStart(layout.LineFromChar(pos));
    const char16_t first = layout.At(ls);
    const CTavloAnchorIndex& index = source.GetAnchors();
    if (TavloIsHeaderMark(first) && ls == layout.LineStart(layout.LineFromChar(ls))) {
        // The post number of a header: the posts answering it.
        size_t end = 0;
        int number = TavloHeaderNumber(layout.Substr(ls, 16), &end);
        end += ls;
        if (number && pos <= end)
            out = index.ReferredBy(number);
        return out;
    }
    if (TavloIsDateMark(first)) {
        std::u16string date = layout.Substr(ls, 512);
        size_t s = 0, n = 0;
        if (TavloExtractId(date, &s, &n) && pos >= ls + s && pos < ls + s + n)
            out = index.PostsOfId(std::u16string_view(date).substr(s, n));
        return out;
    }
    size_t k = pos;
    while (k > ls && pos - k < kAnchorReach && isAnchorChar(layout.At(k - 1)))
        --k;
    std::u16string window = layout.Substr(k, pos - k + kAnchorReach);
    for (size_t s = 0; s <= pos - k && s < window.size(); ++s) {
        if (!TavloIsGreater(window[s]) || (s > 0 && TavloIsGreater(window[s - 1])))
            continue;
        std::vector<int> targets;
        size_t used = TavloParseAnchor(std::u16string_view(window).substr(s), targets);
        if (used && k + s + used > pos)
            return targets;
    }
    return out;
}

CTavloPopup::CTavloPopup(CTavloDatCtrl* source, const std::vector<int>& numbers, QWidget* owner)
    : QFrame(owner, Qt::ToolTip | Qt::FramelessWindowHint), m_numbers(numbers) {
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    m_ctrl = std::make_unique<CTavloDatCtrl>(this);
    m_ctrl->SetAnchorSource(source);
    m_ctrl->SetHideAboned(source->GetHideAboned());
    m_ctrl->SetArticleFont(source->GetTextCtrl()->GetTextFont());
    m_ctrl->GetTextCtrl()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_ctrl->GetTextCtrl());
}

CTavloPopup::~CTavloPopup() = default;

void CTavloPopup::ShowAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    CTavloTextCtrl* text = m_ctrl->GetTextCtrl();
    const int width = std::min(area.width(), std::max(320, area.width() * 2 / 3));
    resize(width, text->GetLineHeight() * 2 + 8);
    // Laid out without a scroll bar first: one is shown only when the text cannot fit.
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    show();
    // The text is laid out at the width it is shown at; the height follows from it.
    text->Recalc();
    const int frame = height() - text->viewport()->height();
    const int lines = std::max(1, text->GetLineCount());
    const int needed = lines * text->GetLineHeight() + frame + 2;
    const int height = std::min(area.height(), needed);
    if (needed > height)
        text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    resize(width, height);
    int y = anchor.bottom() + 1;
    if (y + height > area.bottom() + 1)
        y = anchor.top() - height >= area.top() ? anchor.top() - height
                                                : area.bottom() + 1 - height;
    int x = std::clamp(anchor.left(), area.left(), area.right() + 1 - width);
    move(x, std::max(area.top(), y));
    text->SetTopLine(0);
}

CTavloPopupSet::CTavloPopupSet(CTavloDatCtrl* source) : m_source(source) {
    m_hover.setSingleShot(true);
    connect(&m_hover, &QTimer::timeout, this, &CTavloPopupSet::HoverNow);
    m_leave.setSingleShot(true);
    connect(&m_leave, &QTimer::timeout, this, &CTavloPopupSet::checkLeft);
    watch(source);
}

CTavloPopupSet::~CTavloPopupSet() = default;

void CTavloPopupSet::watch(CTavloDatCtrl* ctrl) {
    CTavloTextCtrl* text = ctrl->GetTextCtrl();
    text->installEventFilter(this);
    text->viewport()->installEventFilter(this);
    text->viewport()->setMouseTracking(true);
}

CTavloDatCtrl* CTavloPopupSet::ctrlOf(QObject* watched) const {
    auto is = [watched](CTavloDatCtrl* c) {
        return watched == c->GetTextCtrl() || watched == c->GetTextCtrl()->viewport();
    };
    if (is(m_source))
        return m_source;
    for (const auto& p : m_chain)
        if (is(p->Ctrl()))
            return p->Ctrl();
    return nullptr;
}

void CTavloPopupSet::CloseAbove(const CTavloDatCtrl* from) {
    size_t keep = 0;
    if (from != m_source) {
        keep = m_chain.size();
        for (size_t k = 0; k < m_chain.size(); ++k)
            if (m_chain[k]->Ctrl() == from)
                keep = k + 1;
    }
    if (m_chain.size() <= keep)
        return;
    while (m_chain.size() > keep) {
        if (m_hoverCtrl == m_chain.back()->Ctrl())
            m_hoverCtrl = nullptr;
        m_chain.pop_back();
    }
    changed();
}

void CTavloPopupSet::SetChangeHook(std::function<void()> hook) {
    g_changeHook = std::move(hook);
}

void CTavloPopupSet::changed() {
    if (g_changeHook)
        g_changeHook();
}

void CTavloPopupSet::CloseLast() {
    if (m_chain.empty())
        return;
    CloseAbove(m_chain.size() >= 2 ? m_chain[m_chain.size() - 2]->Ctrl() : m_source);
}

CTavloPopup* CTavloPopupSet::OpenAt(CTavloDatCtrl* from, size_t pos) {
    std::vector<int> numbers = TavloPopupTargets(*m_source, *from, pos);
    std::vector<int> shown;
    std::u16string display;
    for (int n : numbers) {
        if (n < 1 || n > m_source->GetPostCount())
            continue;
        std::u16string post = m_source->GetPostDisplay(n);
        // A post hidden by NG leaves only its marker: nothing to show.
        if (post.size() <= 3 && !post.empty() && post[0] == TAVLO_MARK_ABONE)
            continue;
        display += post;
        shown.push_back(n);
    }
    if (shown.empty())
        return nullptr;
    // The popup already open from here over the same posts stays as it is.
    size_t next = 0;
    if (from != m_source) {
        next = m_chain.size();
        for (size_t k = 0; k < m_chain.size(); ++k)
            if (m_chain[k]->Ctrl() == from)
                next = k + 1;
    }
    if (next < m_chain.size() && m_chain[next]->Numbers() == shown) {
        CloseAbove(m_chain[next]->Ctrl());
        return m_chain[next].get();
    }
    CloseAbove(from);
    auto popup = std::make_unique<CTavloPopup>(m_source, shown, nullptr);
    while (!display.empty() && display.back() == u'\n')
        display.pop_back();
    popup->Ctrl()->SetDisplayText(std::move(display));
    CTavloTextCtrl* text = from->GetTextCtrl();
    QPoint at = text->PosFromChar(pos);
    QRect rect(text->viewport()->mapToGlobal(at), QSize(1, text->GetLineHeight()));
    watch(popup->Ctrl());
    popup->ShowAt(rect);
    m_chain.push_back(std::move(popup));
    changed();
    return m_chain.back().get();
}

CTavloPopup* CTavloPopupSet::OpenSelected() {
    CTavloDatCtrl* from = m_chain.empty() ? m_source : m_chain.back()->Ctrl();
    size_t a = 0, b = 0;
    from->GetTextCtrl()->GetSel(&a, &b);
    if (a == b)
        return nullptr;
    return OpenAt(from, a);
}

void CTavloPopupSet::HoverNow() {
    CTavloDatCtrl* ctrl = m_hoverCtrl;
    if (!ctrl || CTavloSettings::Instance().PopupUse == 0)
        return;
    CTavloTextCtrl* text = ctrl->GetTextCtrl();
    size_t pos = text->CharFromPoint(m_hoverPos);
    // CharFromPoint gives the nearest place; past the end of a line points at nothing.
    QPoint back = text->PosFromChar(pos);
    if (m_hoverPos.x() < back.x() - text->GetAverageWidth() * 2)
        pos = SIZE_MAX;
    if (pos == SIZE_MAX || !OpenAt(ctrl, pos))
        CloseAbove(ctrl);
}

void CTavloPopupSet::checkLeft() {
    // The popups stay while the pointer is over one of them; they close above the one it is
    // over, and all of them once it is over none.
    const QPoint at = QCursor::pos();
    for (size_t k = m_chain.size(); k-- > 0;) {
        if (m_chain[k]->frameGeometry().contains(at)) {
            CloseAbove(m_chain[k]->Ctrl());
            return;
        }
    }
    CloseAll();
}

void CTavloPopupSet::checkActive() {
    // Popups are tool windows: they never become the active window themselves.
    QWidget* active = QApplication::activeWindow();
    if (!active || active != m_source->GetTextCtrl()->window())
        closeOutOfSight();
}

void CTavloPopupSet::closeOutOfSight() {
    // A rest that began before must not open one again.
    m_hover.stop();
    m_leave.stop();
    m_hoverCtrl = nullptr;
    CloseAll();
}

bool CTavloPopupSet::OnKeyDown(int vk) {
    const CTavloSettings& s = CTavloSettings::Instance();
    if (s.PopupUse && s.IsKey(CTavloSettings::CMD_POPUP, vk))
        return OpenSelected() != nullptr || !m_chain.empty();
    if (m_chain.empty())
        return false;
    if (vk == TAVLO_VK_ESCAPE || s.IsKey(CTavloSettings::CMD_VIEWBACK, vk)) {
        CloseLast();
        return true;
    }
    // The link keys move in the last popup while one is open.
    const bool next = s.IsKey(CTavloSettings::CMD_NEXTLINK, vk);
    if (next || s.IsKey(CTavloSettings::CMD_PREVLINK, vk)) {
        m_chain.back()->Ctrl()->SelectLink(next, false);
        m_chain.back()->Ctrl()->GetTextCtrl()->ScrollCaret();
        return true;
    }
    return false;
}

bool CTavloPopupSet::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress:
        if (ctrlOf(watched) && OnKeyDown(TavloEventVirtualKey(static_cast<QKeyEvent*>(e))))
            return true;
        break;
    case QEvent::MouseMove:
    case QEvent::Enter: {
        // A pointer arriving over the text (the window entered, a view shown under it) rests
        // there as well as one moved over it.
        CTavloDatCtrl* ctrl = ctrlOf(watched);
        if (!ctrl || CTavloSettings::Instance().PopupUse == 0)
            break;
        if (e->type() == QEvent::Enter && watched != ctrl->GetTextCtrl()->viewport())
            break;
        m_leave.stop();
        m_hoverCtrl = ctrl;
        m_hoverPos = e->type() == QEvent::Enter
                         ? static_cast<QEnterEvent*>(e)->position().toPoint()
                         : static_cast<QMouseEvent*>(e)->position().toPoint();
        m_hover.start(std::max(0, CTavloSettings::Instance().PopupDelay));
        break;
    }
    case QEvent::Hide:
        // The thread went out of sight (another tab or view): its popups go with it.
        if (watched == m_source->GetTextCtrl())
            closeOutOfSight();
        break;
    case QEvent::WindowDeactivate:
        // Another window took over; the check waits until the new one is known.
        if (watched == m_source->GetTextCtrl() && !m_chain.empty())
            QTimer::singleShot(0, this, &CTavloPopupSet::checkActive);
        break;
    case QEvent::Leave:
        if (ctrlOf(watched) && !m_chain.empty())
            m_leave.start(std::max(100, CTavloSettings::Instance().PopupDelay));
        break;
    default:
        break;
    }
    return false;
}
