// The background synchronisation worker through the real server and the CRM
// simulator, with periods of one or two seconds: the backlog sent once the
// CRM is back (and only connection checks while it is down), the task queue
// by priority and age, a failed task kept, the daily tasks of missed days
// and their delay, a "Flush" during a worker cycle and a stop during one.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <set>
#include <sstream>

#include "common/convert.h"
#include "tests/runner/gateway.h"
#include "tests/storage/journal_fixture.h"
#include "tests/storage/journal_ops.h"

using namespace gatewaytest;
using journaltest::countRaw;
using journaltest::journal;
using journaltest::Outcome;
using journaltest::payBonus;
using journaltest::PurchaseSpec;
using journaltest::valueRaw;

namespace {

// Short time-outs and one attempt per call; no daily tasks unless a test
// turns them on.
std::string settings(int flushPeriod, int checkPeriod, const std::string& more = "") {
    return R"("ConnectTimeout": 1, "SendRecvTimeout": 3, "RetryCount": 1, "RetryOffSyncCount": 1,
              "RetryTaskCount": 1, "BackgndFlushPeriod": )" +
           std::to_string(flushPeriod) +
           ", \"OfflineCheckPeriod\": " + std::to_string(checkPeriod) +
           (more.empty() ? R"(, "AutosyncDailyEnable": false)" : ", " + more);
}

const std::string kStartLine = "[SYNC PROC] Процесс проверки offline данных в Background : ";
const std::string kRunStart = "[SYNC PROC] Сервер инициализировал проверку в Background";
const std::string kRunEnd = "[SYNC PROC] Сервер завершил проверку в Background";
const std::string kRestore = "[SYNC PROC] Восстановление сетевого соединения";
const std::string kNoNet = "[SYNC PROC] Нет связи";
const std::string kPending = "[SYNC PROC] Проверка на наличие не переданых данных";
const std::string kDayCheck =
    "[SYNC TASK] Проверка на наличие автоматических заданий сверки за день";
const std::string kOfflineStart = "Проверка offline данных синхронизации ";
const std::string kOfflineEnd = "Завершение проверки offline данных синхронизации";
const std::string kNothing = "Данные для синхронизации отсутствуют";
const std::string kTaskEnd = "Завершение проверки данных синхронизации за день";
const std::string kTaskSent = "Синхронизация данных за день успешна";

// The lines of the cycles and daily tasks, which carry no thread prefix.
const char* const kCycleLines[] = {
    "Проверка offline данных синхронизации ",
    "Данные для синхронизации отсутствуют",
    "Завершение проверки offline данных синхронизации",
    "Завершение проверки данных синхронизации за день",
    "Проверка данных синхронизации за день [",
    "Синхронизация offlinе данных успешна",
    "Синхронизация данных за день успешна",
    "Ошибка получения данных синхронизации",
    "Ошибка формирования данных синхронизации",
    "Ошибка синхронизации данных [",
    "Автоматическое добавление задания синхронизации данных за день",
    "Добавление задания автосверки : ",
};

// What the worker logged, in order: its own lines without their thread
// prefix, and the lines of its cycles and daily tasks.
std::vector<std::string> transcript(const Gateway& gw) {
    static const std::regex start(R"(^(\[\d+\] : )\[SYNC PROC\] .*)");
    std::vector<std::string> out;
    std::string prefix;
    for (const std::string& m : gw.log()) {
        std::smatch match;
        if (prefix.empty() && m.find(kStartLine) != std::string::npos &&
            std::regex_match(m, match, start))
            prefix = match[1];
        if (!prefix.empty() && m.rfind(prefix, 0) == 0) {
            out.push_back(m.substr(prefix.size()));
            continue;
        }
        for (const char* line : kCycleLines)
            if (m.rfind(line, 0) == 0) out.push_back(m);
    }
    return out;
}

