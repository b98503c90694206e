// Test support for the programs' end-to-end tests.
#include "tests/support/server.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <sstream>

namespace testsupport {

namespace {

std::string jsonQuoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string nearestExistingParent(std::string path) {
    while (!isDirectory(path)) {
        size_t slash = path.rfind('/');
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    return path;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string serverConfig(const std::string& dir, const std::string& members) {
    std::string text = "{\"DBPath\": " + jsonQuoted(dir + "/zelvan.db3") +
                       ", \"UseTLS\": false, \"ConnectionString\": \"\", \"Port\": \"\"";
    if (!members.empty()) text += ", " + members;
    return text + "}\n";
}

ServerProcess::ServerProcess(const ServerSpec& spec) {
    std::string config =
        spec.configText.empty() ? serverConfig(dir_.path(), spec.members) : spec.configText;
    replaceAll(config, "@DIR@", dir_.path());
    writeFile(configPath(), config);
    if (spec.prepare) spec.prepare(dir_);
    Process::Options o;
    o.args = spec.launcher;
    o.args.push_back(binaryPath("zelvan-server"));
    if (spec.foreground) o.args.push_back("-d");
    if (spec.configOption) {
        o.args.push_back("-c");
        o.args.push_back(configPath());
    }
    o.args.insert(o.args.end(), spec.args.begin(), spec.args.end());
    o.stdoutPath = dir_.file("out");
    o.stderrPath = dir_.file("err");
    process_ = std::make_unique<Process>(o);
}

unsigned short ServerProcess::port(Millis timeout) {
    unsigned short found = 0;
    waitUntil(
        [&] {
            found = listeningPortOf(process_->pid());
            return found != 0 || !process_->running();
        },
        timeout);
    return found;
}

bool ServerProcess::waitForLog(const std::string& message, Millis timeout, bool errStream) {
    return waitUntil(
        [&] {
            auto messages = logMessages(errStream ? err() : out());
            return std::find(messages.begin(), messages.end(), message) != messages.end();
        },
        timeout);
}

size_t ServerProcess::countInOut(const std::string& text) const {
    const std::string all = out();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        n++;
    return n;
}

std::string ServerProcess::waitForLogStartingWith(const std::string& prefix, Millis timeout) {
    std::string found;
    waitUntil(
        [&] {
            for (const std::string& m : logMessages(out())) {
                if (m.rfind(prefix, 0) == 0) found = m;
            }
            return !found.empty();
        },
        timeout);
    return found;
}

std::optional<int> ServerProcess::stop(int sig, Millis timeout) {
    process_->signal(sig);
    return process_->wait(timeout);
}

std::vector<std::string> logMessages(const std::string& text) {
    static const std::regex line(R"(^\(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\): (.*)$)");
    std::vector<std::string> messages;
    std::istringstream in(text);
    std::string l;
    std::smatch m;
    while (std::getline(in, l)) {
        if (std::regex_match(l, m, line)) messages.push_back(m[1]);
    }
    return messages;
}

std::vector<std::string> privateMountsLauncher(const TempDir& scratch,
                                               const std::vector<Mount>& mounts) {
    std::vector<std::string> parents;
    for (const Mount& m : mounts) {
        if (!isDirectory(m.target)) parents.push_back(nearestExistingParent(m.target));
    }
    std::sort(parents.begin(), parents.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '/') < std::count(b.begin(), b.end(), '/');
    });
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    std::string script;
    for (size_t i = 0; i < parents.size(); i++) {
        // A fresh layer each time: a layer is never shared by two mounts.
        std::string layer;
        for (int n = 0; layer.empty() || mkdir(layer.c_str(), 0755) != 0; n++)
            layer = scratch.file("overlay" + std::to_string(n));
        mkdir((layer + "/upper").c_str(), 0755);
        mkdir((layer + "/work").c_str(), 0755);
        script += "mount -t overlay overlay -o " +
                  shellQuoted("lowerdir=" + parents[i] + ",upperdir=" + layer +
                              "/upper,workdir=" + layer + "/work") +
                  " " + shellQuoted(parents[i]) + " || exit 97\n";
    }
    for (const Mount& m : mounts) {
        script += "mkdir -p " + shellQuoted(m.target) + " || exit 97\n";
        script +=
            "mount --bind " + shellQuoted(m.source) + " " + shellQuoted(m.target) + " || exit 97\n";
    }
    script += "exec \"$@\"\n";
    return {"/usr/bin/unshare", "--mount", "--propagation", "private",
            "/bin/sh",          "-c",      script,          "sh"};
}

std::string privateMountsUnavailable() {
    static const std::string reason = [] {
        if (geteuid() != 0) return std::string("private mount namespaces need root");
        TempDir scratch;
        mkdir(scratch.file("src").c_str(), 0755);
        auto args = privateMountsLauncher(
            scratch, {{"/var/opt/zelvan-test-probe/dir", scratch.file("src")}});
        args.push_back("/bin/true");
        RunResult r = run(args);
        if (r.status != 0)
            return "private mount namespaces do not work here (status " + std::to_string(r.status) +
                   "): " + r.err;
        return std::string();
    }();
    return reason;
}

void becomeChildSubreaper() {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::optional<int> waitForChild(pid_t pid, Millis timeout) {
    std::optional<int> status;
    waitUntil(
        [&] {
            int st;
            if (waitpid(pid, &st, WNOHANG) == pid)
                status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status.has_value();
        },
        timeout);
    return status;
}

ReapOnExit::~ReapOnExit() {
    if (pid_ <= 0) return;
    int st;
    if (waitpid(pid_, &st, WNOHANG) != 0) return;  // ended and reaped, or not ours
    kill(pid_, SIGKILL);
    waitpid(pid_, &st, 0);
}

}  // namespace testsupport

namespace testsupport {

std::vector<std::string> withoutRunnerStartup(const std::vector<std::string>& messages) {
    static const std::string first = "Инициализация локальной БД для ZelvanCRM";
    static const std::string last = "Демон инициализирован в режиме ";
    std::vector<std::string> out;
    bool inBlock = false;
    for (const std::string& m : messages) {
        if (m == first) inBlock = true;
        if (!inBlock && !isWorkerLine(m)) out.push_back(m);
        if (inBlock && m.rfind(last, 0) == 0) inBlock = false;
    }
    return out;
}

bool isWorkerLine(const std::string& message) {
    static const std::regex worker(R"(^\[\d+\] : \[SYNC (PROC|TASK)\] .*)");
    return std::regex_match(message, worker);
}

}  // namespace testsupport
