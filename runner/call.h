// The attempt loop every CRM call follows: per attempt a copy of the master
// context with the session header and the call's time-outs, a one-second
// pause and a log line before a retry, and the session token taken over from
// the reply. The operations drive the loop and map the outcome themselves.
#pragma once

#include <json/json.h>

#include <string>

#include "runner/soap/crm_soap.h"

class zelvanRunner;
struct RunnerConfig;

// How a call's attempts are made.
struct CallSettings {
    int attempts = 1;
    int connectTimeout = 5;
    int sendRecvTimeout = 10;
    // Whether the session token may be sent (never by the connection check)
    // and whether retries send it too (card information and batches: not).
    bool tokenAllowed = true;
    bool tokenOnRetries = true;
};

// The settings of the calls made for a POS command: RetryCount attempts with
// the configured ConnectTimeout and SendRecvTimeout.
CallSettings interactiveSettings(const RunnerConfig& conf);

class CrmCall {
  public:
    // Takes private copies of the session type, user, password and, when one
    // is held and younger than SessionTokenTTL, the session token.
    CrmCall(zelvanRunner& runner, const CallSettings& settings);
    CrmCall(const CrmCall&) = delete;
    CrmCall& operator=(const CrmCall&) = delete;

    int attempts() const { return settings_.attempts; }
    // Prepares attempt i (from 0): the previous copy is destroyed, a new copy
    // of the master gets the header; before a retry, a one-second pause and
    // "Повторная попытка :[i+1]"; then the time-outs and their log line.
    // Returns the context for the attempt's proxy (owned by the call).
    struct soap* begin(int i);
    struct soap* context() const {
        return ctx_.get();
    }

    // After an attempt: a session token in the reply header becomes the
    // runner's token (token time now); when the attempt sent the token and
    // failed before a reply header was read, the token counts as received.
    void refreshToken();

    // The failed attempt's fault in the reply: `stringKey` the fault string
    // and, when `withDetail` (DebugErrInfoEnable), `detailKey` the detail;
    // apostrophes cleaned, each only when there is one.
    void putFault(Json::Value& reply, bool withDetail, const char* stringKey = "zvnErrMsg",
                  const char* detailKey = "zvnErrInfo") const;
    // The failed attempt's fault string and detail, apostrophes cleaned
    // ("" when there is none).
    std::string faultString() const;
    std::string faultDetail() const;

    // Destroys the last context copy.
    void finish() { ctx_.reset(); }

    // The attempts of one call of the operation `method` of `Proxy` with the
    // request `in`: `beforeCall()` right before the service is called; the
    // first reply that arrives goes to `answered(reply)` once the session
    // token was taken over, and ends the attempts; each failed attempt goes
    // to `failed(rc)`. Returns the result of the last attempt (-1 when none
    // could start); the last context copy is destroyed.
    template <class Proxy, class In, class Out, class Before, class Answered, class Failed>
    int run(int (Proxy::*method)(const char*, const char*, In*, Out&), In* in, Before beforeCall,
            Answered answered, Failed failed) {
        int rc = -1;
        for (int i = 0; i < attempts(); i++) {
            struct soap* ctx = begin(i);
            if (ctx == nullptr) break;
            Proxy proxy(ctx);
            Out reply;
            beforeCall();
            rc = (proxy.*method)(endpoint(), nullptr, in, reply);
            if (rc == SOAP_OK) {
                refreshToken();
                answered(static_cast<const Out&>(reply));
                break;
            }
            failed(rc);
        }
        finish();
        return rc;
    }

  private:
    const char* endpoint() const { return endpoint_.empty() ? nullptr : endpoint_.c_str(); }

    zelvanRunner& runner_;
    CallSettings settings_;
    std::string endpoint_, sessionType_, user_, pass_, token_;
    bool haveToken_ = false;
    bool sentToken_ = false;
    crm::SoapPtr ctx_;
    SOAP_ENV__Header* sentHeader_ = nullptr;
};
