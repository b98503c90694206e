// The gateway fixture of the runner's end-to-end tests.
#include "tests/runner/gateway.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <stdexcept>

#include "common/json_util.h"
#include "storage/sqlite_handle.h"

namespace gatewaytest {

namespace {

// The log line of every session that has started.
const std::string kSessionStarted = "Online State  : [";

}  // namespace

Json::Value json(const std::string& text) {
    Json::Value v;
    if (!parseJsonRequest(text, v)) throw std::runtime_error("bad test JSON: " + text);
    return v;
}

void expectMembers(const Json::Value& expected, const Json::Value& actual) {
    for (const std::string& key : expected.getMemberNames()) {
        if (expected[key].isNull())
            EXPECT_FALSE(actual.isMember(key)) << key << " in " << actual;
        else
            EXPECT_EQ(expected[key], actual[key]) << key << " in " << actual;
    }
}

Gateway::Gateway(const Json::Value& scenario, const std::string& members,
                 const soaptest::Simulator::Tls* tls,
                 const std::function<void(const std::string&)>& prepareJournal)
    : sim_(std::make_unique<soaptest::Simulator>(scenario, tls)) {
    testsupport::ServerSpec spec;
    spec.members = "\"PmtJsonRootName\": \"AZS\", \"ConnectionString\": \"" + sim_->endpoint() +
                   "\"" + (members.empty() ? "" : ", " + members);
    if (prepareJournal)
        spec.prepare = [&](const testsupport::TempDir& dir) {
            prepareJournal(dir.file("zelvan.db3"));
        };
    server_ = std::make_unique<testsupport::ServerProcess>(spec);
    const unsigned short port = server_->port();
    if (port == 0 || !pos_.connect(port))
        throw std::runtime_error("zelvan-server did not start: " + server_->out() + server_->err());
    // The POS connection's session has started (openSessions counts on it).
    testsupport::waitUntil([&] { return server_->countInOut(kSessionStarted) >= 1; });
    waitForWorkerStartUp();
}

// The start-up run sends the offline batch and the queued tasks only while
// the network flag is set, which the session's first line shows; it then
// always ends its offline cycle with the same line.
void Gateway::waitForWorkerStartUp() {
    static const std::string started =
        "[SYNC PROC] Процесс проверки offline данных в Background : ";
    static const std::regex session(R"(Online State  : \[(ONLINE|OFFLINE)\]\[([01])\])");
    static const std::string off = started + "Отключен";
    static const std::string offlineEnd = "Завершение проверки offline данных синхронизации";
    bool done = false;
    testsupport::waitUntil(
        [&] {
            std::optional<bool> network;  // from the session's first line
            bool disabled = false, ended = false;
            for (const std::string& m : log()) {
                std::smatch match;
                if (testsupport::isWorkerLine(m) && m.size() >= off.size() &&
                    m.compare(m.size() - off.size(), off.size(), off) == 0) {
                    disabled = true;
                } else if (!network && std::regex_match(m, match, session)) {
                    network = match[2] == "1";
                } else if (m == offlineEnd) {
                    ended = true;
                }
            }
            done = disabled || (network && (!*network || ended));
            return done;
        },
        10000ms);
    if (!done) throw std::runtime_error("the background worker did not start: " + server_->out());
}

std::string Gateway::sendRaw(const std::string& commands, Millis timeout) {
    pos_.send("{\"AZS\": {" + commands + "}}\n");
    return pos_.readLine(timeout).value_or("");
}

Json::Value Gateway::send(const std::string& commands, int replies, Millis timeout) {
    pos_.send("{\"AZS\": {" + commands + "}}\n");
    std::string line;
    for (int i = 0; i < replies; i++) line = pos_.readLine(timeout).value_or("");
    Json::Value reply;
    if (line.empty() || !parseJsonRequest(line, reply)) return Json::Value();
    return reply["AZS"];
}

std::vector<std::unique_ptr<testsupport::TcpClient>> Gateway::openSessions(size_t count,
                                                                           Millis timeout) {
    const size_t before = server_->countInOut(kSessionStarted);
    std::vector<std::unique_ptr<testsupport::TcpClient>> clients;
    for (size_t i = 0; i < count; i++) {
        clients.push_back(std::make_unique<testsupport::TcpClient>());
        if (!clients.back()->connect(server_->port(), 10000ms))
            throw std::runtime_error("connection " + std::to_string(i) + " was not accepted");
    }
    if (!testsupport::waitUntil(
            [&] { return server_->countInOut(kSessionStarted) >= before + count; }, timeout))
        throw std::runtime_error("the server did not start every session");
    return clients;
}

std::vector<Json::Value> Gateway::records(const std::string& operation) const {
    std::vector<Json::Value> out;
    for (const Json::Value& r : sim_->records())
        if (r["operation"].asString() == operation) out.push_back(r);
    return out;
}

std::vector<std::string> Gateway::log() const {
    return testsupport::logMessages(server_->out());
}

}  // namespace gatewaytest

namespace gatewaytest {

std::vector<storage::Row> Gateway::journal(const std::string& sql) const {
    storage::Connection conn;
    if (conn.open(journalPath(), SQLITE_OPEN_READONLY) != SQLITE_OK)
        throw std::runtime_error("cannot open the journal " + journalPath());
    storage::Statement stmt(conn, sql);
    if (!stmt.ok()) throw std::runtime_error(sql + ": " + conn.errmsg());
    std::vector<storage::Row> rows;
    stmt.forEachRow([&rows](const storage::Row& r) { rows.push_back(r); });
    return rows;
}

}  // namespace gatewaytest

namespace gatewaytest {

std::string col(const storage::Row& row, const std::string& name) {
    const std::string* v = storage::column(row, name);
    return v != nullptr ? *v : "<null>";
}

}  // namespace gatewaytest
