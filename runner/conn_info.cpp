// The connection check: Connection_Check with retries (start-up and the
// "Connect" command) or with one attempt (the background worker).
#include "common/convert.h"
#include "common/log.h"
#include "runner/call.h"
#include "runner/request_rules.h"
#include "runner/runner.h"
#include "runner/slots.h"

void zelvanRunner::clearConnInfo() {
    slots_->conn.clear();
}

int zelvanRunner::runConnInfo(Json::Value& out) {
    return connCheck(out, conf_.retryCount);
}

int zelvanRunner::runConnInfoOnce(Json::Value& out) {
    return connCheck(out, 1);
}

int zelvanRunner::connCheck(Json::Value& out, int attempts) {
    if (!master_) return -1;
    cmdOffline_ = false;
    CallSettings settings;
    settings.attempts = attempts;
    settings.connectTimeout = conf_.connectTimeout;
    settings.sendRecvTimeout = conf_.sendRecvTimeout;
    settings.tokenAllowed = false;  // the check always sends user and password
    CrmCall call(*this, settings);

    online_ = false;
    Json::Value reply(Json::objectValue);
    reply["err"] = "-1";
    reply["errMsg"] = "Отсутствует соединение";
    log("Проверка соединения с сервером : ( " + conf_.connectionString + " )", LOG_STREAM,
        logConsole());

    int rc = -1;
    for (int i = 0; i < call.attempts(); i++) {
        clearConnInfo();
        struct soap* ctx = call.begin(i);
        if (ctx == nullptr) break;
        conn::ConnectionCheckInput* request = slots_->conn.create();
        conn::ConnectionCheckProxy proxy(ctx);
        conn::ConnectionCheckOutput response;
        rc = proxy.ConnectionCheck(getEndPoint(), nullptr, request, response);
        if (rc == SOAP_OK) {
            call.refreshToken();
            connected_ = online_ = netStatus_ = true;
            reply["err"] = "0";
            reply["errMsg"] = "";
            const std::string& code = crm::text(response.ErrorCode);
            if (!code.empty()) {
                const int value = atoiClamp(code);
                reply["err"] = value;
                if (value == 0) {
                    reply["errMsg"] = "Успешное выполнение операции";
                    break;
                }
                online_ = false;
                reply["Offline"] = "1";
            }
            const std::string& message = crm::text(response.ErrorMessage);
            if (!message.empty()) reply["errMsg"] = cleanText(message);
            break;
        }
        online_ = false;
        reply["Offline"] = "1";
        reply["err"] = std::to_string(rc);
        reply["errMsg"] = crm::noConnection(rc) ? "Нет связи" : "Обслуживание временно ограничено";
        call.putFault(reply, conf_.debugErrInfoEnable);
        netStatus_ = false;
    }
    out = reply;
    clearConnInfo();
    call.finish();
    return rc;
}
