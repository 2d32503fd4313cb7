// board.txt and etc.txt (rows of three lines): loaded from disk, saved, loaded again.
#include "fuzz_support.h"
#include "tavlo_board_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UseSettings();
    std::string path = fuzz::Scratch() + "/board.txt";
    if (!fuzz::WriteFile(path, fuzz::View(data, size)))
        return 0;
    CTavloBoardFile board{CVornString(path)};
    if (board.Load() != 0)
        return 0;
    board.FindUrl(CVornString("http://news.5ch.io/news/"));
    std::string copy = fuzz::Scratch() + "/etc.txt";
    board.SetPath(CVornString(copy));
    if (board.Save() != 0)
        return 0;
    CTavloBoardFileEtc etc{CVornString(copy)};
    if (etc.Load() != 0 || etc.GetRowCount() > board.GetRowCount())
        abort();
    return 0;
}
