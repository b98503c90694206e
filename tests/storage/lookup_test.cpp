// Journal lookups used by reversal and undo, and the row readers that turn
// rows back into records.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sqlite3.h>

#include <ostream>
#include <string>

#include "tests/storage/journal_fixture.h"

using journaltest::execRaw;
using journaltest::JournalTest;
using journaltest::purchase;
using journaltest::valueRaw;
using storage::TransactDB;
using storage::TransactDBList;

namespace {

Json::Value payBonus(const std::string& cheque) {
    Json::Value v;
    v["PayBonus"]["CheckNum"] = cheque;
    return v;
}

// A small journal: two purchases and a reversal of cheque 1 and 2, and two
// purchases of the same second with different keys.
class JournalLookup : public JournalTest {
  protected:
    void SetUp() override {
        JournalTest::SetUp();
        a_ = purchase("1", "20240131100000");
        ASSERT_EQ(db_.InsRequest(&a_, payBonus("1")), 101);
        b_ = purchase("1", "20240131110000");
        b_.OperType(storage::OPER_REVERSAL);
        b_.ParentID(a_.ID());
        b_.Shift(nullptr);
        b_.ID(storage::journalKey(b_.DateTime(), b_.TimeValue(), "1"));
        ASSERT_EQ(db_.InsRequest(&b_, payBonus("1")), 101);
        c_ = purchase("2", "20240131120000");
        ASSERT_EQ(db_.InsRequest(&c_, payBonus("2")), 101);
        c_.Offline(true);
        Json::Value reply;
        reply["PayBonus"]["err"] = "0";
        ASSERT_EQ(db_.UpdRespond(&c_, reply, 28), 101);
        d_ = purchase("3", "20240131120000");
        ASSERT_EQ(db_.InsRequest(&d_, payBonus("3")), 101);
    }
    TransactDB a_, b_, c_, d_;
};

std::string idOf(const TransactDBList& list) {
    if (list.empty()) return "<none>";
    return list.back()->ID() != nullptr ? list.back()->ID() : "<empty>";
}

}  // namespace

TEST_F(JournalLookup, FindsTheNewestOperationAtOrBeforeATime) {
    struct Case {
        const char* cheque;  // null: any cheque
        const char* upTo;
        std::string id;
    };
    const Case cases[] = {
        {nullptr, "20240131235959", d_.ID()},  // same second as c_: the larger key
        {nullptr, "20240131115959", b_.ID()},
        {"1", "20240131235959", b_.ID()},
        {"1", "20240131105959", a_.ID()},
        {"2", "20240131120000", c_.ID()},
        {"1", "20240131095959", "<none>"},
        {"9", "20240131235959", "<none>"},
        {"9' OR '1'='1", "20240131235959", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cheque != nullptr ? c.cheque : "(any)") + " " + c.upTo);
        TransactDBList list;
        EXPECT_EQ(db_.get_latestSaved_record(&list, c.cheque, c.upTo), 0);
        EXPECT_LE(list.size(), 1u);
        EXPECT_EQ(idOf(list), c.id);
    }
}

TEST_F(JournalLookup, ReadsARowBackAsItWasStored) {
    TransactDBList list;
    ASSERT_EQ(db_.get_latestSaved_record(&list, "2", "20240131235959"), 0);
    ASSERT_EQ(list.size(), 1u);
    const TransactDB& c = *list[0];
    EXPECT_STREQ(c.ID(), c_.ID());
    EXPECT_STREQ(c.DateTime(), "20240131120000");
    EXPECT_EQ(c.OperType(), 3);
    EXPECT_STREQ(c.ChequeID(), "2");
    EXPECT_EQ(c.ParentID(), nullptr);
    EXPECT_STREQ(c.TerminalID(), "T1");
    EXPECT_STREQ(c.LocationID(), "AZS-7");
    EXPECT_STREQ(c.Shift(), "7");
    EXPECT_TRUE(c.Offline());
    EXPECT_STREQ(c.TimeValue(), "1706692805.123456");
    EXPECT_STREQ(c.Request(), "{\"PayBonus\":{\"CheckNum\":\"2\"}}\n");
    EXPECT_STREQ(c.Response(), "{\"PayBonus\":{\"err\":\"0\"}}\n");
    EXPECT_EQ(c.ErrCode(), 28);
    EXPECT_EQ(c.DateTimeUTC(), nullptr);

    // A second lookup appends; the reversal has its parent and no shift.
    ASSERT_EQ(db_.get_latestSaved_record(&list, "1", "20240131235959"), 0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->OperType(), 4);
    EXPECT_STREQ(list[1]->ParentID(), a_.ID());
    EXPECT_STREQ(list[1]->Shift(), "-1");
    EXPECT_EQ(list[1]->Response(), nullptr);
    EXPECT_FALSE(list[1]->Offline());
    storage::zelvanDb::clear_TransactDB_List(&list);
    EXPECT_TRUE(list.empty());
    storage::zelvanDb::clear_TransactDB_List(nullptr);
}

