// The registry's rules between kinds, with fake kinds that answer a scripted code.
#include "tavlo_bbs_manager.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const char kBoardUrl[] = "http://news.example-bbs.test/reg/";

struct Script {
    Script(const char* n, bool a, int r = 0, const char* text = "")
        : name(n), accepts(a), result(r), errorText(text) {}
    std::string name;
    bool accepts;
    int result;
    std::string errorText;
};

std::vector<std::string> g_ran;

class FakeKind : public CTavloBbs {
public:
    FakeKind(const Script& s, CTavloWindow* w, const CVornString& url, const CVornString& key)
        : CTavloBbs(w, url, key), m_script(s) {}
    bool IsTarget() override { return m_script.accepts; }
    // Run goes straight to Finalize when Initialize fails: no network.
    int Initialize() override { return 1; }
    int Finalize(int) override {
        g_ran.push_back(m_script.name);
        m_errorText = CVornString(m_script.errorText);
        return m_script.result;
    }

private:
    Script m_script;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir.file("logs")));
        g_ran.clear();
    }
    void TearDown() override { CTavloSettings::Destroy(); }
    int run(const std::vector<Script>& scripts, CVornString* errorText = nullptr) {
        CTavloBbsManager manager;
        manager.Kinds().clear();
        for (const Script& s : scripts)
            manager.Kinds().push_back(
                [s](CTavloWindow* w, const CVornString& u, const CVornString& k) {
                    return std::unique_ptr<CTavloBbs>(new FakeKind(s, w, u, k));
                });
        CVornString text;
        int r = manager.Fetch(CVornString(kBoardUrl), CVornString("1700000000"), nullptr, text);
        EXPECT_FALSE(manager.IsFetching(CVornString(kBoardUrl), CVornString("1700000000")));
        if (errorText)
            *errorText = text;
        return r;
    }
    TempDir dir;
};

TEST_F(Registry, NotFoundFallsThroughAndDecliningKindsAreSkipped) {
    EXPECT_EQ(run({{"machi", false},
                   {"std", true, -104},
                   {"viewer", false},
                   {"kako", true, 0},
                   {"plain", true, 0}}),
              0);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"std", "kako"}));

    g_ran.clear();
    EXPECT_EQ(run({{"std", true, -104}, {"kako", true, -104}, {"plain", false}}), -104);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"std", "kako"}));

    g_ran.clear();
    EXPECT_EQ(run({{"a", false}, {"b", false}}), 0); // nobody took it
    EXPECT_TRUE(g_ran.empty());
}

TEST_F(Registry, AnyOtherCodeEndsTheTryWithTheKindsOwnText) {
    CVornString text;
    EXPECT_EQ(run({{"viewer", true, -901, "-ERR own words"}, {"kako", true, 0}}, &text), -901);
    EXPECT_EQ(text.str(), "-ERR own words");
    EXPECT_EQ(g_ran, (std::vector<std::string>{"viewer"}));
    // The text of a kind that fell through is not the caller's.
    EXPECT_EQ(run({{"std", true, -104, "gone"}, {"jbbs", true, -504}}, &text), -504);
    EXPECT_EQ(text.str(), "");
}

TEST_F(Registry, StoppedByTheUserMarksTheLogOutOfDate) {
    CVornString path = CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString("1700000000"));
    CTavloPath::MakeDirectory(CTavloPath::GetDirectory(path));
    WriteAll(path.str(), "a<>b<>c<>d<>e\n");
    EXPECT_EQ(run({{"std", true, -1}}), -1);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 0);
    EXPECT_EQ(ReadAll(path.str()), "a<>b<>c<>d<>e\n");
}

} // namespace
