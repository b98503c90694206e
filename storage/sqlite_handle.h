// Owners of SQLite resources: the connection, prepared statements and a
// savepoint that makes several statements one atomic change. Nothing else in
// the journal closes or finalizes SQLite handles by hand.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <string>

#include "storage/row.h"

namespace storage {

// Owns one sqlite3 connection; closes it when destroyed or reopened.
class Connection {
  public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // How long a statement waits for a lock another connection holds.
    static constexpr int kBusyTimeoutMillis = 5000;

    // Opens `path` with `flags` (SQLITE_OPEN_FULLMUTEX is always added, so
    // the one connection may be shared by every thread). Returns the
    // library's code; on failure the half-open handle is closed again.
    int open(const std::string& path, int flags);
    // Closes the connection, if open (an open transaction is rolled back).
    void close();

    bool isOpen() const { return db_ != nullptr; }
    sqlite3* get() const { return db_; }
    // The library's English message for the last failure on this connection.
    std::string errmsg() const;

    // Runs one or more statements through sqlite3_exec; rows they return go
    // to the row printer `storage::callback`. Returns the library's code;
    // on failure `errText`, when given, receives the library's message.
    int exec(const std::string& sql, std::string* errText = nullptr);

  private:
    sqlite3* db_ = nullptr;
};

// Row printer for statements run without a row reader: every column of every
// row goes to standard output as "name = value" ("NULL" for null values).
int callback(void* context, int columns, char** values, char** names);

// Owns one prepared statement; finalizes it when destroyed.
class Statement {
  public:
    // Prepares `sql` on `conn`; rc() tells whether it succeeded.
    Statement(const Connection& conn, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Result of the prepare (0 when the statement is ready).
    int rc() const { return rc_; }
    bool ok() const { return stmt_ != nullptr; }

    // Binding by parameter name (":id"). A name the statement lacks is
    // ignored; unbound parameters are NULL. Return the library's code.
    int bindText(const char* name, const std::string& value);
    int bindInt(const char* name, int value);
    int bindInt64(const char* name, long long value);
    // A decimal integer text as its number (so that it compares as a number
    // with INTEGER columns); any other text as text.
    int bindDecimal(const char* name, const std::string& value);
    int bindNull(const char* name);

    // One step: 100 with a row, 101 when done, a library code otherwise.
    int step();
    // The current row (after step() gave 100), columns lower-cased, NULLs left out.
    Row row() const;
    // Steps through every row, handing each to `onRow`. Returns 0 when all
    // rows were read, else the library's code of the failing step.
    int forEachRow(const std::function<void(const Row&)>& onRow);
    // The statement text with its bound parameters written in as literals.
    std::string expandedSql() const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_MISUSE;
};

// A savepoint on a connection: the statements run between begin() and
// commit() take effect together or not at all. Destroyed without a
// successful commit(), it rolls them back. Savepoints nest, so the guard
// also works inside a transaction someone else has opened.
class Savepoint {
  public:
    explicit Savepoint(Connection& conn) : conn_(conn) {}
    ~Savepoint();
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;

    int begin();   // library's code
    int commit();  // library's code; on failure the change is rolled back
    void rollback();

  private:
    Connection& conn_;
    bool active_ = false;
};

}  // namespace storage
