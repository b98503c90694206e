// Client sessions of a running zelvan-server: the envelope and its errors,
// the order of commands, "End", framing of split and joined requests, the
// request size limit, and the session's log lines.
#include <gtest/gtest.h>
#include <json/json.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

const std::string kBadFormat =
    "{\"ERROR\":{\"err\":\"-1\",\"errMsg\":\"Формат запроса задан неверно\"}}\n";
const std::string kNoRoot =
    "{\"ERROR\":{\"err\":\"-2\",\"errMsg\":\"Нет определения платежной системы в запросе\"}}\n";
const std::string kUnknown = "{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}";
const char kRoot[] = "\"PmtJsonRootName\": \"AZS\"";
const char kNoRootCheck[] = "\"CheckPmtJsonRoot\": false";

// {"AZS":{<members>}} as the server writes it.
std::string wrapped(const std::string& members) {
    return "{\"AZS\":{" + members + "}}\n";
}
std::string unknownMember(const std::string& name) {
    return "\"" + name + "\":" + kUnknown;
}
std::string chomp(std::string s) {
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

// A running server with the given extra configuration members and one
// connected client.
class Session : public ::testing::Test {
  protected:
    void start(const std::string& members) {
        members_ = members;
        ServerSpec spec;
        spec.members = members;
        server_ = std::make_unique<ServerProcess>(spec);
        port_ = server_->port();
        ASSERT_NE(0, port_);
        ASSERT_TRUE(client_.connect(port_));
    }
    // Sends a request and checks that exactly the given replies come back
    // (and nothing else before the answer to a follow-up request).
    void expectReplies(const std::string& request, const std::vector<std::string>& replies) {
        client_.send(request);
        for (const std::string& r : replies) EXPECT_EQ(r, client_.readLine().value_or("(none)"));
        if (members_ == kNoRootCheck) {
            client_.send("{\"Next\":{}}");
            EXPECT_EQ("{" + unknownMember("Next") + "}\n", client_.readLine().value_or("(none)"));
        } else {
            client_.send("{\"AZS\":{\"Next\":{}}}");
            EXPECT_EQ(members_ == kRoot ? wrapped(unknownMember("Next")) : kNoRoot,
                      client_.readLine().value_or("(none)"));
        }
    }

    std::string members_;
    std::unique_ptr<ServerProcess> server_;
    unsigned short port_ = 0;
    TcpClient client_;
};

TEST_F(Session, AnswersEnvelopeErrorsAndStaysOpen) {
    const struct {
        const char* members;
        std::string request;
        std::string reply;
    } cases[] = {
        {kRoot, "hello\n", kBadFormat},
        {kRoot, "[1, 2]\n", kBadFormat},
        {kRoot, "5\n", kBadFormat},
        {kRoot, "\"text\"", kBadFormat},
        {kRoot, "{\"AZS\": 5}", kBadFormat},
        {kRoot, "{\"AZS\": [{\"Connect\": {}}]}", kBadFormat},
        {kRoot, std::string(2000, '[') + std::string(2000, ']'), kBadFormat},
        {kRoot, "{\"POS\": {\"Connect\": {}}}", kNoRoot},
        {"", "{\"Connect\": {}}", kNoRoot},
        {"", "{\"\": {\"Connect\": {}}}", kNoRoot},
        {kRoot, "{\"AZS\": {\"Bogus\": {}}}", wrapped(unknownMember("Bogus"))},
        {kRoot, "{\"AZS\": {\"connect\": {}}}", wrapped(unknownMember("connect"))},
        {kNoRootCheck, "{\"Bogus\": 1}", "{" + unknownMember("Bogus") + "}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 40));
        start(c.members);
        expectReplies(c.request, {c.reply});
    }
}

TEST_F(Session, HandlesCommandsInAscendingNameOrderWithOneReplyEach) {
    start(kRoot);
    expectReplies("{\"AZS\": {\"Zeta\": {}, \"Alpha\": {\"x\": 1}}, \"Other\": 1}",
                  {wrapped(unknownMember("Alpha")),
                   wrapped(unknownMember("Alpha") + "," + unknownMember("Zeta"))});
}

TEST_F(Session, LogsEachCommandsTitleThenTheRequestOnce) {
    start(kRoot);
    const std::vector<std::string> names = {"CardInfo",   "Connect",  "Flush",     "HoldBonus",
                                            "HoldReturn", "PayBonus", "PayReturn", "SyncTask",
                                            "Undo",       "Zzz"};
    const std::vector<std::string> titles = {
        "Запрос на получение информации по карте",
        "Запрос проверки соединения с сервером ZelvanCRM",
        "Запрос на синхронизацию offline транзакций",
        "Запрос холдирования бонусов",
        "Запрос на отмену холдирования бонусов",
        "Запрос на cписание/начисление бонусов",
        "Запрос на сторнирование покупки",
        "Запрос на добавление задания синхронизации данных",
        "Запрос на отмену операции",
        "Получен неизвестный запрос",
    };
    std::string request = "{\"AZS\":{";
    for (size_t i = names.size(); i-- > 0;) request += "\"" + names[i] + "\":{}" + (i ? "," : "");
    request += "}}";
    client_.send(request);
    for (size_t i = 0; i < names.size(); i++) {
        // Reply i holds the members of the first i + 1 commands.
        Json::Value reply;
        ASSERT_TRUE(Json::Reader().parse(client_.readLine(20000ms).value_or(""), reply));
        ASSERT_EQ(i + 1, reply["AZS"].size());
        EXPECT_TRUE(reply["AZS"][names[i]].isMember("err")) << names[i];
    }
    ASSERT_TRUE(server_->waitForLog(titles.back()));
    std::vector<std::string> logged;
    for (const std::string& m : logMessages(server_->out())) {
        if (std::find(titles.begin(), titles.end(), m) != titles.end() ||
            m.find(" => ") != std::string::npos)
            logged.push_back(m.find(" => ") != std::string::npos ? "request" : m);
    }
    std::vector<std::string> expected = titles;
    expected.insert(expected.begin() + 1, "request");
    EXPECT_EQ(expected, logged);
}

TEST_F(Session, EndsWithoutAReplyAndLeavesLaterCommandsUnhandled) {
    const struct {
        const char* members;
        std::string request;
        std::vector<std::string> replies;
    } cases[] = {
        {kNoRootCheck, "{\"End\": {}, \"Zzz\": {}}", {}},
        {kRoot,
         "{\"AZS\": {\"Alpha\": {}, \"End\": {}, \"Zeta\": {}}}{\"AZS\": {\"Beta\": {}}}",
         {wrapped(unknownMember("Alpha"))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        start(c.members);
        client_.send(c.request);
        for (const std::string& r : c.replies) EXPECT_EQ(r, client_.readLine().value_or(""));
        EXPECT_TRUE(client_.waitClosed());
        EXPECT_EQ("", client_.pending());
        ASSERT_TRUE(server_->waitForLog("Инициализирована команда на закрытие сессии"));
        auto messages = logMessages(server_->out());
        EXPECT_EQ(c.replies.size(),
                  std::count(messages.begin(), messages.end(), "Получен неизвестный запрос"));
    }
}

TEST_F(Session, KeepsServingOthersWhenAClientLeavesWithoutEnd) {
    start(kRoot);
    TcpClient other;
    ASSERT_TRUE(other.connect(port_));
    client_.send("{\"AZS\":{\"A\":{}}}");
    EXPECT_EQ(wrapped(unknownMember("A")), client_.readLine().value_or(""));
    client_.close();
    other.send("{\"AZS\":{\"B\":{}}}");
    EXPECT_EQ(wrapped(unknownMember("B")), other.readLine().value_or(""));
    TcpClient later;
    ASSERT_TRUE(later.connect(port_));
    later.send("{\"AZS\":{\"C\":{}}}");
    EXPECT_EQ(wrapped(unknownMember("C")), later.readLine().value_or(""));
}

TEST_F(Session, AnswersASplitRequestOnce) {
    start(kRoot);
    client_.send("{\"AZS\": {\"Al");
    std::this_thread::sleep_for(200ms);  // lets the first part arrive on its own
    expectReplies("pha\": {}}}\n", {wrapped(unknownMember("Alpha"))});
}

TEST_F(Session, AnswersEveryRequestThatArrivesTogether) {
    start(kRoot);
    expectReplies("{\"AZS\":{\"A\":{}}}\n{\"AZS\":{\"B\":{}}} junk\n[]{\"AZS\":{\"C\":{}}}",
                  {wrapped(unknownMember("A")), wrapped(unknownMember("B")), kBadFormat, kBadFormat,
                   wrapped(unknownMember("C"))});
}

TEST_F(Session, AnswersAnUnfinishedRequestAsMalformedWhenTheClientGoesQuiet) {
    start(kRoot);
    client_.send("{\"AZS\": {\"Alpha\"");
    EXPECT_EQ(kBadFormat, client_.readLine(10000ms).value_or(""));
    expectReplies("{\"AZS\":{\"B\":{}}}", {wrapped(unknownMember("B"))});
}

TEST_F(Session, AnswersWhatAHalfClosedClientSentLast) {
    start(kRoot);
    client_.send("{\"AZS\":{\"A\":{}}} 5");
    client_.shutdownWrite();
    EXPECT_EQ(wrapped(unknownMember("A")), client_.readLine().value_or(""));
    EXPECT_EQ(kBadFormat, client_.readLine().value_or(""));
    EXPECT_TRUE(client_.waitClosed());
}

TEST_F(Session, LimitsARequestTo512KiB) {
    const size_t limit = 524288;
    const struct {
        size_t size;
        bool fits;
    } cases[] = {{limit, true}, {limit + 1, false}, {3 * limit, false}};
    start(kRoot);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        // {"AZS":{"A":"xxx…"}} of exactly c.size bytes
        std::string request = "{\"AZS\":{\"A\":\"" + std::string(c.size - 16, 'x') + "\"}}";
        ASSERT_EQ(c.size, request.size());
        expectReplies(request, {c.fits ? wrapped(unknownMember("A")) : kBadFormat});
    }
}

TEST_F(Session, LogsItsStartRequestsAndRepliesWithTheThreadPrefix) {
    start(kRoot);
    client_.send("{\"AZS\":{\"A\":{}}}\n");
    ASSERT_TRUE(client_.readLine());
    client_.send("oops\n");
    ASSERT_TRUE(client_.readLine());
    // The reply line is logged just after the reply has been sent.
    std::vector<std::string> messages;
    ASSERT_TRUE(waitUntil([&] {
        return (messages = withoutRunnerStartup(logMessages(server_->out()))).size() >= 10;
    }));
    std::vector<std::string> session(messages.begin() + 3, messages.end());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        session[0], m, std::regex(R"(Подключение клиента 127\.0\.0\.1:\d+ в потоке (\d+))")))
        << session[0];
    const std::string prefix = "[" + m[1].str() + "] : ";
    EXPECT_TRUE(
        std::regex_match(session[1], std::regex(R"(Online State  : \[(ONLINE|OFFLINE)\]\[[01]\])")))
        << session[1];
    EXPECT_EQ((std::vector<std::string>{
                  "Получен неизвестный запрос",
                  prefix + " => {\"AZS\":{\"A\":{}}}",
                  prefix + " <= " + chomp(wrapped(unknownMember("A"))),
                  prefix + " => oops",
                  prefix + " <= " + chomp(kBadFormat),
              }),
              std::vector<std::string>(session.begin() + 2, session.end()));
}

}  // namespace
