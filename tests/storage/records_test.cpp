// Journal writes around a purchase or a reversal: the ALL_OPERATIONS row,
// its OFFLINE copy, the stored reply, and that each write is atomic.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sqlite3.h>

#include <string>

#include "tests/storage/journal_fixture.h"

using journaltest::countRaw;
using journaltest::execRaw;
using journaltest::JournalTest;
using journaltest::purchase;
using journaltest::queryRaw;
using journaltest::valueRaw;
using storage::TransactDB;

namespace {

Json::Value request(const std::string& cheque) {
    Json::Value v;
    v["PayBonus"]["CheckNum"] = cheque;
    v["PayBonus"]["Text"] = "Покупка";
    return v;
}

Json::Value reply() {
    Json::Value v;
    v["PayBonus"]["err"] = "0";
    v["PayBonus"]["errMsg"] = "Успешное завершение операции";
    return v;
}

const char kRequestText[] = "{\"PayBonus\":{\"CheckNum\":\"1234\",\"Text\":\"Покупка\"}}\n";
const char kReplyText[] =
    "{\"PayBonus\":{\"err\":\"0\",\"errMsg\":\"Успешное завершение операции\"}}\n";
const char kKey[] = "20240131120005.123456#1234";

}  // namespace

TEST_F(JournalTest, RefusesRecordsThatAreNotJournalled) {
    TransactDB hold = purchase("1234", "20240131120005");
    hold.OperType(storage::OPER_NONE);  // a "HoldBonus" never sets its type
    TransactDB other = purchase("1234", "20240131120005");
    other.OperType(5);
    const TransactDB* records[] = {nullptr, &hold, &other};
    for (const TransactDB* rec : records) {
        EXPECT_EQ(db_.InsRequest(rec, request("1234")), storage::DB_NOTFOUND);
        EXPECT_EQ(db_.InsOffline(rec, request("1234")), storage::DB_NOTFOUND);
        EXPECT_EQ(db_.UpdRespond(rec, reply(), 0), storage::DB_NOTFOUND);
    }
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 0);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);

    db_.close();
    TransactDB rec = purchase("1234", "20240131120005");
    EXPECT_EQ(db_.InsRequest(&rec, request("1234")), storage::DB_NOTADB);
    EXPECT_EQ(db_.InsOffline(&rec, request("1234")), storage::DB_NOTADB);
    EXPECT_EQ(db_.UpdRespond(&rec, reply(), 0), storage::DB_NOTADB);
}

TEST_F(JournalTest, JournalsAnOnlinePurchaseAndThenItsReply) {
    TransactDB rec = purchase("1234", "20240131120005");
    ASSERT_EQ(rec.ID(), std::string(kKey));
    ASSERT_EQ(db_.InsRequest(&rec, request("1234")), 101);

    auto rows = queryRaw(path(), "SELECT * FROM ALL_OPERATIONS");
    ASSERT_EQ(rows.size(), 1u);
    storage::Row expected = {
        {"id", kKey},       {"datetime", "20240131120005"},
        {"opertype", "3"},  {"chequeid", "1234"},
        {"terminal", "T1"}, {"locationid", "AZS-7"},
        {"shift", "7"},     {"request", kRequestText},
        {"offline", "0"},   {"timeval", "1706692805.123456"},
    };
    EXPECT_EQ(rows[0], expected);  // ParentID, ErrorCode, Response, BatchID still NULL

    ASSERT_EQ(db_.UpdRespond(&rec, reply(), 0), 101);
    rows = queryRaw(path(), "SELECT Response, ErrorCode, Offline FROM ALL_OPERATIONS");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["response"], kReplyText);
    EXPECT_EQ(rows[0]["errorcode"], "0");
    EXPECT_EQ(rows[0]["offline"], "0");
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
}

TEST_F(JournalTest, CopiesAPurchaseTurnedOfflineIntoOfflineOnce) {
    TransactDB rec = purchase("1234", "20240131120005");
    ASSERT_EQ(db_.InsRequest(&rec, request("1234")), 101);
    rec.Offline(true);  // the CRM call failed
    ASSERT_EQ(db_.UpdRespond(&rec, reply(), 28), 101);

    auto copy = queryRaw(path(), "SELECT * FROM OFFLINE");
    ASSERT_EQ(copy.size(), 1u);
    storage::Row expected = {
        {"id", kKey},
        {"datetime", "20240131120005"},
        {"opertype", "3"},
        {"chequeid", "1234"},
        {"terminal", "T1"},
        {"locationid", "AZS-7"},
        {"shift", "7"},
        {"request", kRequestText},
        {"timeval", "1706692805.123456"},
    };
    EXPECT_EQ(copy[0], expected);
    auto row = queryRaw(path(), "SELECT Response, ErrorCode, Offline FROM ALL_OPERATIONS");
    EXPECT_EQ(row[0]["offline"], "1");
    EXPECT_EQ(row[0]["errorcode"], "28");
    EXPECT_EQ(row[0]["response"], kReplyText);

    // Once sent and removed from OFFLINE, a later update does not bring it back.
    execRaw(path(), "DELETE FROM OFFLINE");
    EXPECT_EQ(db_.UpdRespond(&rec, reply(), 0), 101);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    EXPECT_EQ(valueRaw(path(), "SELECT ErrorCode FROM ALL_OPERATIONS"), "0");
}

