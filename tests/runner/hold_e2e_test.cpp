// "HoldBonus" and "HoldReturn" through the real server and the CRM simulator:
// the Hold_Points and Unhold_Points requests (a release built from the hold
// the runner still holds), the CRM's codes of both, the CRM unreachable,
// offline mode, the execution state a following purchase sees, and requests
// refused before anything is sent. Neither command is journalled.
#include <gtest/gtest.h>

#include <ctime>
#include <iterator>
#include <regex>

#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

// Short time-outs and one attempt, so that failures are answered quickly.
const char* const kQuick = R"("RetryCount": 1, "ConnectTimeout": 1, "SendRecvTimeout": 2)";

const std::string kNoLinkInfo =
    "Извините за временные неудобства: у нас не работает связь. Бонусы за покупку будут "
    "начислены Вам в ближайшее время";
const std::string kLaterInfo =
    "Извините за временные неудобства: Бонусы за покупку будут начислены Вам в ближайшее время";
const std::string kCabinet = "Бонусы за покупку можно узнать в личном кабинете";

Json::Value reply(const std::string& operation, const std::string& answer) {
    return json("{\"" + operation + "\": {\"reply\": " + answer + "}}");
}

Json::Value command(Gateway& gw, const std::string& name, const std::string& request) {
    return gw.send("\"" + name + "\": " + request)[name];
}
Json::Value holdBonus(Gateway& gw, const std::string& request) {
    return command(gw, "HoldBonus", request);
}
Json::Value holdReturn(Gateway& gw, const std::string& request) {
    return command(gw, "HoldReturn", request);
}

// The element lines of the last message the simulator received for an
// operation.
std::vector<std::string> lastBody(Gateway& gw, const std::string& operation) {
    auto sent = gw.records(operation);
    if (sent.empty()) return {};
    return soaptest::messageOf(sent.back()["xml"].asString()).body;
}

// The Unhold_Points request of a card, order, source system and station.
std::vector<std::string> release(const std::string& card, const std::string& order,
                                 const std::string& station) {
    return {"ui:Unhold_Points_Input", "  ui:LOYCardNumber=" + card, "  ui:OrderNumber=" + order,
            "  ui:SourceSystem=VURIV", "  ui:GasStationId=" + station};
}

// Whether `text` is the UTC time "%m/%d/%Y %H:%M:%S" of a second in [from, to].
bool utcWithin(const std::string& text, time_t from, time_t to) {
    for (time_t t = from; t <= to; t++) {
        char buf[32];
        struct tm tmv {};
        gmtime_r(&t, &tmv);
        strftime(buf, sizeof buf, "%m/%d/%Y %H:%M:%S", &tmv);
        if (text == buf) return true;
    }
    return false;
}

bool loggedStartingWith(Gateway& gw, const std::string& prefix) {
    auto log = gw.log();
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& m) { return m.rfind(prefix, 0) == 0; });
}

void expectNothingJournalled(Gateway& gw) {
    EXPECT_TRUE(gw.journal("SELECT ID FROM ALL_OPERATIONS").empty());
    EXPECT_TRUE(gw.journal("SELECT ID FROM OFFLINE").empty());
}

}  // namespace

