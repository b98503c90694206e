// Failures as callers see them (faults, no answer, a stopped or down CRM) and
// the simulator's scripting: reply sequences, scenario changes, SIGHUP,
// keep-alive, several connections at once (bounded) and its command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <memory>

#include "common/json_util.h"
#include "tests/runner/soap/soap_support.h"

using namespace soaptest;
using testsupport::Millis;

namespace {

// The ErrorCode of one connection check on ctx ("" when it failed).
std::string checkCode(struct soap* ctx, const std::string& endpoint, int* rc = nullptr) {
    conn::ConnectionCheckInput in;
    conn::ConnectionCheckOutput out;
    const int r = call(ctx, endpoint, in, out);
    if (rc != nullptr) *rc = r;
    return r == SOAP_OK ? crm::text(out.ErrorCode) : "";
}

Json::Value checkReply(const std::string& reply) {
    Json::Value s(Json::objectValue);
    s["Connection_Check"]["reply"] = json(reply);
    return s;
}

}  // namespace

TEST(CrmFailures, AFaultHasItsOwnCodeAndCarriesStringAndDetail) {
    struct Case {
        const char* code;
        const char* faultcode;
        int rc;
    };
    for (const Case& c : {Case{"Server", "SOAP-ENV:Server", SOAP_SVR_FAULT},
                          Case{"Client", "SOAP-ENV:Client", SOAP_CLI_FAULT}}) {
        SCOPED_TRACE(c.code);
        Simulator sim(checkReply(std::string(R"({"fault": {"code": ")") + c.code +
                                 R"(", "string": "it's broken", "detail": "no card 7001"},
                                 "header": {"SessionToken": "tok-f"}})"));
        crm::SoapPtr ctx = clientContext();
        ReplyCapture capture(ctx.get());
        int rc = 0;
        checkCode(ctx.get(), sim.endpoint(), &rc);
        EXPECT_EQ(c.rc, rc);
        EXPECT_FALSE(crm::noConnection(rc));
        EXPECT_EQ("it's broken", crm::faultString(ctx.get()));
        EXPECT_EQ("no card 7001", crm::faultDetail(ctx.get()));
        EXPECT_EQ(std::optional<std::string>("tok-f"), crm::replyToken(ctx.get()));
        EXPECT_NE(std::string::npos, capture.body().find(c.faultcode));
    }
}

TEST(CrmFailures, NoAnswerMeansNoConnection) {
    struct Case {
        const char* name;
        const char* scenario;
        size_t recorded;  // requests the simulator saw
    };
    const Case cases[] = {
        {"answer delayed past the receive time-out",
         R"({"Connection_Check": {"reply": {"delayMs": 4000}}})", 1},
        {"connection dropped without an answer",
         R"({"Connection_Check": {"reply": {"drop": true}}})", 1},
        {"the down switch", R"({"down": true})", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator sim(json(c.scenario));
        const int rc = connectionCheck(sim.endpoint(), 1);
        EXPECT_TRUE(crm::noConnection(rc)) << rc;
        EXPECT_EQ(c.recorded, sim.waitRecords(c.recorded).size());
    }
}

TEST(CrmFailures, AStoppedSimulatorRefusesAndARestartOnTheSamePortAnswers) {
    Simulator sim;
    ASSERT_EQ(SOAP_OK, connectionCheck(sim.endpoint()));
    const int port = sim.port();
    sim.stop();
    EXPECT_EQ(SOAP_TCP_ERROR, connectionCheck(sim.endpoint()));
    sim.restart();
    EXPECT_EQ(port, sim.port());
    EXPECT_EQ(SOAP_OK, connectionCheck(sim.endpoint()));
}

TEST(CrmFailures, TheCrmGoesDownAndComesBackOnOneKeepAliveContext) {
    Simulator sim;
    crm::SoapPtr ctx = clientContext(2);
    EXPECT_EQ("0", checkCode(ctx.get(), sim.endpoint()));
    sim.setScenario(json(R"({"down": true})"));
    int rc = 0;
    checkCode(ctx.get(), sim.endpoint(), &rc);
    EXPECT_TRUE(crm::noConnection(rc)) << rc;
    sim.setScenario(json(R"({"down": false, "Connection_Check": {"reply": {"body":
                            {"ErrorCode": "0", "ErrorMessage": "back"}}}})"));
    conn::ConnectionCheckInput in;
    conn::ConnectionCheckOutput out;
    ASSERT_EQ(SOAP_OK, call(ctx.get(), sim.endpoint(), in, out));
    EXPECT_EQ("back", crm::text(out.ErrorMessage));
}

