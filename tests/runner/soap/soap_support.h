// Support of the SOAP layer tests: an XML element-sequence extractor (start
// tags in document order with their resolved namespace URIs), the simulator
// as a child process with its scenario and record files, and client calls of
// the generated proxies.
#pragma once

#include <json/json.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "runner/soap/crm_soap.h"
#include "tests/support/support.h"

namespace soaptest {

// One element start tag: depth (0 for the root), namespace URI, local name,
// and for an element without child elements its text (entities decoded).
struct XmlElement {
    int depth = 0;
    std::string uri;
    std::string local;
    std::string text;
    bool leaf = true;
};
// Every element of `xml` in document order. Throws std::runtime_error on
// markup it cannot read.
std::vector<XmlElement> xmlElements(const std::string& xml);
// Every namespace URI declared anywhere in `xml`.
std::set<std::string> declaredNamespaces(const std::string& xml);

// A SOAP message seen as lines "  pfx:Local" (two blanks per level), with
// "=text" after a leaf: `pfx` is the gateway's own prefix of the element's
// URI (h, ui, bns, ord, loy, que, tns, ns1, SOAP-ENV), "{uri}" for any other.
// header: the children of SOAP-ENV:Header; body: the request or reply
// element and everything below it (the request element at depth 0).
struct Message {
    std::vector<std::string> header;
    std::vector<std::string> body;
};
Message messageOf(const std::string& envelope);

// zelvan-crm-sim running on an ephemeral loopback port, with its scenario
// and record files in a temporary directory.
class Simulator {
  public:
    struct Tls {
        std::string cert, key, password;
    };
    explicit Simulator(const Json::Value& scenario = Json::Value(Json::objectValue),
                       const Tls* tls = nullptr, std::vector<std::string> extraArgs = {});
    ~Simulator();

    // Replaces the scenario file atomically (write, then rename).
    void setScenario(const Json::Value& scenario);
    // Stops the process (SIGTERM) and waits for it.
    void stop();
    // Starts it again on the same port.
    void restart();

    int port() const { return port_; }
    std::string endpoint() const;
    // The record lines written so far.
    std::vector<Json::Value> records() const;
    // Waits until at least n lines are recorded; then all of them.
    std::vector<Json::Value> waitRecords(size_t n) const;
    const testsupport::TempDir& dir() const { return dir_; }
    pid_t pid() const { return process_ ? process_->pid() : -1; }

  private:
    void launch(int port);

    testsupport::TempDir dir_;
    const Tls* tls_;
    std::vector<std::string> extraArgs_;
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
    int scenarioVersion_ = 0;
};

// Certificates made at test time with the openssl tool, in their own
// directory: two self-signed CAs ("test-ca", "other-ca": <name>.pem) and a
// server certificate for 127.0.0.1 and localhost signed by test-ca whose key
// is protected by a password. tls() is what the simulator serves.
class TestCertificates {
  public:
    TestCertificates();
    std::string ca(const std::string& name) const { return dir_.file(name + ".pem"); }
    const Simulator::Tls& tls() const { return tls_; }

  private:
    testsupport::TempDir dir_;
    Simulator::Tls tls_;
};

// Keeps the bytes a client context receives (HTTP head and body) while it
// lives; the context must outlive it.
class ReplyCapture {
  public:
    explicit ReplyCapture(struct soap* ctx);
    ~ReplyCapture();
    ReplyCapture(const ReplyCapture&) = delete;
    ReplyCapture& operator=(const ReplyCapture&) = delete;
    // The HTTP body of the last reply.
    std::string body() const;

  private:
    static size_t receive(struct soap* ctx, char* buf, size_t len);
    struct soap* ctx_;
    size_t (*recv_)(struct soap*, char*, size_t);
    std::string bytes_;
};

// A client context in the gateway's modes with the given time-outs.
crm::SoapPtr clientContext(int recvTimeout = 10);

// One call of each operation through its generated proxy on ctx.
int call(struct soap* ctx, const std::string& endpoint, conn::ConnectionCheckInput& in,
         conn::ConnectionCheckOutput& out);
int call(struct soap* ctx, const std::string& endpoint, card::GetInfoInput& in,
         card::GetInfoOutput& out);
int call(struct soap* ctx, const std::string& endpoint, order::ProcOrderInput& in,
         order::ProcOrderOutput& out);
int call(struct soap* ctx, const std::string& endpoint, storn::OrderStornoInput& in,
         storn::OrderStornoOutput& out);
int call(struct soap* ctx, const std::string& endpoint, batch::BatchOrderSyncInput& in,
         batch::BatchOrderSyncOutput& out);
int call(struct soap* ctx, const std::string& endpoint, hold::HoldPointsInput& in,
         hold::PointsOutput& out);
int call(struct soap* ctx, const std::string& endpoint, hold::UnholdPointsInput& in,
         hold::PointsOutput& out);

// A connection check on ctx, or on a fresh context: its result.
int connectionCheck(struct soap* ctx, const std::string& endpoint);
int connectionCheck(const std::string& endpoint, int recvTimeout = 10);

// Parses a JSON text (test data).
Json::Value json(const std::string& text);

}  // namespace soaptest
