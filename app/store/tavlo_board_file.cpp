#include "tavlo_board_file.h"

#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_regex.h"

namespace {

// A name or URL holding a line break would shift every later row by a line.
CVornString oneLine(const CVornString& field) {
    CVornString out = field;
    for (char& c : out.str())
        if (c == '\n' || c == '\r')
            c = ' ';
    return out;
}

} // namespace

CTavloBoardFile::CTavloBoardFile() : CVornTable(3), m_path(CTavloPath::GetRoot() + "/board.txt") {}

CTavloBoardFile::CTavloBoardFile(const CVornString& path) : CVornTable(3), m_path(path) {}

CTavloBoardFileEtc::CTavloBoardFileEtc() : CTavloBoardFile(CTavloPath::GetRoot() + "/etc.txt") {}

int CTavloBoardFile::Load() {
    RemoveAll();
    CVornTextFile file;
    if (!file.Open(m_path.c_str(), CVornFile::MODE_READ)) {
        VLOG(1, "CTavloBoardFile::Load", "error %s(%d)", m_path.c_str(), file.GetLastError());
        return -200;
    }
    CVornRegex skip;
    skip.Compile(VornUtf8ToSjis("チャット|ツール類|他のサイト").c_str());
    CVornString name, url, id;
    for (;;) {
        if (!file.ReadLine(name) || !file.ReadLine(url) || !file.ReadLine(id))
            break;
        name.Trim();
        url.Trim();
        id.Trim();
        // The skipped names are those of menu categories; a board named so stays.
        if (url.IsEmpty() && skip.Match(name) >= 0)
            continue;
        AddRow({name, url, id});
    }
    return 0;
}

int CTavloBoardFile::Save() {
    CVornString text;
    for (const Row& row : m_rows) {
        bool category = row[COL_URL].IsEmpty();
        text += oneLine(row[COL_NAME]);
        text += "\n";
        if (!category) {
            text += oneLine(row[COL_URL]);
            text += "\n";
            text += oneLine(row[COL_ID]);
        } else {
            text += "\n";
        }
        text += "\n";
    }
    if (!VornWriteFileAtomic(m_path.c_str(), text.view())) {
        VLOG(0, "CTavloBoardFile::Save", "error %s", m_path.c_str());
        return -200;
    }
    return 0;
}

int CTavloBoardFile::Backup() {
    // A copy, not a move: the list stays in place until its successor is written whole.
    return VornCopyFile(m_path.c_str(), (m_path + ".bak").c_str());
}

void CTavloBoardFile::ReplaceUrl(const CVornString& oldUrl, const CVornString& newUrl) {
    for (Row& row : m_rows)
        if (row[COL_URL] == oldUrl)
            row[COL_URL] = newUrl;
}

void CTavloBoardFile::InsertTop(const CVornString& name, const CVornString& url,
                                const CVornString& id) {
    InsertRow(0, {name, url, id});
}

CVornString CTavloBoardFile::NameOfUrl(const CTavloBoardFile& etc, const CTavloBoardFile& menu,
                                       const CVornString& url) {
    for (const CTavloBoardFile* f : {&etc, &menu}) {
        const int row = f->FindUrl(url);
        if (row >= 0)
            return f->Get(row, COL_NAME);
    }
    return CVornString();
}

CVornString CTavloBoardFile::NameOfUrl(const CVornString& url) {
    // A list that cannot be read has no rows: the other one still answers.
    CTavloBoardFileEtc etc;
    CTavloBoardFile menu;
    etc.Load();
    menu.Load();
    return NameOfUrl(etc, menu, url);
}
