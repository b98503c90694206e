// Log lines and console output.
#include "common/log.h"

#include <pthread.h>

#include <cstdio>
#include <ctime>

namespace {

bool consoleFlag = true;

FILE* streamFor(int where) {
    return where == ERR_STREAM ? stderr : stdout;
}

}  // namespace

void consoleWrite(int where, const std::string& text) {
    if (where != LOG_STREAM && where != ERR_STREAM) return;
    FILE* f = streamFor(where);
    fwrite(text.data(), 1, text.size(), f);
    fflush(f);
}

void consoleLine(int where, const std::string& text) {
    consoleWrite(where, text + "\n");
}

void log(const char* msg, int whereLog, bool console) {
    (void)console;  // both forms write the same bytes (see the header)
    if (msg == nullptr || (whereLog != LOG_STREAM && whereLog != ERR_STREAM)) return;
    time_t now = time(nullptr);
    struct tm tmv {};
    localtime_r(&now, &tmv);
    char prefix[64];
    snprintf(prefix, sizeof(prefix), "(%04d-%02d-%02d %02d:%02d:%02d): ", tmv.tm_year + 1900,
             tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    std::string line(prefix);
    line.append(msg);
    consoleLine(whereLog, line);
}

void setLogConsole(bool console) {
    consoleFlag = console;
}

bool logConsole() {
    return consoleFlag;
}

std::string threadPrefix() {
    return "[" + std::to_string(static_cast<unsigned long>(pthread_self())) + "] : ";
}
