// Upgrade of opened journal files to schema version 3.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ostream>
#include <string>

#include "common/convert.h"
#include "tests/storage/journal_fixture.h"

using journaltest::createRaw;
using journaltest::execRaw;
using journaltest::queryRaw;
using journaltest::valueRaw;
using storage::PairValue;
using storage::zelvanDb;

namespace {

// A file of schema version 2: no TimeVal columns or indexes, no SyncTask,
// and one journalled purchase.
const char kVersion2File[] =
    "CREATE TABLE ALL_OPERATIONS (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
    "INTEGER, ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, ErrorCode INTEGER, Status "
    "INTEGER, Request, Response, Offline INTEGER, BatchID INTEGER);"
    "CREATE TABLE OFFLINE (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType INTEGER, "
    "ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, Request, BatchID INTEGER);"
    "CREATE TABLE BatchCount (BatchID INTEGER);"
    "INSERT INTO BatchCount VALUES(1);"
    "INSERT INTO ALL_OPERATIONS (ID, DateTime, OperType, ChequeID) "
    "VALUES ('20200101101010#1', '20200101101010', 3, '1');";
const char kOldStates[] = "CREATE TABLE STATES (name PRIMARY KEY, value);";

const std::string kToday = "today";

struct UpgradeCase {
    const char* name;
    bool currentSchema;  // start from a file made by initDb, else from a version-2 file
    std::string setup;   // SQL run on the file before the upgrade
    int result;
    std::string dbver, lastDateSync, lastShiftSync;  // "<none>" when absent
    bool versionRowKept;                             // STATES was not recreated
    bool timeValIndex;                               // TimeVal_INDEX exists afterwards
};

const UpgradeCase kCases[] = {
    {"dbver 2 gets the TimeVal columns and keeps its sync values", false,
     std::string(kOldStates) +
         "INSERT INTO STATES VALUES ('dbver','2'), ('lastdatesync','20200101'), "
         "('lastshiftsync','5'), ('version','0.9');",
     0, "3", "20200101", "5", false, true},
    {"dbver 3 with every index: only an empty lastdatesync is filled", true,
     "DELETE FROM STATES WHERE name='lastdatesync'; INSERT INTO STATES VALUES ('version','0.9');",
     0, "3", kToday, "<none>", true, true},
    {"dbver 3 without TimeVal_INDEX: STATES recreated, index still missing", true,
     "DROP INDEX TimeVal_INDEX; UPDATE STATES SET value='20200101' WHERE name='lastdatesync';"
     "INSERT INTO STATES VALUES ('version','0.9'), ('lastshiftsync','9');",
     0, "3", "20200101", "9", false, false},
    {"dbver 4: STATES recreated without the TimeVal steps", true,
     "UPDATE STATES SET value='4' WHERE name='dbver'; INSERT INTO STATES VALUES ('version','0.9');",
     0, "3", kToday, "<none>", false, true},
    {"dbver abc counts as -1 and fails on the existing TimeVal column", true,
     "UPDATE STATES SET value='abc' WHERE name='dbver'; INSERT INTO STATES VALUES "
     "('version','0.9');",
     SQLITE_ERROR, "abc", kToday, "<none>", true, true},
    {"STATES missing on an old file", false, "", 0, "3", kToday, "<none>", false, true},
};

void PrintTo(const UpgradeCase& c, std::ostream* out) {
    *out << c.name;
}

class JournalUpgrade : public ::testing::TestWithParam<UpgradeCase> {
  protected:
    std::string path() const { return dir_.file("zelvan.db3"); }
    testsupport::TempDir dir_;
};

}  // namespace

