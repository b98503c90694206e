// The CRM call attempt loop.
#include "runner/call.h"

#include <unistd.h>

#include <ctime>

#include "common/log.h"
#include "runner/request_rules.h"
#include "runner/runner.h"

CallSettings interactiveSettings(const RunnerConfig& conf) {
    CallSettings settings;
    settings.attempts = conf.retryCount;
    settings.connectTimeout = conf.connectTimeout;
    settings.sendRecvTimeout = conf.sendRecvTimeout;
    return settings;
}

CrmCall::CrmCall(zelvanRunner& runner, const CallSettings& settings)
    : runner_(runner), settings_(settings) {
    endpoint_ = runner.conf_.connectionString;
    sessionType_ = runner.sessionType_;
    user_ = runner.conf_.userId;
    pass_ = runner.conf_.userPass;
    if (settings.tokenAllowed && !runner.token_.empty() &&
        static_cast<int64_t>(time(nullptr)) - runner.tokenTime_ < runner.conf_.sessionTokenTTL) {
        token_ = runner.token_;
        haveToken_ = true;
    }
}

struct soap* CrmCall::begin(int i) {
    ctx_.reset();
    ctx_ = crm::copyContext(runner_.master_.get());
    if (!ctx_) return nullptr;
    // An empty value is an unset one: its element is left out.
    auto set = [](std::optional<std::string>& field, const std::string& v) {
        if (!v.empty()) field = v;
    };
    crm::Header h;
    set(h.sessionType, sessionType_);
    sentToken_ = haveToken_ && (i == 0 || settings_.tokenOnRetries);
    if (sentToken_) {
        set(h.sessionToken, token_);
    } else {
        set(h.usernameToken, user_);
        set(h.passwordText, pass_);
    }
    if (i > 0) {
        sleep(1);
        log("Повторная попытка :[" + std::to_string(i + 1) + "]", LOG_STREAM, logConsole());
    }
    crm::setHeader(ctx_.get(), h);
    sentHeader_ = ctx_->header;
    ctx_->connect_timeout = settings_.connectTimeout;
    ctx_->send_timeout = ctx_->recv_timeout = settings_.sendRecvTimeout;
    const std::string connect = std::to_string(settings_.connectTimeout);
    const std::string sendRecv = std::to_string(settings_.sendRecvTimeout);
    log("Используются таймауты для соединения/отправки/приема данных : (" + connect + "/" +
            sendRecv + "/" + sendRecv + ") cек.",
        LOG_STREAM, logConsole());
    return ctx_.get();
}

void CrmCall::refreshToken() {
    if (!ctx_) return;
    if (ctx_->header == sentHeader_) {
        // No reply header was read: a token sent counts as received.
        if (sentToken_) runner_.tokenTime_ = static_cast<int64_t>(time(nullptr));
        return;
    }
    std::optional<std::string> token = crm::replyToken(ctx_.get());
    if (token) {
        runner_.token_ = *token;
        runner_.tokenTime_ = static_cast<int64_t>(time(nullptr));
    }
}

std::string CrmCall::faultString() const {
    if (!ctx_) return std::string();
    // A transport error has no fault of the CRM's: the SOAP layer then
    // describes the error itself (a fault received is kept as it came).
    if (ctx_->error != SOAP_OK) soap_set_fault(ctx_.get());
    return cleanText(crm::faultString(ctx_.get()));
}

std::string CrmCall::faultDetail() const {
    if (!ctx_) return std::string();
    if (ctx_->error != SOAP_OK) soap_set_fault(ctx_.get());
    return cleanText(crm::faultDetail(ctx_.get()));
}

void CrmCall::putFault(Json::Value& reply, bool withDetail, const char* stringKey,
                       const char* detailKey) const {
    const std::string fault = faultString();
    if (!fault.empty()) reply[stringKey] = fault;
    const std::string detail = faultDetail();
    if (withDetail && !detail.empty()) reply[detailKey] = detail;
}
