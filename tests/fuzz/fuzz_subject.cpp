// subject.txt of each service: the line parsers (standard, Machi, JBBS) one by one, and the
// whole list loaded from a file of a board of the service the first byte names.
#include "fuzz_support.h"
#include "tavlo_bbs_subject.h"
#include "tavlo_subject_file.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    fuzz::UseSettings();
    static const char* const boards[] = {"news.5ch.io/news", "tokyo.machi.to/tokyo",
                                         "jbbs.shitaraba.jp/game/123"};
    const char* board = boards[data[0] % 3];
    std::string_view text = fuzz::View(data + 1, size - 1);

    CTavloBbsSubjectManager manager(CVornString(std::string("http://") + board + "/"));
    CTavloBbsSubject* parser = manager.GetParser();
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos)
            lf = text.size();
        std::vector<char> line(text.begin() + pos, text.begin() + lf);
        line.push_back('\0');
        if (parser->Parse(line.data()) == 1) {
            if (!parser->GetKey() || !parser->GetTitle() || !parser->GetCount())
                abort();
        }
        pos = lf + 1;
    }

    std::string path = fuzz::Scratch() + "/logs/" + board + "/subject.txt";
    if (!fuzz::WriteFile(path, text))
        return 0;
    CTavloSubjectFile list, previous;
    list.CreateFromFile(CVornString(path));
    previous.CreateFromFile(CVornString(path));
    if (previous.GetCount() > 0)
        previous.Remove(previous.GetCount() / 2);
    list.Mark(previous);
    return 0;
}
