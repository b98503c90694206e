// zelvan-journal against a journal that a running zelvan-server holds open:
// the backlog figures of rows the test writes with SQL, the text and JSON
// forms, WAL journals read by a user who may not write them, and the errors
// for files that are no journal. The view must leave every file as it was.
#include <dirent.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

// A writing connection of the test, as another program of the station would
// hold one; waits for the server's locks.
class Sql {
  public:
    explicit Sql(const std::string& path) {
        EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db_));
        sqlite3_busy_timeout(db_, 5000);
    }
    ~Sql() { sqlite3_close(db_); }
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;
    void exec(const std::string& sql) {
        char* err = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err))
            << sql << ": " << (err != nullptr ? err : "");
        sqlite3_free(err);
    }

  private:
    sqlite3* db_ = nullptr;
};

std::string localTime(time_t t, const char* format) {
    struct tm tm {};
    localtime_r(&t, &tm);
    char buf[32];
    strftime(buf, sizeof(buf), format, &tm);
    return buf;
}

// A server that does nothing by itself to the tables the test fills.
const char kQuietServer[] =
    "\"AutosyncDailyEnable\": false, \"BackgndFlushPeriod\": 3600, "
    "\"OfflineCheckPeriod\": 3600, \"RetryCount\": 1, \"ConnectTimeout\": 1";

// The operations the test journals: their time, type, offline flag, batch.
struct Op {
    const char* id;
    time_t ago;
    int type;
    int offline;
    const char* batch;  // "NULL" when not sent in a batch
};
const time_t kDay = 86400;
const Op kOps[] = {
    {"A1", 60, 3, 1, "NULL"},
    {"A2", 120, 3, 0, "1706650000"},
    {"A3", 180, 4, 0, "1706650000"},
    {"A4", kDay + 60, 3, 0, "1706640000"},
    {"A5", 10 * kDay, 3, 0, "1706000000"},  // outside the days shown
};

// Writes the backlog: operations, two offline rows, three queued tasks, the
// last daily synchronisation and the batch counter.
void writeBacklog(const std::string& db, time_t now) {
    Sql sql(db);
    for (const Op& op : kOps) {
        sql.exec(std::string("INSERT INTO ALL_OPERATIONS (ID, DateTime, OperType, ChequeID, ") +
                 "ErrorCode, Request, Offline, BatchID) VALUES ('" + op.id + "', '" +
                 localTime(now - op.ago, "%Y%m%d%H%M%S") + "', " + std::to_string(op.type) +
                 ", 'C" + op.id + "', 0, '{}', " + std::to_string(op.offline) + ", " + op.batch +
                 ")");
    }
    for (const auto& [id, ago, cheque] :
         {std::tuple<const char*, time_t, const char*>{"O1", 7200, "1001"}, {"O2", 1800, "1002"}}) {
        sql.exec(std::string("INSERT INTO OFFLINE (ID, DateTime, OperType, ChequeID, Request) ") +
                 "VALUES ('" + id + "', '" + localTime(now - ago, "%Y%m%d%H%M%S") + "', 3, '" +
                 cheque + "', '{}')");
    }
    sql.exec(
        "INSERT INTO SyncTask (ID, Shift, Datetime, BatchID, Priority) VALUES "
        "('1706600001', NULL, '20240130', 1706600001, 20), "
        "('1706600002', 7, NULL, 1706600002, 10), "
        "('1706600000', NULL, '20240129', 1706600000, 20)");
    sql.exec("UPDATE STATES SET value = '20240131' WHERE name = 'lastdatesync'");
    sql.exec("UPDATE BatchCount SET BatchID = 1706650000");
}

// The files of a directory whose names begin with `prefix`, with their content.
std::map<std::string, std::string> snapshot(const std::string& dir,
                                            const std::string& prefix = "zelvan.db3") {
    std::map<std::string, std::string> files;
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    while (dirent* e = d ? readdir(d.get()) : nullptr) {
        std::string name = e->d_name;
        if (name != "." && name != ".." && name.rfind(prefix, 0) == 0)
            files[name] = readFile(dir + "/" + name);
    }
    return files;
}

Json::Value parse(const std::string& text) {
    Json::Value v;
    std::string errs;
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errs)) << text;
    return v;
}

RunResult journalView(std::vector<std::string> args, std::vector<std::string> launcher = {}) {
    args.insert(args.begin(), binaryPath("zelvan-journal"));
    args.insert(args.begin(), launcher.begin(), launcher.end());
    return run(args);
}

ServerSpec quietServer(const std::string& configText = "") {
    ServerSpec spec;
    spec.members = kQuietServer;
    spec.configText = configText;
    return spec;
}

