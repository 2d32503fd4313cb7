#include "fetch_support.h"
#include "tavlo_http_fetch.h"
#include "tavlo_path.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Stands in for the main frame: records the progress messages of a transfer.
class ProgressWindow : public CTavloWindow {
public:
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        if (message == TAVLO_WM_PROGRESS)
            progress.push_back({static_cast<long long>(wParam), static_cast<long long>(lParam)});
        return 0;
    }
    void PostMessage(unsigned, uintptr_t, intptr_t) override {}
    std::vector<std::pair<long long, long long>> progress;
};

const char kHost[] = "news.example-bbs.test";
const char kBoardUrl[] = "http://news.example-bbs.test/news/";

// key -> count of a subject.txt text.
std::map<std::string, int> counts(const std::string& text) {
    std::map<std::string, int> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        size_t open = line.rfind('(');
        out[line.substr(0, line.find('.'))] = atoi(line.c_str() + open + 1);
        pos = nl + 1;
    }
    return out;
}

class SubjectFetch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fx.sim.ok()); }

    std::string local(const char* boardUrl = kBoardUrl) {
        return CTavloPath::GetBoardDirectory(CVornString(boardUrl)).str() + "/subject.txt";
    }
    int fetch(CTavloSubjectFile& list, const char* boardUrl = kBoardUrl,
              TavloStopRequest stop = {}) {
        return list.CreateFromHttp(CVornString(local(boardUrl)),
                                   CVornString(std::string(boardUrl) + "subject.txt"), &window,
                                   std::move(stop));
    }
    std::string server(const char* boardUrl = kBoardUrl) {
        return fx.sim.get(std::string(boardUrl) + "subject.txt");
    }
    std::string ctl(const std::string& op, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=news" + more);
    }
    std::vector<std::string> subjectRequests() {
        std::vector<std::string> out;
        for (auto& line : fx.sim.requests())
            if (line.find("subject.txt") != std::string::npos)
                out.push_back(line);
        return out;
    }

    BoardFixture fx;
    ProgressWindow window;
};

} // namespace

TEST_F(SubjectFetch, FirstFetchNotModifiedThenMarkedChanges) {
    CTavloSubjectFile list;
    ASSERT_EQ(fetch(list), 0);
    auto reqs = subjectRequests();
    std::string first = server();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(ReadAll(local()), first);
    EXPECT_EQ(list.GetBoardUrl(), kBoardUrl);
    ASSERT_EQ(list.GetCount(), static_cast<int>(counts(first).size()));
    EXPECT_EQ(list.Get(0)->GetBoardId(), "news");
    ASSERT_FALSE(window.progress.empty());
    EXPECT_EQ(window.progress.back().first, static_cast<long long>(first.size()));
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].find("if-modified-since"), std::string::npos);
    EXPECT_NE(reqs[0].find("\"status\": 200"), std::string::npos);

    // Unchanged on the server: 304, the list in memory and the file stay as they are.
    CTavloSubjectItem* top = list.Get(0);
    fx.sim.clearRequests();
    EXPECT_EQ(fetch(list), -103);
    EXPECT_EQ(list.Get(0), top);
    EXPECT_EQ(ReadAll(local()), first);
    reqs = subjectRequests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_NE(reqs[0].find("if-modified-since"), std::string::npos);
    EXPECT_NE(reqs[0].find("\"status\": 304"), std::string::npos);

    // Threads rise, appear and fall off; the new list is marked against the stored one.
    ASSERT_EQ(ctl("advance", "&posts=3&new=2&drop=1&seed=7"), "ok");
    CTavloSubjectFile previous;
    ASSERT_EQ(previous.CreateFromFile(CVornString(local())), 0);
    ASSERT_EQ(fetch(list), 0);
    std::string second = server();
    EXPECT_EQ(ReadAll(local()), second);
    int marked = list.Mark(previous);
    auto before = counts(first);
    auto after = counts(second);
    int fresh = 0, updated = 0;
    for (CTavloSubjectItem* item : list) {
        auto old = before.find(item->GetKey().str());
        if (old == before.end()) {
            EXPECT_EQ(item->IsNew(), 1) << item->GetKey().c_str();
            ++fresh;
        } else if (after[item->GetKey().str()] > old->second) {
            EXPECT_EQ(item->IsUpdated(), 1);
            EXPECT_EQ(item->GetNewCount(), after[item->GetKey().str()] - old->second);
            ++updated;
        } else {
            EXPECT_EQ(item->IsNew() + item->IsUpdated(), 0);
        }
    }
    EXPECT_EQ(fresh, 2);
    EXPECT_EQ(updated, 3);
    EXPECT_EQ(marked, 5);
    EXPECT_EQ(list.GetCount(), static_cast<int>(before.size()) + 2 - 1);
}

