#include "tavlo_bbs.h"

#include "tavlo_dat_file.h"
#include "tavlo_domains.h"
#include "tavlo_info_file.h"
#include "tavlo_live.h"
#include "tavlo_message.h"
#include "tavlo_net_hooks.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "tavlo_transfer_note.h"
#include "vorn_array.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <cstring>

CTavloBbs::CTavloBbs(CTavloWindow* window, const CVornString& boardUrl, const CVornString& key)
    : m_key(key), m_boardUrl(boardUrl), m_window(window),
      m_http(std::make_unique<CVornHttpClient>()) {
    m_directory = CTavloPath::GetBoardDirectory(boardUrl);
    m_datPath = CTavloPath::GetLogPath(boardUrl, key);
}

CTavloBbs::~CTavloBbs() {
    if (m_logOpen)
        m_log.Close();
    m_http->Close();
}

void CTavloBbs::send(CTavloMessage* message) {
    TavloSendViewMessage(m_window, message);
}

// Forwards to the program's callback and remembers whether it asked to stop.
int CTavloBbs::socketCallback(CVornSocketMessage& message, void* user) {
    auto* self = static_cast<CTavloBbs*>(user);
    VORN_SOCKET_CALLBACK proc = TavloGetSocketCallback();
    if (proc)
        proc(message, self->m_window);
    if (message.result == 1)
        self->m_canceled = true;
    return 0;
}

CVornString CTavloBbs::GetDatUrl() {
    CVornString url;
    url.Format("%sdat/%s.dat", m_boardUrl.c_str(), m_key.c_str());
    return url;
}

int CTavloBbs::Run() {
    // -900 asks for one more run (after a new viewer login); never for ever.
    for (int attempt = 0; attempt < 4; ++attempt) {
        CVornTime timer;
        m_pending.Empty();
        m_canceled = false;
        m_complete = false;
        int result = 0;
        int r = Initialize();
        if (r != 0) {
            result = Finalize(r);
        } else if ((r = request()) != 0) {
            m_http->Close();
            result = Finalize(r);
        } else if ((r = openLog()) != 0) {
            m_http->Close();
            result = Finalize(r);
        } else {
            std::unique_ptr<char[]> buf(new char[16384]);
            int code = 0;
            bool broken = false;
            for (;;) {
                int n = m_http->Recv(buf.get(), 16383);
                if (n <= 0) {
                    broken = n < 0 || m_http->GetWaitState() != CVornAsyncSocket::WAIT_OK;
                    break;
                }
                code = handleBlock(buf.get(), n);
                if (code != 0)
                    break;
            }
            m_complete = code == 0 && !broken && !m_canceled;
            // A last line without its LF is not stored; the log must not look up to date either.
            bool unended = !m_pending.IsEmpty();
            closeLog();
            m_http->Close();
            // A log cut short must not look up to date: If-Modified-Since would then get a 304
            // and the rest would wait for the next post.
            if (!m_complete || unended)
                CTavloPath::ResetFileTime(m_datPath);
            result = Finalize(code);
        }
        TavloNoteTransfer(GetDatUrl(), m_datPath, m_status, m_received, result);
        VLOG(1, "CTavloBbs::Run", "[%s][%s] %d %d(msec)", m_boardUrl.c_str(), m_key.c_str(), result,
             timer.Elapsed());
        if (result != -900)
            return result;
    }
    return -900;
}

int CTavloBbs::request() {
    m_received = 0;
    m_status = 0;
    CVornString url = GetDatUrl();
    if (url.IsEmpty() || m_datPath.IsEmpty())
        return -100;
    m_http->SetUrl(url.c_str());
    m_http->ClearRequestHeader();
    TavloConfigureHttpClient(*m_http, &CTavloBbs::socketCallback, this);
    int r = PrepareRequest();
    if (r != 0)
        return r;
    if (!m_http->Connect(30)) {
        // A certificate that does not verify is said so; nothing is tried in plain HTTP.
        if (!m_http->GetTlsVerifyError().empty())
            m_errorText =
                TavloLive::CertificateError(m_http->GetHost().str(), m_http->GetTlsVerifyError());
        return -100;
    }
    if (!m_http->Get())
        return -101;
    m_status = m_http->GetResultCode();
    TavloLive::TakeCookies(*m_http);
    if (m_status >= 200 && m_status <= 299)
        return CheckResponse();
    if (m_status == 304)
        return 0;
    if (m_status == 302)
        return -104;
    if (m_status == 416)
        return -105;
    return -101;
}

int CTavloBbs::PrepareRequest() {
    int64_t size = 0, time = 0;
    // An empty log is treated as no log: asking "modified since" for it could leave it empty
    // for good when the first fetch was cut before its first line.
    if (!CTavloDatFile::GetStatus(m_datPath, &size, &time) || size == 0)
        return 0;
    CVornString range;
    range.Format("bytes=%lld-", static_cast<long long>(size - 1));
    m_http->AddRequestHeader("Range", range.c_str());
    // A log that a sudden end cut inside a post is newer than the thread: "modified since"
    // would keep it cut until the next post. Asked without it, the answer's first byte shows
    // the mismatch and the log is fetched whole.
    if (CTavloDatFile::EndsWithLine(m_datPath, size))
        m_http->AddRequestHeader("If-Modified-Since", TavloIfModifiedSince(time).c_str());
    m_http->SetGzipEncoding(0);
    return 0;
}