TEST(CrmScenario, ASequenceAnswersInOrderThenTheReplyAgain) {
    Simulator sim(json(R"({"Connection_Check": {
        "sequence": [{"body": {"ErrorCode": "1"}}, {"fault": {"string": "f"}},
                     {"body": {"ErrorCode": "3"}}],
        "reply": {"body": {"ErrorCode": "9"}}}})"));
    crm::SoapPtr ctx = clientContext();
    std::vector<std::string> seen;
    for (int i = 0; i < 5; i++) {
        int rc = 0;
        const std::string code = checkCode(ctx.get(), sim.endpoint(), &rc);
        seen.push_back(rc == SOAP_OK ? code : "fault " + crm::faultString(ctx.get()));
    }
    EXPECT_EQ((std::vector<std::string>{"1", "fault f", "3", "9", "9"}), seen);
}

TEST(CrmScenario, AChangedScenarioTakesEffectOnTheNextRequestAndRestartsItsSequences) {
    Simulator sim(json(R"({"Connection_Check": {"sequence": [{"body": {"ErrorCode": "1"}}]}})"));
    crm::SoapPtr ctx = clientContext();
    EXPECT_EQ("1", checkCode(ctx.get(), sim.endpoint()));
    EXPECT_EQ("0", checkCode(ctx.get(), sim.endpoint()));
    sim.setScenario(json(R"({"Connection_Check": {"sequence": [{"body": {"ErrorCode": "2"}}],
                             "reply": {"body": {"ErrorCode": "5"}}}})"));
    EXPECT_EQ("2", checkCode(ctx.get(), sim.endpoint()));
    EXPECT_EQ("5", checkCode(ctx.get(), sim.endpoint()));
    const std::vector<Json::Value> records = sim.waitRecords(4);
    EXPECT_EQ(records.front()["connection"], records.back()["connection"]);  // one keep-alive
}

TEST(CrmScenario, HangUpRereadsAScenarioWhoseChangeCannotBeSeen) {
    Simulator sim(checkReply(R"({"body": {"ErrorCode": "1"}})"));
    const std::string path = sim.dir().file("scenario.json");
    struct stat before {};
    ASSERT_EQ(0, stat(path.c_str(), &before));
    // Same file, same size and modification time: only SIGHUP reveals it.
    std::string text = testsupport::readFile(path);
    const size_t at = text.find("\"1\"");
    ASSERT_NE(std::string::npos, at);
    text[at + 1] = '7';
    testsupport::writeFile(path, text);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
    EXPECT_EQ("1", checkCode(clientContext().get(), sim.endpoint()));
    kill(sim.pid(), SIGHUP);
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return checkCode(clientContext().get(), sim.endpoint()) == "7"; }, Millis(5000)));
}

// A connection whose request is still arriving keeps its thread busy.
void startRequest(testsupport::TcpClient& client, int port) {
    ASSERT_TRUE(client.connect(static_cast<unsigned short>(port)));
    client.send(
        "POST /crm HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n"
        "Content-Length: 1000\r\n\r\n<?xml version=\"1.0\"?>");
}

TEST(CrmSimulator, ServesAnotherConnectionWhileOneIsBusy) {
    Simulator sim;
    testsupport::TcpClient busy;
    startRequest(busy, sim.port());
    EXPECT_EQ(SOAP_OK, connectionCheck(sim.endpoint()));
    EXPECT_EQ(SOAP_OK, connectionCheck(sim.endpoint()));
    const std::vector<Json::Value> records = sim.waitRecords(2);
    EXPECT_NE(records[0]["connection"], records[1]["connection"]);
}

TEST(CrmSimulator, AConnectionBeyondTheLimitWaitsUntilOneIsFree) {
    Simulator sim(Json::Value(Json::objectValue), nullptr, {"--max-connections", "1"});
    auto busy = std::make_unique<testsupport::TcpClient>();
    startRequest(*busy, sim.port());
    EXPECT_TRUE(crm::noConnection(connectionCheck(sim.endpoint(), 1)));  // not served
    busy.reset();
    EXPECT_EQ(SOAP_OK, connectionCheck(sim.endpoint()));
}

TEST(CrmSimulator, CommandLineHasHelpAndRefusesBadOptions) {
    const std::string sim = testsupport::binaryPath("zelvan-crm-sim");
    const testsupport::RunResult help = testsupport::run({sim, "--help"});
    EXPECT_EQ(0, help.status);
    for (const char* option : {"--port", "--port-file", "--scenario", "--record", "--cert", "--key",
                               "--password", "--max-connections"}) {
        EXPECT_NE(std::string::npos, help.out.find(option)) << option;
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{sim, "--bogus"},
                                                {sim, "--port", "70000"},
                                                {sim, "extra"},
                                                {sim, "--key", "k.pem"}}) {
        const testsupport::RunResult r = testsupport::run(bad);
        EXPECT_EQ(2, r.status) << bad.back();
        EXPECT_NE(std::string::npos, r.err.find("zelvan-crm-sim: ")) << r.err;
    }
}
