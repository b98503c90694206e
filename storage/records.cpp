// storage::zelvanDb, journal records: the writes around a purchase or a
// reversal (each one atomic) and the lookups used by reversal and undo.
#include <sqlite3.h>

#include <initializer_list>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "storage/texts.h"
#include "storage/zelvandb.h"

namespace storage {

namespace {

const char kInsertAll[] =
    "INSERT INTO ALL_OPERATIONS"
    " (ID, DateTime, OperType, ChequeID, ParentID, Terminal, LocationID, Shift, Request, Offline, "
    "TimeVal) "
    " VALUES "
    " (:id, :dt, :otype, :checkid, :prntid, :term, :loc, :shift, :request, :offline, :tval)";

const char kInsertOffline[] =
    "INSERT INTO OFFLINE"
    " (ID, DateTime, OperType, ChequeID, ParentID, Terminal, LocationID, Shift, Request, TimeVal) "
    " VALUES "
    " (:id, :dt, :otype, :checkid, :prntid, :term, :loc, :shift, :request, :tval)";

const char kUpdateRespond[] =
    "UPDATE ALL_OPERATIONS"
    " SET Response=:resp"
    "   , Offline=:offline"
    "   , ErrorCode=:err"
    " WHERE ID=:id"
    " AND DateTime IS :dt"
    " AND ChequeID IS :checkid"
    " AND Terminal IS :term"
    " AND OperType=:ot";

// The row of a record is found by its key; date-time, cheque and terminal
// are compared so that a missing one (NULL) still matches its own row: a
// reply, and an offline operation's copy into OFFLINE, are never lost for
// want of a terminal id.
// Copies a row that is still online into OFFLINE (once: the update that
// follows marks it offline).
const char kCopyOffline[] =
    "INSERT INTO OFFLINE"
    " (ID, DateTime, OperType, ChequeID, ParentID, Terminal, LocationID, Shift, Request, TimeVal)"
    " SELECT ID, DateTime, OperType, ChequeID, ParentID, Terminal, LocationID, Shift, Request, "
    "TimeVal"
    " FROM ALL_OPERATIONS"
    " WHERE ID=:id"
    " AND DateTime IS :dt"
    " AND ChequeID IS :checkid"
    " AND Terminal IS :term"
    " AND OperType=:ot"
    " AND Offline=0";

const char kSelectJournal[] =
    "SELECT ID, DateTime, OperType, ChequeID, ParentID, Shift, LocationID, Terminal, ErrorCode, "
    "Status, Request, Response, Offline, BatchID, TimeVal";
const char kOrderNewest[] = " ORDER BY DATETIME DESC, ID DESC LIMIT 1";

bool journalled(const TransactDB* record) {
    return record != nullptr &&
           (record->OperType() == OPER_PURCHASE || record->OperType() == OPER_REVERSAL);
}

void bindIfSet(Statement& stmt, const char* name, const char* value) {
    if (value != nullptr) stmt.bindText(name, value);
}

// The bindings shared by the two inserts (a parameter a statement lacks is
// skipped; parameters left unbound are NULL).
void bindInsert(Statement& stmt, const TransactDB& rec, const std::string& request) {
    bindIfSet(stmt, ":id", rec.ID());
    bindIfSet(stmt, ":prntid", rec.ParentID());
    bindIfSet(stmt, ":dt", rec.DateTime());
    bindIfSet(stmt, ":checkid", rec.ChequeID());
    bindIfSet(stmt, ":term", rec.TerminalID());
    bindIfSet(stmt, ":loc", rec.LocationID());
    if (!request.empty()) stmt.bindText(":request", request);
    bindIfSet(stmt, ":tval", rec.TimeValue());
    int shift = 0;
    if (rec.Shift() != nullptr && _stoi(rec.Shift(), shift) == 0 && shift > 0)
        stmt.bindInt(":shift", shift);
    stmt.bindInt(":otype", rec.OperType());
    stmt.bindInt(":offline", rec.Offline() ? 1 : 0);
}

// The row of a record, as UpdRespond and its copy find it.
void bindMatch(Statement& stmt, const TransactDB& rec) {
    bindIfSet(stmt, ":id", rec.ID());
    bindIfSet(stmt, ":dt", rec.DateTime());
    bindIfSet(stmt, ":checkid", rec.ChequeID());
    bindIfSet(stmt, ":term", rec.TerminalID());
    stmt.bindInt(":ot", rec.OperType());
}

bool stepDone(int rc) {
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// Runs the prepared write statements in order inside one savepoint. Returns
// 101 when all of them and the commit succeeded; otherwise the failing code,
// with nothing of the change kept.
int runAtomically(Connection& conn, std::initializer_list<Statement*> statements) {
    for (Statement* stmt : statements)
        if (!stmt->ok()) return stmt->rc();
    Savepoint change(conn);
    int rc = change.begin();
    if (rc != SQLITE_OK) return rc;
    for (Statement* stmt : statements) {
        rc = stmt->step();
        if (!stepDone(rc)) return rc;  // the savepoint rolls back
    }
    rc = change.commit();
    return rc == SQLITE_OK ? SQLITE_DONE : rc;
}

}  // namespace

int zelvanDb::InsRequest(const TransactDB* record, const Json::Value& request) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (!journalled(record)) return DB_NOTFOUND;
    const std::string requestText = JsonOut(request, false);
    Statement all(conn_, kInsertAll);
    bindInsert(all, *record, requestText);
    if (!record->Offline()) return runAtomically(conn_, {&all});
    Statement offline(conn_, kInsertOffline);
    bindInsert(offline, *record, requestText);
    return runAtomically(conn_, {&all, &offline});
}

int zelvanDb::InsOffline(const TransactDB* record, const Json::Value& request) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (!journalled(record)) return DB_NOTFOUND;
    Statement offline(conn_, kInsertOffline);
    bindInsert(offline, *record, JsonOut(request, false));
    return runAtomically(conn_, {&offline});
}

