#pragma once

#include "vorn_regex.h"
#include "vorn_string.h"
#include "vorn_table.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The NG rules of ngword.txt in the log root: rows of (scope, pattern), both regular
// expressions. The scope is matched against the thread's URL (empty: every thread), the
// pattern against a post's display text.
class CTavloNgFile : public CVornTable {
public:
    enum { COL_SCOPE = 0, COL_PATTERN = 1 };

    // A rule that could not be used: its row, the column at fault and the compiler's message.
    struct Problem {
        int row;
        int column;
        CVornString error;
    };

    CTavloNgFile();

    // The one instance, created and loaded on first use.
    static CTavloNgFile& Instance();
    static void Destroy();

    // root + "/ngword.txt".
    static CVornString GetPath();
    // Replaces the rows with the file's; false (rows kept) when it cannot be opened.
    virtual bool Load();
    // Writes every row, "%s\t%s\r\n"; false when the file cannot be written (old file kept).
    virtual bool Save();
    // Thread view command: a new first rule for one thread whose pattern is the selected
    // text without its LFs; saves. False when there is no text or the save failed.
    virtual bool AddThreadRule(const CVornString& threadUrl, const CVornString& selection);

    // The patterns of every rule whose scope is empty or matches board URL ("/" added when
    // missing) + key, joined with "|" in row order; empty when none applies or an argument is
    // missing. Rules with an invalid scope or pattern, or an empty pattern, are left out and
    // reported in problems (when given) and in the log.
    virtual CVornString GetExpression(const CVornString& key, const CVornString& boardUrl,
                                      std::vector<Problem>* problems = nullptr);

    // Splits one line of ngword.txt at its last tab; false when it holds none.
    static bool SplitLine(const CVornString& line, CVornString& scope, CVornString& pattern);

private:
    CVornRegex* compiled(const CVornString& text, CVornString& error);

    std::mutex m_lock; // the compiled-expression cache
    std::map<std::string, std::unique_ptr<CVornRegex>> m_cache;
    std::map<std::string, CVornString> m_invalid;
};
