#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

// Rows of byte-string columns.
class CVornTable : public CVornObject {
public:
    using Row = std::vector<CVornString>;
    using Compare = int (*)(const Row& a, const Row& b, void* context);

    explicit CVornTable(int columns = 1) : m_columns(columns > 0 ? columns : 1) {}

    int GetColumnCount() const { return m_columns; }
    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    // Adds a row; missing columns are empty, extra ones dropped. Returns the row index.
    int AddRow(Row row);
    int InsertRow(int at, Row row);
    const CVornString& Get(int row, int column) const;
    void Set(int row, int column, const CVornString& value);
    const Row* GetRow(int row) const;
    int RemoveRow(int row);
    void RemoveAll() { m_rows.clear(); }
    // First row at or after start whose column equals value, or -1.
    int Search(int column, std::string_view value, int start = 0) const;
    void Sort(Compare compare, void* context);
    // Plain byte order of one column.
    void Sort(int column, bool ascending = true);

protected:
    int m_columns;
    std::vector<Row> m_rows;
};

// Three-way comparison of keys; the default is plain byte order.
using VornKeyCompare = int (*)(const CVornString& a, const CVornString& b);
inline int VornCompareBytes(const CVornString& a, const CVornString& b) {
    return a.str().compare(b.str());
}

struct VornKeyLess {
    VornKeyCompare compare = VornCompareBytes;
    bool operator()(const CVornString& a, const CVornString& b) const { return compare(a, b) < 0; }
};

// Ordered map from a key to one value, with a caller's comparison.
template <typename V> class CVornTree : public CVornObject {
public:
    using Map = std::map<CVornString, V, VornKeyLess>;
    explicit CVornTree(VornKeyCompare compare = VornCompareBytes) : m_map(VornKeyLess{compare}) {}

    int GetCount() const { return static_cast<int>(m_map.size()); }
    void Set(const CVornString& key, V value) { m_map.insert_or_assign(key, std::move(value)); }
    V* Find(const CVornString& key) {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    const V* Find(const CVornString& key) const {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    bool Exists(const CVornString& key) const { return m_map.count(key) != 0; }
    int Remove(const CVornString& key) { return static_cast<int>(m_map.erase(key)); }
    void RemoveAll() { m_map.clear(); }
    typename Map::iterator begin() { return m_map.begin(); }
    typename Map::iterator end() { return m_map.end(); }
    typename Map::const_iterator begin() const { return m_map.begin(); }
    typename Map::const_iterator end() const { return m_map.end(); }

private:
    Map m_map;
};

// Ordered map from a key to several values kept in insertion order.
class CVornTreeTable : public CVornObject {
public:
    using Map = std::map<CVornString, std::vector<CVornString>, VornKeyLess>;
    explicit CVornTreeTable(VornKeyCompare compare = VornCompareBytes)
        : m_map(VornKeyLess{compare}) {}

    void Add(const CVornString& key, const CVornString& value) { m_map[key].push_back(value); }
    const std::vector<CVornString>* Find(const CVornString& key) const {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    // First value of key, or empty.
    CVornString GetFirst(const CVornString& key) const {
        auto* v = Find(key);
        return v && !v->empty() ? v->front() : CVornString();
    }
    int GetCount() const { return static_cast<int>(m_map.size()); }
    int Remove(const CVornString& key) { return static_cast<int>(m_map.erase(key)); }
    void RemoveAll() { m_map.clear(); }
    Map::const_iterator begin() const { return m_map.begin(); }
    Map::const_iterator end() const { return m_map.end(); }

private:
    Map m_map;
};

// Unordered string-keyed map.
template <typename V> class CVornHash : public CVornObject {
public:
    int GetCount() const { return static_cast<int>(m_map.size()); }
    void Set(const std::string& key, V value) { m_map.insert_or_assign(key, std::move(value)); }
    V* Find(const std::string& key) {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    bool Exists(const std::string& key) const { return m_map.count(key) != 0; }
    int Remove(const std::string& key) { return static_cast<int>(m_map.erase(key)); }
    void RemoveAll() { m_map.clear(); }
    auto begin() { return m_map.begin(); }
    auto end() { return m_map.end(); }

private:
    std::unordered_map<std::string, V> m_map;
};
