// The batch cycles as the background worker drives them, on a runner of its
// own against the simulator: the queued tasks one after another (queued in
// the same second, each sent in its own batch), then the offline batch.
#include <gtest/gtest.h>

#include "runner/runner.h"
#include "tests/runner/gateway.h"
#include "tests/storage/journal_fixture.h"
#include "tests/storage/journal_ops.h"

using gatewaytest::json;
using journaltest::journal;
using journaltest::Outcome;

namespace {

std::string elementText(const std::vector<std::string>& body, const std::string& name) {
    for (const std::string& line : body) {
        const size_t at = line.find(name + "=");
        if (at != std::string::npos) return line.substr(at + name.size() + 1);
    }
    return "<none>";
}

}  // namespace

TEST(BatchCycle, TheWorkersOperationsSendEveryQueuedTaskAndTheOfflineBatch) {
    soaptest::Simulator sim;
    testsupport::TempDir dir;
    const std::string path = dir.file("zelvan.db3");
    zelvanRunner runner;
    Json::Value conf = json(R"({"UseTLS": false, "ConnectTimeout": 1, "SendRecvTimeout": 2,
                                "RetryTaskCount": 1, "RetryOffSyncCount": 1})");
    conf["ConnectionString"] = sim.endpoint();
    conf["DBPath"] = path;
    ASSERT_EQ(0, runner.InitZvnCRM(conf));
    storage::zelvanDb& db = runner.Storage();

    const char* const days[] = {"20240129", "20240130", "20240131"};
    for (const char* day : days) {
        journaltest::PurchaseSpec p;
        p.cheque = std::string("10") + (day + 6);
        p.dateTime = std::string(day) + "120000";
        journal(db, payBonus(p), Outcome::Online);
        Json::Value request;
        request["Date"] = day;
        ASSERT_EQ(0, runner.mkSyncTask(request));
    }

    // The task pass, each cycle held together as the worker holds the lock.
    storage::TaskSync task;
    storage::FlushOrderList set;
    std::vector<std::string> batches;
    for (int cycle = 0; cycle < 5; cycle++) {
        task.release();
        set.release();
        ASSERT_EQ(0, db.getNextSyncTask(&task));
        if (task.Id() == nullptr) break;
        ASSERT_EQ(0, db.getDaySyncOrders(&set, &task));
        ASSERT_EQ(0, runner.genServiceBatchRequest(&set, true));
        Json::Value reply;
        ASSERT_EQ(0, runner.runBatchInfo(reply["Flush"], true));
        EXPECT_EQ(0, reply["Flush"]["err"].asInt());
        EXPECT_EQ(0, db.releaseDaySyncTask(&task));
        EXPECT_EQ(0, db.clearDaySyncTemp());
        batches.push_back(task.getBatchId());
    }
    ASSERT_EQ(3u, batches.size());
    auto sent = sim.records();
    ASSERT_EQ(4u, sent.size());  // the start-up check, then the three batches
    for (size_t i = 0; i < 3; i++) {
        SCOPED_TRACE(days[i]);
        const auto body = soaptest::messageOf(sent[i + 1]["xml"].asString()).body;
        EXPECT_EQ(batches[i], elementText(body, "que:BatchId"));
        EXPECT_EQ(std::string("10") + (days[i] + 6), elementText(body, "que:OrderNum"));
    }
    EXPECT_EQ(0, journaltest::countRaw(path, "SyncTask"));

    // The offline cycle.
    journaltest::PurchaseSpec offline;
    offline.cheque = "2001";
    journal(db, payBonus(offline), Outcome::Offline);
    set.release();
    ASSERT_EQ(0, db.getOfflineOrders(&set));
    ASSERT_EQ(0, runner.genServiceBatchRequest(&set, false));
    Json::Value reply;
    ASSERT_EQ(0, runner.runBatchInfo(reply["Flush"], false));
    EXPECT_EQ(0, db.releaseOfflineSyncTask());
    EXPECT_EQ(0, db.clearOfflineSyncTemp());
    EXPECT_EQ(0, journaltest::countRaw(path, "OFFLINE"));
    sent = sim.records();
    ASSERT_EQ(5u, sent.size());
    const auto body = soaptest::messageOf(sent[4]["xml"].asString()).body;
    EXPECT_EQ("Offline", elementText(body, "que:ReconciliationType"));
    EXPECT_EQ("2001", elementText(body, "que:OrderNum"));

    // Without a set nothing is built, and without a request nothing is sent.
    storage::FlushOrderList empty;
    EXPECT_EQ(254, runner.genServiceBatchRequest(&empty, false));
    EXPECT_EQ(254, runner.genServiceBatchRequest(nullptr, false));
    Json::Value untouched = "kept";
    EXPECT_EQ(-1, runner.runBatchInfo(untouched, false));
    EXPECT_EQ("kept", untouched.asString());
    EXPECT_EQ(5u, sim.records().size());
}
