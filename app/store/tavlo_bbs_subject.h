#pragma once

#include "vorn_string.h"

#include <memory>

// Parser of one subject.txt line, standard form: key ".dat<>" title " (" count ")", or the
// extended form of title-search results, which adds "<>" board URL "<>" board name. Parse cuts
// the line in place; the text fields point into it and are valid until the next Parse.
class CTavloBbsSubject {
public:
    CTavloBbsSubject() = default;
    CTavloBbsSubject(const CTavloBbsSubject&) = delete;
    CTavloBbsSubject& operator=(const CTavloBbsSubject&) = delete;

    virtual void SetKey(const char* key) { m_key = key; }
    virtual void SetTitle(const char* title) { m_title = title; }
    virtual void SetCount(const char* count) { m_count = count; }
    virtual void SetBoardName(const char* name) { m_boardName = name; }
    virtual void SetBoardUrl(const char* url) { m_boardUrl = url; }
    virtual void SetBoardId(const char* id) { m_boardId = id ? id : ""; }
    virtual ~CTavloBbsSubject() = default;
    // line is a NUL-terminated buffer that may be written to. 1 when it is an entry, else 0.
    virtual int Parse(char* line);
    virtual const char* GetTitle() const { return m_title; }
    virtual const char* GetKey() const { return m_key; }
    virtual const char* GetCount() const { return m_count; }
    // Null unless the line was an extended one.
    virtual const char* GetBoardName() const { return m_boardName; }
    virtual const char* GetBoardUrl() const { return m_boardUrl; }
    virtual const CVornString& GetBoardId() const { return m_boardId; }

protected:
    void clear();

    const char* m_key = nullptr;
    const char* m_title = nullptr;
    const char* m_count = nullptr;
    const char* m_boardName = nullptr;
    const char* m_boardUrl = nullptr;
    CVornString m_boardId;
};

// Machi: key "." extension "," title "(" count ")".
class CTavloBbsSubjectMachi : public CTavloBbsSubject {
public:
    int Parse(char* line) override;
};

// Livedoor JBBS: the Machi layout with the title in EUC-JP, converted to Shift_JIS.
class CTavloBbsSubjectLivedoor : public CTavloBbsSubjectMachi {
public:
    void SetTitle(const char* title) override;

private:
    CVornString m_convertedTitle;
};

// Holds the parser for the lines of one board's subject.txt.
class CTavloBbsSubjectManager {
public:
    // Machi hosts get the Machi parser, a URL containing the JBBS host the Livedoor one, any
    // other URL the standard one.
    explicit CTavloBbsSubjectManager(const CVornString& boardUrl);
    CTavloBbsSubject* GetParser() const { return m_parser.get(); }

    // Whether the URL's host is a subdomain of a Machi domain.
    static bool IsMachi(const CVornString& url);
    static bool IsLivedoor(const CVornString& url);

private:
    std::unique_ptr<CTavloBbsSubject> m_parser;
};
