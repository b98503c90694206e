// "Flush" and "SyncTask" through the real server and the CRM simulator, on
// purchases and reversals put into the server's journal as the commands
// journal them: the Batch_Order_Sync message element by element, the Flush
// replies of every outcome, what the journal keeps after each, day and
// shift tasks, refused parameters, and the batch call's own settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/runner/gateway.h"
#include "tests/storage/journal_fixture.h"
#include "tests/storage/journal_ops.h"

using namespace gatewaytest;
using journaltest::countRaw;
using journaltest::journal;
using journaltest::Operation;
using journaltest::Outcome;
using journaltest::payBonus;
using journaltest::payReturn;
using journaltest::PurchaseSpec;
using journaltest::ReversalSpec;
using journaltest::valueRaw;

namespace {

// Short time-outs, one attempt per batch.
const char kQuick[] =
    R"("ConnectTimeout": 1, "SendRecvTimeout": 2, "RetryOffSyncCount": 1, "RetryTaskCount": 1)";

Json::Value flush(Gateway& gw, const std::string& request = "{}") {
    return gw.send("\"Flush\": " + request)["Flush"];
}

// The body of the n-th Batch_Order_Sync the simulator received, as lines.
std::vector<std::string> batchBody(Gateway& gw, size_t n = 0) {
    auto sent = gw.records("Batch_Order_Sync");
    if (sent.size() <= n) return {};
    return soaptest::messageOf(sent[n]["xml"].asString()).body;
}

// The lines of the body that name an element, e.g. "que:OrderNum".
std::vector<std::string> linesOf(const std::vector<std::string>& body, const std::string& name) {
    std::vector<std::string> out;
    for (const std::string& line : body)
        if (line.find(name + "=") != std::string::npos) out.push_back(line.substr(line.find(name)));
    return out;
}

PurchaseSpec withTwoLines() {
    PurchaseSpec p;
    p.lines = R"([{"art": "95", "cnt": "30.5", "price": "52.10", "pay": "CASH", "payinfo": "NAL"},
                  {"intid": "B", "art": "12", "cnt": 2, "price": 100, "DiscountId": "D1",
                   "SubscriptionId": "S1", "DiscountCnt": "1"}])";
    return p;
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The station elements of the purchase of withTwoLines(), as sent in its
// GasRequest and as the ParentGasRequest of its reversal.
std::vector<std::string> purchaseStation() {
    return {"        que:GasTerminalId=T1",
            "        que:GasOperationDate=01/31/2024 12:00:05",
            "        que:GasStationId=AZS-7",
            "        que:GasStationOperId=17",
            "        que:GasStationOperatorName=Иванова",
            "        que:GasStationShiftNum=7"};
}

// Its goods: the first line's quantity and the two product codes as sent.
std::vector<std::string> goods(const std::string& quantity, const std::string& art1,
                               const std::string& art2) {
    return {"      que:ListOfOrderEntryItems",
            "        que:OrderEntryItem",
            "          que:IntegrationId=1",
            "          que:QuantityRequested=" + quantity,
            "          que:VEKBaseItemCost=52.1",
            "          que:VEKProductIntegrationId=" + art1,
            "          que:PaymentTypeDetail=NAL",
            "          que:PaymentType=CASH",
            "        que:OrderEntryItem",
            "          que:IntegrationId=B",
            "          que:QuantityRequested=2",
            "          que:VEKBaseItemCost=100",
            "          que:VEKProductIntegrationId=" + art2,
            "          que:PaymentTypeDetail=OTHER",
            "          que:PaymentType=MIX",
            "          que:DiscountId=D1",
            "          que:ItemDiscount=1",
            "          que:SubscriptionId=S1"};
}

const Json::Value kDelivered =
    json(R"({"err": 0, "errMsg": "Успешное выполнение операции", "Offline": "0"})");
const Json::Value kNothingToSend =
    json(R"({"err": "0", "errMsg": "Нет данных для синхронизации"})");

}  // namespace

