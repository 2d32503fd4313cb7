#include "tavlo_placeholder_views.h"

#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QPainter>

void CTavloPlaceholder::note(QWidget* self, const QString& request) {
    m_requests.push_back(request);
    self->update();
}

void CTavloPlaceholder::paint(QWidget* self) {
    QPainter p(self);
    const CTavloSettings& s = CTavloSettings::Instance();
    p.fillRect(self->rect(), TavloColor(s.ColorBack));
    p.setPen(TavloColor(s.ColorFore));
    QFont font = TavloFont(s.FontName[CTavloSettings::FONT_LIST],
                           s.FontSize[CTavloSettings::FONT_LIST] + 2, 1);
    p.setFont(font);
    const int line = p.fontMetrics().height() + 4;
    int y = 8;
    p.drawText(QRect(8, y, self->width() - 16, line), Qt::AlignLeft | Qt::AlignVCenter, m_caption);
    y += line + 4;
    font.setWeight(QFont::Normal);
    p.setFont(font);
    p.setPen(TavloColor(s.ColorMessage));
    // The newest requests that fit, newest last.
    const int rows = std::max(0, (self->height() - y) / line);
    const size_t first = m_requests.size() > static_cast<size_t>(rows)
                             ? m_requests.size() - static_cast<size_t>(rows)
                             : 0;
    for (size_t i = first; i < m_requests.size(); ++i, y += line)
        p.drawText(QRect(8, y, self->width() - 16, line), Qt::AlignLeft | Qt::AlignVCenter,
                   m_requests[i]);
}

CTavloBoardPlaceholder::CTavloBoardPlaceholder(CTavloWindow* frame, QWidget* parent)
    : CTavloBoardViewBase(frame, parent), CTavloPlaceholder(QString::fromUtf8("板一覧")) {
    setFocusPolicy(Qt::StrongFocus);
}

void CTavloBoardPlaceholder::Search(const CVornString& word, int direction) {
    note(this, QString::fromUtf8("検索: %1 (%2)").arg(TavloQString(word)).arg(direction));
}

CTavloSubjectPlaceholder::CTavloSubjectPlaceholder(CTavloWindow* frame, QWidget* parent)
    : CTavloSubjectViewBase(frame, parent), CTavloPlaceholder(QString::fromUtf8("スレッド一覧")) {
    setFocusPolicy(Qt::StrongFocus);
}

int CTavloSubjectPlaceholder::OpenBoard(const CVornString& name, const CVornString& boardUrl,
                                        const CVornString& board) {
    m_boardUrl = boardUrl;
    m_title = TavloQString(name);
    note(this, QString::fromUtf8("板: %1 %2 %3")
                   .arg(TavloQString(name), TavloQString(boardUrl), TavloQString(board)));
    return 1;
}

void CTavloSubjectPlaceholder::Search(const CVornString& word, int direction) {
    note(this, QString::fromUtf8("絞り込み: %1").arg(TavloQString(word)));
}

int CTavloSubjectPlaceholder::Find2ch(const CVornString& url, const CVornString& words) {
    note(this,
         QString::fromUtf8("２ちゃんねる検索: %1 %2").arg(TavloQString(words), TavloQString(url)));
    return 0;
}

CTavloThreadPlaceholder::CTavloThreadPlaceholder(CTavloWindow* frame, QWidget* parent)
    : CTavloThreadViewBase(frame, parent), CTavloPlaceholder(QString::fromUtf8("スレッド")) {
    setFocusPolicy(Qt::StrongFocus);
}

int CTavloThreadPlaceholder::OpenThread(const CVornString& title, const CVornString& key,
                                        const CVornString& boardUrl, const CVornString& board,
                                        int number) {
    int found = -1;
    for (size_t i = 0; i < m_tabs.size(); ++i)
        if (m_tabs[i].boardUrl == boardUrl && m_tabs[i].key == key)
            found = static_cast<int>(i);
    if (found < 0) {
        m_tabs.push_back({title, key, boardUrl, board});
        found = static_cast<int>(m_tabs.size()) - 1;
    }
    m_current = found;
    note(this, QString::fromUtf8("スレッド: %1%2 (%3)")
                   .arg(TavloQString(boardUrl), TavloQString(key))
                   .arg(number));
    return 1;
}

bool CTavloThreadPlaceholder::JumpNumber(int number) {
    if (m_current < 0)
        return false;
    note(this, QString::fromUtf8("ジャンプ: %1").arg(number));
    return true;
}

bool CTavloThreadPlaceholder::GetCurrentBoard(CVornString* name, CVornString* boardUrl,
                                              CVornString* board) {
    if (m_current < 0)
        return false;
    const Tab& t = m_tabs[static_cast<size_t>(m_current)];
    if (name)
        name->Empty();
    if (boardUrl)
        *boardUrl = t.boardUrl;
    if (board)
        *board = t.board;
    return true;
}

std::vector<QString> CTavloThreadPlaceholder::ThreadTitles() const {
    std::vector<QString> titles;
    for (const Tab& t : m_tabs)
        titles.push_back(t.title.IsEmpty() ? TavloQString(t.key) : TavloQString(t.title));
    return titles;
}

void CTavloThreadPlaceholder::SelectTab(int index) {
    if (index >= 0 && index < GetTabCount())
        m_current = index;
}

void CTavloThreadPlaceholder::Search(const CVornString& word, int direction) {
    note(this, QString::fromUtf8("検索: %1 (%2)").arg(TavloQString(word)).arg(direction));
}

QString CTavloThreadPlaceholder::Title() const {
    if (m_current < 0)
        return QString();
    return ThreadTitles()[static_cast<size_t>(m_current)];
}

CTavloListPlaceholder::CTavloListPlaceholder(int container, const QString& caption,
                                             CTavloWindow* frame, QWidget* parent)
    : CTavloListViewBase(container, frame, parent), CTavloPlaceholder(caption) {
    setFocusPolicy(Qt::StrongFocus);
}

void CTavloListPlaceholder::Search(const CVornString& word, int direction) {
    note(this, QString::fromUtf8("検索: %1").arg(TavloQString(word)));
}

void CTavloListPlaceholder::Reload() {
    note(this, QString::fromUtf8("再読み込み"));
}

void CTavloListPlaceholder::RefreshLogPath(const CVornString& logPath) {
    note(this, QString::fromUtf8("更新: %1").arg(TavloQString(logPath)));
}

CTavloImagePlaceholder::CTavloImagePlaceholder(CTavloWindow* frame, QWidget* parent)
    : CTavloImageViewBase(frame, parent), CTavloPlaceholder(QString::fromUtf8("画像")) {
    setFocusPolicy(Qt::StrongFocus);
}

void CTavloImagePlaceholder::ShowText(const CVornString& text) {
    note(this, TavloQString(text));
}
