#include "tavlo_config_pages.h"

#include "tavlo_app.h"
#include "tavlo_keys.h"
#include "tavlo_platform.h"
#include "tavlo_selectors.h"
#include "tavlo_settings.h"
#include "tavlo_vk_names.h"
#include "vorn_log.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include <climits>
#include <filesystem>

namespace {

CTavloSettings& settings() {
    return CTavloSettings::Instance();
}

QString text(const CVornString& sjis) {
    return TavloQString(sjis);
}

CVornString stringSetting(const char* key) {
    CVornString v;
    settings().GetString(key, &v);
    return v;
}

int intSetting(const char* key) {
    int v = 0;
    settings().GetInt(key, &v);
    return v;
}

// The handset carrier's proxy (the only preset besides "none").
const char kCarrierProxy[] = "sbwapproxy.softbank.ne.jp";
const std::vector<const char*> kProxyPresets = {"", kCarrierProxy};
const std::vector<const char*> kAgentPresets = {
    "",
    "Vodafone/1.0/V904SH/SHJ001/SN350000010000004 Browser/NetFront/3.3 Profile/MIDP-2.0 "
    "Configuration/CLDC-1.1",
    "SoftBank/1.0/705NK/NKJ001/SN350000010000004 Series60/3.0 NokiaN73/3.0650 Profile/MIDP-2.0 "
    "Configuration/CLDC-1.1",
    "Vodafone/1.0/V804NK/NKJ001/SN350000010000004 Series60/3.0 NokiaN71/3.0630 "
    "Profile/MIDP-2.0 Configuration/CLDC-1.1",
    "Vodafone/1.0/V702NK/NKJ001/SN350000010000004 Series60/2.6 Nokia6630/2.39.148 "
    "Profile/MIDP-2.0 Configuration/CLDC-1.1",
};

} // namespace

// ---- the bound form ------------------------------------------------------------------------

CTavloConfigPage::CTavloConfigPage(int menuId, const char* label, QWidget* parent)
    : QWidget(parent), m_menuId(menuId), m_label(QString::fromUtf8(label)),
      m_form(new QFormLayout) {
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(m_form);
    outer->addStretch(1);
}

void CTavloConfigPage::bind(const char* key, Kind kind, QWidget* control, const char* label) {
    control->setObjectName(QString::fromLatin1(key));
    m_bindings.push_back({key, kind, control});
    if (label)
        m_form->addRow(QString::fromUtf8(label), control);
}

QWidget* CTavloConfigPage::Control(const char* key) const {
    for (const Binding& b : m_bindings)
        if (b.key == key)
            return b.control;
    return nullptr;
}

QLineEdit* CTavloConfigPage::addText(const char* key, const char* label,
                                     const std::function<QString(const QString&)>& choose) {
    auto* edit = new QLineEdit(text(stringSetting(key)), this);
    if (!choose) {
        bind(key, TEXT, edit, label);
        return edit;
    }
    // A chooser button beside the field.
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit->setParent(row);
    auto* button = new QPushButton(QStringLiteral("..."), row);
    button->setObjectName(QString::fromLatin1(key) + "Chooser");
    button->setFixedWidth(32);
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, edit, choose] {
        const QString chosen = choose(edit->text());
        if (!chosen.isEmpty())
            edit->setText(chosen);
    });
    bind(key, TEXT, edit, nullptr);
    m_form->addRow(QString::fromUtf8(label), row);
    return edit;
}

QComboBox* CTavloConfigPage::addCombo(const char* key, const char* label,
                                      const std::vector<const char*>& presets) {
    auto* combo = new QComboBox(this);
    combo->setEditable(true);
    for (const char* p : presets)
        combo->addItem(QString::fromUtf8(p));
    combo->setEditText(text(stringSetting(key)));
    bind(key, COMBO, combo, label);
    return combo;
}

QSpinBox* CTavloConfigPage::addNumber(const char* key, const char* label) {
    auto* spin = new QSpinBox(this);
    spin->setRange(0, INT_MAX);
    spin->setValue(intSetting(key));
    bind(key, NUMBER, spin, label);
    return spin;
}

QCheckBox* CTavloConfigPage::addCheck(const char* key, const char* label) {
    auto* check = new QCheckBox(QString::fromUtf8(label), this);
    check->setChecked(intSetting(key) == 1);
    bind(key, CHECK, check, nullptr);
    m_form->addRow(check);
    return check;
}

