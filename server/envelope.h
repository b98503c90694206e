// The request and reply envelope of a client session: the envelope errors,
// the command object of a request and the wrapping of replies.
#pragma once

#include <json/json.h>

#include <string>

enum class EnvelopeError {
    BadFormat,        // the request is not a JSON object
    NoPaymentSystem,  // the root check is on and the root member is missing
};

// The reply line of an envelope error (compact form, never wrapped).
std::string envelopeErrorReply(EnvelopeError error);

// The reply line of a reply object: wrapped as the value of the root member
// when the root check is on, else as it is.
std::string replyLine(const Json::Value& reply, bool useRoot, const std::string& root);

// A reply member {"err": err, "errMsg": errMsg}.
Json::Value errorMember(const char* err, const char* errMsg);
