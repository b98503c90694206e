// Text, number and time conversions shared by both programs. Their exact
// formats reach the CRM messages, the journal and the replies. Time texts use
// the process's local time zone unless a helper says UTC.
#pragma once

#include <ctime>
#include <string>

// Case and filling.
void toUpper(std::string& s);  // byte-wise, current locale: ASCII only in UTF-8
void toLower(std::string& s);
// Removes leading `c` one at a time while the length exceeds `keep` (0 counts
// as 1); an empty string is left alone.
void ltrim(std::string& s, size_t keep, char c);
// Prepends `c` until the length reaches `width` (capped at 4096).
std::string str_left_fill(const std::string& s, size_t width, char c);

// Numbers to and from text.
std::string n2str(int n);
std::string n2str(double d);                   // at most 6 significant digits
std::string dbl2str(double d, int precision);  // fixed notation
// Part before ("12") or from ("" or ".50") the first "." (else ","); empty
// when the text has no separator.
std::string strDoubleSplit(const std::string& s, bool fraction);
// true for texts beginning with yes, true, on, enable or 1 (any case).
bool str2bool(const std::string& s);
// The C atoi rule (leading white space, sign and digits; 0 when there are
// none), kept within the int range instead of overflowing.
int atoiClamp(const std::string& s);
// A port number: the decimal number at the start of the text, cut to 16 bits;
// 0 for text without one.
unsigned short leadingPort(const char* text);
// Standard conversions with a status: 0 ok (result set), -1 no number,
// -2 out of range, -3 other failure (result untouched).
int _stoi(const std::string& s, int& result, size_t* pos = nullptr, int base = 10);
int _stol(const std::string& s, long& result, size_t* pos = nullptr, int base = 10);
int _stod(const std::string& s, double& result, size_t* pos = nullptr);

// Time helpers; a time argument points to seconds since the epoch.
std::string time2DateTimeStr(const time_t* t);  // "%Y%m%d%H%M%S"; null or -1: ""
std::string nowDateTime2Str(const time_t* t);   // the given time if > 0, else now
std::string time2DayStr(const time_t* t);       // "%Y%m%d"; null or -1: ""
std::string now2DayStr();
std::string DayTime_string(const time_t* t);     // "%m/%d/%Y %H:%M:%S"; null or <= 0: now
std::string DayTimeUTC_string(const time_t* t);  // the same in UTC
// Local midnight (standard time) starting the "%Y%m%d" date; -1 on failure.
time_t str2daysecs(const char* day);
double timePoint();  // now, in seconds with microseconds

// Text buffers handed on as C or wide strings; free with wfree / cfree.
wchar_t* str2wc(const char* s);
void wfree(wchar_t* w);
char* str2cbuf(const std::string& s);
void cfree(char* c);
