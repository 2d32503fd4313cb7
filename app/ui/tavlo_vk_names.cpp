#include "tavlo_vk_names.h"

#include <array>
#include <string>

namespace {

const char kUndefined[] = "未定義";

std::array<std::string, 255> buildTable() {
    std::array<std::string, 255> t;
    t.fill(kUndefined);
    // clang-format off
    const std::pair<int, const char*> named[] = {
        {1, "VK_LBUTTON"}, {2, "VK_RBUTTON"}, {3, "VK_CANCEL"}, {4, "VK_MBUTTON"},
        {5, "VK_XBUTTON1"}, {6, "VK_XBUTTON2"}, {8, "BS"}, {9, "Tab"}, {12, "VK_CLEAR"},
        {13, "VK_RETURN"}, {16, "VK_SHIFT"}, {17, "VK_CONTROL"}, {18, "VK_MENU"}, {19, "Pause"},
        {20, "VK_CAPITAL"}, {21, "VK_KANA"}, {23, "VK_JUNJA"}, {24, "VK_FINAL"}, {25, "VK_KANJI"},
        {27, "Esc"}, {28, "VK_CONVERT"}, {29, "VK_NONCONVERT"}, {30, "VK_ACCEPT"},
        {31, "VK_MODECHANGE"}, {32, "スペース"}, {33, "PageUP"}, {34, "PageDown"}, {35, "End"},
        {36, "Home"}, {37, "←"}, {38, "↑"}, {39, "→"}, {40, "↓"}, {41, "VK_SELECT"},
        {42, "VK_PRINT"}, {43, "VK_EXECUTE"}, {44, "VK_SNAPSHOT"}, {45, "INS"}, {46, "DEL"},
        {47, "VK_HELP"}, {91, "VK_LWIN"}, {92, "VK_RWIN"}, {93, "VK_APPS"}, {95, "VK_SLEEP"},
        {106, "VK_MULTIPLY"}, {107, "VK_ADD"}, {108, "VK_SEPARATOR"}, {109, "VK_SUBTRACT"},
        {110, "VK_DECIMAL"}, {111, "VK_DIVIDE"}, {144, "VK_NUMLOCK"}, {145, "VK_SCROLL"},
        {160, "VK_LSHIFT"}, {161, "VK_RSHIFT"}, {162, "VK_LCONTROL"}, {163, "VK_RCONTROL"},
        {164, "VK_LMENU"}, {165, "VK_RMENU"}, {166, "VK_BROWSER_BACK"},
        {167, "VK_BROWSER_FORWARD"}, {168, "VK_BROWSER_REFRESH"}, {169, "VK_BROWSER_STOP"},
        {170, "VK_BROWSER_SEARCH"}, {171, "VK_BROWSER_FAVORITES"}, {172, "VK_BROWSER_HOME"},
        {173, "VK_VOLUME_MUTE"}, {174, "VK_VOLUME_DOWN"}, {175, "VK_VOLUME_UP"},
        {176, "VK_MEDIA_NEXT_TRACK"}, {177, "VK_MEDIA_PREV_TRACK"}, {178, "VK_MEDIA_STOP"},
        {179, "VK_MEDIA_PLAY_PAUSE"}, {180, "VK_LAUNCH_MAIL"}, {181, "VK_LAUNCH_MEDIA_SELECT"},
        {182, "VK_LAUNCH_APP1"}, {183, "VK_LAUNCH_APP2"}, {186, ":"}, {187, ";"}, {188, ","},
        {189, "-"}, {190, "."}, {191, "/"}, {192, "@"}, {219, "["}, {220, "\\"}, {221, "]"},
        {222, "^"}, {223, "VK_OEM_8"}, {226, "VK_OEM_102"}, {229, "半角/全角"}, {231, "VK_PACKET"},
        {246, "VK_ATTN"}, {247, "VK_CRSEL"}, {248, "VK_EXSEL"}, {249, "VK_EREOF"},
        {250, "VK_PLAY"}, {251, "VK_ZOOM"}, {252, "VK_NONAME"}, {253, "VK_PA1"},
        {254, "VK_OEM_CLEAR"},
    };
    // clang-format on
    for (const auto& [code, name] : named)
        t[static_cast<size_t>(code)] = name;
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<size_t>(c)] = std::string(1, static_cast<char>(c));
    for (int c = 'A'; c <= 'Z'; ++c)
        t[static_cast<size_t>(c)] = std::string(1, static_cast<char>(c));
    for (int n = 0; n <= 9; ++n)
        t[static_cast<size_t>(96 + n)] = "VK_NUMPAD" + std::to_string(n);
    for (int n = 1; n <= 24; ++n)
        t[static_cast<size_t>(111 + n)] = "VK_F" + std::to_string(n);
    return t;
}

} // namespace

const char* TavloVirtualKeyName(int code) {
    static const std::array<std::string, 255> table = buildTable();
    if (code < 0 || code > 254)
        return kUndefined;
    return table[static_cast<size_t>(code)].c_str();
}
