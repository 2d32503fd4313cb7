#pragma once

#include "vorn_string.h"

// The expression that finds the successors of a thread (Shift_JIS title in, Shift_JIS
// expression out): regular-expression characters escaped, bracketed decorations, numbers,
// counter words and blanks each become ".*" (runs of them one), so that titles differing only
// in those match. A title that is one bracketed phrase stays as it is.
CVornString TavloNextThreadPattern(const CVornString& title);
