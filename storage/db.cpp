// storage::zelvanDb, connection side: opening, creation with the schema,
// upgrade of older files, existence checks and the named state values.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <iterator>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "storage/schema.h"
#include "storage/texts.h"
#include "storage/zelvandb.h"

namespace storage {

static_assert(DB_OK == SQLITE_OK && DB_BUSY == SQLITE_BUSY && DB_NOMEM == SQLITE_NOMEM &&
                  DB_NOTFOUND == SQLITE_NOTFOUND && DB_EMPTY == SQLITE_EMPTY &&
                  DB_NOTADB == SQLITE_NOTADB && DB_ROW == SQLITE_ROW && DB_DONE == SQLITE_DONE,
              "the journal's status codes are SQLite's");

namespace {

bool pathTaken(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

void removeFile(const std::string& path) {
    if (pathTaken(path)) std::remove(path.c_str());
}

}  // namespace

zelvanDb::zelvanDb() = default;

zelvanDb::zelvanDb(const char* path) {
    setDBPath(path);
}

zelvanDb::~zelvanDb() {
    close();
}

void zelvanDb::setDBPath(const char* path) {
    path_ = path != nullptr ? path : "";
}

const char* zelvanDb::getDBPath() const {
    return path_.empty() ? nullptr : path_.c_str();
}

bool zelvanDb::dbExists(const char* path) {
    return FileExists(path);
}

const char* zelvanDb::errMsg() const {
    return sqlite3_errstr(status_);
}

const char* zelvanDb::getConfigLocationId() const {
    return identity_.locationId.empty() ? nullptr : identity_.locationId.c_str();
}

const char* zelvanDb::getConfigTerminalId() const {
    return identity_.terminalId.empty() ? nullptr : identity_.terminalId.c_str();
}

int zelvanDb::open() {
    if (conn_.isOpen()) return status_ = DB_BUSY;
    if (path_.empty() || !FileExists(path_.c_str())) return status_ = DB_NOTFOUND;
    return status_ = conn_.open(path_, SQLITE_OPEN_READWRITE);
}

int zelvanDb::close() {
    conn_.close();
    return DB_OK;
}

int zelvanDb::reopen(const char* path) {
    if (path == nullptr) return status_ = DB_NOTFOUND;
    close();
    setDBPath(path);
    return dbExists(path) ? open() : initDb();
}

int zelvanDb::execAll(const char* const* sql, std::size_t count, const char* errorText) {
    for (std::size_t i = 0; i < count; ++i) {
        std::string message;
        int rc = conn_.exec(sql[i], &message);
        if (rc != SQLITE_OK) {
            consoleLine(ERR_STREAM, errorText + message);
            return rc;
        }
    }
    return SQLITE_OK;
}

int zelvanDb::initDb() {
    if (conn_.isOpen()) return status_ = DB_BUSY;
    if (path_.empty()) return status_ = DB_NOTFOUND;
    if (pathTaken(path_)) return status_ = DB_BUSY;

    int rc = conn_.open(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK) {
        rc = execAll(schema::kCreate, std::size(schema::kCreate), text::kCreateError);
        // Closing rolls back whatever the failed creation had begun.
        if (rc != SQLITE_OK) conn_.close();
    }
    if (rc != SQLITE_OK) {
        // A failed creation never leaves a partial file behind.
        removeFile(path_);
        return status_ = rc;
    }

    PairValue pair;
    pair.set_name(schema::kStateDbVer);
    pair.set_value(schema::kVersion);
    setStatesVal(pair);
    pair.set_name(schema::kStateLastDateSync);
    pair.set_value(now2DayStr());
    setStatesVal(pair);
    return status_ = DB_OK;
}

int zelvanDb::UpgradeDb() {
    if (!conn_.isOpen()) return status_ = DB_BUSY;

    // The state values that survive the recreation of STATES.
    std::string dbver, lastDate, lastShift;
    bool hasStates = _chk_table_exists(schema::kStatesTable);
    if (hasStates) {
        const std::pair<const char*, std::string*> saved[] = {
            {schema::kStateDbVer, &dbver},
            {schema::kStateLastDateSync, &lastDate},
            {schema::kStateLastShiftSync, &lastShift},
        };
        for (const auto& [name, target] : saved) {
            PairValue pair;
            getStatesVal(name, &pair);
            if (pair.value() != nullptr) *target = pair.value();
        }
    }

    bool needed = !hasStates || dbver != schema::kVersion;
    for (const char* index : schema::kRequiredIndexes)
        if (!needed && !_chk_index_exists(index)) needed = true;

    PairValue pair;
    if (!needed) {
        if (lastDate.empty()) {
            pair.set_name(schema::kStateLastDateSync);
            pair.set_value(now2DayStr());
            setStatesVal(pair);
        }
        return status_ = DB_OK;
    }

    int oldVersion = -1;
    if (_stoi(dbver, oldVersion) != 0 || oldVersion < 0) oldVersion = -1;

    int rc = execAll(schema::kUpgradeHead, std::size(schema::kUpgradeHead), text::kUpgradeError);
    if (rc == SQLITE_OK && oldVersion <= 2)
        rc = execAll(schema::kUpgradeTimeVal, std::size(schema::kUpgradeTimeVal),
                     text::kUpgradeError);
    if (rc == SQLITE_OK)
        rc = execAll(schema::kUpgradeTail, std::size(schema::kUpgradeTail), text::kUpgradeError);
    if (rc != SQLITE_OK) {
        // Nothing of a failed upgrade is kept, and the connection is not
        // left inside the half-done transaction.
        if (sqlite3_get_autocommit(conn_.get()) == 0) conn_.exec("ROLLBACK");
        return status_ = rc;
    }

    pair.set_name(schema::kStateDbVer);
    pair.set_value(schema::kVersion);
    setStatesVal(pair);
    pair.set_name(schema::kStateLastDateSync);
    pair.set_value(lastDate.empty() ? now2DayStr() : lastDate);
    setStatesVal(pair);
    if (!lastShift.empty()) {
        pair.set_name(schema::kStateLastShiftSync);
        pair.set_value(lastShift);
        setStatesVal(pair);
    }
    return status_ = DB_OK;
}

bool zelvanDb::exists(const char* type, const char* name) {
    if (name == nullptr) {
        status_ = DB_NOMEM;
        return false;
    }
    if (!conn_.isOpen()) {
        status_ = DB_NOTADB;
        return false;
    }
    Statement stmt(conn_, std::string("SELECT 1 as value FROM sqlite_master WHERE type='") + type +
                              "' and UPPER(name)=UPPER(:name) LIMIT 1");
    PairValue found;
    stmt.bindText(":name", name);
    int rc = stmt.forEachRow([&found](const Row& row) { pairval_callback(row, found); });
    status_ = rc;
    if (rc != SQLITE_OK) {
        consoleLine(ERR_STREAM, text::kReadError + conn_.errmsg());
        return false;
    }
    return found.value() != nullptr;
}

bool zelvanDb::_chk_table_exists(const char* name) {
    return exists("table", name);
}

bool zelvanDb::_chk_index_exists(const char* name) {
    return exists("index", name);
}

int zelvanDb::getStatesVal(const char* name, PairValue* pair) {
    if (name == nullptr) return status_ = DB_NOTFOUND;
    if (pair == nullptr) return status_ = DB_NOMEM;
    if (!conn_.isOpen()) return status_ = DB_NOTADB;
    Statement stmt(conn_, "SELECT name, value from STATES WHERE name = LOWER(:name) LIMIT 1");
    stmt.bindText(":name", name);
    int rc = stmt.forEachRow([pair](const Row& row) { pairval_callback(row, *pair); });
    if (rc != SQLITE_OK) consoleLine(ERR_STREAM, text::kReadError + conn_.errmsg());
    return status_ = rc;
}

int zelvanDb::setStatesVal(const PairValue& pair) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (pair.name() == nullptr) return DB_NOTFOUND;
    const std::string name = pair.name();
    const bool hasValue = pair.value() != nullptr;
    const std::string value = hasValue ? pair.value() : "";
    for (const char* sql :
         {"INSERT OR IGNORE INTO STATES (name, value) VALUES (LOWER(:nam), :val) ",
          "UPDATE STATES set value = :val WHERE name=LOWER(:nam)"}) {
        Statement stmt(conn_, sql);
        if (!stmt.ok()) return stmt.rc();
        stmt.bindText(":nam", name);
        if (hasValue) stmt.bindText(":val", value);
        int rc = stmt.step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
    }
    return DB_DONE;
}

}  // namespace storage
