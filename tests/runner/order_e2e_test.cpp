// "PayBonus" through the real server, the CRM simulator and the journal file:
// the Proc_Order request, the reply mapping with the CRM's code table and the
// card statuses, transport failures, offline mode, the journal rows of each
// path, and requests that are refused before anything is sent.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "common/json_util.h"
#include "storage/transactdb.h"
#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

// Short time-outs and one attempt, so that failures are answered quickly.
const char* const kQuick =
    R"("RetryCount": 1, "ConnectTimeout": 1, "SendRecvTimeout": 2, "Terminal": "T-CFG")";

const char* const kNoLinkInfo =
    "Извините за временные неудобства: у нас не работает связь. Бонусы за покупку будут "
    "начислены Вам в ближайшее время";

Json::Value orderReply(const std::string& answer) {
    return json(R"({"Proc_Order": {"reply": )" + answer + "}}");
}

// A purchase of one line; `points` are the points it spends.
std::string purchase(const std::string& cheque, const std::string& points = "0",
                     const std::string& more = "") {
    return R"({"CardNum": "7001", "CheckNum": ")" + cheque + R"(", "Check": [{"art": "95",
             "cnt": "10", "price": "52.10", "points": )" +
           points + R"(}], "Transact": {"ID": ")" + cheque +
           R"(", "Location": "AZS-7", "Terminal": "T1", "shift": 3})" + more + "}";
}

Json::Value pay(Gateway& gw, const std::string& request) {
    return gw.send("\"PayBonus\": " + request)["PayBonus"];
}

// The journal row of a cheque (empty when there is none).
storage::Row operation(Gateway& gw, const std::string& cheque) {
    auto rows = gw.journal("SELECT * FROM ALL_OPERATIONS WHERE ChequeID = '" + cheque + "'");
    return rows.size() == 1 ? rows[0] : storage::Row();
}

int offlineRows(Gateway& gw, const std::string& cheque) {
    return static_cast<int>(
        gw.journal("SELECT ID FROM OFFLINE WHERE ChequeID = '" + cheque + "'").size());
}

std::string localNow(int offsetSeconds = 0) {
    time_t t = time(nullptr) + offsetSeconds;
    char buf[16];
    strftime(buf, sizeof buf, "%Y%m%d%H%M%S", localtime(&t));
    return buf;
}

}  // namespace