TEST(Flush, SendsOfflinePurchasesAndReversalsAsOrdersOfTheOfflineBatch) {
    const struct {
        const char* name;
        bool reversal;                   // the purchase sent before, its reversal offline
        const char* members;             // more configuration
        std::vector<std::string> order;  // que:OrderEntry's lines after que:LoyCardNumber
    } cases[] = {
        {"a purchase, product codes zero-filled", false,
         R"("ProductIdZeros": true, "ProductIdLength": 6)",
         joined({{"      que:OrderNum=1001", "      que:ReconciliationType=Offline",
                  "      que:SourceSystem=VURIV", "      que:GasRequest"},
                 purchaseStation(),
                 {"        que:GasOperationDateUTC=01/31/2024 09:00:05"},
                 goods("30.5", "000095", "000012")})},
        {"a reversal: the purchase as parent, the quantities that remain", true, "",
         joined(
             {{"      que:OrderNum=2002", "      que:ParentOrderNum=1001",
               "      que:ReconciliationType=Offline", "      que:SourceSystem=VURIV",
               "      que:GasRequest", "        que:GasTerminalId=T2",
               "        que:GasOperationDate=02/01/2024 08:00:00", "        que:GasStationId=AZS-7",
               "        que:GasStationOperId=18", "        que:GasStationOperatorName=Петров",
               "        que:GasStationShiftNum=8",
               "        que:GasOperationDateUTC=02/01/2024 05:00:00", "      que:ParentGasRequest"},
              purchaseStation(),
              goods("20", "95", "12")})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gateway gw(Json::Value(Json::objectValue),
                   std::string(kQuick) + (*c.members ? ", " : "") + c.members);
        const Operation bought = payBonus(withTwoLines());
        journal(gw.journalPath(), bought, c.reversal ? Outcome::Online : Outcome::Offline);
        if (c.reversal) journal(gw.journalPath(), payReturn(bought), Outcome::Offline);
        EXPECT_EQ(kDelivered, flush(gw));
        const std::string batch =
            valueRaw(gw.journalPath(), "SELECT MAX(BatchID) FROM ALL_OPERATIONS");
        EXPECT_GT(std::stoll(batch), 1700000000LL);
        EXPECT_EQ(
            1, std::stoi(valueRaw(gw.journalPath(), "SELECT COUNT(BatchID) FROM ALL_OPERATIONS")));
        EXPECT_EQ(joined({{"tns:Batch_Order_Sync_Input", "  que:ListOfOrders", "    que:OrderEntry",
                           "      que:LoyCardType=Lumora", "      que:BatchId=" + batch,
                           "      que:LOYCardGSCount=1", "      que:LoyCardNumber=7001"},
                          c.order}),
                  batchBody(gw));
        EXPECT_EQ(0, countRaw(gw.journalPath(), "OFFLINE"));
        EXPECT_EQ(1u, gw.records("Batch_Order_Sync").size());
    }
}

TEST(Flush, AnswersEveryOutcomeAndReleasesOnlyWhatTheCrmReceived) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    const std::string db = gw.journalPath();
    EXPECT_EQ(kNothingToSend, flush(gw));
    journal(db, payBonus(), Outcome::Offline);

    const struct {
        const char* name;
        const char* scenario;
        const char* request;
        const char* reply;
        int offlineAfter;  // rows left in OFFLINE
    } cases[] = {
        {"the CRM closes every connection", R"({"down": true})", "{}",
         R"({"err": "-1", "errMsg": "Нет связи", "Offline": "1"})", 1},
        {"a SOAP fault", R"({"Batch_Order_Sync": {"reply": {"fault": {
             "string": "Queue's full", "detail": "retry later"}}}})",
         "{}", R"({"err": "2", "errMsg": "Queue s full", "Offline": "1"})", 1},
        {"SQL in the date", "{}", R"({"Date": "2024'; DROP TABLE OFFLINE; --"})",
         R"({"err": "-1", "errMsg": "Ошибка создания запроса"})", 1},
        {"quotes in the shift", "{}", R"({"Shift": "7' OR '1'='1"})",
         R"({"err": "-1", "errMsg": "Ошибка создания запроса"})", 1},
        {"a date that is no day", "{}", R"({"Date": "2024-01-31"})",
         R"({"err": "-1", "errMsg": "Ошибка создания запроса"})", 1},
        {"the CRM's error code: delivered", R"({"Batch_Order_Sync": {"reply": {"body": {
             "ErrorCode": "7", "ErrorMessage": "Очередь 'A' занята"}}}})",
         "{}",
         R"({"err": 7, "errMsg": "Выявлена ошибка", "errInfo": "Очередь 'A' занята",
             "Offline": "0"})",
         0},
        {"then nothing is left", "{}", "{}",
         R"({"err": "0", "errMsg": "Нет данных для синхронизации"})", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gw.sim().setScenario(json(c.scenario));
        Json::Value r = flush(gw, c.request);
        r.removeMember("zvnErrMsg");
        EXPECT_EQ(json(c.reply), r);
        EXPECT_EQ(c.offlineAfter, countRaw(db, "OFFLINE"));
    }
    // Refused values queued nothing and sent nothing; the fault and the
    // error code reached the CRM once each.
    EXPECT_EQ(0, countRaw(db, "SyncTask"));
    EXPECT_EQ(2u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ(1, countRaw(db, "ALL_OPERATIONS"));
    const auto log = gw.log();
    EXPECT_EQ(3, std::count_if(log.begin(), log.end(), [](const std::string& line) {
                  return line.rfind("Параметры задания синхронизации отклонены", 0) == 0;
              }));
}

