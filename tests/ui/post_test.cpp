// Posting from the program against the local board server: the reply key, the editor, the
// board's answers and the reload; drafts, templates, "sage", and boards that misbehave.
#include "fetch_support.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_message_dialog.h"
#include "tavlo_path.h"
#include "tavlo_subject_view.h"
#include "tavlo_template_file.h"
#include "tavlo_views.h"
#include "ui_test_util.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoardUrl[] = "http://news.example-bbs.test/news/";

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::string Enc(const QString& text) {
    return CVornString(TavloSjis(text)).UrlEncode().str();
}

// The posts the board server received: fields (raw, in order) and cookie.
struct Received {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string cookie;
    long long pageTime = 0;
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (auto& f : fields)
            out.push_back(f.first);
        return out;
    }
    std::string raw(const std::string& name) const {
        for (auto& f : fields)
            if (f.first == name)
                return f.second;
        return "<missing>";
    }
};

class Posting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetOnline(1);
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
        boxes.boxes.clear();
    }
    void TearDown() override { CTavloTemplateFile::Destroy(); }

    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=news&key=" + key + more);
    }
    void postMode(const std::string& mode) {
        ASSERT_EQ(fx.sim.control(std::string("/_ctl/postmode?host=") + kHost +
                                 "&board=news&mode=" + mode),
                  "ok");
    }
    std::vector<Received> received() {
        std::vector<Received> out;
        QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(fx.sim.control("/_ctl/posts")));
        for (const QJsonValue& v : doc.array()) {
            Received r;
            for (const QJsonValue& fv : v.toObject().value("fields").toArray())
                r.fields.emplace_back(fv.toArray()[0].toString().toStdString(),
                                      fv.toArray()[1].toString().toStdString());
            r.cookie = v.toObject().value("cookie").toString().toStdString();
            r.pageTime = static_cast<long long>(v.toObject().value("page_time").toDouble());
            out.push_back(r);
        }
        return out;
    }
    CTavloDatView* view() { return static_cast<CTavloDatViewHost*>(f->Views().thread)->View(); }
    bool idle() { return !f->Views().thread->IsBusy(); }
    void open(const std::string& key) {
        f->OnCommand(ID_JUMP);
        f->GetJumpBar()->GetCombo()->setEditText(QString::fromStdString(
            std::string("http://") + kHost + "/test/read.cgi/news/" + key + "/"));
        f->GetJumpBar()->GetOkButton()->click();
        ASSERT_TRUE(PumpUntil(
            [&] {
                return view()->GetCurrentCtrl() &&
                       view()->GetCurrentCtrl()->GetKey() == key.c_str() && idle();
            },
            15000));
    }
    // Runs body on the post editor once it is the modal window (from inside its exec), after
    // which trigger() is expected to return. Returns whether body ran.
    bool withEditor(const std::function<void()>& trigger,
                    const std::function<void(CTavloMessageDialog*)>& body) {
        bool ran = false;
        int tries = 0;
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [&, weak = std::weak_ptr(poll)] {
            if (weak.expired())
                return; // the test that set it up is over
            if (auto* d = dynamic_cast<CTavloMessageDialog*>(QApplication::activeModalWidget())) {
                ran = true;
                body(d);
                // Whatever the body left open is closed: the test goes on.
                if (d->isVisible() && !d->IsPosting())
                    d->OnCancel();
            } else if (++tries < 500) {
                if (auto again = weak.lock())
                    QTimer::singleShot(20, *again);
            }
        };
        QTimer::singleShot(0, *poll);
        trigger();
        return ran;
    }

    BoardFixture fx;
    BoxLog boxes;
    ShellRun run{fx.dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

TEST_F(Posting, ReplyKeyOpensTheEditorWithTheAnchorAndThePostShowsAfterTheReload) {
    ASSERT_EQ(ctl("create", "1700000500", "&posts=8"), "ok");
    open("1700000500");
    ASSERT_TRUE(view()->JumpNumber(3));
    const int top = view()->GetCurrentCtrl()->GetTopPost();
    ASSERT_GT(top, 0);
    const int before = view()->GetCurrentCtrl()->GetPostCount();

    QApplication::clipboard()->setText(U("日本語の貼り付け①"));
    QString body;
    ASSERT_TRUE(withEditor([&] { QTest::keyClick(f, Qt::Key_W); },
                           [&](CTavloMessageDialog* d) {
                               EXPECT_EQ(d->BodyText(), QString(">>%1\r\n").arg(top));
                               // The title is the thread's; "sage" comes from the setting.
                               EXPECT_TRUE(d->SageCheck()->isChecked());
                               EXPECT_EQ(d->MailCombo()->currentText(), U("sage"));
                               d->NameCombo()->setEditText(U("テスト太郎"));
                               d->BodyEdit()->setFocus();
                               QTest::keyClicks(d->BodyEdit(), "hello ");
                               d->OnPaste();
                               body = d->BodyText();
                               EXPECT_TRUE(SaveShot(d, "post_editor.png"));
                               d->SendAction()->trigger();
                           }));
    EXPECT_EQ(body, QString(">>%1\r\nhello ").arg(top) + U("日本語の貼り付け①"));
    EXPECT_TRUE(boxes.texts().empty()) << boxes.last().text.toStdString();
    EXPECT_EQ(view()->GetEditor(), nullptr);

    // The board got the form in order and in Shift_JIS, and a second round with its cookies.
    std::vector<Received> r = received();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].names(), (std::vector<std::string>{"submit", "FROM", "mail", "MESSAGE", "bbs",
                                                      "time", "key"}));
    EXPECT_EQ(r[0].raw("MESSAGE"), Enc(body));
    EXPECT_EQ(r[0].raw("FROM"), Enc(U("テスト太郎")));
    EXPECT_EQ(r[0].raw("mail"), "sage");
    EXPECT_EQ(r[0].raw("key"), "1700000500");
    EXPECT_EQ(r[1].cookie, "PON=a1b2c3; yuki=akari");
    EXPECT_EQ(std::stoll(r[1].raw("time")), r[0].pageTime - 15);
    EXPECT_EQ(r[1].names().back(), "submit");

    // The reload brings the post into the open thread.
    ASSERT_TRUE(PumpUntil(
        [&] { return idle() && view()->GetCurrentCtrl()->GetPostCount() > before; }, 15000));
    CTavloDatCtrl* c = view()->GetCurrentCtrl();
    EXPECT_EQ(c->GetPostCount(), before + 1);
    QString last = QString::fromStdU16String(c->GetPostText(before + 1));
    EXPECT_TRUE(last.contains(U("日本語の貼り付け①"))) << last.toStdString();
    EXPECT_TRUE(last.contains(U("テスト太郎")));
    // Name to the history and the info record; "sage" not to the mail history.
    CTavloSettings& s = CTavloSettings::Instance();
    ASSERT_GT(s.HistoryList[CTavloSettings::HISTORY_NAME].GetCount(), 0);
    EXPECT_EQ(TavloQString(s.HistoryList[CTavloSettings::HISTORY_NAME].Items()[0]),
              U("テスト太郎"));
    EXPECT_EQ(s.HistoryList[CTavloSettings::HISTORY_MAIL].GetCount(), 0);
    EXPECT_EQ(TavloQString(c->GetInfo().Name), U("テスト太郎"));
}

