// storage::zelvanDb, synchronisation tasks: batch numbers, and the SyncTask
// queue (queue a task, fetch the next one, delete a sent one). Every task and
// every offline batch gets a number of its own: numbers only grow, so two
// tasks queued in the same second are two tasks.
#include <sqlite3.h>

#include <iterator>

#include "common/log.h"
#include "storage/texts.h"
#include "storage/zelvandb.h"

namespace storage {

namespace {

// A journal whose BatchCount row is missing gets one again (a further row is
// kept out by the table's trigger).
const char kEnsureBatchCount[] =
    "INSERT INTO BatchCount (BatchID) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM BatchCount)";
// The current second, or the last number plus one when that is larger.
const char kNextBatch[] =
    "UPDATE BatchCount SET BatchID = MAX(CAST(strftime('%s','now') AS INTEGER), IFNULL(BatchID, "
    "0) + 1)";
// The same, also above every task identifier and batch number queued (tasks
// of older files are identified by the second of their insertion).
const char kNextTaskBatch[] =
    "UPDATE BatchCount SET BatchID = MAX(CAST(strftime('%s','now') AS INTEGER), IFNULL(BatchID, "
    "0) + 1, (SELECT MAX(IFNULL(MAX(CAST(ID AS INTEGER)), 0), IFNULL(MAX(BatchID), 0)) + 1 FROM "
    "SyncTask))";

// A new task is identified by its batch number, as text.
const char kInsertTask[] =
    "INSERT INTO SyncTask (ID, Shift, Datetime, BatchID, Priority) SELECT CAST(B.BatchID AS "
    "TEXT), :shift, :date, B.BatchID, :prior FROM BatchCount AS B";
const char kReadInsertedTask[] =
    "SELECT T.ID, T.Shift, T.Datetime, T.BatchId, T.Priority FROM SyncTask AS T, BatchCount AS B "
    "WHERE B.BatchId = T.BatchID AND T.ID = CAST(B.BatchID AS TEXT) LIMIT 1";

const char kTaskNotAdded[] = "задание не сохранено";

// " WHERE" and the task's Id and/or batch id conditions; "" with neither.
std::string taskKey(const TaskSync& task) {
    std::string sql;
    if (task.Id() != nullptr) sql += " Id = :id";
    if (task.Id() != nullptr && task.getBatchId() != nullptr) sql += " AND";
    if (task.getBatchId() != nullptr) sql += " BatchId = :batch";
    return sql.empty() ? sql : " WHERE" + sql;
}

void bindTaskKey(Statement& stmt, const TaskSync& task) {
    if (task.Id() != nullptr) stmt.bindText(":id", task.Id());
    if (task.getBatchId() != nullptr) stmt.bindDecimal(":batch", task.getBatchId());
}

}  // namespace

int zelvanDb::failed(int rc, const char* errorText) {
    consoleLine(ERR_STREAM, errorText + conn_.errmsg());
    return rc;
}

int zelvanDb::nextBatchNumber(bool forTask, const char* errorText) {
    const char* const number[] = {kEnsureBatchCount, forTask ? kNextTaskBatch : kNextBatch};
    return execAll(number, std::size(number), errorText);
}

int zelvanDb::setSyncTask(TaskSync* task) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (task == nullptr) return DB_NOMEM;
    Savepoint change(conn_);
    int rc = change.begin();
    if (rc != SQLITE_OK) return failed(rc, text::kTaskAddError);
    rc = nextBatchNumber(true, text::kTaskAddError);
    if (rc != SQLITE_OK) return rc;

    Statement insert(conn_, kInsertTask);
    if (task->getShift() != nullptr) insert.bindDecimal(":shift", task->getShift());
    if (task->getDate() != nullptr) insert.bindText(":date", task->getDate());
    insert.bindInt(":prior", task->Prior());
    rc = insert.step();
    if (rc != SQLITE_DONE) return failed(rc, text::kTaskAddError);

    // Exactly the task just queued.
    TaskSync queued;
    Statement read(conn_, kReadInsertedTask);
    rc = read.forEachRow([&queued](const Row& row) { daysync_callback(row, queued); });
    if (rc != SQLITE_OK) return failed(rc, text::kTaskReadError);
    if (queued.Id() == nullptr) {
        consoleLine(ERR_STREAM, std::string(text::kTaskAddError) + kTaskNotAdded);
        return SQLITE_CONSTRAINT;
    }
    rc = change.commit();
    if (rc != SQLITE_OK) return failed(rc, text::kTaskAddError);
    *task = queued;
    return SQLITE_OK;
}

int zelvanDb::getNextSyncTask(TaskSync* task) {
    if (!conn_.isOpen()) return DB_NOTADB;
    if (task == nullptr) return DB_NOMEM;
    Statement stmt(conn_, "SELECT ID, Shift, Datetime, BatchId, Priority FROM SyncTask" +
                              taskKey(*task) + " ORDER BY Priority, ID LIMIT 1");
    bindTaskKey(stmt, *task);
    int rc = stmt.forEachRow([task](const Row& row) { daysync_callback(row, *task); });
    return rc == SQLITE_OK ? rc : failed(rc, text::kTaskReadError);
}

int zelvanDb::releaseDaySyncTask(const TaskSync* task) {
    if (task == nullptr) return DB_NOMEM;
    if (!conn_.isOpen()) return DB_NOTADB;
    const std::string key = taskKey(*task);
    if (key.empty()) return SQLITE_OK;
    Statement stmt(conn_, "DELETE FROM SyncTask" + key);
    bindTaskKey(stmt, *task);
    int rc = stmt.step();
    return rc == SQLITE_DONE ? SQLITE_OK : failed(rc, text::kTaskDeleteError);
}

}  // namespace storage
