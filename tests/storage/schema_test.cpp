// The journal file: creation with its schema, opening, existence checks and
// the named state values.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "common/convert.h"
#include "tests/storage/journal_fixture.h"

using journaltest::countRaw;
using journaltest::execRaw;
using journaltest::JournalTest;
using journaltest::queryRaw;
using journaltest::valueRaw;
using storage::PairValue;
using storage::zelvanDb;

namespace {

struct SchemaObject {
    std::string type, name, sql;
};

// What sqlite_master must hold for a new file, in creation order.
const std::vector<SchemaObject> kExpectedSchema = {
    {"table", "STATES",
     "CREATE TABLE STATES ( name VARCHAR (40) PRIMARY KEY ON CONFLICT IGNORE NOT NULL CONSTRAINT "
     "chk_states_name CHECK (name = lower(name) AND name IN ('version', 'dbver', 'lastdatesync', "
     "'lastshiftsync') ), value NOT NULL)"},
    {"table", "ALL_OPERATIONS",
     "CREATE TABLE ALL_OPERATIONS (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
     "INTEGER, ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, ErrorCode INTEGER, Status "
     "INTEGER, Request, Response, Offline INTEGER, BatchID INTEGER, TimeVal)"},
    {"table", "OFFLINE",
     "CREATE TABLE OFFLINE        (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
     "INTEGER, ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, Request, BatchID INTEGER, "
     "TimeVal)"},
    {"table", "BatchCount", "CREATE TABLE BatchCount (BatchID INTEGER)"},
    {"table", "SyncTask",
     "CREATE TABLE SyncTask (ID PRIMARY KEY ON CONFLICT IGNORE DEFAULT (strftime('%s','now')) NOT "
     "NULL, Shift INTEGER, Datetime, BatchID  INTEGER UNIQUE ON CONFLICT IGNORE, Priority INTEGER "
     "NOT NULL DEFAULT (20))"},
    {"index", "StatesName_INDEX", "CREATE INDEX StatesName_INDEX ON STATES ( name )"},
    {"index", "DateTime_INDEX", "CREATE INDEX DateTime_INDEX   ON ALL_OPERATIONS ( DateTime   )"},
    {"index", "ID_INDEX", "CREATE INDEX ID_INDEX         ON ALL_OPERATIONS ( ID         )"},
    {"index", "ParentID_INDEX", "CREATE INDEX ParentID_INDEX   ON ALL_OPERATIONS ( ParentID   )"},
    {"index", "OperType_INDEX", "CREATE INDEX OperType_INDEX   ON ALL_OPERATIONS ( OperType   )"},
    {"index", "ChequeID_INDEX", "CREATE INDEX ChequeID_INDEX   ON ALL_OPERATIONS ( ChequeID   )"},
    {"index", "Terminal_INDEX", "CREATE INDEX Terminal_INDEX   ON ALL_OPERATIONS ( Terminal   )"},
    {"index", "Shift_INDEX", "CREATE INDEX Shift_INDEX      ON ALL_OPERATIONS ( Shift      )"},
    {"index", "Status_INDEX", "CREATE INDEX Status_INDEX     ON ALL_OPERATIONS ( Status     )"},
    {"index", "ErrorCode_INDEX", "CREATE INDEX ErrorCode_INDEX  ON ALL_OPERATIONS ( ErrorCode  )"},
    {"index", "Offline_INDEX", "CREATE INDEX Offline_INDEX    ON ALL_OPERATIONS ( Offline    )"},
    {"index", "LocationID_INDEX", "CREATE INDEX LocationID_INDEX ON ALL_OPERATIONS ( LocationID )"},
    {"index", "TimeVal_INDEX", "CREATE INDEX TimeVal_INDEX    ON ALL_OPERATIONS ( TimeVal    )"},
    {"index", "OfflineID_INDEX", "CREATE INDEX OfflineID_INDEX       ON OFFLINE ( ID )"},
    {"index", "OfflineParentID_INDEX",
     "CREATE INDEX OfflineParentID_INDEX ON OFFLINE ( ParentID )"},
    {"index", "OfflineDateTime_INDEX",
     "CREATE INDEX OfflineDateTime_INDEX ON OFFLINE ( DateTime )"},
    {"index", "OfflineOperType_INDEX",
     "CREATE INDEX OfflineOperType_INDEX ON OFFLINE ( OperType )"},
    {"index", "OfflineChequeID_INDEX",
     "CREATE INDEX OfflineChequeID_INDEX ON OFFLINE ( ChequeID )"},
    {"index", "OfflineBatchID_INDEX", "CREATE INDEX OfflineBatchID_INDEX  ON OFFLINE ( BatchID  )"},
    {"index", "OfflineTimeVal_INDEX", "CREATE INDEX OfflineTimeVal_INDEX  ON OFFLINE ( TimeVal  )"},
    {"trigger", "INSERT_NEW_NUM",
     "CREATE TRIGGER INSERT_NEW_NUM BEFORE INSERT ON BatchCount FOR EACH ROW WHEN EXISTS(SELECT "
     "BatchID FROM BatchCount)  BEGIN Select RAISE(IGNORE); END"},
};

// Refuses CREATE TRIGGER on every connection opened while it is registered,
// so that a schema statement of the creation fails.
int denyTrigger(void*, int action, const char*, const char*, const char*, const char*) {
    return action == SQLITE_CREATE_TRIGGER ? SQLITE_DENY : SQLITE_OK;
}
int installDenyTrigger(sqlite3* db, char**, const sqlite3_api_routines*) {
    sqlite3_set_authorizer(db, denyTrigger, nullptr);
    return SQLITE_OK;
}
void (*const kDenyTriggerExtension)() = reinterpret_cast<void (*)()>(&installDenyTrigger);

}  // namespace

