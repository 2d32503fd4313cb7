#include "tavlo_bar_util.h"

#include "tavlo_platform.h"

#include <QComboBox>
#include <QPushButton>

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
