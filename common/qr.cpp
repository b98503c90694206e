// QR code validation.
#include "common/qr.h"

#include "common/convert.h"

namespace {

const size_t kMaxQRLength = 75;
const size_t kCardNumLength = 17;
const char* const kAllowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/-_";
const char* const kDigits = "01234567890";

bool onlyDigits(const std::string& s) {
    return s.find_first_not_of(kDigits) == std::string::npos;
}

// The upper-cased part before the first "/"; false when there is no "/".
bool qrPrefix(const std::string& text, std::string& prefix) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    prefix = text.substr(0, slash);
    toUpper(prefix);
    return true;
}

}  // namespace

bool isValidQRString(const std::string& text) {
    if (text.empty() || text.size() > kMaxQRLength) return false;
    std::string prefix;
    if (qrPrefix(text, prefix) && onlyDigits(prefix) && prefix.size() != kCardNumLength)
        return false;
    std::string upper = text;
    toUpper(upper);
    return upper.find_first_not_of(kAllowed) == std::string::npos;
}

std::string extractQRCardNum(const std::string& text) {
    if (text.empty() || text.size() > kMaxQRLength) return "";
    std::string prefix;
    if (!qrPrefix(text, prefix)) return "";
    return (prefix.size() == kCardNumLength && onlyDigits(prefix)) ? prefix : "";
}
