#pragma once

#include "vorn_string.h"
#include "vorn_table.h"

#include <cstdint>

// One board's article-summary: per thread key, the posts seen and when the thread was first
// recorded. Rows of (key, seen count, time) as decimal text.
class CTavloArticleFile : public CVornTable {
public:
    enum { COL_KEY = 0, COL_SEEN = 1, COL_TIME = 2 };

    CTavloArticleFile() : CVornTable(3) {}

    // Reads board directory + "/article-summary"; false when it cannot be read (the path is
    // kept, so a missing file simply starts empty).
    virtual bool Load(const CVornString& boardUrl);
    // 1, or 0 when there is no path, the file could not be written (the old one stays), or
    // the file exists but could not be read by Load (it is not overwritten then).
    virtual int Save();
    // Sets the seen count of key; a new key is recorded with the current time. 1, or 0 for
    // an empty key.
    virtual int SetSeen(const CVornString& key, int count);
    // The seen count, or -1 when the key has no row or its count is nil or 0.
    virtual int GetSeen(const CVornString& key) const;
    // Adds to other every row whose key it lacks.
    virtual void MergeInto(CTavloArticleFile& other) const;
    // Removes the key's row; 1 when there was one.
    virtual int RemoveKey(const CVornString& key);

    // Rows from the file's text; the file's text of the rows.
    void Parse(std::string_view text);
    CVornString Format() const;

    const CVornString& GetPath() const { return m_path; }
    void SetPath(const CVornString& path) { m_path = path; }
    int64_t GetTime(int row) const;

protected:
    CVornString m_path;
    bool m_unreadable = false;
};
