// Test support: temporary directories, child processes of the real binaries,
// loopback TCP clients and small file/wait helpers. Everything is bounded in
// time and cleans up after itself.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// A fresh directory under $TMPDIR (or /tmp), removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to `name` (directories below path() must exist).
    std::string write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
// The lines of a file, without their line ends.
std::vector<std::string> readLines(const std::string& path);

// Polls `done` every 20 ms until it is true or `timeout` has passed.
bool waitUntil(const std::function<bool()>& done, Millis timeout = 5000ms);

// A child process with its standard streams on files (or a pipe for input).
// The destructor kills (SIGKILL) and reaps a child that is still running.
class Process {
  public:
    struct Options {
        std::vector<std::string> args;           // args[0] is the program path
        std::map<std::string, std::string> env;  // added to the environment
        std::string stdoutPath, stderrPath;      // empty: /dev/null
        bool stdinPipe = false;                  // else stdin is /dev/null
        std::string cwd;                         // empty: unchanged
    };
    explicit Process(const Options& options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    // Writes to the child's standard input (stdinPipe only).
    void writeStdin(const std::string& text);
    void closeStdin();
    // Waits for the child to end; the exit status, 128 + signal number when
    // it was killed by a signal, or nothing on time-out.
    std::optional<int> wait(Millis timeout = 10000ms);
    bool running();
    void signal(int sig);

  private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end; returns its status (or -1 on time-out, after
// killing it) and fills the captured output.
struct RunResult {
    int status = -1;
    std::string out, err;
};
RunResult run(const std::vector<std::string>& args, const std::string& input = "",
              const std::map<std::string, std::string>& env = {}, Millis timeout = 10000ms);

// True in a build under AddressSanitizer or ThreadSanitizer, whose own
// memory (shadow, quarantine, per-thread state) makes resident sizes say
// nothing about the program's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// The resident set size of process `pid` in KiB (VmRSS); -1 when unknown.
long residentKiB(pid_t pid);
// Makes sure this process (and the children it starts from now on) may open
// `count` descriptors, raising the soft limit up to the hard one; false when
// the hard limit is lower.
bool allowOpenFiles(size_t count);

// A port on 127.0.0.1 that was free a moment ago.
unsigned short freeLoopbackPort();
// The TCP port process `pid` listens on, found through /proc; 0 if none yet.
unsigned short listeningPortOf(pid_t pid);

// A blocking loopback TCP client with time-outs on every read.
class TcpClient {
  public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    bool connect(unsigned short port, Millis timeout = 3000ms);
    void send(const std::string& bytes);
    // One line with its "\n", or nothing when none arrived in time or the
    // connection closed first.
    std::optional<std::string> readLine(Millis timeout = 5000ms);
    // True when the peer closed the connection within the time-out (bytes
    // that arrive before are collected into `pending`).
    bool waitClosed(Millis timeout = 5000ms);
    // Sends what the peer takes within the time-out, without blocking past
    // it; returns how many bytes were taken.
    size_t sendWithin(const std::string& bytes, Millis timeout);
    void shutdownWrite();
    void close();
    // Closes with a reset (RST) instead of an orderly end.
    void abort();
    const std::string& pending() const { return buffer_; }

  private:
    int fd_ = -1;
    std::string buffer_;
    bool eof_ = false;
    bool fill(Millis timeout);
};

// Path of a built program, from the build system.
std::string binaryPath(const std::string& name);

}  // namespace testsupport
