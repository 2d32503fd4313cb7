#include "tavlo_message_dialog.h"

#include "tavlo_errors.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_template_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>

const char* const CTavloMessageDialog::kBuiltinTemplates[25] = {
    "(´Д｀)",
    "ヽ(`Д´)ﾉ",
    "(((；ﾟДﾟ))ｶﾞｸｶﾞｸﾌﾞﾙﾌﾞﾙ",
    "( ´_ゝ`)ﾌｰﾝ",
    "(⊃д`)",
    "(´ー｀)",
    "(ﾟДﾟ)ｺﾞﾙｧ",
    "ｶﾞ━━(ﾟДﾟ;)━━ｿ!",
    "(ﾟДﾟ)ﾊｧ?",
    "(;´Д｀)ﾊｧﾊｧ",
    "(･∀･)ｲｲ!!",
    "(･Ａ･)ｲｸﾅｲ!!",
    "(･∀･)ｼﾞｻｸｼﾞｴﾝﾃﾞｼﾀ",
    "ｷﾀ━━━━━━(ﾟ∀ﾟ)━━━━━━ !!!!!",
    "ｷﾀ━(ﾟ∀ﾟ)━( ﾟ∀)━( 　ﾟ)━(　　)━(ﾟ 　)━(∀ﾟ )━(ﾟ∀ﾟ)━!!!!",
    "(´∀｀)",
    "ヽ(´▽｀)ﾉ",
    "(￣ー￣)ニヤリッ",
    "(´-`).｡ｏＯ(なんでだろう？)",
    "（　ﾟдﾟ）ﾎﾟｶｰﾝ",
    "Σ（ﾟдﾟlll）ｶﾞｰﾝ",
    "(´･ω･`)ｼｮﾎﾞｰﾝ",
    "y=ｰ( ﾟдﾟ)･∵.　ﾀｰﾝ",
    "(ﾟдﾟ)ｳﾏｰ",
    "(-＿-)ｳﾂﾀﾞ",
};

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The editor holds LF; posts and the saved texts use CR LF.
QString toCrLf(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

QString toLf(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

void fillHistory(QComboBox* combo, int history) {
    combo->clear();
    const CVornDataArray& list =
        CTavloSettings::Instance().HistoryList[static_cast<size_t>(history)];
    if (list.GetCount() == 0)
        return;
    combo->addItem(QString());
    for (const CVornString& entry : list.Items())
        combo->addItem(TavloQString(entry));
}

} // namespace

CTavloMessageDialog::CTavloMessageDialog(const CVornString& title, const CVornString& boardUrl,
                                         const CVornString& key, CTavloWindow* frame,
                                         QWidget* parent)
    : QDialog(parent), m_windowTitle(title), m_boardUrl(boardUrl), m_key(key), m_frame(frame) {
    build();
}

CTavloMessageDialog::CTavloMessageDialog(const CVornString& boardUrl, CTavloWindow* frame,
                                         QWidget* parent)
    : QDialog(parent), m_boardUrl(boardUrl), m_frame(frame) {
    build();
}

CTavloMessageDialog::~CTavloMessageDialog() = default;

void CTavloMessageDialog::build() {
    setObjectName(QString::number(IDD));
    setWindowTitle(U("メッセージ作成"));
    resize(480, 360);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    m_nameLabel = new QLabel(U("名前"), this);
    m_name = new QComboBox(this);
    m_name->setEditable(true);
    m_mailLabel = new QLabel(U("メール"), this);
    m_mail = new QComboBox(this);
    m_mail->setEditable(true);
    m_sage = new QCheckBox(U("sage"), this);
    m_titleLabel = new QLabel(U("タイトル"), this);
    m_title = new QLineEdit(this);
    m_template = new QComboBox(this);
    m_body = new QPlainTextEdit(this);
    m_name->setObjectName(QString::number(IDC_NAME));
    m_mail->setObjectName(QString::number(IDC_MAIL));
    m_sage->setObjectName(QString::number(IDC_SAGE));
    m_template->setObjectName(QString::number(IDC_TEMPLATE));
    m_body->setObjectName(QString::number(IDC_BODY));
    m_title->setObjectName(QString::number(IDC_TITLE));
    // The arrangement fills the client area and follows every resize.
    grid->addWidget(m_titleLabel, 0, 0);
    grid->addWidget(m_title, 0, 1, 1, 4);
    grid->addWidget(m_nameLabel, 1, 0);
    grid->addWidget(m_name, 1, 1);
    grid->addWidget(m_mailLabel, 1, 2);
    grid->addWidget(m_mail, 1, 3);
    grid->addWidget(m_sage, 1, 4);
    grid->addWidget(m_template, 2, 0, 1, 5);
    grid->addWidget(m_body, 3, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);

    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QString::number(IDR_MENU));
    m_cancelAction = m_menuBar->addAction(U("キャンセル"));
    m_popup = m_menuBar->addMenu(U("メニュー"));
    QAction* undo = m_popup->addAction(U("元に戻す"));
    QAction* cut = m_popup->addAction(U("切り取り"));
    QAction* copy = m_popup->addAction(U("コピー"));
    QAction* del = m_popup->addAction(U("削除"));
    QAction* paste = m_popup->addAction(U("貼り付け"));
    QAction* quote = m_popup->addAction(U("引用記号つき貼り付け"));
    m_popup->addSeparator();
    m_handsetAction = m_popup->addAction(U("IEみたいに送信(SoftBankのみ利用可)"));
    m_sendAction = m_popup->addAction(U("送信"));
    m_sendAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    addAction(m_sendAction);
    grid->setMenuBar(m_menuBar);

    connect(m_cancelAction, &QAction::triggered, this, [this] { OnCancel(); });
    connect(m_sendAction, &QAction::triggered, this, [this] { OnSend(); });
    connect(m_handsetAction, &QAction::triggered, this, [this] { OnSendHandset(); });
    connect(paste, &QAction::triggered, this, [this] { OnPaste(); });
    connect(quote, &QAction::triggered, this, [this] { OnPasteQuote(); });
    // Undo, cut, copy and delete go to the focused control.
    auto focused = [this](auto onEdit, auto onLine) {
        QWidget* w = focusWidget();
        if (auto* e = qobject_cast<QPlainTextEdit*>(w))
            onEdit(e);
        else if (auto* l = qobject_cast<QLineEdit*>(w))
            onLine(l);
    };
    connect(undo, &QAction::triggered, this, [focused] {
        focused([](QPlainTextEdit* e) { e->undo(); }, [](QLineEdit* l) { l->undo(); });
    });
    connect(cut, &QAction::triggered, this, [focused] {
        focused([](QPlainTextEdit* e) { e->cut(); }, [](QLineEdit* l) { l->cut(); });
    });
    connect(copy, &QAction::triggered, this, [focused] {
        focused([](QPlainTextEdit* e) { e->copy(); }, [](QLineEdit* l) { l->copy(); });
    });
    connect(del, &QAction::triggered, this, [focused] {
        focused([](QPlainTextEdit* e) { e->textCursor().removeSelectedText(); },
                [](QLineEdit* l) { l->del(); });
    });
    connect(m_sage, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            m_mail->setEditText(U("sage"));
        else if (m_mail->currentText() == U("sage"))
            m_mail->setEditText(QString());
    });
    connect(m_template, &QComboBox::activated, this, [this](int index) { OnTemplate(index); });
}

