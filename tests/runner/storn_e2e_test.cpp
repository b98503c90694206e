// "PayReturn" through the real server, the CRM simulator and the journal
// file: the Order_Storno request with the purchase found in the journal, the
// reversal's journal record and its link to the purchase, the CRM's codes,
// transport failures and offline reversals.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "storage/transactdb.h"
#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

const char* const kQuick = R"("RetryCount": 1, "ConnectTimeout": 1, "SendRecvTimeout": 2)";

storage::Row row(Gateway& gw, const std::string& table, const std::string& where) {
    auto rows = gw.journal("SELECT * FROM " + table + " WHERE " + where);
    return rows.size() == 1 ? rows[0] : storage::Row();
}

// A purchase of two lines, journalled by the server.
std::string purchase(const std::string& cheque, const std::string& more = "") {
    return R"("PayBonus": {"CardNum": "7001")" + more + R"(, "CheckNum": ")" + cheque +
           R"(", "Check": [{"intid": "1", "art": "95", "cnt": "10", "price": "52.10"},
                           {"intid": "2", "art": "92", "cnt": "5", "price": "48.30"}],
               "Transact": {"ID": ")" +
           cheque + R"(", "Location": "AZS-7", "Terminal": "T1", "shift": 3}})";
}

// A reversal of one line of `cheque`, as reversal `number`; `more` is added
// to the request, `transact` to its "Transact".
std::string reversal(const std::string& cheque, const std::string& number,
                     const std::string& more = "", const std::string& transact = "") {
    return R"({"CheckNum": ")" + number + "\"" + more + R"(, "StornoNum": "S-)" + cheque +
           R"(", "Check": [{"intid": "2", "art": "92", "cnt": "5"}],
               "OrigTransact": {"ID": ")" +
           cheque + R"(", "DateTime": "20000101", "TimeValue": "946684800.5",
                           "Location": "AZS-7", "Terminal": "T1", "shift": 3},
               "Transact": {"ID": ")" +
           number + R"(", "Location": "AZS-7", "Terminal": "T1", "shift": 4)" + transact + "}}";
}

Json::Value payReturn(Gateway& gw, const std::string& request) {
    return gw.send("\"PayReturn\": " + request)["PayReturn"];
}

const Json::Value& stornoOrder(const Json::Value& record) {
    return record["body"]["ListOfOrder"]["OrderEntry-Orders"];
}

}  // namespace

