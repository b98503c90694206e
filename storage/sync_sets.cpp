// storage::zelvanDb, synchronisation sets: the offline batch (OFFLINE) and
// the task batch (a day and/or shift of ALL_OPERATIONS) collected into their
// temporary tables and read into orders, the release of a delivered offline
// batch, and the temporary tables dropped.
#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <set>

#include "common/log.h"
#include "storage/texts.h"
#include "storage/zelvandb.h"

namespace storage {

namespace {

// Every offline purchase with its own request, and every offline reversal
// whose journal row has an outcome, with the request, station and terminal
// of its purchase when the purchase has an outcome; each row carries the
// batch number.
const char kCreateTempBatch[] =
    "CREATE Table temp_batch AS SELECT ID, DateTime, OperType, ChequeID, ParentID, Shift, "
    "OrderRequest, Request, LocationID, Terminal, BatchID, TimeVal FROM (SELECT OP.ID, "
    "OP.Datetime, OP.OperType, OP.ChequeID, OP.ParentID, OP.Shift, OP.Request AS OrderRequest, "
    "NULL AS Request, OP.LocationID, OP.Terminal, BP.BatchID, OP.TimeVal FROM OFFLINE AS OP, "
    "BatchCount AS BP WHERE OP.OperType=3 UNION ALL SELECT AO.ID, AO.Datetime, AO.OperType, "
    "AO.ChequeID, AO.ParentID, AO.Shift, A.Request AS OrderRequest, AO.Request, "
    "COALESCE(A.LocationID, AO.LocationID) as LocationID, COALESCE(A.Terminal, AO.Terminal) as "
    "Terminal, BO.BatchID, AO.TimeVal FROM OFFLINE AS OT, ALL_OPERATIONS AS AO, BatchCount AS BO "
    "LEFT JOIN (SELECT ID, DateTime, OperType, ParentID, LocationID, Terminal, Request, "
    "ErrorCode, TimeVal FROM ALL_OPERATIONS) as A ON A.ID=AO.ParentID AND A.OperType=3 AND "
    "A.ErrorCode IS NOT NULL WHERE OT.OperType = 4 AND AO.ErrorCode IS NOT NULL AND AO.ParentID "
    "= OT.ParentID AND AO.ID = OT.ID)";

// The day's and/or shift's purchases with an outcome and its reversals with
// or without one, numbered with the task's batch number: the head, the
// conditions of the purchases, the middle, the conditions of the reversals
// and ")".
const char kDaySetHead[] =
    "CREATE Table temp_day_sync AS SELECT ID, DateTime, OperType, ChequeID, ParentID, Shift, "
    "OrderRequest, Request, LocationID, Terminal, BatchID, TimeVal FROM (SELECT OP.ID, "
    "OP.Datetime, OP.OperType, OP.ChequeID, OP.ParentID, OP.Shift, OP.Request AS OrderRequest, "
    "NULL AS Request, OP.LocationID, OP.Terminal, :batch AS BatchID, OP.TimeVal FROM "
    "ALL_OPERATIONS AS OP WHERE OP.OperType=3 AND OP.ErrorCode IS NOT NULL";
const char kDaySetMiddle[] =
    " UNION ALL SELECT AO.ID, AO.Datetime, AO.OperType, AO.ChequeID, AO.ParentID, AO.Shift, "
    "A.Request AS OrderRequest, AO.Request, COALESCE(A.LocationID, AO.LocationID) as LocationID, "
    "COALESCE(A.Terminal, AO.Terminal) as Terminal, :batch AS BatchID, AO.TimeVal FROM "
    "ALL_OPERATIONS AS AO LEFT JOIN (SELECT ID, DateTime, OperType, ParentID, LocationID, "
    "Terminal, Request, ErrorCode FROM ALL_OPERATIONS) as A ON A.ID=AO.ParentID AND "
    "A.OperType=3 AND A.ErrorCode IS NOT NULL WHERE AO.OperType = 4";

const char kSelectSet[] =
    "SELECT ID, DateTime, OperType, ChequeID, ParentID, Shift, OrderRequest, Request, "
    "LocationID, Terminal, BatchID, TimeVal FROM ";

const char kMarkSent[] =
    "UPDATE ALL_OPERATIONS SET BatchId = (Select BatchId from temp_batch WHERE temp_batch.id = "
    "ALL_OPERATIONS.id) WHERE EXISTS (SELECT * FROM temp_batch WHERE temp_batch.id = "
    "ALL_OPERATIONS.id)";
const char kDeleteSent[] =
    "DELETE FROM OFFLINE WHERE ID=(SELECT ID FROM temp_batch WHERE OFFLINE.ID=temp_batch.ID)";

const char kUnsentRow[] = "Операция не передана в ZelvanCRM и удаляется из очереди offline: ";

// The day and shift conditions of a task, on the table alias `a`. The day is
// a prefix of DateTime, compared as text.
std::string taskConditions(const TaskSync& task, const std::string& a) {
    std::string sql;
    if (task.getDate() != nullptr)
        sql += " AND substr(" + a + ".Datetime, 1, length(:date)) = :date";
    if (task.getShift() != nullptr) sql += " AND " + a + ".Shift = :shift";
    return sql;
}

}  // namespace

int zelvanDb::readSet(const char* table, FlushOrderList& list, std::vector<std::string>* unsent) {
    Statement stmt(conn_, std::string(kSelectSet) + table + " ORDER BY ID");
    std::vector<std::string> rows;
    int rc = stmt.forEachRow([&](const Row& row) {
        rows.push_back(columnText(row, "id"));
        offline_callback(row, identity_, list);
    });
    if (rc != SQLITE_OK) return failed(rc, text::kReadError);
    if (unsent != nullptr) {
        std::set<std::string> sent;
        for (const auto& order : list)
            if (order->sendable()) sent.insert(order->Rows.begin(), order->Rows.end());
        // A row without a key is never deleted: it is not reported either.
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(*unsent),
                     [&](const std::string& id) { return !id.empty() && sent.count(id) == 0; });
    }
    return SQLITE_OK;
}

