// Row readers: how result rows of the journal become name/value pairs and
// records again.
#pragma once

#include <string>

#include "storage/pairvalue.h"
#include "storage/row.h"
#include "storage/transactdb.h"

namespace storage {

// The station identity configured for the gateway, used when a purchase is
// rebuilt from its stored request.
struct ConfiguredIdentity {
    std::string locationId;  // empty: not configured
    std::string terminalId;  // empty: not configured
    bool override = false;   // the configured identity wins over the request's
};

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

}  // namespace storage