TEST(PayBonus, SendsTheProcOrderRequestWithTheServersClock) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    const std::string before = localNow();
    pay(gw, R"({"CardNum": "7001", "Card": "H-1", "CheckId": "C1", "CheckNum": "1001",
                "GScount": "2", "Email": "a@b.ru",
                "Check": [{"intid": "1", "art": "95", "cnt": "30.5", "price": "52.10",
                           "points": "100", "pay": "BONUS", "payinfo": "LOY", "DiscountId": "D1",
                           "DiscountCnt": 2, "SubscriptionId": "S1"},
                          null, {"art": "92"}],
                "Transact": {"ID": "T-77", "DateTime": "20200101000000",
                             "DateTimeUTC": "01/01/2020 00:00:00", "TimeValue": "1.5",
                             "Location": "AZS-7", "shift": "3", "operID": "17",
                             "operFIO": "Иванова", "Terminal": "T1"}})");
    auto sent = gw.records("Proc_Order");
    ASSERT_EQ(1u, sent.size());
    std::vector<std::string> body = soaptest::messageOf(sent[0]["xml"].asString()).body;
    // The dates are the server's, not the client's: checked, then set aside.
    const std::regex local(
        R"(( *bns:GasOperationDate=)(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d))");
    const std::regex utc(R"(( *bns:GasOperationDateUTC=)\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");
    for (std::string& line : body) {
        std::smatch m;
        if (std::regex_match(line, m, local)) {
            const std::string dt = m.str(4) + m.str(2) + m.str(3) + m.str(5) + m.str(6) + m.str(7);
            EXPECT_GE(dt, before);
            EXPECT_LE(dt, localNow(1));
            line = m.str(1) + "<local>";
        } else if (std::regex_match(line, m, utc)) {
            line = m.str(1) + "<utc>";
        }
    }
    const std::vector<std::string> expected = {
        "ui:Proc_Order_Input",
        "  bns:ListOfLOYMember",
        "    bns:LoyMember",
        "      bns:LOYCardType=Lumora",
        "      bns:LOYCardNumber=7001",
        "      bns:LOYCardGSCount=2",
        "      bns:LOYCardHash=H-1",
        "      bns:ListOfOrder",
        "        bns:OrderEntry-Orders",
        "          bns:OrderNumber=T-77",
        "          bns:SourceSystem=VURIV",
        "          bns:ListOfOrderEntry-LineItems",
        "            bns:OrderEntry-LineItems",
        "              bns:IntegrationId=1",
        "              bns:QuantityRequested=30.5",
        "              bns:VEKProductIntegrationId=95",
        "              bns:PaymentType=BONUS",
        "              bns:BaseItemPoints=100",
        "              bns:BaseItemCost=52.10",
        "              bns:PaymentTypeDetail=LOY",
        "              bns:DiscountId=D1",
        "              bns:SubscriptionId=S1",
        "              bns:ItemDiscount=2.000000",
        "            bns:OrderEntry-LineItems",
        "              bns:IntegrationId=3",
        "              bns:QuantityRequested=",
        "              bns:VEKProductIntegrationId=92",
        "              bns:PaymentType=MIX",
        "              bns:BaseItemPoints=",
        "              bns:BaseItemCost=",
        "              bns:PaymentTypeDetail=OTHER",
        "          bns:ListOfGasRequests",
        "            bns:GasRequests",
        "              bns:GasOperationDateUTC=<utc>",
        "              bns:GasStationOperatorName=Иванова",
        "              bns:GasStationOperId=17",
        "              bns:GasStationShiftNum=3",
        "              bns:GasStationId=AZS-7",
        "              bns:GasTerminalId=T1",
        "              bns:GasOperationDate=<local>",
    };
    EXPECT_EQ(expected, body);
}

TEST(PayBonus, WithoutTransactionSendsNoStationDataAndIsStillJournalledUnderAKey) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    Json::Value r = pay(gw, R"({"CardNum": "7001", "CheckNum": "500"})");
    EXPECT_EQ(json(R"({"err": 0, "errMsg": "Успешное выполнение операции", "Status": "A",
                       "Offline": "0"})"),
              r);
    auto sent = gw.records("Proc_Order");
    ASSERT_EQ(1u, sent.size());
    const Json::Value& order =
        sent[0]["body"]["ListOfLOYMember"]["LoyMember"]["ListOfOrder"]["OrderEntry-Orders"];
    EXPECT_EQ(json(R"({"OrderNumber": "500", "SourceSystem": "VURIV"})"), order);
    // The journal dates the purchase by the server's clock, so that its reply
    // is stored under its key.
    storage::Row row = operation(gw, "500");
    EXPECT_EQ(storage::journalKey(col(row, "datetime"), col(row, "timeval"), "500"),
              col(row, "id"));
    EXPECT_EQ("0", col(row, "errorcode"));
    EXPECT_NE("<null>", col(row, "response"));
}

