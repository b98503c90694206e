// Conversion and time helpers.
#include "common/convert.h"

#include <sys/time.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <sstream>
#include <stdexcept>

void toUpper(std::string& s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
}

void toLower(std::string& s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

void ltrim(std::string& s, size_t keep, char c) {
    if (keep == 0) keep = 1;
    size_t start = 0;
    while (start < s.size() && s.size() - start > keep && s[start] == c) start++;
    s.erase(0, start);
}

std::string str_left_fill(const std::string& s, size_t width, char c) {
    if (width > 4096) width = 4096;
    if (s.size() >= width) return s;
    return std::string(width - s.size(), c) + s;
}

std::string n2str(int n) {
    return std::to_string(n);
}

std::string n2str(double d) {
    std::ostringstream out;
    out << d;
    return out.str();
}

std::string dbl2str(double d, int precision) {
    std::ostringstream out;
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.precision(precision < 0 ? 0 : precision);
    out << d;
    return out.str();
}

std::string strDoubleSplit(const std::string& s, bool fraction) {
    size_t pos = s.find('.');
    if (pos == std::string::npos) pos = s.find(',');
    if (pos == std::string::npos) return "";
    return fraction ? s.substr(pos) : s.substr(0, pos);
}

bool str2bool(const std::string& s) {
    if (s.empty()) return false;
    std::string v = s;
    toLower(v);
    for (const char* prefix : {"yes", "true", "on", "enable", "1"})
        if (v.compare(0, strlen(prefix), prefix) == 0) return true;
    return false;
}

int atoiClamp(const std::string& s) {
    long long n = strtoll(s.c_str(), nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

unsigned short leadingPort(const char* text) {
    return static_cast<unsigned short>(strtol(text, nullptr, 10));
}

namespace {

template <typename T, typename F>
int convertWithStatus(F convert, T& result) {
    try {
        result = convert();
        return 0;
    } catch (const std::invalid_argument&) {
        return -1;
    } catch (const std::out_of_range&) {
        return -2;
    } catch (...) {
        return -3;
    }
}

}  // namespace

int _stoi(const std::string& s, int& result, size_t* pos, int base) {
    return convertWithStatus<int>([&] { return std::stoi(s, pos, base); }, result);
}

int _stol(const std::string& s, long& result, size_t* pos, int base) {
    return convertWithStatus<long>([&] { return std::stol(s, pos, base); }, result);
}

int _stod(const std::string& s, double& result, size_t* pos) {
    return convertWithStatus<double>([&] { return std::stod(s, pos); }, result);
}

namespace {

std::string formatTime(time_t t, const char* format, bool utc) {
    struct tm tmv {};
    if (utc)
        gmtime_r(&t, &tmv);
    else
        localtime_r(&t, &tmv);
    char buf[64];
    size_t n = strftime(buf, sizeof(buf), format, &tmv);
    return std::string(buf, n);
}

time_t nowOr(const time_t* t) {
    return (t != nullptr && *t > 0) ? *t : time(nullptr);
}

}  // namespace

std::string time2DateTimeStr(const time_t* t) {
    if (t == nullptr || *t == -1) return "";
    return formatTime(*t, "%Y%m%d%H%M%S", false);
}

std::string nowDateTime2Str(const time_t* t) {
    time_t v = nowOr(t);
    return time2DateTimeStr(&v);
}

std::string time2DayStr(const time_t* t) {
    if (t == nullptr || *t == -1) return "";
    return formatTime(*t, "%Y%m%d", false);
}

std::string now2DayStr() {
    time_t now = time(nullptr);
    return time2DayStr(&now);
}

std::string DayTime_string(const time_t* t) {
    return formatTime(nowOr(t), "%m/%d/%Y %H:%M:%S", false);
}

std::string DayTimeUTC_string(const time_t* t) {
    return formatTime(nowOr(t), "%m/%d/%Y %H:%M:%S", true);
}

time_t str2daysecs(const char* day) {
    if (day == nullptr) return -1;
    struct tm tmv {};
    if (strptime(day, "%Y%m%d", &tmv) == nullptr) return -1;
    tmv.tm_hour = tmv.tm_min = tmv.tm_sec = 0;
    tmv.tm_isdst = 0;
    return mktime(&tmv);
}

double timePoint() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

wchar_t* str2wc(const char* s) {
    if (s == nullptr) return nullptr;
    size_t len = strlen(s);
    wchar_t* w = static_cast<wchar_t*>(calloc(len + 1, sizeof(wchar_t)));
    if (w == nullptr) return nullptr;
    if (mbstowcs(w, s, len + 1) == static_cast<size_t>(-1)) w[0] = L'\0';
    return w;
}

void wfree(wchar_t* w) {
    free(w);
}

char* str2cbuf(const std::string& s) {
    return strdup(s.c_str());
}

void cfree(char* c) {
    free(c);
}
