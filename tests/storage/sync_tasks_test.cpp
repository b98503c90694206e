// Synchronisation tasks: queued with numbers of their own (also within one
// second and next to tasks of older files), read back exactly, fetched by
// priority and age, and deleted once sent.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/storage/journal_fixture.h"
#include "tests/storage/journal_ops.h"

using journaltest::countRaw;
using journaltest::execRaw;
using journaltest::journal;
using journaltest::JournalTest;
using journaltest::Outcome;
using journaltest::payBonus;
using journaltest::PurchaseSpec;
using journaltest::valueRaw;
using storage::TaskSync;

namespace {

TaskSync dayTask(const std::string& date, int priority = TaskSync::kDefaultPriority) {
    TaskSync task;
    task.setDate(date);
    task.Prior(priority);
    return task;
}

std::string orNone(const char* s) {
    return s != nullptr ? s : "<none>";
}

}  // namespace

TEST_F(JournalTest, TasksQueuedInOneSecondAreEachQueuedAndEachSent) {
    const char* const days[] = {"20240129", "20240130", "20240131"};
    for (const char* day : days) {
        PurchaseSpec p;
        p.cheque = std::string("10") + (day + 6);
        p.dateTime = std::string(day) + "120000";
        journal(db_, payBonus(p), Outcome::Online);
    }
    std::set<std::string> ids;
    long long lastBatch = 0;
    for (const char* day : days) {
        TaskSync task = dayTask(day);
        ASSERT_EQ(db_.setSyncTask(&task), storage::DB_OK);
        // Read back: exactly the task just queued.
        ASSERT_NE(task.Id(), nullptr);
        EXPECT_EQ(orNone(task.getDate()), day);
        EXPECT_EQ(task.getShift(), nullptr);
        EXPECT_EQ(orNone(task.getBatchId()), task.Id());
        EXPECT_GT(std::stoll(task.getBatchId()), lastBatch);
        lastBatch = std::stoll(task.getBatchId());
        ids.insert(task.Id());
    }
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_EQ(countRaw(path(), "SyncTask"), 3);

    // The worker's pass: each task in the order queued, each with its day.
    for (const char* day : days) {
        SCOPED_TRACE(day);
        TaskSync task;
        ASSERT_EQ(db_.getNextSyncTask(&task), storage::DB_OK);
        EXPECT_EQ(orNone(task.getDate()), day);
        storage::FlushOrderList set;
        ASSERT_EQ(db_.getDaySyncOrders(&set, &task), storage::DB_OK);
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(set[0].ChequeNum, std::string("10") + (day + 6));
        EXPECT_EQ(set[0].BatchID, task.getBatchId());
        ASSERT_EQ(db_.releaseDaySyncTask(&task), storage::DB_OK);
        ASSERT_EQ(db_.clearDaySyncTemp(), storage::DB_OK);
    }
    TaskSync none;
    ASSERT_EQ(db_.getNextSyncTask(&none), storage::DB_OK);
    EXPECT_EQ(none.Id(), nullptr);  // nothing queued: the task stays empty
}

TEST_F(JournalTest, TasksRunBySmallerPriorityThenByAge) {
    TaskSync later = dayTask("20240130");
    TaskSync urgent = dayTask("20240131", 5);
    TaskSync shift;
    shift.setShift("8");
    ASSERT_EQ(db_.setSyncTask(&later), storage::DB_OK);
    ASSERT_EQ(db_.setSyncTask(&urgent), storage::DB_OK);
    ASSERT_EQ(db_.setSyncTask(&shift), storage::DB_OK);
    EXPECT_EQ(urgent.Prior(), 5);
    EXPECT_EQ(orNone(shift.getShift()), "8");
    EXPECT_EQ(valueRaw(path(), std::string("SELECT typeof(Shift) FROM SyncTask WHERE ID = '") +
                                   shift.Id() + "'"),
              "integer");

    const std::string expected[] = {urgent.Id(), later.Id(), shift.Id()};
    for (const std::string& id : expected) {
        TaskSync task;
        ASSERT_EQ(db_.getNextSyncTask(&task), storage::DB_OK);
        EXPECT_EQ(orNone(task.Id()), id);
        ASSERT_EQ(db_.releaseDaySyncTask(&task), storage::DB_OK);
    }
    EXPECT_EQ(countRaw(path(), "SyncTask"), 0);
}