TEST(PayBonus, MapsTheCrmsAnswerAndJournalsRequestAndReply) {
    Gateway gw(orderReply(R"({"body": {
        "CardStatusCode": "ACTIVE", "ErrorCode": "0", "InfoMessage": "Спасибо за покупку",
        "LOYCardNumber": "7001", "OrderPointQty": "15", "PeriodQualPoints": "135",
        "PointsAfter": "1115.50", "PointsBefore": "1200.50", "TierName": "Gold",
        "ListOfOrder": {"OrderEntry-Orders": {
            "Id": "1-ORD", "OrderDate": "01/31/2024 23:59:59", "OrderNumber": "1001",
            "ListOfOrderEntry-LineItems": {"OrderEntry-LineItems": [
                {"Id": "1-L1", "IntegrationId": "1", "VEKProductIntegrationId": "95",
                 "BaseItemPointsAccrual": "15", "BaseItemPointsRedemption": "100",
                 "QuantityRequested": "30.5", "BaseItemCost": "52.10",
                 "PaymentTypeDetail": "OTHER"},
                {"VEKProductIntegrationId": "92", "QuantityRequested": "1"}]}}}}})"),
               kQuick);
    const std::string request = purchase("1001", "100", R"(, "Email": "a@b.ru")");
    Json::Value r = pay(gw, request);
    EXPECT_EQ(json(R"({
        "err": 0, "errMsg": "Успешное выполнение операции", "Status": "A", "Offline": "0",
        "InfoMsg": "Спасибо за покупку", "zvnInfoMsg": "Спасибо за покупку",
        "Email": "a@b.ru", "EReceiptFlag": "Y", "CardNum": "7001", "CardStatus": "ACTIVE",
        "TierName": "Gold", "PointsAdd": "15", "PointsBefore": "1200.50",
        "PointsAfter": "1115.50", "PointsPeriod": "135", "CheckNum": "1001",
        "Transact": {"ID": "1001", "DateTime": "20240131235959"},
        "Check": [{"art": "95", "intid": "1", "cnt": "30.5", "price": "52.10", "points": "100",
                   "payinfo": "OTHER", "PointsAdd": "15"},
                  {"art": "92", "cnt": "1"}]})"),
              r);

    storage::Row row = operation(gw, "1001");
    ASSERT_FALSE(row.empty());
    EXPECT_EQ(storage::journalKey(col(row, "datetime"), col(row, "timeval"), "1001"),
              col(row, "id"));
    EXPECT_TRUE(std::regex_match(col(row, "datetime"), std::regex(R"(\d{14})")));
    EXPECT_EQ("3", col(row, "opertype"));
    EXPECT_EQ("T1", col(row, "terminal"));
    EXPECT_EQ("AZS-7", col(row, "locationid"));
    EXPECT_EQ("3", col(row, "shift"));
    EXPECT_EQ("0", col(row, "errorcode"));
    EXPECT_EQ("0", col(row, "offline"));
    EXPECT_EQ("<null>", col(row, "parentid"));
    // The stored request is the rewritten command object: the server's clock
    // in "Transact", the client's card fields kept.
    Json::Value stored = json(col(row, "request"));
    const Json::Value& t = stored["PayBonus"]["Transact"];
    EXPECT_EQ(col(row, "datetime"), t["DateTime"].asString());
    EXPECT_EQ(col(row, "timeval"), t["TimeValue"].asString());
    EXPECT_TRUE(std::regex_match(t["DateTimeUTC"].asString(),
                                 std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)")));
    EXPECT_EQ("7001", stored["PayBonus"]["RequestCardNum"].asString());
    EXPECT_EQ(json("{\"PayBonus\": " + JsonOut(r, false) + "}"), json(col(row, "response")));
    EXPECT_EQ(0, offlineRows(gw, "1001"));

    auto log = gw.log();
    auto has = [&](const std::string& suffix) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& m) {
            return m.size() >= suffix.size() &&
                   m.compare(m.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                   m.rfind("[", 0) == 0;
        });
    };
    EXPECT_TRUE(has("] : Сохранение запроса в БД"));
    EXPECT_TRUE(has("] : Сохранение ответа на запрос в БД"));
    EXPECT_TRUE(has("] : Статус сохранения : 101"));
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "20240131235959"));

    // The client's own times never reach the CRM; they are kept as "income".
    pay(gw, purchase("1002", "0",
                     R"(, "Transact": {"ID": "1002", "DateTime": "20200101000000",
                         "DateTimeUTC": "01/01/2020 00:00:00", "Terminal": "T1"})"));
    stored = json(col(operation(gw, "1002"), "request"));
    EXPECT_EQ("20200101000000", stored["PayBonus"]["Transact"]["incomeDateTime"].asString());
    EXPECT_EQ("01/01/2020 00:00:00",
              stored["PayBonus"]["Transact"]["incomeDateTimeUTC"].asString());
    const std::string xml = gw.records("Proc_Order").back()["xml"].asString();
    EXPECT_EQ(std::string::npos, xml.find("2020")) << xml;
}

