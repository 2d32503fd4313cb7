#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <algorithm>
#include <string_view>
#include <vector>

// Array of pointers it does not own. Sort is stable and takes a three-way comparison with a
// caller's context.
template <typename T> class CVornPtrArray : public CVornObject {
public:
    using Compare = int (*)(const T* a, const T* b, void* context);

    explicit CVornPtrArray(int block = 16) {
        m_items.reserve(block > 0 ? static_cast<size_t>(block) : 16);
    }
    CVornPtrArray(const CVornPtrArray&) = delete;
    CVornPtrArray& operator=(const CVornPtrArray&) = delete;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    T* Get(int i) const { return valid(i) ? m_items[static_cast<size_t>(i)] : nullptr; }
    int Add(T* item) {
        m_items.push_back(item);
        return GetCount() - 1;
    }
    int Insert(int i, T* item) {
        if (i < 0)
            i = 0;
        if (i > GetCount())
            i = GetCount();
        m_items.insert(m_items.begin() + i, item);
        return i;
    }
    int IndexOf(const T* item) const {
        auto it = std::find(m_items.begin(), m_items.end(), item);
        return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
    }
    void Set(int i, T* item) {
        if (valid(i))
            m_items[static_cast<size_t>(i)] = item;
    }
    // Removes entry i; an owning subclass deletes it. Returns 1, or 0 when i is out of range.
    virtual int Remove(int i) {
        if (!valid(i))
            return 0;
        m_items.erase(m_items.begin() + i);
        return 1;
    }
    // Removes entry i without deleting it and hands it to the caller.
    T* Detach(int i) {
        if (!valid(i))
            return nullptr;
        T* item = m_items[static_cast<size_t>(i)];
        m_items.erase(m_items.begin() + i);
        return item;
    }
    virtual void RemoveAll() { m_items.clear(); }
    void Sort(Compare compare, void* context) {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [&](const T* a, const T* b) { return compare(a, b, context) < 0; });
    }
    template <typename Less> void SortBy(Less less) {
        std::stable_sort(m_items.begin(), m_items.end(), less);
    }
    void Move(int from, int to) {
        if (!valid(from) || !valid(to) || from == to)
            return;
        T* item = m_items[static_cast<size_t>(from)];
        m_items.erase(m_items.begin() + from);
        m_items.insert(m_items.begin() + to, item);
    }

    typename std::vector<T*>::const_iterator begin() const { return m_items.begin(); }
    typename std::vector<T*>::const_iterator end() const { return m_items.end(); }

protected:
    bool valid(int i) const { return i >= 0 && static_cast<size_t>(i) < m_items.size(); }
    std::vector<T*> m_items;
};

// Pointer array that owns its entries: removing an entry deletes it.
template <typename T> class CVornAllocPtrArray : public CVornPtrArray<T> {
public:
    using CVornPtrArray<T>::CVornPtrArray;
    ~CVornAllocPtrArray() override { deleteAll(); }
    int Remove(int i) override {
        if (!this->valid(i))
            return 0;
        delete this->m_items[static_cast<size_t>(i)];
        this->m_items.erase(this->m_items.begin() + i);
        return 1;
    }
    void RemoveAll() override { deleteAll(); }

private:
    void deleteAll() {
        for (T* item : this->m_items)
            delete item;
        this->m_items.clear();
    }
};

// Array of byte strings.
class CVornDataArray : public CVornObject {
public:
    int GetCount() const { return static_cast<int>(m_items.size()); }
    const CVornString& Get(int i) const;
    int Add(const CVornString& s) {
        m_items.push_back(s);
        return GetCount() - 1;
    }
    int Add(const char* data, int len) { return Add(CVornString(data, static_cast<size_t>(len))); }
    void Insert(int i, const CVornString& s);
    void Set(int i, const CVornString& s);
    int Remove(int i);
    void RemoveAll() { m_items.clear(); }
    int Find(std::string_view s) const;
    // Splits text at every occurrence of separator; empty fields are kept unless skipEmpty.
    int CreateStringArray(std::string_view text, std::string_view separator,
                          bool skipEmpty = false);
    std::vector<CVornString>& Items() { return m_items; }
    const std::vector<CVornString>& Items() const { return m_items; }
    bool operator==(const CVornDataArray& o) const { return m_items == o.m_items; }

private:
    std::vector<CVornString> m_items;
};
