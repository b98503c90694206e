// "Undo" through the real server, the CRM simulator and the journal file:
// the last purchase of a cheque reversed (and the reversal journalled behind
// it), offline when the purchase has not been sent yet or the CRM cannot be
// reached; held points released; and the undos that are refused.
#include <gtest/gtest.h>

#include <ctime>

#include "storage/sqlite_handle.h"
#include "tests/runner/gateway.h"

using namespace gatewaytest;

namespace {

const char* const kQuick = R"("RetryCount": 1, "ConnectTimeout": 1, "SendRecvTimeout": 2)";

std::string purchase(const std::string& cheque, const std::string& more = "") {
    return R"("PayBonus": {"CardNum": "7001", "CheckNum": ")" + cheque + "\"" + more +
           R"(, "Check": [{"intid": "1", "art": "95", "cnt": "10", "price": "52.10"}],
               "Transact": {"ID": ")" +
           cheque + R"(", "Location": "AZS-7", "Terminal": "T1", "shift": 3}})";
}

Json::Value undo(Gateway& gw, const std::string& request) {
    return gw.send("\"Undo\": " + request)["Undo"];
}

storage::Row only(Gateway& gw, const std::string& sql) {
    auto rows = gw.journal(sql);
    EXPECT_EQ(1u, rows.size()) << sql;
    return rows.empty() ? storage::Row() : rows[0];
}

bool logged(Gateway& gw, const std::string& message) {
    auto log = gw.log();
    return std::find(log.begin(), log.end(), message) != log.end();
}

const char* const kDone = R"({"err": "0", "errMsg": "Успешное завершение операции"})";
const char* const kNothing =
    R"({"err": "1", "errMsg": "Отсутствует операция с данным номером заказа для отмены"})";

}  // namespace

TEST(Undo, ReversesTheLastPurchaseOfTheChequeAndJournalsTheReversal) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    ASSERT_EQ(0, gw.send(purchase("1001"))["PayBonus"]["err"].asInt());
    const storage::Row bought = only(gw, "SELECT * FROM ALL_OPERATIONS WHERE OperType = 3");

    Json::Value r = undo(gw, R"({"CheckNum": "1001"})");
    expectMembers(json(kDone), r);
    EXPECT_EQ("0", r["Offline"].asString());

    auto sent = gw.records("Order_Storno");
    ASSERT_EQ(1u, sent.size());
    const Json::Value& order = sent[0]["body"]["ListOfOrder"]["OrderEntry-Orders"];
    // The purchase's own cheque number on both sides, its lines and its date.
    EXPECT_EQ("1001", order["NewOrderNumber"].asString());
    EXPECT_EQ("1001", order["StornoOrderNumber"].asString());
    EXPECT_EQ(json(R"([{"IntegrationId": "1", "QuantityRequested": "10",
                        "VEKProductIntegrationId": "95"}])"),
              order["ListOfOrderEntry-LineItems"]["OrderEntry-LineItems"]);
    const std::string dt = col(bought, "datetime");
    EXPECT_EQ(dt.substr(4, 2) + "/" + dt.substr(6, 2) + "/" + dt.substr(0, 4) + " " +
                  dt.substr(8, 2) + ":" + dt.substr(10, 2) + ":" + dt.substr(12, 2),
              order["StornoGasRequest"][0]["GasOperationDate"].asString());

    const storage::Row reversed = only(gw, "SELECT * FROM ALL_OPERATIONS WHERE OperType = 4");
    EXPECT_EQ(col(bought, "id"), col(reversed, "parentid"));
    EXPECT_EQ("1001", col(reversed, "chequeid"));
    EXPECT_EQ("0", col(reversed, "errorcode"));
    EXPECT_EQ("0", col(reversed, "offline"));
    EXPECT_NE("<null>", col(reversed, "response"));
    EXPECT_TRUE(
        logged(gw, "Найдена запись c транзакцией " + col(bought, "id") + " для возможной отмены"));
    EXPECT_TRUE(logged(gw, "Проверка существующей записи на состояние OFFLINE : отсутствует"));
    EXPECT_TRUE(logged(gw, "Сохранение запроса в БД (Undo)"));
    EXPECT_TRUE(logged(gw, "Сохранение ответа на запрос в БД (Undo)"));

    // The newest record is now the reversal: nothing more to undo.
    expectMembers(json(kNothing), undo(gw, R"({"CheckNum": "1001"})"));
    EXPECT_EQ(1u, gw.records("Order_Storno").size());
}

