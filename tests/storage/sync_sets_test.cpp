// Synchronisation sets: the offline batch and task batches collected from
// journal rows into orders (reversals merged into their purchases with the
// quantities that remain), the release of a delivered offline batch, and
// what happens to rows that yield no order.
#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

#include "common/convert.h"
#include "common/json_util.h"
#include "tests/storage/journal_fixture.h"
#include "tests/storage/journal_ops.h"

using journaltest::countRaw;
using journaltest::execRaw;
using journaltest::journal;
using journaltest::JournalTest;
using journaltest::Operation;
using journaltest::Outcome;
using journaltest::payBonus;
using journaltest::payReturn;
using journaltest::PurchaseSpec;
using journaltest::ReversalSpec;
using journaltest::valueRaw;
using storage::FlushOrderList;

namespace {

Json::Value json(const std::string& text) {
    Json::Value v;
    EXPECT_TRUE(parseJsonRequest(text, v)) << text;
    return v;
}

Json::Value requestJson(const storage::RequestInfo& r) {
    Json::Value v;
    v["DateTime"] = r.DateTime;
    v["DateTimeUTC"] = r.DateTimeUTC;
    v["Location"] = r.Location;
    v["Shift"] = r.Shift;
    v["OperID"] = r.OperID;
    v["OperFIO"] = r.OperFIO;
    v["Terminal"] = r.Terminal;
    return v;
}

// An order as JSON, to compare it whole; BatchID is left out (tests compare
// it with the journal's number).
Json::Value orderJson(const storage::FlushOrder& o) {
    Json::Value v;
    v["ID"] = o.ID;
    v["ParentKey"] = o.ParentKey;
    v["CardNum"] = o.CardNum;
    v["CardIdent"] = o.CardIdent;
    v["GSCount"] = o.GSCount;
    v["ChequeNum"] = o.ChequeNum;
    v["OrderNum"] = o.OrderNum;
    if (o.Request) v["Request"] = requestJson(*o.Request);
    if (o.ParentRequest) v["ParentRequest"] = requestJson(*o.ParentRequest);
    v["Items"] = Json::arrayValue;
    for (const storage::FlushOrderElem& e : o.Items) {
        Json::Value item;
        item["IntId"] = e.IntId;
        item["Art"] = e.Art;
        item["Cnt"] = e.Cnt;
        item["Price"] = e.Price;
        item["Pay"] = e.Pay;
        item["PayInfo"] = e.PayInfo;
        if (e.DiscountId) item["DiscountId"] = *e.DiscountId;
        if (e.SubscriptionId) item["SubscriptionId"] = *e.SubscriptionId;
        if (e.DiscountCnt) item["DiscountCnt"] = *e.DiscountCnt;
        v["Items"].append(item);
    }
    v["Rows"] = Json::arrayValue;
    for (const std::string& r : o.Rows) v["Rows"].append(r);
    return v;
}

// The items of an order as "IntId Art Cnt" lines.
std::vector<std::string> itemLines(const storage::FlushOrder& o) {
    std::vector<std::string> lines;
    for (const auto& e : o.Items) lines.push_back(e.IntId + " " + e.Art + " " + n2str(e.Cnt));
    return lines;
}

const char kPurchaseKey[] = "20240131120005.123456#1001";
const char kReversalKey[] = "20240201080000.000000#2002";

// Station data of the default purchase and reversal.
const char kPurchaseStation[] = R"({"DateTime": "20240131120005",
    "DateTimeUTC": "01/31/2024 09:00:05", "Location": "AZS-7", "Shift": 7, "OperID": "17",
    "OperFIO": "Иванова", "Terminal": "T1"})";
const char kReversalStation[] = R"({"DateTime": "20240201080000",
    "DateTimeUTC": "02/01/2024 05:00:00", "Location": "AZS-7", "Shift": 8, "OperID": "18",
    "OperFIO": "Петров", "Terminal": "T2"})";