CTavloColorSelectorButton* CTavloConfigPage::addColor(const char* key, const char* label) {
    auto* button = new CTavloColorSelectorButton(intSetting(key), this);
    bind(key, COLOR, button, label);
    return button;
}

void CTavloConfigPage::Save() {
    CTavloSettings& s = settings();
    for (const Binding& b : m_bindings) {
        const char* key = b.key.c_str();
        switch (b.kind) {
        case TEXT:
            s.SetString(key, TavloSjis(static_cast<QLineEdit*>(b.control)->text()));
            break;
        case COMBO:
            s.SetString(key, TavloSjis(static_cast<QComboBox*>(b.control)->currentText()));
            break;
        case NUMBER:
            s.SetInt(key, static_cast<QSpinBox*>(b.control)->value());
            break;
        case CHECK:
            s.SetInt(key, static_cast<QCheckBox*>(b.control)->isChecked() ? 1 : 0);
            break;
        case COLOR:
            s.SetInt(key, static_cast<CTavloColorSelectorButton*>(b.control)->GetColorRef());
            break;
        }
    }
}

// ---- the form pages ------------------------------------------------------------------------

CTavloPageSystem::CTavloPageSystem(QWidget* parent) : CTavloConfigPage(32904, "システム", parent) {
    addText("RootDirectory", "ルートディレクトリ", [this](const QString& current) {
        CTavloFolderSelector chooser(current, this);
        return chooser.exec() == QDialog::Accepted ? chooser.GetPath() : QString();
    });
    addText("BoardUrl", "板一覧URL");
    addText("Browser", "ブラウザ", [this](const QString&) {
        CTavloProgramSelector chooser(this);
        return chooser.exec() == QDialog::Accepted ? chooser.GetPath() : QString();
    });
    addNumber("ThreadMax", "最大スレッド数");
    addNumber("TabMax", "最大タブ数");
    addNumber("TabWidth", "タブの幅");
    addNumber("ListMargin", "リストの余白");
    addCheck("ListSingleLine", "リストを1行で表示");
}

void CTavloPageSystem::Save() {
    auto* url = static_cast<QLineEdit*>(Control("BoardUrl"));
    // An empty menu address means the default one.
    if (url->text().trimmed().isEmpty())
        url->setText(QString::fromUtf8(CTavloSettings::kDefaultBoardUrl));
    CTavloConfigPage::Save();
}

CTavloPageFont::CTavloPageFont(QWidget* parent) : CTavloConfigPage(32902, "フォント", parent) {
    static const char* const kLabels[] = {"板一覧",       "スレッド一覧", "書き込み", "キャッシュ",
                                          "ブックマーク", "タブ",         "スレッド"};
    const QStringList families = QFontDatabase::families();
    for (int f = 0; f < CTavloSettings::FONT_COUNT; ++f) {
        const std::string suffix = CTavloSettings::FontSuffix(f);
        const std::string name = "FontName" + suffix, size = "FontSize" + suffix,
                          bold = "FontBold" + suffix;
        std::vector<const char*> none;
        QComboBox* face = addCombo(name.c_str(), kLabels[f], none);
        const QString current = face->currentText();
        face->addItems(families);
        face->setEditText(current);
        addNumber(size.c_str(), "　サイズ");
        addCheck(bold.c_str(), "太字");
    }
}

CTavloPageColor::CTavloPageColor(QWidget* parent) : CTavloConfigPage(32900, "カラー", parent) {
    static const std::pair<const char*, const char*> kColors[] = {
        {"ColorFore", "文字"},
        {"ColorBack", "背景"},
        {"ColorCache", "キャッシュ"},
        {"ColorNew", "新着"},
        {"ColorError", "エラー"},
        {"ColorSearch", "検索"},
        {"ColorActive", "選択"},
        {"ColorFrom", "名前"},
        {"ColorFromWithMail", "名前(メール)"},
        {"ColorFromWithSage", "名前(sage)"},
        {"ColorDate", "日付"},
        {"ColorDateNew", "日付(新着)"},
        {"ColorMessage", "本文"},
        {"ColorLink", "リンク"},
        {"ColorAbone", "あぼーん"},
        {"ColorCite", "引用"},
    };
    for (const auto& [key, label] : kColors)
        addColor(key, label);
}

