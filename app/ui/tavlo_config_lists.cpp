// The configuration pages that edit lists: extra boards, NG words, templates.
#include "tavlo_board_file.h"
#include "tavlo_config_pages.h"
#include "tavlo_errors.h"
#include "tavlo_ng_file.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_template_file.h"
#include "vorn_log.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {} // namespace

CTavloListPage::CTavloListPage(int menuId, const char* label, QWidget* parent)
    : CTavloConfigPage(menuId, label, parent), m_list(new QListWidget(this)) {
    m_list->setObjectName("entries");
}

void CTavloListPage::addListControls(QWidget* fields,
                                     const std::function<std::vector<CVornString>()>& take) {
    auto* add = new QPushButton(QString::fromUtf8("追加"), this);
    add->setObjectName("add");
    auto* remove = new QPushButton(QString::fromUtf8("削除"), this);
    remove->setObjectName("remove");
    auto* buttons = new QWidget(this);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(add);
    row->addWidget(remove);
    row->addStretch(1);
    form()->addRow(m_list);
    form()->addRow(fields);
    form()->addRow(buttons);
    connect(add, &QPushButton::clicked, this, [this, take] { AddEntry(take()); });
    connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
}

void CTavloListPage::setEntries(std::vector<std::vector<CVornString>> entries) {
    m_entries = std::move(entries);
    refill();
}

bool CTavloListPage::same(const std::vector<CVornString>& a,
                          const std::vector<CVornString>& b) const {
    return a == b;
}

QString CTavloListPage::rowText(const std::vector<CVornString>& e) const {
    return e.empty() ? QString() : TavloQString(e[0]);
}

bool CTavloListPage::AddEntry(const std::vector<CVornString>& columns) {
    bool empty = true;
    for (const CVornString& c : columns)
        empty = empty && c.IsEmpty();
    if (columns.empty() || empty)
        return false;
    for (const auto& e : m_entries)
        if (same(e, columns)) {
            TavloMessageBox(this, m_duplicate, kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONWARNING);
            return false;
        }
    m_entries.insert(m_entries.begin(), columns);
    m_changed = true;
    refill();
    m_list->setCurrentRow(0);
    return true;
}

void CTavloListPage::RemoveSelected() {
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_entries.size()))
        return;
    m_entries.erase(m_entries.begin() + row);
    m_changed = true;
    refill();
    m_list->setCurrentRow(std::min(row, m_list->count() - 1));
}

void CTavloListPage::refill() {
    m_list->clear();
    for (const auto& e : m_entries)
        m_list->addItem(rowText(e));
}

// ---- extra boards --------------------------------------------------------------------------

CTavloPageBoard::CTavloPageBoard(QWidget* parent) : CTavloListPage(32894, "板", parent) {
    m_duplicate = "同じ板が登録されています";
    CTavloBoardFileEtc etc;
    std::vector<std::vector<CVornString>> rows;
    if (etc.Load() == 0)
        for (int r = 0; r < etc.GetRowCount(); ++r)
            rows.push_back({etc.Get(r, CTavloBoardFile::COL_NAME),
                            etc.Get(r, CTavloBoardFile::COL_URL),
                            etc.Get(r, CTavloBoardFile::COL_ID)});
    setEntries(std::move(rows));

    auto* fields = new QWidget(this);
    auto* layout = new QFormLayout(fields);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* name = new QComboBox(fields);
    name->setEditable(true);
    name->setObjectName("name");
    auto* url = new QComboBox(fields);
    url->setEditable(true);
    url->setObjectName("url");
    // The foreign hosting services a user is most likely to add.
    url->addItems({QString(), "http://jbbs.shitaraba.net/", "http://jbbs.shitaraba.net/internet/",
                   "http://jbbs.shitaraba.net/sports/"});
    layout->addRow(QString::fromUtf8("板名"), name);
    layout->addRow(QString::fromUtf8("URL"), url);
    addListControls(fields, [name, url] {
        CVornString u = TavloSjis(url->currentText().trimmed());
        if (!u.IsEmpty() && !u.EndsWith("/"))
            u += "/";
        // The board id is the URL's last path part.
        CVornString id;
        const std::string s = u.str();
        const size_t end = s.size() > 0 ? s.size() - 1 : 0;
        const size_t slash = end > 0 ? s.rfind('/', end - 1) : std::string::npos;
        if (slash != std::string::npos && slash + 1 < end)
            id = CVornString(s.substr(slash + 1, end - slash - 1));
        return std::vector<CVornString>{TavloSjis(name->currentText().trimmed()), u, id};
    });
}

bool CTavloPageBoard::same(const std::vector<CVornString>& a,
                           const std::vector<CVornString>& b) const {
    return a.size() > 1 && b.size() > 1 && a[1] == b[1];
}

