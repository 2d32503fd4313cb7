#pragma once

#include <string>
#include <string_view>

// MIME text helpers for the mail library: quoted-printable, encoded words and the charsets
// that mail uses, all delivered as Shift_JIS.

// Decodes quoted-printable: "=XX" becomes its byte, "=" at a line end joins the lines. A
// malformed escape is kept as it is.
std::string VornQpDecode(std::string_view text);

// Converts text in the named charset (case-insensitive: ISO-2022-JP, EUC-JP, Shift_JIS / CP932,
// UTF-8, US-ASCII) to Shift_JIS; an unknown charset leaves the bytes as they are.
std::string VornCharsetToSjis(std::string_view text, std::string_view charset);

// Decodes the encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=") of a header value to
// Shift_JIS; blanks between two encoded words vanish, other text is kept. A word that does not
// decode is kept as written.
std::string VornMime2Sjis(std::string_view value);