TEST(PayReturn, ReversesThePurchaseTheJournalHoldsAndLinksItsRecordToIt) {
    Gateway gw(json(R"({"Order_Storno": {"reply": {"body": {
        "ErrorCode": "0", "InfoMessage": "Возврат принят", "LOYCardNumber": "7001",
        "OrderNumber": "R-1", "OrderPointQty": "-15", "PeriodQualPoints": "120",
        "PointsAfter": "1200.50", "PointsBefore": "1115.50", "PointsBlockChange": "0"}}}})"),
               kQuick);
    ASSERT_EQ(0, gw.send(purchase("1001"))["PayBonus"]["err"].asInt());
    const storage::Row bought = row(gw, "ALL_OPERATIONS", "OperType = 3");
    const std::string before = []() {
        time_t t = time(nullptr);
        char b[16];
        strftime(b, sizeof b, "%Y%m%d%H%M%S", localtime(&t));
        return std::string(b);
    }();

    Json::Value r = payReturn(gw, reversal("1001", "R-1", "", R"(, "TimeValue": "abc")"));
    EXPECT_EQ(json(R"({"err": "0", "errMsg": "Успешное выполнение операции", "Offline": "0",
                       "InfoMsg": "Возврат принят", "zvnInfoMsg": "Возврат принят",
                       "CardNum": "7001", "CheckNum": "R-1", "PointsAdd": "-15",
                       "PointsBefore": "1115.50", "PointsAfter": "1200.50",
                       "PointsPeriod": "120", "PointsBlock": "0"})"),
              r);

    auto sent = gw.records("Order_Storno");
    ASSERT_EQ(1u, sent.size());
    std::vector<std::string> body = soaptest::messageOf(sent[0]["xml"].asString()).body;
    // The purchase's date comes from the journal; the reversal's is now.
    const std::string purchaseDate = col(bought, "datetime");
    const std::string purchaseLine = "        bns:GasOperationDate=" + purchaseDate.substr(4, 2) +
                                     "/" + purchaseDate.substr(6, 2) + "/" +
                                     purchaseDate.substr(0, 4) + " " + purchaseDate.substr(8, 2) +
                                     ":" + purchaseDate.substr(10, 2) + ":" +
                                     purchaseDate.substr(12, 2);
    const std::regex stamp(R"(( *bns:GasOperationDate(UTC)?=)\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");
    bool purchaseDateSeen = false;
    for (std::string& line : body) {
        if (line == purchaseLine && !purchaseDateSeen) {
            purchaseDateSeen = true;
            line = "        bns:GasOperationDate=<purchase>";
        }
        std::smatch m;
        if (std::regex_match(line, m, stamp)) line = m.str(1) + "<now>";
    }
    EXPECT_TRUE(purchaseDateSeen);
    const std::vector<std::string> expected = {
        "ui:Order_Storno_Input",
        "  bns:ListOfOrder",
        "    bns:OrderEntry-Orders",
        "      bns:NewOrderNumber=R-1",
        "      bns:StornoOrderNumber=1001",
        "      bns:ListOfOrderEntry-LineItems",
        "        bns:OrderEntry-LineItems",
        "          bns:IntegrationId=2",
        "          bns:QuantityRequested=5",
        "          bns:VEKProductIntegrationId=92",
        "      bns:StornoGasRequest",
        "        bns:GasStationShiftNum=3",
        "        bns:GasStationId=AZS-7",
        "        bns:GasTerminalId=T1",
        "        bns:GasOperationDate=<purchase>",
        "      bns:NewGasRequest",
        "        bns:GasStationShiftNum=4",
        "        bns:GasStationId=AZS-7",
        "        bns:GasTerminalId=T1",
        "        bns:GasOperationDate=<now>",
        "        bns:GasOperationDateUTC=<now>",
    };
    EXPECT_EQ(expected, body);

    const storage::Row reversed = row(gw, "ALL_OPERATIONS", "OperType = 4");
    EXPECT_EQ(col(bought, "id"), col(reversed, "parentid"));
    EXPECT_EQ("R-1", col(reversed, "chequeid"));
    EXPECT_EQ("4", col(reversed, "shift"));
    EXPECT_EQ("0", col(reversed, "errorcode"));
    EXPECT_EQ("0", col(reversed, "offline"));
    // "TimeValue" that is not a number: dated with the current time.
    EXPECT_GE(col(reversed, "datetime"), before);
    EXPECT_EQ(storage::journalKey(col(reversed, "datetime"), col(reversed, "timeval"), "R-1"),
              col(reversed, "id"));
    // The session filled in the reversal's UTC time, also in the stored request.
    const Json::Value stored = json(col(reversed, "request"));
    EXPECT_TRUE(std::regex_match(stored["PayReturn"]["Transact"]["DateTimeUTC"].asString(),
                                 std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)")));
    EXPECT_TRUE(gw.journal("SELECT ID FROM OFFLINE").empty());
}

TEST(PayReturn, WithoutThePurchaseInTheJournalTakesTheRequestsValues) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    payReturn(gw, reversal("900", "R-9"));
    auto sent = gw.records("Order_Storno");
    ASSERT_EQ(1u, sent.size());
    const Json::Value& order = stornoOrder(sent[0]);
    EXPECT_EQ("900", order["StornoOrderNumber"].asString());
    EXPECT_EQ("01/01/2000 00:00:00", order["StornoGasRequest"][0]["GasOperationDate"].asString());
    EXPECT_EQ("20000101000000.5#900", col(row(gw, "ALL_OPERATIONS", "OperType = 4"), "parentid"));

    // Without the purchase's block there is neither its gas request nor a
    // parent; the number of the reversed purchase is "StornoNum".
    payReturn(gw, R"({"CheckNum": "R-10", "StornoNum": "905", "Check": []})");
    EXPECT_EQ(std::vector<std::string>(
                  {"ui:Order_Storno_Input", "  bns:ListOfOrder", "    bns:OrderEntry-Orders",
                   "      bns:NewOrderNumber=R-10", "      bns:StornoOrderNumber=905",
                   "      bns:ListOfOrderEntry-LineItems="}),
              soaptest::messageOf(gw.records("Order_Storno").back()["xml"].asString()).body);
    storage::Row r = row(gw, "ALL_OPERATIONS", "ChequeID = 'R-10'");
    EXPECT_EQ("<null>", col(r, "parentid"));
    EXPECT_NE("<null>", col(r, "response"));  // dated by the server, so stored under its key
}

