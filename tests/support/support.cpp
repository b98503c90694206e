// Test support implementation.
#include "tests/support/support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

void removeTree(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") removeTree(path + "/" + name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

}  // namespace

TempDir::TempDir() {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zelvan-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    removeTree(path_);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    writeFile(file(name), content);
    return file(name);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool waitUntil(const std::function<bool()>& done, Millis timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
}

Process::Process(const Options& o) {
    int pipeFds[2] = {-1, -1};
    if (o.stdinPipe && pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        auto redirect = [](const std::string& path, int fd, int flags) {
            int f = open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644);
            if (f >= 0) {
                dup2(f, fd);
                ::close(f);
            }
        };
        if (o.stdinPipe) {
            dup2(pipeFds[0], 0);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
        } else {
            redirect("", 0, O_RDONLY);
        }
        redirect(o.stdoutPath, 1, O_WRONLY | O_CREAT | O_APPEND);
        redirect(o.stderrPath, 2, O_WRONLY | O_CREAT | O_APPEND);
        for (const auto& [k, v] : o.env) setenv(k.c_str(), v.c_str(), 1);
        if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        for (const auto& a : o.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (o.stdinPipe) {
        ::close(pipeFds[0]);
        stdinFd_ = pipeFds[1];
    }
}

Process::~Process() {
    closeStdin();
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int st;
        waitpid(pid_, &st, 0);
    }
}

void Process::writeStdin(const std::string& text) {
    size_t off = 0;
    while (stdinFd_ >= 0 && off < text.size()) {
        ssize_t n = ::write(stdinFd_, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
}

void Process::closeStdin() {
    if (stdinFd_ >= 0) ::close(stdinFd_);
    stdinFd_ = -1;
}

std::optional<int> Process::wait(Millis timeout) {
    if (status_) return status_;
    waitUntil(
        [&] {
            int st;
            pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_.has_value();
        },
        timeout);
    return status_;
}

bool Process::running() {
    return !wait(0ms).has_value();
}

void Process::signal(int sig) {
    if (!status_) ::kill(pid_, sig);
}

RunResult run(const std::vector<std::string>& args, const std::string& input,
              const std::map<std::string, std::string>& env, Millis timeout) {
    TempDir dir;
    Process::Options o;
    o.args = args;
    o.env = env;
    o.stdoutPath = dir.file("out");
    o.stderrPath = dir.file("err");
    o.stdinPipe = true;
    Process p(o);
    p.writeStdin(input);
    p.closeStdin();
    RunResult r;
    auto st = p.wait(timeout);
    r.status = st ? *st : -1;
    r.out = readFile(dir.file("out"));
    r.err = readFile(dir.file("err"));
    return r;
}

unsigned short freeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

long residentKiB(pid_t pid) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

bool allowOpenFiles(size_t count) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return false;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur >= count) return true;
    if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < count) return false;
    lim.rlim_cur = count;
    return setrlimit(RLIMIT_NOFILE, &lim) == 0;
}

unsigned short listeningPortOf(pid_t pid) {
    // Socket inodes of the process, then the listening entries of /proc/net/tcp.
    std::vector<std::string> inodes;
    std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* d = opendir(fdDir.c_str())) {
        while (dirent* e = readdir(d)) {
            char target[256] = {0};
            std::string link = fdDir + "/" + e->d_name;
            ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
            if (n > 0 && strncmp(target, "socket:[", 8) == 0)
                inodes.emplace_back(target + 8, strlen(target + 8) - 1);
        }
        closedir(d);
    }
    std::istringstream tcp(readFile("/proc/" + std::to_string(pid) + "/net/tcp"));
    std::string line;
    std::getline(tcp, line);  // header
    while (std::getline(tcp, line)) {
        std::istringstream f(line);
        std::string sl, local, remote, state, queues, timer, retr, uid, timeout, inode;
        f >> sl >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >> inode;
        if (state != "0A") continue;  // LISTEN
        for (const auto& i : inodes) {
            if (i == inode) {
                return static_cast<unsigned short>(
                    strtoul(local.substr(local.find(':') + 1).c_str(), nullptr, 16));
            }
        }
    }
    return 0;
}

TcpClient::~TcpClient() {
    close();
}

bool TcpClient::connect(unsigned short port, Millis timeout) {
    close();
    return waitUntil(
        [&] {
            fd_ = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(port);
            if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) return true;
            ::close(fd_);
            fd_ = -1;
            return false;
        },
        timeout);
}

void TcpClient::send(const std::string& bytes) {
    size_t off = 0;
    while (fd_ >= 0 && off < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
}

bool TcpClient::fill(Millis timeout) {
    if (fd_ < 0 || eof_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buf[65536];
    ssize_t n = ::recv(fd_, buf, sizeof(buf), 0);
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    buffer_.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> TcpClient::readLine(Millis timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl + 1);
            buffer_.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<Millis>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || eof_) return std::nullopt;
        fill(left);
    }
}

bool TcpClient::waitClosed(Millis timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!eof_) {
        auto left = std::chrono::duration_cast<Millis>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        fill(left);
    }
    return true;
}

size_t TcpClient::sendWithin(const std::string& bytes, Millis timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    size_t off = 0;
    while (fd_ >= 0 && off < bytes.size()) {
        ssize_t n =
            ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            off += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
        auto left = std::chrono::duration_cast<Millis>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return off;
}

void TcpClient::abort() {
    if (fd_ >= 0) {
        linger l{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
    }
    close();
}

void TcpClient::shutdownWrite() {
    if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

void TcpClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    eof_ = false;
    buffer_.clear();
}

std::string binaryPath(const std::string& name) {
    const char* dir = getenv("ZELVAN_BIN_DIR");
    return std::string(dir && *dir ? dir : ZELVAN_DEFAULT_BIN_DIR) + "/" + name;
}

}  // namespace testsupport
