// Owners of the SQLite connection, prepared statements and savepoints.
#include "storage/sqlite_handle.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/convert.h"
#include "common/log.h"

namespace storage {

int Connection::open(const std::string& path, int flags) {
    close();
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        close();
        return rc;
    }
    // A write waits for a reader of the file (an operator's view, a backup)
    // to finish instead of failing at once.
    sqlite3_busy_timeout(db_, kBusyTimeoutMillis);
    return rc;
}

void Connection::close() {
    if (db_ == nullptr) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::string Connection::errmsg() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(SQLITE_MISUSE);
}

int Connection::exec(const std::string& sql, std::string* errText) {
    if (db_ == nullptr) {
        if (errText != nullptr) *errText = sqlite3_errstr(SQLITE_MISUSE);
        return SQLITE_MISUSE;
    }
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), callback, nullptr, &err);
    // The library's error text is copied and released at once.
    if (errText != nullptr) *errText = err != nullptr ? err : (rc != SQLITE_OK ? errmsg() : "");
    sqlite3_free(err);
    return rc;
}

int callback(void*, int columns, char** values, char** names) {
    std::string out;
    for (int i = 0; i < columns; ++i) {
        out += names[i];
        out += " = ";
        out += values[i] != nullptr ? values[i] : "NULL";
        out += "\n";
    }
    consoleWrite(LOG_STREAM, out);
    return 0;
}

Statement::Statement(const Connection& conn, const std::string& sql) {
    if (!conn.isOpen()) return;
    rc_ = sqlite3_prepare_v2(conn.get(), sql.c_str(), -1, &stmt_, nullptr);
    if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

namespace {

int indexOf(sqlite3_stmt* stmt, const char* name) {
    return stmt != nullptr ? sqlite3_bind_parameter_index(stmt, name) : 0;
}

}  // namespace

int Statement::bindText(const char* name, const std::string& value) {
    int i = indexOf(stmt_, name);
    if (i == 0) return SQLITE_OK;
    return sqlite3_bind_text(stmt_, i, value.data(), static_cast<int>(value.size()),
                             SQLITE_TRANSIENT);
}

int Statement::bindInt(const char* name, int value) {
    int i = indexOf(stmt_, name);
    return i == 0 ? SQLITE_OK : sqlite3_bind_int(stmt_, i, value);
}

int Statement::bindInt64(const char* name, long long value) {
    int i = indexOf(stmt_, name);
    return i == 0 ? SQLITE_OK : sqlite3_bind_int64(stmt_, i, value);
}

int Statement::bindDecimal(const char* name, const std::string& value) {
    const bool signOrDigit =
        !value.empty() && (value[0] == '-' || isdigit(static_cast<unsigned char>(value[0])));
    if (signOrDigit) {
        errno = 0;
        char* end = nullptr;
        const long long number = strtoll(value.c_str(), &end, 10);
        if (errno == 0 && end != value.c_str() && *end == '\0') return bindInt64(name, number);
    }
    return bindText(name, value);
}

int Statement::bindNull(const char* name) {
    int i = indexOf(stmt_, name);
    return i == 0 ? SQLITE_OK : sqlite3_bind_null(stmt_, i);
}

int Statement::step() {
    return stmt_ != nullptr ? sqlite3_step(stmt_) : rc_;
}

Row Statement::row() const {
    Row row;
    if (stmt_ == nullptr) return row;
    int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) {
        if (sqlite3_column_type(stmt_, i) == SQLITE_NULL) continue;
        std::string name = sqlite3_column_name(stmt_, i);
        toLower(name);
        const unsigned char* text = sqlite3_column_text(stmt_, i);
        int bytes = sqlite3_column_bytes(stmt_, i);
        row[name] = text != nullptr ? std::string(reinterpret_cast<const char*>(text), bytes) : "";
    }
    return row;
}

int Statement::forEachRow(const std::function<void(const Row&)>& onRow) {
    for (;;) {
        int rc = step();
        if (rc == SQLITE_DONE) return SQLITE_OK;
        if (rc != SQLITE_ROW) return rc;
        onRow(row());
    }
}

std::string Statement::expandedSql() const {
    if (stmt_ == nullptr) return "";
    char* sql = sqlite3_expanded_sql(stmt_);
    std::string text = sql != nullptr ? sql : sqlite3_sql(stmt_);
    sqlite3_free(sql);
    return text;
}

namespace {

constexpr const char kSavepoint[] = "zelvan_write";

}  // namespace

Savepoint::~Savepoint() {
    rollback();
}

int Savepoint::begin() {
    int rc = conn_.exec(std::string("SAVEPOINT ") + kSavepoint);
    active_ = rc == SQLITE_OK;
    return rc;
}

int Savepoint::commit() {
    if (!active_) return SQLITE_MISUSE;
    int rc = conn_.exec(std::string("RELEASE ") + kSavepoint);
    if (rc == SQLITE_OK) {
        active_ = false;
    } else {
        rollback();
    }
    return rc;
}

void Savepoint::rollback() {
    if (!active_) return;
    active_ = false;
    // Undo the changes, then drop the savepoint itself (which ends the
    // transaction it opened, if it opened one).
    conn_.exec(std::string("ROLLBACK TO ") + kSavepoint);
    conn_.exec(std::string("RELEASE ") + kSavepoint);
}

}  // namespace storage
