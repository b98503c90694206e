// Row readers of the journal: STATES pairs, full journal rows and purchases
// rebuilt from their stored requests.
#include "storage/row_readers.h"

#include <json/json.h>

#include "common/convert.h"
#include "common/json_util.h"

namespace storage {

namespace {

// The integer at the start of the column's text, or `fallback` when the
// column is absent or does not start with a number.
int parsedInt(const Row& row, const char* name, int fallback) {
    const std::string* v = column(row, name);
    int result = fallback;
    if (v != nullptr) _stoi(*v, result);
    return result;
}

// The plain C conversion: 0 for text without a leading number.
int plainInt(const Row& row, const char* name, int fallback) {
    const std::string* v = column(row, name);
    return v != nullptr ? atoiClamp(*v) : fallback;
}

std::string text(const Row& row, const char* name) {
    const std::string* v = column(row, name);
    return v != nullptr ? *v : std::string();
}

// A member of an object; null for anything that is not an object.
const Json::Value& member(const Json::Value& v, const char* name) {
    static const Json::Value kNull;
    return v.isObject() ? v[name] : kNull;
}

// The request's station value, or the replacement from the row or the
// configuration when it is empty or the override is on.
std::string stationValue(const std::string& fromRequest, const std::string& fromRow,
                         const std::string& configured, bool override) {
    if (!override && !fromRequest.empty()) return fromRequest;
    if (!fromRow.empty()) return fromRow;
    if (!configured.empty()) return configured;
    return fromRequest;
}

}  // namespace

void pairval_callback(const Row& row, PairValue& pair) {
    if (const std::string* v = column(row, "name")) pair.set_name(v->c_str());
    if (const std::string* v = column(row, "value")) pair.set_value(*v);
}

void get_full_record_callback(const Row& row, TransactDBList& list) {
    std::string id = text(row, "id");
    if (id.empty()) return;
    auto rec = std::make_unique<TransactDB>();
    rec->ID(id);
    rec->DateTime(text(row, "datetime"));
    rec->OperType(parsedInt(row, "opertype", OPER_NONE));
    rec->ChequeID(text(row, "chequeid"));
    rec->ParentID(text(row, "parentid"));
    rec->TerminalID(text(row, "terminal"));
    rec->LocationID(text(row, "locationid"));
    rec->Shift(n2str(parsedInt(row, "shift", -1)));
    rec->Offline(parsedInt(row, "offline", 0) != 0);
    rec->TimeValue(text(row, "timeval"));
    rec->Request(text(row, "request"));
    rec->Response(text(row, "response"));
    int n = 0;
    if (const std::string* v = column(row, "status"); v != nullptr && _stoi(*v, n) == 0)
        rec->Status(n);
    if (const std::string* v = column(row, "errorcode"); v != nullptr && _stoi(*v, n) == 0)
        rec->ErrCode(n);
    list.push_back(std::move(rec));
}

void getAllOperations_callback(const Row& row, const ConfiguredIdentity& identity,
                               TransactDBList& list) {
    if (plainInt(row, "opertype", OPER_NONE) != OPER_PURCHASE) return;
    std::string id = text(row, "id");
    std::string request = text(row, "request");
    Json::Value stored;
    if (id.empty() || request.empty() || !parseJsonRequest(request, stored)) return;

    std::string rowLocation = text(row, "locationid");
    std::string rowTerminal = text(row, "terminal");
    auto rec = std::make_unique<TransactDB>();
    rec->ID(id);
    rec->ParentID(text(row, "parentid"));
    rec->DateTime(text(row, "datetime"));
    rec->TimeValue(text(row, "timeval"));
    rec->ChequeID(text(row, "chequeid"));
    rec->Shift(n2str(plainInt(row, "shift", -1)));
    rec->OperType(OPER_PURCHASE);
    rec->Offline(plainInt(row, "offline", 0) != 0);

    const Json::Value& t = member(member(stored, "PayBonus"), "Transact");
    if (t.isObject()) {
        // For a purchase the transaction id is its cheque number.
        rec->ID(Jval2Str(t["ID"]));
        std::string dt = Jval2Str(t["DateTime"]);
        if (dt.size() > 7) {
            dt.resize(14, '0');
            rec->DateTime(dt);
        }
        std::string utc = Jval2Str(t["DateTimeUTC"]);
        if (!utc.empty()) rec->DateTimeUTC(utc);
        std::string tval = Jval2Str(t["TimeValue"]);
        if (!tval.empty()) rec->TimeValue(tval);
        std::string loc = stationValue(Jval2Str(t["Location"]), rowLocation, identity.locationId,
                                       identity.override);
        if (!loc.empty()) rec->LocationID(loc);
        std::string term = stationValue(Jval2Str(t["Terminal"]), rowTerminal, identity.terminalId,
                                        identity.override);
        if (!term.empty()) rec->TerminalID(term);
        int shift = Jval2Int(t["shift"]);
        if (shift > 0) rec->Shift(n2str(shift));
    }
    list.push_back(std::move(rec));
}

}  // namespace storage
