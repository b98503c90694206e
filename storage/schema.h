// The journal's schema: the statements that create a new file and those that
// upgrade an older one, as data. The texts are kept byte for byte: they are
// what sqlite_master shows for the file.
#pragma once

namespace storage::schema {

// Schema version written under `dbver`.
inline constexpr const char kVersion[] = "3";

inline constexpr const char kStatesCreate[] =
    "CREATE TABLE STATES ( name VARCHAR (40) PRIMARY KEY ON CONFLICT IGNORE NOT NULL "
    "CONSTRAINT chk_states_name CHECK (name = lower(name) AND name IN ('version', 'dbver', "
    "'lastdatesync', 'lastshiftsync') ), value NOT NULL)";
inline constexpr const char kStatesIndex[] = "CREATE INDEX StatesName_INDEX ON STATES ( name )";

// A new file: every statement in this order, each through sqlite3_exec.
inline constexpr const char* kCreate[] = {
    "PRAGMA foreign_keys=OFF",
    "BEGIN TRANSACTION",
    kStatesCreate,
    "CREATE TABLE ALL_OPERATIONS (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
    "INTEGER, ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, ErrorCode INTEGER, Status "
    "INTEGER, Request, Response, Offline INTEGER, BatchID INTEGER, TimeVal)",
    "CREATE TABLE OFFLINE        (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
    "INTEGER, ChequeID, ParentID, Terminal, LocationID, Shift INTEGER, Request, BatchID INTEGER, "
    "TimeVal)",
    "CREATE TABLE BatchCount (BatchID INTEGER)",
    "CREATE TABLE SyncTask (ID PRIMARY KEY ON CONFLICT IGNORE DEFAULT (strftime('%s','now')) NOT "
    "NULL, Shift INTEGER, Datetime, BatchID  INTEGER UNIQUE ON CONFLICT IGNORE, Priority INTEGER "
    "NOT NULL DEFAULT (20))",
    kStatesIndex,
    // One index per column of ALL_OPERATIONS, names and columns aligned.
    "CREATE INDEX DateTime_INDEX   ON ALL_OPERATIONS ( DateTime   )",
    "CREATE INDEX ID_INDEX         ON ALL_OPERATIONS ( ID         )",
    "CREATE INDEX ParentID_INDEX   ON ALL_OPERATIONS ( ParentID   )",
    "CREATE INDEX OperType_INDEX   ON ALL_OPERATIONS ( OperType   )",
    "CREATE INDEX ChequeID_INDEX   ON ALL_OPERATIONS ( ChequeID   )",
    "CREATE INDEX Terminal_INDEX   ON ALL_OPERATIONS ( Terminal   )",
    "CREATE INDEX Shift_INDEX      ON ALL_OPERATIONS ( Shift      )",
    "CREATE INDEX Status_INDEX     ON ALL_OPERATIONS ( Status     )",
    "CREATE INDEX ErrorCode_INDEX  ON ALL_OPERATIONS ( ErrorCode  )",
    "CREATE INDEX Offline_INDEX    ON ALL_OPERATIONS ( Offline    )",
    "CREATE INDEX LocationID_INDEX ON ALL_OPERATIONS ( LocationID )",
    "CREATE INDEX TimeVal_INDEX    ON ALL_OPERATIONS ( TimeVal    )",
    "CREATE INDEX OfflineID_INDEX       ON OFFLINE ( ID )",
    "CREATE INDEX OfflineParentID_INDEX ON OFFLINE ( ParentID )",
    "CREATE INDEX OfflineDateTime_INDEX ON OFFLINE ( DateTime )",
    "CREATE INDEX OfflineOperType_INDEX ON OFFLINE ( OperType )",
    "CREATE INDEX OfflineChequeID_INDEX ON OFFLINE ( ChequeID )",
    "CREATE INDEX OfflineBatchID_INDEX  ON OFFLINE ( BatchID  )",
    "CREATE INDEX OfflineTimeVal_INDEX  ON OFFLINE ( TimeVal  )",
    // BatchCount keeps exactly one row: further inserts are ignored.
    "CREATE TRIGGER INSERT_NEW_NUM BEFORE INSERT ON BatchCount FOR EACH ROW WHEN EXISTS(SELECT "
    "BatchID FROM BatchCount)  BEGIN Select RAISE(IGNORE); END",
    "INSERT INTO BatchCount VALUES(1)",
    "COMMIT",
};

// Upgrade, in this order: kUpgradeHead, then kUpgradeTimeVal only when the
// old version is 2 or lower, then kUpgradeTail.
inline constexpr const char* kUpgradeHead[] = {
    "PRAGMA foreign_keys=OFF",
    "BEGIN TRANSACTION",
    "DROP TABLE IF EXISTS STATES",
    kStatesCreate,
    kStatesIndex,
};
inline constexpr const char* kUpgradeTimeVal[] = {
    "ALTER TABLE ALL_OPERATIONS ADD COLUMN TimeVal",
    "ALTER TABLE OFFLINE ADD COLUMN TimeVal",
    "CREATE INDEX TimeVal_INDEX  ON ALL_OPERATIONS ( TimeVal )",
    "CREATE INDEX OfflineTimeVal_INDEX  ON OFFLINE ( TimeVal  )",
};
inline constexpr const char* kUpgradeTail[] = {"COMMIT"};

// An opened file needs the upgrade when one of these indexes is missing.
inline constexpr const char* kRequiredIndexes[] = {"StatesName_INDEX", "TimeVal_INDEX",
                                                   "OfflineTimeVal_INDEX"};

// Names of the STATES table and its four allowed values.
inline constexpr const char kStatesTable[] = "STATES";
inline constexpr const char kStateVersion[] = "version";
inline constexpr const char kStateDbVer[] = "dbver";
inline constexpr const char kStateLastDateSync[] = "lastdatesync";
inline constexpr const char kStateLastShiftSync[] = "lastshiftsync";

}  // namespace storage::schema