TEST(HoldBonus, HoldThenReleaseOfTheSameChequeSendsTheHoldsValues) {
    Gateway gw(json(R"({
        "Hold_Points": {"reply": {"body": {"ErrorCode": "0", "LOYCardNumber": "7001",
                                           "PointsBefore": "1200.50", "PointsAfter": "1050.50"}}},
        "Unhold_Points": {"reply": {"body": {"ErrorCode": "0", "InfoMessage": "Бонусы возвращены",
                                             "PointsBefore": "1050.50", "PointsAfter": "1200.50"}}}})"),
               kQuick);
    const time_t before = time(nullptr);
    Json::Value r = holdBonus(gw, R"({"CardNum": "7001", "Card": "H-1", "CheckId": "C1",
        "CheckNum": "1001", "Email": "a@b.ru",
        "Check": [{"points": 100, "art": "95"}, null, {"points": "50.5"}],
        "Transact": {"ID": "T-77", "DateTime": "20240131235959",
                     "DateTimeUTC": "01/01/2020 00:00:00", "TimeValue": "1.5",
                     "Location": "AZS-7"}})");
    const time_t after = time(nullptr);
    EXPECT_EQ(json(R"({"err": "0", "errMsg": "Успешное выполнение операции", "Status": "A",
        "Offline": "0", "InfoMsg": "Бонусов на счету 1200.5: )" +
                   kCabinet + R"(", "Email": "a@b.ru", "EReceiptFlag": "Y", "CardNum": "7001",
        "PointsBefore": "1200.50", "PointsAfter": "1050.50"})"),
              r);
    std::vector<std::string> body = lastBody(gw, "Hold_Points");
    ASSERT_EQ(9u, body.size());
    // The UTC time is the server's at the moment of building, not the client's.
    const std::string utc = "  ui:GasOperationDateUTC=";
    ASSERT_EQ(0u, body[8].rfind(utc, 0)) << body[8];
    EXPECT_TRUE(utcWithin(body[8].substr(utc.size()), before, after)) << body[8];
    body[8] = utc + "<server>";
    const std::vector<std::string> expected = {
        "ui:Hold_Points_Input",
        "  ui:LOYCardType=Lumora",
        "  ui:LOYCardNumber=7001",
        "  ui:GasOperationDate=01/31/2024 23:59:59",
        "  ui:OrderNumber=T-77",
        "  ui:SourceSystem=VURIV",
        "  ui:PointsAmount=150.50",
        "  ui:GasStationId=AZS-7",
        "  ui:GasOperationDateUTC=<server>",
    };
    EXPECT_EQ(expected, body);
    auto log = gw.log();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& m) {
        return std::regex_match(
            m, std::regex(R"(\[\d+\] : Сохранение данных запроса холдирования бонусов)"));
    }));

    // A release without fields of its own names the hold.
    r = holdReturn(gw, "{}");
    EXPECT_EQ(json(R"({"err": 0, "errMsg": "Успешное выполнение операции", "Status": "A",
        "Offline": "0", "InfoMsg": "Бонусы возвращены", "zvnInfoMsg": "Бонусы возвращены",
        "Email": "a@b.ru", "EReceiptFlag": "Y", "PointsBefore": "1050.50",
        "PointsAfter": "1200.50"})"),
              r);
    EXPECT_EQ(release("7001", "T-77", "AZS-7"), lastBody(gw, "Unhold_Points"));

    // The release's own fields win; the hold stays for the next release.
    const struct {
        const char* request;
        std::vector<std::string> sent;
    } releases[] = {
        {R"({"CheckNum": "2002"})", release("7001", "2002", "AZS-7")},
        {R"({"CardNum": "7002", "CheckNum": "2002", "Transact": {"ID": "T-88", "Location": "AZS-9"}})",
         release("7002", "T-88", "AZS-9")},
        // The card's number is now 7002; an empty station keeps the hold's.
        {R"({"Transact": {"Location": ""}})", release("7002", "T-77", "AZS-7")},
    };
    for (const auto& c : releases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(0, holdReturn(gw, c.request)["err"].asInt());
        EXPECT_EQ(c.sent, lastBody(gw, "Unhold_Points"));
    }
    // A card looked up since without a number: the release still names the
    // card of the hold.
    EXPECT_EQ(0, command(gw, "CardInfo", "{}")["err"].asInt());
    holdReturn(gw, "{}");
    EXPECT_EQ(release("7001", "T-77", "AZS-7"), lastBody(gw, "Unhold_Points"));
    EXPECT_EQ(1u, gw.records("Hold_Points").size());
    expectNothingJournalled(gw);
}

TEST(HoldBonus, TheHoldServesReleasesOfOtherSessionsUntilEnd) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    testsupport::TcpClient other;
    ASSERT_TRUE(other.connect(gw.server().port()));
    other.send(R"({"AZS": {"HoldBonus": {"CardNum": "7001", "CheckNum": "1001",
        "Check": [{"points": 10}], "Transact": {"ID": "T-77", "Location": "AZS-7"}}}})"
               "\n");
    ASSERT_TRUE(other.readLine(20000ms).has_value());
    holdReturn(gw, "{}");
    EXPECT_EQ(release("7001", "T-77", "AZS-7"), lastBody(gw, "Unhold_Points"));

    // "End" in the session that held the points clears the hold.
    other.send("{\"AZS\": {\"End\": {}}}\n");
    ASSERT_TRUE(other.waitClosed());
    holdReturn(gw, "{}");
    EXPECT_EQ(release("7001", "", ""), lastBody(gw, "Unhold_Points"));
}