TEST_F(JournalTest, CreatesTheSchemaStatementByStatementAsWritten) {
    auto rows = queryRaw(path(),
                         "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                         "ORDER BY rowid");
    ASSERT_EQ(rows.size(), kExpectedSchema.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]["type"], kExpectedSchema[i].type) << i;
        EXPECT_EQ(rows[i]["name"], kExpectedSchema[i].name) << i;
        EXPECT_EQ(rows[i]["sql"], kExpectedSchema[i].sql) << kExpectedSchema[i].name;
    }
    EXPECT_EQ(db_.err(), 0);
    EXPECT_EQ(valueRaw(path(), "SELECT value FROM STATES WHERE name='dbver'"), "3");
    EXPECT_EQ(valueRaw(path(), "SELECT value FROM STATES WHERE name='lastdatesync'"), now2DayStr());
    EXPECT_EQ(countRaw(path(), "STATES"), 2);
}

TEST_F(JournalTest, KeepsExactlyOneBatchCounterRow) {
    EXPECT_EQ(valueRaw(path(), "SELECT BatchID FROM BatchCount"), "1");
    execRaw(path(), "INSERT INTO BatchCount VALUES(5)");
    EXPECT_EQ(countRaw(path(), "BatchCount"), 1);
    EXPECT_EQ(valueRaw(path(), "SELECT BatchID FROM BatchCount"), "1");
}

TEST(JournalCreation, RefusesWhatCannotBeCreatedAndLeavesNoFile) {
    testsupport::TempDir dir;
    const std::string existing = dir.write("existing.db3", "keep me");
    struct Case {
        const char* name;
        std::string path;
        bool openFirst;
        int status;
    };
    const Case cases[] = {
        {"directory missing", dir.file("no/such/dir/zelvan.db3"), false, SQLITE_CANTOPEN},
        {"file already there", existing, false, storage::DB_BUSY},
        {"empty path", "", false, storage::DB_NOTFOUND},
        {"connection already open", dir.file("open.db3"), true, storage::DB_BUSY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zelvanDb db(c.path.c_str());
        if (c.openFirst) {
            ASSERT_EQ(db.initDb(), 0);
        }
        EXPECT_EQ(db.initDb(), c.status);
        EXPECT_EQ(db.err(), c.status);
        EXPECT_EQ(db.isOpen(), c.openFirst);
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("no/such/dir/zelvan.db3")));
    EXPECT_EQ(testsupport::readFile(existing), "keep me");
}

TEST(JournalCreation, FailedSchemaStatementRemovesTheFile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("zelvan.db3");
    zelvanDb db(path.c_str());
    ASSERT_EQ(sqlite3_auto_extension(kDenyTriggerExtension), SQLITE_OK);
    testing::internal::CaptureStderr();
    int rc = db.initDb();
    std::string err = testing::internal::GetCapturedStderr();
    sqlite3_cancel_auto_extension(kDenyTriggerExtension);

    EXPECT_EQ(rc, SQLITE_AUTH);
    EXPECT_EQ(db.err(), SQLITE_AUTH);
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(err, "Create DataBase Error: not authorized\n");
    EXPECT_FALSE(testsupport::fileExists(path));
    EXPECT_FALSE(testsupport::fileExists(path + "-journal"));
    // The same path can be created afterwards.
    EXPECT_EQ(db.initDb(), 0);
}

TEST(JournalOpen, OpensOnlyExistingFilesAndReportsItsStatus) {
    testsupport::TempDir dir;
    const std::string path = dir.file("zelvan.db3");
    zelvanDb db;
    EXPECT_EQ(db.err(), storage::DB_EMPTY);
    EXPECT_STREQ(db.errMsg(), sqlite3_errstr(SQLITE_EMPTY));
    EXPECT_EQ(db.getDBPath(), nullptr);
    EXPECT_EQ(db.open(), storage::DB_NOTFOUND);  // no path

    db.setDBPath(path.c_str());
    EXPECT_STREQ(db.getDBPath(), path.c_str());
    EXPECT_FALSE(zelvanDb::dbExists(path.c_str()));
    EXPECT_FALSE(zelvanDb::dbExists(nullptr));
    EXPECT_EQ(db.open(), storage::DB_NOTFOUND);  // never creates the file
    EXPECT_FALSE(testsupport::fileExists(path));

    EXPECT_EQ(db.reopen(path.c_str()), 0);  // missing: created
    EXPECT_TRUE(zelvanDb::dbExists(path.c_str()));
    EXPECT_EQ(db.open(), storage::DB_BUSY);
    EXPECT_EQ(db.close(), 0);
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.reopen(path.c_str()), 0);  // existing: opened
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(db.reopen(nullptr), storage::DB_NOTFOUND);
    db.setDBPath(nullptr);
    EXPECT_EQ(db.getDBPath(), nullptr);
}

