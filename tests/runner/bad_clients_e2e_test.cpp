// Bad input and bad clients through the real socket of a running gateway:
// text that is not UTF-8, zero bytes, documents nested too deeply, numbers
// out of range and huge strings get their envelope error and reach neither
// the CRM nor the journal; slow, silent and non-reading clients and clients
// that leave in the middle of a request do not keep the others from their
// answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/runner/gateway.h"

using namespace gatewaytest;
using testsupport::TcpClient;

namespace {

const std::string kBadFormat =
    "{\"ERROR\":{\"err\":\"-1\",\"errMsg\":\"Формат запроса задан неверно\"}}\n";

// {"AZS": {"PayBonus": {<params>}}}
std::string payBonus(const std::string& params) {
    return "{\"AZS\": {\"PayBonus\": {\"CardNum\": \"7001000000000001\", " + params + "}}}";
}

std::string nested(const std::string& open, const std::string& close, int depth) {
    std::string s;
    for (int i = 0; i < depth; i++) s += open;
    for (int i = 0; i < depth; i++) s += close;
    return s;
}

// The gateway answers "Connect" for as long as it serves.
void expectServing(Gateway& gw) {
    EXPECT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
}

}  // namespace

TEST(BadInput, GetsItsEnvelopeErrorAndReachesNeitherTheCrmNorTheJournal) {
    const std::string z(1, '\0');
    const struct {
        const char* name;
        std::string request;
    } cases[] = {
        {"byte that is never UTF-8", payBonus("\"Name\": \"caf\xff\"")},
        {"overlong form", payBonus("\"Name\": \"\xc0\xaf\"")},
        {"encoded surrogate", payBonus("\"Name\": \"\xed\xa0\x80\"")},
        {"above U+10FFFF", payBonus("\"Name\": \"\xf4\x90\x80\x80\"")},
        {"sequence cut by the quote", payBonus("\"Name\": \"\xd0\"")},
        {"stray continuation byte", payBonus("\"Name\": \"\x80\"")},
        {"not UTF-8 in a member name", "{\"AZS\": {\"Pay\xe9\x42onus\": {}}}"},
        {"zero byte in a string", payBonus("\"Name\": \"70" + z + "01\"")},
        {"zero byte between tokens", "{\"AZS\":" + z + "{\"PayBonus\": {}}}"},
        {"arrays nested too deeply", payBonus("\"Check\": " + nested("[", "]", 5000))},
        {"objects nested too deeply", payBonus("\"Check\": " + nested("{\"a\":", "}", 5000) + "1")},
        {"number above the double range", payBonus("\"Sum\": 1e999")},
        {"number below the double range", payBonus("\"Sum\": -1e999")},
        {"line count out of range", payBonus("\"Check\": [{\"art\": \"95\", \"cnt\": 1e400}]")},
        {"string past the request limit",
         payBonus("\"Name\": \"" + std::string(600000, 'x') + "\"")},
        {"number past the request limit", payBonus("\"Sum\": " + std::string(600000, '7'))},
    };
    Gateway gw;
    TcpClient pos;
    ASSERT_TRUE(pos.connect(gw.server().port()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pos.send(c.request + "\n");
        EXPECT_EQ(kBadFormat, pos.readLine(20000ms).value_or("(none)"));
        // The session stays open and reads the next request from its start.
        pos.send("{\"AZS\": {\"Next\": {}}}\n");
        EXPECT_EQ("{\"AZS\":{\"Next\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}}\n",
                  pos.readLine().value_or("(none)"));
    }
    for (const Json::Value& r : gw.sim().records())
        EXPECT_EQ("Connection_Check", r["operation"].asString());  // the start-up check only
    EXPECT_TRUE(gw.journal("SELECT ID FROM ALL_OPERATIONS").empty());
    EXPECT_TRUE(gw.journal("SELECT ID FROM OFFLINE").empty());
}

TEST(BadInput, WellFormedUtf8IsNotTakenForIt) {
    Gateway gw;
    TcpClient pos;
    ASSERT_TRUE(pos.connect(gw.server().port()));
    // Cyrillic (two bytes), the euro sign (three), an emoji (four), and an
    // escaped zero character, which is JSON text like any other.
    pos.send("{\"AZS\": {\"Кофе\": {\"a\": \"€ \xf0\x9f\x98\x80 \\u0000\"}}}\n");
    EXPECT_EQ("{\"AZS\":{\"Кофе\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}}\n",
              pos.readLine().value_or("(none)"));
}

TEST(BadClients, DoNotKeepOtherSessionsFromTheirAnswers) {
    Gateway gw(Json::Value(Json::objectValue), "\"RetryCount\": 1");
    const unsigned short port = gw.server().port();
    const long before = testsupport::residentKiB(gw.server().process().pid());
    auto client = [&] {
        auto c = std::make_unique<TcpClient>();
        EXPECT_TRUE(c->connect(port));
        return c;
    };

    auto silent = client();  // connects and never sends a byte

    // A client that never reads: its replies fill the socket buffers until
    // its session waits in a send; it goes on sending for two seconds.
    auto deaf = client();
    std::string flood;
    while (flood.size() < (8u << 20)) flood += "{\"AZS\":{\"Deaf\":{}}}";
    const size_t taken = deaf->sendWithin(flood, 2000ms);
    EXPECT_LT(taken, flood.size());  // the server stopped reading it
    expectServing(gw);

    // Clients that leave in the middle of a request: orderly and with a reset,
    // a short request and a large one.
    const std::string large =
        "{\"AZS\":{\"CardInfo\":{\"CardNum\":\"" + std::string(400000, '7') + "\"}}}";
    for (bool reset : {false, true}) {
        for (const std::string& request :
             {std::string("{\"AZS\":{\"Conn"), large.substr(0, 300000)}) {
            auto leaving = client();
            leaving->send(request);
            reset ? leaving->abort() : leaving->close();
            expectServing(gw);
        }
    }

    // A slow client: one byte at a time, each well within the idle time, with
    // the others served in between; its request is answered once, whole.
    auto slow = client();
    const std::string request = "{\"AZS\": {\"Connect\": {}}}\n";
    for (char c : request) {
        slow->send(std::string(1, c));
        expectServing(gw);
    }
    const std::string answer = slow->readLine(20000ms).value_or("(none)");
    EXPECT_EQ("0", json(answer)["AZS"]["Connect"]["err"].asString()) << answer;

    deaf->abort();  // its waiting session ends with the failed send
    silent->close();
    expectServing(gw);
    const long after = testsupport::residentKiB(gw.server().process().pid());
    printf("gateway resident before the bad clients: %ld KiB, after: %ld KiB\n", before, after);
    if (!testsupport::kSanitizedBuild) {
        EXPECT_LT(after - before, 64 * 1024);
    }
    EXPECT_TRUE(gw.server().process().running());
    EXPECT_EQ(0, gw.server().stop());
}