TEST_F(JournalTest, TasksAreFetchedAndDeletedByTheirIdOrBatchNumber) {
    TaskSync a = dayTask("20240130");
    TaskSync b = dayTask("20240131");
    ASSERT_EQ(db_.setSyncTask(&a), storage::DB_OK);
    ASSERT_EQ(db_.setSyncTask(&b), storage::DB_OK);

    TaskSync byBatch;
    byBatch.setBatchId(b.getBatchId());
    ASSERT_EQ(db_.getNextSyncTask(&byBatch), storage::DB_OK);
    EXPECT_EQ(orNone(byBatch.Id()), b.Id());
    EXPECT_EQ(orNone(byBatch.getDate()), "20240131");

    TaskSync unknown;
    unknown.Id("' OR '1'='1");
    ASSERT_EQ(db_.getNextSyncTask(&unknown), storage::DB_OK);
    EXPECT_EQ(unknown.getDate(), nullptr);
    EXPECT_EQ(db_.releaseDaySyncTask(&unknown), storage::DB_OK);
    TaskSync nothing;  // neither Id nor batch number: nothing to delete
    EXPECT_EQ(db_.releaseDaySyncTask(&nothing), storage::DB_OK);
    EXPECT_EQ(countRaw(path(), "SyncTask"), 2);

    TaskSync byId;
    byId.Id(a.Id());
    ASSERT_EQ(db_.releaseDaySyncTask(&byId), storage::DB_OK);
    EXPECT_EQ(valueRaw(path(), "SELECT ID FROM SyncTask"), b.Id());

    EXPECT_EQ(db_.setSyncTask(nullptr), storage::DB_NOMEM);
    EXPECT_EQ(db_.getNextSyncTask(nullptr), storage::DB_NOMEM);
    EXPECT_EQ(db_.releaseDaySyncTask(nullptr), storage::DB_NOMEM);
    db_.close();
    EXPECT_EQ(db_.setSyncTask(&a), storage::DB_NOTADB);
    EXPECT_EQ(db_.getNextSyncTask(&a), storage::DB_NOTADB);
}

TEST_F(JournalTest, NewTasksNeverCollideWithTasksOfOlderFiles) {
    // Older files identify a task by the second of its insertion, which may
    // lie a second past the batch number it got; and the clock may have
    // been set back since.
    const long long now = std::stoll(valueRaw(path(), "SELECT strftime('%s','now')"));
    const std::string ahead = std::to_string(now + 100);
    execRaw(path(), "UPDATE BatchCount SET BatchID = " + std::to_string(now - 5));
    execRaw(path(), "INSERT INTO SyncTask (ID, Datetime, BatchID) VALUES ('" + ahead +
                        "', '20240130', " + std::to_string(now + 99) + ")");
    TaskSync task = dayTask("20240131");
    ASSERT_EQ(db_.setSyncTask(&task), storage::DB_OK);
    EXPECT_EQ(orNone(task.Id()), std::to_string(now + 101));
    EXPECT_EQ(countRaw(path(), "SyncTask"), 2);

    // A file whose batch counter row went missing numbers again.
    execRaw(path(), "DELETE FROM BatchCount");
    TaskSync next = dayTask("20240201");
    ASSERT_EQ(db_.setSyncTask(&next), storage::DB_OK);
    EXPECT_EQ(orNone(next.Id()), std::to_string(now + 102));
    EXPECT_EQ(countRaw(path(), "BatchCount"), 1);
}

TEST_F(JournalTest, ATaskThatCannotBeQueuedIsReportedAndNothingIsKept) {
    execRaw(path(),
            "CREATE TRIGGER refuse BEFORE INSERT ON SyncTask BEGIN SELECT RAISE(IGNORE); END");
    const std::string before = valueRaw(path(), "SELECT BatchID FROM BatchCount");
    TaskSync task = dayTask("20240131");
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_.setSyncTask(&task), SQLITE_CONSTRAINT);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Ошибка добавления задания синхронизации: "), std::string::npos) << err;
    EXPECT_EQ(task.Id(), nullptr);
    EXPECT_EQ(valueRaw(path(), "SELECT BatchID FROM BatchCount"), before);  // rolled back
}

TEST(SyncTasks, OfflineBatchesAreNumberedInFilesWithoutATaskQueue) {
    testsupport::TempDir dir;
    storage::zelvanDb db(dir.file("zelvan.db3").c_str());
    ASSERT_EQ(db.initDb(), storage::DB_OK);
    journal(db, payBonus(), Outcome::Offline);
    journaltest::execRaw(dir.file("zelvan.db3"), "DROP TABLE SyncTask");
    storage::FlushOrderList set;
    ASSERT_EQ(db.getOfflineOrders(&set), storage::DB_OK);
    EXPECT_EQ(set.size(), 1u);
}
