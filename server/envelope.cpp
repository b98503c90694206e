// Reading a request's envelope, envelope errors and reply wrapping.
#include "server/envelope.h"

#include <exception>

#include "common/json_util.h"
#include "runner/runner.h"

namespace {

struct EnvelopeErrorRow {
    EnvelopeError error;
    const char* err;
    const char* errMsg;
};

const EnvelopeErrorRow envelopeErrors[] = {
    {EnvelopeError::BadFormat, "-1", "Формат запроса задан неверно"},
    {EnvelopeError::NoPaymentSystem, "-2", "Нет определения платежной системы в запросе"},
};

}  // namespace

// Checked before a request is parsed, so that no byte the POS or the CRM
// cannot read travels on into the SOAP request, the journal or a reply.
bool isRequestText(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned c = *p++;
        if (c == 0) return false;
        if (c < 0x80) continue;
        int more;
        unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (end - p < more || *p < lo || *p > hi) return false;
        for (p++; --more > 0; p++)
            if (*p < 0x80 || *p > 0xBF) return false;
    }
    return true;
}

Json::Value* commandObjectOf(const std::string& text, const zelvanRunner& runner,
                             Json::Value& request, EnvelopeError& error) {
    error = EnvelopeError::BadFormat;
    bool parsed = false;
    try {
        parsed = isRequestText(text) && parseJsonRequest(text, request);
    } catch (const std::exception&) {
        // The reader gives up on documents nested too deeply.
    }
    if (!parsed || !request.isObject()) return nullptr;
    if (!runner.isJsonRoot(request)) {
        error = EnvelopeError::NoPaymentSystem;
        return nullptr;
    }
    Json::Value& commands = runner.useJsonRoot() ? request[runner.JsonRoot()] : request;
    return commands.isObject() ? &commands : nullptr;
}

Json::Value errorMember(const char* err, const char* errMsg) {
    Json::Value member(Json::objectValue);
    member["err"] = err;
    member["errMsg"] = errMsg;
    return member;
}

std::string envelopeErrorReply(EnvelopeError error) {
    Json::Value reply(Json::objectValue);
    for (const EnvelopeErrorRow& row : envelopeErrors) {
        if (row.error == error) reply["ERROR"] = errorMember(row.err, row.errMsg);
    }
    return JsonOut(reply, false);
}

std::string replyLine(const Json::Value& reply, bool useRoot, const std::string& root) {
    if (!useRoot) return JsonOut(reply, false);
    Json::Value wrapped(Json::objectValue);
    wrapped[root] = reply;
    return JsonOut(wrapped, false);
}
