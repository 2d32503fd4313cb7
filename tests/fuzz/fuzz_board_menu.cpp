// The board menu page (categories and board links) and a board page's redirect script.
#include "fuzz_support.h"
#include "tavlo_board_file.h"
#include "tavlo_board_menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string_view page = fuzz::View(data, size);
    CTavloBoardFile board{CVornString(fuzz::Scratch() + "/menu-board.txt")};
    int categories = CTavloBoardMenu::ParseMenu(page, board);
    if (categories < 0)
        abort();
    CTavloBoardMenu::FindRedirect(page);
    return 0;
}
