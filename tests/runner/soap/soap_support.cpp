// Support of the SOAP layer tests: XML extractor, simulator process, calls.
#include "tests/runner/soap/soap_support.h"

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "common/json_util.h"

namespace soaptest {

using testsupport::Millis;

namespace {

std::string decodeEntities(const std::string& s) {
    static const std::pair<const char*, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < s.size();) {
        bool done = false;
        if (s[i] == '&') {
            for (const auto& e : entities) {
                const size_t n = strlen(e.first);
                if (s.compare(i, n, e.first) == 0) {
                    out += e.second;
                    i += n;
                    done = true;
                    break;
                }
            }
        }
        if (!done) out += s[i++];
    }
    return out;
}

struct Tag {
    std::string name;
    std::map<std::string, std::string> attrs;
    bool closing = false, empty = false;
};

// Reads the tag starting at s[at] == '<'; `at` ends after its '>'.
Tag readTag(const std::string& s, size_t& at) {
    size_t end = at;
    for (char quote = 0; end < s.size() && (quote != 0 || s[end] != '>'); end++) {
        if (quote == 0 && (s[end] == '"' || s[end] == '\'')) {
            quote = s[end];
        } else if (s[end] == quote) {
            quote = 0;
        }
    }
    if (end >= s.size()) throw std::runtime_error("unterminated tag");
    std::string inner = s.substr(at + 1, end - at - 1);
    at = end + 1;
    Tag t;
    if (!inner.empty() && inner[0] == '/') {
        t.closing = true;
        inner.erase(0, 1);
    }
    if (!inner.empty() && inner.back() == '/') {
        t.empty = true;
        inner.pop_back();
    }
    size_t i = inner.find_first_of(" \t\r\n");
    t.name = inner.substr(0, i);
    while (i != std::string::npos && i < inner.size()) {
        i = inner.find_first_not_of(" \t\r\n", i);
        if (i == std::string::npos) break;
        const size_t eq = inner.find('=', i);
        if (eq == std::string::npos) throw std::runtime_error("bad attribute in " + inner);
        const std::string key = inner.substr(i, eq - i);
        const char quote = inner[eq + 1];
        const size_t close = inner.find(quote, eq + 2);
        if (close == std::string::npos) throw std::runtime_error("bad attribute in " + inner);
        t.attrs[key] = decodeEntities(inner.substr(eq + 2, close - eq - 2));
        i = close + 1;
    }
    return t;
}

void skipSpecial(const std::string& s, size_t& at) {
    const char* close = s.compare(at, 4, "<!--") == 0 ? "-->" : s[at + 1] == '?' ? "?>" : ">";
    const size_t end = s.find(close, at);
    if (end == std::string::npos) throw std::runtime_error("unterminated markup");
    at = end + strlen(close);
}

}  // namespace

std::vector<XmlElement> xmlElements(const std::string& xml) {
    std::vector<XmlElement> out;
    std::vector<std::map<std::string, std::string>> scopes{{{"xml", "xml"}}};
    std::vector<size_t> open;  // indexes into out
    std::string text;
    for (size_t at = 0; at < xml.size();) {
        if (xml[at] != '<') {
            text += xml[at++];
            continue;
        }
        if (xml[at + 1] == '!' || xml[at + 1] == '?') {
            skipSpecial(xml, at);
            continue;
        }
        Tag t = readTag(xml, at);
        if (t.closing) {
            if (open.empty()) throw std::runtime_error("unbalanced </" + t.name + ">");
            XmlElement& e = out[open.back()];
            if (e.leaf) e.text = decodeEntities(text);
            open.pop_back();
            scopes.pop_back();
            text.clear();
            continue;
        }
        std::map<std::string, std::string> scope = scopes.back();
        for (const auto& a : t.attrs) {
            if (a.first == "xmlns") scope[""] = a.second;
            if (a.first.compare(0, 6, "xmlns:") == 0) scope[a.first.substr(6)] = a.second;
        }
        const size_t colon = t.name.find(':');
        const std::string prefix = colon == std::string::npos ? "" : t.name.substr(0, colon);
        XmlElement e;
        e.depth = static_cast<int>(open.size());
        e.local = colon == std::string::npos ? t.name : t.name.substr(colon + 1);
        if (scope.count(prefix) == 0 && !prefix.empty())
            throw std::runtime_error("undeclared prefix " + prefix);
        e.uri = scope[prefix];
        if (!open.empty()) out[open.back()].leaf = false;
        out.push_back(e);
        text.clear();
        if (!t.empty) {
            open.push_back(out.size() - 1);
            scopes.push_back(scope);
        }
    }
    if (!open.empty()) throw std::runtime_error("unclosed element");
    return out;
}