PurchaseSpec twoLines() {
    PurchaseSpec p;
    p.lines = R"([{"art": "95", "cnt": "30.5", "price": "52.10", "pay": "CASH", "payinfo": "NAL"},
                  {"intid": "B", "art": "12", "cnt": 2, "price": 100, "DiscountId": "D1",
                   "DiscountCnt": "1"}])";
    return p;
}

std::string mergedOrder(const std::string& id, const std::string& rows) {
    return R"({"ID": ")" + id + R"(", "ParentKey": ")" + kPurchaseKey +
           R"(", "CardNum": "7001", "CardIdent": 0, "GSCount": 1,
        "ChequeNum": "2002", "OrderNum": "1001",
        "Request": )" +
           kReversalStation + R"(, "ParentRequest": )" + kPurchaseStation + R"(,
        "Items": [
          {"IntId": "1", "Art": "95", "Cnt": 20.0, "Price": 52.1, "Pay": "CASH",
           "PayInfo": "NAL"},
          {"IntId": "B", "Art": "12", "Cnt": 2.0, "Price": 100.0, "Pay": "MIX",
           "PayInfo": "OTHER", "DiscountId": "D1", "DiscountCnt": 1.0}],
        "Rows": )" +
           rows + "}";
}

}  // namespace

TEST_F(JournalTest, OfflinePurchaseAndItsReversalBecomeOneOrderWithTheRemainingQuantities) {
    const Operation bought = payBonus(twoLines());
    journal(db_, bought, Outcome::Offline);
    journal(db_, payReturn(bought), Outcome::Offline);
    FlushOrderList set;
    ASSERT_EQ(db_.getOfflineOrders(&set), storage::DB_OK);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(orderJson(set[0]),
              json(mergedOrder(kPurchaseKey, std::string("[\"") + kPurchaseKey + "\", \"" +
                                                 kReversalKey + "\"]")));
    const std::string batch = valueRaw(path(), "SELECT BatchID FROM BatchCount");
    EXPECT_EQ(set[0].BatchID, batch);
    EXPECT_GT(std::stoll(batch), 1700000000LL);  // numbered by the clock

    // Delivered: both rows leave OFFLINE and carry the batch number.
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    EXPECT_EQ(valueRaw(path(), "SELECT COUNT(*) FROM ALL_OPERATIONS WHERE BatchID = " + batch),
              "2");
    EXPECT_EQ(db_.clearOfflineSyncTemp(), storage::DB_OK);
    EXPECT_FALSE(db_._chk_table_exists("temp_batch"));
}

TEST_F(JournalTest, OfflineReversalOfAPurchaseSentEarlierIsBuiltFromThePurchasesRequest) {
    const Operation bought = payBonus(twoLines());
    journal(db_, bought, Outcome::Online);
    journal(db_, payReturn(bought), Outcome::Offline);
    FlushOrderList set;
    ASSERT_EQ(db_.getOfflineOrders(&set), storage::DB_OK);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(orderJson(set[0]),
              json(mergedOrder(kReversalKey, std::string("[\"") + kReversalKey + "\"]")));

    // The purchase is not in OFFLINE: only the reversal is released.
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    EXPECT_EQ(valueRaw(path(), "SELECT COUNT(*) FROM ALL_OPERATIONS WHERE BatchID IS NOT NULL"),
              "1");
}