TEST_F(JournalLookup, FindsAnOfflineRowByItsKey) {
    TransactDBList list;
    ASSERT_EQ(db_.get_offlineSaved_record(&list, c_.ID()), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0]->ChequeID(), "2");
    EXPECT_STREQ(list[0]->Request(), "{\"PayBonus\":{\"CheckNum\":\"2\"}}\n");
    EXPECT_EQ(list[0]->Response(), nullptr);
    EXPECT_FALSE(list[0]->Offline());  // OFFLINE has no such column
    for (const std::string& key : {std::string(a_.ID()), std::string("x' OR '1'='1")}) {
        EXPECT_EQ(db_.get_offlineSaved_record(&list, key), 0);
        EXPECT_EQ(list.size(), 1u) << key;
    }
}

TEST_F(JournalLookup, ChecksItsArgumentsAndReportsReadErrors) {
    EXPECT_EQ(db_.get_latestSaved_record(nullptr, nullptr, "20240131235959"), storage::DB_NOMEM);
    EXPECT_EQ(db_.get_offlineSaved_record(nullptr, "k"), storage::DB_NOMEM);
    EXPECT_EQ(db_.getLastPaymentRecord(nullptr, "1", "0", "9"), storage::DB_NOMEM);

    execRaw(path(), "DROP TABLE OFFLINE");
    TransactDBList list;
    list.push_back(std::make_unique<TransactDB>());
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_.get_offlineSaved_record(&list, c_.ID()), SQLITE_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Ошибка чтения данных: no such table: OFFLINE\n");
    EXPECT_EQ(list.size(), 1u);  // left as it was

    db_.close();
    EXPECT_EQ(db_.get_latestSaved_record(&list, nullptr, "20240131235959"), storage::DB_NOTADB);
    EXPECT_EQ(db_.get_offlineSaved_record(&list, "k"), storage::DB_NOTADB);
    EXPECT_EQ(db_.getLastPaymentRecord(&list, "1", "0", "9"), storage::DB_NOTADB);
}

