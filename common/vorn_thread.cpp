#include "vorn_thread.h"

#include <chrono>
#include <clocale>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <string>

CVornThread::~CVornThread() {
    Cancel();
    join();
}

void CVornThread::join() {
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
}

int CVornThread::Begin() {
    return Begin(nullptr);
}

namespace {
std::atomic<bool> g_threadFault{false};
}

void VornSetThreadFault(bool fail) {
    g_threadFault = fail;
}

int CVornThread::Begin(std::function<int(CVornThread&)> body) {
    if (m_running || g_threadFault)
        return 0;
    join();
    m_body = std::move(body);
    m_canceled = false;
    m_running = true;
    {
        std::lock_guard<std::mutex> lock(m_doneMutex);
        m_done = false;
    }
    try {
        m_thread = std::thread([this] {
            int code = m_body ? m_body(*this) : Run();
            m_exitCode = code;
            std::lock_guard<std::mutex> lock(m_doneMutex);
            m_running = false;
            m_done = true;
            m_doneCv.notify_all();
        });
    } catch (...) {
        m_running = false;
        m_done = true;
        return 0;
    }
    return 1;
}

int CVornThread::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_doneMutex);
    if (timeoutMs < 0)
        m_doneCv.wait(lock, [this] { return m_done; });
    else if (!m_doneCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return m_done; }))
        return 0;
    lock.unlock();
    join();
    return 1;
}

int64_t CVornTime::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CVornTime::Start() {
    m_start = NowMs();
}

int CVornTime::Elapsed() const {
    return static_cast<int>(NowMs() - m_start);
}

namespace {
CVornDate fromTm(const tm& t) {
    CVornDate d;
    d.year = t.tm_year + 1900;
    d.month = t.tm_mon + 1;
    d.day = t.tm_mday;
    d.hour = t.tm_hour;
    d.minute = t.tm_min;
    d.second = t.tm_sec;
    d.weekday = t.tm_wday;
    return d;
}

tm toTm(const CVornDate& d) {
    tm t{};
    t.tm_year = d.year - 1900;
    t.tm_mon = d.month - 1;
    t.tm_mday = d.day;
    t.tm_hour = d.hour;
    t.tm_min = d.minute;
    t.tm_sec = d.second;
    t.tm_wday = d.weekday;
    t.tm_isdst = -1;
    return t;
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

int monthIndex(const char* m) {
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (strncasecmp(m, names[i], 3) == 0)
            return i;
    return -1;
}
} // namespace

CVornDate CVornDate::Now() {
    return FromTime(time(nullptr), false);
}

CVornDate CVornDate::FromTime(int64_t t, bool utc) {
    time_t tt = static_cast<time_t>(t);
    tm out{};
    if (utc)
        gmtime_r(&tt, &out);
    else
        localtime_r(&tt, &out);
    return fromTm(out);
}

int64_t CVornDate::ToTime(bool utc) const {
    tm t = toTm(*this);
    return utc ? timegm(&t) : mktime(&t);
}

std::string CVornDate::Format(const char* fmt) const {
    tm t = toTm(*this);
    t.tm_isdst = 0;
    char buf[256];
    size_t n = strftime_l(buf, sizeof buf, fmt, &t, cLocale());
    return std::string(buf, n);
}

std::string CVornDate::HttpDate(int64_t t) {
    return FromTime(t, true).Format("%a, %d %b %Y %T GMT");
}

int64_t CVornDate::ParseHttpDate(const char* text) {
    if (!text)
        return -1;
    char mon[4] = {0};
    int d = 0, y = 0, h = 0, mi = 0, s = 0;
    char wd[16];
    tm t{};
    // RFC 1123: "Sun, 06 Nov 1994 08:49:37 GMT"
    if (sscanf(text, "%15[A-Za-z], %d %3s %d %d:%d:%d", wd, &d, mon, &y, &h, &mi, &s) == 7) {
    } else if (sscanf(text, "%15[A-Za-z], %d-%3s-%d %d:%d:%d", wd, &d, mon, &y, &h, &mi, &s) == 7) {
        // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
        if (y < 100)
            y += y < 70 ? 2000 : 1900;
    } else if (sscanf(text, "%15s %3s %d %d:%d:%d %d", wd, mon, &d, &h, &mi, &s, &y) == 7) {
        // asctime: "Sun Nov  6 08:49:37 1994"
    } else {
        return -1;
    }
    int m = monthIndex(mon);
    if (m < 0 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return -1;
    t.tm_year = y - 1900;
    t.tm_mon = m;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t);
}
