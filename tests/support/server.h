// Test support for the programs' end-to-end tests: a zelvan-server started
// with a test configuration, the messages of its log lines, private mount
// namespaces for the fixed system paths (configuration directories,
// /var/opt/zelvan) and the daemon processes whose parent has ended.
#pragma once

#include <signal.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace testsupport {

// A usable test configuration: the journal inside `dir`, no TLS, no CRM
// address, a port chosen by the system; `members` (JSON members text such as
// "\"PmtJsonRootName\": \"AZS\"") are added at the end.
std::string serverConfig(const std::string& dir, const std::string& members = "");

struct ServerSpec {
    std::string members;                // added to serverConfig()
    std::string configText;             // when set: the whole file; "@DIR@" stands for dir().path()
    bool configOption = true;           // pass "-c <file>"
    bool foreground = true;             // pass "-d"
    std::vector<std::string> args;      // after the options above
    std::vector<std::string> launcher;  // put before the program (privateMountsLauncher)
    // Called with the server's directory before the program starts (e.g. to
    // put a journal there).
    std::function<void(const TempDir&)> prepare;
};

// A zelvan-server started with its configuration file in a fresh TempDir;
// its standard output and error go to files there. The destructor kills it.
//     ServerProcess server({"\"PmtJsonRootName\": \"AZS\""});
//     TcpClient client; client.connect(server.port());
class ServerProcess {
  public:
    explicit ServerProcess(const ServerSpec& spec = {});

    const TempDir& dir() const { return dir_; }
    std::string configPath() const { return dir_.file("zelvan.conf"); }
    Process& process() { return *process_; }
    // The port the server listens on; 0 when it did not listen in time.
    unsigned short port(Millis timeout = 10000ms);
    std::string out() const { return readFile(dir_.file("out")); }
    std::string err() const { return readFile(dir_.file("err")); }
    // Waits until a log line of the standard output (or, with errStream,
    // of the standard error) carries exactly `message`.
    bool waitForLog(const std::string& message, Millis timeout = 10000ms, bool errStream = false);
    // How many times the standard output holds `text`.
    size_t countInOut(const std::string& text) const;
    // Waits until a log line of the standard output begins with `prefix`;
    // returns its message, or "" on time-out.
    std::string waitForLogStartingWith(const std::string& prefix, Millis timeout = 10000ms);
    // Sends the signal and waits for the exit status.
    std::optional<int> stop(int sig = SIGTERM, Millis timeout = 10000ms);

  private:
    TempDir dir_;
    std::unique_ptr<Process> process_;
};

// The messages of the log lines ("(YYYY-MM-DD hh:mm:ss): message") of a
// text; other lines are left out.
std::vector<std::string> logMessages(const std::string& text);

// The messages without the runner's start-up block (from "Инициализация
// локальной БД для ZelvanCRM" to "Демон инициализирован в режиме ...") and
// without the background worker's own lines ("[<thread>] : [SYNC PROC] ..."
// and "[SYNC TASK]"), so that tests of the server entry see the entry's own
// lines.
std::vector<std::string> withoutRunnerStartup(const std::vector<std::string>& messages);
// Whether a message is one of the background worker's own lines.
bool isWorkerLine(const std::string& message);

// A directory mounted over a fixed path, seen only by the launched program.
struct Mount {
    std::string target;  // e.g. "/var/opt/zelvan"
    std::string source;  // a directory of the test
};

// The command line that runs a program (appended after it) in a private
// mount namespace where each source is bind-mounted over its target. Missing
// targets are made inside an overlay of their nearest existing parent whose
// upper layer lies in `scratch`, so the machine's own tree is never changed.
// Exit status 97 when a mount fails.
std::vector<std::string> privateMountsLauncher(const TempDir& scratch,
                                               const std::vector<Mount>& mounts);
// Empty when private mount namespaces work here; otherwise why not, for
// GTEST_SKIP (they need root).
std::string privateMountsUnavailable();

// Makes this process the reaper of orphaned descendants (a daemon whose
// parent has ended), so that it can wait for them.
void becomeChildSubreaper();
// Waits for descendant `pid` to end: its status (128 + the signal when it
// was killed), or nothing on time-out.
std::optional<int> waitForChild(pid_t pid, Millis timeout = 10000ms);

// Kills (SIGKILL) and reaps a descendant at the end of the scope unless it
// has been waited for.
class ReapOnExit {
  public:
    explicit ReapOnExit(pid_t pid = -1) : pid_(pid) {}
    ~ReapOnExit();
    ReapOnExit(const ReapOnExit&) = delete;
    ReapOnExit& operator=(const ReapOnExit&) = delete;
    void reset(pid_t pid) { pid_ = pid; }

  private:
    pid_t pid_;
};

}  // namespace testsupport