size_t countOf(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

// Waits until the worker has logged `line` at least n times.
bool waitForLine(const Gateway& gw, const std::string& line, size_t n = 1,
                 Millis timeout = 15000ms) {
    return testsupport::waitUntil([&] { return countOf(transcript(gw), line) >= n; }, timeout);
}

// The values of an element in the n-th Batch_Order_Sync the simulator got.
std::vector<std::string> sentValues(const Gateway& gw, size_t n, const std::string& name) {
    std::vector<std::string> out;
    const auto sent = gw.records("Batch_Order_Sync");
    if (sent.size() <= n) return out;
    for (const std::string& line : soaptest::messageOf(sent[n]["xml"].asString()).body) {
        const size_t at = line.find(name + "=");
        if (at != std::string::npos) out.push_back(line.substr(at + name.size() + 1));
    }
    return out;
}

// Waits until the simulator has received the worker's first batch.
bool batchReceived(const Gateway& gw) {
    return testsupport::waitUntil([&] { return !gw.records("Batch_Order_Sync").empty(); }, 15000ms);
}

std::vector<std::string> chequesSent(const Gateway& gw, size_t n) {
    return sentValues(gw, n, "que:OrderNum");
}

PurchaseSpec purchase(const std::string& cheque, const std::string& day = "20240131") {
    PurchaseSpec p;
    p.cheque = cheque;
    p.dateTime = day + "120000";
    p.timeValue = "1706692805." + cheque;
    return p;
}

// The local day k days before today, and the seconds until the next
// midnight, as the worker counts days (from local standard midnight).
time_t todayStart() {
    return str2daysecs(now2DayStr().c_str());
}
std::string dayBack(int k) {
    const time_t noon = todayStart() - k * 86400 + 43200;
    return time2DayStr(&noon);
}
long secondsToMidnight() {
    return static_cast<long>(todayStart() + 86400 - time(nullptr));
}

// A journal made before the server starts, with `lastdatesync` as given.
void newJournal(storage::zelvanDb& db, const std::string& path, const std::string& lastDateSync) {
    db.setDBPath(path.c_str());
    ASSERT_EQ(0, db.initDb());
    storage::PairValue pair;
    pair.set_name("lastdatesync");
    pair.set_value(lastDateSync);
    ASSERT_EQ(101, db.setStatesVal(pair));
}

const Json::Value kDelivered =
    json(R"({"err": 0, "errMsg": "Успешное выполнение операции", "Offline": "0"})");

}  // namespace

TEST(BackgroundWorker, StartsWithTheIntervalTheKeysGiveOrNotAtAll) {
    const struct {
        const char* members;
        const char* state;  // the start line after its prefix text
    } cases[] = {
        {"", "Запущен (Интервал проверки: 900 сек.)"},
        {R"("BackgndFlushPeriod": 0, "OfflineCheckPeriod": 0)",
         "Запущен (Интервал проверки: 300 сек.)"},
        {R"("BackgndFlushPeriod": "0", "OfflineCheckPeriod": "45", "AutosyncDailyEnable": false)",
         "Запущен (Интервал проверки: 45 сек.)"},
        {R"("BackgndFlushPeriod": 0, "OfflineCheckPeriod": 0, "AutosyncDailyEnable": false)",
         "Отключен"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.members);
        testsupport::ServerSpec spec;
        spec.members = std::string("\"RetryCount\": 1") + (*c.members ? ", " : "") + c.members;
        testsupport::ServerProcess server(spec);
        const std::string line = kStartLine + c.state;
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                for (const std::string& m : testsupport::logMessages(server.out()))
                    if (testsupport::isWorkerLine(m) && m.find(line) != std::string::npos)
                        return true;
                return false;
            },
            10000ms));
        EXPECT_EQ(0, server.stop());
        // Without a CRM the start-up run has nothing to send; a disabled
        // worker ends at once.
        std::vector<std::string> worker;
        for (const std::string& m : testsupport::logMessages(server.out()))
            if (testsupport::isWorkerLine(m)) worker.push_back(m.substr(m.find("[SYNC")));
        std::vector<std::string> expected = {line};
        if (std::string(c.members).find("false") == std::string::npos)
            expected.push_back(kDayCheck);
        EXPECT_EQ(expected, worker);
    }
}