TEST_F(JournalTest, StoresAndFindsAChequeNumberHoldingQuotesAndSql) {
    const std::string cheque = "7'); DROP TABLE ALL_OPERATIONS; --";
    TransactDB rec = purchase(cheque, "20240131120005");
    rec.Offline(true);
    Json::Value req;
    req["PayBonus"]["Transact"]["ID"] = cheque;
    ASSERT_EQ(db_.InsRequest(&rec, req), 101);
    ASSERT_EQ(db_.UpdRespond(&rec, Json::Value(Json::objectValue), 0), 101);

    TransactDBList list;
    EXPECT_EQ(db_.get_latestSaved_record(&list, cheque.c_str(), "20240131235959"), 0);
    EXPECT_EQ(db_.get_offlineSaved_record(&list, rec.ID()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_.getLastPaymentRecord(&list, cheque, "20240131000000", "20240131235959"), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(list.size(), 3u);
    for (const auto& found : list) EXPECT_STREQ(found->ChequeID(), cheque.c_str());
    EXPECT_STREQ(list[2]->ID(), cheque.c_str());  // rebuilt: the transaction id
    EXPECT_NE(err.find("ChequeId = '7''); DROP TABLE ALL_OPERATIONS; --'"), std::string::npos)
        << err;
    EXPECT_EQ(valueRaw(path(), "SELECT COUNT(*) FROM ALL_OPERATIONS"), "1");
}

TEST_F(JournalTest, ShowsThePaymentLookupWithItsParametersOnTheErrorStream) {
    TransactDBList list;
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_.getLastPaymentRecord(&list, "1234", "20240131000000", "20240131235959"), 0);
    const std::string line =
        " SQL : [ SELECT ID, DateTime, OperType, ChequeID, ParentID, Shift, LocationID, Terminal, "
        "ErrorCode, Status, Request, Response, Offline, BatchID, TimeVal FROM ALL_OPERATIONS "
        "WHERE ChequeId = '1234' AND DATETIME BETWEEN '20240131000000' AND '20240131235959' AND "
        "OPERTYPE = 3 ORDER BY DATETIME DESC, ID DESC LIMIT 1 ]\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line);
    EXPECT_TRUE(list.empty());
}

namespace {

// One stored purchase and the record getLastPaymentRecord must rebuild from it.
struct RebuildCase {
    const char* name;
    std::string transact;  // JSON of "PayBonus" -> "Transact"; empty: no such member
    std::string rowLocation, rowTerminal, rowShift;
    std::string cfgLocation, cfgTerminal;
    bool override;
    // Expected: "" means null.
    std::string id, dateTime, dateTimeUtc, timeValue, location, terminal, shift;
};

const std::string kRowKey = "20240131080000.250000#5001";
const std::string kFull =
    R"({"ID":"5001","DateTime":"2024013112","DateTimeUTC":"01/31/2024 09:00:00",)"
    R"("TimeValue":"1706692805.5","Location":"REQ-LOC","Terminal":"REQ-T","shift":3})";

const RebuildCase kRebuildCases[] = {
    {"no Transact: the row's key, no station, shift -1", "", "ROW-LOC", "ROW-T", "", "CFG-LOC",
     "CFG-T", false, kRowKey, "20240131080000", "", "1706692800.250000", "", "", "-1"},
    {"the request's values", kFull, "ROW-LOC", "ROW-T", "2", "CFG-LOC", "CFG-T", false, "5001",
     "20240131120000", "01/31/2024 09:00:00", "1706692805.5", "REQ-LOC", "REQ-T", "3"},
    {"override: the row's station wins", kFull, "ROW-LOC", "ROW-T", "2", "CFG-LOC", "CFG-T", true,
     "5001", "20240131120000", "01/31/2024 09:00:00", "1706692805.5", "ROW-LOC", "ROW-T", "3"},
    {"override, row without terminal: the configured terminal", kFull, "", "", "2", "", "CFG-T",
     true, "5001", "20240131120000", "01/31/2024 09:00:00", "1706692805.5", "REQ-LOC", "CFG-T",
     "3"},
    {"empty request station: row, then configuration", R"({"ID":"5001","Location":"","shift":0})",
     "", "ROW-T", "2", "CFG-LOC", "CFG-T", false, "5001", "20240131080000", "", "1706692800.250000",
     "CFG-LOC", "ROW-T", "2"},
    {"short date-time ignored, missing ID empties the key",
     R"({"DateTime":"2024013","TimeValue":""})", "", "", "", "", "", false, "", "20240131080000",
     "", "1706692800.250000", "", "", "-1"},
};

void PrintTo(const RebuildCase& c, std::ostream* out) {
    *out << c.name;
}

class PaymentRebuild : public JournalTest, public ::testing::WithParamInterface<RebuildCase> {};

const char* orNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

}  // namespace

TEST_P(PaymentRebuild, RebuildsThePurchaseFromItsStoredRequest) {
    const RebuildCase& c = GetParam();
    TransactDB rec;
    rec.OperType(storage::OPER_PURCHASE);
    rec.ID(kRowKey);
    rec.ChequeID("5001");
    rec.DateTime("20240131080000");
    rec.TimeValue("1706692800.250000");
    rec.LocationID(c.rowLocation);
    rec.TerminalID(c.rowTerminal);
    rec.Shift(c.rowShift);
    Json::Value req;
    req["PayBonus"]["CheckNum"] = "5001";
    if (!c.transact.empty()) {
        Json::Value t;
        ASSERT_TRUE(Json::Reader().parse(c.transact, t));
        req["PayBonus"]["Transact"] = t;
    }
    ASSERT_EQ(db_.InsRequest(&rec, req), 101);
    db_.setConfigLocationId(c.cfgLocation);
    db_.setConfigTerminalId(c.cfgTerminal);
    db_.setAzsIdentOverride(c.override);

    TransactDBList list;
    testing::internal::CaptureStderr();
    ASSERT_EQ(db_.getLastPaymentRecord(&list, "5001", "20240131000000", "20240131235959"), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(list.size(), 1u);
    const TransactDB& r = *list[0];
    EXPECT_STREQ(r.ID(), orNull(c.id));
    EXPECT_STREQ(r.DateTime(), orNull(c.dateTime));
    EXPECT_STREQ(r.DateTimeUTC(), orNull(c.dateTimeUtc));
    EXPECT_STREQ(r.TimeValue(), orNull(c.timeValue));
    EXPECT_STREQ(r.LocationID(), orNull(c.location));
    EXPECT_STREQ(r.TerminalID(), orNull(c.terminal));
    EXPECT_STREQ(r.Shift(), orNull(c.shift));
    EXPECT_STREQ(r.ChequeID(), "5001");
    EXPECT_EQ(r.OperType(), 3);
    EXPECT_EQ(r.Request(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, PaymentRebuild, ::testing::ValuesIn(kRebuildCases),
                         [](const ::testing::TestParamInfo<RebuildCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST_F(JournalTest, FindsOnlyPurchasesOfTheChequeWithinTheRange) {
    struct Row {
        const char* dateTime;
        int type;
        const char* cheque;
    };
    for (const Row& r : {Row{"20240131090000", 3, "1"}, Row{"20240131100000", 4, "1"},
                         Row{"20240131110000", 3, "2"}, Row{"20240131230000", 3, "1"}}) {
        TransactDB rec = purchase(r.cheque, r.dateTime);
        rec.OperType(r.type);
        ASSERT_EQ(db_.InsRequest(&rec, payBonus(r.cheque)), 101);
    }
    // A newer purchase whose stored request is not JSON yields nothing.
    execRaw(path(),
            "INSERT INTO ALL_OPERATIONS (ID, DateTime, OperType, ChequeID, Request) VALUES "
            "('bad', '20240131120000', 3, '1', '{not json')");
    testing::internal::CaptureStderr();
    TransactDBList list;
    EXPECT_EQ(db_.getLastPaymentRecord(&list, "1", "20240131000000", "20240131115959"), 0);
    EXPECT_EQ(idOf(list), "20240131090000.123456#1");
    list.clear();
    EXPECT_EQ(db_.getLastPaymentRecord(&list, "1", "20240131113000", "20240131125959"), 0);
    EXPECT_TRUE(list.empty());
    testing::internal::GetCapturedStderr();
}

TEST(RowReaders, LeaveOutRowsTheyCannotRebuild) {
    const storage::ConfiguredIdentity identity{"CFG-LOC", "CFG-T", true};
    struct Case {
        const char* name;
        storage::Row row;
    };
    const Case cases[] = {
        {"reversal", {{"id", "k"}, {"opertype", "4"}, {"request", "{}"}}},
        {"no type", {{"id", "k"}, {"request", "{}"}}},
        {"empty id", {{"id", ""}, {"opertype", "3"}, {"request", "{}"}}},
        {"no request", {{"id", "k"}, {"opertype", "3"}}},
        {"request not JSON", {{"id", "k"}, {"opertype", "3"}, {"request", "{\"PayBonus\":"}}},
    };
    for (const Case& c : cases) {
        TransactDBList list;
        storage::getAllOperations_callback(c.row, identity, list);
        EXPECT_TRUE(list.empty()) << c.name;
    }
    // A request that is JSON but not an object: the row's own values stay.
    TransactDBList list;
    storage::getAllOperations_callback(
        {{"id", "k"}, {"opertype", "3"}, {"request", "[1]"}, {"offline", "1"}}, identity, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0]->ID(), "k");
    EXPECT_TRUE(list[0]->Offline());
    EXPECT_EQ(list[0]->LocationID(), nullptr);
}

TEST(RowReaders, KeepDefaultsForValuesThatDoNotParse) {
    TransactDBList list;
    storage::get_full_record_callback({{"datetime", "20240131120000"}}, list);
    EXPECT_TRUE(list.empty());  // no id
    storage::get_full_record_callback({{"id", "k"},
                                       {"opertype", "x"},
                                       {"shift", "abc"},
                                       {"offline", "no"},
                                       {"errorcode", "?"},
                                       {"status", "5"},
                                       {"batchid", "99"}},
                                      list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->OperType(), -1);
    EXPECT_STREQ(list[0]->Shift(), "-1");
    EXPECT_FALSE(list[0]->Offline());
    EXPECT_EQ(list[0]->ErrCode(), 0);
    EXPECT_EQ(list[0]->Status(), 5);

    storage::PairValue pair;
    storage::pairval_callback({{"value", "1"}}, pair);
    EXPECT_EQ(pair.name(), nullptr);
    EXPECT_STREQ(pair.value(), "1");
}
