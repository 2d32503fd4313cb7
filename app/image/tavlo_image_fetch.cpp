#include "tavlo_image_fetch.h"

#include "vorn_log.h"

#include <cstdlib>

namespace {

void readAnswer(CTavloHttpFetch& fetch, CTavloImageAnswer* a) {
    CVornHttpClient& http = fetch.Client();
    a->Status = http.GetResultCode();
    a->ContentType = http.GetResponseHeader("content-type");
    a->SetCookie = http.GetResponseHeader("set-cookie");
    const CVornString length = http.GetResponseHeader("content-length");
    a->ContentLength = length.IsEmpty() ? -1 : std::strtoll(length.c_str(), nullptr, 10);
    const CVornString& head = http.GetResponseHeader();
    const int eol = head.Find('\n');
    a->StatusLine = eol < 0 ? head : head.Left(eol);
    a->StatusLine.TrimRight();
}

} // namespace

int TavloImageOpen(CTavloHttpFetch& fetch, const CTavloImageRequest& request,
                   CTavloImageAnswer* answer) {
    CTavloImageAnswer local;
    CTavloImageAnswer& a = answer ? *answer : local;
    fetch.SetGzip(false);
    fetch.AddHeader("Referer", request.Referer);
    fetch.AddHeader("Cookie", request.Cookie);
    CVornString url = request.Url;
    for (int hop = 0; hop < 2; ++hop) {
        int rc = fetch.Open(url);
        readAnswer(fetch, &a);
        if (rc == -1 || rc == -100 || (rc != 0 && a.Status == 0))
            return rc == -1 ? -1 : rc == -100 ? -100 : -101;
        if (a.Status == 302 && hop == 0) {
            const CVornString location = fetch.Client().GetResponseHeader("location");
            VLOG(2, "TavloImageOpen", "302 %s", location.c_str());
            if (location.IsEmpty())
                return -101;
            url = location;
            continue;
        }
        return rc == 0 ? 0 : -101;
    }
    return -101;
}

int TavloImageFetchPage(CTavloWindow* window, TavloStopRequest stop, const CVornString& url,
                        const CVornString& referer, std::string* body, CVornString* cookie) {
    CTavloHttpFetch fetch(window, std::move(stop));
    CTavloImageRequest request{url, referer, CVornString()};
    CTavloImageAnswer answer;
    int rc = TavloImageOpen(fetch, request, &answer);
    if (rc != 0)
        return rc;
    std::string page;
    rc = fetch.ReceiveAll(page, 4u << 20);
    if (rc != 0)
        return rc;
    if (body)
        *body = std::move(page);
    if (cookie)
        *cookie = answer.SetCookie;
    return 0;
}
