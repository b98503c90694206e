// A gateway under test: zelvan-crm-sim answering in the CRM's place and a
// zelvan-server configured to call it, with the root member "AZS", and a POS
// connection to the server.
#pragma once

#include <json/json.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/row.h"
#include "tests/runner/soap/soap_support.h"
#include "tests/support/server.h"

namespace gatewaytest {

using testsupport::Millis;
using namespace std::chrono_literals;

class Gateway {
  public:
    // `members`: more configuration members (JSON text), e.g.
    // "\"RetryCount\": 1". The server starts once the simulator runs, after
    // `prepareJournal` (when given) was called with the journal's path. The
    // constructor returns when the background worker's start-up run is over,
    // so that what a test puts into the journal afterwards waits for the
    // worker's next run or a command.
    explicit Gateway(const Json::Value& scenario = Json::Value(Json::objectValue),
                     const std::string& members = "", const soaptest::Simulator::Tls* tls = nullptr,
                     const std::function<void(const std::string&)>& prepareJournal = {});

    soaptest::Simulator& sim() { return *sim_; }
    testsupport::ServerProcess& server() { return *server_; }

    // Sends {"AZS": {<commands>}} on the POS connection and returns the
    // root member of the last of `replies` reply lines (null on time-out).
    Json::Value send(const std::string& commands, int replies = 1, Millis timeout = 20000ms);
    // The raw reply line of a request with one command.
    std::string sendRaw(const std::string& commands, Millis timeout = 20000ms);
    // Opens `count` more POS connections and waits until the server has
    // started a session for each (its online-state log line); throws
    // std::runtime_error when it does not in time.
    std::vector<std::unique_ptr<testsupport::TcpClient>> openSessions(size_t count,
                                                                      Millis timeout = 60000ms);
    // The records the simulator holds for one operation.
    std::vector<Json::Value> records(const std::string& operation) const;
    // The server's log messages so far.
    std::vector<std::string> log() const;
    // The journal file, and the rows of a query on it (read-only connection;
    // column names lower-cased, NULL columns absent).
    std::string journalPath() const { return server_->dir().file("zelvan.db3"); }
    std::vector<storage::Row> journal(const std::string& sql) const;

  private:
    void waitForWorkerStartUp();

    std::unique_ptr<soaptest::Simulator> sim_;
    std::unique_ptr<testsupport::ServerProcess> server_;
    testsupport::TcpClient pos_;
};

// Parses JSON test data.
Json::Value json(const std::string& text);

// Every member of `expected` is in `actual` with that value; a null member
// of `expected` must be absent (gtest expectations).
void expectMembers(const Json::Value& expected, const Json::Value& actual);

// A journal row's column; "<null>" when the row has none.
std::string col(const storage::Row& row, const std::string& name);

}  // namespace gatewaytest
