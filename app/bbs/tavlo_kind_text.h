#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Small byte-level helpers the converting board kinds share: searches that respect Shift_JIS
// character boundaries (a trail byte may equal "[" or "\\"), tag removal and line assembly.
namespace TavloKindText {

// The highest post number a converting kind accepts. Skipped numbers become placeholder lines,
// so a hostile number must not make the log grow without bound.
constexpr int kMaxPostNumber = 1000000;

// Source text (UTF-8) as Shift_JIS.
std::string Sjis(const char* utf8);
// Whether pos of text starts a character (not the second byte of a two-byte one).
bool IsBoundary(std::string_view text, size_t pos);
// First occurrence of needle at or after from (npos when none). Sixteen places are tried at
// once on the needle's first and last bytes: std::string_view::find stops at every copy of the
// first byte, and in Shift_JIS text letters and "<" are common.
size_t Find(std::string_view text, std::string_view needle, size_t from = 0);
// First occurrence of needle at or after from that starts on a character boundary.
size_t FindSjis(std::string_view text, std::string_view needle, size_t from);
// Text with every "<" up to the next ">" removed (an unclosed "<" stays).
std::string StripTags(std::string_view text);
void AppendFields(std::string& out, std::initializer_list<std::string_view> parts);
// text without leading and trailing blanks (space, tab, CR, LF).
std::string_view Trimmed(std::string_view text);
// EUC-JP to Shift_JIS, appended to out. Two-byte characters go through a table that the
// library's converter fills once per process; anything the table does not hold (JIS X 0212,
// unmapped codes) goes to the library's converter for the whole text. 1 when every character
// converted, 0 when some byte sequence was not EUC-JP or had no Shift_JIS form.
int EucToSjis(std::string_view euc, std::string& out);

} // namespace TavloKindText
