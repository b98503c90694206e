// JSON helpers: the configuration file reader, the reply writers, lenient
// readers of single values, and the request parser.
#pragma once

#include <json/json.h>

#include <string>

// Text of the last parse error met by readJsonConfFile; empty at start.
extern std::string jsonRuntimeError;

// Reads and parses the whole file (comments allowed, text after the root
// value ignored). A parse failure, or a file that cannot be opened, stores
// the reader's error text in jsonRuntimeError and returns false.
bool readJsonConfFile(const char* path, Json::Value& value);

// pretty: the indented, several-line form. Otherwise the compact reply form:
// one line, members in ascending name order, no spaces, one trailing newline;
// non-ASCII bytes are written unchanged and control characters other than
// \b \f \n \r \t as \u with four upper-case hex digits.
std::string JsonOut(const Json::Value& value, bool pretty);

// Lenient single-value readers: a value of an unexpected type gives "" or 0.
std::string Jval2Str(const Json::Value& value);
int Jval2Int(const Json::Value& value);
double JvalAsDouble(const Json::Value& value);

bool FileExists(const char* path);

// Parses one JSON document from [begin, end) with the reader's default
// features (comments allowed); text after the first value is ignored.
bool parseJsonRequest(const char* begin, const char* end, Json::Value& value);
inline bool parseJsonRequest(const std::string& text, Json::Value& value) {
    return parseJsonRequest(text.data(), text.data() + text.size(), value);
}