TEST(HoldBonus, BuildsTheRequestFromWhatTheCommandGives) {
    const struct {
        const char* request;
        std::string sent;  // the request's elements; "<server>": the server's UTC time
    } cases[] = {
        {R"({"CardNum": "7001", "CheckNum": "500"})",
         R"({"LOYCardType": "Lumora", "LOYCardNumber": "7001", "GasOperationDate": "",
             "OrderNumber": "500", "SourceSystem": "VURIV", "PointsAmount": "0.00",
             "GasStationId": "", "GasOperationDateUTC": ""})"},
        // The card's number; a date of 8 digits; the configured station.
        {R"({"CheckNum": "501", "Check": [{"points": 0.5}, {"points": "1.25"}, {"art": "95"}],
             "Transact": {"DateTime": "20240131", "ID": 77}})",
         R"({"LOYCardType": "Lumora", "LOYCardNumber": "7001",
             "GasOperationDate": "01/31/2024 00:00:00", "OrderNumber": "77",
             "SourceSystem": "VURIV", "PointsAmount": "1.75", "GasStationId": "AZS-CFG",
             "GasOperationDateUTC": "<server>"})"},
        // A date of 7 characters is not sent; the request's station wins.
        {R"({"CheckNum": "502", "Transact": {"DateTime": "2024013", "Location": 12}})",
         R"({"GasOperationDate": "", "OrderNumber": "502", "GasStationId": "12",
             "PointsAmount": "0.00", "GasOperationDateUTC": "<server>"})"},
        {R"({"CardType": "QR", "CardNum": "12345678901234567/ABC", "CheckNum": "503"})",
         R"({"LOYCardType": "QRCode", "LOYCardNumber": "12345678901234567/ABC"})"},
    };
    Gateway gw(json(R"({"Get_Info": {"reply": {"body": {"ErrorCode": "0"}}}})"),
               std::string(kQuick) + R"(, "Location": "AZS-CFG")");
    ASSERT_EQ(0, command(gw, "CardInfo", R"({"CardNum": "7001"})")["err"].asInt());
    const std::regex utc(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ("0", holdBonus(gw, c.request)["err"].asString());
        auto sent = gw.records("Hold_Points");
        ASSERT_FALSE(sent.empty());
        Json::Value body = sent.back()["body"];
        if (std::regex_match(body["GasOperationDateUTC"].asString(), utc))
            body["GasOperationDateUTC"] = "<server>";
        expectMembers(json(c.sent), body);
    }
    // A QR card is answered with its QR text and the card number in it.
    Json::Value r = holdBonus(gw, R"({"CardNum": "12345678901234567/ABC", "CheckNum": "504"})");
    EXPECT_EQ("12345678901234567/ABC", r["CardNumQR"].asString());
    EXPECT_EQ("12345678901234567", r["CardNum"].asString());
}