void CTavloMessageDialog::initDialog() {
    CTavloSettings& s = CTavloSettings::Instance();
    m_titleLabel->hide();
    m_title->hide();
    setWindowTitle(m_windowTitle.IsEmpty() ? U("メッセージ作成") : TavloQString(m_windowTitle));
    fillHistory(m_name, CTavloSettings::HISTORY_NAME);
    fillHistory(m_mail, CTavloSettings::HISTORY_MAIL);
    m_template->clear();
    if (s.UseDefaultTemplate == 1)
        for (const char* t : kBuiltinTemplates)
            m_template->addItem(U(t));
    CTavloTemplateFile& templates = CTavloTemplateFile::Instance();
    for (int i = 0; i < templates.GetRowCount(); ++i)
        m_template->insertItem(i, TavloQString(templates.GetTemplate(i)));
    m_template->setCurrentIndex(-1);
    m_font = TavloFont(s.FontName[CTavloSettings::FONT_MESSAGE],
                       s.FontSize[CTavloSettings::FONT_MESSAGE],
                       s.FontBold[CTavloSettings::FONT_MESSAGE]);
    setFont(m_font);
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_mail, m_sage, m_template, m_body,
                                                      m_title, m_titleLabel})
        w->setFont(m_font);
    m_name->setEditText(m_savedName);
    m_mail->setEditText(m_savedMail);
    m_body->setPlainText(toLf(m_savedBody));
    m_sage->setChecked(m_savedMail == U("sage"));
    if (m_savedMail.isEmpty() && s.Sage == 1) {
        m_sage->setChecked(true);
        m_mail->setEditText(U("sage"));
    }
    QTextCursor c = m_body->textCursor();
    c.movePosition(QTextCursor::End);
    m_body->setTextCursor(c);
    m_body->ensureCursorVisible();
    if (s.FocusOnMessage == 1)
        m_body->setFocus();
    m_stop = false;
}