std::set<std::string> declaredNamespaces(const std::string& xml) {
    std::set<std::string> uris;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at)) {
        if (xml[at + 1] == '!' || xml[at + 1] == '?') {
            skipSpecial(xml, at);
            continue;
        }
        for (const auto& a : readTag(xml, at).attrs) {
            if (a.first == "xmlns" || a.first.compare(0, 6, "xmlns:") == 0) uris.insert(a.second);
        }
    }
    return uris;
}

Message messageOf(const std::string& envelope) {
    static const char* kEnv = "http://schemas.xmlsoap.org/soap/envelope/";
    const std::map<std::string, std::string> prefixes = {
        {crm::ns::h, "h"},     {crm::ns::ui, "ui"},   {crm::ns::bns, "bns"},
        {crm::ns::ord, "ord"}, {crm::ns::loy, "loy"}, {crm::ns::que, "que"},
        {crm::ns::tns, "tns"}, {crm::ns::ns1, "ns1"}, {kEnv, "SOAP-ENV"}};
    Message m;
    std::vector<std::string>* part = nullptr;
    int base = 0;
    for (const XmlElement& e : xmlElements(envelope)) {
        if (e.depth == 1 && e.uri == kEnv) {
            part = e.local == "Header" ? &m.header : e.local == "Body" ? &m.body : nullptr;
            base = 2;
            continue;
        }
        if (part == nullptr || e.depth < base) continue;
        auto p = prefixes.find(e.uri);
        std::string line(static_cast<size_t>(2 * (e.depth - base)), ' ');
        line += (p != prefixes.end() ? p->second : "{" + e.uri + "}") + ":" + e.local;
        if (e.leaf) line += "=" + e.text;
        part->push_back(line);
    }
    return m;
}

Simulator::Simulator(const Json::Value& scenario, const Tls* tls,
                     std::vector<std::string> extraArgs)
    : tls_(tls), extraArgs_(std::move(extraArgs)) {
    setScenario(scenario);
    launch(0);
}

Simulator::~Simulator() = default;

void Simulator::launch(int port) {
    remove(dir_.file("port").c_str());
    testsupport::Process::Options o;
    o.args = {testsupport::binaryPath("zelvan-crm-sim"),
              "--port",
              std::to_string(port),
              "--port-file",
              dir_.file("port"),
              "--scenario",
              dir_.file("scenario.json"),
              "--record",
              dir_.file("record.jsonl")};
    if (tls_ != nullptr) {
        o.args.insert(o.args.end(), {"--cert", tls_->cert, "--key", tls_->key});
        if (!tls_->password.empty()) o.args.insert(o.args.end(), {"--password", tls_->password});
    }
    o.args.insert(o.args.end(), extraArgs_.begin(), extraArgs_.end());
    o.stdoutPath = dir_.file("sim.out");
    o.stderrPath = dir_.file("sim.err");
    process_ = std::make_unique<testsupport::Process>(o);
    const bool up = testsupport::waitUntil(
        [&] { return !testsupport::readFile(dir_.file("port")).empty() || !process_->running(); },
        Millis(10000));
    const std::string text = testsupport::readFile(dir_.file("port"));
    if (!up || text.empty()) {
        throw std::runtime_error("zelvan-crm-sim did not start: " +
                                 testsupport::readFile(dir_.file("sim.err")));
    }
    port_ = std::stoi(text);
}

void Simulator::setScenario(const Json::Value& scenario) {
    const std::string tmp = dir_.file("scenario.json.new" + std::to_string(++scenarioVersion_));
    testsupport::writeFile(tmp, JsonOut(scenario, true));
    if (rename(tmp.c_str(), dir_.file("scenario.json").c_str()) != 0)
        throw std::runtime_error("cannot replace the scenario file");
}

void Simulator::stop() {
    if (!process_) return;
    process_->signal(SIGTERM);
    process_->wait(Millis(10000));
    process_.reset();
}

void Simulator::restart() {
    stop();
    launch(port_);
}

