// storage::zelvanDb: the journal database. One object owns the one SQLite
// connection that every thread of the server shares (opened in serialized
// mode). Operations report by SQLite result codes (status.h); database errors
// are written to the error stream as a Russian text followed by the library's
// message and are never thrown.
//
// The operations are grouped by source file: db.cpp (connection, schema,
// upgrade, state values, identity), records.cpp (journal writes and lookups),
// sync_sets.cpp (synchronisation sets), sync_tasks.cpp (synchronisation tasks
// and batch numbers).
//
// Concurrency: the object has no lock of its own. The library serialises the
// calls on the connection; callers keep whole operations from interleaving
// (the server lock).
#pragma once

#include <json/json.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "storage/flushorder.h"
#include "storage/pairvalue.h"
#include "storage/row_readers.h"
#include "storage/sqlite_handle.h"
#include "storage/status.h"
#include "storage/tasksync.h"
#include "storage/transactdb.h"

namespace storage {

class zelvanDb {
  public:
    // Closed, status 16 (DB_EMPTY), override off, no configured identity.
    zelvanDb();
    // The same with the database path set (null: no path).
    explicit zelvanDb(const char* path);
    // Closes the connection.
    virtual ~zelvanDb();
    zelvanDb(const zelvanDb&) = delete;
    zelvanDb& operator=(const zelvanDb&) = delete;

    // ---- Connection and schema (db.cpp) ----

    // Full path of the database file; null clears it. getDBPath() is null
    // when no path is set (the pointer is valid until the path changes).
    void setDBPath(const char* path);
    const char* getDBPath() const;
    // True when a file at `path` can be opened for reading; false for null.
    static bool dbExists(const char* path);

    // Opens the existing file read-write (never creates it). Status: 5 when
    // already open, 12 for an empty path or an unreadable file, else the
    // library's code (0 on success; on failure the object stays closed).
    int open();
    // Creates a new file with the full schema and stores `dbver` "3" and
    // today's `lastdatesync`. Status: 5 when open or when a file already
    // exists at the path, 12 for an empty path, the library's code when the
    // file cannot be opened or a schema statement fails; a failed creation
    // leaves no file behind and the object closed. 0 on success.
    int initDb();
    // Brings an opened file to schema version 3 (STATES recreated, with the
    // TimeVal columns and indexes for version 2 and older), keeping
    // `lastdatesync` and `lastshiftsync`. Status: 5 when closed, the code of
    // the failing statement (nothing of the upgrade is kept; the connection
    // stays open), 0 on success or when no upgrade is needed.
    int UpgradeDb();
    // Closes, sets the path, then open() when the file exists, else initDb().
    // 12 for a null path.
    int reopen(const char* path);
    // Closes the connection if open. Returns 0.
    int close();
    bool isOpen() const { return conn_.isOpen(); }

    // Last status code, and the library's English text for it.
    int err() const { return status_; }
    const char* errMsg() const;

    // Whether a table / index of that name exists (case-insensitive). Status:
    // 7 for a null name, 26 when closed, else the library's code.
    bool _chk_table_exists(const char* name);
    bool _chk_index_exists(const char* name);

    // Reads the STATES row `name` (matched lower-cased) into `pair`. Returns
    // and stores as status: 12 for a null name, 7 for a null pair, the
    // library's code otherwise (0 also when no row matched; the pair is
    // then left as it was).
    int getStatesVal(const char* name, PairValue* pair);
    // Inserts or updates the STATES row of the pair (name lower-cased; only
    // version, dbver, lastdatesync and lastshiftsync are ever stored, other
    // names are silently dropped). Returns 101 on success, 26 when closed,
    // 12 for a pair without name, else the failing library code. Leaves the
    // status alone.
    int setStatesVal(const PairValue& pair);

    // Station identity used when purchases are rebuilt from stored requests.
    // Text setters clear for null; getters are null when empty.
    void setConfigLocationId(const char* s) { identity_.locationId = s != nullptr ? s : ""; }
    void setConfigLocationId(const std::string& s) { identity_.locationId = s; }
    const char* getConfigLocationId() const;
    void setConfigTerminalId(const char* s) { identity_.terminalId = s != nullptr ? s : ""; }
    void setConfigTerminalId(const std::string& s) { identity_.terminalId = s; }
    const char* getConfigTerminalId() const;
    void setAzsIdentOverride(bool b) { identity_.override = b; }
    bool getAzsIdentOverride() const { return identity_.override; }

    // ---- Journal records (records.cpp) ----
    // The record is only read; the caller keeps it. Writes return 101 on
    // success (also when a duplicate key is ignored or an update matches no
    // row), 26 when closed, 12 for a null record or a type other than 3 or 4,
    // else the failing library code. Each write is one atomic change: on a
    // failure none of its statements takes effect.

