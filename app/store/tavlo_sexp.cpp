#include "tavlo_sexp.h"

namespace {

const CVornString kEmpty;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isDelimiter(char c) {
    return isBlank(c) || c == '(' || c == ')' || c == '"' || c == ';';
}

} // namespace

const CVornString* CTavloSexp::AsString() const {
    if (type == STRING)
        return &text;
    if (type == LIST && vector && !items.empty() && items[0].type == STRING)
        return &items[0].text;
    return nullptr;
}

const CVornString& CTavloSexp::Head() const {
    if (type == LIST && !vector && !items.empty() && items[0].type == ATOM)
        return items[0].text;
    return kEmpty;
}

const CTavloSexp* CTavloSexp::Find(std::string_view head) const {
    if (type != LIST)
        return nullptr;
    for (const CTavloSexp& item : items)
        if (item.type == LIST && item.Head().view() == head)
            return &item;
    return nullptr;
}

const CTavloSexp* CTavloSexp::GetProperty(std::string_view keyword, size_t from) const {
    if (type != LIST)
        return nullptr;
    for (size_t i = from; i + 1 < items.size(); ++i)
        if (items[i].type == ATOM && items[i].text.view() == keyword)
            return &items[i + 1];
    return nullptr;
}

void CTavloSexpReader::skipBlank() {
    while (m_pos < m_text.size()) {
        char c = m_text[m_pos];
        if (isBlank(c)) {
            ++m_pos;
        } else if (c == ';') {
            size_t nl = m_text.find('\n', m_pos);
            m_pos = nl == std::string_view::npos ? m_text.size() : nl + 1;
        } else {
            break;
        }
    }
}

// m_pos is just after the opening quote. Returns OK, or ERROR when the string is not closed.
int CTavloSexpReader::readString(CVornString& out) {
    size_t start = m_pos;
    while (m_pos < m_text.size()) {
        if (TavloIsSjisPair(m_text, m_pos)) {
            m_pos += 2;
            continue;
        }
        char c = m_text[m_pos];
        if (c == '"') {
            out = TavloSexpUnescape(m_text.substr(start, m_pos - start));
            ++m_pos;
            return OK;
        }
        if (c == '\\' && m_pos + 1 < m_text.size() &&
            (m_text[m_pos + 1] == '"' || m_text[m_pos + 1] == '\\')) {
            m_pos += 2;
            continue;
        }
        ++m_pos;
    }
    return ERROR;
}

void CTavloSexpReader::readAtom(CVornString& out) {
    size_t start = m_pos;
    while (m_pos < m_text.size()) {
        if (TavloIsSjisPair(m_text, m_pos)) {
            m_pos += 2;
            continue;
        }
        char c = m_text[m_pos];
        if (c == '\\' && m_pos + 1 < m_text.size()) {
            m_pos += 2;
            continue;
        }
        if (isDelimiter(c))
            break;
        ++m_pos;
    }
    out = CVornString(m_text.substr(start, m_pos - start));
}

int CTavloSexpReader::Read(CTavloSexp& out, bool closeAtEnd, size_t maxLength, int maxDepth) {
    struct Open {
        CTavloSexp node;
        bool dot = false; // the next datum is the cdr of a dotted pair
    };
    std::vector<Open> stack;
    skipBlank();
    if (m_pos >= m_text.size())
        return END;
    size_t start = m_pos;

    // Places a finished datum into the innermost open list, or hands it out.
    auto finish = [&](CTavloSexp&& datum) -> bool {
        if (stack.empty()) {
            out = std::move(datum);
            return true;
        }
        Open& top = stack.back();
        if (top.dot && datum.type == CTavloSexp::LIST && !datum.vector) {
            // "(a . (b c))" is "(a b c)".
            for (CTavloSexp& item : datum.items)
                top.node.items.push_back(std::move(item));
        } else {
            top.node.items.push_back(std::move(datum));
        }
        top.dot = false;
        return false;
    };

    for (;;) {
        skipBlank();
        if (maxLength && m_pos - start > maxLength)
            return ERROR;
        if (m_pos >= m_text.size()) {
            if (!closeAtEnd || stack.empty())
                return ERROR;
            while (!stack.empty()) {
                CTavloSexp node = std::move(stack.back().node);
                stack.pop_back();
                if (finish(std::move(node)))
                    return OK;
            }
            return ERROR;
        }
        char c = m_text[m_pos];
        if (c == '(' || (c == '#' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '(')) {
            if (static_cast<int>(stack.size()) >= maxDepth)
                return ERROR;
            Open open;
            open.node.type = CTavloSexp::LIST;
            open.node.vector = c == '#';
            m_pos += c == '#' ? 2 : 1;
            stack.push_back(std::move(open));
            continue;
        }
        if (c == ')') {
            ++m_pos;
            if (stack.empty())
                return ERROR; // a stray ")" where a datum should start
            CTavloSexp node = std::move(stack.back().node);
            stack.pop_back();
            if (finish(std::move(node)))
                return OK;
            continue;
        }
        CTavloSexp datum;
        if (c == '"') {
            ++m_pos;
            datum.type = CTavloSexp::STRING;
            if (readString(datum.text) != OK) {
                if (!closeAtEnd)
                    return ERROR;
                m_pos = m_text.size(); // a cut string is dropped, what came before stays
                continue;
            }
        } else {
            if (c == '\'') {
                ++m_pos; // a quote mark only prefixes the datum
                continue;
            }
            datum.type = CTavloSexp::ATOM;
            readAtom(datum.text);
            if (datum.text == "." && !stack.empty()) {
                stack.back().dot = true;
                continue;
            }
        }
        if (finish(std::move(datum)))
            return OK;
    }
}

void TavloSexpScanEntries(std::string_view text, size_t maxLength,
                          const std::function<bool(const CTavloSexp&)>& accept) {
    // Entries are shallow; a deeper datum is no entry and must not cost a deep parse.
    constexpr int kMaxEntryDepth = 8;
    size_t pos = 0;
    CTavloSexp entry;
    while ((pos = text.find("(\"", pos)) != std::string_view::npos) {
        CTavloSexpReader reader(text, pos);
        if (reader.Read(entry, false, maxLength, kMaxEntryDepth) == CTavloSexpReader::OK &&
            accept(entry))
            pos = reader.GetPos();
        else
            ++pos;
    }
}

CVornString TavloSexpEscape(std::string_view text) {
    CVornString out;
    out.str().reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (TavloIsSjisPair(text, i)) {
            out.Append(text.data() + i, 2);
            ++i;
            continue;
        }
        char c = text[i];
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

CVornString TavloSexpUnescape(std::string_view text) {
    CVornString out;
    out.str().reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (TavloIsSjisPair(text, i)) {
            out.Append(text.data() + i, 2);
            ++i;
            continue;
        }
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[i + 1];
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}
