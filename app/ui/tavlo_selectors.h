#pragma once

#include <QColor>
#include <QDialog>
#include <QPushButton>
#include <QString>

#include <string>
#include <vector>

class QColorDialog;
class QFileSystemModel;
class QListWidget;
class QTreeView;

// An installed program as the program selector lists it.
struct CTavloProgramEntry {
    QString name;   // the entry's name
    QString icon;   // its icon name or path
    QString target; // the program's path
};

// The installed programs: the desktop entries (*.desktop) under the applications folders of
// the data directories (XDG_DATA_HOME, then XDG_DATA_DIRS), each walked with its subfolders.
// An entry counts when it is an application that is neither hidden nor NoDisplay and whose
// Exec (or TryExec) names a program that exists and can be run; sorted by name, one entry per
// desktop-file id (the first data directory wins).
std::vector<CTavloProgramEntry> TavloFindPrograms(const std::vector<std::string>& dataDirs);
// The data directories of the environment, in order.
std::vector<std::string> TavloDataDirectories();

// The program chooser of the browser settings: a list of the installed programs; the chosen
// row's target path is the result.
class CTavloProgramSelector : public QDialog {
public:
    explicit CTavloProgramSelector(QWidget* parent = nullptr,
                                   const std::vector<std::string>& dataDirs = {});
    QString GetPath() const { return m_path; }
    QListWidget* GetList() const { return m_list; }
    const std::vector<CTavloProgramEntry>& Entries() const { return m_entries; }
    void accept() override;

private:
    QListWidget* m_list;
    std::vector<CTavloProgramEntry> m_entries;
    QString m_path;
};

// The folder chooser of the root directory: the file system's folders from "/", filled when
// a folder is expanded.
class CTavloFolderSelector : public QDialog {
public:
    explicit CTavloFolderSelector(const QString& start, QWidget* parent = nullptr);
    QString GetPath() const { return m_path; }
    QTreeView* GetTree() const { return m_tree; }
    void SelectPath(const QString& path);
    void accept() override;

private:
    QFileSystemModel* m_model;
    QTreeView* m_tree;
    QString m_path;
};

// The palette dialog of a colour button (Qt's colour dialog as the palette).
class CTavloColorSelectorDialog : public QDialog {
public:
    CTavloColorSelectorDialog(const QColor& color, QWidget* parent = nullptr);
    QColor GetColor() const;
    QColorDialog* GetPalette() const { return m_palette; }

private:
    QColorDialog* m_palette;
};

// A button that shows a colour swatch; clicking it opens the palette and keeps the chosen
// colour (a COLORREF value, as the settings hold it).
class CTavloColorSelectorButton : public QPushButton {
public:
    explicit CTavloColorSelectorButton(int colorref, QWidget* parent = nullptr);
    int GetColorRef() const { return m_color; }
    void SetColorRef(int colorref);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void choose();
    int m_color;
};
