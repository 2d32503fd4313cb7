#pragma once

#include "vorn_array.h"
#include "vorn_string.h"

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QListWidget;
class QSpinBox;
class QTreeWidget;
class CTavloColorSelectorButton;

// One page of the configuration dialog. Most pages are a form of settings bound to controls;
// Save writes each through the settings record, which writes a key only when it changed.
class CTavloConfigPage : public QWidget {
public:
    CTavloConfigPage(int menuId, const char* label, QWidget* parent = nullptr);
    int MenuId() const { return m_menuId; }
    QString Label() const { return m_label; }
    // Writes the page's settings; the default writes the bound controls.
    virtual void Save();
    // The control of a bound setting, for tests and for the Xvfb journey.
    QWidget* Control(const char* key) const;

protected:
    QLineEdit* addText(const char* key, const char* label,
                       const std::function<QString(const QString&)>& choose = {});
    QComboBox* addCombo(const char* key, const char* label,
                        const std::vector<const char*>& presets);
    QSpinBox* addNumber(const char* key, const char* label);
    QCheckBox* addCheck(const char* key, const char* label);
    CTavloColorSelectorButton* addColor(const char* key, const char* label);
    QFormLayout* form() const { return m_form; }

private:
    enum Kind { TEXT, COMBO, NUMBER, CHECK, COLOR };
    struct Binding {
        std::string key;
        Kind kind;
        QWidget* control;
    };
    void bind(const char* key, Kind kind, QWidget* control, const char* label);

    int m_menuId;
    QString m_label;
    QFormLayout* m_form;
    std::vector<Binding> m_bindings;
};

// The pages in creation order.
class CTavloPageSystem : public CTavloConfigPage {
public:
    explicit CTavloPageSystem(QWidget* parent = nullptr);
    void Save() override;
};
class CTavloPageFont : public CTavloConfigPage {
public:
    explicit CTavloPageFont(QWidget* parent = nullptr);
};
class CTavloPageColor : public CTavloConfigPage {
public:
    explicit CTavloPageColor(QWidget* parent = nullptr);
};
class CTavloPageNetwork : public CTavloConfigPage {
public:
    explicit CTavloPageNetwork(QWidget* parent = nullptr);
};
class CTavloPageNetworkWrite : public CTavloConfigPage {
public:
    explicit CTavloPageNetworkWrite(QWidget* parent = nullptr);
};

// A key field: any key but Enter becomes its code; Enter moves on as Tab does.
class CTavloKeyField : public QLineEdit {
public:
    explicit CTavloKeyField(QWidget* parent = nullptr);
    std::function<void(int vk)> onKey;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class CTavloPageKey : public CTavloConfigPage {
public:
    explicit CTavloPageKey(QWidget* parent = nullptr);
    void Save() override;
    QTreeWidget* GetList() const { return m_list; }
    CTavloKeyField* GetKeyField() const { return m_key; }
    CTavloKeyField* GetSubKeyField() const { return m_subKey; }
    // The command of a row (rows in the page's order).
    static int RowCommand(int row);
    int GetKey(int command) const { return m_keys[static_cast<size_t>(command)]; }
    int GetSubKey(int command) const { return m_subKeys[static_cast<size_t>(command)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void assign(bool sub, int vk);
    void showRow();

    QTreeWidget* m_list;
    CTavloKeyField* m_key;
    CTavloKeyField* m_subKey;
    std::vector<int> m_keys, m_subKeys;
    std::vector<bool> m_changed;
};

// A page with an editable list (extra boards, NG words, templates): duplicates are refused
// with the page's message.
class CTavloListPage : public CTavloConfigPage {
public:
    CTavloListPage(int menuId, const char* label, QWidget* parent = nullptr);
    QListWidget* GetList() const { return m_list; }
    // Adds an entry after the duplicate check; false (message shown) when it is listed.
    bool AddEntry(const std::vector<CVornString>& columns);
    void RemoveSelected();
    const std::vector<std::vector<CVornString>>& Entries() const { return m_entries; }
    bool IsChanged() const { return m_changed; }

protected:
    void setEntries(std::vector<std::vector<CVornString>> entries);
    virtual bool same(const std::vector<CVornString>& a, const std::vector<CVornString>& b) const;
    virtual QString rowText(const std::vector<CVornString>& e) const;
    // Built by the subclass: the fields and the add button call AddEntry.
    void addListControls(QWidget* fields, const std::function<std::vector<CVornString>()>& take);

    const char* m_duplicate = "";

private:
    void refill();
    QListWidget* m_list;
    std::vector<std::vector<CVornString>> m_entries;
    bool m_changed = false;
};

class CTavloPageBoard : public CTavloListPage {
public:
    explicit CTavloPageBoard(QWidget* parent = nullptr);
    void Save() override;

protected:
    bool same(const std::vector<CVornString>& a, const std::vector<CVornString>& b) const override;
    QString rowText(const std::vector<CVornString>& e) const override;
};

class CTavloPageNg : public CTavloListPage {
public:
    CTavloPageNg(const std::vector<CVornString>& targets, const std::vector<CVornString>& words,
                 QWidget* parent = nullptr);
    void Save() override;
    QComboBox* GetTargetCombo() const { return m_target; }
    QComboBox* GetWordCombo() const { return m_word; }

protected:
    QString rowText(const std::vector<CVornString>& e) const override;

private:
    QComboBox* m_target;
    QComboBox* m_word;
};

// The template list: CTavloTemplateFile, which the post editor reads too.
class CTavloPageMessage : public CTavloListPage {
public:
    explicit CTavloPageMessage(QWidget* parent = nullptr);
    void Save() override;
};

class CTavloPageImage : public CTavloConfigPage {
public:
    explicit CTavloPageImage(QWidget* parent = nullptr);
};
class CTavloPageOther : public CTavloConfigPage {
public:
    explicit CTavloPageOther(QWidget* parent = nullptr);
    // Also switches logging on or off at once when Debug changed.
    void Save() override;
    // Logging as Debug says: on into the program's directory, or off.
    static void ApplyDebug(int debug);
};
class CTavloPageMovie : public CTavloConfigPage {
public:
    explicit CTavloPageMovie(QWidget* parent = nullptr);
};
