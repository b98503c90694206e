// zelvan-journal: the operator's read-only view of the journal beside a
// running server. Opening the file without ever writing to it, the report
// read from it (one JSON document, also the --json output) and its text form.
#pragma once

#include <json/json.h>

#include <ctime>
#include <string>

#include "storage/sqlite_handle.h"

namespace journal {

// Opens the journal at `path` read-only: no file is created or written.
// Returns "" on success (with `mode` "rollback" or "wal"), otherwise the
// operator's error text (missing, unreadable or foreign file).
std::string openReadOnly(const std::string& path, storage::Connection& conn, std::string& mode);

// Whether the journal has a table of that name (any case).
bool hasTable(const storage::Connection& conn, const char* name);

// The report, read in one read transaction: the offline backlog, the queued
// synchronisation tasks, the named state values, the batch numbers and the
// operations of each of the last `days` days (newest first), as of `now`.
// Returns "" on success, else the error text.
std::string readReport(storage::Connection& conn, int days, time_t now, Json::Value& report);

// The report for a person, one line per fact, Russian like the server's texts.
std::string textReport(const Json::Value& report);

}  // namespace journal