TEST_F(JournalTest, JournalsAnOfflinePurchaseInBothTablesAtOnce) {
    TransactDB rec = purchase("1234", "20240131120005");
    rec.Offline(true);
    ASSERT_EQ(db_.InsRequest(&rec, request("1234")), 101);
    EXPECT_EQ(valueRaw(path(), "SELECT Offline FROM ALL_OPERATIONS"), "1");
    EXPECT_EQ(valueRaw(path(), "SELECT Request FROM OFFLINE WHERE ID='" + std::string(kKey) + "'"),
              kRequestText);

    execRaw(path(), "DELETE FROM OFFLINE");
    ASSERT_EQ(db_.UpdRespond(&rec, reply(), 0), 101);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);  // Offline was already 1: nothing copied
    EXPECT_EQ(valueRaw(path(), "SELECT Response FROM ALL_OPERATIONS"), kReplyText);
}

TEST_F(JournalTest, InsertsTheOfflineRowAloneOnRequest) {
    TransactDB rec = purchase("1234", "20240131120005");
    rec.OperType(storage::OPER_REVERSAL);
    rec.ParentID("20240130100000.000001#1000");
    ASSERT_EQ(db_.InsOffline(&rec, request("1234")), 101);
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 0);
    auto rows = queryRaw(path(), "SELECT OperType, ParentID FROM OFFLINE");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["opertype"], "4");
    EXPECT_EQ(rows[0]["parentid"], "20240130100000.000001#1000");
}

TEST_F(JournalTest, IgnoresASecondInsertWithTheSameKey) {
    TransactDB rec = purchase("1234", "20240131120005");
    rec.Offline(true);
    ASSERT_EQ(db_.InsRequest(&rec, request("1234")), 101);
    EXPECT_EQ(db_.InsRequest(&rec, request("other")), 101);
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 1);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 1);
    EXPECT_EQ(valueRaw(path(), "SELECT Request FROM ALL_OPERATIONS"), kRequestText);
}

TEST_F(JournalTest, StoresTheReplyOnTheRowOfItsKeyWhateverValueIsMissing) {
    struct Case {
        const char* name;
        void (*blank)(TransactDB&);
        bool stored;  // a record without a key cannot find its row
    };
    const Case cases[] = {
        {"terminal", [](TransactDB& r) { r.TerminalID(nullptr); }, true},
        {"cheque", [](TransactDB& r) { r.ChequeID(nullptr); }, true},
        {"date-time", [](TransactDB& r) { r.DateTime(nullptr); }, true},
        {"key", [](TransactDB& r) { r.ID(nullptr); }, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TransactDB rec = purchase("10" + std::to_string(n), "2024013112000" + std::to_string(n));
        ++n;
        c.blank(rec);
        ASSERT_EQ(db_.InsRequest(&rec, request("1")), 101);
        // A second row that differs only in the missing value stays untouched.
        TransactDB other = purchase("20" + std::to_string(n), "2024013113000" + std::to_string(n));
        ASSERT_EQ(db_.InsRequest(&other, request("2")), 101);
        rec.Offline(true);
        EXPECT_EQ(db_.UpdRespond(&rec, reply(), 28), 101);
        EXPECT_EQ(
            valueRaw(path(), "SELECT COUNT(ErrorCode) FROM ALL_OPERATIONS WHERE ErrorCode=28"),
            c.stored ? "1" : "0");
        EXPECT_EQ(db_.UpdRespond(&rec, reply(), 28), 101);  // copied once only
        EXPECT_EQ(countRaw(path(), "OFFLINE"), c.stored ? 1 : 0);
        execRaw(path(), "DELETE FROM ALL_OPERATIONS; DELETE FROM OFFLINE");
    }
}

TEST_F(JournalTest, StoresTheShiftAsAPositiveIntegerOrNull) {
    struct Case {
        const char* shift;
        const char* stored;  // "<null>": NULL
    };
    const Case cases[] = {
        {"7", "7"}, {"0", "<null>"}, {"abc", "<null>"}, {"-3", "<null>"}, {"", "<null>"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shift);
        TransactDB rec = purchase(std::to_string(n), "20240131120005");
        ++n;
        rec.Shift(c.shift);
        ASSERT_EQ(db_.InsRequest(&rec, request("1")), 101);
        const std::string where = " FROM ALL_OPERATIONS WHERE ID='" + std::string(rec.ID()) + "'";
        EXPECT_EQ(valueRaw(path(), "SELECT Shift" + where), c.stored);
        EXPECT_EQ(valueRaw(path(), "SELECT typeof(Shift)" + where),
                  std::string(c.stored) == "<null>" ? "null" : "integer");
    }
}

TEST_F(JournalTest, AFailedOfflineInsertTakesTheJournalInsertBackWithIt) {
    execRaw(path(),
            "CREATE TRIGGER refuse_offline BEFORE INSERT ON OFFLINE "
            "BEGIN SELECT RAISE(ABORT, 'offline table refused'); END");
    TransactDB rec = purchase("1234", "20240131120005");
    rec.Offline(true);
    EXPECT_EQ(db_.InsRequest(&rec, request("1234")), SQLITE_CONSTRAINT);
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 0);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);

    execRaw(path(), "DROP TRIGGER refuse_offline");
    EXPECT_EQ(db_.InsRequest(&rec, request("1234")), 101);
    EXPECT_EQ(countRaw(path(), "ALL_OPERATIONS"), 1);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 1);
}

