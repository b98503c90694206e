// Envelope errors and reply wrapping.
#include "server/envelope.h"

#include "common/json_util.h"

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