TEST(Undo, CancelsOfflineWhatHasNotBeenSentOrCannotBe) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    // A purchase still waiting in OFFLINE is reversed offline, behind it.
    ASSERT_EQ("0", gw.send(purchase("1001", R"(, "Offline": "1")"))["PayBonus"]["err"].asString());
    const std::string key = col(only(gw, "SELECT ID FROM OFFLINE"), "id");
    Json::Value r = undo(gw, R"({"CheckNum": "1001"})");
    expectMembers(json(kDone), r);
    EXPECT_EQ("1", r["Offline"].asString());
    EXPECT_FALSE(r["InfoMsg"].asString().empty());
    EXPECT_TRUE(gw.records("Order_Storno").empty());
    EXPECT_TRUE(logged(gw,
                       "Проверка существующей записи на состояние OFFLINE : Найдена offline "
                       "запись c ID '" +
                           key + "'"));
    storage::Row queued = only(gw, "SELECT * FROM OFFLINE WHERE OperType = 4");
    EXPECT_EQ(key, col(queued, "parentid"));
    EXPECT_EQ("1",
              col(only(gw, "SELECT Offline FROM ALL_OPERATIONS WHERE OperType = 4"), "offline"));

    // The CRM unreachable: the reversal is accepted and kept for later.
    ASSERT_EQ(0, gw.send(purchase("1002"))["PayBonus"]["err"].asInt());
    gw.sim().stop();
    r = undo(gw, R"({"CheckNum": "1002"})");
    expectMembers(json(kDone), r);
    queued = only(gw, "SELECT * FROM OFFLINE WHERE ChequeID = '1002'");
    EXPECT_EQ("4", col(queued, "opertype"));
    EXPECT_EQ("28", col(only(gw,
                             "SELECT ErrorCode FROM ALL_OPERATIONS WHERE OperType = 4 AND "
                             "ChequeID = '1002'"),
                        "errorcode"));
}

TEST(Undo, ReleasesHeldPointsWhenTheNewestRecordNamesNoCheque) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    ASSERT_EQ("0", gw.send(R"("HoldBonus": {"CardNum": "7001", "CheckNum": "3001",
                              "Check": [{"points": 50}],
                              "Transact": {"ID": "3001", "Location": "AZS-7"}})")["HoldBonus"]
                                                                                 ["err"]
                                                                                     .asString());
    // Holds are not journalled: the newest record decides. One without a
    // cheque number (and without a stored request) leaves the hold in place.
    {
        storage::Connection conn;
        ASSERT_EQ(SQLITE_OK, conn.open(gw.journalPath(), SQLITE_OPEN_READWRITE));
        time_t t = time(nullptr);
        char now[16];
        strftime(now, sizeof now, "%Y%m%d%H%M%S", localtime(&t));
        ASSERT_EQ(SQLITE_OK, conn.exec(std::string("INSERT INTO ALL_OPERATIONS (ID, DateTime, "
                                                   "OperType) VALUES ('X', '") +
                                       now + "', 3)"));
    }
    Json::Value r = undo(gw, R"({"CheckNum": "3001"})");
    expectMembers(json(kDone), r);
    auto released = gw.records("Unhold_Points");
    ASSERT_EQ(1u, released.size());
    EXPECT_EQ("3001", released[0]["body"]["OrderNumber"].asString());
    EXPECT_EQ("AZS-7", released[0]["body"]["GasStationId"].asString());
    EXPECT_TRUE(gw.records("Order_Storno").empty());
}

TEST(Undo, RefusesWhatItCannotUndo) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    // An empty journal, then a purchase of another cheque, then none named.
    expectMembers(json(kNothing), undo(gw, R"({"CheckNum": "1001"})"));
    EXPECT_TRUE(logged(gw, "Отсутствуют текущие операции для отмены по транзакции '1001'"));
    gw.send(purchase("1001"));
    expectMembers(json(kNothing), undo(gw, R"({"CheckNum": "1002"})"));
    EXPECT_TRUE(logged(gw,
                       "Найденная запись c операцией по транзакции '1001' не сответствует "
                       "номеру отменяемой транзакции 1002 - отмена невозможна"));
    expectMembers(json(kNothing), undo(gw, R"({})"));
    // A reversal is the newest record.
    gw.send(R"("PayReturn": {"CheckNum": "1001", "OrigTransact": {"ID": "1001"},
                              "Transact": {"ID": "1001", "Terminal": "T1"}})");
    expectMembers(json(kNothing), undo(gw, R"({"CheckNum": "1001"})"));
    EXPECT_TRUE(logged(gw,
                       "Последняя операция не является операцией начисления/списания "
                       "бонусов - Отмена не будет выполнена"));
    // Asked offline, a refusal says so.
    EXPECT_EQ("1", undo(gw, R"({"CheckNum": "1001", "Offline": "1"})")["Offline"].asString());
    EXPECT_EQ(1u, gw.records("Order_Storno").size());  // the PayReturn only
}
