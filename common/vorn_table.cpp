#include "vorn_table.h"

#include <algorithm>

int CVornTable::AddRow(Row row) {
    row.resize(static_cast<size_t>(m_columns));
    m_rows.push_back(std::move(row));
    return GetRowCount() - 1;
}

int CVornTable::InsertRow(int at, Row row) {
    row.resize(static_cast<size_t>(m_columns));
    if (at < 0)
        at = 0;
    if (at > GetRowCount())
        at = GetRowCount();
    m_rows.insert(m_rows.begin() + at, std::move(row));
    return at;
}

const CVornString& CVornTable::Get(int row, int column) const {
    static const CVornString empty;
    if (row < 0 || row >= GetRowCount() || column < 0 || column >= m_columns)
        return empty;
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void CVornTable::Set(int row, int column, const CVornString& value) {
    if (row < 0 || row >= GetRowCount() || column < 0 || column >= m_columns)
        return;
    m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = value;
}

const CVornTable::Row* CVornTable::GetRow(int row) const {
    if (row < 0 || row >= GetRowCount())
        return nullptr;
    return &m_rows[static_cast<size_t>(row)];
}

int CVornTable::RemoveRow(int row) {
    if (row < 0 || row >= GetRowCount())
        return 0;
    m_rows.erase(m_rows.begin() + row);
    return 1;
}

int CVornTable::Search(int column, std::string_view value, int start) const {
    if (column < 0 || column >= m_columns)
        return -1;
    for (int i = start < 0 ? 0 : start; i < GetRowCount(); ++i)
        if (m_rows[static_cast<size_t>(i)][static_cast<size_t>(column)].view() == value)
            return i;
    return -1;
}

void CVornTable::Sort(Compare compare, void* context) {
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [&](const Row& a, const Row& b) { return compare(a, b, context) < 0; });
}

void CVornTable::Sort(int column, bool ascending) {
    if (column < 0 || column >= m_columns)
        return;
    auto c = static_cast<size_t>(column);
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) {
        int r = a[c].str().compare(b[c].str());
        return ascending ? r < 0 : r > 0;
    });
}