TEST_F(Posting, ACancelledDraftComesBackForTheSameThreadOnly) {
    ASSERT_EQ(ctl("create", "1700000600", "&posts=3"), "ok");
    ASSERT_EQ(ctl("create", "1700000601", "&posts=3"), "ok");
    open("1700000600");
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                           [&](CTavloMessageDialog* d) {
                               d->NameCombo()->setEditText(U("名前"));
                               d->MailCombo()->setEditText(U("age"));
                               d->BodyEdit()->setPlainText(U("下書き\n二行目"));
                               d->CancelAction()->trigger();
                           }));
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                           [&](CTavloMessageDialog* d) {
                               EXPECT_EQ(d->NameCombo()->currentText(), U("名前"));
                               EXPECT_EQ(d->MailCombo()->currentText(), U("age"));
                               EXPECT_FALSE(d->SageCheck()->isChecked());
                               EXPECT_EQ(d->BodyText(), U("下書き\r\n二行目"));
                               // Escape is a Cancel too: the draft stays.
                               QTest::keyClick(d->BodyEdit(), Qt::Key_Escape);
                           }));
    EXPECT_EQ(view()->GetEditor()->GetSavedBody(), U("下書き\r\n二行目"));
    open("1700000601");
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                           [&](CTavloMessageDialog* d) {
                               EXPECT_EQ(d->NameCombo()->currentText(), QString());
                               EXPECT_EQ(d->BodyText(), QString());
                               EXPECT_EQ(d->MailCombo()->currentText(), U("sage"));
                           }));
}