// The journal of a server of the test, started and ready.
struct RunningServer {
    explicit RunningServer(const std::string& configText = "") : server(quietServer(configText)) {
        EXPECT_NE(0, server.port(20000ms)) << server.out() << server.err();
    }
    std::string db() const { return server.dir().file("zelvan.db3"); }
    ServerProcess server;
};

TEST(JournalView, ReportsTheBacklogBesideARunningServer) {
    RunningServer gw;
    const time_t now = time(nullptr);
    writeBacklog(gw.db(), now);
    auto before = snapshot(gw.server.dir().path());

    RunResult r = journalView({"-c", gw.server.configPath(), "--json"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    Json::Value rep = parse(r.out);
    EXPECT_EQ(gw.db(), rep["journal"].asString());
    EXPECT_EQ("rollback", rep["journalMode"].asString());
    EXPECT_EQ("3", rep["dbver"].asString());
    EXPECT_EQ(ZELVAN_VERSION, rep["version"].asString());

    EXPECT_EQ(2, rep["offline"]["count"].asInt());
    const Json::Value& oldest = rep["offline"]["oldest"];
    EXPECT_EQ("O1", oldest["id"].asString());
    EXPECT_EQ("1001", oldest["chequeId"].asString());
    EXPECT_EQ(localTime(now - 7200, "%Y%m%d%H%M%S"), oldest["dateTime"].asString());
    EXPECT_GE(oldest["ageSeconds"].asInt64(), 7200);
    EXPECT_LT(oldest["ageSeconds"].asInt64(), 7200 + 60);

    // In the order the synchronisation takes them: priority, then queue time.
    const Json::Value& tasks = rep["syncTasks"];
    EXPECT_EQ(3, tasks["count"].asInt());
    ASSERT_EQ(3u, tasks["tasks"].size());
    const struct {
        const char* id;
        Json::Value date, shift;
        int priority;
    } order[] = {{"1706600002", Json::Value(), 7, 10},
                 {"1706600000", "20240129", Json::Value(), 20},
                 {"1706600001", "20240130", Json::Value(), 20}};
    for (Json::ArrayIndex i = 0; i < 3; i++) {
        SCOPED_TRACE(order[i].id);
        const Json::Value& t = tasks["tasks"][i];
        EXPECT_EQ(order[i].id, t["id"].asString());
        EXPECT_EQ(order[i].date, t["date"]);
        EXPECT_EQ(order[i].shift, t["shift"]);
        EXPECT_EQ(order[i].priority, t["priority"].asInt());
        EXPECT_EQ(std::stoll(order[i].id), t["batchId"].asInt64());
    }
    EXPECT_EQ("20240131", rep["lastdatesync"].asString());
    EXPECT_EQ(1706650000, rep["batchCount"].asInt64());

    // The days shown, newest first, and the batches of their operations.
    std::map<std::string, std::map<std::string, int>> perDay;
    for (const Op& op : kOps) {
        auto& day = perDay[localTime(now - op.ago, "%Y%m%d")];
        day["operations"]++;
        day["purchases"] += op.type == 3;
        day["reversals"] += op.type == 4;
        day["offline"] += op.offline;
    }
    ASSERT_EQ(7u, rep["days"].size());
    for (Json::ArrayIndex back = 0; back < 7; back++) {
        const Json::Value& day = rep["days"][back];
        const std::string date = localTime(now - static_cast<time_t>(back) * kDay, "%Y%m%d");
        SCOPED_TRACE(date);
        EXPECT_EQ(date, day["date"].asString());
        for (const char* count : {"operations", "purchases", "reversals", "offline"})
            EXPECT_EQ(perDay[date][count], day[count].asInt()) << count;
    }
    ASSERT_EQ(2u, rep["recentBatches"].size());
    EXPECT_EQ(1706650000, rep["recentBatches"][0]["batchId"].asInt64());
    EXPECT_EQ(2, rep["recentBatches"][0]["operations"].asInt());
    EXPECT_EQ(1706640000, rep["recentBatches"][1]["batchId"].asInt64());

    // The text form, for a person, from the same figures.
    r = journalView({"--file", gw.db(), "-n", "2"});
    ASSERT_EQ(0, r.status) << r.err;
    for (const char* line : {
             "Ожидают отправки (OFFLINE): 2\n",
             "Задания синхронизации в очереди (SyncTask): 3\n",
             "  дата        смена  приоритет  пакет\n"
             "  -           7      10         1706600002\n"
             "  2024-01-29  -      20         1706600000\n"
             "  2024-01-30  -      20         1706600001\n",
             "Последняя дневная синхронизация (lastdatesync): 2024-01-31\n",
             "Номер последнего пакета (BatchCount): 1706650000\n",
         })
        EXPECT_NE(std::string::npos, r.out.find(line)) << line << "\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find("  старейшая: "));
    EXPECT_NE(std::string::npos, r.out.find(" 2 ч 0 мин назад (ID O1, чек 1001)\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("  " + localTime(now - kDay, "%Y-%m-%d") + "  "));
    EXPECT_EQ(std::string::npos, r.out.find("  " + localTime(now - 2 * kDay, "%Y-%m-%d") + "  "));

    // Nothing was written, and the server goes on writing its journal.
    EXPECT_EQ(before, snapshot(gw.server.dir().path()));
    Sql(gw.db()).exec("DELETE FROM OFFLINE WHERE ID = 'O2'");
    EXPECT_TRUE(gw.server.process().running());
}

// The journal made by one server, turned into a WAL journal with the
// backlog in it.
std::string walJournal(const TempDir& dir, time_t now) {
    const std::string db = dir.file("zelvan.db3");
    {
        ServerProcess maker(quietServer());
        EXPECT_NE(0, maker.port(20000ms));
        EXPECT_EQ(0, maker.stop());
        rename(maker.dir().file("zelvan.db3").c_str(), db.c_str());
    }
    Sql(db).exec("PRAGMA journal_mode=WAL");
    writeBacklog(db, now);
    return db;
}

TEST(JournalView, ReadsAWalJournalAsAUserWhoMayNotWriteIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the view as another user";
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                               "--regid=nogroup", "--clear-groups"};
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    const time_t now = time(nullptr);
    const std::string db = walJournal(dir, now);
    chmod(db.c_str(), 0644);

    // No writer: the -wal file is gone, and the view must not make one.
    ASSERT_FALSE(fileExists(db + "-wal"));
    auto before = snapshot(dir.path());
    RunResult r = journalView({"-f", db, "--json"}, asNobody);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("wal", parse(r.out)["journalMode"].asString());
    EXPECT_EQ(2, parse(r.out)["offline"]["count"].asInt());
    EXPECT_EQ(before, snapshot(dir.path()));

    // A server holds it: rows written since are in the -wal file only.
    RunningServer gw("{\"DBPath\": \"" + db + "\", \"UseTLS\": false, \"Port\": \"\", " +
                     kQuietServer + "}");
    Sql(db).exec("INSERT INTO OFFLINE (ID, DateTime, OperType, Request) VALUES ('O3', '" +
                 localTime(now, "%Y%m%d%H%M%S") + "', 3, '{}')");
    ASSERT_TRUE(fileExists(db + "-wal") && fileExists(db + "-shm"));
    before = snapshot(dir.path());
    r = journalView({"-f", db, "--json"}, asNobody);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(3, parse(r.out)["offline"]["count"].asInt());
    EXPECT_EQ(before, snapshot(dir.path()));
}

TEST(JournalView, RefusesFilesThatAreNoJournal) {
    TempDir dir;
    dir.write("text.conf", "{\"Port\": 54121}\n");
    dir.write("empty.db3", "");
    Sql(dir.file("other.db3")).exec("CREATE TABLE t (x)");
    Sql(dir.file("half.db3")).exec("CREATE TABLE ALL_OPERATIONS (ID)");
    mkdir(dir.file("adir").c_str(), 0755);
    const struct {
        std::string file;
        std::string error;
    } cases[] = {
        {"missing.db3", "Файл журнала не найден: @"},
        {"text.conf", "Файл не является журналом zelvan (это не база SQLite): @"},
        {"empty.db3", "Файл не является журналом zelvan (это не база SQLite): @"},
        {"other.db3", "Файл не является журналом zelvan: @ (нет таблицы ALL_OPERATIONS)"},
        {"half.db3", "Файл не является журналом zelvan: @ (нет таблицы OFFLINE)"},
        {"adir", "Не является файлом журнала: @"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.file(c.file);
        std::string error = c.error;
        error.replace(error.find('@'), 1, path);
        auto before = snapshot(dir.path(), "");
        RunResult r = journalView({"-f", path});
        EXPECT_EQ(2, r.status);
        EXPECT_EQ(error + "\n", r.err);
        EXPECT_EQ("", r.out);
        r = journalView({"-f", path, "--json"});
        EXPECT_EQ(2, r.status);
        Json::Value doc = parse(r.out);
        EXPECT_EQ(error, doc["error"].asString());
        EXPECT_EQ(path, doc["journal"].asString());
        EXPECT_EQ(before, snapshot(dir.path(), ""));
        EXPECT_FALSE(fileExists(path + "-journal") || fileExists(path + "-wal"));
    }
}

TEST(JournalView, RejectsBadOptions) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-n", "0"}, {"--days", "367"}, {"-n", "x"}, {"-x"}, {"extra"}}) {
        SCOPED_TRACE(args[0]);
        RunResult r = journalView(args);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
    }
}

}  // namespace