TEST(Flush, OfflineWorkReachesTheCrmOnceWhenItIsBackUp) {
    Gateway gw(Json::Value(Json::objectValue), std::string(kQuick) + R"(, "RetryCount": 1)");
    const std::string db = gw.journalPath();
    gw.sim().stop();
    // A purchase that spends no points, accepted offline by the server.
    const Json::Value paid = gw.send(R"("PayBonus": {"CardNum": "7001", "CheckNum": "1001",
        "Check": [{"art": "95", "cnt": "30.5", "price": "52.10"}],
        "Transact": {"ID": "1001", "Location": "AZS-7", "Terminal": "T1", "shift": 7}})")
                                 ["PayBonus"];
    ASSERT_EQ("1", paid["Offline"].asString()) << paid;
    const auto rows = gw.journal("SELECT ID, Request FROM OFFLINE");
    ASSERT_EQ(1u, rows.size());
    // Its reversal, journalled offline as "PayReturn" journals it, later on.
    Operation bought;
    bought.record.ID(rows[0].at("id"));
    bought.request = json(rows[0].at("request"));
    ReversalSpec r;
    r.dateTime = bought.request["PayBonus"]["Transact"]["DateTime"].asString();
    r.timeValue = "1706774400.999999";
    journal(db, payReturn(bought, r), Outcome::Offline);

    EXPECT_EQ(json(R"({"err": "28", "errMsg": "Нет связи", "Offline": "1"})"), [&] {
        Json::Value reply = flush(gw);
        reply.removeMember("zvnErrMsg");
        return reply;
    }());
    EXPECT_EQ(2, countRaw(db, "OFFLINE"));
    EXPECT_EQ("<null>", valueRaw(db, "SELECT MAX(BatchID) FROM ALL_OPERATIONS"));

    gw.sim().restart();
    EXPECT_EQ(kDelivered, flush(gw));
    EXPECT_EQ(kNothingToSend, flush(gw));
    ASSERT_EQ(1u, gw.records("Batch_Order_Sync").size());
    EXPECT_TRUE(gw.records("Proc_Order").empty());
    const auto body = batchBody(gw);
    EXPECT_EQ(1, std::count(body.begin(), body.end(), "    que:OrderEntry"));
    EXPECT_EQ(std::vector<std::string>({"que:OrderNum=2002"}), linesOf(body, "que:OrderNum"));
    EXPECT_EQ(std::vector<std::string>({"que:ParentOrderNum=1001"}),
              linesOf(body, "que:ParentOrderNum"));
    EXPECT_EQ(std::vector<std::string>({"que:QuantityRequested=20"}),
              linesOf(body, "que:QuantityRequested"));
    EXPECT_EQ(std::vector<std::string>({"que:GasOperationDateUTC=02/01/2024 05:00:00"}),
              linesOf(body, "que:GasOperationDateUTC"));
    EXPECT_EQ(0, countRaw(db, "OFFLINE"));
    EXPECT_EQ("2", valueRaw(db, "SELECT COUNT(*) FROM ALL_OPERATIONS WHERE BatchID IS NOT NULL"));
}