TEST(HoldBonus, AnswersEveryCrmCodeWithTheCodeAsText) {
    const struct {
        const char* body;
        const char* points;
        std::string expected;  // members of the reply; null: absent
    } cases[] = {
        {R"({"ErrorCode": "0", "InfoMessage": "Держим"})", "10",
         R"({"err": "0", "errMsg": "Успешное выполнение операции", "Status": "A", "Offline": "0",
             "InfoMsg": "Держим", "zvnInfoMsg": "Держим"})"},
        {R"({"ErrorCode": "0", "PointsBefore": "1200"})", "10",
         R"({"err": "0", "InfoMsg": "Бонусов на счету 1200: )" + kCabinet + "\"}"},
        {R"({"ErrorCode": "0", "PointsBefore": "0"})", "10",
         R"({"InfoMsg": "Бонусов на счету 0: )" + kCabinet + "\"}"},
        // The balance is not known: the card was never looked up.
        {R"({"ErrorCode": "0", "PointsBefore": "n/a"})", "10",
         R"({"err": "0", "InfoMsg": ")" + kCabinet + R"(", "PointsBefore": "n/a"})"},
        {R"({})", "10",
         R"({"err": "0", "errMsg": "Успешное выполнение операции",
                            "InfoMsg": ")" +
             kCabinet + "\"}"},
        {R"({"ErrorCode": "abc"})", "10", R"({"err": "0", "Status": "A"})"},
        {R"({"ErrorCode": "1"})", "10",
         R"({"err": "1", "errMsg": "Не верно указаны обязательные параметры", "Status": "R",
             "Offline": "0", "InfoMsg": null})"},
        {R"({"ErrorCode": "2"})", "10",
         R"({"err": "2", "errMsg": "Карта в системе не найдена", "Status": "R"})"},
        {R"({"ErrorCode": "3"})", "10",
         R"({"err": "3", "errMsg": "Карта Заблокирована", "Status": "R"})"},
        {R"({"ErrorCode": "4"})", "10",
         R"({"err": "4", "errMsg": "Недостаточно бонусов на счету", "Status": "R"})"},
        {R"({"ErrorCode": "5"})", "10",
         R"({"err": "5", "Status": "R", "errMsg": "Разница между временем операции и текущим временем превышает допустимый лимит"})"},
        {R"({"ErrorCode": "6"})", "10",
         R"({"err": "6", "errMsg": "QR-код некорректен или просрочен", "Status": "R"})"},
        {R"({"ErrorCode": "7"})", "0",
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Status": "A",
             "Offline": "1", "InfoMsg": ")~" +
             kLaterInfo + "\"}"},
        {R"({"ErrorCode": "7"})", "10",
         R"({"err": "7", "errMsg": "Участник заблокирован, выполняется другая транзакция",
             "Status": "A", "Offline": "1", "InfoMsg": null})"},
        {R"({"ErrorCode": "8"})", "10",
         R"({"err": "8", "errMsg": "Некорректные входные данные", "Status": "R"})"},
        {R"({"ErrorCode": "9"})", "10",
         R"({"err": "9", "errMsg": "АЗС с данным номером не существует", "Status": "R"})"},
        {R"({"ErrorCode": "18"})", "10",
         R"({"err": "18", "errMsg": "Списание бонусов по статичному QR запрещено",
             "Status": "R"})"},
        {R"({"ErrorCode": "12", "LOYCardNumber": "7001", "PointsAfter": "5"})", "10",
         R"({"err": "12", "errMsg": "Выявлена ошибка", "Status": "A", "Offline": "1",
             "InfoMsg": ")" +
             kLaterInfo + R"(", "CardNum": "7001", "PointsAfter": "5"})"},
        // Unknown codes are not saved, whatever the points.
        {R"({"ErrorCode": "-3"})", "0",
         R"({"err": "-3", "errMsg": "Выявлена ошибка", "Offline": "1"})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body + std::string(" points ") + c.points);
        gw.sim().setScenario(reply("Hold_Points", std::string(R"({"body": )") + c.body + "}"));
        Json::Value r = holdBonus(gw, std::string(R"({"CardNum": "7001", "CheckNum": "1",
                                                      "Check": [{"points": )") +
                                          c.points + "}]}");
        expectMembers(json(c.expected), r);
        EXPECT_TRUE(r["err"].isString()) << r;
    }
    EXPECT_EQ(std::size(cases), gw.records("Hold_Points").size());
    expectNothingJournalled(gw);
}

TEST(HoldReturn, AnswersEveryCrmCodeWithTheCodeAsANumber) {
    const std::string kReturnLater =
        "Извините за временные неудобства: Зарезераированные бонусы будут возвращены Вам в "
        "ближайшее время";
    const struct {
        const char* body;
        std::string expected;
    } cases[] = {
        {R"({"ErrorCode": "0", "InfoMessage": "Бонусы возвращены", "LOYCardNumber": "7001",
             "PointsBefore": "1050.50", "PointsAfter": "1200.50"})",
         R"({"err": 0, "errMsg": "Успешное выполнение операции", "Status": "A", "Offline": "0",
             "InfoMsg": "Бонусы возвращены", "zvnInfoMsg": "Бонусы возвращены",
             "CardNum": "7001", "PointsBefore": "1050.50", "PointsAfter": "1200.50"})"},
        {R"({})", R"({"err": 0, "errMsg": "Успешное выполнение операции", "InfoMsg": null})"},
        {R"({"ErrorCode": "1"})",
         R"({"err": 1, "errMsg": "Не найдена запись холдирования", "Status": "R", "Offline": "0"})"},
        {R"({"ErrorCode": "2", "InfoMessage": "сбой"})",
         R"({"err": 2, "errMsg": "Внутренняя ошибка", "Status": "R", "InfoMsg": null,
             "zvnInfoMsg": "сбой"})"},
        {R"({"ErrorCode": "5"})", R"({"err": 5, "errMsg": "Выявлена ошибка", "Status": "A",
                                      "Offline": "1", "InfoMsg": ")" +
                                      kReturnLater + "\"}"},
        {R"({"ErrorCode": "-1"})", R"({"err": -1, "errMsg": "Выявлена ошибка", "Offline": "1"})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        gw.sim().setScenario(reply("Unhold_Points", std::string(R"({"body": )") + c.body + "}"));
        Json::Value r = holdReturn(gw, R"({"CardNum": "7001", "CheckNum": "R1"})");
        expectMembers(json(c.expected), r);
        EXPECT_TRUE(r["err"].isInt()) << r;
    }
    // Without a hold held, the release has no station and the configured
    // source system.
    EXPECT_EQ(release("7001", "R1", ""), lastBody(gw, "Unhold_Points"));
    expectNothingJournalled(gw);
}

