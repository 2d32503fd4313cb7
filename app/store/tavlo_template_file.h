#pragma once

#include "vorn_string.h"
#include "vorn_table.h"

// The post editor's templates, template.txt in the log root: one template a line, in file
// order (Shift_JIS). A line break inside a template is stored as the two characters "\n".
class CTavloTemplateFile : public CVornTable {
public:
    CTavloTemplateFile() : CVornTable(1) {}

    // The one instance, created and loaded on first use.
    static CTavloTemplateFile& Instance();
    static void Destroy();

    // root + "/template.txt".
    static CVornString GetPath();
    // Replaces the rows with the file's non-empty lines; a missing file leaves the list empty.
    virtual bool Load();
    // Writes every row followed by CR LF; false when the file could not be written (the old
    // file stays).
    virtual bool Save();
    const CVornString& GetTemplate(int row) const { return Get(row, 0); }
    // The thread view's "add to templates": a selection's LFs become "\n" (CRs dropped).
    static CVornString FromSelection(const CVornString& text);
};
