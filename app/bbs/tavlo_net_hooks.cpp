#include "tavlo_net_hooks.h"

#include "tavlo_live.h"
#include "tavlo_settings.h"
#include "vorn_http_client.h"
#include "vorn_string.h"
#include "vorn_thread.h"

#include <atomic>

namespace {
std::atomic<VORN_SOCKET_CALLBACK> g_callback{nullptr};
}

void TavloSetSocketCallback(VORN_SOCKET_CALLBACK proc) {
    g_callback = proc;
}

VORN_SOCKET_CALLBACK TavloGetSocketCallback() {
    return g_callback.load();
}

void TavloConfigureHttpClient(CVornHttpClient& http, VORN_SOCKET_CALLBACK callback, void* user) {
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.ProxyUse == 1) {
        http.SetProxy(s.ProxyHost.c_str(), static_cast<unsigned short>(s.ProxyPort));
        http.SetProxyAuth(s.ProxyId.c_str(), s.ProxyPass.c_str());
    } else {
        http.SetProxy("", 0);
    }
    http.SetCallbackProc(callback, user);
    http.SetUserAgent(s.UserAgent.c_str());
    TavloLive::PrepareRequest(http);
}

CVornString TavloIfModifiedSince(int64_t seconds) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    CVornDate d = CVornDate::FromTime(seconds, true);
    CVornString text;
    text.Format("%s, %d %s %d %02d:%02d:%02d GMT", days[d.weekday % 7], d.day,
                months[(d.month + 11) % 12], d.year, d.hour, d.minute, d.second);
    return text;
}
