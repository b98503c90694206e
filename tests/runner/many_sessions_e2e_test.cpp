// A thousand POS connections at once on a running gateway: idle sessions
// cost little memory (the request limit is not held per session), a share
// of them sends card requests and unknown commands while the rest stay
// idle, and each active one gets exactly its own answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/runner/gateway.h"

using namespace gatewaytest;
using testsupport::TcpClient;

namespace {

const size_t kSessions = 1000;

}  // namespace

TEST(ManySessions, ServeAShareOfAThousandAndHoldLittleForTheIdleOnes) {
    // Every connection is a descriptor here and one in the server, which
    // inherits the limit.
    if (!testsupport::allowOpenFiles(2 * kSessions + 256))
        GTEST_SKIP() << "the open-file limit is below " << 2 * kSessions + 256;
    Gateway gw(json(R"({"Get_Info": {"reply": {"body": {"ErrorCode": "0",
        "ListOfLOYMembershipCard": {"LoyMembershipCard": [
            {"LOYCardNumber": "7001", "CardStatusCode": "Active"}]}}}}})"),
               "\"RetryCount\": 1");
    const pid_t server = gw.server().process().pid();
    ASSERT_TRUE(gw.send("\"Connect\": {}").isObject());
    const long base = testsupport::residentKiB(server);

    std::vector<std::unique_ptr<TcpClient>> clients = gw.openSessions(kSessions);
    const long idle = testsupport::residentKiB(server);
    printf(
        "gateway resident: %ld KiB without sessions, %ld KiB with %zu idle ones (%ld KiB "
        "each)\n",
        base, idle, kSessions, (idle - base) / static_cast<long>(kSessions));
    if (!testsupport::kSanitizedBuild) {
        EXPECT_LT(idle - base, 100 * 1024);
    }

    // Every tenth session asks for a card (its own telephone number comes
    // back), the one after it sends an unknown command; all of them send before any reads.
    for (size_t i = 0; i < kSessions; i += 10) {
        clients[i]->send("{\"AZS\": {\"CardInfo\": {\"CardNum\": \"7001\", \"TelNo\": \"" +
                         std::to_string(i) + "\"}}}\n");
        clients[i + 1]->send("{\"AZS\": {\"S" + std::to_string(i) + "\": {}}}\n");
    }
    for (size_t i = 0; i < kSessions; i += 10) {
        SCOPED_TRACE(i);
        Json::Value card = json(clients[i]->readLine(60000ms).value_or("null"));
        EXPECT_EQ(0, card["AZS"]["CardInfo"]["err"].asInt());
        EXPECT_EQ("7001", card["AZS"]["CardInfo"]["Cards"][0]["CardNum"].asString());
        EXPECT_EQ(std::to_string(i), card["AZS"]["CardInfo"]["TelNo"].asString());
        EXPECT_EQ("{\"AZS\":{\"S" + std::to_string(i) +
                      "\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}}\n",
                  clients[i + 1]->readLine().value_or("(none)"));
    }
    EXPECT_EQ(kSessions / 10, gw.records("Get_Info").size());
    // The idle ones got nothing.
    for (size_t i = 2; i < kSessions; i += 10) EXPECT_FALSE(clients[i]->readLine(0ms)) << i;

    clients.clear();
    EXPECT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    EXPECT_EQ(0, gw.server().stop());
}
