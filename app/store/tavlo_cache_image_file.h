#pragma once

#include "tavlo_list_item.h"
#include "vorn_array.h"
#include "vorn_string.h"

#include <string>
#include <unordered_set>

// A file of the image cache.
class CTavloCacheImageItem : public CTavloListItem {
public:
    CTavloCacheImageItem(int index, const CVornString& path, const CVornString& displayName,
                         const CVornString& timeText);
    // 0x11 when marked, else 0x01.
    int GetMark() const override;
    // The image URL without its scheme (the cached file's name, URL-decoded).
    const CVornString& GetDisplayName() const { return m_display; }
    const CVornString& GetPath() const { return m_path; }
    // "http://" + display name.
    const CVornString& GetImageUrl() const { return m_url; }
    const CVornString& GetTimeText() const { return m_time; }
    void SetTimeText(const CVornString& text) { m_time = text; }
    int IsSelected() const { return m_selected; }
    void SetSelected(int on) { m_selected = on; }

private:
    CVornString m_display;
    CVornString m_path;
    CVornString m_url;
    CVornString m_time;
    int m_selected = 0;
};

// Every file under root/.img, one list for the program (the cache view's rows, the image view's
// and the thumbnails' test whether an image is cached). Window thread only.
class CTavloCacheImageFile : public CVornAllocPtrArray<CTavloCacheImageItem> {
public:
    // The program's list, built from the store on first use.
    static CTavloCacheImageFile& Instance();
    // Drops the program's list: the next Instance builds it again (tests, a new root).
    static void Reset();

    // Walks dir (root + "/.img" by default) and appends every file; the count.
    int Build(const CVornString& dir);
    // Entries with an index of at least index gain 1; the new one goes to position index - 1.
    void Insert(int index, const CVornString& path, const CVornString& timeText);
    // A file that was saved now: refreshed when listed, else inserted at the front.
    void AddFile(const CVornString& path);
    // Follows an entry's file: gone removes it, else its time text is read again.
    int Refresh(int position);
    // Deletes an entry; later indexes lose 1.
    int Remove(int position) override;
    void RemoveAll() override;
    bool IsCached(const CVornString& path) const { return m_paths.count(path.c_str()) != 0; }
    int FindPath(const CVornString& path) const;
    // The directory it lists.
    const CVornString& GetDirectory() const { return m_dir; }
    // The display name of a cached file under dir.
    static CVornString DisplayName(const CVornString& dir, const CVornString& path);

private:
    void walk(const std::string& dir, int depth, int& counter);

    CVornString m_dir;
    std::unordered_set<std::string> m_paths;
};
