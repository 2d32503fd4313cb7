#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Conversions between Shift_JIS (code page 932) board text and the window side's Unicode.
//
// Invalid input never vanishes:
// - Shift_JIS -> UTF-16: a byte that does not start a valid character becomes the lone
//   surrogate U+DC00 + byte ("surrogate escape"), so UTF-16 -> Shift_JIS restores it exactly.
// - Shift_JIS -> UTF-8: the same byte becomes U+FFFD (UTF-8 cannot hold lone surrogates).
// - UTF-16/UTF-8 -> Shift_JIS: a character code page 932 cannot hold becomes "?" ... except the
//   surrogate escapes above, which become their byte again. Invalid UTF-8 becomes "?".

std::u16string VornSjisToUtf16(std::string_view sjis);
// offsets (when not null) receives, for each UTF-16 unit, the byte offset of its character in
// sjis, plus one final entry equal to sjis.size().
std::u16string VornSjisToUtf16(std::string_view sjis, std::vector<uint32_t>* offsets);
std::string VornUtf16ToSjis(std::u16string_view text);
std::string VornSjisToUtf8(std::string_view sjis);
std::string VornSjisToUtf8(std::string_view sjis, std::vector<uint32_t>* offsets);
std::string VornUtf8ToSjis(std::string_view utf8);
std::u16string VornUtf8ToUtf16(std::string_view utf8);
std::string VornUtf16ToUtf8(std::u16string_view text);

// Appends the UTF-16 conversion of sjis to out; returns the number of escaped (invalid) bytes.
size_t VornAppendSjisToUtf16(std::string_view sjis, std::u16string& out);

// Same result as VornAppendSjisToUtf16, through a table that iconv fills once per process
// (about 15000 two-byte sequences); for whole thread logs, where the per-run iconv calls
// dominate.
size_t VornAppendSjisToUtf16Fast(std::string_view sjis, std::u16string& out);
// The same conversion into out, which has room for sjis.size() units (a unit never takes
// less than a byte); returns the units written and, when escaped is given, the escaped bytes.
size_t VornDecodeSjisFast(std::string_view sjis, char16_t* out, size_t* escaped);
