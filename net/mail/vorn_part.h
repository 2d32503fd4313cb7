#pragma once

#include "vorn_mail.h"

// One part of a message file: its header, where it starts, and the byte range of its content.
class CVornPart : public CVornMail {
public:
    CVornPart() = default;
    ~CVornPart() override = default;

    int GetHeadLine() const { return m_headLine; }
    int IsHeader() const { return m_isHeader; }
    // Nesting level: 0 for the message itself.
    int GetDepth() const { return m_depth; }
    // Content bytes in the message file: [GetBodyOffset, GetBodyEnd).
    int64_t GetBodyOffset() const { return m_bodyOffset; }
    int64_t GetBodyEnd() const { return m_bodyEnd; }
    int64_t GetHeadOffset() const { return m_headOffset; }

private:
    friend class CVornMail;
    friend class CVornMailParser;
    int m_headLine = 0;
    int m_isHeader = 0;
    int m_depth = 0;
    int64_t m_headOffset = 0;
    int64_t m_bodyOffset = 0;
    int64_t m_bodyEnd = 0;
};
