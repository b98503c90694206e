// The service implementations of the simulator and the request handler.
#include "tools/sim_services.h"

#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "common/convert.h"

// The generated namespace tables (conn_namespaces, ...), one per service.
#include "batch.nsmap"
#include "card.nsmap"
#include "conn.nsmap"
#include "hold.nsmap"
#include "order.nsmap"
#include "storn.nsmap"

namespace sim {

const struct Namespace* allNamespaces() {
    static const std::vector<Namespace> table = [] {
        std::vector<Namespace> all;
        std::set<std::string> seen;
        for (const Namespace* t : {conn_namespaces, card_namespaces, order_namespaces,
                                   storn_namespaces, batch_namespaces, hold_namespaces}) {
            for (; t->id != nullptr; t++) {
                if (seen.insert(t->id).second) all.push_back(*t);
            }
        }
        all.push_back(Namespace{nullptr, nullptr, nullptr, nullptr});
        return all;
    }();
    return table.data();
}

namespace {

std::string xmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The HTTP body of the request bytes.
std::string bodyOf(const std::string& raw) {
    size_t at = raw.find("\r\n\r\n");
    return at == std::string::npos ? raw : raw.substr(at + 4);
}

// The session fields of the SOAP header as the simulator's JSON names them.
const std::pair<const char*, std::optional<std::string> crm::Header::*> kHeaderFields[] = {
    {"UsernameToken", &crm::Header::usernameToken},
    {"PasswordText", &crm::Header::passwordText},
    {"SessionToken", &crm::Header::sessionToken},
    {"SessionType", &crm::Header::sessionType},
};

// The header of the request (read last on the context).
Json::Value headerJson(const struct soap* ctx) {
    Json::Value out(Json::objectValue);
    const std::optional<crm::Header> h = crm::replyHeader(ctx);
    if (!h) return out;
    for (const auto& f : kHeaderFields) {
        const std::optional<std::string>& value = (*h).*f.second;
        if (value) out[f.first] = *value;
    }
    return out;
}

// Sends `xml` as the whole reply envelope.
int sendRaw(struct soap* ctx, const std::string& xml) {
    const std::string http =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
        std::to_string(xml.size()) + "\r\nConnection: keep-alive\r\n\r\n" + xml;
    return ctx->fsend(ctx, http.data(), http.size());
}

}  // namespace

void Handler::pause(int ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Handler::record(struct soap* ctx, const Exchange& ex, const char* operation,
                     Json::Value body) {
    Json::Value line(Json::objectValue);
    line["time"] = dbl2str(timePoint(), 6);
    line["connection"] = ex.connection;
    line["operation"] = operation;
    line["soapAction"] = ctx->action != nullptr ? ctx->action : "";
    line["path"] = ctx->path;
    line["header"] = headerJson(ctx);
    line["body"] = std::move(body);
    line["xml"] = bodyOf(ex.raw);
    recorder_.write(line);
}

void Handler::recordUnknown(struct soap* ctx, Exchange& ex) {
    record(ctx, ex, "", Json::Value(Json::objectValue));
}

int Handler::finish(struct soap* ctx, Exchange& ex, const Reply& reply) {
    if (reply.delayMs > 0) pause(reply.delayMs);
    if (reply.drop) {
        ex.drop = true;
        return SOAP_STOP;
    }
    // The request's header is still on the context: never echo it.
    ctx->header = nullptr;
    if (reply.header.isObject()) {
        crm::Header h;
        for (const auto& f : kHeaderFields) {
            if (reply.header.isMember(f.first)) h.*f.second = Jval2Str(reply.header[f.first]);
        }
        crm::setHeader(ctx, h);
    }
    if (!reply.xml.empty()) {
        sendRaw(ctx, reply.xml);
        return SOAP_STOP;
    }
    if (reply.fault) {
        const std::string detail = xmlEscape(reply.faultDetail);
        const char* d = reply.faultDetail.empty() ? nullptr : detail.c_str();
        return reply.faultCode == "Client" ? soap_sender_fault(ctx, reply.faultString.c_str(), d)
                                           : soap_receiver_fault(ctx, reply.faultString.c_str(), d);
    }
    return SOAP_OK;
}

template <class In, class Out>
int Handler::answer(struct soap* ctx, Exchange& ex, const char* operation, const In* in, Out& out) {
    const Reply reply = scenario_.next(operation);
    record(ctx, ex, operation, in != nullptr ? ToJson::of(*in) : Json::Value(Json::objectValue));
    const int rc = finish(ctx, ex, reply);
    if (rc == SOAP_OK) FromJson::fill(reply.body, out, ex.arena);
    return rc;
}

namespace {

// Each service hands its operations to the handler under the operation's
// name; one context serves them all, so none is ever copied.
template <class Base>
class Bound : public Base {
  public:
    Bound(struct soap* s, Handler& h, Exchange& e) : Base(s), h_(h), e_(e) {}
    Base* copy() override { return nullptr; }

  protected:
    template <class In, class Out>
    int answer(const char* operation, In* in, Out& out) {
        return h_.answer(this->soap, e_, operation, in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

struct ConnService : Bound<conn::ConnectionCheckService> {
    using Bound::Bound;
    int ConnectionCheck(conn::ConnectionCheckInput* in, conn::ConnectionCheckOutput& out) override {
        return answer("Connection_Check", in, out);
    }
};

struct CardService : Bound<card::CardInfoService> {
    using Bound::Bound;
    int GetInfo(card::GetInfoInput* in, card::GetInfoOutput& out) override {
        return answer("Get_Info", in, out);
    }
};

struct OrderService : Bound<order::OrderService> {
    using Bound::Bound;
    int ProcOrder(order::ProcOrderInput* in, order::ProcOrderOutput& out) override {
        return answer("Proc_Order", in, out);
    }
};

struct StornService : Bound<storn::OrderStornoService> {
    using Bound::Bound;
    int OrderStorno(storn::OrderStornoInput* in, storn::OrderStornoOutput& out) override {
        return answer("Order_Storno", in, out);
    }
};

struct BatchService : Bound<batch::BatchOrderSyncService> {
    using Bound::Bound;
    int BatchOrderSync(batch::BatchOrderSyncInput* in, batch::BatchOrderSyncOutput& out) override {
        return answer("Batch_Order_Sync", in, out);
    }
};

struct HoldService : Bound<hold::HoldPointsService> {
    using Bound::Bound;
    int HoldPoints(hold::HoldPointsInput* in, hold::PointsOutput& out) override {
        return answer("Hold_Points", in, out);
    }
    int UnholdPoints(hold::UnholdPointsInput* in, hold::PointsOutput& out) override {
        return answer("Unhold_Points", in, out);
    }
};

}  // namespace

struct Services::Impl {
    Impl(struct soap* ctx, Handler& h, Exchange& e)
        : conn(ctx, h, e),
          card(ctx, h, e),
          order(ctx, h, e),
          storn(ctx, h, e),
          batch(ctx, h, e),
          hold(ctx, h, e) {}
    ConnService conn;
    CardService card;
    OrderService order;
    StornService storn;
    BatchService batch;
    HoldService hold;
};

Services::Services(struct soap* ctx, Handler& handler, Exchange& ex)
    : impl_(std::make_unique<Impl>(ctx, handler, ex)) {}

Services::~Services() = default;

int Services::dispatch() {
    // Each service's dispatch switches the context to its own namespace
    // table and answers SOAP_NO_METHOD for a request that is not its own.
    int rc = impl_->conn.dispatch();
    if (rc == SOAP_NO_METHOD) rc = impl_->card.dispatch();
    if (rc == SOAP_NO_METHOD) rc = impl_->order.dispatch();
    if (rc == SOAP_NO_METHOD) rc = impl_->storn.dispatch();
    if (rc == SOAP_NO_METHOD) rc = impl_->batch.dispatch();
    if (rc == SOAP_NO_METHOD) rc = impl_->hold.dispatch();
    return rc;
}

}  // namespace sim
