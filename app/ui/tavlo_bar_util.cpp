#include "tavlo_bar_util.h"

#include "tavlo_platform.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {

class EnterFilter : public QObject {
public:
    EnterFilter(QObject* parent, std::function<void()> action)
        : QObject(parent), m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        m_action();
        return true;
    }

private:
    std::function<void()> m_action;
};

} // namespace

QComboBox* TavloMakeWordCombo(QWidget* parent, const char* id) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(id);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(8);
    return combo;
}

QPushButton* TavloMakeBarButton(QWidget* parent, const char* id, const QString& text,
                                const QString& tip) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(id);
    button->setToolTip(tip);
    button->setAutoDefault(true);
    button->setFixedWidth(button->fontMetrics().height() * 2 + 8);
    return button;
}

void TavloFillCombo(QComboBox* combo, const CVornDataArray& entries) {
    combo->clear();
    for (const CVornString& entry : entries.Items())
        combo->addItem(TavloQString(entry));
    if (combo->count() > 0)
        combo->setCurrentIndex(0);
    else
        combo->setEditText(QString());
}

void TavloOnEnter(QComboBox* combo, std::function<void()> action) {
    // A real key reaches the combo box, which hands it to its line edit by a direct call that
    // no filter on the line edit sees; keys sent to the line edit itself are caught there.
    combo->installEventFilter(new EnterFilter(combo, action));
    if (QLineEdit* edit = combo->lineEdit())
        edit->installEventFilter(new EnterFilter(edit, std::move(action)));
}

void TavloSelectAll(QComboBox* combo) {
    if (QLineEdit* edit = combo->lineEdit())
        edit->selectAll();
}