TEST_F(JournalTest, AFailedReplyUpdateTakesTheOfflineCopyBackWithIt) {
    TransactDB rec = purchase("1234", "20240131120005");
    ASSERT_EQ(db_.InsRequest(&rec, request("1234")), 101);
    execRaw(path(),
            "CREATE TRIGGER refuse_update BEFORE UPDATE ON ALL_OPERATIONS "
            "BEGIN SELECT RAISE(ABORT, 'journal refused'); END");
    rec.Offline(true);
    EXPECT_EQ(db_.UpdRespond(&rec, reply(), 28), SQLITE_CONSTRAINT);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 0);
    auto row = queryRaw(path(), "SELECT Offline, Response FROM ALL_OPERATIONS");
    EXPECT_EQ(row[0]["offline"], "0");
    EXPECT_EQ(row[0].count("response"), 0u);

    // Once the update goes through, the copy is made (and only then).
    execRaw(path(), "DROP TRIGGER refuse_update");
    EXPECT_EQ(db_.UpdRespond(&rec, reply(), 28), 101);
    EXPECT_EQ(countRaw(path(), "OFFLINE"), 1);
    EXPECT_EQ(valueRaw(path(), "SELECT Offline FROM ALL_OPERATIONS"), "1");
}

TEST(JournalKey, JoinsDateTimeTimeFractionAndCheque) {
    struct Case {
        const char *dateTime, *timeValue, *cheque, *key;
    };
    const Case cases[] = {
        {"20240131120005", "1706692805.123456", "1234", "20240131120005.123456#1234"},
        {"20240131120005", "1706692805,5", "1234", "20240131120005,5#1234"},
        {"20240131120005", "1706692805", "1234", "20240131120005#1234"},
        {"20240131120005", "", "1234", "202401311200051234"},
        {"20240131120005999", "1.5", "77", "20240131120005.5#77"},
        {"20240131120005", "1706692805.123456", "", "20240131120005.123456#"},
        {"", "", "1234", ""},
        {"", "1706692805.123456", "1234", ".123456#1234"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(storage::journalKey(c.dateTime, c.timeValue, c.cheque), c.key)
            << c.dateTime << " " << c.timeValue << " " << c.cheque;
}

TEST(TransactDB, StartsEmptyAndClearsAllButTheReadBackCodes) {
    TransactDB rec;
    EXPECT_EQ(rec.OperType(), storage::OPER_NONE);
    EXPECT_EQ(rec.ID(), nullptr);
    EXPECT_EQ(rec.Shift(), nullptr);
    EXPECT_FALSE(rec.Offline());

    rec.TimeValue(1706692805.5);
    EXPECT_STREQ(rec.TimeValue(), "1706692805.500000");
    rec.TimeValue(0.0);
    rec.TimeValue(-1.0);
    EXPECT_STREQ(rec.TimeValue(), "1706692805.500000");  // not above 0: unchanged
    rec.ChequeID("1234");
    rec.ChequeID(static_cast<const char*>(nullptr));
    EXPECT_EQ(rec.ChequeID(), nullptr);

    rec.OperType(storage::OPER_PURCHASE);
    rec.Offline(true);
    rec.ID(std::string("k"));
    rec.Request("{}");
    rec.ErrCode(28);
    rec.Status(2);
    rec.clear();
    EXPECT_EQ(rec.OperType(), storage::OPER_NONE);
    EXPECT_FALSE(rec.Offline());
    EXPECT_EQ(rec.ID(), nullptr);
    EXPECT_EQ(rec.Request(), nullptr);
    EXPECT_EQ(rec.TimeValue(), nullptr);
    EXPECT_EQ(rec.ErrCode(), 28);
    EXPECT_EQ(rec.Status(), 2);
}
