// Status codes of the journal: SQLite result codes, and the few the journal
// object reports on its own (what each one means is written beside it).
#pragma once

namespace storage {

enum DbStatus : int {
    DB_OK = 0,         // open, create, upgrade or read succeeded
    DB_BUSY = 5,       // already open; a file exists where one is to be created; upgrade closed
    DB_NOMEM = 7,      // a required argument is missing (name, holder, output list or task)
    DB_NOTFOUND = 12,  // empty path, unreadable file, missing name, missing or untyped record
    DB_EMPTY = 16,     // nothing opened yet
    DB_NOTADB = 26,    // the operation needs the connection and it is closed
    DB_ROW = 100,      // a prepared statement produced a row
    DB_DONE = 101,     // a write through prepared statements completed
};

}  // namespace storage
