// Row readers of the journal: STATES pairs, full journal rows, purchases
// rebuilt from their stored requests, and synchronisation tasks.
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

}  // namespace

int columnInt(const Row& row, const char* name, int fallback) {
    const std::string* v = column(row, name);
    return v != nullptr ? atoiClamp(*v) : fallback;
}

std::string columnText(const Row& row, const char* name) {
    const std::string* v = column(row, name);
    return v != nullptr ? *v : std::string();
}

const Json::Value& memberOf(const Json::Value& v, const char* name) {
    static const Json::Value kNull;
    return v.isObject() ? v[name] : kNull;
}

std::string storedDateTime(std::string dateTime) {
    if (dateTime.size() <= 7) return "";
    dateTime.resize(14, '0');
    return dateTime;
}

std::string stationValue(const std::string& fromRequest, const std::string& fromRow,
                         const std::string& configured, bool override) {
    if (!override && !fromRequest.empty()) return fromRequest;
    if (!fromRow.empty()) return fromRow;
    if (!configured.empty()) return configured;
    return fromRequest;
}

void pairval_callback(const Row& row, PairValue& pair) {
    if (const std::string* v = column(row, "name")) pair.set_name(v->c_str());
    if (const std::string* v = column(row, "value")) pair.set_value(*v);
}

void get_full_record_callback(const Row& row, TransactDBList& list) {
    std::string id = columnText(row, "id");
    if (id.empty()) return;
    auto rec = std::make_unique<TransactDB>();
    rec->ID(id);
    rec->DateTime(columnText(row, "datetime"));
    rec->OperType(parsedInt(row, "opertype", OPER_NONE));
    rec->ChequeID(columnText(row, "chequeid"));
    rec->ParentID(columnText(row, "parentid"));
    rec->TerminalID(columnText(row, "terminal"));
    rec->LocationID(columnText(row, "locationid"));
    rec->Shift(n2str(parsedInt(row, "shift", -1)));
    rec->Offline(parsedInt(row, "offline", 0) != 0);
    rec->TimeValue(columnText(row, "timeval"));
    rec->Request(columnText(row, "request"));
    rec->Response(columnText(row, "response"));
    int n = 0;
    if (const std::string* v = column(row, "status"); v != nullptr && _stoi(*v, n) == 0)
        rec->Status(n);
    if (const std::string* v = column(row, "errorcode"); v != nullptr && _stoi(*v, n) == 0)
        rec->ErrCode(n);
    list.push_back(std::move(rec));
}

void getAllOperations_callback(const Row& row, const ConfiguredIdentity& identity,
                               TransactDBList& list) {
    if (columnInt(row, "opertype", OPER_NONE) != OPER_PURCHASE) return;
    std::string id = columnText(row, "id");
    std::string request = columnText(row, "request");
    Json::Value stored;
    if (id.empty() || request.empty() || !parseJsonRequest(request, stored)) return;

    std::string rowLocation = columnText(row, "locationid");
    std::string rowTerminal = columnText(row, "terminal");
    auto rec = std::make_unique<TransactDB>();
    rec->ID(id);
    rec->ParentID(columnText(row, "parentid"));
    rec->DateTime(columnText(row, "datetime"));
    rec->TimeValue(columnText(row, "timeval"));
    rec->ChequeID(columnText(row, "chequeid"));
    rec->Shift(n2str(columnInt(row, "shift", -1)));
    rec->OperType(OPER_PURCHASE);
    rec->Offline(columnInt(row, "offline", 0) != 0);

    const Json::Value& t = memberOf(memberOf(stored, "PayBonus"), "Transact");
    if (t.isObject()) {
        // For a purchase the transaction id is its cheque number.
        rec->ID(Jval2Str(t["ID"]));
        std::string dt = storedDateTime(Jval2Str(t["DateTime"]));
        if (!dt.empty()) rec->DateTime(dt);
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

void daysync_callback(const Row& row, TaskSync& task) {
    auto value = [&row](const char* name) {
        const std::string* v = column(row, name);
        return v != nullptr ? v->c_str() : nullptr;
    };
    task.Id(value("id"));
    task.setShift(value("shift"));
    task.setDate(value("datetime"));
    task.setBatchId(value("batchid"));
    task.Prior(parsedInt(row, "priority", TaskSync::kDefaultPriority));
}

}  // namespace storage
