#include "tavlo_keys.h"

#include <QKeyEvent>

namespace {

struct KeyPair {
    int qt;
    int vk;
};

// Keys that are neither letters, digits nor function keys. Shifted symbols map to the key
// that types them on a US keyboard, since the key table names keys, not characters.
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, TAVLO_VK_BACK},
    {Qt::Key_Tab, TAVLO_VK_TAB},
    {Qt::Key_Backtab, TAVLO_VK_TAB},
    {Qt::Key_Return, TAVLO_VK_RETURN},
    {Qt::Key_Enter, TAVLO_VK_RETURN},
    {Qt::Key_Shift, TAVLO_VK_SHIFT},
    {Qt::Key_Control, TAVLO_VK_CONTROL},
    {Qt::Key_Alt, TAVLO_VK_MENU},
    {Qt::Key_Pause, TAVLO_VK_PAUSE},
    {Qt::Key_CapsLock, TAVLO_VK_CAPITAL},
    {Qt::Key_Escape, TAVLO_VK_ESCAPE},
    {Qt::Key_Space, TAVLO_VK_SPACE},
    {Qt::Key_PageUp, TAVLO_VK_PRIOR},
    {Qt::Key_PageDown, TAVLO_VK_NEXT},
    {Qt::Key_End, TAVLO_VK_END},
    {Qt::Key_Home, TAVLO_VK_HOME},
    {Qt::Key_Left, TAVLO_VK_LEFT},
    {Qt::Key_Up, TAVLO_VK_UP},
    {Qt::Key_Right, TAVLO_VK_RIGHT},
    {Qt::Key_Down, TAVLO_VK_DOWN},
    {Qt::Key_Print, TAVLO_VK_SNAPSHOT},
    {Qt::Key_Insert, TAVLO_VK_INSERT},
    {Qt::Key_Delete, TAVLO_VK_DELETE},
    {Qt::Key_Meta, TAVLO_VK_LWIN},
    {Qt::Key_Menu, TAVLO_VK_APPS},
    {Qt::Key_NumLock, TAVLO_VK_NUMLOCK},
    {Qt::Key_ScrollLock, TAVLO_VK_SCROLL},
    {Qt::Key_Semicolon, TAVLO_VK_OEM_1},
    {Qt::Key_Colon, TAVLO_VK_OEM_1},
    {Qt::Key_Equal, TAVLO_VK_OEM_PLUS},
    {Qt::Key_Plus, TAVLO_VK_OEM_PLUS},
    {Qt::Key_Comma, TAVLO_VK_OEM_COMMA},
    {Qt::Key_Less, TAVLO_VK_OEM_COMMA},
    {Qt::Key_Minus, TAVLO_VK_OEM_MINUS},
    {Qt::Key_Underscore, TAVLO_VK_OEM_MINUS},
    {Qt::Key_Period, TAVLO_VK_OEM_PERIOD},
    {Qt::Key_Greater, TAVLO_VK_OEM_PERIOD},
    {Qt::Key_Slash, TAVLO_VK_OEM_2},
    {Qt::Key_Question, TAVLO_VK_OEM_2},
    {Qt::Key_QuoteLeft, TAVLO_VK_OEM_3},
    {Qt::Key_AsciiTilde, TAVLO_VK_OEM_3},
    {Qt::Key_BracketLeft, TAVLO_VK_OEM_4},
    {Qt::Key_BraceLeft, TAVLO_VK_OEM_4},
    {Qt::Key_Backslash, TAVLO_VK_OEM_5},
    {Qt::Key_Bar, TAVLO_VK_OEM_5},
    {Qt::Key_BracketRight, TAVLO_VK_OEM_6},
    {Qt::Key_BraceRight, TAVLO_VK_OEM_6},
    {Qt::Key_Apostrophe, TAVLO_VK_OEM_7},
    {Qt::Key_QuoteDbl, TAVLO_VK_OEM_7},
    // Shifted digits of the US layout.
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'},
};

} // namespace

int TavloVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey; // Qt's letter keys are the upper-case ASCII codes, as the VK codes
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return keypad ? TAVLO_VK_NUMPAD0 + (qtKey - Qt::Key_0) : qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return TAVLO_VK_F1 + (qtKey - Qt::Key_F1);
    if (keypad) {
        switch (qtKey) {
        case Qt::Key_Asterisk:
            return TAVLO_VK_MULTIPLY;
        case Qt::Key_Plus:
            return TAVLO_VK_ADD;
        case Qt::Key_Minus:
            return TAVLO_VK_SUBTRACT;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return TAVLO_VK_DECIMAL;
        case Qt::Key_Slash:
            return TAVLO_VK_DIVIDE;
        default:
            break;
        }
    }
    for (const KeyPair& k : kKeys)
        if (k.qt == qtKey)
            return k.vk;
    return 0;
}

int TavloEventVirtualKey(const QKeyEvent* event) {
    return event ? TavloVirtualKey(event->key(), event->modifiers()) : 0;
}

int TavloQtKey(int vk) {
    if (vk >= 'A' && vk <= 'Z')
        return vk;
    if (vk >= '0' && vk <= '9')
        return vk;
    if (vk >= TAVLO_VK_NUMPAD0 && vk <= TAVLO_VK_NUMPAD0 + 9)
        return Qt::Key_0 + (vk - TAVLO_VK_NUMPAD0);
    if (vk >= TAVLO_VK_F1 && vk <= TAVLO_VK_F24)
        return Qt::Key_F1 + (vk - TAVLO_VK_F1);
    switch (vk) {
    case TAVLO_VK_MULTIPLY:
        return Qt::Key_Asterisk;
    case TAVLO_VK_ADD:
        return Qt::Key_Plus;
    case TAVLO_VK_SUBTRACT:
        return Qt::Key_Minus;
    case TAVLO_VK_DECIMAL:
        return Qt::Key_Period;
    case TAVLO_VK_DIVIDE:
        return Qt::Key_Slash;
    default:
        break;
    }
    // The first pair of a code is its unshifted key.
    for (const KeyPair& k : kKeys)
        if (k.vk == vk)
            return k.qt;
    return 0;
}
