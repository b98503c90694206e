// The simulator's answers: the six generated services on one connection
// context, chained so that one port serves every operation, and the handler
// that records each request and answers it from the scenario.
#pragma once

#include <json/json.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "tools/sim_fields.h"
#include "tools/sim_record.h"
#include "tools/sim_scenario.h"
#include "tools/sim_soap.h"

namespace sim {

// The state of the request in progress on one connection.
struct Exchange {
    unsigned connection = 0;  // number of the connection, counted from 1
    std::string raw;          // bytes received for this request (HTTP head and body)
    bool drop = false;        // the scenario asked to close without answering
    Arena arena;              // objects the reply points to
    size_t (*recv)(struct soap*, char*, size_t) = nullptr;  // gSOAP's own receive
};

// A namespace table with every prefix of every service, for reading a
// request before it is known which service it is for.
const struct Namespace* allNamespaces();

class Handler {
  public:
    Handler(Scenario& scenario, Recorder& recorder, const std::atomic<bool>& stop)
        : scenario_(scenario), recorder_(recorder), stop_(stop) {}

    // Records the request of `operation`, then answers it as the scenario
    // says: fills `out`, or returns a fault, or sends raw XML / drops the
    // connection (both SOAP_STOP).
    template <class In, class Out>
    int answer(struct soap* ctx, Exchange& ex, const char* operation, const In* in, Out& out);
    // Records a request that no service took.
    void recordUnknown(struct soap* ctx, Exchange& ex);

  private:
    void record(struct soap* ctx, const Exchange& ex, const char* operation, Json::Value body);
    int finish(struct soap* ctx, Exchange& ex, const Reply& reply);  // all but the body
    void pause(int ms) const;

    Scenario& scenario_;
    Recorder& recorder_;
    const std::atomic<bool>& stop_;
};

// The six services sharing one connection context.
class Services {
  public:
    Services(struct soap* ctx, Handler& handler, Exchange& ex);
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    // Dispatches the request whose envelope soap_begin_serve has read to
    // the service it is for; SOAP_NO_METHOD when none is.
    int dispatch();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