TEST(SyncSets, ReversalsTakeTheirQuantitiesOffTheLinesTheyName) {
    const struct {
        const char* name;
        const char* purchase;                // "Check" of the purchase
        std::vector<const char*> reversals;  // "Check" of each reversal
        std::vector<std::string> items;      // "IntId Art Cnt"
    } cases[] = {
        {"a full return keeps its lines with nothing left",
         R"([{"intid": "1", "art": "95", "cnt": "30.5"}, {"intid": "2", "art": "92", "cnt": 2}])",
         {R"([{"intid": "1", "art": "95", "cnt": "30.5"}, {"intid": "2", "art": "92", "cnt": 2}])"},
         {"1 95 0", "2 92 0"}},
        {"lines without intid are numbered by their place, nulls counted",
         R"([{"art": "95", "cnt": 10}, null, {"art": "92", "cnt": 3}])",
         {R"([null, null, {"art": "92", "cnt": 1}])"},
         {"1 95 10", "3 92 2"}},
        {"a returned line at another place names another line",
         R"([{"art": "95", "cnt": 10}, {"art": "92", "cnt": 3}])",
         {R"([{"art": "92", "cnt": 1}])"},
         {"1 95 10", "2 92 3"}},
        {"the product code must match too",
         R"([{"intid": "1", "art": "95", "cnt": 10}])",
         {R"([{"intid": "1", "art": "92", "cnt": 4}])"},
         {"1 95 10"}},
        {"two reversals of one purchase make one order",
         R"([{"intid": "1", "art": "95", "cnt": "30.5"}])",
         {R"([{"intid": "1", "art": "95", "cnt": "10.5"}])",
          R"([{"intid": "1", "art": "95", "cnt": "5"}])"},
         {"1 95 15"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        storage::zelvanDb db(dir.file("zelvan.db3").c_str());
        ASSERT_EQ(db.initDb(), storage::DB_OK);
        PurchaseSpec p;
        p.lines = c.purchase;
        const Operation bought = payBonus(p);
        journal(db, bought, Outcome::Offline);
        for (size_t i = 0; i < c.reversals.size(); i++) {
            ReversalSpec r;
            r.cheque = std::to_string(2002 + i);
            r.timeValue = "1706774400.00000" + std::to_string(i);
            r.lines = c.reversals[i];
            journal(db, payReturn(bought, r), Outcome::Offline);
        }
        FlushOrderList set;
        ASSERT_EQ(db.getOfflineOrders(&set), storage::DB_OK);
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(itemLines(set[0]), c.items);
        EXPECT_EQ(set[0].Rows.size(), 1 + c.reversals.size());
    }
}

TEST_F(JournalTest, RowsThatYieldNoOrderAreNamedBeforeTheyLeaveOffline) {
    PurchaseSpec unreadable;
    unreadable.cheque = "1002";
    journal(db_, payBonus(unreadable), Outcome::Offline);
    execRaw(path(), "UPDATE OFFLINE SET Request = '{\"PayBonus\": ' WHERE ChequeID = '1002'");
    PurchaseSpec noLines;
    noLines.cheque = "1003";
    noLines.lines = "[]";
    journal(db_, payBonus(noLines), Outcome::Offline);
    PurchaseSpec neverJournalled;  // the reversal's purchase is not in the journal
    neverJournalled.cheque = "0999";
    journal(db_, payReturn(payBonus(neverJournalled)), Outcome::Offline);
    const Operation good = payBonus();
    journal(db_, good, Outcome::Offline);

    FlushOrderList set;
    ASSERT_EQ(db_.getOfflineOrders(&set), storage::DB_OK);
    ASSERT_EQ(set.size(), 2u);  // the purchase without goods is an order, but not sent
    EXPECT_EQ(set[0].ID, "20240131120005.123456#1001");
    EXPECT_TRUE(set[0].sendable());
    EXPECT_EQ(set[1].ID, "20240131120005.123456#1003");
    EXPECT_FALSE(set[1].sendable());

    testing::internal::CaptureStderr();
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* key : {"20240131120005.123456#1002", "20240131120005.123456#1003",
                            "20240201080000.000000#2002"}) {
        EXPECT_NE(err.find("Операция не передана в ZelvanCRM и удаляется из очереди offline: " +
                           std::string(key)),
                  std::string::npos)
            << key << "\n"
            << err;
    }
    EXPECT_EQ(err.find("#1001"), std::string::npos) << err;
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    // They stay in the journal, marked with the batch.
    EXPECT_EQ(valueRaw(path(), "SELECT COUNT(*) FROM ALL_OPERATIONS WHERE BatchID IS NOT NULL"),
              "4");
}

TEST_F(JournalTest, OfflineReversalWithoutAnOutcomeWaitsForTheNextBatch) {
    const Operation bought = payBonus();
    journal(db_, bought, Outcome::Offline);
    Operation reversal = payReturn(bought);
    reversal.record.Offline(true);  // journalled offline, reply not stored yet
    ASSERT_EQ(db_.InsRequest(&reversal.record, reversal.request), storage::DB_DONE);
    FlushOrderList set;
    ASSERT_EQ(db_.getOfflineOrders(&set), storage::DB_OK);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].Rows.size(), 1u);
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    EXPECT_EQ(valueRaw(path(), "SELECT ID FROM OFFLINE"), kReversalKey);
}

