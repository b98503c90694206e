// The runner's start-up inside the real server: the first connection check
// with and without DaemonNeedConnect, the journal, TLS with server
// verification, and the SOAP message logs.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "tests/runner/gateway.h"

using namespace gatewaytest;
using testsupport::ServerProcess;
using testsupport::ServerSpec;

namespace {

// A server whose CRM address answers nothing (connection refused).
ServerSpec unreachableCrm(const std::string& more = "") {
    ServerSpec spec;
    spec.members = "\"ConnectionString\": \"http://127.0.0.1:" +
                   std::to_string(testsupport::freeLoopbackPort()) + "/crm\", \"RetryCount\": 1" +
                   (more.empty() ? "" : ", " + more);
    return spec;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

std::string stateValue(const std::string& db, const std::string& name) {
    sqlite3* h = nullptr;
    std::string value;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(h, "SELECT value FROM STATES WHERE name = ?", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return value;
}

}  // namespace

TEST(RunnerStartUp, WithoutTheCrmStartsOfflineUnlessAConnectionIsRequired) {
    {
        ServerProcess server(unreachableCrm());
        ASSERT_NE(0, server.port()) << server.err();
        auto log = testsupport::logMessages(server.out());
        EXPECT_TRUE(contains(log, "Не удалось получить ответ от сервера ZelvanCRM"));
        EXPECT_TRUE(contains(log, "Статус соединения : ( Connected =  FALSE )"));
        EXPECT_TRUE(contains(log, "Демон инициализирован в режиме OFFLINE"));
        EXPECT_EQ(0, server.stop());
    }
    ServerProcess server(unreachableCrm("\"DaemonNeedConnect\": true"));
    EXPECT_EQ(1, server.process().wait());
    const std::string text =
        "ERROR: Ошибка инициализации модуля работы ZelvanCRM : [28] : Нет связи";
    EXPECT_TRUE(contains(testsupport::logMessages(server.err()), text)) << server.err();
    auto log = testsupport::logMessages(server.out());
    auto at = std::find(log.begin(), log.end(), text);
    ASSERT_NE(log.end(), at) << server.out();
    ASSERT_NE(log.end(), at + 1);
    EXPECT_EQ("Завершение работы сервера", *(at + 1));
}

TEST(RunnerStartUp, CreatesTheJournalThenOpensItAndRecordsTheVersion) {
    Gateway gw;
    const std::string db = gw.server().dir().file("zelvan.db3");
    EXPECT_EQ(ZELVAN_VERSION, stateValue(db, "version"));
    EXPECT_EQ("3", stateValue(db, "dbver"));
    auto log = gw.log();
    EXPECT_TRUE(contains(log, "Создание новой БД : [ " + db + " ]"));
    EXPECT_TRUE(contains(log, "Успешно"));
    EXPECT_TRUE(contains(log, "Демон инициализирован в режиме ONLINE"));
}

TEST(RunnerStartUp, EndsWithTheJournalsErrorWhenItCannotBeUsed) {
    testsupport::TempDir dir;
    const std::string notADb = dir.write("not.db3", "this is not a database, only text\n");
    const struct {
        std::string dbPath;
        std::string text;
    } cases[] = {
        {dir.file("missing/zelvan.db3"),
         "ERROR: Ошибка инициализации БД : unable to open database file"},
        {notADb, "ERROR: Ошибка обновления БД : file is not a database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dbPath);
        ServerSpec spec = unreachableCrm();
        spec.configText = "{\"UseTLS\": false, \"Port\": \"\", \"DBPath\": \"" + c.dbPath + "\"}";
        ServerProcess server(spec);
        EXPECT_EQ(1, server.process().wait());
        EXPECT_TRUE(contains(testsupport::logMessages(server.err()), c.text)) << server.err();
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("missing")));
}

class RunnerTls : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { certs_ = std::make_unique<soaptest::TestCertificates>(); }
    static void TearDownTestSuite() { certs_.reset(); }
    static std::unique_ptr<soaptest::TestCertificates> certs_;
};
std::unique_ptr<soaptest::TestCertificates> RunnerTls::certs_;

TEST_F(RunnerTls, VerifiesTheCrmAgainstTheConfiguredCa) {
    Gateway trusted(Json::Value(Json::objectValue),
                    "\"UseTLS\": true, \"CertFilePath\": \"" + certs_->ca("test-ca") + "\"",
                    &certs_->tls());
    EXPECT_EQ(json(R"({"err": "0", "errMsg": "Успешное выполнение операции"})"),
              trusted.send("\"Connect\": {}")["Connect"]);
    EXPECT_TRUE(contains(trusted.log(), "Инициализация SSL/TLS"));

    Gateway other(
        Json::Value(Json::objectValue),
        "\"UseTLS\": true, \"RetryCount\": 1, \"CertFilePath\": \"" + certs_->ca("other-ca") + "\"",
        &certs_->tls());
    Json::Value r = other.send("\"Connect\": {}")["Connect"];
    EXPECT_EQ("30", r["err"].asString()) << r;  // the TLS layer refused the certificate
    EXPECT_EQ("Обслуживание временно ограничено", r["errMsg"].asString());
    EXPECT_EQ("1", r["Offline"].asString());
    EXPECT_TRUE(other.records("Connection_Check").empty());
}

TEST_F(RunnerTls, EndsStartUpWhenTheTlsContextCannotBeSetUp) {
    ServerSpec spec = unreachableCrm("\"UseTLS\": true, \"CertFilePath\": \"/nonexistent/ca.pem\"");
    ServerProcess server(spec);
    EXPECT_EQ(1, server.process().wait());
    bool found = false;
    for (const std::string& m : testsupport::logMessages(server.err()))
        found = found || m.rfind("ERROR: Ошибка инициализации SSL/TLS : [", 0) == 0;
    EXPECT_TRUE(found) << server.err();
}

TEST(RunnerMessageLogs, WriteSentAndReceivedMessagesToTheConfiguredFiles) {
    const std::string why = testsupport::privateMountsUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    soaptest::Simulator sim;
    testsupport::TempDir dirs;
    const std::string var = dirs.file("var");
    mkdir(var.c_str(), 0755);
    mkdir((var + "/log").c_str(), 0755);
    ServerSpec spec;
    spec.members = "\"ConnectionString\": \"" + sim.endpoint() +
                   "\", \"DebugEnable\": true, \"DebugFile\": \"both.log\", "
                   "\"DebugSentFile\": \"sent.log\"";
    spec.launcher = testsupport::privateMountsLauncher(dirs, {{"/var/opt/zelvan", var}});
    ServerProcess server(spec);
    ASSERT_NE(0, server.port()) << server.out() << server.err();
    EXPECT_EQ(0, server.stop());
    const std::string sent = testsupport::readFile(var + "/log/sent.log");
    const std::string received = testsupport::readFile(var + "/log/both.log");
    EXPECT_NE(std::string::npos, sent.find("Connection_Check_Input")) << sent;
    EXPECT_NE(std::string::npos, received.find("Connection_Check_Output")) << received;
    EXPECT_FALSE(testsupport::fileExists(var + "/log/soap_TEST.log"));
}
