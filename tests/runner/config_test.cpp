// The runner's configuration keys: defaults, value forms and corrections.
#include "runner/config.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/json_util.h"

namespace {

RunnerConfig read(const std::string& json, RunnerConfig start = RunnerConfig()) {
    Json::Value doc;
    EXPECT_TRUE(parseJsonRequest(json, doc)) << json;
    readRunnerConfig(start, doc);
    return start;
}

}  // namespace

TEST(RunnerConfig, WithoutAnyKeyKeepsTheDefaults) {
    RunnerConfig c = read("{}");
    EXPECT_FALSE(c.daemonNeedConnect);
    EXPECT_TRUE(c.checkPmtJsonRoot);
    EXPECT_EQ("", c.pmtJsonRootName);
    EXPECT_EQ("VURIV", c.sourceSystem);
    EXPECT_TRUE(c.useTLS);
    EXPECT_EQ(5, c.connectTimeout);
    EXPECT_EQ(10, c.sendRecvTimeout);
    EXPECT_EQ(2, c.retryCount);
    EXPECT_EQ(900, c.backgndFlushPeriod);
    EXPECT_EQ(900, c.offlineCheckPeriod);
    EXPECT_EQ(300, c.sessionTokenTTL);
    EXPECT_EQ("soap_SENT.log", c.debugSentFile);
    EXPECT_EQ("soap_RECV.log", c.debugRecvFile);
    EXPECT_EQ("soap_TEST.log", c.debugTestFile);
    EXPECT_EQ(0, c.productIdLength);
    EXPECT_EQ(1, c.productTrimLength);
    EXPECT_TRUE(c.autosyncDailyEnable);
    EXPECT_EQ(0, c.autosyncDailyDelay);
    EXPECT_EQ(40, c.sendRecvTaskTimeout);
    EXPECT_EQ(2, c.retryTaskCount);
    EXPECT_EQ(0, c.sendRecvOffSyncTimeout);
    EXPECT_EQ(2, c.retryOffSyncCount);
}

TEST(RunnerConfig, ReadsEachValueFormAsItsTypeAllows) {
    using Check = std::function<void(const RunnerConfig&)>;
    struct Case {
        const char* json;
        Check check;
    } cases[] = {
        {R"({"UseTLS": false})", [](auto& c) { EXPECT_FALSE(c.useTLS); }},
        {R"({"UseTLS": 0})", [](auto& c) { EXPECT_FALSE(c.useTLS); }},
        {R"({"UseTLS": "off"})", [](auto& c) { EXPECT_FALSE(c.useTLS); }},
        {R"({"UseTLS": 1.5})", [](auto& c) { EXPECT_TRUE(c.useTLS); }},  // other form: kept
        {R"({"DebugEnable": "Enabled"})", [](auto& c) { EXPECT_TRUE(c.debugEnable); }},
        {R"({"DebugEnable": 7})", [](auto& c) { EXPECT_TRUE(c.debugEnable); }},
        {R"({"DaemonNeedConnect": []})", [](auto& c) { EXPECT_TRUE(c.daemonNeedConnect); }},
        {R"({"DaemonNeedConnect": "no"})", [](auto& c) { EXPECT_FALSE(c.daemonNeedConnect); }},
        {R"({"DaemonNeedConnect": null})", [](auto& c) { EXPECT_FALSE(c.daemonNeedConnect); }},
        {R"({"CheckPmtJsonRoot": {}})", [](auto& c) { EXPECT_TRUE(c.checkPmtJsonRoot); }},
        {R"({"CheckPmtJsonRoot": false})", [](auto& c) { EXPECT_FALSE(c.checkPmtJsonRoot); }},
        {R"({"ConnectTimeout": "7s"})", [](auto& c) { EXPECT_EQ(7, c.connectTimeout); }},
        {R"({"ConnectTimeout": "x"})", [](auto& c) { EXPECT_EQ(0, c.connectTimeout); }},
        {R"({"ConnectTimeout": ""})", [](auto& c) { EXPECT_EQ(5, c.connectTimeout); }},
        {R"({"ConnectTimeout": 2.5})", [](auto& c) { EXPECT_EQ(5, c.connectTimeout); }},
        {R"({"ConnectTimeout": true})", [](auto& c) { EXPECT_EQ(5, c.connectTimeout); }},
        {R"({"ConnectTimeout": 99999999999})", [](auto& c) { EXPECT_EQ(5, c.connectTimeout); }},
        {R"({"UserId": ""})", [](auto& c) { EXPECT_EQ("", c.userId); }},
        {R"({"UserId": 5})", [](auto& c) { EXPECT_EQ("", c.userId); }},
        {R"({"UserId": "pos"})", [](auto& c) { EXPECT_EQ("pos", c.userId); }},
        {R"({"SourceSystem": "VOSK"})", [](auto& c) { EXPECT_EQ("VURIV", c.sourceSystem); }},
        {R"({"SourceSystem": "VOSK", "AzsIdentOverride": true})",
         [](auto& c) { EXPECT_EQ("VOSK", c.sourceSystem); }},
        {R"({"DBPath": ""})", [](auto& c) { EXPECT_EQ("/srv/default.db3", c.dbPath); }},
        {R"({"DBPath": "/tmp/j.db3"})", [](auto& c) { EXPECT_EQ("/tmp/j.db3", c.dbPath); }},
        {R"({"DebugFile": "A", "DebugSentFile": "B"})",
         [](auto& c) {
             EXPECT_EQ("B", c.debugSentFile);
             EXPECT_EQ("A", c.debugRecvFile);
             EXPECT_EQ("soap_TEST.log", c.debugTestFile);
         }},
        {R"({"AutosyncDailyDelay": "90000"})",
         [](auto& c) { EXPECT_EQ(3600, c.autosyncDailyDelay); }},
        {R"({"AutosyncDailyDelay": 90000})",
         [](auto& c) { EXPECT_EQ(3600, c.autosyncDailyDelay); }},
        {R"({"AutosyncDailyDelay": -90000})",
         [](auto& c) { EXPECT_EQ(-3600, c.autosyncDailyDelay); }},
        {R"({"AutosyncDailyDelay": "abc"})", [](auto& c) { EXPECT_EQ(120, c.autosyncDailyDelay); }},
        {R"({"AutosyncDailyDelay": "-5"})", [](auto& c) { EXPECT_EQ(120, c.autosyncDailyDelay); }},
    };
    RunnerConfig start;
    start.dbPath = "/srv/default.db3";
    start.autosyncDailyDelay = 120;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        c.check(read(c.json, start));
    }
}

