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