int CTavloMessageDialog::exec() {
    initDialog();
    return QDialog::exec();
}

void CTavloMessageDialog::Open() {
    initDialog();
    show();
}

void CTavloMessageDialog::AddQuote(const QString& text) {
    if (!m_savedBody.isEmpty())
        m_savedBody += U("\r\n");
    m_savedBody += text;
    if (!text.endsWith(QLatin1Char('\n')))
        m_savedBody += U("\r\n");
}

QString CTavloMessageDialog::BodyText() const {
    return toCrLf(m_body->toPlainText());
}

QString CTavloMessageDialog::PasteText(const QString& clip) {
    if (!clip.contains(U("\r\n")) && clip.contains(QLatin1Char('\n'))) {
        QString t = clip;
        t.replace(QLatin1Char('\n'), U("\r\n"));
        return t;
    }
    return clip;
}

QString CTavloMessageDialog::QuoteText(const QString& clip) {
    const QString brk = clip.contains(U("\r\n")) ? U("\r\n") : U("\n");
    QString t = clip;
    t.replace(brk, U("\r\n>"));
    t.prepend(QLatin1Char('>'));
    if (t.endsWith(QLatin1Char('>')))
        t.chop(1);
    return t;
}

void CTavloMessageDialog::insertText(const QString& text) {
    QWidget* w = focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->insert(text);
        return;
    }
    m_body->textCursor().insertText(toLf(text));
}

void CTavloMessageDialog::OnPaste() {
    insertText(PasteText(QApplication::clipboard()->text()));
}

void CTavloMessageDialog::OnPasteQuote() {
    insertText(QuoteText(QApplication::clipboard()->text()));
}

void CTavloMessageDialog::OnTemplate(int index) {
    if (index < 0 || index >= m_template->count())
        return;
    QString t = m_template->itemText(index);
    t.replace(U("\\n"), U("\r\n"));
    m_body->textCursor().insertText(toLf(t));
    m_body->setFocus();
}

void CTavloMessageDialog::keepTexts() {
    m_savedName = m_name->currentText();
    m_savedMail = m_mail->currentText();
    m_savedBody = BodyText();
}

void CTavloMessageDialog::buildRequest(CTavloPostRequest& r) {
    r.Key = m_key;
}

void CTavloMessageDialog::enableControls(bool enable) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_mail, m_sage, m_template, m_body})
        w->setEnabled(enable);
    m_sendAction->setEnabled(enable);
    m_handsetAction->setEnabled(enable);
}

