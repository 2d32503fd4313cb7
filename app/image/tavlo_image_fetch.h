#pragma once

#include "tavlo_http_fetch.h"
#include "vorn_string.h"

#include <functional>
#include <string>

// One GET of an image or of the page an image rule reads first: referer and cookie when not
// empty, the program's user agent and proxy, a 30-second connect, one 302 followed through its
// "Location".
struct CTavloImageRequest {
    CVornString Url;
    CVornString Referer;
    CVornString Cookie;
};

struct CTavloImageAnswer {
    int Status = 0;
    CVornString StatusLine; // "HTTP/1.1 404 Not Found" for a refused request
    CVornString ContentType;
    CVornString SetCookie;
    int64_t ContentLength = -1; // -1 when the answer named none
};

// Connects and sends the request: 0 for a 2xx answer, -100 when the connection failed, -101
// when the request failed, the redirect had no "Location" or the status was not 2xx, -1 when
// stopped.
int TavloImageOpen(CTavloHttpFetch& fetch, const CTavloImageRequest& request,
                   CTavloImageAnswer* answer);

// The page fetch of the cookie and extract rules (body at most 4 MB).
int TavloImageFetchPage(CTavloWindow* window, TavloStopRequest stop, const CVornString& url,
                        const CVornString& referer, std::string* body, CVornString* cookie);
