#pragma once

#include <Qt>

class QKeyEvent;

// Windows virtual-key codes, the values the key table of the settings holds.
enum {
    TAVLO_VK_BACK = 0x08,
    TAVLO_VK_TAB = 0x09,
    TAVLO_VK_RETURN = 0x0D,
    TAVLO_VK_SHIFT = 0x10,
    TAVLO_VK_CONTROL = 0x11,
    TAVLO_VK_MENU = 0x12,
    TAVLO_VK_PAUSE = 0x13,
    TAVLO_VK_CAPITAL = 0x14,
    TAVLO_VK_ESCAPE = 0x1B,
    TAVLO_VK_SPACE = 0x20,
    TAVLO_VK_PRIOR = 0x21,
    TAVLO_VK_NEXT = 0x22,
    TAVLO_VK_END = 0x23,
    TAVLO_VK_HOME = 0x24,
    TAVLO_VK_LEFT = 0x25,
    TAVLO_VK_UP = 0x26,
    TAVLO_VK_RIGHT = 0x27,
    TAVLO_VK_DOWN = 0x28,
    TAVLO_VK_SNAPSHOT = 0x2C,
    TAVLO_VK_INSERT = 0x2D,
    TAVLO_VK_DELETE = 0x2E,
    TAVLO_VK_LWIN = 0x5B,
    TAVLO_VK_APPS = 0x5D,
    TAVLO_VK_NUMPAD0 = 0x60,
    TAVLO_VK_MULTIPLY = 0x6A,
    TAVLO_VK_ADD = 0x6B,
    TAVLO_VK_SUBTRACT = 0x6D,
    TAVLO_VK_DECIMAL = 0x6E,
    TAVLO_VK_DIVIDE = 0x6F,
    TAVLO_VK_F1 = 0x70,
    TAVLO_VK_F24 = 0x87,
    TAVLO_VK_NUMLOCK = 0x90,
    TAVLO_VK_SCROLL = 0x91,
    TAVLO_VK_OEM_1 = 0xBA,      // ;:
    TAVLO_VK_OEM_PLUS = 0xBB,   // =+
    TAVLO_VK_OEM_COMMA = 0xBC,  // ,<
    TAVLO_VK_OEM_MINUS = 0xBD,  // -_
    TAVLO_VK_OEM_PERIOD = 0xBE, // .>
    TAVLO_VK_OEM_2 = 0xBF,      // /?
    TAVLO_VK_OEM_3 = 0xC0,      // `~
    TAVLO_VK_OEM_4 = 0xDB,      // [{
    TAVLO_VK_OEM_5 = 0xDC,      // \|
    TAVLO_VK_OEM_6 = 0xDD,      // ]}
    TAVLO_VK_OEM_7 = 0xDE,      // '"
};

// The virtual-key code of a Qt key: letters and digits as their upper-case ASCII codes,
// keypad keys (with the keypad modifier) as the numeric-pad codes, symbols as the codes of
// their keys on a US keyboard. 0 for keys without one (0 never matches a binding).
int TavloVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The same for a key event (0 for none).
int TavloEventVirtualKey(const QKeyEvent* event);

// A Qt key that gives the virtual-key code (for synthesised key presses); 0 when none.
// Numeric-pad codes need the keypad modifier as well.
int TavloQtKey(int vk);
