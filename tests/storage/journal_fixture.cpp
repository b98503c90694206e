// Test helpers for the journal: raw access to the file and a fresh journal.
#include "tests/storage/journal_fixture.h"

#include "storage/sqlite_handle.h"

namespace journaltest {

void execRaw(const std::string& path, const std::string& sql) {
    storage::Connection conn;
    ASSERT_EQ(conn.open(path, SQLITE_OPEN_READWRITE), SQLITE_OK) << path;
    std::string err;
    ASSERT_EQ(conn.exec(sql, &err), SQLITE_OK) << sql << ": " << err;
}

void createRaw(const std::string& path, const std::string& sql) {
    storage::Connection conn;
    ASSERT_EQ(conn.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK) << path;
    std::string err;
    ASSERT_EQ(conn.exec(sql, &err), SQLITE_OK) << sql << ": " << err;
}

std::vector<storage::Row> queryRaw(const std::string& path, const std::string& sql) {
    std::vector<storage::Row> rows;
    storage::Connection conn;
    EXPECT_EQ(conn.open(path, SQLITE_OPEN_READONLY), SQLITE_OK) << path;
    storage::Statement stmt(conn, sql);
    EXPECT_TRUE(stmt.ok()) << sql << ": " << conn.errmsg();
    EXPECT_EQ(stmt.forEachRow([&rows](const storage::Row& r) { rows.push_back(r); }), SQLITE_OK);
    return rows;
}

std::string valueRaw(const std::string& path, const std::string& sql) {
    auto rows = queryRaw(path, sql);
    if (rows.empty()) return "<none>";
    if (rows[0].empty()) return "<null>";
    return rows[0].begin()->second;
}

int countRaw(const std::string& path, const std::string& table) {
    return std::stoi(valueRaw(path, "SELECT COUNT(*) FROM " + table));
}

void JournalTest::SetUp() {
    db_.setDBPath(path().c_str());
    ASSERT_EQ(db_.initDb(), storage::DB_OK);
}

storage::TransactDB purchase(const std::string& cheque, const std::string& dateTime,
                             const std::string& timeValue) {
    storage::TransactDB rec;
    rec.OperType(storage::OPER_PURCHASE);
    rec.ChequeID(cheque);
    rec.DateTime(dateTime);
    rec.TimeValue(timeValue);
    rec.TerminalID("T1");
    rec.LocationID("AZS-7");
    rec.Shift("7");
    rec.ID(storage::journalKey(dateTime, timeValue, cheque));
    return rec;
}

}  // namespace journaltest
