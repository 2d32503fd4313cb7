// The thread view's posting commands: the post editor for the current thread and adding a
// selection to the templates.
#include "tavlo_dat_view.h"

#include "tavlo_errors.h"
#include "tavlo_info_file.h"
#include "tavlo_message_dialog.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_template_file.h"
#include "vorn_kcode.h"

#include <QPointer>
#include <QStringList>

namespace {

// ">>N" and, when quoting, the post's text with ">" before each line.
QString replyText(CTavloDatCtrl* c, int mode) {
    if (mode == CTavloDatView::EDIT_NEW)
        return {};
    int number = c->GetTopPost();
    if (number <= 0)
        return {};
    QString text = QString::fromLatin1(">>%1\r\n").arg(number);
    if (mode == CTavloDatView::EDIT_QUOTE) {
        QString post = QString::fromStdU16String(c->GetPostText(number)).trimmed();
        const QStringList lines = post.split(QStringLiteral("\r\n"));
        for (int i = 0; i < lines.size(); ++i) {
            text += QLatin1Char('>') + lines[i];
            if (i + 1 < lines.size())
                text += QStringLiteral("\r\n");
        }
    }
    return text;
}

} // namespace

void CTavloDatView::OpenEditor(int mode) {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c || (m_editor && m_editor->isVisible()))
        return;
    const CVornString boardUrl = c->GetBoardUrl();
    const CVornString key = c->GetKey();
    // One editor per view: kept for the same thread so that its draft survives.
    if (!m_editor || !(m_editor->GetBoardUrl() == boardUrl) || !(m_editor->GetKey() == key)) {
        m_editor =
            std::make_unique<CTavloMessageDialog>(c->GetTitle(), boardUrl, key, m_frame, this);
        const CTavloInfoFile& info = c->GetInfo();
        if (info.HasName)
            m_editor->SetSavedName(TavloQString(info.Name));
        if (info.HasMail)
            m_editor->SetSavedMail(TavloQString(info.Mail));
    }
    QString text = replyText(c, mode);
    if (!text.isEmpty())
        m_editor->AddQuote(text);
    QPointer<CTavloDatView> self(this);
    m_editor->SetOtherTransfer([self] { return self && self->IsBusy(); });
    if (m_editor->exec() != QDialog::Accepted || !self)
        return;

    // Posted: name and mail go to the thread's info and the histories, then the thread is
    // fetched so that the post shows.
    const CVornString name = m_editor->GetLastName();
    const CVornString mail = m_editor->GetLastMail();
    m_editor.reset();
    CTavloSettings& s = CTavloSettings::Instance();
    if (!name.IsEmpty())
        s.AddHistory(CTavloSettings::HISTORY_NAME, name);
    if (!mail.IsEmpty() && !(mail == "sage"))
        s.AddHistory(CTavloSettings::HISTORY_MAIL, mail);
    int tab = FindThread(boardUrl, key);
    if (tab < 0)
        return;
    CTavloDatCtrl* ctrl = GetCtrl(tab);
    CTavloInfoFile& info = ctrl->GetInfo();
    info.Name = name;
    info.HasName = true;
    info.Mail = mail;
    info.HasMail = true;
    CTavloInfoFile::Write(info);
    StartUpdate(ctrl);
}

void CTavloDatView::AddSelectionToTemplates() {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c || !c->GetTextCtrl()->HasSelection())
        return;
    CVornString selection(VornUtf16ToSjis(c->GetTextCtrl()->GetSelText()));
    CTavloTemplateFile& templates = CTavloTemplateFile::Instance();
    templates.InsertRow(0, {CTavloTemplateFile::FromSelection(selection)});
    if (templates.Save())
        TavloMessageBox(this, "定型文に追加しました", kTavloCaption, TAVLO_MB_ICONINFORMATION);
}
