#include "tavlo_grep_dialog.h"

#include "tavlo_keys.h"
#include "tavlo_settings.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QVBoxLayout>

namespace {

// The window's post control: its keys and anchors belong to the window.
class CGrepPostCtrl : public CTavloDatCtrl {
public:
    explicit CGrepPostCtrl(CTavloGrepDialog* dialog) : CTavloDatCtrl(dialog), m_dialog(dialog) {}

protected:
    bool OnKeyDown(QKeyEvent* e) override {
        return m_dialog->OnKeyDown(TavloEventVirtualKey(e), e->modifiers());
    }
    void OnAnchorJump(int number) override { m_dialog->JumpToThreadPost(number); }

private:
    CTavloGrepDialog* m_dialog;
};

} // namespace

CTavloGrepDialog::CTavloGrepDialog(CTavloDatCtrl* source, const std::vector<int>& numbers,
                                   JumpHandler onJump, QWidget* parent)
    : QDialog(parent), m_numbers(numbers), m_onJump(std::move(onJump)) {
    setWindowTitle(QString::fromUtf8("抽出"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_menu = new QMenuBar(this);
    layout->setMenuBar(m_menu);
    auto add = [this](const char* label, int id, bool checkable = false) {
        QAction* a = m_menu->addAction(QString::fromUtf8(label));
        a->setCheckable(checkable);
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return a;
    };
    add("戻る", ID_GREP_BACK);
    add("レスコピー", ID_GREP_COPY);
    add("全てコピー", ID_GREP_COPYALL);
    m_wrapAction = add("折り返し", ID_GREP_WRAP, true);
    add("ジャンプ", ID_GREP_JUMP);

    m_ctrl = std::make_unique<CGrepPostCtrl>(this);
    m_ctrl->SetHideAboned(source->GetHideAboned());
    m_ctrl->SetArticleFont(source->GetTextCtrl()->GetTextFont());
    layout->addWidget(m_ctrl->GetTextCtrl());
    std::u16string display;
    for (int n : m_numbers) {
        display += source->GetPostDisplay(n);
        m_texts.push_back(source->GetPostText(n));
    }
    m_ctrl->SetDisplayText(std::move(display));
    m_wrapAction->setChecked(m_ctrl->GetTextCtrl()->GetWrap());
    resize(parent ? parent->size() : QSize(600, 400));
}

CTavloGrepDialog::~CTavloGrepDialog() = default;

int CTavloGrepDialog::CurrentNumber() const {
    int k = m_ctrl->GetTopPost();
    if (k < 1 || k > static_cast<int>(m_numbers.size()))
        return m_numbers.empty() ? 0 : m_numbers.front();
    return m_numbers[static_cast<size_t>(k - 1)];
}

std::u16string CTavloGrepDialog::AllText() const {
    std::u16string all;
    for (const auto& t : m_texts)
        all += t;
    return all;
}

void CTavloGrepDialog::JumpToThreadPost(int number) {
    close();
    if (m_onJump && number > 0)
        m_onJump(number, true);
}

void CTavloGrepDialog::OnCommand(int id) {
    switch (id) {
    case ID_GREP_BACK:
        close();
        break;
    case ID_GREP_COPY: {
        int k = std::max(1, m_ctrl->GetTopPost());
        if (k <= static_cast<int>(m_texts.size()))
            QGuiApplication::clipboard()->setText(
                QString::fromStdU16String(m_texts[static_cast<size_t>(k - 1)]));
        break;
    }
    case ID_GREP_COPYALL:
        QGuiApplication::clipboard()->setText(QString::fromStdU16String(AllText()));
        break;
    case ID_GREP_WRAP:
        m_ctrl->SetWrap(!m_ctrl->GetTextCtrl()->GetWrap());
        m_wrapAction->setChecked(m_ctrl->GetTextCtrl()->GetWrap());
        break;
    case ID_GREP_JUMP: {
        int number = CurrentNumber();
        close();
        if (m_onJump && number > 0)
            m_onJump(number, false);
        break;
    }
    default:
        break;
    }
}

bool CTavloGrepDialog::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    if (vk == 0)
        return false;
    const CTavloSettings& s = CTavloSettings::Instance();
    auto is = [&](int c) { return s.IsKey(c, vk); };
    CTavloTextCtrl* text = m_ctrl->GetTextCtrl();
    if (is(CTavloSettings::CMD_VIEWBACK)) {
        close();
    } else if (is(CTavloSettings::CMD_PAGEUP)) {
        text->LineScroll(-std::max(1, text->GetPageLines()));
    } else if (is(CTavloSettings::CMD_PAGEDOWN)) {
        text->LineScroll(std::max(1, text->GetPageLines()));
    } else if (is(CTavloSettings::CMD_PREVLINE)) {
        text->LineScroll(-1);
    } else if (is(CTavloSettings::CMD_NEXTLINE)) {
        text->LineScroll(1);
    } else if (is(CTavloSettings::CMD_NEXT)) {
        m_ctrl->NextPost();
    } else if (is(CTavloSettings::CMD_PREV)) {
        m_ctrl->PrevPost();
    } else if (is(CTavloSettings::CMD_TOP)) {
        m_ctrl->FirstPost();
    } else if (is(CTavloSettings::CMD_BOTTOM)) {
        m_ctrl->LastPost();
    } else if (is(CTavloSettings::CMD_COPYMESSAGE)) {
        OnCommand(ID_GREP_COPY);
    } else {
        return false;
    }
    return true;
}

void CTavloGrepDialog::keyPressEvent(QKeyEvent* e) {
    if (OnKeyDown(TavloEventVirtualKey(e), e->modifiers()))
        return;
    QDialog::keyPressEvent(e);
}
