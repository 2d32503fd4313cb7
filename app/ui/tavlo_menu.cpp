#include "tavlo_menu.h"

#include <QAction>
#include <QMenu>
#include <QVariant>

namespace {

const char* const kLabels[12] = {"&1", "&2", "&3", "&4", "&5", "&6",
                                 "&7", "&8", "&9", "&0", "&*", "&#"};

bool hasSuffix(const QString& text) {
    return text.size() >= 3 && text[text.size() - 3] == QLatin1Char('\t');
}

} // namespace

QAction* TavloAddCommand(QMenu* menu, int id, const char* label) {
    QAction* action = menu->addAction(QString::fromUtf8(label));
    action->setData(id);
    return action;
}

void TavloAddCommands(QMenu* menu, std::initializer_list<CTavloMenuEntry> entries) {
    for (const CTavloMenuEntry& e : entries)
        TavloAddCommand(menu, e.id, e.label)->setCheckable(e.checkable);
}

QMenu* TavloAddSubmenu(QMenu* menu, const char* title,
                       std::initializer_list<CTavloMenuEntry> entries) {
    QMenu* sub = menu->addMenu(QString::fromUtf8(title));
    TavloAddCommands(sub, entries);
    return sub;
}

int TavloCommandId(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

void TavloApplyMenuNumber(QMenu* menu, int on) {
    if (!menu)
        return;
    int n = 0;
    for (QAction* action : menu->actions()) {
        if (action->menu())
            TavloApplyMenuNumber(action->menu(), on);
        QString text = action->text();
        if (action->isSeparator() || text.isEmpty())
            continue;
        if (on) {
            if (n < 12 && !hasSuffix(text))
                action->setText(text + QLatin1Char('\t') + QLatin1String(kLabels[n]));
            ++n;
        } else if (hasSuffix(text)) {
            text.chop(3);
            action->setText(text);
        }
    }
}