TEST(Flush, SendsTheOperationsOfADayOrAShiftThroughATask) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    const std::string db = gw.journalPath();
    PurchaseSpec dayOne;
    journal(db, payBonus(dayOne), Outcome::Online);
    PurchaseSpec dayTwo;
    dayTwo.cheque = "1005";
    dayTwo.dateTime = "20240201100000";
    dayTwo.shift = 8;
    journal(db, payBonus(dayTwo), Outcome::Online);

    // Ten characters: the day is the first eight.
    EXPECT_EQ(kDelivered, flush(gw, R"({"Date": "2024013115"})"));
    auto body = batchBody(gw, 0);
    EXPECT_EQ(std::vector<std::string>({"que:OrderNum=1001"}), linesOf(body, "que:OrderNum"));
    EXPECT_EQ(std::vector<std::string>({"que:ReconciliationType=Reconciliation"}),
              linesOf(body, "que:ReconciliationType"));
    const std::string batch = linesOf(body, "que:BatchId").at(0).substr(12);
    EXPECT_GT(std::stoll(batch), 1700000000LL);
    EXPECT_EQ(0, countRaw(db, "SyncTask"));  // sent: the task is gone

    EXPECT_EQ(kDelivered, flush(gw, R"({"Shift": 8})"));
    body = batchBody(gw, 1);
    EXPECT_EQ(std::vector<std::string>({"que:OrderNum=1005"}), linesOf(body, "que:OrderNum"));
    EXPECT_GT(std::stoll(linesOf(body, "que:BatchId").at(0).substr(12)), std::stoll(batch));

    // Seven characters are no day: the offline batch, empty here.
    EXPECT_EQ(kNothingToSend, flush(gw, R"({"Date": "2024013"})"));
    // A day without operations: its task is released at once.
    EXPECT_EQ(kNothingToSend, flush(gw, R"({"Date": "20240315"})"));
    EXPECT_EQ(0, countRaw(db, "SyncTask"));

    // A task whose batch did not reach the CRM stays queued for the worker.
    gw.sim().setScenario(json(R"({"down": true})"));
    EXPECT_EQ("-1", flush(gw, R"({"Date": "20240201"})")["err"].asString());
    EXPECT_EQ("20240201|5", valueRaw(db, "SELECT Datetime || '|' || Priority FROM SyncTask"));
    EXPECT_EQ(2u, gw.records("Batch_Order_Sync").size());
}

