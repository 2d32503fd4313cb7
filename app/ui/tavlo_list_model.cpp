#include "tavlo_list_model.h"

#include "tavlo_list_view.h"

CTavloListModel::CTavloListModel(CTavloListView* owner, QObject* parent)
    : QAbstractTableModel(parent), m_owner(owner) {}

int CTavloListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CTavloListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CTavloListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.column() >= columnCount())
        return QVariant();
    if (role == Qt::DisplayRole) {
        QString text;
        if (!m_owner->GetItemText(text, index.row(), index.column()))
            return QVariant();
        return text;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns[static_cast<size_t>(index.column())].align |
                                   Qt::AlignTop);
    return QVariant();
}

QVariant CTavloListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    const Column& c = m_columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole)
        return c.header;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(c.align | Qt::AlignVCenter);
    return QVariant();
}

Qt::ItemFlags CTavloListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void CTavloListModel::SetColumns(std::vector<Column> columns) {
    beginResetModel();
    m_columns = std::move(columns);
    endResetModel();
}

void CTavloListModel::SetHeader(int column, const QString& header) {
    if (column < 0 || column >= columnCount())
        return;
    m_columns[static_cast<size_t>(column)].header = header;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void CTavloListModel::SetRowCount(int count) {
    beginResetModel();
    m_rows = count < 0 ? 0 : count;
    endResetModel();
}

void CTavloListModel::RowsChanged() {
    if (m_rows > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}