int CTavloBbs::CheckResponse() {
    if (m_http->GetRequestHeader("Range").IsEmpty())
        return 0;
    char c = 0;
    if (m_http->Recv(&c, 1) != 1 || c != '\n')
        return -105;
    m_received += 1;
    return 0;
}

int CTavloBbs::openLog() {
    CTavloPath::MakeDirectory(m_directory);
    int64_t size = 0;
    int fresh = (CTavloDatFile::GetStatus(m_datPath, &size, nullptr) && size != 0) ? 0 : 1;
    m_written = 0;
    if (!m_log.Open(m_datPath.c_str(), CVornFile::MODE_APPEND))
        return -200;
    m_logOpen = true;
    m_log.Seek(0, CVornFile::SEEK_FROM_END);
    m_total = -1;
    send(new CTavloOpenFileMessage(m_key, m_boardUrl, m_datPath, fresh));
    return 0;
}

int CTavloBbs::handleBlock(char* data, int n) {
    for (char* p = data; (p = static_cast<char*>(memchr(p, '\0', data + n - p))) != nullptr;)
        *p++ = ' ';
    m_received += n;
    if (m_total < 0)
        m_total = m_http->GetResponseHeader("content-length").Atoi();
    // The progress goes with the block's lines in one hand-off to the window thread (in this
    // order), or alone when the block completes no line. The worker does not wait for the
    // window: the close message, sent and waited for, comes after all of them.
    CTavloMessage* both[2] = {
        new CTavloReadUrlMessage(m_key, m_boardUrl, m_datPath, m_received, m_total), nullptr};

    const char* lastLf = static_cast<const char*>(memrchr(data, '\n', static_cast<size_t>(n)));
    if (!lastLf) {
        queue(both, 1);
        m_pending.Append(data, static_cast<size_t>(n));
        return m_pending.size() > m_maxLine ? -202 : 0;
    }
    size_t head = static_cast<size_t>(lastLf - data) + 1;
    m_pending.Append(data, head);
    int r = WriteFileConvert(m_pending);
    if (r != 0) {
        queue(both, 1);
        return r;
    }
    if (!m_pending.IsEmpty()) {
        int64_t before = m_log.GetSize();
        if (before < 0 || m_log.Write(m_pending.c_str(), m_pending.GetLength()) < 0) {
            queue(both, 1);
            // No part of a line may stay: the log ends at a line end, as before the write.
            if (before >= 0)
                m_log.Truncate(before);
            return -203;
        }
        m_written += m_pending.GetLength();
        // Written before it is announced.
        both[1] = new CTavloWriteFileMessage(m_key, m_boardUrl, m_datPath, std::move(m_pending));
        queue(both, 2);
    } else {
        queue(both, 1);
    }
    m_pending = CVornString(data + head, static_cast<size_t>(n) - head);
    return 0;
}

void CTavloBbs::queue(CTavloMessage* const* messages, int count) {
    TavloSendViewMessages(m_window, messages, count, true);
}

void CTavloBbs::closeLog() {
    // A last line without its line end is dropped; the next fetch asks for it again.
    m_pending.Empty();
    if (m_logOpen)
        m_log.Close();
    m_logOpen = false;
    send(new CTavloCloseFileMessage(m_key, m_boardUrl, m_datPath, m_written));
}

int CTavloBbs::WriteFileConvert(CVornString& text) {
    return text.Find("<>") < 0 ? -202 : 0;
}

bool CTavloBbs::IsTarget() {
    const CTavloDomains& d = CTavloDomains::Get();
    const std::string& url = m_boardUrl.str();
    if (CTavloDomains::ContainsAny(url, d.main) || CTavloDomains::ContainsAny(url, d.adult))
        return CTavloInfoFile::GetCount(m_boardUrl, m_key) != 1001;
    return true;
}

bool CTavloBbsSjis::IsTarget() {
    if (CTavloInfoFile::GetCount(m_boardUrl, m_key) == 1001)
        return false;
    const std::string& url = m_boardUrl.str();
    if (!url.starts_with("http://"))
        return false;
    std::string rest = url.substr(7);
    for (const std::string& be : CTavloDomains::Get().beHost) {
        // The be host and one path element ending in "/".
        if (rest.starts_with(be + "/")) {
            std::string path = rest.substr(be.size() + 1);
            if (!path.empty() && path.back() == '/' && path.find('/') == path.size() - 1)
                return true;
        }
    }
    size_t slash = rest.find('/');
    return slash != std::string::npos && rest.compare(slash, 14, "/plugin/2chBBS") == 0;
}

int CTavloBbsSjis::WriteFileConvert(CVornString& text) {
    text.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    if (m_boardUrl.Find("/plugin/2chBBS/") < 0)
        return 0;
    // Seven fields (name, mail, date, body, title, unused, ID) become the standard five, with
    // the ID after the date, padded to the old length so byte offsets stay the server's.
    CVornString out;
    size_t pos = 0;
    const std::string& s = text.str();
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string::npos)
            lf = s.size();
        std::string line = s.substr(pos, lf - pos);
        CVornDataArray fields;
        if (fields.CreateStringArray(line, "<>") != 7)
            return -202;
        CVornString converted;
        converted.Format("%s<>%s<>%s ID: %s<>%s<>%s", fields.Get(0).c_str(), fields.Get(1).c_str(),
                         fields.Get(2).c_str(), fields.Get(6).c_str(), fields.Get(3).c_str(),
                         fields.Get(4).c_str());
        while (converted.size() < line.size())
            converted += ' ';
        out += converted;
        out += '\n';
        pos = lf + 1;
    }
    text = out;
    return 0;
}