std::string Simulator::endpoint() const {
    return std::string(tls_ != nullptr ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(port_) + "/crm";
}

std::vector<Json::Value> Simulator::records() const {
    std::vector<Json::Value> out;
    for (const std::string& line : testsupport::readLines(dir_.file("record.jsonl"))) {
        Json::Value v;
        if (parseJsonRequest(line, v)) out.push_back(v);
    }
    return out;
}

std::vector<Json::Value> Simulator::waitRecords(size_t n) const {
    testsupport::waitUntil([&] { return records().size() >= n; }, Millis(10000));
    return records();
}

ReplyCapture::ReplyCapture(struct soap* ctx) : ctx_(ctx), recv_(ctx->frecv) {
    ctx->user = this;
    ctx->frecv = receive;
}

ReplyCapture::~ReplyCapture() {
    ctx_->frecv = recv_;
    ctx_->user = nullptr;
}

size_t ReplyCapture::receive(struct soap* ctx, char* buf, size_t len) {
    auto* self = static_cast<ReplyCapture*>(ctx->user);
    const size_t n = self->recv_(ctx, buf, len);
    self->bytes_.append(buf, n);
    return n;
}

std::string ReplyCapture::body() const {
    const size_t last = bytes_.rfind("HTTP/1.");
    const size_t at = bytes_.find("\r\n\r\n", last == std::string::npos ? 0 : last);
    return at == std::string::npos ? "" : bytes_.substr(at + 4);
}

crm::SoapPtr clientContext(int recvTimeout) {
    crm::SoapPtr ctx = crm::newContext();
    ctx->connect_timeout = 5;
    ctx->send_timeout = 10;
    ctx->recv_timeout = recvTimeout;
    return ctx;
}

int call(struct soap* ctx, const std::string& ep, conn::ConnectionCheckInput& in,
         conn::ConnectionCheckOutput& out) {
    conn::ConnectionCheckProxy proxy(ctx);
    return proxy.ConnectionCheck(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, card::GetInfoInput& in,
         card::GetInfoOutput& out) {
    card::CardInfoProxy proxy(ctx);
    return proxy.GetInfo(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, order::ProcOrderInput& in,
         order::ProcOrderOutput& out) {
    order::OrderProxy proxy(ctx);
    return proxy.ProcOrder(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, storn::OrderStornoInput& in,
         storn::OrderStornoOutput& out) {
    storn::OrderStornoProxy proxy(ctx);
    return proxy.OrderStorno(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, batch::BatchOrderSyncInput& in,
         batch::BatchOrderSyncOutput& out) {
    batch::BatchOrderSyncProxy proxy(ctx);
    return proxy.BatchOrderSync(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, hold::HoldPointsInput& in,
         hold::PointsOutput& out) {
    hold::HoldPointsProxy proxy(ctx);
    return proxy.HoldPoints(ep.c_str(), nullptr, &in, out);
}
int call(struct soap* ctx, const std::string& ep, hold::UnholdPointsInput& in,
         hold::PointsOutput& out) {
    hold::HoldPointsProxy proxy(ctx);
    return proxy.UnholdPoints(ep.c_str(), nullptr, &in, out);
}

int connectionCheck(struct soap* ctx, const std::string& endpoint) {
    conn::ConnectionCheckInput in;
    conn::ConnectionCheckOutput out;
    return call(ctx, endpoint, in, out);
}

int connectionCheck(const std::string& endpoint, int recvTimeout) {
    return connectionCheck(clientContext(recvTimeout).get(), endpoint);
}

Json::Value json(const std::string& text) {
    Json::Value v;
    if (!parseJsonRequest(text, v)) throw std::runtime_error("bad test JSON: " + text);
    return v;
}

}  // namespace soaptest

namespace soaptest {

namespace {

void openssl(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec openssl \"$@\"", dir};
    argv.insert(argv.end(), args.begin(), args.end());
    const testsupport::RunResult r = testsupport::run(argv, "", {}, testsupport::Millis(60000));
    if (r.status != 0) throw std::runtime_error("openssl " + args.at(0) + " failed: " + r.err);
}

// A self-signed CA named `name` in dir: name.pem, name.key.
void makeCa(const std::string& dir, const std::string& name) {
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", name + ".key", "-out", name + ".pem", "-days", "2", "-subj", "/CN=" + name},
            dir);
}

}  // namespace

TestCertificates::TestCertificates() {
    const std::string d = dir_.path();
    makeCa(d, "test-ca");
    makeCa(d, "other-ca");
    dir_.write("san.cnf", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-keyout",
             "server.key", "-passout", "pass:sim-secret", "-out", "server.csr", "-subj",
             "/CN=zelvan-crm-sim"},
            d);
    openssl({"x509", "-req", "-in", "server.csr", "-CA", "test-ca.pem", "-CAkey", "test-ca.key",
             "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.cnf"},
            d);
    tls_ = Simulator::Tls{dir_.file("server.pem"), dir_.file("server.key"), "sim-secret"};
}

}  // namespace soaptest