CTavloPageNetwork::CTavloPageNetwork(QWidget* parent)
    : CTavloConfigPage(32898, "ネットワーク", parent) {
    addCheck("ProxyUse", "プロキシを使う");
    addCombo("ProxyHost", "プロキシ", kProxyPresets);
    addNumber("ProxyPort", "ポート");
    addText("ProxyId", "ID");
    addText("ProxyPass", "パスワード")->setEchoMode(QLineEdit::Password);
    addText("DoLibId", "●ID");
    addText("DoLibPass", "●パスワード")->setEchoMode(QLineEdit::Password);
    addCombo("UserAgent", "User-Agent", kAgentPresets);
}

CTavloPageNetworkWrite::CTavloPageNetworkWrite(QWidget* parent)
    : CTavloConfigPage(32971, "ネットワーク(書き込み)", parent) {
    addCheck("WriteChange", "書き込み時に設定を切り替える");
    addCheck("WriteProxyUse", "プロキシを使う");
    addCombo("WriteProxyHost", "プロキシ", kProxyPresets);
    addNumber("WriteProxyPort", "ポート");
    addText("WriteProxyId", "ID");
    addText("WriteProxyPass", "パスワード")->setEchoMode(QLineEdit::Password);
    addCombo("WriteUserAgent", "User-Agent", kAgentPresets);
}

CTavloPageImage::CTavloPageImage(QWidget* parent) : CTavloConfigPage(32995, "画像", parent) {
    addCheck("UseImageView", "画像ビューアを使う");
    addCheck("InlineImage", "インライン画像");
    addNumber("InlineImageHeight", "インライン画像の高さ");
    addCheck("ViewAfterDownload", "ダウンロード後に表示");
}

CTavloPageOther::CTavloPageOther(QWidget* parent) : CTavloConfigPage(32924, "その他", parent) {
    addCheck("DeleteBlankLines", "空行を削除");
    addCheck("NextControl", "NextControl");
    addCheck("VentControl", "VentControl");
    addCheck("BookmarkWhenStarting", "起動時にブックマークを表示");
    addCheck("MenuNumber", "メニューに番号を付ける");
    addCheck("DesktopLayout", "3ペイン表示");
    addCheck("Debug", "デバッグログ");
}

void CTavloPageOther::Save() {
    const int before = CTavloSettings::Instance().Debug;
    CTavloConfigPage::Save();
    const int debug = CTavloSettings::Instance().Debug;
    if (debug != before)
        ApplyDebug(debug);
}

void CTavloPageOther::ApplyDebug(int debug) {
    if (debug == 1) {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        const std::string dir =
            CTavloApp::LogDirectory(ec ? std::string() : exe.parent_path().string(),
                                    CTavloSettings::GetProfilePath().str());
        SetLogdir(dir.c_str());
        SetModule("tavlo");
        SetLoglevel("2");
    } else {
        SetLogdir("");
        SetModule("");
        SetLoglevel("");
    }
}

CTavloPageMovie::CTavloPageMovie(QWidget* parent) : CTavloConfigPage(33006, "動画", parent) {
    addCheck("UseYoutube", "動画をブラウザで開く");
    addText("YoutubeBrowser", "ブラウザ");
}

// ---- keys ----------------------------------------------------------------------------------

namespace {

// Rows of the key page, by command name.
const char* const kKeyRows[] = {
    "ViewBack",    "ViewForward", "Cancel",          "Menu",
    "Online",      "Reload",      "Delete",          "Find2ch",
    "Search",      "Jump",        "GrepId",          "GrepName",
    "GrepRefer",   "Top",         "Bottom",          "Sort",
    "PrevLine",    "NextLine",    "PageUp",          "PageDown",
    "Next",        "Prev",        "NextLink",        "PrevLink",
    "Back",        "NextTab",     "PrevTab",         "CurrentSubject",
    "CloseTab",    "ToggleAbone", "ToggleWrap",      "Reopen",
    "Edit",        "EditReply",   "EditReplyAll",    "OpenBookmark",
    "AddBookmark", "ChangeView",  "CopyInformation", "CopyMessage",
    "CheckMenu",   "ExecBrowser", "Popup",           "FocusPane",
};
static_assert(std::size(kKeyRows) == CTavloSettings::CMD_COUNT, "every command has a key row");

} // namespace