int zelvanDb::getOfflineOrders(FlushOrderList* list) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (list == nullptr) return DB_NOMEM;
    {
        // On a failure the savepoint rolls everything back.
        Savepoint change(conn_);
        int rc = change.begin();
        if (rc != SQLITE_OK) return failed(rc, text::kTempTableError);
        rc = nextBatchNumber(false, text::kTempTableError);
        if (rc != SQLITE_OK) return rc;
        const char* const create[] = {"DROP TABLE IF EXISTS temp_batch", kCreateTempBatch};
        rc = execAll(create, std::size(create), text::kTempTableError);
        if (rc != SQLITE_OK) return rc;
        rc = change.commit();
        if (rc != SQLITE_OK) return failed(rc, text::kTempTableError);
    }
    return readSet("temp_batch", *list, nullptr);
}

int zelvanDb::getDaySyncOrders(FlushOrderList* list, const TaskSync* task) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (list == nullptr || task == nullptr) return DB_NOMEM;
    if (task->getDate() == nullptr && task->getShift() == nullptr) return DB_NOMEM;
    {
        Savepoint change(conn_);
        int rc = change.begin();
        if (rc != SQLITE_OK) return failed(rc, text::kTempTableError);
        const char* const drop[] = {"DROP TABLE IF EXISTS temp_day_sync"};
        rc = execAll(drop, std::size(drop), text::kTempTableError);
        if (rc != SQLITE_OK) return rc;
        Statement create(conn_, kDaySetHead + taskConditions(*task, "OP") + kDaySetMiddle +
                                    taskConditions(*task, "AO") + ")");
        if (task->getBatchId() != nullptr) create.bindDecimal(":batch", task->getBatchId());
        if (task->getDate() != nullptr) create.bindText(":date", task->getDate());
        if (task->getShift() != nullptr) create.bindDecimal(":shift", task->getShift());
        rc = create.step();
        if (rc != SQLITE_DONE) return failed(rc, text::kTempTableError);
        rc = change.commit();
        if (rc != SQLITE_OK) return failed(rc, text::kTempTableError);
    }
    return readSet("temp_day_sync", *list, nullptr);
}

int zelvanDb::releaseOfflineSyncTask() {
    if (!conn_.isOpen()) return DB_NOTADB;
    // Rows that leave OFFLINE without having been sent are named first.
    FlushOrderList set;
    std::vector<std::string> unsent;
    int rc = readSet("temp_batch", set, &unsent);
    if (rc != SQLITE_OK) return rc;
    for (const std::string& id : unsent) log(kUnsentRow + id, ERR_STREAM, logConsole());

    // The batch number and the deletion take effect together or not at all.
    Savepoint change(conn_);
    rc = change.begin();
    if (rc != SQLITE_OK) return failed(rc, text::kReleaseError);
    const char* const release[] = {kMarkSent, kDeleteSent};
    rc = execAll(release, std::size(release), text::kReleaseError);
    if (rc != SQLITE_OK) return rc;
    rc = change.commit();
    return rc == SQLITE_OK ? rc : failed(rc, text::kReleaseError);
}

int zelvanDb::clearOfflineSyncTemp() {
    if (!conn_.isOpen()) return DB_NOTADB;
    const char* const drop[] = {"DROP Table IF EXISTS temp_batch"};
    return execAll(drop, std::size(drop), text::kTempDropError);
}

int zelvanDb::clearDaySyncTemp() {
    if (!conn_.isOpen()) return DB_NOTADB;
    const char* const drop[] = {"DROP Table IF EXISTS temp_day_sync"};
    return execAll(drop, std::size(drop), text::kTempDropError);
}

}  // namespace storage
