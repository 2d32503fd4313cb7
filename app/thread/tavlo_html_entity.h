#pragma once

#include <cstddef>
#include <string_view>

// The 252 character entity references of HTML 4.01.
struct TavloHtmlEntity {
    const char* name; // without "&" and ";"
    char16_t code;
};

// Every entity, sorted by name (byte order).
const TavloHtmlEntity* TavloHtmlEntities(size_t* count);

// Code unit of the entity whose name (case-sensitive, without ";") is name; 0 when none.
char16_t TavloFindHtmlEntity(std::u16string_view name);

// Longest entity name ("thetasym").
constexpr size_t kTavloHtmlEntityMaxName = 8;