TEST(PayBonus, AnswersEveryKindOfCrmCode) {
    const std::string kWide =
        "Извините за временные неудобства:  Бонусы за покупку будут начислены Вам в ближайшее "
        "время";
    const std::string kOne =
        "Извините за временные неудобства: Бонусы за покупку будут начислены Вам в ближайшее время";
    const struct {
        const char* body;
        const char* points;
        std::string expected;  // members of the reply; null: absent
    } cases[] = {
        {R"({"ErrorCode": "1", "CardStatusCode": "ACTIVE"})", "0",
         R"({"err": 1, "errMsg": "Не указан номер карты", "Status": "R", "Offline": "0",
             "CardStatus": "ACTIVE"})"},
        {R"({"ErrorCode": "4"})", "0",
         R"({"err": 4, "errMsg": "Нельзя сохранить чек. Проверьте статус карты", "Status": "R"})"},
        {R"({"ErrorCode": "18"})", "5",
         R"({"err": 18, "errMsg": "Списание бонусов по статичному QR запрещено", "Status": "R"})"},
        {R"({"ErrorCode": "6"})", "0",
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Status": "A",
             "Offline": "1", "InfoMsg": ")~" +
             kWide + "\"}"},
        {R"({"ErrorCode": "6"})", "5",
         R"({"err": 6, "errMsg": "Чек с данным номером уже существует", "Status": "A",
             "Offline": "1", "InfoMsg": null})"},
        {R"({"ErrorCode": "8"})", "0",
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Offline": "1",
             "InfoMsg": ")~" +
             kOne + "\"}"},
        {R"({"ErrorCode": "9", "CardStatusCode": "ACTIVE"})", "5",
         R"({"err": 9, "errMsg": "Недостаточно балов для списания", "Status": "A",
             "Offline": "0"})"},
        {R"({"ErrorCode": "9", "CardStatusCode": "Заблокирована"})", "5",
         R"({"err": 9, "Status": "R"})"},
        {R"({"ErrorCode": "10"})", "0",
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Offline": "1",
             "InfoMsg": ")~" +
             kOne + "\"}"},
        {R"({"ErrorCode": "10"})", "5",
         R"({"err": 10, "errMsg": "Некорректный продукт", "Offline": "1", "InfoMsg": null})"},
        {R"({"ErrorCode": "14"})", "5",
         R"({"err": 14, "errMsg": "Абонемент не применим к товару"})"},
        {R"({"ErrorCode": "99"})", "5",
         R"({"err": 99, "errMsg": "Выявлена ошибка", "Offline": "1", "InfoMsg": ")" + kOne + "\"}"},
        {R"({"ErrorCode": "-3"})", "0",
         R"~({"err": "0", "errMsg": "Сохранение операции (offline)", "Offline": "1"})~"},
        {R"({"ErrorCode": "0", "CardStatusCode": "BLOCKED", "InfoMessage": "ok"})", "5",
         R"({"err": 0, "Status": "R", "InfoMsg": "ok", "zvnInfoMsg": "ok"})"},
        {R"({"ErrorCode": "abc", "CardStatusCode": "Активна"})", "5",
         R"({"err": 0, "Status": "A", "InfoMsg": null})"},
        {R"({"CardStatusCode": "new"})", "5",
         R"({"err": "0", "errMsg": "Успешное выполнение операции", "Status": "A"})"},
        {R"({"ErrorCode": "0", "ListOfOrder": {"OrderEntry-Orders": {"OrderDate": "01/31/2024"}}})",
         "0", R"({"err": 0, "Transact": {"DateTime": "20240131000000"}, "Check": null})"},
        {R"({"ErrorCode": "0", "ListOfOrder": {"OrderEntry-Orders": {"OrderDate": "1/31/2024"}}})",
         "0", R"({"err": 0, "Transact": {}})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body + std::string(" points ") + c.points);
        gw.sim().setScenario(orderReply(std::string(R"({"body": )") + c.body + "}"));
        const std::string cheque = "C" + std::to_string(++n);
        expectMembers(json(c.expected), pay(gw, purchase(cheque, c.points)));
        // The CRM answered: journalled as an online operation with result 0.
        storage::Row row = operation(gw, cheque);
        EXPECT_EQ("0", col(row, "errorcode"));
        EXPECT_EQ("0", col(row, "offline"));
        EXPECT_EQ(0, offlineRows(gw, cheque));
    }
    EXPECT_EQ(static_cast<size_t>(n), gw.records("Proc_Order").size());
}

