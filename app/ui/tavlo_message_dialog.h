#pragma once

#include "tavlo_http_fetch.h"
#include "tavlo_post.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <QDialog>
#include <QFont>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;

// The post editor: a reply to a thread, with name and mail histories, "sage", templates and
// the body. Its texts survive a cancelled run as long as the object lives; only a successful
// post empties the body.
class CTavloMessageDialog : public QDialog {
public:
    enum {
        IDD = 132,
        IDR_MENU = 159,
        IDC_NAME = 1007,
        IDC_MAIL = 1008,
        IDC_BODY = 1014,
        IDC_NAME_LABEL = 1050,
        IDC_SAGE = 1051,
        IDC_TEMPLATE = 1052,
        IDC_MAIL_LABEL = 1053,
        IDC_TITLE_LABEL = 1069,
        IDC_TITLE = 1070,
    };

    // A reply: the thread's title (window title), board URL and key.
    CTavloMessageDialog(const CVornString& title, const CVornString& boardUrl,
                        const CVornString& key, CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloMessageDialog() override;

    // Fills the controls from the settings and the saved texts, then runs modally. Accepted
    // when a post succeeded.
    int exec() override;
    // The same opening without the modal loop (tests drive the shown dialog).
    void Open();

    // The thread view's quote: appended to the saved body on its own lines.
    void AddQuote(const QString& text);
    // Saved texts (what comes back at the next opening).
    void SetSavedName(const QString& name) { m_savedName = name; }
    void SetSavedMail(const QString& mail) { m_savedMail = mail; }
    const QString& GetSavedName() const { return m_savedName; }
    const QString& GetSavedMail() const { return m_savedMail; }
    const QString& GetSavedBody() const { return m_savedBody; }
    // What the last post sent (Shift_JIS), for the caller's history.
    const CVornString& GetLastName() const { return m_lastName; }
    const CVornString& GetLastMail() const { return m_lastMail; }
    const CVornString& GetBoardUrl() const { return m_boardUrl; }
    const CVornString& GetKey() const { return m_key; }
    // Whether another transfer runs that a post over another connection must wait for.
    void SetOtherTransfer(std::function<bool()> running) { m_otherTransfer = std::move(running); }

    // The posting procedure; a result code.
    virtual int Submit(int handset);

    // Commands of the menu.
    void OnSend();
    void OnSendHandset();
    void OnCancel();
    void OnPaste();
    void OnPasteQuote();
    void OnTemplate(int index);
    bool IsPosting() const { return m_posting; }
    int GetLastResult() const { return m_lastResult; }

    QComboBox* NameCombo() const { return m_name; }
    QComboBox* MailCombo() const { return m_mail; }
    QCheckBox* SageCheck() const { return m_sage; }
    QComboBox* TemplateCombo() const { return m_template; }
    QPlainTextEdit* BodyEdit() const { return m_body; }
    QLineEdit* TitleEdit() const { return m_title; }
    QMenuBar* Menu() const { return m_menuBar; }
    QMenu* PopupMenu() const { return m_popup; }
    QAction* HandsetAction() const { return m_handsetAction; }
    QAction* SendAction() const { return m_sendAction; }
    QAction* CancelAction() const { return m_cancelAction; }
    // The body as posted: line breaks as CR LF.
    QString BodyText() const;

    // Clipboard text as Paste inserts it, and as Paste with quote marks does.
    static QString PasteText(const QString& clip);
    static QString QuoteText(const QString& clip);
    // The 25 built-in templates (UTF-8).
    static const char* const kBuiltinTemplates[25];

    void reject() override;

protected:
    // New thread: no key, no window title text.
    CTavloMessageDialog(const CVornString& boardUrl, CTavloWindow* frame, QWidget* parent);

    virtual void initDialog();
    virtual void buildRequest(CTavloPostRequest& request);
    virtual void enableControls(bool enable);
    void closeEvent(class QCloseEvent* event) override;

    QLabel* m_titleLabel = nullptr;
    QLineEdit* m_title = nullptr;
    QAction* m_handsetAction = nullptr;

private:
    void build();
    void insertText(const QString& text);
    void keepTexts();

    CVornString m_windowTitle;
    CVornString m_boardUrl;
    CVornString m_key;
    CVornString m_lastName;
    CVornString m_lastMail;
    QFont m_font;
    QString m_savedName, m_savedMail, m_savedBody;
    CTavloWindow* m_frame;
    std::function<bool()> m_otherTransfer;
    bool m_posting = false;
    bool m_stop = false;
    int m_lastResult = 0;

    QComboBox* m_name = nullptr;
    QComboBox* m_mail = nullptr;
    QCheckBox* m_sage = nullptr;
    QComboBox* m_template = nullptr;
    QPlainTextEdit* m_body = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_mailLabel = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_popup = nullptr;
    QAction* m_sendAction = nullptr;
    QAction* m_cancelAction = nullptr;
};

// The new-thread editor: the post editor with a title field; no handset mode.
class CTavloThreadDialog : public CTavloMessageDialog {
public:
    CTavloThreadDialog(const CVornString& boardUrl, CTavloWindow* frame, QWidget* parent = nullptr);
    int Submit(int handset) override;
    const QString& GetSavedTitle() const { return m_savedTitle; }

protected:
    void initDialog() override;
    void buildRequest(CTavloPostRequest& request) override;
    void enableControls(bool enable) override;

private:
    QString m_savedTitle;
};