TEST(PayReturn, AnswersTheCrmsCodes) {
    const struct {
        const char* code;
        const char* expected;
    } cases[] = {
        {"0", R"({"err": "0", "errMsg": "Успешное выполнение операции", "Offline": "0",
                  "errZvn": null})"},
        {"1", R"({"err": "1", "errMsg": "Номер чека не заполнен", "Offline": "0",
                  "errZvn": null})"},
        {"2", R"({"err": "0", "errMsg": "Чек в системе не найден", "Offline": "1",
                  "errZvn": "2"})"},
        {"3", R"({"err": "0", "errMsg": "Заказ с указанным номером уже существует",
                  "Offline": "1", "errZvn": "3"})"},
        {"4", R"({"err": "0", "errMsg": "Сторнирование чека в данном статусе запрещено",
                  "Offline": "1", "errZvn": "4"})"},
        {"5", R"({"err": "0", "errMsg": "Участник заблокирован, выполняется другая транзакция.",
                  "Offline": "1", "errZvn": "5"})"},
        {"7", R"({"err": "7", "errMsg": "Выявлена ошибка", "Offline": "1", "errZvn": "7"})"},
        {"-3", R"({"err": "-3", "errMsg": "Выявлена ошибка", "Offline": "1", "errZvn": "-3"})"},
    };
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        gw.sim().setScenario(json(std::string(R"({"Order_Storno": {"reply": {"body":
            {"ErrorCode": ")") + c.code +
                                  R"(", "InfoMessage": "ответ"}}}})"));
        const std::string number = "R" + std::to_string(++n);
        expectMembers(json(c.expected), payReturn(gw, reversal("1", number)));
        // The CRM has answered: journalled with result 0, not queued in OFFLINE.
        storage::Row r = row(gw, "ALL_OPERATIONS", "ChequeID = '" + number + "'");
        EXPECT_EQ("0", col(r, "errorcode"));
        EXPECT_EQ("0", col(r, "offline"));
        EXPECT_TRUE(gw.journal("SELECT ID FROM OFFLINE").empty());
    }
}

