// The request and reply envelope of a client session: the envelope errors,
// the command object of a request and the wrapping of replies.
#pragma once

#include <json/json.h>

#include <string>

class zelvanRunner;

enum class EnvelopeError {
    BadFormat,        // the request is not a JSON object
    NoPaymentSystem,  // the root check is on and the root member is missing
};

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF) without zero bytes: what the text of a request must be.
bool isRequestText(const std::string& text);

// Parses the text of one request into `request` and returns its command
// object (the root member's value, or the request itself with the root check
// off). Null when the request gets an envelope error, named in `error`: text
// that is not UTF-8 or holds a zero byte, not JSON (or nested too deeply),
// not an object, no root member, or a command object that is not an object.
Json::Value* commandObjectOf(const std::string& text, const zelvanRunner& runner,
                             Json::Value& request, EnvelopeError& error);

// The reply line of an envelope error (compact form, never wrapped).
std::string envelopeErrorReply(EnvelopeError error);

// The reply line of a reply object: wrapped as the value of the root member
// when the root check is on, else as it is.
std::string replyLine(const Json::Value& reply, bool useRoot, const std::string& root);

// A reply member {"err": err, "errMsg": errMsg}.
Json::Value errorMember(const char* err, const char* errMsg);