TEST_P(JournalUpgrade, BringsTheFileToVersion3AsItsStateSays) {
    const UpgradeCase& c = GetParam();
    if (c.currentSchema) {
        zelvanDb fresh(path().c_str());
        ASSERT_EQ(fresh.initDb(), 0);
        if (!c.setup.empty()) execRaw(path(), c.setup);
    } else {
        createRaw(path(), kVersion2File + c.setup);
    }

    zelvanDb db(path().c_str());
    ASSERT_EQ(db.open(), 0);
    testing::internal::CaptureStderr();
    const int rc = db.UpgradeDb();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(db.err(), c.result);
    EXPECT_TRUE(db.isOpen());
    if (c.result == 0) {
        EXPECT_EQ(err, "");
    } else {
        EXPECT_EQ(err, "Upgrading DataBase Error: duplicate column name: TimeVal\n");
    }
    db.close();

    auto state = [&](const char* name) {
        return valueRaw(path(), std::string("SELECT value FROM STATES WHERE name='") + name + "'");
    };
    EXPECT_EQ(state("dbver"), c.dbver);
    EXPECT_EQ(state("lastdatesync"), c.lastDateSync == kToday ? now2DayStr() : c.lastDateSync);
    EXPECT_EQ(state("lastshiftsync"), c.lastShiftSync);
    EXPECT_EQ(state("version") != "<none>", c.versionRowKept);
    zelvanDb check(path().c_str());
    ASSERT_EQ(check.open(), 0);
    EXPECT_TRUE(check._chk_index_exists("StatesName_INDEX"));
    EXPECT_TRUE(check._chk_index_exists("OfflineTimeVal_INDEX"));
    EXPECT_EQ(check._chk_index_exists("TimeVal_INDEX"), c.timeValIndex);
    // The upgrade creates no other table: an old file still lacks SyncTask.
    EXPECT_EQ(check._chk_table_exists("SyncTask"), c.currentSchema);
    if (!c.currentSchema) {
        // Old rows stay, with the new column empty.
        auto rows = queryRaw(path(), "SELECT ID, TimeVal FROM ALL_OPERATIONS");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0]["id"], "20200101101010#1");
        EXPECT_EQ(rows[0].count("timeval"), 0u);
        EXPECT_EQ(valueRaw(path(), "SELECT COUNT(TimeVal) FROM OFFLINE"), "0");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, JournalUpgrade, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<UpgradeCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST(JournalUpgradeFailure, LeavesTheConnectionOutsideTheFailedTransaction) {
    testsupport::TempDir dir;
    const std::string path = dir.file("zelvan.db3");
    {
        zelvanDb fresh(path.c_str());
        ASSERT_EQ(fresh.initDb(), 0);
    }
    execRaw(path, "UPDATE STATES SET value='abc' WHERE name='dbver'");
    zelvanDb db(path.c_str());
    ASSERT_EQ(db.open(), 0);
    testing::internal::CaptureStderr();
    ASSERT_EQ(db.UpgradeDb(), SQLITE_ERROR);
    testing::internal::GetCapturedStderr();
    // The runner writes the version next: it reaches the file at once
    // instead of sitting in the upgrade's open transaction.
    PairValue version;
    version.set_name("version");
    version.set_value("1.2.0.9");
    EXPECT_EQ(db.setStatesVal(version), 101);
    EXPECT_EQ(valueRaw(path, "SELECT value FROM STATES WHERE name='version'"), "1.2.0.9");
    EXPECT_EQ(valueRaw(path, "SELECT value FROM STATES WHERE name='dbver'"), "abc");
}

TEST(JournalUpgradeFailure, AFileThatIsNotADatabaseOpensButFailsTheUpgrade) {
    testsupport::TempDir dir;
    const std::string path =
        dir.write("zelvan.db3", std::string(4096, 'x') + "\nthis is not a journal\n");
    zelvanDb db(path.c_str());
    EXPECT_TRUE(zelvanDb::dbExists(path.c_str()));
    EXPECT_EQ(db.open(), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(db._chk_table_exists("STATES"));
    EXPECT_EQ(db.err(), SQLITE_NOTADB);
    const int rc = db.UpgradeDb();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, SQLITE_NOTADB);
    EXPECT_EQ(db.err(), SQLITE_NOTADB);
    EXPECT_NE(err.find("Ошибка чтения данных: file is not a database\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Upgrading DataBase Error: file is not a database\n"), std::string::npos)
        << err;
}

TEST(JournalUpgradeFailure, NeedsAnOpenConnection) {
    zelvanDb db;
    EXPECT_EQ(db.UpgradeDb(), storage::DB_BUSY);
    EXPECT_EQ(db.err(), storage::DB_BUSY);
}
