#pragma once

// The name the key page shows for a virtual-key code (UTF-8): the Windows constant's name, a
// short name for the common keys, "未定義" for codes without a key (and outside 0 to 254).
const char* TavloVirtualKeyName(int code);
