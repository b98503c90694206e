// Daemon start-up: the single-instance check through the pid lock file, the
// fork, the parent waiting for the child's word, and the child's session,
// working directory, file-creation mask and redirected standard streams.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/log.h"
#include "server/server.h"

namespace {

pid_t pid_daemon = 0;
std::string lock_path;  // the pid file path, for the parent's signal handler

// The process id written in the pid file at `path`: 0 when the file cannot
// be read or is empty; -1 when its text does not begin with a number (a
// stale file, whatever process it named).
long pidInFile(const char* path) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) return 0;
    char buf[11] = {0};
    ssize_t n = read(fd, buf, 10);
    close(fd);
    if (n <= 0) return 0;
    if (!isdigit(static_cast<unsigned char>(buf[0]))) return -1;
    return strtol(buf, nullptr, 10);
}

bool processExists(long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void logBoth(const std::string& msg) {
    log(msg, ERR_STREAM, true);
    log(msg, LOG_STREAM, true);
}

void reopen(const char* path, const char* mode, FILE* stream, const char* failure) {
    if (freopen(path, mode, stream) != nullptr) return;
    int err = errno;
    fprintf(stderr, failure, err, strerror(err));
    fflush(stderr);
    // Keep the descriptor taken, so that no socket is opened as a standard
    // stream and receives log text.
    if (freopen("/dev/null", stream == stdin ? "r" : "w", stream) == nullptr) return;
}

}  // namespace

void child_handler(int sig) {
    switch (sig) {
        case SIGUSR1: {
            int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0640);
            if (fd < 0) {
                int err = errno;
                fprintf(stderr, "unable to create lock file %s, code=%d (%s)\n", lock_path.c_str(),
                        err, strerror(err));
                _exit(1);
            }
            char text[16];
            int len = snprintf(text, sizeof(text), "%u", static_cast<unsigned>(pid_daemon));
            if (write(fd, text, static_cast<size_t>(len)) != len) {
                int err = errno;
                fprintf(stderr, "unable to write pid to lock file %s, code=%d (%s)\n",
                        lock_path.c_str(), err, strerror(err));
            }
            close(fd);
            _exit(0);
        }
        case SIGALRM:
            fprintf(stderr, "SIGALRM with child (%d)\n", sig);
            _exit(1);
        case SIGCHLD:
            fprintf(stderr, "SIGCHLD with child (%d)\n", sig);
            _exit(1);
        default:
            break;
    }
}

bool daemonize(const char* pidfile, const char* logfile, const char* errfile) {
    if (getppid() == 1) return true;  // already detached (started by init)

    long running = pidInFile(pidfile);
    if (processExists(running)) {
        logBoth("Уже существует запущенный экземпляр сервера с процессом " +
                std::to_string(running));
        log("Завершение процесса", LOG_STREAM, true);
        exit(1);
    }
    if (running != 0) unlink(pidfile);  // stale: its process is gone

    try {
        lock_path = pidfile;
    } catch (const std::bad_alloc&) {
        logBoth("Ошибка выделения памяти");
        log("Завершение процесса", LOG_STREAM, true);
        return true;
    }

    struct sigaction sa {};
    sa.sa_handler = child_handler;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGCHLD, SIGUSR1, SIGALRM}) sigaddset(&sa.sa_mask, s);
    for (int s : {SIGCHLD, SIGUSR1, SIGALRM}) sigaction(s, &sa, nullptr);
    // The three stay blocked until the parent knows the child's pid: a child
    // that reports at once must not find the handler without it.
    sigset_t before;
    sigprocmask(SIG_BLOCK, &sa.sa_mask, &before);

    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        logBoth("Ошибка запуска дочернего процесса, code=" + std::to_string(err) + " (" +
                strerror(err) + ")");
        log("Завершение работы сервера", LOG_STREAM, true);
        exit(1);
    }
    if (pid > 0) {
        // Parent: the handler ends the process when the child reports, dies
        // or stays silent for two seconds.
        pid_daemon = pid;
        alarm(2);
        sigset_t waiting = before;
        for (int s : {SIGCHLD, SIGUSR1, SIGALRM}) sigdelset(&waiting, s);
        sigsuspend(&waiting);
        exit(1);
    }

    pid_t parent = getppid();
    pid_daemon = getpid();
    signal(SIGCHLD, SIG_DFL);
    signal(SIGUSR1, SIG_DFL);  // the parent's handlers are not the daemon's
    signal(SIGALRM, SIG_DFL);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    for (int s : {SIGTSTP, SIGTTOU, SIGTTIN, SIGHUP}) signal(s, SIG_IGN);
    umask(0);
    if (setsid() < 0) {
        int err = errno;
        fprintf(stderr, "unable to create a new session, code %d (%s)", err, strerror(err));
        exit(1);
    }
    if (chdir("/") < 0) {
        int err = errno;
        fprintf(stderr, "unable to change directory to %s, code %d (%s)", "/", err, strerror(err));
        exit(1);
    }
    reopen("/dev/null", "r", stdin, "unable to freopen() stdin , code %d (%s)");
    reopen(logfile != nullptr ? logfile : "/dev/null", logfile != nullptr ? "a+" : "w", stdout,
           "unable to freopen() stdout, code %d (%s)");
    reopen(errfile != nullptr ? errfile : "/dev/null", errfile != nullptr ? "a+" : "w", stderr,
           "unable to freopen() stderr, code %d (%s)");
    log("Демон инициализирован с PID=" + std::to_string(pid_daemon), LOG_STREAM, false);
    kill(parent, SIGUSR1);
    return false;
}