int zelvanDb::UpdRespond(const TransactDB* record, const Json::Value& reply, int errCode) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (!journalled(record)) return DB_NOTFOUND;
    Statement update(conn_, kUpdateRespond);
    bindMatch(update, *record);
    update.bindText(":resp", JsonOut(reply, false));
    update.bindInt(":offline", record->Offline() ? 1 : 0);
    update.bindInt(":err", errCode);
    if (!record->Offline()) return runAtomically(conn_, {&update});
    // The copy runs first, while the row still has Offline=0.
    Statement copy(conn_, kCopyOffline);
    bindMatch(copy, *record);
    return runAtomically(conn_, {&copy, &update});
}

int zelvanDb::readRecords(Statement& stmt, TransactDBList& list,
                          const std::function<void(const Row&, TransactDBList&)>& reader) {
    TransactDBList found;
    int rc = stmt.forEachRow([&](const Row& row) { reader(row, found); });
    if (rc != SQLITE_OK) {
        consoleLine(ERR_STREAM, text::kReadError + conn_.errmsg());
        return rc;
    }
    for (auto& rec : found) list.push_back(std::move(rec));
    return SQLITE_OK;
}

int zelvanDb::get_latestSaved_record(TransactDBList* list, const char* chequeId,
                                     const std::string& upTo) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (list == nullptr) return DB_NOMEM;
    std::string sql = std::string(kSelectJournal) + " FROM ALL_OPERATIONS WHERE 1=1";
    if (chequeId != nullptr) sql += " AND ChequeId = :cheque";
    sql += std::string(" AND DATETIME <= :upto") + kOrderNewest;
    Statement stmt(conn_, sql);
    if (chequeId != nullptr) stmt.bindText(":cheque", chequeId);
    stmt.bindText(":upto", upTo);
    return readRecords(stmt, *list, get_full_record_callback);
}

int zelvanDb::get_offlineSaved_record(TransactDBList* list, const std::string& id) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (list == nullptr) return DB_NOMEM;
    Statement stmt(conn_,
                   std::string("SELECT ID, DateTime, OperType, ChequeID, ParentID, Terminal, "
                               "LocationID, Shift, Request, BatchID, TimeVal"
                               " FROM OFFLINE WHERE ID = :id") +
                       kOrderNewest);
    stmt.bindText(":id", id);
    return readRecords(stmt, *list, get_full_record_callback);
}

int zelvanDb::getLastPaymentRecord(TransactDBList* list, const std::string& chequeId,
                                   const std::string& from, const std::string& to) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (list == nullptr) return DB_NOMEM;
    const std::string sql = std::string(kSelectJournal) +
                            " FROM ALL_OPERATIONS WHERE ChequeId = :cheque"
                            " AND DATETIME BETWEEN :from AND :to"
                            " AND OPERTYPE = 3" +
                            kOrderNewest;
    Statement stmt(conn_, sql);
    stmt.bindText(":cheque", chequeId);
    stmt.bindText(":from", from);
    stmt.bindText(":to", to);
    const ConfiguredIdentity identity = identity_;
    const std::string shown =
        text::kSqlOpen + (stmt.ok() ? stmt.expandedSql() : sql) + text::kSqlClose;
    consoleLine(ERR_STREAM, shown);
    int rc = readRecords(stmt, *list, [&identity](const Row& row, TransactDBList& found) {
        getAllOperations_callback(row, identity, found);
    });
    consoleLine(ERR_STREAM, shown);
    return rc;
}

void zelvanDb::clear_TransactDB_List(TransactDBList* list) {
    if (list == nullptr) return;
    while (!list->empty()) list->pop_back();
}

}  // namespace storage