TEST_F(JournalTest, ChecksTablesAndIndexesByNameWithoutCase) {
    struct Case {
        bool index;
        const char* name;
        bool exists;
    };
    const Case cases[] = {
        {false, "states", true},       {false, "All_Operations", true},
        {false, "SyncTask", true},     {false, "missing", false},
        {true, "timeval_index", true}, {true, "OFFLINETIMEVAL_INDEX", true},
        {true, "STATES", false},       {false, "x') OR 1=1 OR ('", false},
        {false, "STATES' --", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.index ? db_._chk_index_exists(c.name) : db_._chk_table_exists(c.name),
                  c.exists);
        EXPECT_EQ(db_.err(), 0);
    }
    EXPECT_FALSE(db_._chk_table_exists(nullptr));
    EXPECT_EQ(db_.err(), storage::DB_NOMEM);
    db_.close();
    EXPECT_FALSE(db_._chk_index_exists("TimeVal_INDEX"));
    EXPECT_EQ(db_.err(), storage::DB_NOTADB);
}

TEST_F(JournalTest, ReadsAStateValueByItsLowerCasedName) {
    PairValue pair;
    EXPECT_EQ(db_.getStatesVal("DBVER", &pair), 0);
    EXPECT_STREQ(pair.name(), "dbver");
    EXPECT_STREQ(pair.value(), "3");

    pair.set_name("kept");
    pair.set_value("as it was");
    EXPECT_EQ(db_.getStatesVal("lastshiftsync", &pair), 0);  // no such row
    EXPECT_STREQ(pair.name(), "kept");
    EXPECT_STREQ(pair.value(), "as it was");
    EXPECT_EQ(db_.getStatesVal("dbver' OR '1'='1", &pair), 0);
    EXPECT_STREQ(pair.value(), "as it was");

    EXPECT_EQ(db_.getStatesVal(nullptr, &pair), storage::DB_NOTFOUND);
    EXPECT_EQ(db_.getStatesVal("dbver", nullptr), storage::DB_NOMEM);
    EXPECT_EQ(db_.err(), storage::DB_NOMEM);
}

TEST_F(JournalTest, StoresStateValuesOnlyUnderTheFourAllowedNames) {
    struct Case {
        const char* name;
        const char* value;
        int result;
        const char* storedName;  // null: nothing stored
    };
    const Case cases[] = {
        {"Version", "1.2.0.9", 101, "version"},
        {"version", "1.2.1.0", 101, "version"},  // an update of the same row
        {"LASTSHIFTSYNC", "5", 101, "lastshiftsync"},
        {"dbver", "4", 101, "dbver"},
        {"other", "x", 101, nullptr},
        {"version'); DROP TABLE STATES; --", "y", 101, nullptr},
        {nullptr, "z", storage::DB_NOTFOUND, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(no name)");
        const int before = countRaw(path(), "STATES");
        PairValue pair;
        pair.set_name(c.name);
        pair.set_value(c.value);
        EXPECT_EQ(db_.setStatesVal(pair), c.result);
        if (c.storedName != nullptr) {
            EXPECT_EQ(valueRaw(path(), std::string("SELECT value FROM STATES WHERE name='") +
                                           c.storedName + "'"),
                      c.value);
        } else {
            EXPECT_EQ(countRaw(path(), "STATES"), before);
        }
    }
    EXPECT_EQ(countRaw(path(), "STATES"), 4);
    db_.close();
    PairValue pair;
    pair.set_name("version");
    pair.set_value("1");
    EXPECT_EQ(db_.setStatesVal(pair), storage::DB_NOTADB);
}

TEST(PairValue, HoldsANameAndAnOptionalValue) {
    PairValue pair;
    EXPECT_EQ(pair.name(), nullptr);
    EXPECT_EQ(pair.value(), nullptr);
    pair.set_name("dbver");
    pair.set_value(std::string());
    EXPECT_STREQ(pair.name(), "dbver");
    EXPECT_STREQ(pair.value(), "");  // an empty value is still a value
    pair.set_value(static_cast<const char*>(nullptr));
    EXPECT_EQ(pair.value(), nullptr);
    pair.set_value("3");
    pair.set_name(nullptr);
    EXPECT_EQ(pair.name(), nullptr);
    EXPECT_STREQ(pair.value(), "3");
    pair.release();
    EXPECT_EQ(pair.name(), nullptr);
    EXPECT_EQ(pair.value(), nullptr);
}
