// Foreign board kinds and past logs.
// 1. Turning a 1000-post Machi page and a 1000-post JBBS answer into log lines and appending
//    them, beside the standard kind's append of the same posts, block by block as they arrive
//    (each iteration runs all three; counters give each one's thread CPU time and the ratios).
// 2. Reading a 1000-post .dat.gz through the HTTP client (gzip content encoding, from a
//    server thread in this process) beside zlib's own inflate of the same file.
#include "bench_fixture.h"
#include "tavlo_bbs.h"
#include "tavlo_bbs_livedoor.h"
#include "tavlo_bbs_machi.h"
#include "tavlo_dat_file.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_zlib.h"
#include "vornnet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr int kPosts = 1000;
using Clock = std::chrono::steady_clock;

// This thread's CPU time (user and system) in ms: the machine is shared, wall time is not ours.
double threadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Post {
    std::string name, mail, date, id, body;
};

std::vector<Post> makePosts() {
    std::vector<Post> posts;
    const char* words[] = {"今日は", "いい天気", "ですね。", "表示",     "ソフト",
                           "能力",   "テスト",   "書き込み", "スレッド", "http://example.com/page"};
    for (int i = 1; i <= kPosts; ++i) {
        Post p;
        p.name = TavloKindText::Sjis(i % 3 ? "名無しさん" : "まちこさん");
        p.mail = i % 4 ? "" : "sage";
        p.date = "2026/01/01 12:" + std::to_string(10 + i % 50) + ":00";
        p.id = "ID:Ab" + std::to_string(i * 7919 % 100000);
        std::string body;
        for (int w = 0; w < 6 + i % 9; ++w)
            body += TavloKindText::Sjis(words[(i + w * 3) % 10]) + " ";
        p.body = body;
        posts.push_back(p);
    }
    return posts;
}

std::string datText(const std::vector<Post>& posts) {
    std::string out;
    for (size_t i = 0; i < posts.size(); ++i)
        out += posts[i].name + "<>" + posts[i].mail + "<>" + posts[i].date + " " + posts[i].id +
               "<>" + posts[i].body + "<>" + (i ? "" : TavloKindText::Sjis("題")) + "\n";
    return out;
}

std::string machiPage(const std::vector<Post>& posts) {
    std::string out = "<html><head>\n<title>" + TavloKindText::Sjis("題") + "</title>\n</head>\n";
    for (size_t i = 0; i < posts.size(); ++i) {
        const Post& p = posts[i];
        std::string who = p.mail.empty()
                              ? "<font color=\"#008800\"><b> " + p.name + " </b></font>"
                              : "<a href=\"mailto:" + p.mail + "\"><b> " + p.name + " </b></a>";
        out += "<dt>" + std::to_string(i + 1) + TavloKindText::Sjis(" 名前：") + who +
               TavloKindText::Sjis(" 投稿日： ") + p.date + " " + p.id + "<br>";
        if (i % 3 == 2)
            out += "[ p" + std::to_string(i) + ".example-isp.test\n ]<br>";
        out += "<dd> " + p.body + " <br><br>\n";
    }
    return out + "</dl></body></html>\n";
}

std::string jbbsAnswer(const std::vector<Post>& posts) {
    std::string out;
    for (size_t i = 0; i < posts.size(); ++i)
        out += std::to_string(i + 1) + "<>" + posts[i].name + "<>" + posts[i].mail + "<>" +
               posts[i].date + "<>" + posts[i].body + "<>" + (i ? "" : TavloKindText::Sjis("題")) +
               "<>" + posts[i].id.substr(3) + "\n";
    CVornString euc(out);
    euc.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    return euc.str();
}

// Opens the kind's log, hands it the text in 16383-byte blocks as Run does, closes it.
template <typename Kind> struct Feeder : Kind {
    using Kind::Kind;
    double feed(const std::string& text) {
        CTavloPath::DeleteFile(this->m_datPath);
        double t0 = threadMs();
        this->GetDatUrl();
        if (this->openLog() != 0)
            return -1;
        std::string buf;
        for (size_t at = 0; at < text.size(); at += 16383) {
            buf.assign(text, at, 16383);
            if (this->handleBlock(buf.data(), static_cast<int>(buf.size())) != 0)
                return -1;
        }
        this->closeLog();
        return threadMs() - t0;
    }
};

struct Store {
    Store() {
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir.file("logs")));
        CTavloDomains::Get().machi.push_back("machi-example.test");
        CTavloDomains::Get().jbbs.push_back("jbbs.example-bbs.test");
    }
    TempDir dir;
};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2;
}