TEST(HoldBonus, TheCrmUnreachableSavesOnlyHoldsOfNoPointsAndReleasesAlways) {
    const std::string kNoLinkRelease =
        "Извините за временные неудобства: у нас не работает связь. Заблокированные бонусы будут "
        "доступны Вам в ближайшее время";
    const std::string kRepeat =
        "Списание бонусов недоступно. Повторите попытку оплаты или отмените списание бонусов.";
    const char* const kDrop = R"({"drop": true})";
    const char* const kFault = R"({"fault": {"string": "It's down", "code": "Server"}})";
    const struct {
        const char* name;
        const char* command;
        const char* answer;  // null: the simulator is stopped
        const char* points;
        std::string expected;
    } cases[] = {
        {"hold dropped, no points", "HoldBonus", kDrop, "0",
         R"({"err": "0", "errMsg": "Сохранение операции (offline), Нет связи", "Status": "A",
             "Offline": "1", "InfoMsg": ")" +
             kNoLinkInfo + "\"}"},
        {"hold dropped, 0.5 points", "HoldBonus", kDrop, "0.5",
         R"({"err": "-1", "errMsg": "Нет связи. )" + kRepeat + R"(", "Status": "A",
             "Offline": "1", "InfoMsg": null})"},
        {"hold fault, no points", "HoldBonus", kFault, "0",
         R"({"err": "0", "Status": "A", "Offline": "1", "zvnErrMsg": "It s down",
             "errMsg": "Сохранение операции (offline), Обслуживание временно ограничено"})"},
        {"hold fault, 5 points", "HoldBonus", kFault, "5",
         R"({"err": "2", "errMsg": "Обслуживание временно ограничено. )" + kRepeat +
             R"(", "Status": "A", "Offline": "1", "zvnErrMsg": "It s down"})"},
        {"hold refused, 5 points", "HoldBonus", nullptr, "5",
         R"({"err": "28", "errMsg": "Нет связи. )" + kRepeat + "\"}"},
        {"release dropped", "HoldReturn", kDrop, "",
         R"({"err": "0", "errMsg": "Выполнение операции (offline), Нет связи", "Status": "A",
             "Offline": "1", "InfoMsg": ")" +
             kNoLinkRelease + "\"}"},
        {"release fault", "HoldReturn", kFault, "",
         R"({"err": "0", "Status": "A", "Offline": "1", "zvnErrMsg": "It s down",
             "errMsg": "Выполнение операции (offline), Обслуживание временно ограничено",
             "InfoMsg": ")" +
             kNoLinkInfo + "\"}"},
        {"release refused", "HoldReturn", nullptr, "",
         R"({"err": "0", "errMsg": "Выполнение операции (offline), Нет связи"})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string operation =
            std::string(c.command) == "HoldBonus" ? "Hold_Points" : "Unhold_Points";
        if (c.answer == nullptr)
            gw.sim().stop();
        else
            gw.sim().setScenario(reply(operation, c.answer));
        const std::string request =
            std::string(R"({"CardNum": "7001", "CheckNum": "F1", "Email": "a@b.ru")") +
            (*c.points ? std::string(R"(, "Check": [{"points": )") + c.points + "}]" : "") + "}";
        Json::Value r = command(gw, c.command, request);
        expectMembers(json(c.expected), r);
        EXPECT_EQ("a@b.ru", r["Email"].asString());
        // The network is marked down until a check succeeds again.
        if (c.answer == nullptr) gw.sim().restart();
        gw.sim().setScenario(Json::Value(Json::objectValue));
        ASSERT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    }
    // Nothing is journalled or kept for sending later.
    expectNothingJournalled(gw);
}

