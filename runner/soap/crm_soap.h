// The one include for calling the CRM: the generated client proxies of the
// six services, the namespace URIs, and small helpers for contexts, the SOAP
// header and faults.
//
// Services: C++ namespace, proxy class, then per operation the method and
// its request -> reply types (all in the service's namespace).
//   conn   ConnectionCheckProxy  ConnectionCheck: ConnectionCheckInput -> ConnectionCheckOutput
//   card   CardInfoProxy         GetInfo: GetInfoInput -> GetInfoOutput
//   order  OrderProxy            ProcOrder: ProcOrderInput -> ProcOrderOutput
//   storn  OrderStornoProxy      OrderStorno: OrderStornoInput -> OrderStornoOutput
//   batch  BatchOrderSyncProxy   BatchOrderSync: BatchOrderSyncInput -> BatchOrderSyncOutput
//   hold   HoldPointsProxy       HoldPoints: HoldPointsInput -> PointsOutput
//                                UnholdPoints: UnholdPointsInput -> PointsOutput
// Every method is  int M(const char* endpoint, const char* soapAction,
// Input* request, Output& reply)  and returns the gSOAP result: SOAP_OK (0),
// SOAP_EOF (-1) or SOAP_TCP_ERROR (28) when there was no connection, another
// code otherwise: a SOAP fault from the CRM gives SOAP_SVR_FAULT (2) or
// SOAP_CLI_FAULT (1) by its faultcode (SOAP_FAULT 12 for any other), a TLS
// failure SOAP_SSL_ERROR (30). A null soapAction sends the service's own
// SOAPAction.
//
// One call, on a copy of the master context:
//   crm::SoapPtr ctx = crm::copyContext(master);   // modes, TLS, time-outs
//   ctx->connect_timeout = 5; ctx->send_timeout = ctx->recv_timeout = 10;
//   crm::Header h;  h.usernameToken = user;  h.passwordText = pass;
//   h.sessionType = "Stateless";
//   crm::setHeader(ctx.get(), h);                  // before the call
//   conn::ConnectionCheckProxy proxy(ctx.get());   // shares ctx, sets its namespaces
//   conn::ConnectionCheckInput in;
//   conn::ConnectionCheckOutput out;
//   int rc = proxy.ConnectionCheck(endpoint, nullptr, &in, out);
//   if (rc != SOAP_OK)   // soap_fault_string / soap_fault_detail, or:
//       crm::faultString(ctx.get()), crm::faultDetail(ctx.get());
//   else crm::text(out.ErrorCode);                 // "" when the element was missing
//   std::optional<std::string> token = crm::replyToken(ctx.get());
// The reply object points into memory of ctx: read it before ctx goes away.
// Destroying the proxy leaves ctx alone; the SoapPtr frees ctx
// (soap_destroy, soap_end, soap_free).
//
// Request members: std::string is always written (empty when unset), a
// pointer is written only when not null, a std::vector repeats its element.
// Reply members are pointers and stay null when the element was missing;
// unknown elements in a reply are skipped.
#pragma once

// envH.h comes first: the service headers switch off the global serializers.
// clang-format off
#include "envH.h"
#include "batchBatchOrderSyncProxy.h"
#include "cardCardInfoProxy.h"
#include "connConnectionCheckProxy.h"
#include "holdHoldPointsProxy.h"
#include "orderOrderProxy.h"
#include "stornOrderStornoProxy.h"
// clang-format on

#include <memory>
#include <optional>
#include <string>

#include "crm_namespaces.h"

namespace crm {

// The gateway's master context modes: HTTP keep-alive, UTF-8 strings.
constexpr soap_mode kClientMode =
    SOAP_IO_KEEPALIVE | SOAP_C_NOIOB | SOAP_C_UTFSTRING | SOAP_C_MBSTRING;
static_assert(kClientMode == 0x07000010, "mode flags of the master context");

// Owns a gSOAP context: releases its data and frees it.
struct SoapDeleter {
    void operator()(struct soap* ctx) const {
        if (ctx == nullptr) return;
        soap_destroy(ctx);
        soap_end(ctx);
        soap_free(ctx);
    }
};
using SoapPtr = std::unique_ptr<struct soap, SoapDeleter>;

inline SoapPtr newContext(soap_mode mode = kClientMode) {
    return SoapPtr(soap_new1(mode));
}
// A copy carries the modes, the TLS context and the time-outs of the master.
inline SoapPtr copyContext(const struct soap* master) {
    return SoapPtr(soap_copy(master));
}

// The CRM session fields of the SOAP header; unset ones are left out.
struct Header {
    std::optional<std::string> usernameToken;
    std::optional<std::string> passwordText;
    std::optional<std::string> sessionToken;
    std::optional<std::string> sessionType;
};

namespace detail {
inline std::string* managedString(struct soap* ctx, const std::optional<std::string>& v) {
    if (!v) return nullptr;
    std::string* s = ::soap_new_std__string(ctx);
    if (s != nullptr) *s = *v;
    return s;
}
inline std::optional<std::string> optionalOf(const std::string* p) {
    if (p == nullptr) return std::nullopt;
    return *p;
}
}  // namespace detail

// Attaches a new header to ctx for the next request (memory of ctx).
inline void setHeader(struct soap* ctx, const Header& h) {
    SOAP_ENV__Header* header = ::soap_new_SOAP_ENV__Header(ctx);
    if (header == nullptr) return;
    header->h__UsernameToken = detail::managedString(ctx, h.usernameToken);
    header->h__PasswordText = detail::managedString(ctx, h.passwordText);
    header->h__SessionToken = detail::managedString(ctx, h.sessionToken);
    header->h__SessionType = detail::managedString(ctx, h.sessionType);
    ctx->header = header;
}

// The header of the reply last read on ctx; nothing when it had none.
inline std::optional<Header> replyHeader(const struct soap* ctx) {
    if (ctx->header == nullptr) return std::nullopt;
    Header h;
    h.usernameToken = detail::optionalOf(ctx->header->h__UsernameToken);
    h.passwordText = detail::optionalOf(ctx->header->h__PasswordText);
    h.sessionToken = detail::optionalOf(ctx->header->h__SessionToken);
    h.sessionType = detail::optionalOf(ctx->header->h__SessionType);
    return h;
}

// The h:SessionToken of the reply last read on ctx, when it carried one.
inline std::optional<std::string> replyToken(const struct soap* ctx) {
    if (ctx->header == nullptr) return std::nullopt;
    return detail::optionalOf(ctx->header->h__SessionToken);
}

// Fault string and detail of the failed call on ctx ("" when none). For a
// transport error they are the SOAP layer's own texts.
inline std::string faultString(struct soap* ctx) {
    const char* s = soap_fault_string(ctx);
    return s != nullptr ? s : "";
}
inline std::string faultDetail(struct soap* ctx) {
    const char* s = soap_fault_detail(ctx);
    return s != nullptr ? s : "";
}

// True for the results that mean "no connection".
inline bool noConnection(int rc) {
    return rc == SOAP_EOF || rc == SOAP_TCP_ERROR;
}

// The text of a reply element: "" when it was missing.
inline const std::string& text(const std::string* p) {
    static const std::string empty;
    return p != nullptr ? *p : empty;
}

}  // namespace crm
