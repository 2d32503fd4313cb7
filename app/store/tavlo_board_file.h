#pragma once

#include "vorn_string.h"
#include "vorn_table.h"

#include <functional>

class CTavloWindow;

// A board list file: board.txt (the board menu) or etc.txt (boards added by hand). Rows of
// (name, board URL, board id); a category row has an empty URL and id. On disk each row is
// three lines, "%s\n%s\n%s\n".
class CTavloBoardFile : public CVornTable {
public:
    enum { COL_NAME = 0, COL_URL = 1, COL_ID = 2 };

    // The path defaults to root + "/board.txt".
    CTavloBoardFile();
    explicit CTavloBoardFile(const CVornString& path);

    const CVornString& GetPath() const { return m_path; }
    void SetPath(const CVornString& path) { m_path = path; }

    // 0, or -200 when the file cannot be opened. A row cut short by the end of the file is
    // left out, and so are the menu's chat, tool and other-site categories.
    virtual int Load();
    // 0, or -200 when the file cannot be written (the old file stays whole).
    virtual int Save();
    // Keeps a copy of the file as path + ".bak"; 1 or 0.
    virtual int Backup();
    // Fetches the menu page (progress to window, stopped by stop), keeps the file as path +
    // ".bak", writes the new file and loads it. 0; -100, -101, -102, -1 (stopped), -200 (not
    // written), -201 (the page lists no category: nothing is replaced). On failure the table
    // and both files stay as they were. Built with the fetch in tavlo_board_menu.cpp.
    int CreateFromHttp(const CVornString& menuUrl, CTavloWindow* window = nullptr,
                       std::function<bool()> stop = {});

    // Row index, or -1.
    int FindUrl(const CVornString& url) const { return Search(COL_URL, url.view()); }
    int FindId(const CVornString& id) const { return Search(COL_ID, id.view()); }
    // Every row whose URL is oldUrl gets newUrl.
    void ReplaceUrl(const CVornString& oldUrl, const CVornString& newUrl);
    void InsertTop(const CVornString& name, const CVornString& url, const CVornString& id);

    // The name of the board at url: etc.txt's row wins over the menu's; empty when neither
    // has it. The first form reads both files from the root, the second takes them loaded.
    static CVornString NameOfUrl(const CVornString& url);
    static CVornString NameOfUrl(const CTavloBoardFile& etc, const CTavloBoardFile& menu,
                                 const CVornString& url);

protected:
    CVornString m_path;
};

// etc.txt: the same file format; the path defaults to root + "/etc.txt".
class CTavloBoardFileEtc : public CTavloBoardFile {
public:
    CTavloBoardFileEtc();
    explicit CTavloBoardFileEtc(const CVornString& path) : CTavloBoardFile(path) {}
};