int CTavloMessageDialog::Submit(int handset) {
    CTavloPostRequest r;
    r.BoardUrl = m_boardUrl;
    r.Handset = handset;
    r.Name = TavloSjis(m_name->currentText());
    r.Mail = TavloSjis(m_mail->currentText());
    r.Body = TavloSjis(BodyText());
    buildRequest(r);
    m_lastName = r.Name;
    m_lastMail = r.Mail;
    // The draft is kept before anything goes out: whatever happens to the transfer, it comes
    // back at the next opening.
    keepTexts();
    CTavloPoster::Hooks hooks;
    hooks.window = m_frame;
    hooks.stop = [this] { return m_stop; };
    hooks.message = [this](const std::string& text, int flags) {
        return TavloMessageBox(this, text.c_str(), kTavloCaption, flags);
    };
    hooks.otherTransfer = m_otherTransfer;
    CTavloPoster poster(hooks);
    m_stop = false;
    m_posting = true;
    enableControls(false);
    int result = poster.Submit(r);
    enableControls(true);
    m_posting = false;
    return result;
}

void CTavloMessageDialog::OnSend() {
    // A post of another editor is running: this one waits its turn (nothing is sent and the
    // draft stays).
    if (m_posting || CTavloPoster::InProgress())
        return;
    int result = Submit(0);
    m_lastResult = result;
    if (result == 0) {
        m_savedBody.clear();
        accept();
        return;
    }
    if (result == -602 || result == -1)
        return;
    TavloMessageBox(this, TavloErrorMessage(result), kTavloErrorCaption, TAVLO_MB_ICONERROR);
}

void CTavloMessageDialog::OnSendHandset() {
    if (m_posting || CTavloPoster::InProgress() || !m_handsetAction->isEnabled())
        return;
    int result = Submit(1);
    m_lastResult = result;
    if (result == 0) {
        m_savedBody.clear();
        accept();
        return;
    }
    if (result == -602 || result == -1)
        return;
    TavloMessageBox(this, TavloErrorMessage(result), kTavloErrorCaption, TAVLO_MB_ICONERROR);
}

void CTavloMessageDialog::OnCancel() {
    if (m_posting) {
        if (TavloMessageBox(this, "キャンセルしますか？", kTavloCaption,
                            TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES)
            m_stop = true;
        return;
    }
    keepTexts();
    QDialog::reject();
}

void CTavloMessageDialog::reject() {
    // Escape and the window's close button are Cancel: the draft is kept.
    OnCancel();
}

void CTavloMessageDialog::closeEvent(QCloseEvent* event) {
    if (m_posting) {
        event->ignore();
        OnCancel();
        return;
    }
    keepTexts();
    QDialog::closeEvent(event);
}

// ---- new thread ----------------------------------------------------------------------------

CTavloThreadDialog::CTavloThreadDialog(const CVornString& boardUrl, CTavloWindow* frame,
                                       QWidget* parent)
    : CTavloMessageDialog(boardUrl, frame, parent) {
    // Handset mode is never offered here.
    m_handsetAction->setEnabled(false);
    connect(PopupMenu(), &QMenu::aboutToShow, this, [this] { m_handsetAction->setEnabled(false); });
}

void CTavloThreadDialog::initDialog() {
    CTavloMessageDialog::initDialog();
    m_titleLabel->show();
    m_title->show();
    m_title->setFont(font());
    m_title->setText(m_savedTitle);
    m_handsetAction->setEnabled(false);
}

void CTavloThreadDialog::buildRequest(CTavloPostRequest& r) {
    r.Key.Empty();
    r.Title = TavloSjis(m_title->text());
    m_savedTitle = m_title->text();
}

void CTavloThreadDialog::enableControls(bool enable) {
    CTavloMessageDialog::enableControls(enable);
    m_title->setEnabled(enable);
    m_titleLabel->setEnabled(enable);
    m_handsetAction->setEnabled(false);
}

int CTavloThreadDialog::Submit(int handset) {
    if (handset)
        return -602;
    if (m_title->text().isEmpty())
        return -601;
    return CTavloMessageDialog::Submit(0);
}
