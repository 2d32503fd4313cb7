#include "tavlo_http_fetch.h"

#include "tavlo_live.h"
#include "tavlo_net_hooks.h"
#include "tavlo_settings.h"
#include "tavlo_transfer_note.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <cstdlib>

namespace {
constexpr int kBlock = 16383;
} // namespace

CTavloHttpFetch::CTavloHttpFetch(CTavloWindow* window, TavloStopRequest stop)
    : m_window(window), m_stop(std::move(stop)), m_http(std::make_unique<CVornHttpClient>()) {}

CTavloHttpFetch::~CTavloHttpFetch() {
    m_http->Close();
    if (!m_url.IsEmpty())
        TavloNoteTransfer(m_url, CVornString(), m_status, m_received,
                          m_status == 0                                  ? (m_canceled ? -1 : -100)
                          : (m_status / 100 == 2 || m_status == 304) ? 0
                                                                         : -101);
}

CVornString CTavloHttpFetch::FormatHttpDate(int64_t time) {
    return TavloIfModifiedSince(time);
}

// Forwards to the program's callback and turns the stop request into a cancel at every wait.
int CTavloHttpFetch::socketCallback(CVornSocketMessage& message, void* user) {
    auto* self = static_cast<CTavloHttpFetch*>(user);
    VORN_SOCKET_CALLBACK proc = TavloGetSocketCallback();
    if (proc)
        proc(message, self->m_window);
    if (message.result != 1 && self->stopRequested())
        message.result = 1;
    if (message.result == 1)
        self->m_canceled = true;
    return 0;
}

void CTavloHttpFetch::AddHeader(const CVornString& name, const CVornString& value) {
    if (!value.IsEmpty())
        m_headers.emplace_back(name, value);
}

int CTavloHttpFetch::Open(const CVornString& url) {
    m_status = 0;
    m_received = 0;
    m_canceled = false;
    if (url.IsEmpty())
        return -100;
    m_url = url;
    m_http->Close();
    m_http->SetUrl(url.c_str());
    m_http->ClearRequestHeader();
    TavloConfigureHttpClient(*m_http, &CTavloHttpFetch::socketCallback, this);
    m_http->SetGzipEncoding(m_gzip ? 1 : 0);
    for (const auto& h : m_headers)
        m_http->AddRequestHeader(h.first.c_str(), h.second.c_str());
    if (m_ifModifiedSince > 0)
        m_http->AddRequestHeader("If-Modified-Since", FormatHttpDate(m_ifModifiedSince).c_str());
    // A wait cancelled by the stop request is the user's stop, not a network failure.
    if (!m_http->Connect(30))
        return m_canceled ? -1 : -100;
    if (!m_http->Get())
        return m_canceled ? -1 : -101;
    m_status = m_http->GetResultCode();
    TavloLive::TakeCookies(*m_http);
    if (m_status == 304)
        return -103;
    if (m_status < 200 || m_status > 299)
        return -101;
    return 0;
}

int CTavloHttpFetch::Receive(const std::function<int(const char* data, int len)>& sink) {
    CVornString lengthText = m_http->GetResponseHeader("content-length");
    int64_t total = std::strtoll(lengthText.c_str(), nullptr, 10);
    if (total < 0)
        total = 0;
    std::unique_ptr<char[]> buf(new char[kBlock + 1]);
    for (;;) {
        if (stopRequested())
            return -1;
        int n = m_http->Recv(buf.get(), kBlock);
        if (n <= 0) {
            if (m_canceled || m_http->GetWaitState() == CVornAsyncSocket::WAIT_CANCELED)
                return -1;
            if (n < 0 || m_http->GetWaitState() != CVornAsyncSocket::WAIT_OK)
                return -102;
            return 0;
        }
        m_received += n;
        int r = sink(buf.get(), n);
        if (r != 0)
            return r;
        if (m_window && m_progress)
            m_window->SendMessage(TAVLO_WM_PROGRESS, static_cast<uintptr_t>(m_received),
                                  static_cast<intptr_t>(total));
    }
}

int CTavloHttpFetch::ReceiveAll(std::string& body, size_t limit) {
    body.clear();
    return Receive([&body, limit](const char* data, int len) {
        if (body.size() + static_cast<size_t>(len) > limit)
            return -102;
        body.append(data, static_cast<size_t>(len));
        return 0;
    });
}