TEST_F(SubjectFetch, CutOrStoppedTransferLeavesTheStoredListAsItWas) {
    CTavloSubjectFile list;
    ASSERT_EQ(fetch(list), 0);
    std::string stored = ReadAll(local());
    int64_t storedTime = VornGetFileTime(local().c_str());
    ASSERT_EQ(ctl("advance", "&posts=2&new=1"), "ok");

    ASSERT_EQ(ctl("subject", "&mode=cut"), "ok");
    EXPECT_EQ(fetch(list), -102);
    EXPECT_EQ(ReadAll(local()), stored);
    EXPECT_EQ(VornGetFileTime(local().c_str()), storedTime);
    // Nothing left behind beside the list.
    std::string dir = CTavloPath::GetDirectory(CVornString(local())).str();
    EXPECT_EQ(VornListDirectory(dir.c_str()), std::vector<std::string>{"subject.txt"});

    // The stop request ends a slow transfer after its first block.
    ASSERT_EQ(ctl("subject", "&mode=slow&delay=20"), "ok");
    window.progress.clear();
    EXPECT_EQ(fetch(list, kBoardUrl, [this] { return !window.progress.empty(); }), -1);
    EXPECT_EQ(window.progress.size(), 1u);
    EXPECT_EQ(ReadAll(local()), stored);
    EXPECT_EQ(VornListDirectory(dir.c_str()), std::vector<std::string>{"subject.txt"});

    // A stop request already set ends the fetch before anything is written.
    EXPECT_EQ(fetch(list, kBoardUrl, [] { return true; }), -1);
    EXPECT_EQ(ReadAll(local()), stored);

    // A whole transfer replaces it.
    ASSERT_EQ(ctl("subject", "&mode="), "ok");
    ASSERT_EQ(fetch(list), 0);
    EXPECT_EQ(ReadAll(local()), server());
}

TEST_F(SubjectFetch, EmptyListUnknownBoardAndNoConnection) {
    CTavloSubjectFile list;
    ASSERT_EQ(ctl("subject", "&mode=empty"), "ok");
    ASSERT_EQ(fetch(list), 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(VornGetFileSize(local().c_str()), 0);

    const char* unknown = "http://news.example-bbs.test/nosuch/";
    EXPECT_EQ(fetch(list, unknown), -101);
    EXPECT_FALSE(VornFileExists(local(unknown).c_str()));

    // A proxy port nobody listens on.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    CTavloSettings::Instance().SetInt("ProxyPort", ntohs(a.sin_port));
    EXPECT_EQ(fetch(list), -100);
    EXPECT_EQ(VornGetFileSize(local().c_str()), 0);
}

TEST(SubjectFetchMany, EveryBoardGetsItsOwnList) {
    BoardFixture fx({"--boards", "12", "--threads", "30"});
    ASSERT_TRUE(fx.sim.ok());
    for (int i = 1; i <= 12; ++i) {
        char url[80];
        snprintf(url, sizeof url, "http://many.example-bbs.test/b%03d/", i);
        CVornString board(url);
        CVornString path = CTavloPath::GetBoardDirectory(board) + "/subject.txt";
        CTavloSubjectFile list;
        ASSERT_EQ(list.CreateFromHttp(path, board + "subject.txt"), 0) << url;
        ASSERT_EQ(list.GetCount(), 30);
        EXPECT_EQ(list.GetBoardUrl(), board);
        EXPECT_EQ(list.Get(29)->GetIndex(), 30);
        EXPECT_EQ(list.Get(0)->GetBoardId().str(), std::string(url).substr(29, 4));
        EXPECT_EQ(list.Get(0)->GetThreadUrl(), board + list.Get(0)->GetKey());
    }
}
