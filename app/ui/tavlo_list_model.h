#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

class CTavloListView;

// The rows of a list view as Qt sees them. Like a list control without item storage it knows
// only the row count it was told and the columns; every text comes from the list view on
// demand, so no entry is copied.
class CTavloListModel : public QAbstractTableModel {
public:
    struct Column {
        QString header;
        Qt::Alignment align = Qt::AlignLeft;
    };

    CTavloListModel(CTavloListView* owner, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetColumns(std::vector<Column> columns);
    const std::vector<Column>& Columns() const { return m_columns; }
    void SetHeader(int column, const QString& header);

    // A new row count: the rows are laid out anew (the selection is the view's to restore).
    void SetRowCount(int count);
    int GetRowCount() const { return m_rows; }
    // Every row's content may have changed (sorted, marked); the count stays.
    void RowsChanged();

private:
    CTavloListView* m_owner;
    std::vector<Column> m_columns;
    int m_rows = 0;
};
