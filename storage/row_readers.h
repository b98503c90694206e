// Row readers: how result rows of the journal become name/value pairs and
// records again.
#pragma once

#include <json/json.h>

#include <string>

#include "storage/pairvalue.h"
#include "storage/row.h"
#include "storage/tasksync.h"
#include "storage/transactdb.h"

namespace storage {

// The station identity configured for the gateway, used when a purchase is
// rebuilt from its stored request.
struct ConfiguredIdentity {
    std::string locationId;  // empty: not configured
    std::string terminalId;  // empty: not configured
    bool override = false;   // the configured identity wins over the request's
};

// Helpers shared by the row readers.
// The column's text; "" when the row has no such column.
std::string columnText(const Row& row, const char* name);
// The column by the C atoi rule; `fallback` when the row has no such column.
int columnInt(const Row& row, const char* name, int fallback);
// A member of an object; null for anything that is not an object.
const Json::Value& memberOf(const Json::Value& v, const char* name);
// A stored date-time longer than 7 characters, padded on the right with "0"
// to 14 characters and cut to 14; "" for a shorter one.
std::string storedDateTime(std::string dateTime);
// A station or terminal of a stored request: the request's value, unless it
// is empty or `override` is on; then the row's value, or else the configured
// one when there is one.
std::string stationValue(const std::string& fromRequest, const std::string& fromRow,
                         const std::string& configured, bool override);

// Sets the pair's name and value from the columns "name" and "value" (each
// when present in the row).
void pairval_callback(const Row& row, PairValue& pair);

// Full row reader: a row with a non-empty id appends one record holding the
// row's columns as they are (Shift "-1" when the row has none; integers that
// do not parse keep the record's defaults). BatchID is not kept.
void get_full_record_callback(const Row& row, TransactDBList& list);

// Purchase row reader: a purchase row (type 3) with an id and a stored
// request that is valid JSON appends one record rebuilt from the request's
// "PayBonus" -> "Transact" object, with the configured identity filling in
// (or, with the override, replacing) the station and terminal.
void getAllOperations_callback(const Row& row, const ConfiguredIdentity& identity,
                               TransactDBList& list);

// Task row reader: the columns id, shift, datetime, batchid and priority
// into `task`; a column that is absent (NULL) removes the optional value.
void daysync_callback(const Row& row, TaskSync& task);

}  // namespace storage
