#include "vorn_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
std::mutex g_mutex;
std::string g_dir, g_module;
int g_levelValue = -1;
std::atomic<int> g_enabledLevel{-1};
FILE* g_file = nullptr;

void reconfigure() {
    if (g_file) {
        fclose(g_file);
        g_file = nullptr;
    }
    if (g_dir.empty() || g_module.empty() || g_levelValue < 0) {
        g_enabledLevel = -1;
        return;
    }
    std::string path = g_dir + "/" + g_module + ".log";
    g_file = fopen(path.c_str(), "ae");
    g_enabledLevel = g_file ? g_levelValue : -1;
}
} // namespace

void SetLogdir(const char* dir) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dir = dir ? dir : "";
    reconfigure();
}

void SetModule(const char* module) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_module = module ? module : "";
    reconfigure();
}

void SetLoglevel(const char* level) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_levelValue = (level && *level) ? atoi(level) : -1;
    reconfigure();
}

bool VornLogEnabled(int level) {
    return level <= g_enabledLevel.load(std::memory_order_relaxed);
}

void PrintLog(int line, int level, const char* location, const char* fmt, ...) {
    if (!VornLogEnabled(level))
        return;
    char msg[4096];
    va_list args;
    va_start(args, fmt);
    vsnprintf(msg, sizeof msg, fmt ? fmt : "", args);
    va_end(args);
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm t{};
    localtime_r(&tv.tv_sec, &t);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_file)
        return;
    fprintf(g_file, "%04d/%02d/%02d %02d:%02d:%02d.%03d [%ld] %d %s(%d) %s\n", t.tm_year + 1900,
            t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            static_cast<int>(tv.tv_usec / 1000), static_cast<long>(syscall(SYS_gettid)), level,
            location ? location : "", line, msg);
    fflush(g_file);
}
