// Purchases and reversals journalled the way the "PayBonus" and "PayReturn"
// commands journal them: the record their request builders fill, the command
// object as the server stores it (clocks and card fields rewritten), then
// InsRequest and UpdRespond. For the journal tests and for end-to-end tests
// that put work into the journal of a running server.
#pragma once

#include <json/json.h>

#include <string>

#include "storage/zelvandb.h"

namespace journaltest {

struct Operation {
    storage::TransactDB record;
    Json::Value request;  // {"PayBonus": {...}} or {"PayReturn": {...}}
};

struct PurchaseSpec {
    std::string cheque = "1001";
    std::string dateTime = "20240131120005";
    std::string dateTimeUTC = "01/31/2024 09:00:05";
    std::string timeValue = "1706692805.123456";
    std::string card = "7001";
    std::string cardType = "CARD";
    std::string lines = R"([{"art": "95", "cnt": "30.5", "price": "52.10"}])";  // "Check"
    int shift = 7;
    std::string terminal = "T1";
    std::string location = "AZS-7";
};
Operation payBonus(const PurchaseSpec& p = {});

struct ReversalSpec {
    std::string cheque = "2002";
    std::string dateTime = "20240201080000";
    std::string dateTimeUTC = "02/01/2024 05:00:00";
    std::string timeValue = "1706774400.000000";
    std::string lines = R"([{"intid": "1", "art": "95", "cnt": "10.5"}])";  // "Check"
    int shift = 8;
    std::string terminal = "T2";
    std::string location = "AZS-7";
};
// A reversal of `purchase` (its "OrigTransact" and ParentID name it).
Operation payReturn(const Operation& purchase, const ReversalSpec& r = {});

enum class Outcome {
    Online,       // answered by the CRM: result 0
    Offline,      // the CRM unreachable: result 28, the row copied into OFFLINE
    Interrupted,  // no reply stored (ErrorCode stays NULL)
};

// Journals the operation; fails the test when a write fails.
void journal(storage::zelvanDb& db, Operation op, Outcome outcome);
// The same on the journal file at `path`, through a connection of its own.
void journal(const std::string& path, const Operation& op, Outcome outcome);

}  // namespace journaltest