QString CTavloPageBoard::rowText(const std::vector<CVornString>& e) const {
    return TavloQString(e[0]) + "  " + TavloQString(e[1]);
}

void CTavloPageBoard::Save() {
    if (!IsChanged())
        return;
    CTavloBoardFileEtc etc;
    for (const auto& e : Entries())
        etc.AddRow({e[0], e[1], e[2]});
    if (etc.Save() != 0)
        VLOG(0, "CTavloPageBoard::Save", "cannot write %s", etc.GetPath().c_str());
}

// ---- NG words ------------------------------------------------------------------------------

CTavloPageNg::CTavloPageNg(const std::vector<CVornString>& targets,
                           const std::vector<CVornString>& words, QWidget* parent)
    : CTavloListPage(32907, "NGワード", parent), m_target(new QComboBox(this)),
      m_word(new QComboBox(this)) {
    m_duplicate = "既に登録済みです";
    addCheck("TransParentAbone", "透明あぼーん");
    CTavloNgFile& ng = CTavloNgFile::Instance();
    std::vector<std::vector<CVornString>> rows;
    for (int r = 0; r < ng.GetRowCount(); ++r)
        rows.push_back({ng.Get(r, CTavloNgFile::COL_SCOPE), ng.Get(r, CTavloNgFile::COL_PATTERN)});
    setEntries(std::move(rows));

    auto* fields = new QWidget(this);
    auto* layout = new QFormLayout(fields);
    layout->setContentsMargins(0, 0, 0, 0);
    m_target->setEditable(true);
    m_target->setObjectName("target");
    m_word->setEditable(true);
    m_word->setObjectName("word");
    m_target->addItem(QString());
    for (const CVornString& t : targets)
        m_target->addItem(TavloQString(t));
    for (const CVornString& w : words)
        m_word->addItem(TavloQString(w));
    m_target->setEditText(QString());
    layout->addRow(QString::fromUtf8("対象"), m_target);
    layout->addRow(QString::fromUtf8("NGワード"), m_word);
    addListControls(fields, [this] {
        const CVornString word = TavloSjis(m_word->currentText());
        if (word.IsEmpty())
            return std::vector<CVornString>{};
        return std::vector<CVornString>{TavloSjis(m_target->currentText()), word};
    });
}

QString CTavloPageNg::rowText(const std::vector<CVornString>& e) const {
    return e[0].IsEmpty() ? TavloQString(e[1]) : TavloQString(e[0]) + "  " + TavloQString(e[1]);
}

void CTavloPageNg::Save() {
    CTavloConfigPage::Save();
    if (!IsChanged())
        return;
    CTavloNgFile& ng = CTavloNgFile::Instance();
    ng.RemoveAll();
    for (const auto& e : Entries())
        ng.AddRow({e[0], e[1]});
    if (!ng.Save())
        VLOG(0, "CTavloPageNg::Save", "cannot write %s", CTavloNgFile::GetPath().c_str());
}

// ---- templates -----------------------------------------------------------------------------

CTavloPageMessage::CTavloPageMessage(QWidget* parent) : CTavloListPage(32922, "書き込み", parent) {
    m_duplicate = "同じ定型文が登録されています";
    addCheck("Sage", "sage");
    addCheck("UseDefaultTemplate", "標準の定型文を使う");
    addCheck("FocusOnMessage", "本文にフォーカス");
    // The file as it is now; the post editor shares this list.
    CTavloTemplateFile& templates = CTavloTemplateFile::Instance();
    if (!templates.Load())
        templates.RemoveAll();
    std::vector<std::vector<CVornString>> rows;
    for (int r = 0; r < templates.GetRowCount(); ++r)
        rows.push_back({templates.GetTemplate(r)});
    setEntries(std::move(rows));
    auto* entry = new QComboBox(this);
    entry->setEditable(true);
    entry->setObjectName("template");
    addListControls(entry, [entry] {
        CVornString t = TavloSjis(entry->currentText());
        // A template is one line; its line breaks are kept as "\n".
        t.Replace("\r\n", "\\n");
        t.Replace("\n", "\\n");
        return std::vector<CVornString>{t};
    });
}

void CTavloPageMessage::Save() {
    CTavloConfigPage::Save();
    if (!IsChanged())
        return;
    CTavloTemplateFile& templates = CTavloTemplateFile::Instance();
    templates.RemoveAll();
    for (const auto& e : Entries())
        templates.AddRow({e[0]});
    if (!templates.Save())
        VLOG(0, "CTavloPageMessage::Save", "cannot write %s",
             CTavloTemplateFile::GetPath().c_str());
}