TEST(PayReturn, KeepsTheReversalForLaterBehindItsPurchaseWhenTheCrmIsUnreachable) {
    Gateway gw(Json::Value(Json::objectValue),
               R"("RetryCount": 2, "ConnectTimeout": 1, "SendRecvTimeout": 2)");
    ASSERT_EQ(0, gw.send(purchase("1001"))["PayBonus"]["err"].asInt());
    const std::string parent = col(row(gw, "ALL_OPERATIONS", "OperType = 3"), "id");
    gw.sim().stop();
    Json::Value r = payReturn(gw, reversal("1001", "R-1"));
    expectMembers(json(R"({"err": "0", "errMsg": "Нет связи", "Offline": "1"})"), r);
    EXPECT_FALSE(r["InfoMsg"].asString().empty());
    const storage::Row reversed = row(gw, "ALL_OPERATIONS", "OperType = 4");
    EXPECT_EQ("1", col(reversed, "offline"));
    EXPECT_EQ("28", col(reversed, "errorcode"));
    // Two failed attempts, one copy, linked to its purchase.
    auto queued = gw.journal("SELECT * FROM OFFLINE");
    ASSERT_EQ(1u, queued.size());
    EXPECT_EQ(col(reversed, "id"), col(queued[0], "id"));
    EXPECT_EQ(parent, col(queued[0], "parentid"));
    EXPECT_EQ("4", col(queued[0], "opertype"));

    // A SOAP fault: the service's own failure.
    gw.sim().restart();
    ASSERT_EQ("0", gw.send("\"Connect\": {}")["Connect"]["err"].asString());
    gw.sim().setScenario(json(
        R"({"Order_Storno": {"reply": {"fault": {"string": "It's busy", "code": "Server"}}}})"));
    r = payReturn(gw, reversal("1001", "R-2"));
    expectMembers(json(R"({"err": "2", "errMsg": "Обслуживание временно ограничено",
                           "Offline": "1", "zvnErrMsg": "It s busy", "zvnErrInfo": "It s busy"})"),
                  r);
    EXPECT_EQ(2u, gw.journal("SELECT ID FROM OFFLINE").size());
}

TEST(PayReturn, FollowsItsPurchaseOfflineAndHonoursTheOfflineRequest) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    // A purchase saved offline, then the reversal of the same cheque: it
    // follows the purchase offline without calling the CRM.
    Json::Value bought = gw.send(purchase("1001", R"(, "Offline": "1")"))["PayBonus"];
    ASSERT_EQ("0", bought["err"].asString()) << bought;
    Json::Value r = payReturn(gw, R"({"CheckNum": "1001", "Transact": {"ID": "1001"},
                                      "OrigTransact": {"ID": "1001"}})");
    expectMembers(json(R"~({"err": "0", "errMsg": "Успешное выполнение операции (offline)",
                            "Offline": "1", "CheckNum": "1001"})~"),
                  r);
    EXPECT_TRUE(gw.records("Order_Storno").empty());
    const std::string parent = col(row(gw, "ALL_OPERATIONS", "OperType = 3"), "id");
    EXPECT_EQ(parent, col(row(gw, "OFFLINE", "OperType = 4"), "parentid"));
    EXPECT_EQ(2u, gw.journal("SELECT ID FROM OFFLINE").size());

    // Offline yes-values: "Да" is one, lower-case "да" is not.
    gw.send(purchase("1002"));
    expectMembers(json(R"({"err": "0", "Offline": "1"})"),
                  payReturn(gw, reversal("1002", "R-2", R"(, "Offline": "Да")")));
    EXPECT_TRUE(gw.records("Order_Storno").empty());
    expectMembers(json(R"({"err": "0", "Offline": "0"})"),
                  payReturn(gw, reversal("1002", "R-3", R"(, "Offline": "да")")));
    EXPECT_EQ(1u, gw.records("Order_Storno").size());
}

TEST(PayReturn, ChequeNumbersWithQuotesAndSqlFindNothingAndHarmNothing) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    gw.send(purchase("1001"));
    const std::string evil = R"(1001' OR '1'='1'; DROP TABLE OFFLINE; --)";
    Json::Value r = payReturn(gw, R"({"CheckNum": ")" + evil + R"(", "StornoNum": ")" + evil +
                                      R"(", "OrigTransact": {"ID": ")" + evil +
                                      R"("}, "Transact": {"ID": "R-1"}})");
    EXPECT_EQ("0", r["err"].asString());
    // The purchase was not found: the request's number is sent as it is.
    EXPECT_EQ(evil, stornoOrder(gw.records("Order_Storno")[0])["StornoOrderNumber"].asString());
    EXPECT_EQ(2u, gw.journal("SELECT ID FROM ALL_OPERATIONS").size());
    EXPECT_TRUE(gw.journal("SELECT ID FROM OFFLINE").empty());
    EXPECT_EQ("<null>", col(row(gw, "ALL_OPERATIONS", "OperType = 4"), "parentid"));
}

TEST(PayReturn, RefusesMembersOfWrongTypesBeforeAnythingIsSent) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    for (const char* bad : {R"({"Check": {"art": "92"}})", R"({"OrigTransact": "1001"})",
                            R"({"Transact": {"ID": ["R-1"]}})", R"({"CheckNum": {}})", R"([1])"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(json(R"({"err": "-1", "errMsg": "Ошибка создания запроса"})"),
                  payReturn(gw, bad));
    }
    EXPECT_TRUE(gw.records("Order_Storno").empty());
    EXPECT_TRUE(gw.journal("SELECT ID FROM ALL_OPERATIONS").empty());
}
