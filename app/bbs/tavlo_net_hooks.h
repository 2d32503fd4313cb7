#pragma once

#include "vorn_async_socket.h"

// The program's socket callback (installed by the main frame). Every transfer gives it the main
// window as user data; without one installed, transfers run uncancellable.
void TavloSetSocketCallback(VORN_SOCKET_CALLBACK proc);
VORN_SOCKET_CALLBACK TavloGetSocketCallback();

class CVornHttpClient;
class CVornString;

// The client settings every fetch of the program uses: the proxy (when ProxyUse is 1) and its
// credentials, the user agent, and the socket callback with its user data.
void TavloConfigureHttpClient(CVornHttpClient& http, VORN_SOCKET_CALLBACK callback, void* user);

// "Mon, 7 Dec 2026 21:38:25 GMT": the date form the program sends in If-Modified-Since (the
// day without a leading zero).
CVornString TavloIfModifiedSince(int64_t seconds);
