#include "tavlo_url.h"

#include "tavlo_domains.h"
#include "vorn_regex.h"

#include <memory>
#include <mutex>
#include <vector>

namespace {

// "ttp://" is how boards write unlinked URLs; "https://" links are taken as well.
const char kPrefix[] = "^[[h]*t]*tps?://";

struct Rule {
    int number;
    std::string pattern;
    int host;     // group of host (or host and directory)
    int board;    // group of the board
    int key;      // group of the key
    int post;     // group of the post number, 0 = from START=, -1 = past log
    int category; // JBBS category group, 0 = none
};

// Thread rules 2 to 9, in order.
const std::vector<Rule>& threadRules() {
    static const std::vector<Rule> rules = {
        {2,
         std::string(kPrefix) +
             "([^./]+\\.[^./]+\\.[^./]+)/test/read\\.cgi/([a-zA-Z0-9]+)/([0-9]+)[/]*([0-9]*)",
         1, 2, 3, 4, 0},
        {3,
         std::string(kPrefix) + "([^./]+\\.[^./]+\\.[^./]+)/([a-zA-Z0-9]+)/kako/[0-9]+/[0-9]+/"
                                "([0-9]+)\\.(html|dat.gz)",
         1, 2, 3, -1, 0},
        {4,
         std::string(kPrefix) +
             "([^./]+\\.[^./]+\\.[^./]+)/bbs/read\\.(pl|cgi)\\?BBS=([a-zA-Z0-9]+)&KEY=([0-9]+)",
         1, 3, 4, 0, 0},
        {5,
         std::string(kPrefix) + "([^./]+\\.[^./]+\\.[^./]+/[^./]+)/bbs/"
                                "read\\.(pl|cgi)\\?BBS=([a-zA-Z0-9]+)&KEY=([0-9]+)",
         1, 3, 4, 0, 0},
        {6,
         std::string(kPrefix) + "([^./]+\\.[^./]+\\.[^./]+)/bbs/read\\.(pl|cgi)\\/([a-zA-Z0-9]+)/"
                                "([0-9]+)/([0-9]+)[/]?([0-9]*)",
         1, 4, 5, 6, 3},
        {7,
         std::string(kPrefix) +
             "([^./]+\\.[^./]+\\.[^./]+)/test/read\\.(pl|cgi)\\?bbs=([a-zA-Z0-9]+)&key=([0-9]+)",
         1, 3, 4, 0, 0},
        {8,
         std::string(kPrefix) + "([^./]+\\.[^./]+\\.[^./]+\\.[^./]+/[^./]+/)test/"
                                "read\\.(pl|cgi)\\?bbs=([a-zA-Z0-9]+)&key=([0-9]+)",
         1, 3, 4, 0, 0},
        {9,
         std::string(kPrefix) + "([^./]+\\.[^./]+\\.[^./]+\\.[^./]+/[^./]+/)test/read\\.(pl|cgi)/"
                                "([a-zA-Z0-9]+)/([0-9]+)",
         1, 3, 4, 0, 0},
    };
    return rules;
}

// Compiled patterns are shared; CVornRegex keeps match state, so each use holds the lock.
struct Compiled {
    std::mutex lock;
    std::vector<std::unique_ptr<CVornRegex>> threads;
    CVornRegex board;
    CVornRegex video;
    CVornRegex start;
};

Compiled& compiled() {
    static Compiled* c = [] {
        auto* p = new Compiled; // lives for the process
        Compiled& x = *p;
        for (const Rule& r : threadRules()) {
            x.threads.push_back(std::make_unique<CVornRegex>());
            x.threads.back()->Compile(r.pattern.c_str());
        }
        const CTavloDomains& d = CTavloDomains::Get();
        std::vector<std::string> services = d.main;
        services.insert(services.end(), d.adult.begin(), d.adult.end());
        services.insert(services.end(), d.live.begin(), d.live.end());
        std::string board = "([^./]+\\." + CTavloDomains::Alternation(services) + "/([^./]+))";
        x.board.Compile(board.c_str());
        std::string video = std::string(kPrefix) + "([!-~]+)\\." +
                            CTavloDomains::Alternation(d.video) + "/watch\\?.*v=([^&]+).*$";
        x.video.Compile(video.c_str());
        x.start.Compile("START=([0-9]+)");
        return p;
    }();
    return *c;
}

} // namespace

CVornString TavloCompleteUrl(const CVornString& url) {
    if (url.StartsWith("http"))
        return url;
    if (url.StartsWith("ttp"))
        return "h" + url;
    if (url.StartsWith("tp"))
        return "ht" + url;
    if (url.StartsWith("p"))
        return "htt" + url;
    return CVornString();
}

CTavloUrlTarget TavloClassifyUrl(const CVornString& url, int useYoutube) {
    CTavloUrlTarget t;
    Compiled& c = compiled();
    std::lock_guard<std::mutex> lock(c.lock);
    const auto& rules = threadRules();
    for (size_t i = 0; i < rules.size(); ++i) {
        CVornRegex& re = *c.threads[i];
        if (re.Match(url) < 0)
            continue;
        const Rule& r = rules[i];
        t.kind = CTavloUrlTarget::KIND_THREAD;
        t.rule = r.number;
        CVornString host = re.GetGroup(r.host);
        t.board = re.GetGroup(r.board);
        t.key = re.GetGroup(r.key);
        if (r.category) {
            t.boardUrl.Format("http://%s/%s/%s/", host.c_str(), re.GetGroup(r.category).c_str(),
                              t.board.c_str());
        } else if (host.EndsWith("/")) {
            // Host-and-directory groups that end in "/" (rules 8, 9) are used as they are.
            t.boardUrl.Format("http://%s%s/", host.c_str(), t.board.c_str());
        } else {
            t.boardUrl.Format("http://%s/%s/", host.c_str(), t.board.c_str());
        }
        if (r.post > 0) {
            t.number = re.GetGroup(r.post).Atoi();
        } else if (r.post < 0) {
            t.number = -1;
        } else if (c.start.Match(url) >= 0) {
            t.number = c.start.GetGroup(1).Atoi();
        }
        return t;
    }
    if (c.board.Match(url) >= 0) {
        t.kind = CTavloUrlTarget::KIND_BOARD;
        t.rule = 10;
        t.boardUrl.Format("http://%s/", c.board.GetGroup(1).c_str());
        t.board = c.board.GetGroup(3);
        return t;
    }
    if (useYoutube == 1 && c.video.Match(url) >= 0) {
        t.kind = CTavloUrlTarget::KIND_VIDEO;
        t.rule = 11;
        t.videoId = c.video.GetGroup(c.video.GetSubexpCount() - 1);
        return t;
    }
    t.kind = CTavloUrlTarget::KIND_BROWSER;
    t.rule = 12;
    t.url = TavloCompleteUrl(url);
    return t;
}
