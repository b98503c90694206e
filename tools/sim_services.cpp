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

Json::Value headerJson(const SOAP_ENV__Header* h) {
    Json::Value out(Json::objectValue);
    if (h == nullptr) return out;
    const std::pair<const char*, const std::string*> fields[] = {
        {"UsernameToken", h->h__UsernameToken},
        {"PasswordText", h->h__PasswordText},
        {"SessionToken", h->h__SessionToken},
        {"SessionType", h->h__SessionType},
    };
    for (const auto& f : fields) {
        if (f.second != nullptr) out[f.first] = *f.second;
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
    line["header"] = headerJson(ctx->header);
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
        std::optional<std::string>* slots[] = {&h.usernameToken, &h.passwordText, &h.sessionToken,
                                               &h.sessionType};
        const char* names[] = {"UsernameToken", "PasswordText", "SessionToken", "SessionType"};
        for (int i = 0; i < 4; i++) {
            if (reply.header.isMember(names[i])) *slots[i] = Jval2Str(reply.header[names[i]]);
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

// Each service hands its operations to the handler under the operation's name.
class ConnService : public conn::ConnectionCheckService {
  public:
    ConnService(struct soap* s, Handler& h, Exchange& e)
        : conn::ConnectionCheckService(s), h_(h), e_(e) {}
    conn::ConnectionCheckService* copy() override { return nullptr; }
    int ConnectionCheck(conn::ConnectionCheckInput* in, conn::ConnectionCheckOutput& out) override {
        return h_.answer(soap, e_, "Connection_Check", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

class CardService : public card::CardInfoService {
  public:
    CardService(struct soap* s, Handler& h, Exchange& e) : card::CardInfoService(s), h_(h), e_(e) {}
    card::CardInfoService* copy() override { return nullptr; }
    int GetInfo(card::GetInfoInput* in, card::GetInfoOutput& out) override {
        return h_.answer(soap, e_, "Get_Info", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

class OrderService : public order::OrderService {
  public:
    OrderService(struct soap* s, Handler& h, Exchange& e) : order::OrderService(s), h_(h), e_(e) {}
    order::OrderService* copy() override { return nullptr; }
    int ProcOrder(order::ProcOrderInput* in, order::ProcOrderOutput& out) override {
        return h_.answer(soap, e_, "Proc_Order", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

class StornService : public storn::OrderStornoService {
  public:
    StornService(struct soap* s, Handler& h, Exchange& e)
        : storn::OrderStornoService(s), h_(h), e_(e) {}
    storn::OrderStornoService* copy() override { return nullptr; }
    int OrderStorno(storn::OrderStornoInput* in, storn::OrderStornoOutput& out) override {
        return h_.answer(soap, e_, "Order_Storno", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

class BatchService : public batch::BatchOrderSyncService {
  public:
    BatchService(struct soap* s, Handler& h, Exchange& e)
        : batch::BatchOrderSyncService(s), h_(h), e_(e) {}
    batch::BatchOrderSyncService* copy() override { return nullptr; }
    int BatchOrderSync(batch::BatchOrderSyncInput* in, batch::BatchOrderSyncOutput& out) override {
        return h_.answer(soap, e_, "Batch_Order_Sync", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
};

class HoldService : public hold::HoldPointsService {
  public:
    HoldService(struct soap* s, Handler& h, Exchange& e)
        : hold::HoldPointsService(s), h_(h), e_(e) {}
    hold::HoldPointsService* copy() override { return nullptr; }
    int HoldPoints(hold::HoldPointsInput* in, hold::PointsOutput& out) override {
        return h_.answer(soap, e_, "Hold_Points", in, out);
    }
    int UnholdPoints(hold::UnholdPointsInput* in, hold::PointsOutput& out) override {
        return h_.answer(soap, e_, "Unhold_Points", in, out);
    }

  private:
    Handler& h_;
    Exchange& e_;
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