TEST_F(Posting, EditorCommandsSageTemplatesAndQuotedPaste) {
    WriteAll(fx.root() + "/template.txt", Sjis("a\\nb\r\n\r\nふたつめ\r\n"));
    CTavloTemplateFile::Destroy();
    ASSERT_EQ(ctl("create", "1700000700", "&posts=3"), "ok");
    open("1700000700");
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                           [&](CTavloMessageDialog* d) {
                               // File templates first, then the 25 built-in ones.
                               QComboBox* t = d->TemplateCombo();
                               ASSERT_EQ(t->count(), 27);
                               EXPECT_EQ(t->itemText(0), U("a\\nb"));
                               EXPECT_EQ(t->itemText(1), U("ふたつめ"));
                               EXPECT_EQ(t->itemText(2), U("(´Д｀)"));
                               EXPECT_EQ(t->itemText(26), U("(-＿-)ｳﾂﾀﾞ"));
                               d->OnTemplate(0);
                               EXPECT_EQ(d->BodyText(), U("a\r\nb"));
                               // "sage" on and off.
                               QTest::mouseClick(d->SageCheck(), Qt::LeftButton);
                               EXPECT_EQ(d->MailCombo()->currentText(), QString());
                               QTest::mouseClick(d->SageCheck(), Qt::LeftButton);
                               EXPECT_EQ(d->MailCombo()->currentText(), U("sage"));
                               // Quoted paste replaces the selection of the body.
                               d->BodyEdit()->selectAll();
                               d->BodyEdit()->setFocus();
                               QApplication::clipboard()->setText(U("x\ny"));
                               d->OnPasteQuote();
                               EXPECT_EQ(d->BodyText(), U(">x\r\n>y"));
                           }));
    EXPECT_EQ(CTavloMessageDialog::QuoteText(U("x\r\n")), U(">x\r\n"));
    EXPECT_EQ(CTavloMessageDialog::QuoteText(U("a\r\nb\r\nc")), U(">a\r\n>b\r\n>c"));
    EXPECT_EQ(CTavloMessageDialog::PasteText(U("a\nb")), U("a\r\nb"));
    EXPECT_EQ(CTavloMessageDialog::PasteText(U("a\r\nb\nc")), U("a\r\nb\nc"));

    // Adding a selection to the templates puts it first, with its line break as "\n".
    CTavloTemplateFile& file = CTavloTemplateFile::Instance();
    file.InsertRow(0, {CTavloTemplateFile::FromSelection(CVornString(Sjis("上\n下")))});
    ASSERT_TRUE(file.Save());
    EXPECT_EQ(ReadAll(fx.root() + "/template.txt"), Sjis("上\\n下\r\na\\nb\r\nふたつめ\r\n"));
}

TEST_F(Posting, EmptyBodyIsRefusedWithoutAConnectionAndTheHandsetItemIsGreyForNewThreads) {
    ASSERT_EQ(ctl("create", "1700000800", "&posts=3"), "ok");
    open("1700000800");
    fx.sim.clearRequests();
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                           [&](CTavloMessageDialog* d) {
                               d->SendAction()->trigger();
                               EXPECT_TRUE(d->isVisible());
                               EXPECT_EQ(d->GetLastResult(), -600);
                           }));
    EXPECT_EQ(boxes.texts(), (std::vector<QString>{U("本文を入力してください")}));
    EXPECT_TRUE(received().empty());
    for (const std::string& line : fx.sim.requests())
        EXPECT_EQ(line.find("bbs.cgi"), std::string::npos) << line;

    CTavloThreadDialog thread(CVornString(kBoardUrl), f, f);
    thread.Open();
    EXPECT_TRUE(thread.TitleEdit()->isVisible());
    emit thread.PopupMenu()->aboutToShow();
    EXPECT_FALSE(thread.HandsetAction()->isEnabled());
    // No title: -601 before anything is sent.
    thread.BodyEdit()->setPlainText(U("本文"));
    thread.SendAction()->trigger();
    EXPECT_EQ(thread.GetLastResult(), -601);
    EXPECT_EQ(boxes.last().text, U("スレッド名を入力してください"));
    thread.OnCancel();
}

TEST_F(Posting, NewThreadFromTheBoardsListAppearsInIt) {
    postMode("direct");
    CTavloSubjectViewBase* list = f->Views().subject;
    CTavloBoardRef ref{CVornString(Sjis("ニュース速報")), CVornString(kBoardUrl),
                       CVornString("news")};
    f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&ref));
    ASSERT_TRUE(PumpUntil(
        [&] { return f->GetShownView() == TAVLO_VIEW_SUBJECT && !list->IsBusy(); }, 15000));
    auto* subject = dynamic_cast<CTavloSubjectView*>(list);
    ASSERT_NE(subject, nullptr);
    const int rows = subject->GetItemCount();
    bool ran = false;
    int tries = 0;
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [&, weak = std::weak_ptr(poll)] {
        if (weak.expired())
            return; // the test that set it up is over
        if (auto* d = dynamic_cast<CTavloThreadDialog*>(QApplication::activeModalWidget())) {
            ran = true;
            d->TitleEdit()->setText(U("新しい話題"));
            d->BodyEdit()->setPlainText(U("立てました"));
            d->SendAction()->trigger();
        } else if (++tries < 500) {
            if (auto again = weak.lock())
                QTimer::singleShot(20, *again);
        }
    };
    QTimer::singleShot(0, *poll);
    f->OnCommand(ID_EDIT_THREAD);
    ASSERT_TRUE(ran);
    std::vector<Received> r = received();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].raw("subject"), Enc(U("新しい話題")));
    ASSERT_TRUE(
        PumpUntil([&] { return !list->IsBusy() && subject->GetItemCount() == rows + 1; }, 15000));
}

