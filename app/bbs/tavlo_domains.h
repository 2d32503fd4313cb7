#pragma once

#include <string>
#include <vector>

// Host names of the board services, in one place. The first entry of each list is the current
// one; older names stay so that links in old posts still work.
struct CTavloDomains {
    std::vector<std::string> main;   // the main service: 5ch.io, 5ch.net, 2ch.net
    std::vector<std::string> adult;  // its adult sister: bbspink.com
    std::vector<std::string> live;   // its live-broadcast sister (none known today)
    std::vector<std::string> beHost; // be-board hosts of the main service
    std::vector<std::string> machi;  // Machi: machi.to, machibbs.com
    std::vector<std::string> jbbs;   // Livedoor JBBS: jbbs.shitaraba.net, jbbs.livedoor.jp
    std::vector<std::string> video;  // youtube.com
    std::string viewerLoginHost;     // the read viewer's login program ("/futen.cgi"), HTTPS
    std::string menuUrl;             // the main service's board menu
    // Domains (and their subdomains) that speak the services' current protocol: HTTPS,
    // the cookie jar, oyster, Machi's offlaw.cgi/2. Every other host keeps the classic one.
    std::vector<std::string> current;
    // Hosts inside those domains that are not boards and keep the classic protocol (search).
    std::vector<std::string> currentExcept;

    // The process-wide table; tests may extend it (e.g. with a fictional domain).
    static CTavloDomains& Get();

    // "(a|b|c)" with dots escaped, for building patterns.
    static std::string Alternation(const std::vector<std::string>& names);
    // Whether text contains any of names as a substring.
    static bool ContainsAny(const std::string& text, const std::vector<std::string>& names);
};