TEST(HoldBonus, APurchaseAfterAConfirmedHoldIsAcceptedOfflineOnCode10) {
    const struct {
        const char* name;
        const char* holdAnswer;
        const char* holdOffline;
        bool released;
        std::string expected;  // the "PayBonus" reply
    } cases[] = {
        {"points held", R"({"ErrorCode": "0"})", "0", false,
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Status": "A",
             "Offline": "1"})~"},
        {"held in offline mode", R"({"ErrorCode": "0"})", "1", false,
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)"})~"},
        {"hold refused", R"({"ErrorCode": "2"})", "0", false,
         R"({"err": 10, "errMsg": "Некорректный продукт", "Offline": "1"})"},
        {"hold answered offline", R"({"ErrorCode": "12"})", "0", false,
         R"({"err": 10, "errMsg": "Некорректный продукт"})"},
        {"hold released", R"({"ErrorCode": "0"})", "0", true,
         R"({"err": 10, "errMsg": "Некорректный продукт"})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json::Value scenario =
            reply("Hold_Points", std::string(R"({"body": )") + c.holdAnswer + "}");
        scenario["Proc_Order"] = json(R"({"reply": {"body": {"ErrorCode": "10"}}})");
        gw.sim().setScenario(scenario);
        const std::string cheque = "S" + std::to_string(++n);
        const std::string lines = R"("Check": [{"art": "95", "cnt": "10", "points": 50}])";
        holdBonus(gw, R"({"CardNum": "7001", "CheckNum": ")" + cheque + R"(", "Offline": ")" +
                          c.holdOffline + "\", " + lines + "}");
        if (c.released) holdReturn(gw, "{}");
        expectMembers(json(c.expected), command(gw, "PayBonus",
                                                R"({"CardNum": "7001", "CheckNum": ")" + cheque +
                                                    "\", " + lines + "}"));
    }
}