TEST(RunnerConfig, AzsIdentOverrideIsResetBeforeEveryReading) {
    RunnerConfig c = read(R"({"AzsIdentOverride": true})");
    ASSERT_TRUE(c.azsIdentOverride);
    EXPECT_FALSE(read("{}", c).azsIdentOverride);
}

TEST(RunnerConfig, CorrectsTimeoutsAndRetryCountsInOrder) {
    struct Case {
        const char* json;
        int sendRecv, task, offSync, retry, retryTask, retryOff;
    } cases[] = {
        {R"({"SendRecvTimeout": -1, "ConnectTimeout": 7, "SendRecvTaskTimeout": -1,
             "SendRecvOffSyncTimeout": -1})",
         7, 40, 40, 2, 2, 2},
        {R"({"SendRecvTimeout": 20, "SendRecvTaskTimeout": -1, "SendRecvOffSyncTimeout": -3})", 20,
         60, 60, 2, 2, 2},
        {R"({"SendRecvTimeout": 20})", 20, 40, 0, 2, 2, 2},
        {R"({"RetryTaskCount": 0, "RetryCount": 5})", 10, 40, 0, 5, 2, 2},
        {R"({"RetryCount": -4, "RetryOffSyncCount": 3})", 10, 40, 0, 2, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        RunnerConfig r = read(c.json);
        EXPECT_EQ(c.sendRecv, r.sendRecvTimeout);
        EXPECT_EQ(c.task, r.sendRecvTaskTimeout);
        EXPECT_EQ(c.offSync, r.sendRecvOffSyncTimeout);
        EXPECT_EQ(c.retry, r.retryCount);
        EXPECT_EQ(c.retryTask, r.retryTaskCount);
        EXPECT_EQ(c.retryOff, r.retryOffSyncCount);
    }
}

TEST(RunnerConfig, ADocumentThatIsNotAnObjectChangesNothing) {
    RunnerConfig c = read("[1, 2]");
    EXPECT_EQ(5, c.connectTimeout);
    EXPECT_TRUE(c.checkPmtJsonRoot);
}