TEST(SyncTask, QueuesEveryTaskAndRefusesWhatIsNoDayOrShift) {
    Gateway gw(Json::Value(Json::objectValue), kQuick);
    const std::string db = gw.journalPath();
    const struct {
        const char* request;
        const char* err;
        const char* errMsg;
    } cases[] = {
        {"{}", "16", "Не заданы параметры задания"},
        {R"({"Date": "2024013"})", "16", "Не заданы параметры задания"},
        {R"({"Date": "2024'); DELETE FROM SyncTask; --"})", "16", "Не заданы параметры задания"},
        {R"({"Shift": "1; DROP TABLE OFFLINE"})", "16", "Не заданы параметры задания"},
        {R"({"Date": "20240131", "Shift": "x'"})", "16", "Не заданы параметры задания"},
        {R"({"Date": "20240131"})", "0", "Успешное добавление задания"},
        {R"({"Shift": "7"})", "0", "Успешное добавление задания"},
        {R"({"Date": "2024013123", "Shift": 7})", "0", "Успешное добавление задания"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        const Json::Value r = gw.send("\"SyncTask\": " + std::string(c.request))["SyncTask"];
        EXPECT_EQ(
            json(std::string(R"({"err": ")") + c.err + R"(", "errMsg": ")" + c.errMsg + "\"}"), r);
    }
    EXPECT_EQ(3, countRaw(db, "SyncTask"));
    std::vector<std::string> queued;
    for (const storage::Row& row :
         journaltest::queryRaw(db, "SELECT Datetime, Shift, Priority FROM SyncTask ORDER BY ID")) {
        auto value = [&row](const char* name) {
            const std::string* v = storage::column(row, name);
            return v != nullptr ? *v : "-";
        };
        queued.push_back(value("datetime") + " " + value("shift") + " " + value("priority"));
    }
    EXPECT_EQ(std::vector<std::string>({"20240131 - 20", "- 7 20", "20240131 7 20"}), queued);

    // Several within one second: each its own task.
    for (int i = 0; i < 4; i++)
        EXPECT_EQ("0", gw.send(R"("SyncTask": {"Shift": "9"})")["SyncTask"]["err"].asString());
    EXPECT_EQ(7, countRaw(db, "SyncTask"));
    EXPECT_EQ("7", valueRaw(db, "SELECT COUNT(DISTINCT ID) FROM SyncTask"));
    EXPECT_EQ("7", valueRaw(db, "SELECT COUNT(DISTINCT BatchID) FROM SyncTask"));
    EXPECT_TRUE(gw.records("Batch_Order_Sync").empty());
    EXPECT_EQ(0, countRaw(db, "OFFLINE"));  // the table is still there
}

TEST(Flush, BatchesUseTheirOwnRetriesTimeOutsAndTokenRule) {
    Gateway gw(json(R"({"Connection_Check": {"reply": {"header": {"SessionToken": "T1"}}},
                        "Batch_Order_Sync": {"reply": {"drop": true}}})"),
               R"("UserId": "pos", "UserPass": "pw", "ConnectTimeout": 1, "SendRecvTimeout": 2,
                  "RetryOffSyncCount": 1, "SendRecvOffSyncTimeout": 0,
                  "RetryTaskCount": 2, "SendRecvTaskTimeout": 3)");
    journal(gw.journalPath(), payBonus(), Outcome::Offline);

    // The offline batch: one attempt, the interactive time-out (0 is below it).
    EXPECT_EQ("-1", flush(gw)["err"].asString());
    // The task batch: two attempts; the token on the first one only.
    EXPECT_EQ("-1", flush(gw, R"({"Date": "20240131"})")["err"].asString());
    auto sent = gw.records("Batch_Order_Sync");
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(json(R"({"SessionToken": "T1", "SessionType": "Stateless"})"), sent[0]["header"]);
    EXPECT_EQ(json(R"({"SessionToken": "T1", "SessionType": "Stateless"})"), sent[1]["header"]);
    EXPECT_EQ(json(R"({"UsernameToken": "pos", "PasswordText": "pw", "SessionType": "Stateless"})"),
              sent[2]["header"]);

    // The time-outs each batch logged after its start line.
    std::vector<std::string> timeouts;
    bool inBatch = false;
    for (const std::string& line : gw.log()) {
        if (line == "Запуск синхронизации offline транзакций") inBatch = true;
        if (inBatch && line.rfind("Используются таймауты", 0) == 0) timeouts.push_back(line);
    }
    const std::string prefix = "Используются таймауты для соединения/отправки/приема данных : ";
    EXPECT_EQ(std::vector<std::string>(
                  {prefix + "(1/2/2) cек.", prefix + "(1/3/3) cек.", prefix + "(1/3/3) cек."}),
              timeouts);
}