TEST(PayBonus, SubscriptionTextOnlyForTheSourceSystemsThatKnowIt) {
    Gateway gw(orderReply(R"({"body": {"ErrorCode": "14"}})"),
               std::string(kQuick) + R"(, "AzsIdentOverride": true, "SourceSystem": "OTHER")");
    EXPECT_EQ("Успешное выполнение операции", pay(gw, purchase("1", "5"))["errMsg"].asString());
    EXPECT_EQ("OTHER", gw.records("Proc_Order")[0]["body"]["ListOfLOYMember"]["LoyMember"]
                                               ["ListOfOrder"]["OrderEntry-Orders"]["SourceSystem"]
                                                   .asString());
}

TEST(PayBonus, AcceptsOfflineOnlyWhatSpendsNoPointsWhenTheCrmCannotBeReached) {
    const struct {
        const char* name;
        Json::Value scenario;  // null: the simulator is stopped
        const char* points;
        std::string expected;
        const char* errorCode;  // stored outcome
    } cases[] = {
        {"dropped, free", orderReply(R"({"drop": true})"), "0",
         R"({"err": "0", "errMsg": "Сохранение операции (offline), Нет связи", "Status": "A",
             "Offline": "1", "InfoMsg": ")" +
             std::string(kNoLinkInfo) + "\"}",
         "-1"},
        {"dropped, spends 0.5", orderReply(R"({"drop": true})"), "0.5",
         R"({"err": "-1", "Status": "A", "Offline": "1", "InfoMsg": null,
             "errMsg": "Нет связи. Списание бонусов недоступно. Повторите попытку оплаты или отмените списание бонусов."})",
         "-1"},
        {"fault, free", orderReply(R"({"fault": {"string": "It's down", "code": "Server"}})"), "0",
         R"({"err": "0", "Status": "A", "Offline": "1", "zvnErrMsg": "It s down",
             "errMsg": "Сохранение операции (offline), Обслуживание временно ограничено"})",
         "2"},
        {"fault, spends 5", orderReply(R"({"fault": {"string": "busy", "code": "Server"}})"), "5",
         R"({"err": "2", "Status": "A", "Offline": "1", "zvnErrMsg": "busy",
             "errMsg": "Обслуживание временно ограничено. Списание бонусов недоступно. Повторите попытку оплаты или отмените списание бонусов."})",
         "2"},
        {"refused, free", Json::Value(), "0",
         R"({"err": "0", "errMsg": "Сохранение операции (offline), Нет связи", "Offline": "1"})",
         "28"},
    };
    Gateway gw(Json::Value(Json::objectValue),
               R"("RetryCount": 2, "ConnectTimeout": 1, "SendRecvTimeout": 2)");
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.scenario.isNull())
            gw.sim().stop();
        else
            gw.sim().setScenario(c.scenario);
        const std::string cheque = "F" + std::to_string(++n);
        // No terminal anywhere: the reply is stored all the same.
        const std::string request =
            R"({"CardNum": "7001", "Email": "a@b.ru", "Check": [{"points": )" +
            std::string(c.points) + R"(}], "Transact": {"ID": ")" + cheque + "\"}}";
        Json::Value r = pay(gw, request);
        expectMembers(json(c.expected), r);
        EXPECT_EQ("a@b.ru", r["Email"].asString());
        storage::Row row = operation(gw, cheque);
        EXPECT_EQ(c.errorCode, col(row, "errorcode"));
        EXPECT_EQ("1", col(row, "offline"));
        // Two failed attempts, one copy in OFFLINE, with the stored request.
        auto offline = gw.journal("SELECT * FROM OFFLINE WHERE ChequeID = '" + cheque + "'");
        ASSERT_EQ(1u, offline.size());
        EXPECT_EQ(col(row, "id"), col(offline[0], "id"));
        EXPECT_EQ(col(row, "request"), col(offline[0], "request"));
        // The network is marked down until a check succeeds again.
        if (c.scenario.isNull()) gw.sim().restart();
        gw.sim().setScenario(Json::Value(Json::objectValue));
        ASSERT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    }
}