// Boards that misbehave: the editor stays, usable, with the draft, and says what happened.
TEST_F(Posting, HangingCutHugeAndWrongEncodingAnswersKeepTheDraft) {
    ASSERT_EQ(ctl("create", "1700000900", "&posts=3"), "ok");
    open("1700000900");
    const QString draft = U("消えない下書き");
    int otherResult = -99;
    QString otherBody;
    size_t otherPosts = 0;
    struct Case {
        const char* mode;
        int result;
        const char* box;
    } cases[] = {
        {"hang", -1, "キャンセルしますか？"},
        {"cut", -102, "HTTPエラー(RECV)"},
        {"huge", -102, "HTTPエラー(RECV)"},
        {"utf8", -602, "ERROR: 混雑しています"},
        {"error-red", -602, "ERROR: 連続投稿ですか？"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.mode);
        postMode(k.mode);
        boxes.boxes.clear();
        ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_NEW); },
                               [&](CTavloMessageDialog* d) {
                                   d->NameCombo()->setEditText(U("名無し"));
                                   d->BodyEdit()->setPlainText(draft);
                                   // Lives until the send below has returned.
                                   auto cancel = std::make_shared<std::function<void()>>();
                                   if (std::string(k.mode) == "hang") {
                                       // Cancel once the board holds the request, while the editor
                                       // waits for it.
                                       *cancel = [&, this, d, weak = std::weak_ptr(cancel)] {
                                           if (weak.expired())
                                               return;
                                           if (d->IsPosting() && !received().empty()) {
                                               // Another editor's send waits its turn: nothing
                                               // goes out and its text stays.
                                               CTavloMessageDialog other(
                                                   CVornString("t"), CVornString(kBoardUrl),
                                                   CVornString("1700000900"), f, f);
                                               other.Open();
                                               other.BodyEdit()->setPlainText(U("二通目"));
                                               other.SendAction()->trigger();
                                               otherResult = other.GetLastResult();
                                               otherBody = other.BodyText();
                                               otherPosts = received().size();
                                               other.OnCancel();
                                               d->CancelAction()->trigger();
                                           } else if (d->isVisible())
                                               if (auto again = weak.lock())
                                                   QTimer::singleShot(50, *again);
                                       };
                                       QTimer::singleShot(50, *cancel);
                                   }
                                   const size_t before = received().size();
                                   d->SendAction()->trigger();
                                   EXPECT_EQ(d->GetLastResult(), k.result);
                                   EXPECT_GT(received().size(), before);
                                   EXPECT_TRUE(d->isVisible());
                                   EXPECT_TRUE(d->BodyEdit()->isEnabled());
                                   EXPECT_TRUE(d->SendAction()->isEnabled());
                                   EXPECT_EQ(d->BodyText(), draft);
                                   EXPECT_EQ(d->NameCombo()->currentText(), U("名無し"));
                               }));
        ASSERT_FALSE(boxes.texts().empty());
        EXPECT_EQ(boxes.texts().front(), U(k.box));
        ASSERT_NE(view()->GetEditor(), nullptr);
        EXPECT_EQ(view()->GetEditor()->GetSavedBody(), draft);
        if (std::string(k.mode) == "hang") {
            EXPECT_EQ(otherResult, 0);
            EXPECT_EQ(otherBody, U("二通目"));
            EXPECT_EQ(otherPosts, 1u);
        }
    }
}

} // namespace

namespace {

TEST_F(Posting, QuoteReplyPutsTheTopPostAfterTheAnchorWithQuoteMarks) {
    ASSERT_EQ(ctl("create", "1700001000", "&posts=4"), "ok");
    open("1700001000");
    ASSERT_TRUE(view()->JumpNumber(2));
    CTavloDatCtrl* c = view()->GetCurrentCtrl();
    const int top = c->GetTopPost();
    const QStringList lines =
        QString::fromStdU16String(c->GetPostText(top)).trimmed().split(U("\r\n"));
    ASSERT_FALSE(lines.isEmpty());
    ASSERT_TRUE(withEditor([&] { f->OnCommand(ID_EDIT_REPLY_ALL); },
                           [&](CTavloMessageDialog* d) {
                               QString expected = QString(">>%1\r\n").arg(top);
                               for (const QString& l : lines)
                                   expected += U(">") + l + U("\r\n");
                               EXPECT_EQ(d->BodyText(), expected);
                           }));
}

} // namespace
