#pragma once

#include "vorn_string.h"

#include <string>
#include <string_view>

class CVornHttpClient;

// The live services' current protocol, beside the classic one (see README). Which hosts speak
// it comes from CTavloDomains::current; every other host is left exactly as it was.
namespace TavloLive {

// The error text (Shift_JIS) of a refused certificate: "証明書を検証できません: host (reason)".
CVornString CertificateError(const std::string& host, const std::string& reason);

// The host is one of the current domains or lies inside one.
bool IsHost(std::string_view host);
// Host of an "http://" or "https://" URL (lower case, without port), or empty.
std::string HostOf(std::string_view url);
bool IsUrl(std::string_view url);
// A Machi board on a current host.
bool IsMachiHost(std::string_view host);

// The store form of a URL: "https://" of a current host becomes "http://", so that both
// addresses of a board name one directory, one bookmark and one read state.
CVornString StoreUrl(const CVornString& url);
// The address to send: "https://" for a current host, the URL unchanged otherwise.
CVornString WireUrl(const CVornString& url);

// For a client whose URL is set: TLS (port 443 for the default port) and the jar's cookies
// for a current host; nothing for other hosts.
void PrepareRequest(CVornHttpClient& http);
// TLS alone (port 443 for the default port) for a current host.
void Secure(CVornHttpClient& http);
// Keeps every Set-Cookie of the answer in the jar (current hosts only).
void TakeCookies(CVornHttpClient& http);
// The jar's cookie header for the client's host and path.
std::string CookieHeader(CVornHttpClient& http);

// Posting to bbs.cgi on a current host.
// The form's time: now - 30 seconds (a time days old is refused today).
int64_t PostTime(int64_t now);
// The thread's read.cgi address ("https://host/test/read.cgi/BOARD/KEY/"), the Referer of a
// reply; the board's own address (https) for a new thread.
CVornString PostReferer(const CVornString& boardUrl, const CVornString& board,
                        const CVornString& key);
// One Cookie header: the given pairs ("NAME=..; MAIL=..") and the jar's cookies.
void PostCookies(CVornHttpClient& http, const CVornString& pairs);
// Today's pages beside the classic markers: the confirmation without its marker, and error
// texts that are neither bold nor red (the anti-spam refusals) as the page gives them.
// result is the classic classification; the corrected one is returned.
int ClassifyPostPage(const CVornString& page, int result, CVornString* error);

} // namespace TavloLive
