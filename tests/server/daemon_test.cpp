// zelvan-server as a daemon: the pid lock file, the refusal of a second
// instance, the log file and the stop. The pid and log paths are fixed under
// /var/opt/zelvan, so every server here runs in a private mount namespace in
// which a directory of the test is mounted there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

const char kBanner[] = "Инициализация кассового сервера \"ZelvanCRM\"";

class Daemon : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why = privateMountsUnavailable();
        if (!why.empty()) GTEST_SKIP() << "daemon tests skipped: " << why;
        becomeChildSubreaper();
        for (const char* d : {"/zelvan", "/zelvan/run", "/zelvan/log", "/zelvan/db"})
            mkdir((var_.path() + d).c_str(), 0755);
    }

    std::string pidFile() const { return var_.path() + "/zelvan/run/zelvan-server.pid"; }
    std::string logFile() const { return var_.path() + "/zelvan/log/zelvan-server.log"; }
    std::string errFile() const { return var_.path() + "/zelvan/log/zelvan-server.err"; }

    // Starts the daemon; returns the starting (parent) process. It is kept
    // with its directory, where the daemon reads its configuration later.
    ServerProcess* start() {
        ServerSpec spec;
        spec.members = "\"PmtJsonRootName\": \"AZS\"";
        spec.foreground = false;
        spec.launcher = privateMountsLauncher(var_, {{"/var/opt/zelvan", var_.path() + "/zelvan"}});
        parents_.push_back(std::make_unique<ServerProcess>(spec));
        return parents_.back().get();
    }

    // Starts the daemon and waits for its parent to report it ready.
    pid_t startDaemon() {
        ServerProcess* parent = start();
        EXPECT_EQ(0, parent->process().wait());
        EXPECT_EQ(std::string(kBanner) + "\n", parent->out());
        EXPECT_EQ("", parent->err());
        std::string text = readFile(pidFile());
        EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789")) << text;
        pid_t pid = static_cast<pid_t>(atoi(text.c_str()));
        reaper_.reset(pid);
        // Stop signals are handled once the daemon has started up.
        EXPECT_TRUE(waitUntil([&] { return listeningPortOf(pid) != 0; }, 20000ms));
        return pid;
    }

    // SIGTERM to the daemon. A start that failed (a slow machine can run
    // past the parent's two-second wait) leaves no pid: never signal pid 0,
    // which is this test's whole process group.
    static int terminate(pid_t pid) {
        EXPECT_GT(pid, 1);
        return pid > 1 ? kill(pid, SIGTERM) : -1;
    }

    TempDir var_;
    std::vector<std::unique_ptr<ServerProcess>> parents_;
    ReapOnExit reaper_;
};

TEST_F(Daemon, StartsDetachedAndLogsToItsFilesUntilSigterm) {
    pid_t pid = startDaemon();
    ASSERT_GT(pid, 1);
    unsigned short port = listeningPortOf(pid);
    TcpClient client;
    ASSERT_TRUE(client.connect(port));
    client.send("{\"AZS\":{\"A\":{}}}");
    EXPECT_EQ("{\"AZS\":{\"A\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}}\n",
              client.readLine().value_or(""));
    // The reply line is logged just after the reply has been sent.
    EXPECT_TRUE(waitUntil([&] { return readFile(logFile()).find(" <= ") != std::string::npos; }));

    EXPECT_EQ(0, terminate(pid));
    EXPECT_EQ(0, waitForChild(pid));
    auto messages = withoutRunnerStartup(logMessages(readFile(logFile())));
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ("Демон инициализирован с PID=" + std::to_string(pid), messages[0]);
    EXPECT_EQ(0u, messages[1].rfind("Используется файл конфигурации ", 0));
    EXPECT_EQ(kBanner, messages[2]);
    EXPECT_EQ("Сервер инициализирован и готов к принятию соединений на порту 0", messages[3]);
    EXPECT_EQ("Остановка сервера по сигналу : 15", messages.back());
    EXPECT_EQ("", readFile(errFile()));
    EXPECT_TRUE(fileExists(pidFile()));  // left for the next start to judge
}

TEST_F(Daemon, RefusesASecondInstanceWhileTheFirstLives) {
    pid_t first = startDaemon();
    ServerProcess* second = start();
    EXPECT_EQ(1, second->process().wait());
    const std::string refusal =
        "Уже существует запущенный экземпляр сервера с процессом " + std::to_string(first);
    EXPECT_EQ(std::vector<std::string>{refusal}, logMessages(second->err()));
    auto messages = logMessages(second->out());
    EXPECT_EQ((std::vector<std::string>{refusal, "Завершение процесса"}), messages);
    EXPECT_EQ(std::to_string(first), readFile(pidFile()));
    EXPECT_TRUE(waitForChild(first, 0ms) == std::nullopt);  // still running
}

// The pid of a process that has just ended.
pid_t deadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int st;
    waitpid(pid, &st, 0);
    return pid;
}

TEST_F(Daemon, JudgesThePidFileOfAnEarlierRun) {
    const struct {
        const char* name;
        std::string content;
        bool starts;
    } cases[] = {
        {"stale pid", std::to_string(deadPid()), true},
        {"empty file", "", true},
        {"text that is no number", "garbage", true},
        {"process 0", "0", true},
        {"negative", "-1", true},
        {"live process", std::to_string(getpid()), false},
        {"live process and a line end", std::to_string(getpid()) + "\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(pidFile(), c.content);
        if (c.starts) {
            pid_t pid = startDaemon();
            EXPECT_NE(c.content, std::to_string(pid));
            EXPECT_EQ(0, terminate(pid));
            EXPECT_EQ(0, waitForChild(pid));
        } else {
            ServerProcess* refused = start();
            EXPECT_EQ(1, refused->process().wait());
            EXPECT_EQ(c.content, readFile(pidFile()));
        }
    }
}

TEST_F(Daemon, ReportsAMissingLogDirectoryAndKeepsRunning) {
    std::string logDir = var_.path() + "/zelvan/log";
    rmdir(logDir.c_str());
    ServerProcess* parent = start();
    EXPECT_EQ(0, parent->process().wait());
    pid_t pid = static_cast<pid_t>(atoi(readFile(pidFile()).c_str()));
    reaper_.reset(pid);
    EXPECT_TRUE(waitUntil([&] { return listeningPortOf(pid) != 0; }));
    EXPECT_EQ(0u, parent->err().rfind("unable to freopen() stdout, code 2 (", 0)) << parent->err();
    EXPECT_EQ(0, terminate(pid));
    EXPECT_EQ(0, waitForChild(pid));
}

}  // namespace