TEST_F(JournalTest, AFailedReleaseKeepsBothTheRowsAndTheJournalUnmarked) {
    journal(db_, payBonus(), Outcome::Offline);
    FlushOrderList set;
    ASSERT_EQ(db_.getOfflineOrders(&set), storage::DB_OK);
    // The deletion fails after the batch number was written.
    execRaw(path(),
            "CREATE TRIGGER keep BEFORE DELETE ON OFFLINE BEGIN SELECT RAISE(ABORT, 'kept'); END");
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_.releaseOfflineSyncTask(), SQLITE_CONSTRAINT);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Ошибка обновления данных синзронизации: kept"), std::string::npos) << err;
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 1);
    EXPECT_EQ(valueRaw(path(), "SELECT BatchID FROM ALL_OPERATIONS"), "<null>");

    execRaw(path(), "DROP TRIGGER keep");
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    EXPECT_EQ(valueRaw(path(), "SELECT BatchID FROM ALL_OPERATIONS"), set[0].BatchID);
}

TEST_F(JournalTest, EveryOfflineBatchGetsANewNumberAndLaterRowsWaitForTheNext) {
    journal(db_, payBonus(), Outcome::Offline);
    FlushOrderList first;
    ASSERT_EQ(db_.getOfflineOrders(&first), storage::DB_OK);
    PurchaseSpec later;
    later.cheque = "1002";
    journal(db_, payBonus(later), Outcome::Offline);  // arrives while the batch is out
    ASSERT_EQ(db_.releaseOfflineSyncTask(), storage::DB_OK);
    EXPECT_EQ(valueRaw(path(), "SELECT ChequeID FROM OFFLINE"), "1002");

    FlushOrderList second;
    ASSERT_EQ(db_.getOfflineOrders(&second), storage::DB_OK);  // within the same second
    ASSERT_EQ(second.size(), 1u);
    EXPECT_GT(std::stoll(second[0].BatchID), std::stoll(first[0].BatchID));
}