    // Journals a new operation in ALL_OPERATIONS and, for an offline record,
    // in OFFLINE; `request` is stored as compact JSON text.
    int InsRequest(const TransactDB* record, const Json::Value& request);
    // Inserts the OFFLINE row alone.
    int InsOffline(const TransactDB* record, const Json::Value& request);
    // Stores the reply (compact JSON text), the outcome code and the offline
    // mark on the record's row (matched by ID and type, with DateTime,
    // ChequeID and Terminal equal or both missing: a record without a key
    // updates nothing). An offline record whose row was still online is
    // first copied into OFFLINE, so an operation is copied once.
    int UpdRespond(const TransactDB* record, const Json::Value& reply, int errCode);

    // Lookups append at most one record to `list` (owned by the caller) and
    // return 0, 26 when closed, 7 for a null list, or the library's code on a
    // read error (the list is then left as it was). Values are bound as
    // statement parameters, never written into the statement text.

    // Newest ALL_OPERATIONS row with DateTime at or before `upTo`, of the
    // cheque when `chequeId` is not null, read back as stored.
    int get_latestSaved_record(TransactDBList* list, const char* chequeId, const std::string& upTo);
    // The OFFLINE row with journal key `id`, read back as stored.
    int get_offlineSaved_record(TransactDBList* list, const std::string& id);
    // Newest purchase (type 3) of the cheque with DateTime between `from` and
    // `to`, rebuilt from its stored request with the configured identity.
    // Writes " SQL : [ statement ]" to the error stream before and after.
    int getLastPaymentRecord(TransactDBList* list, const std::string& chequeId,
                             const std::string& from, const std::string& to);
    // Deletes every record of the list and empties it (null: nothing to do).
    static void clear_TransactDB_List(TransactDBList* list);

    // ---- Synchronisation sets (sync_sets.cpp) ----
    // One batch cycle: collect a set into its temporary table (temp_batch for
    // the offline batch, temp_day_sync for a task batch) and read it into
    // orders, send it, on delivery release it, and in every case drop the
    // temporary table. Cycles must not overlap: the caller holds the server
    // lock from the collection to the drop. Results: 0 success, 26 when
    // closed, 7 for a null list or task, else the library's code (written to
    // the error stream with its Russian text). Values are bound as statement
    // parameters, never written into the statement text.

    // Gives the offline batch a new batch number, collects every offline
    // purchase and every offline reversal that has an outcome (with its
    // purchase's stored request when the purchase has one) and appends the
    // orders to `list`. On a read error the orders read so far stay.
    int getOfflineOrders(FlushOrderList* list);
    // Collects the purchases with an outcome and the reversals of the task's
    // day (DateTime beginning with it) and/or shift, numbered with the task's
    // batch number, and appends the orders to `list`. 7 also when the task
    // has neither date nor shift.
    int getDaySyncOrders(FlushOrderList* list, const TaskSync* task);
    // After delivery of the offline batch: in one transaction, writes the
    // batch number into ALL_OPERATIONS and deletes the collected rows from
    // OFFLINE. Collected rows that went into no order sent are written to
    // the error log with their journal key first.
    int releaseOfflineSyncTask();
    // Drop the temporary table of the offline / task batch.
    int clearOfflineSyncTemp();
    int clearDaySyncTemp();

    // ---- Synchronisation tasks (sync_tasks.cpp) ----

    // Queues the task (its date, shift and priority) with a new batch number
    // and a new identifier, then reads exactly that task back into `task`.
    int setSyncTask(TaskSync* task);
    // Reads the next task (lowest priority, then oldest) into `task`; when the
    // task has an Id and/or batch id, that task. No task leaves `task` as it
    // was.
    int getNextSyncTask(TaskSync* task);
    // Deletes the task (by its Id and/or batch id) from the queue; 0 at once
    // when it has neither.
    int releaseDaySyncTask(const TaskSync* task);

  private:
    bool exists(const char* type, const char* name);
    // Runs the statements in order through sqlite3_exec; on the first failure
    // writes `errorText` and the library's message to the error stream and
    // returns the code.
    int execAll(const char* const* sql, std::size_t count, const char* errorText);
    // Runs a lookup statement and hands each row to `reader`; the records
    // read are appended to `list` only when the whole read succeeded. A read
    // error is written to the error stream.
    int readRecords(Statement& stmt, TransactDBList& list,
                    const std::function<void(const Row&, TransactDBList&)>& reader);
    int writeOffline(const TransactDB& record, const std::string& request);
    // Reads a collected set (`table` is one of the temporary tables) into
    // `list`; `unsent`, when given, receives the journal keys of the rows
    // that went into no order with goods.
    int readSet(const char* table, FlushOrderList& list, std::vector<std::string>* unsent);
    // Advances BatchCount to the next batch number: the current second, or
    // the last number plus one when that is larger (`forTask`: also above
    // every identifier and batch number of the task queue). A failure is
    // written with `errorText`.
    int nextBatchNumber(bool forTask, const char* errorText);
    // Writes `errorText` and the library's message to the error stream;
    // returns `rc`.
    int failed(int rc, const char* errorText);

    std::string path_;
    Connection conn_;
    int status_ = DB_EMPTY;
    ConfiguredIdentity identity_;
};

}  // namespace storage