TEST(HoldBonus, OfflineModeAnswersFromTheStoredRequestWithoutCallingTheCrm) {
    const std::string kReleasedOffline =
        "Извините за временные неудобства: у нас не работает связь.Ранее заблокированные бонусы "
        "будут доступны Вам в ближайшее время";
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    // A hold is accepted whatever its points.
    Json::Value r = holdBonus(gw, R"({"CardNum": "7001", "CheckNum": "O1", "Offline": "Да",
                                      "Check": [{"points": 50}], "Transact": {"ID": "O1"}})");
    expectMembers(json(R"~({"err": "0", "errMsg": "Успешное выполнение операции (offline)",
                           "Status": "A", "Offline": "1", "CheckNum": "O1",
                           "RequestCardNum": "7001", "InfoMsg": ")~" +
                       kNoLinkInfo + "\"}"),
                  r);
    // The stored request is the rewritten one.
    EXPECT_TRUE(r["Transact"]["TimeValue"].isString()) << r;
    EXPECT_TRUE(loggedStartingWith(gw, "Сохранение offline запроса : \"{\"HoldBonus\":{"));

    r = holdReturn(gw, R"({"CheckNum": "O1", "Offline": "yes"})");
    EXPECT_EQ(json(R"~({"err": "0", "errMsg": "Операция выполнена (offline)", "Status": "A",
                       "Offline": "1", "CheckNum": "O1", "InfoMsg": ")~" +
                   kReleasedOffline + "\"}"),
              r);
    EXPECT_TRUE(loggedStartingWith(
        gw, "Выполнение offline запроса : \"{\"HoldReturn\":{\"CheckNum\":\"O1\""));

    // A release answers from its own request even when another command of the
    // request comes first; a hold's stored document is the whole request.
    r = gw.send(
        R"("CardInfo": {"CardNum": "7001"}, "HoldReturn": {"CheckNum": "O2", "Offline": "1"})",
        2)["HoldReturn"];
    expectMembers(json(R"({"err": "0", "CheckNum": "O2"})"), r);
    r = gw.send(
        R"("CardInfo": {"CardNum": "7001"}, "HoldBonus": {"CardNum": "7001", "Offline": "1"})",
        2)["HoldBonus"];
    EXPECT_EQ(json(R"({"err": "4", "errMsg": "Нельзя сохранить чек. Проверьте статус карты",
                       "Status": "R", "Offline": "1"})"),
              r);
    EXPECT_TRUE(gw.records("Hold_Points").empty());
    EXPECT_TRUE(gw.records("Unhold_Points").empty());

    // A network marked down makes both offline.
    gw.sim().setScenario(reply("Connection_Check", R"({"drop": true})"));
    EXPECT_EQ("-1", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    EXPECT_EQ("Успешное выполнение операции (offline)",
              holdBonus(gw, R"({"CardNum": "7001", "CheckNum": "O3"})")["errMsg"].asString());
    EXPECT_EQ("Операция выполнена (offline)",
              holdReturn(gw, R"({"CheckNum": "O3"})")["errMsg"].asString());
    EXPECT_TRUE(gw.records("Hold_Points").empty());
    EXPECT_TRUE(gw.records("Unhold_Points").empty());
    expectNothingJournalled(gw);
}

TEST(HoldBonus, BadRequestsAreRefusedBeforeAnythingIsSent) {
    const std::string digits21(21, '7');
    const struct {
        const char* command;
        std::string request;
        const char* errMsg;
    } cases[] = {
        {"HoldBonus", R"({"CardNum": "7001", "Check": {"points": 1}})", "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardNum": "7001", "Check": [{"points": [1]}]})",
         "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardNum": "7001", "Check": [5]})", "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardNum": "7001", "Transact": "T-1"})", "Ошибка создания запроса"},
        // Not replaced by the server's clock first.
        {"HoldBonus", R"({"CardNum": "7001", "Transact": {"DateTimeUTC": {"d": 1}}})",
         "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardNum": "7001", "Offline": true})", "Ошибка создания запроса"},
        {"HoldBonus", R"("7001")", "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardNum": ")" + digits21 + "\"}", "Ошибка чтения номера карты"},
        {"HoldBonus", R"({"CardNum": "7001 02"})", "Ошибка чтения номера карты"},
        {"HoldReturn", R"({"Transact": {"Location": ["A"]}})", "Ошибка создания запроса"},
        {"HoldReturn", R"({"CheckNum": {"n": 1}})", "Ошибка создания запроса"},
        {"HoldReturn", R"([])", "Ошибка создания запроса"},
        {"HoldReturn", R"({"CardNum": ")" + digits21 + "\"}", "Ошибка создания запроса"},
        {"HoldBonus", R"({"CardType": "QR", "CardNum": "1234/ABC"})", "Некорректный QR-код"},
        {"HoldReturn", R"({"CardType": "QR", "CardNum": "1234/ABC"})", "Ошибка создания запроса"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(json(std::string(R"({"err": "-1", "errMsg": ")") + c.errMsg + "\"}"),
                  command(gw, c.command, c.request));
    }
    EXPECT_TRUE(gw.records("Hold_Points").empty());
    EXPECT_TRUE(gw.records("Unhold_Points").empty());
}
