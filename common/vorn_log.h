#pragma once

// Logging: off until SetLogdir, SetModule and SetLoglevel are all given non-empty values.
// Levels: 0 errors, 1 notices, 2 tracing. One file per module ("<dir>/<module>.log"); each
// line holds the local time, the thread, the level, "Class::Method(line)" and the message.

void SetLogdir(const char* dir);
void SetModule(const char* module);
void SetLoglevel(const char* level);
bool VornLogEnabled(int level);

void PrintLog(int line, int level, const char* location, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

#define VLOG(level, location, ...)                                                                 \
    do {                                                                                           \
        if (VornLogEnabled(level))                                                                 \
            PrintLog(__LINE__, level, location, __VA_ARGS__);                                      \
    } while (0)
