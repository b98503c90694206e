// JSON helpers and the compact reply writer.
#include "common/json_util.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/convert.h"

std::string jsonRuntimeError;

bool readJsonConfFile(const char* path, Json::Value& value) {
    if (path == nullptr) return false;
    std::ifstream in(path, std::ios::in | std::ios::binary);
    Json::CharReaderBuilder builder;
    std::string errs;
    if (!Json::parseFromStream(builder, in, &value, &errs)) {
        jsonRuntimeError = errs;
        return false;
    }
    return true;
}

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendHexEscape(std::string& out, unsigned code) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
}

void appendQuoted(std::string& out, const char* s, size_t n) {
    out += '"';
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20)
                    appendHexEscape(out, c);
                else
                    out += static_cast<char>(c);
        }
    }
    out += '"';
}

void writeCompact(const Json::Value& v, std::string& out) {
    switch (v.type()) {
        case Json::nullValue:
            out += "null";
            break;
        case Json::intValue:
            out += Json::valueToString(v.asLargestInt());
            break;
        case Json::uintValue:
            out += Json::valueToString(v.asLargestUInt());
            break;
        case Json::realValue:
            out += Json::valueToString(v.asDouble());
            break;
        case Json::booleanValue:
            out += v.asBool() ? "true" : "false";
            break;
        case Json::stringValue: {
            const char* b = nullptr;
            const char* e = nullptr;
            v.getString(&b, &e);
            appendQuoted(out, b, b == nullptr ? 0 : static_cast<size_t>(e - b));
            break;
        }
        case Json::arrayValue: {
            out += '[';
            for (Json::ArrayIndex i = 0; i < v.size(); i++) {
                if (i > 0) out += ',';
                writeCompact(v[i], out);
            }
            out += ']';
            break;
        }
        case Json::objectValue: {
            // The members are held in ascending byte order of their names.
            out += '{';
            for (auto it = v.begin(); it != v.end(); ++it) {
                if (it != v.begin()) out += ',';
                const char* end = nullptr;
                const char* name = it.memberName(&end);
                appendQuoted(out, name, static_cast<size_t>(end - name));
                out += ':';
                writeCompact(*it, out);
            }
            out += '}';
            break;
        }
    }
}

void appendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool readHex4(const std::string& s, size_t pos, unsigned& cp) {
    if (pos + 4 > s.size()) return false;
    cp = static_cast<unsigned>(strtoul(s.substr(pos, 4).c_str(), nullptr, 16));
    return true;
}

// The styled writer escapes every non-ASCII character as \uxxxx; turn those
// back into UTF-8 bytes and keep the control-character escapes upper-case.
std::string unescapeNonAscii(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); i++) {
        unsigned cp = 0;
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
        } else if (s[i + 1] != 'u' || !readHex4(s, i + 2, cp)) {
            out += s[i];
            out += s[++i];
        } else {
            i += 5;
            unsigned low = 0;
            if (cp >= 0xD800 && cp < 0xDC00 && i + 2 < s.size() && s[i + 1] == '\\' &&
                s[i + 2] == 'u' && readHex4(s, i + 3, low) && low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 6;
            }
            if (cp < 0x20)
                appendHexEscape(out, cp);
            else
                appendUtf8(out, cp);
        }
    }
    return out;
}

}  // namespace

std::string JsonOut(const Json::Value& value, bool pretty) {
    if (pretty) {
        Json::StyledWriter writer;
        return unescapeNonAscii(writer.write(value));
    }
    std::string out;
    writeCompact(value, out);
    out += '\n';
    return out;
}

namespace {

bool isWholeInt32(double d) {
    return std::trunc(d) == d && d >= static_cast<double>(INT_MIN) &&
           d <= static_cast<double>(INT_MAX);
}

int clampToInt(double d) {
    if (d >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (d <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(d);  // truncates toward zero
}

}  // namespace

std::string Jval2Str(const Json::Value& value) {
    if (value.isString()) return value.asString();
    if (!value.isNumeric() || value.isBool()) return "";
    if (value.isInt()) return std::to_string(value.asInt());
    double d = value.asDouble();
    if (isWholeInt32(d)) return std::to_string(static_cast<int>(d));
    return dbl2str(d, 6);
}

int Jval2Int(const Json::Value& value) {
    if (value.isString()) return atoiClamp(value.asString());
    if (!value.isNumeric() || value.isBool()) return 0;
    if (value.isInt()) return value.asInt();
    return clampToInt(value.asDouble());
}

double JvalAsDouble(const Json::Value& value) {
    if (value.isString()) return strtod(value.asString().c_str(), nullptr);
    if (!value.isNumeric() || value.isBool()) return 0;
    return value.asDouble();
}

bool FileExists(const char* path) {
    if (path == nullptr) return false;
    FILE* f = fopen(path, "r");
    if (f == nullptr) return false;
    fclose(f);
    return true;
}

bool parseJsonRequest(const char* begin, const char* end, Json::Value& value) {
    Json::Reader reader;  // default features: comments allowed, lenient root
    return reader.parse(begin, end, value, false);
}
