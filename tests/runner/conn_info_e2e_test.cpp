// "Connect" through the real server and the CRM simulator: the answers for
// the CRM's codes, faults and absence, retries, and the session token rules.
#include <gtest/gtest.h>

#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

Json::Value connectReply(const std::string& reply) {
    return json(R"({"Connection_Check": {"reply": )" + reply + "}}");
}

}  // namespace

TEST(Connect, AnswersTheCrmsCodeAndMessage) {
    const struct {
        const char* reply;
        const char* expected;
        const char* onlineState;
    } cases[] = {
        {R"({"body": {"ErrorCode": "0", "ErrorMessage": "ignored"}})",
         R"({"err": "0", "errMsg": "Успешное выполнение операции"})", "[ONLINE][1]"},
        {R"({"body": {"ErrorCode": "5", "ErrorMessage": "It's closed"}})",
         R"({"err": "0", "errMsg": "It s closed", "Offline": "1"})", "[OFFLINE][1]"},
        {R"({"body": {}})", R"({"err": "0", "errMsg": ""})", "[ONLINE][1]"},
        {R"({"body": {"ErrorCode": "abc"}})",
         R"({"err": "0", "errMsg": "Успешное выполнение операции"})", "[ONLINE][1]"},
        {R"({"fault": {"string": "Can't serve", "detail": "queue's full"}})",
         R"({"err": "2", "errMsg": "Обслуживание временно ограничено", "Offline": "1",
             "zvnErrMsg": "Can t serve", "zvnErrInfo": "queue s full"})",
         "[OFFLINE][0]"},
    };
    Gateway gw(Json::Value(Json::objectValue), "\"DebugErrInfoEnable\": true, \"RetryCount\": 1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        gw.sim().setScenario(connectReply(c.reply));
        EXPECT_EQ(json(c.expected), gw.send("\"Connect\": {}")["Connect"]);
        // A new session shows the state the check left.
        testsupport::TcpClient other;
        ASSERT_TRUE(other.connect(gw.server().port()));
        EXPECT_TRUE(gw.server().waitForLog(std::string("Online State  : ") + c.onlineState));
        other.close();
        testsupport::writeFile(gw.server().dir().file("out"), "");  // look at new lines only
    }
}

TEST(Connect, FaultDetailIsShownOnlyWithDebugErrInfo) {
    Gateway gw(connectReply(R"({"fault": {"string": "down", "detail": "why"}})"),
               "\"RetryCount\": 1");
    Json::Value r = gw.send("\"Connect\": {}")["Connect"];
    EXPECT_EQ("down", r["zvnErrMsg"].asString());
    EXPECT_FALSE(r.isMember("zvnErrInfo"));
}

TEST(Connect, RetriesAnUnreachableCrmOnceASecondAndAnswersNoConnection) {
    Gateway gw(Json::Value(Json::objectValue), "\"RetryCount\": 3, \"ConnectTimeout\": 2");
    gw.sim().stop();
    auto start = std::chrono::steady_clock::now();
    Json::Value r = gw.send("\"Connect\": {}")["Connect"];
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ("28", r["err"].asString());
    EXPECT_EQ("Нет связи", r["errMsg"].asString());
    EXPECT_EQ("1", r["Offline"].asString());
    EXPECT_GE(took, 2s);  // two pauses of one second
    std::vector<std::string> retries;
    for (const std::string& m : gw.log())
        if (m.rfind("Повторная попытка", 0) == 0) retries.push_back(m);
    EXPECT_EQ((std::vector<std::string>{"Повторная попытка :[2]", "Повторная попытка :[3]"}),
              retries);
}

TEST(Connect, NeverSendsTheSessionTokenAndTakesTheOneItReceives) {
    Gateway gw(json(R"({
        "Get_Info": {"reply": {"header": {"SessionToken": "from-card"}}},
        "Connection_Check": {"sequence": [{"header": {"SessionToken": "from-start-up"}},
                                          {"header": {"SessionToken": "from-connect"}}]}})"),
               "\"UserId\": \"pos\", \"UserPass\": \"secret\"");
    gw.send("\"CardInfo\": {\"CardNum\": \"7001\"}");
    gw.send("\"Connect\": {}");
    gw.send("\"CardInfo\": {\"CardNum\": \"7001\"}");
    auto checks = gw.records("Connection_Check");
    ASSERT_EQ(2u, checks.size());  // start-up and "Connect"
    for (const auto& c : checks)
        EXPECT_EQ(json(R"({"UsernameToken": "pos", "PasswordText": "secret",
                          "SessionType": "Stateless"})"),
                  c["header"]);
    auto cards = gw.records("Get_Info");
    ASSERT_EQ(2u, cards.size());
    // The start-up check's token went with the first card request; the card
    // reply's token was then replaced by the one of the "Connect" check.
    EXPECT_EQ(json(R"({"SessionToken": "from-start-up", "SessionType": "Stateless"})"),
              cards[0]["header"]);
    EXPECT_EQ(json(R"({"SessionToken": "from-connect", "SessionType": "Stateless"})"),
              cards[1]["header"]);
}