TEST(BackgroundWorker, SendsTheBacklogOnceWhenTheCrmIsBackAndOnlyChecksWhileItIsDown) {
    Gateway gw(json(R"({"down": true})"), settings(2, 1));
    const std::string db = gw.journalPath();
    journal(db, payBonus(purchase("1001")), Outcome::Offline);
    journal(db, payBonus(purchase("1002")), Outcome::Offline);

    // Down: a connection check at every tick, a full run every second tick,
    // nothing collected or sent.
    ASSERT_TRUE(waitForLine(gw, kRunEnd));
    auto lines = transcript(gw);
    lines.resize(std::find(lines.begin(), lines.end(), kRunEnd) - lines.begin() + 1);
    EXPECT_EQ((std::vector<std::string>{kStartLine + "Запущен (Интервал проверки: 2 сек.)",
                                        kRestore, kNoNet, kRunStart, kRestore, kNoNet, kRunEnd}),
              lines);
    EXPECT_EQ(0u, countOf(transcript(gw), kOfflineStart));
    EXPECT_TRUE(gw.records("Batch_Order_Sync").empty());
    EXPECT_EQ(2, countRaw(db, "OFFLINE"));

    // Back: restored at the next tick, the backlog sent by the next full run.
    gw.sim().setScenario(Json::Value(Json::objectValue));
    ASSERT_TRUE(testsupport::waitUntil([&] { return countRaw(db, "OFFLINE") == 0; }, 15000ms));
    ASSERT_EQ(1u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ((std::vector<std::string>{"1001", "1002"}), chequesSent(gw, 0));
    EXPECT_EQ((std::vector<std::string>{"Offline", "Offline"}),
              sentValues(gw, 0, "que:ReconciliationType"));
    lines = transcript(gw);
    const auto restored =
        std::find(lines.begin(), lines.end(), "[SYNC PROC] Cоединение восстановлено");
    ASSERT_NE(lines.end(), restored);
    // Within one interval: the restoring wake is a full run, or the next is.
    const auto sent = std::find(restored, lines.end(), "Синхронизация offlinе данных успешна");
    ASSERT_NE(lines.end(), sent);
    EXPECT_LE(std::count(restored, sent, kRunStart), 1);

    // Exactly once: the next full run finds nothing.
    const size_t runs = countOf(transcript(gw), kRunEnd);
    ASSERT_TRUE(waitForLine(gw, kRunEnd, runs + 1));
    EXPECT_EQ(1u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ(2, std::stoi(valueRaw(db, "SELECT COUNT(BatchID) FROM ALL_OPERATIONS")));
}

TEST(BackgroundWorker, SendsQueuedTasksByPriorityThenAgeAndKeepsAFailedOne) {
    // Tasks queued before the start, in this order: A (day 29), B (day 30,
    // priority 5), C (day 28, nothing journalled), D (day 31).
    std::vector<std::string> batch;  // A, B, C, D
    auto prepare = [&](const std::string& path) {
        storage::zelvanDb db;
        newJournal(db, path, now2DayStr());
        const struct {
            const char* day;
            int priority;
            const char* cheque;  // null: no purchase that day
        } tasks[] = {{"20240129", 20, "1029"},
                     {"20240130", 5, "1030"},
                     {"20240128", 20, nullptr},
                     {"20240131", 20, "1031"}};
        for (const auto& t : tasks) {
            if (t.cheque) journal(db, payBonus(purchase(t.cheque, t.day)), Outcome::Online);
            storage::TaskSync task;
            task.setDate(t.day);
            task.Prior(t.priority);
            ASSERT_EQ(0, db.setSyncTask(&task));
            batch.push_back(task.getBatchId());
        }
    };
    // The second batch call fails; the later ones pass.
    Gateway gw(json(R"({"Batch_Order_Sync": {"sequence": [{}, {"fault": {"string": "busy"}}]}})"),
               settings(1, 1), nullptr, prepare);
    ASSERT_EQ(4u, batch.size());
    ASSERT_TRUE(testsupport::waitUntil([&] { return countRaw(gw.journalPath(), "SyncTask") == 0; },
                                       15000ms));

    // B, then A fails and stays, ending the start-up pass before C; the next
    // full run sends A, releases the empty C and sends D.
    std::vector<std::string> order;
    for (const std::string& line : transcript(gw)) {
        if (line.rfind("Проверка данных синхронизации за день [BatchID : ", 0) == 0)
            order.push_back(line.substr(line.find(": ") + 2, line.size() - line.find(": ") - 3));
        if (line == kRunStart && !order.empty() && order.back() != "run") order.push_back("run");
        if (line.rfind("Ошибка синхронизации данных [ err : 2] : busy", 0) == 0)
            order.push_back("failed");
    }
    order.resize(std::min<size_t>(order.size(), 7));
    EXPECT_EQ((std::vector<std::string>{batch[1], batch[0], "failed", "run", batch[0], batch[2],
                                        batch[3]}),
              order);
    const auto sent = gw.records("Batch_Order_Sync");
    ASSERT_EQ(4u, sent.size());
    const std::vector<std::string> cheques[] = {{"1030"}, {"1029"}, {"1029"}, {"1031"}};
    for (size_t i = 0; i < sent.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cheques[i], chequesSent(gw, i));
        EXPECT_EQ(std::vector<std::string>{"Reconciliation"},
                  sentValues(gw, i, "que:ReconciliationType"));
    }
}

TEST(BackgroundWorker, DropsATaskWithoutDayOrShiftInsteadOfBlockingTheQueue) {
    auto prepare = [&](const std::string& path) {
        storage::zelvanDb db;
        newJournal(db, path, now2DayStr());
        journal(db, payBonus(purchase("1031")), Outcome::Online);
        storage::TaskSync task;
        task.setDate("20240131");
        ASSERT_EQ(0, db.setSyncTask(&task));
        // Ahead of it, a task that names nothing to collect.
        journaltest::execRaw(path,
                             "INSERT INTO SyncTask (ID, BatchID, Priority) VALUES ('1', 1, 1)");
    };
    Gateway gw(Json::Value(Json::objectValue), settings(1, 1), nullptr, prepare);
    ASSERT_TRUE(testsupport::waitUntil([&] { return countRaw(gw.journalPath(), "SyncTask") == 0; },
                                       15000ms));
    ASSERT_TRUE(waitForLine(gw, kTaskSent));
    const auto lines = transcript(gw);
    const auto dropped = std::find(lines.begin(), lines.end(),
                                   "Проверка данных синхронизации за день [BatchID : 1]");
    ASSERT_LE(2, lines.end() - dropped);
    EXPECT_EQ("Ошибка получения данных синхронизации", *(dropped + 1));
    ASSERT_EQ(1u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ(std::vector<std::string>{"1031"}, chequesSent(gw, 0));
}

TEST(BackgroundWorker, QueuesTheDailyTasksOfMissedDaysAtStartAndSendsThem) {
    if (secondsToMidnight() < 60) GTEST_SKIP() << "too close to midnight";
    const std::string days[] = {dayBack(3), dayBack(2), dayBack(1)};
    auto prepare = [&](const std::string& path) {
        storage::zelvanDb db;
        newJournal(db, path, days[0]);
        journal(db, payBonus(purchase("1003", days[0])), Outcome::Online);
        journal(db, payBonus(purchase("1002", days[1])), Outcome::Online);
    };
    Gateway gw(Json::Value(Json::objectValue),
               settings(900, 900, R"("AutosyncDailyEnable": true, "AutosyncDailyDelay": 0)"),
               nullptr, prepare);
    const std::string db = gw.journalPath();
    ASSERT_TRUE(testsupport::waitUntil([&] { return countRaw(db, "SyncTask") == 0; }, 15000ms));
    EXPECT_EQ(now2DayStr(), valueRaw(db, "SELECT value FROM STATES WHERE name = 'lastdatesync'"));

    std::vector<std::string> expected = {kStartLine + "Запущен (Интервал проверки: 900 сек.)",
                                         kDayCheck};
    for (const std::string& day : days) {
        expected.push_back("Автоматическое добавление задания синхронизации данных за день");
        expected.push_back("Добавление задания автосверки : {\"SyncTask\":{\"Date\":\"" + day +
                           "\"}}");
        expected.push_back("Успешное добавление задания");
    }
    expected.insert(expected.end(), {kPending, kOfflineStart, kNothing, kOfflineEnd});
    auto lines = transcript(gw);
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(lines.begin(), lines.begin() + expected.size()));

    // Three tasks of their own, sent in the order of their days; the day
    // without purchases leaves the queue without a call.
    std::vector<std::string> checked;
    for (const std::string& line : lines)
        if (line.rfind("Проверка данных синхронизации за день [BatchID : ", 0) == 0)
            checked.push_back(line);
    EXPECT_EQ(3u, std::set<std::string>(checked.begin(), checked.end()).size());
    EXPECT_EQ(2u, countOf(lines, kTaskSent));
    EXPECT_EQ(3u, countOf(lines, kTaskEnd));
    ASSERT_EQ(2u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ(std::vector<std::string>{"1003"}, chequesSent(gw, 0));
    EXPECT_EQ(std::vector<std::string>{"1002"}, chequesSent(gw, 1));
}

TEST(BackgroundWorker, TakesALastSyncDayThatIsNoDateAsToday) {
    if (secondsToMidnight() < 60) GTEST_SKIP() << "too close to midnight";
    for (const char* stored : {"garbage", "2024013", "20241399"}) {
        SCOPED_TRACE(stored);
        Gateway gw(Json::Value(Json::objectValue),
                   settings(900, 900, R"("AutosyncDailyEnable": true)"), nullptr,
                   [&](const std::string& path) {
                       storage::zelvanDb db;
                       newJournal(db, path, stored);
                   });
        ASSERT_TRUE(waitForLine(gw, kOfflineEnd));
        EXPECT_EQ(now2DayStr(), valueRaw(gw.journalPath(),
                                         "SELECT value FROM STATES WHERE name = 'lastdatesync'"));
        EXPECT_EQ(0, countRaw(gw.journalPath(), "SyncTask"));
        EXPECT_EQ(0u, countOf(transcript(gw),
                              "Автоматическое добавление задания синхронизации данных за день"));
    }
}

TEST(BackgroundWorker, HoldsADayBackUntilTheDailyDelayHasPassed) {
    // The moment of the daily task a few seconds from now.
    const long sinceMidnight = static_cast<long>(time(nullptr) - todayStart());
    if (sinceMidnight < 0 || secondsToMidnight() < 60) GTEST_SKIP() << "too close to midnight";
    const time_t moment = time(nullptr) + 4;
    const long delay = sinceMidnight + 4;
    const std::string yesterday = dayBack(1);
    Gateway gw(
        Json::Value(Json::objectValue),
        settings(1, 1,
                 R"("AutosyncDailyEnable": true, "AutosyncDailyDelay": )" + std::to_string(delay)),
        nullptr, [&](const std::string& path) {
            storage::zelvanDb db;
            newJournal(db, path, yesterday);
        });
    if (time(nullptr) >= moment - 1) GTEST_SKIP() << "the server started too slowly";
    const std::string added =
        "Добавление задания автосверки : {\"SyncTask\":{\"Date\":\"" + yesterday + "\"}}";
    ASSERT_TRUE(waitForLine(gw, added));
    ASSERT_TRUE(waitForLine(gw, kTaskEnd));

    // Checked at start and at every full run, queued only once the moment
    // has passed, and once.
    const auto lines = transcript(gw);
    const auto at = std::find(lines.begin(), lines.end(), added);
    EXPECT_GE(std::count(lines.begin(), at, kDayCheck), 1);
    EXPECT_EQ(1u, countOf(lines, added));
    static const std::regex stamped(
        R"(^\((\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\): (.*)$)");
    std::istringstream out(gw.server().out());
    std::string raw;
    std::smatch m;
    while (std::getline(out, raw)) {
        if (!std::regex_match(raw, m, stamped) || m[7] != added) continue;
        struct tm t {};
        t.tm_year = std::stoi(m[1]) - 1900;
        t.tm_mon = std::stoi(m[2]) - 1;
        t.tm_mday = std::stoi(m[3]);
        t.tm_hour = std::stoi(m[4]);
        t.tm_min = std::stoi(m[5]);
        t.tm_sec = std::stoi(m[6]);
        t.tm_isdst = -1;
        EXPECT_GT(mktime(&t), moment);
    }
    EXPECT_EQ(now2DayStr(),
              valueRaw(gw.journalPath(), "SELECT value FROM STATES WHERE name = 'lastdatesync'"));
    EXPECT_EQ(0, countRaw(gw.journalPath(), "SyncTask"));
}

TEST(BackgroundWorker, AFlushDuringAWorkerCycleWaitsAndSendsItsOwnSet) {
    // The worker's batch is answered slowly.
    Gateway gw(json(R"({"Batch_Order_Sync": {"sequence": [{"delayMs": 1500}]}})"), settings(1, 1));
    const std::string db = gw.journalPath();
    journal(db, payBonus(purchase("1001")), Outcome::Offline);
    ASSERT_TRUE(batchReceived(gw));
    // While the CRM holds the worker's batch, another purchase goes offline
    // and a POS asks for a Flush.
    journal(db, payBonus(purchase("1002")), Outcome::Offline);
    EXPECT_EQ(kDelivered, gw.send(R"("Flush": {})")["Flush"]);

    ASSERT_EQ(2u, gw.records("Batch_Order_Sync").size());
    EXPECT_EQ(std::vector<std::string>{"1001"}, chequesSent(gw, 0));
    EXPECT_EQ(std::vector<std::string>{"1002"}, chequesSent(gw, 1));
    EXPECT_EQ(0, countRaw(db, "OFFLINE"));
    EXPECT_EQ(2, std::stoi(valueRaw(
                     db, "SELECT COUNT(DISTINCT BatchID) FROM ALL_OPERATIONS WHERE BatchID > 0")));
    const size_t runs = countOf(transcript(gw), kRunEnd);
    ASSERT_TRUE(waitForLine(gw, kRunEnd, runs + 1));
    EXPECT_EQ(2u, gw.records("Batch_Order_Sync").size());
}

TEST(BackgroundWorker, AStopDuringACycleLetsItFinishAndStartsNoOther) {
    Gateway gw(json(R"({"Batch_Order_Sync": {"sequence": [{"delayMs": 1500}]}})"), settings(1, 1));
    const std::string db = gw.journalPath();
    journal(db, payBonus(purchase("1001")), Outcome::Offline);
    ASSERT_TRUE(batchReceived(gw));
    EXPECT_EQ(0, gw.server().stop());

    // The batch the CRM received was released before the end.
    EXPECT_EQ(0, countRaw(db, "OFFLINE"));
    EXPECT_NE("<null>", valueRaw(db, "SELECT BatchID FROM ALL_OPERATIONS"));
    const auto messages = gw.log();
    const auto stop =
        std::find(messages.begin(), messages.end(), "Остановка сервера по сигналу : 15");
    ASSERT_NE(messages.end(), stop);
    EXPECT_EQ((std::vector<std::string>{"Синхронизация offlinе данных успешна", kOfflineEnd}), [&] {
        std::vector<std::string> after;
        for (auto it = stop + 1; it != messages.end(); ++it)
            if (std::find(std::begin(kCycleLines), std::end(kCycleLines), *it) !=
                    std::end(kCycleLines) ||
                testsupport::isWorkerLine(*it))
                after.push_back(*it);
        return after;
    }());
}
