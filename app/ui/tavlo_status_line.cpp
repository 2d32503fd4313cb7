#include "tavlo_status_line.h"

#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_errors.h"
#include "tavlo_info_file.h"
#include "tavlo_message.h"
#include "tavlo_transfer_note.h"

#include <QLabel>

#include <algorithm>

namespace {

// Fetches remembered after they ended (bookmark checks run many at once).
constexpr size_t kKept = 64;

QLabel* segment(QStatusBar* bar, const char* name, int stretch) {
    auto* label = new QLabel(bar);
    label->setObjectName(QString::fromUtf8(name));
    label->setContentsMargins(6, 0, 6, 0);
    bar->addWidget(label, stretch);
    return label;
}

int countLines(const CVornString& text) {
    return static_cast<int>(std::count(text.str().begin(), text.str().end(), '\n'));
}

} // namespace

CTavloStatusLine::CTavloStatusLine(QWidget* parent) : QStatusBar(parent) {
    setObjectName("statusline");
    setSizeGripEnabled(false);
    m_status = segment(this, "status", 0);
    m_posts = segment(this, "posts", 0);
    m_new = segment(this, "new", 0);
    m_bytes = segment(this, "bytes", 1);
}

QString CTavloStatusLine::Grouped(int64_t value) {
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, ',');
    return value < 0 ? "-" + digits : digits;
}

QString CTavloStatusLine::StatusText(int status, int result) {
    if (status > 0)
        return QStringLiteral("HTTP %1").arg(status);
    if (result == -1)
        return QString::fromUtf8("中止");
    if (result < 0)
        return QString::fromUtf8(TavloErrorMessage(result));
    return QString();
}

void CTavloStatusLine::OnViewMessage(const CTavloMessage* message) {
    if (!message || message->DatPath.IsEmpty())
        return;
    const std::string path = message->DatPath.str();
    switch (message->Type) {
    case CTavloMessage::TYPE_OPENFILE: {
        Fetch& f = m_fetches[path];
        f = Fetch{message->BoardUrl, message->Key, 0, ++m_order};
        if (m_fetches.size() > kKept) {
            // The oldest goes.
            auto oldest = std::min_element(
                m_fetches.begin(), m_fetches.end(),
                [](const auto& a, const auto& b) { return a.second.Order < b.second.Order; });
            m_fetches.erase(oldest);
        }
        break;
    }
    case CTavloMessage::TYPE_WRITEFILE:
        if (auto it = m_fetches.find(path); it != m_fetches.end())
            it->second.NewPosts +=
                countLines(static_cast<const CTavloWriteFileMessage*>(message)->Text);
        break;
    default:
        break;
    }
}

void CTavloStatusLine::Refresh(CTavloThreadViewBase* thread) {
    const CTavloTransferNote note = TavloLastTransfer();
    if (note.Serial == 0)
        return;
    m_status->setText(StatusText(note.Status, note.Result));
    m_bytes->setText(QString::fromUtf8("受信 %1 バイト").arg(Grouped(note.Received)));
    auto it = note.LogPath.IsEmpty() ? m_fetches.end() : m_fetches.find(note.LogPath.str());
    if (it == m_fetches.end()) {
        // A list, a menu or an image; or a thread fetch that never opened its log.
        m_posts->clear();
        m_new->clear();
        showFilled();
        return;
    }
    const Fetch& f = it->second;
    int posts = -1;
    if (auto* host = dynamic_cast<CTavloDatViewHost*>(thread)) {
        const int tab = host->View()->FindThread(f.BoardUrl, f.Key);
        if (CTavloDatCtrl* ctrl = host->View()->GetCtrl(tab))
            posts = ctrl->GetPostCount();
    }
    if (posts < 0)
        posts = std::max(0, CTavloInfoFile::GetCount(f.BoardUrl, f.Key));
    m_posts->setText(QString::fromUtf8("%1 レス").arg(posts));
    m_new->setText(QString::fromUtf8("新着 %1").arg(f.NewPosts));
    showFilled();
}

void CTavloStatusLine::showFilled() {
    // An empty segment takes no room.
    for (QLabel* l : {m_status, m_posts, m_new, m_bytes})
        l->setVisible(!l->text().isEmpty());
}

QString CTavloStatusLine::Text() const {
    QStringList parts;
    for (const QLabel* l : {m_status, m_posts, m_new, m_bytes})
        if (!l->text().isEmpty())
            parts << l->text();
    return parts.join(" | ");
}