// The standard append is a short run (about 60 us) whose time swings with the file system (a
// fresh file's first pages) and the caches; a sum over iterations lets a few slow rounds of one
// kind decide the ratio. So: rounds after a warm-up, the three kinds in turn with the first one
// rotating (none always runs on the caches another left), each kind's median per round, and the
// ratios of the medians. The rounds' own ratios' spread goes out too.
void ConvertBesideStandardAppend(benchmark::State& state) {
    static Store store;
    std::vector<Post> posts = makePosts();
    std::string dat = datText(posts), page = machiPage(posts), raw = jbbsAnswer(posts);
    Feeder<CTavloBbs> standard(nullptr, CVornString("http://news.example-bbs.test/b/"),
                               CVornString("1700000000"));
    Feeder<CTavloBbsMachi> machi(nullptr, CVornString("http://t.machi-example.test/b/"),
                                 CVornString("1700000000"));
    Feeder<CTavloBbsLivedoor> jbbs(nullptr, CVornString("http://jbbs.example-bbs.test/g/1/"),
                                   CVornString("1700000000"));
    auto feed = [&](int kind) {
        return kind == 0 ? standard.feed(dat) : kind == 1 ? machi.feed(page) : jbbs.feed(raw);
    };
    for (int w = 0; w < 20; ++w)
        for (int kind = 0; kind < 3; ++kind)
            feed(kind);
    std::vector<double> t[3], rm, rj;
    int round = 0;
    for (auto _ : state) {
        double ms[3];
        for (int i = 0; i < 3; ++i) {
            int kind = (round + i) % 3;
            ms[kind] = feed(kind);
        }
        ++round;
        if (ms[0] < 0 || ms[1] < 0 || ms[2] < 0) {
            state.SkipWithError(ms[0] < 0   ? "standard failed"
                                : ms[1] < 0 ? "machi failed"
                                            : "jbbs failed");
            break;
        }
        for (int kind = 0; kind < 3; ++kind)
            t[kind].push_back(ms[kind]);
        rm.push_back(ms[1] / ms[0]);
        rj.push_back(ms[2] / ms[0]);
    }
    // The converted logs must be the standard one's posts (same count of lines).
    int lines = CTavloDatFile::Count(CTavloPath::GetLogPath(
        CVornString("http://t.machi-example.test/b/"), CVornString("1700000000")));
    double s = median(t[0]), m = median(t[1]), j = median(t[2]);
    auto quantile = [](std::vector<double> v, double q) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
    };
    state.counters["standard_ms"] = s;
    state.counters["machi_ms"] = m;
    state.counters["jbbs_ms"] = j;
    state.counters["machi_vs_standard"] = s > 0 ? m / s : 0;
    state.counters["jbbs_vs_standard"] = s > 0 ? j / s : 0;
    // Spread of the rounds' own ratios: a wide one says the run was disturbed.
    state.counters["machi_ratio_p10"] = quantile(rm, 0.1);
    state.counters["machi_ratio_p90"] = quantile(rm, 0.9);
    state.counters["jbbs_ratio_p10"] = quantile(rj, 0.1);
    state.counters["jbbs_ratio_p90"] = quantile(rj, 0.9);
    state.counters["machi_lines"] = lines;
}
BENCHMARK(ConvertBesideStandardAppend)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One response, whole, to every connection: headers then the gzip body.
class CannedServer {
public:
    explicit CannedServer(std::string response) : m_response(std::move(response)) {}
    int port() const { return m_server.port(); }

private:
    std::string m_response;
    CTavloBenchServer m_server{16, [this](int c) {
                                   std::string req;
                                   TavloBenchReadRequest(c, &req);
                                   TavloBenchSendAll(c, m_response);
                               }};
};

void ReadDatGzBesideZlib(benchmark::State& state) {
    CVornWinSock::InitSocket(2, 2);
    std::string dat = datText(makePosts());
    std::string gz;
    CVornDeflate::Compress(dat, gz, CVornInflateCore::TYPE_GZIP, 6);
    CannedServer server("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Encoding: gzip\r\n"
                        "Content-Length: " +
                        std::to_string(gz.size()) + "\r\nConnection: close\r\n\r\n" + gz);
    std::string url = "http://127.0.0.1:" + std::to_string(server.port()) +
                      "/b/kako/1700/17000/1700000000.dat.gz";
    double tc = 0, tz = 0;
    std::vector<char> out(dat.size() + 64);
    std::vector<char> buf(16384);
    for (auto _ : state) {
        // From the answer's header to the end of the body: the decoding read, not the connect.
        CVornHttpClient http(url.c_str());
        size_t got = 0;
        auto t0 = Clock::now();
        if (http.Connect(10) && http.Get()) {
            t0 = Clock::now();
            for (int n; (n = http.Recv(buf.data(), 16383)) > 0;)
                got += static_cast<size_t>(n);
        }
        auto t1 = Clock::now();
        http.Close();
        t1 = t1 > t0 ? t1 : t0;
        auto tz0 = Clock::now();
        z_stream z{};
        inflateInit2(&z, MAX_WBITS + 16);
        z.next_in = reinterpret_cast<Bytef*>(gz.data());
        z.avail_in = static_cast<uInt>(gz.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        int r = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        auto t2 = Clock::now();
        if (got != dat.size() || r != Z_STREAM_END) {
            state.SkipWithError("the body did not arrive whole");
            break;
        }
        tc += std::chrono::duration<double, std::milli>(t1 - t0).count();
        tz += std::chrono::duration<double, std::milli>(t2 - tz0).count();
        benchmark::DoNotOptimize(out.data());
    }
    double n = static_cast<double>(state.iterations());
    state.counters["client_ms"] = tc / n;
    state.counters["zlib_ms"] = tz / n;
    state.counters["client_vs_zlib_throughput"] = tz / tc;
    state.counters["dat_bytes"] = static_cast<double>(dat.size());
}
BENCHMARK(ReadDatGzBesideZlib)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
