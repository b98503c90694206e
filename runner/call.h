// The attempt loop every CRM call follows: per attempt a copy of the master
// context with the session header and the call's time-outs, a one-second
// pause and a log line before a retry, and the session token taken over from
// the reply. The operations drive the loop and map the outcome themselves.
#pragma once

#include <json/json.h>

#include <string>

#include "runner/soap/crm_soap.h"

class zelvanRunner;

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

    // Destroys the last context copy.
    void finish() { ctx_.reset(); }

  private:
    zelvanRunner& runner_;
    CallSettings settings_;
    std::string sessionType_, user_, pass_, token_;
    bool haveToken_ = false;
    bool sentToken_ = false;
    crm::SoapPtr ctx_;
    SOAP_ENV__Header* sentHeader_ = nullptr;
};
