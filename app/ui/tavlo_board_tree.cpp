#include "tavlo_board_tree.h"

#include "tavlo_board_view.h"
#include "tavlo_icons.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int kTextLeft = kTavloIconSize + 2;

// The label's two parts: the text before its last blank, and the text after it.
void splitLabel(const QString& label, QString* name, QString* id) {
    const qsizetype blank = label.lastIndexOf(QLatin1Char(' '));
    if (blank < 0) {
        *name = label;
        id->clear();
        return;
    }
    *name = label.left(blank);
    *id = label.mid(blank + 1);
}

class BoardItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const CTavloSettings& s = CTavloSettings::Instance();
        const auto* tree = static_cast<const CTavloBoardTree*>(parent());
        const QTreeWidgetItem* item = tree->itemFromIndex(index);
        painter->save();
        painter->fillRect(option.rect, TavloColor(s.ColorBack));
        int x = option.rect.left();
        if (item && CTavloBoardTree::HasFolder(item)) {
            const QPixmap& icon = TavloFolderIcon(item->isExpanded());
            painter->drawPixmap(x, option.rect.top() + (option.rect.height() - icon.height()) / 2,
                                icon);
        }
        x += kTextLeft;
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(TavloColor(selected ? s.ColorActive : s.ColorFore));
        painter->setFont(option.font);
        QString name, id;
        splitLabel(index.data().toString(), &name, &id);
        QRect text(x, option.rect.top(), option.rect.right() - x + 1, option.rect.height());
        painter->setClipRect(option.rect);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
        if (!id.isEmpty()) {
            QRect second = text.adjusted(tree->IdOffset(), 0, 0, 0);
            painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, id);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* tree = static_cast<const CTavloBoardTree*>(parent());
        QFontMetrics fm(option.font);
        QString name, id;
        splitLabel(index.data().toString(), &name, &id);
        int width = kTextLeft + fm.horizontalAdvance(name);
        if (!id.isEmpty())
            width = std::max(width, kTextLeft + tree->IdOffset() + fm.horizontalAdvance(id));
        return QSize(width + 4, std::max(fm.height(), kTavloIconSize) + 2);
    }
};

} // namespace

CTavloBoardTree::CTavloBoardTree(CTavloBoardView* owner, QWidget* parent)
    : QTreeWidget(parent), m_owner(owner) {
    setObjectName("tree");
    setColumnCount(1);
    setHeaderHidden(true);
    setItemDelegate(new BoardItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    viewport()->setAutoFillBackground(true);
}

void CTavloBoardTree::ApplySettings(const QFont& font) {
    const CTavloSettings& s = CTavloSettings::Instance();
    setFont(font);
    QPalette p = palette();
    p.setColor(QPalette::Base, TavloColor(s.ColorBack));
    p.setColor(QPalette::Window, TavloColor(s.ColorBack));
    p.setColor(QPalette::Text, TavloColor(s.ColorFore));
    // Selection shows in the text colour alone.
    p.setColor(QPalette::Highlight, TavloColor(s.ColorBack));
    p.setColor(QPalette::HighlightedText, TavloColor(s.ColorActive));
    setPalette(p);
    viewport()->setPalette(p);
    UpdateIdColumn();
    doItemsLayout();
    viewport()->update();
}

void CTavloBoardTree::UpdateIdColumn() {
    QFontMetrics fm(font());
    const int blank = fm.horizontalAdvance(QLatin1Char(' '));
    int offset = blank * CTavloBoardView::kIdGap;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        QString name, id;
        splitLabel((*it)->text(0), &name, &id);
        if (!id.isEmpty())
            offset = std::max(offset, fm.horizontalAdvance(name.trimmed()) + 2 * blank);
    }
    if (offset != m_idOffset) {
        m_idOffset = offset;
        doItemsLayout();
        viewport()->update();
    }
}

void CTavloBoardTree::PageKey(bool down) {
    QModelIndex next = moveCursor(down ? MovePageDown : MovePageUp, Qt::NoModifier);
    if (!next.isValid())
        return;
    setCurrentIndex(next);
    scrollTo(next);
}

bool CTavloBoardTree::HasFolder(const QTreeWidgetItem* item) {
    if (!item)
        return false;
    if (item->childCount() > 0)
        return true;
    const CTavloBoardRef* record = CTavloBoardView::RecordOf(item);
    return record && record->BoardUrl.IsEmpty();
}

QRect CTavloBoardTree::LabelRect(const QTreeWidgetItem* item) const {
    if (!item)
        return QRect();
    QModelIndex index = indexFromItem(item);
    QRect cell = visualRect(index);
    if (!cell.isValid())
        return QRect();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.font = font();
    QSize size = itemDelegate()->sizeHint(option, index);
    return QRect(cell.left(), cell.top(), std::min(size.width(), cell.width()), cell.height());
}

void CTavloBoardTree::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QTreeWidgetItem* pressed = itemAt(at);
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressed && LabelRect(pressed).contains(at))
        m_owner->OpenItem(pressed, false);
}