CTavloKeyField::CTavloKeyField(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
}

void CTavloKeyField::keyPressEvent(QKeyEvent* event) {
    const int vk = TavloEventVirtualKey(event);
    if (vk == TAVLO_VK_RETURN) {
        // Enter is never a binding: it moves on.
        focusNextChild();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (vk != 0 && onKey)
        onKey(vk);
    event->accept();
}

int CTavloPageKey::RowCommand(int row) {
    if (row < 0 || row >= CTavloSettings::CMD_COUNT)
        return -1;
    for (int c = 0; c < CTavloSettings::CMD_COUNT; ++c)
        if (std::string(CTavloSettings::CommandName(c)) == kKeyRows[row])
            return c;
    return -1;
}

CTavloPageKey::CTavloPageKey(QWidget* parent)
    : CTavloConfigPage(32896, "キー", parent), m_list(new QTreeWidget(this)),
      m_key(new CTavloKeyField(this)), m_subKey(new CTavloKeyField(this)),
      m_keys(CTavloSettings::CMD_COUNT), m_subKeys(CTavloSettings::CMD_COUNT),
      m_changed(CTavloSettings::CMD_COUNT) {
    const CTavloSettings& s = CTavloSettings::Instance();
    m_list->setObjectName("keys");
    m_key->setObjectName("Key");
    m_subKey->setObjectName("SubKey");
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QString::fromUtf8("機能"), QString::fromUtf8("キー"), QString::fromUtf8("サブキー")});
    m_list->setRootIsDecorated(false);
    for (int row = 0; row < CTavloSettings::CMD_COUNT; ++row) {
        const int c = RowCommand(row);
        m_keys[static_cast<size_t>(c)] = s.Key[static_cast<size_t>(c)];
        m_subKeys[static_cast<size_t>(c)] = s.SubKey[static_cast<size_t>(c)];
        new QTreeWidgetItem(m_list, {QString::fromUtf8(CTavloSettings::CommandLabel(c)),
                                     QString::fromUtf8(TavloVirtualKeyName(s.Key[c])),
                                     QString::fromUtf8(TavloVirtualKeyName(s.SubKey[c]))});
    }
    form()->addRow(m_list);
    form()->addRow(QString::fromUtf8("キー"), m_key);
    form()->addRow(QString::fromUtf8("サブキー"), m_subKey);
    m_list->installEventFilter(this);
    m_key->onKey = [this](int vk) { assign(false, vk); };
    m_subKey->onKey = [this](int vk) { assign(true, vk); };
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { showRow(); });
    m_list->setCurrentItem(m_list->topLevelItem(0));
}

bool CTavloPageKey::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            m_key->setFocus();
            return true;
        }
    }
    return CTavloConfigPage::eventFilter(watched, event);
}

void CTavloPageKey::showRow() {
    const int c = RowCommand(m_list->indexOfTopLevelItem(m_list->currentItem()));
    if (c < 0)
        return;
    m_key->setText(QString::fromUtf8(TavloVirtualKeyName(m_keys[static_cast<size_t>(c)])));
    m_subKey->setText(QString::fromUtf8(TavloVirtualKeyName(m_subKeys[static_cast<size_t>(c)])));
}

void CTavloPageKey::assign(bool sub, int vk) {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int c = RowCommand(row);
    if (c < 0)
        return;
    (sub ? m_subKeys : m_keys)[static_cast<size_t>(c)] = vk;
    m_changed[static_cast<size_t>(c)] = true;
    m_list->currentItem()->setText(sub ? 2 : 1, QString::fromUtf8(TavloVirtualKeyName(vk)));
    showRow();
}

void CTavloPageKey::Save() {
    CTavloSettings& s = CTavloSettings::Instance();
    bool any = false;
    for (int c = 0; c < CTavloSettings::CMD_COUNT; ++c) {
        if (!m_changed[static_cast<size_t>(c)])
            continue;
        any = true;
        s.SetKey(c, m_keys[static_cast<size_t>(c)]);
        s.SetSubKey(c, m_subKeys[static_cast<size_t>(c)]);
    }
    if (any)
        s.ReloadKeys();
}