TEST(PayBonus, OfflineModeAnswersFromTheStoredRequestWithoutCallingTheCrm) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    // Asked for: a free purchase is accepted, one that spends points is not.
    Json::Value r = pay(gw, purchase("O1", "0", R"(, "Offline": "Да")"));
    expectMembers(json(R"~({"err": "0", "errMsg": "Успешное выполнение операции (offline)",
                           "Status": "A", "Offline": "1", "CheckNum": "O1",
                           "RequestCardNum": "7001"
})~"),
                  r);
    EXPECT_EQ(kNoLinkInfo, r["InfoMsg"].asString());
    EXPECT_EQ(json(R"([{"art": "95", "cnt": "10", "price": "52.10", "points": 0}])"), r["Check"]);
    r = pay(gw, purchase("O2", "10", R"(, "Offline": "yes")"));
    expectMembers(json(R"({"err": "9", "errMsg": "Не работает связь.", "Status": "A",
                           "Offline": "1"})"),
                  r);
    EXPECT_TRUE(gw.records("Proc_Order").empty());
    for (const char* cheque : {"O1", "O2"}) {
        SCOPED_TRACE(cheque);
        storage::Row row = operation(gw, cheque);
        EXPECT_EQ("1", col(row, "offline"));
        EXPECT_EQ(std::string(cheque) == "O1" ? "0" : "9", col(row, "errorcode"));
        EXPECT_EQ(1, offlineRows(gw, cheque));
    }
    auto log = gw.log();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& m) {
        return m.rfind("Сохранение offline запроса : \"{\"PayBonus\":{", 0) == 0 && m.back() == '"';
    }));

    // A lower-case "да" is not an offline request.
    EXPECT_EQ(0, pay(gw, purchase("O3", "0", R"(, "Offline": "да")"))["err"].asInt());
    EXPECT_EQ(1u, gw.records("Proc_Order").size());

    // A stored command object whose first command is another one.
    r = gw.send(R"("CardInfo": {"CardNum": "7001"}, "PayBonus": )" +
                    purchase("O4", "0", R"(, "Offline": "1")"),
                2)["PayBonus"];
    expectMembers(json(R"({"err": "4", "errMsg": "Нельзя сохранить чек. Проверьте статус карты",
                           "Status": "R", "Offline": "1"})"),
                  r);

    // A network marked down makes every purchase an offline one.
    gw.sim().setScenario(json(R"({"Connection_Check": {"reply": {"drop": true}}})"));
    EXPECT_EQ("-1", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    EXPECT_EQ("0", pay(gw, purchase("O5"))["err"].asString());
    EXPECT_EQ(1u, gw.records("Proc_Order").size());
    EXPECT_EQ(1, offlineRows(gw, "O5"));
}

TEST(PayBonus, RefusesBadRequestsBeforeAnythingIsSentOrJournalled) {
    const std::string digits21(21, '7');
    const struct {
        std::string request;
        const char* errMsg;
    } cases[] = {
        {R"({"CardNum": "7001", "Check": {"art": "95"}})", "Ошибка создания запроса"},
        {R"({"CardNum": "7001", "Check": [{"points": [1]}]})", "Ошибка создания запроса"},
        {R"({"CardNum": "7001", "Transact": "T-1"})", "Ошибка создания запроса"},
        {R"({"CardNum": ["7001"]})", "Ошибка создания запроса"},
        {R"({"CardNum": "7001", "Transact": {"ID": {"n": 1}}})", "Ошибка создания запроса"},
        {R"({"CardNum": "7001", "Transact": {"DateTimeUTC": {}}})", "Ошибка создания запроса"},
        {R"("7001")", "Ошибка создания запроса"},
        {R"({"CardNum": ")" + digits21 + "\"}", "Ошибка чтения номера карты"},
        {R"({"CardNum": "7001 02"})", "Ошибка чтения номера карты"},
        {R"({"CardType": "QR", "CardNum": "1234/ABC"})", "Некорректный QR-код"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(json(std::string(R"({"err": "-1", "errMsg": ")") + c.errMsg + "\"}"),
                  pay(gw, c.request));
    }
    EXPECT_TRUE(gw.records("Proc_Order").empty());
    EXPECT_TRUE(gw.journal("SELECT ID FROM ALL_OPERATIONS").empty());
}