TEST_F(JournalTest, TaskBatchesTakeTheirDayOrShiftWithTheTasksNumber) {
    PurchaseSpec dayOne;  // 31 January, shift 7, answered
    journal(db_, payBonus(dayOne), Outcome::Online);
    PurchaseSpec unanswered = dayOne;  // no outcome: not sent with a task
    unanswered.cheque = "1004";
    journal(db_, payBonus(unanswered), Outcome::Interrupted);
    PurchaseSpec dayTwo;  // 1 February, shift 8
    dayTwo.cheque = "1005";
    dayTwo.dateTime = "20240201100000";
    dayTwo.shift = 8;
    journal(db_, payBonus(dayTwo), Outcome::Offline);
    // The reversal of the first purchase, on day two in shift 8, without a reply.
    journal(db_, payReturn(payBonus(dayOne)), Outcome::Interrupted);

    const struct {
        const char* date;
        const char* shift;
        std::vector<std::string> orders;  // IDs
    } cases[] = {
        {"20240131", nullptr, {kPurchaseKey}},
        {nullptr, "8", {kReversalKey, "20240201100000.123456#1005"}},
        {"20240201", "8", {kReversalKey, "20240201100000.123456#1005"}},
        {"20240201", "7", {}},
        // The reversal joins its purchase's order.
        {"2024", nullptr, {kPurchaseKey, "20240201100000.123456#1005"}},
        // Values are data, never statement text.
        {"2024' OR '1'='1", nullptr, {}},
        {nullptr, "8 OR 1=1", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.date ? c.date : "-") + " / " + (c.shift ? c.shift : "-"));
        storage::TaskSync task;
        task.setDate(c.date);
        task.setShift(c.shift);
        task.setBatchId("1706800000");
        FlushOrderList set;
        ASSERT_EQ(db_.getDaySyncOrders(&set, &task), storage::DB_OK);
        std::vector<std::string> ids;
        for (const auto& o : set) {
            ids.push_back(o->ID);
            EXPECT_EQ(o->BatchID, "1706800000");
        }
        EXPECT_EQ(ids, c.orders);
        EXPECT_EQ(db_.clearDaySyncTemp(), storage::DB_OK);
    }
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 4);

    storage::TaskSync none;
    FlushOrderList set;
    EXPECT_EQ(db_.getDaySyncOrders(&set, &none), storage::DB_NOMEM);
    EXPECT_EQ(db_.getDaySyncOrders(nullptr, &none), storage::DB_NOMEM);
    EXPECT_EQ(db_.getOfflineOrders(nullptr), storage::DB_NOMEM);
    db_.close();
    EXPECT_EQ(db_.getOfflineOrders(&set), storage::DB_NOTADB);
    EXPECT_EQ(db_.releaseOfflineSyncTask(), storage::DB_NOTADB);
}

TEST(SyncSets, StoredPurchasesGiveCardTypesAndTheConfiguredStation) {
    const struct {
        const char* cardType;
        int ident;
    } cards[] = {{"CARD", 0},         {"Lumora", 0}, {"QR", 2}, {"QRCode", 2},
                 {"LumoraMobile", 1}, {"VOV", 3},    {"qr", 0}};
    for (const auto& c : cards) {
        SCOPED_TRACE(c.cardType);
        PurchaseSpec p;
        p.cardType = c.cardType;
        Operation op = payBonus(p);
        op.request["PayBonus"]["Transact"]["Terminal"] = "";
        op.request["PayBonus"]["Transact"]["DateTime"] = "2024013112";
        storage::Row row = {{"id", "K"},
                            {"opertype", "3"},
                            {"orderrequest", JsonOut(op.request, false)},
                            {"datetime", "20240131120005"},
                            {"locationid", "ROW-LOC"}};
        FlushOrderList set;
        storage::ConfiguredIdentity identity{"CONF-LOC", "CONF-TERM", true};
        ASSERT_TRUE(storage::offline_callback(row, identity, set));
        EXPECT_EQ(set[0].CardIdent, c.ident);
        EXPECT_EQ(set[0].Request->Location, "ROW-LOC");    // the override takes the row's
        EXPECT_EQ(set[0].Request->Terminal, "CONF-TERM");  // none in the row: the configured
        EXPECT_EQ(set[0].Request->DateTime, "20240131120000");
        EXPECT_EQ(set[0].Request->Shift, 7);
    }
    // Rows that yield nothing.
    const storage::Row rows[] = {
        {{"opertype", "3"}, {"orderrequest", "{}"}},
        {{"id", "K"}, {"opertype", "5"}, {"orderrequest", "{}"}},
        {{"id", "K"}, {"opertype", "3"}, {"orderrequest", "not json"}},
        {{"id", "K"}, {"opertype", "4"}, {"orderrequest", "{}"}, {"parentid", "P"}},
    };
    FlushOrderList set;
    for (const storage::Row& row : rows) EXPECT_FALSE(storage::offline_callback(row, {}, set));
    EXPECT_TRUE(set.empty());
}
