// The fuzz targets' runner: see fuzz_runner.h.
#include "tests/fuzz/fuzz_runner.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/log.h"
#include "server/server.h"

namespace fuzzsupport {

namespace {

// A directory under $TMPDIR that is removed, with the journal, at exit.
class ScratchDir {
  public:
    ScratchDir() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/zfuzz.XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        if (path_.empty()) return;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
            }
            closedir(d);
        }
        rmdir(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A loopback port that refuses connections for as long as the process
// lives: bound, so that nothing else takes it, and never listening.
class RefusingPort {
  public:
    RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~RefusingPort() {
        if (fd_ >= 0) close(fd_);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    unsigned short port() const { return port_; }

  private:
    int fd_;
    unsigned short port_ = 0;
};

Json::Value unreachableCrmConfig(const std::string& dir, unsigned short port) {
    Json::Value conf(Json::objectValue);
    conf["PmtJsonRootName"] = "AZS";
    conf["DBPath"] = dir + "/zelvan.db3";
    conf["UseTLS"] = false;
    conf["ConnectionString"] = "http://127.0.0.1:" + std::to_string(port) + "/crm";
    conf["ConnectTimeout"] = 1;
    conf["SendRecvTimeout"] = 1;
    for (const char* key : {"RetryCount", "RetryTaskCount", "RetryOffSyncCount"}) conf[key] = 1;
    conf["SendRecvTaskTimeout"] = 1;
    conf["SendRecvOffSyncTimeout"] = 1;
    return conf;
}

}  // namespace

void useRunner(RunnerState state) {
    static bool done = false;
    if (done) return;
    done = true;
    if (freopen("/dev/null", "w", stdout) == nullptr) perror("stdout");
    detach = true;  // log lines in their byte form
    setLogConsole(false);
    pthread_mutex_init(&lock_conns, nullptr);
    pRun = &objRun;
    if (state == RunnerState::NotInitialised) return;

    static ScratchDir dir;
    static RefusingPort crm;
    if (dir.path().empty() || crm.port() == 0) {
        fprintf(stderr, "fuzz set-up: no scratch directory or port\n");
        abort();
    }
    pRun->_set_runner_version("fuzz");
    pRun->initFramework();
    pRun->InitZvnCRM(unreachableCrmConfig(dir.path(), crm.port()));
}

}  // namespace fuzzsupport
