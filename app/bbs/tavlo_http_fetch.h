#pragma once

#include "tavlo_window.h"
#include "vorn_http_client.h"
#include "vorn_string.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The main window's stop request: true asks the running transfer to end. The shell plugs in
// its cancel flag; an empty function never stops.
using TavloStopRequest = std::function<bool()>;

// One GET of a list or page on the window thread, with the program's client settings (user
// agent, proxy, socket callback with the main window as user data), progress messages and the
// stop request. Used by the thread-list, board-menu and board-page fetches.
class CTavloHttpFetch {
public:
    CTavloHttpFetch(CTavloWindow* window, TavloStopRequest stop);
    ~CTavloHttpFetch();
    CTavloHttpFetch(const CTavloHttpFetch&) = delete;
    CTavloHttpFetch& operator=(const CTavloHttpFetch&) = delete;

    // Compressed transfer on (default) or off.
    void SetGzip(bool on) { m_gzip = on; }
    // Byte-count progress messages on (default) or off, for callers that report their own.
    void SetProgress(bool on) { m_progress = on; }
    // Sends "If-Modified-Since" for this time (seconds since 1970 UTC); 0 sends none.
    void SetIfModifiedSince(int64_t time) { m_ifModifiedSince = time; }
    // A header sent with every request from now on (Referer, Cookie); an empty value none.
    void AddHeader(const CVornString& name, const CVornString& value);
    // The text of an "If-Modified-Since" value for a time.
    static CVornString FormatHttpDate(int64_t time);

    // Connects (30 seconds) and sends the request: 0 for a 2xx answer, -103 for 304, -100
    // when there is no URL or the connection failed, -101 when the request failed or the
    // status was anything else, -1 when the stop request cancelled a wait.
    int Open(const CVornString& url);
    // Receives the body in blocks of up to 16383 bytes, handing each to sink (which returns 0
    // to go on or a result code to end with) and reporting progress after it. 0 when the
    // whole body arrived, -1 when the stop request ended it, -102 when receiving failed.
    int Receive(const std::function<int(const char* data, int len)>& sink);
    // Receive into memory; a body larger than limit ends with -102.
    int ReceiveAll(std::string& body, size_t limit);

    int GetStatus() const { return m_status; }
    int64_t GetReceived() const { return m_received; }
    CVornHttpClient& Client() { return *m_http; }

private:
    static int socketCallback(struct CVornSocketMessage& message, void* user);
    bool stopRequested() const { return m_stop && m_stop(); }

    CTavloWindow* m_window;
    TavloStopRequest m_stop;
    std::unique_ptr<CVornHttpClient> m_http;
    bool m_gzip = true;
    bool m_progress = true;
    int64_t m_ifModifiedSince = 0;
    std::vector<std::pair<CVornString, CVornString>> m_headers;
    CVornString m_url;
    int m_status = 0;
    int64_t m_received = 0;
    bool m_canceled = false;
};
