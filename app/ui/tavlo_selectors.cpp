#include "tavlo_selectors.h"

#include "tavlo_platform.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIcon>
#include <QListWidget>
#include <QPainter>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

QDialogButtonBox* okCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

// The key's value in the [Desktop Entry] group; desktop files are plain "Key=Value" lines.
struct DesktopEntry {
    QString type, name, exec, tryExec, icon;
    bool hidden = false;
};

DesktopEntry readDesktopFile(const QString& path) {
    DesktopEntry e;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > (1 << 20))
        return e;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[')) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || line.startsWith('#'))
            continue;
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
        if (key == "Type")
            e.type = value;
        else if (key == "Name")
            e.name = value;
        else if (key == "Exec")
            e.exec = value;
        else if (key == "TryExec")
            e.tryExec = value;
        else if (key == "Icon")
            e.icon = value;
        else if ((key == "Hidden" || key == "NoDisplay") && value == "true")
            e.hidden = true;
    }
    return e;
}

// The program of an Exec line: its first word (quotes honoured), looked up in PATH unless it
// is a path.
QString programOf(const QString& exec) {
    QString word;
    if (exec.startsWith('"')) {
        const int end = exec.indexOf('"', 1);
        word = exec.mid(1, end < 0 ? -1 : end - 1);
    } else {
        word = exec.section(' ', 0, 0, QString::SectionSkipEmpty);
    }
    if (word.isEmpty() || word.contains('='))
        return QString();
    if (word.contains('/'))
        return word;
    return QStandardPaths::findExecutable(word);
}

} // namespace

std::vector<std::string> TavloDataDirectories() {
    std::vector<std::string> dirs;
    const char* home = std::getenv("XDG_DATA_HOME");
    if (home && *home)
        dirs.push_back(home);
    else if (const char* h = std::getenv("HOME"))
        dirs.push_back(std::string(h) + "/.local/share");
    const char* data = std::getenv("XDG_DATA_DIRS");
    const QString list = data && *data ? QString::fromUtf8(data) : "/usr/local/share:/usr/share";
    for (const QString& d : list.split(':', Qt::SkipEmptyParts))
        dirs.push_back(d.toStdString());
    return dirs;
}

std::vector<CTavloProgramEntry> TavloFindPrograms(const std::vector<std::string>& dataDirs) {
    std::vector<CTavloProgramEntry> out;
    std::set<QString> seen;
    for (const std::string& d : dataDirs) {
        const QString apps = QString::fromStdString(d) + "/applications";
        QDirIterator it(apps, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // The desktop-file id: its path below applications, "/" as "-".
            QString id = path.mid(apps.size() + 1);
            id.replace('/', '-');
            if (!seen.insert(id).second)
                continue;
            const DesktopEntry e = readDesktopFile(path);
            if (e.type != "Application" || e.hidden || e.name.isEmpty())
                continue;
            const QString target = programOf(e.tryExec.isEmpty() ? e.exec : e.tryExec);
            const QFileInfo info(target);
            if (target.isEmpty() || !info.isFile() || !info.isExecutable())
                continue;
            out.push_back({e.name, e.icon, info.absoluteFilePath()});
        }
    }
    std::sort(out.begin(), out.end(), [](const CTavloProgramEntry& a, const CTavloProgramEntry& b) {
        return a.name.localeAwareCompare(b.name) < 0;
    });
    return out;
}

CTavloProgramSelector::CTavloProgramSelector(QWidget* parent,
                                             const std::vector<std::string>& dataDirs)
    : QDialog(parent), m_list(new QListWidget(this)) {
    setWindowTitle(QString::fromUtf8("プログラムの選択"));
    m_entries = TavloFindPrograms(dataDirs.empty() ? TavloDataDirectories() : dataDirs);
    const QIcon fallback = QIcon::fromTheme("application-x-executable");
    for (const CTavloProgramEntry& e : m_entries) {
        QIcon icon = e.icon.startsWith('/') ? QIcon(e.icon) : QIcon::fromTheme(e.icon, fallback);
        auto* row = new QListWidgetItem(icon, e.name, m_list);
        row->setData(Qt::UserRole, e.target);
        row->setToolTip(e.target);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(okCancel(this));
    connect(m_list, &QListWidget::itemActivated, this, [this] { accept(); });
    resize(360, 420);
}

void CTavloProgramSelector::accept() {
    if (QListWidgetItem* row = m_list->currentItem())
        m_path = row->data(Qt::UserRole).toString();
    QDialog::accept();
}

CTavloFolderSelector::CTavloFolderSelector(const QString& start, QWidget* parent)
    : QDialog(parent), m_model(new QFileSystemModel(this)), m_tree(new QTreeView(this)) {
    setWindowTitle(QString::fromUtf8("フォルダの選択"));
    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath("/");
    m_tree->setModel(m_model);
    m_tree->setRootIndex(m_model->index("/"));
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_tree->hideColumn(c);
    m_tree->setHeaderHidden(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(okCancel(this));
    SelectPath(start);
    resize(360, 420);
}

void CTavloFolderSelector::SelectPath(const QString& path) {
    QFileInfo info(path);
    // The nearest existing folder.
    while (!info.isDir() && info.absoluteFilePath() != "/")
        info = QFileInfo(info.absolutePath());
    const QModelIndex index = m_model->index(info.absoluteFilePath());
    if (index.isValid()) {
        m_tree->setCurrentIndex(index);
        m_tree->scrollTo(index);
    }
}

void CTavloFolderSelector::accept() {
    const QModelIndex index = m_tree->currentIndex();
    if (index.isValid())
        m_path = m_model->filePath(index);
    QDialog::accept();
}

CTavloColorSelectorDialog::CTavloColorSelectorDialog(const QColor& color, QWidget* parent)
    : QDialog(parent), m_palette(new QColorDialog(color, this)) {
    setWindowTitle(QString::fromUtf8("色の選択"));
    m_palette->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    m_palette->setWindowFlags(Qt::Widget);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_palette);
    layout->addWidget(okCancel(this));
}

QColor CTavloColorSelectorDialog::GetColor() const {
    return m_palette->currentColor();
}

CTavloColorSelectorButton::CTavloColorSelectorButton(int colorref, QWidget* parent)
    : QPushButton(parent), m_color(colorref) {
    setMinimumSize(48, 22);
    connect(this, &QPushButton::clicked, this, [this] { choose(); });
}

void CTavloColorSelectorButton::SetColorRef(int colorref) {
    m_color = colorref;
    update();
}

void CTavloColorSelectorButton::choose() {
    CTavloColorSelectorDialog dialog(TavloColor(m_color), this);
    if (dialog.exec() == QDialog::Accepted)
        SetColorRef(TavloColorRef(dialog.GetColor()));
}

void CTavloColorSelectorButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter p(this);
    p.fillRect(rect().adjusted(5, 5, -5, -5), TavloColor(m_color));
}
