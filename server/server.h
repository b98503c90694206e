// The server program's globals and the entry points shared between its
// source files.
#pragma once

#include <getopt.h>
#include <pthread.h>

#include <atomic>
#include <string>

#include "runner/runner.h"

// Options.
extern const char* szGetopt;
extern const struct option longopts[];

extern const char* execfile;         // argv[0]
extern const char* progname;         // argv[0] after its last "/"
extern bool detach;                  // run as a daemon; cleared by -d
extern unsigned short crmServPort;   // listening port; 0 = not given
extern bool tlsEnable;               // value of the last -t / -n
extern unsigned short p_opt_tls;     // how many of -t / -n were given
extern const char* p_opt_config;     // -c
extern const char* p_opt_connect;    // -u: "ConnectionString"
extern const char* p_opt_user;       // -U: "UserId"
extern const char* p_opt_pass;       // -s: "UserPass"
extern const char* p_opt_crt;        // -A: "CertFilePath"
extern const char* p_opt_key;        // -K: "CertKeyFile"
extern const char* p_opt_capath;     // -C: "CertsCAPath"
extern int execState;                // 0 run, 1 help, 2 version
extern std::atomic<int> force_exit;  // set by the stop handler
extern std::string config_file;      // configuration file in use, "" when none

// The one runner of the process, reached through pRun.
extern zelvanRunner objRun;
extern zelvanRunner* pRun;

// The server lock: every runner operation is carried out while holding it.
extern pthread_mutex_t lock_conns;
int server_lock();
int server_unlock();

// Holds the server lock for the life of the object.
class ServerLock {
  public:
    ServerLock() { server_lock(); }
    ~ServerLock() { server_unlock(); }
    ServerLock(const ServerLock&) = delete;
    ServerLock& operator=(const ServerLock&) = delete;
};

// Calls endZvnCRM on the runner and returns its result; 0 for null.
int endRunner(zelvanRunner* runner);

// Ends the runner (the caller holds the server lock), flushes the standard
// streams and ends the process at once with `status`: no static destructor
// runs under threads that may still wait for the lock.
[[noreturn]] void finishProcess(int status);

// Options (options.cpp): parses the command line into the globals; false on
// an unknown option or a missing argument (the parser has said why).
bool parseOptions(int argc, char** argv);
// Writes the command-line overrides into the configuration document.
void applyConfigOverrides(Json::Value& conf);
// The listening port named by the configuration's "Port".
unsigned short portFromConfig(const Json::Value& conf);

// Prints the help text to standard output.
void usage(const char* progname);

// Stop (signals.cpp): blocks SIGTERM and SIGINT in every thread created from
// here on and starts the thread that waits for them and calls sighandler;
// installs sigpipe_handle for SIGPIPE.
void startStopHandling();
void sighandler(int sig);
void sigpipe_handle(int sig);

// Daemon (daemon.cpp).
bool daemonize(const char* pidfile, const char* logfile, const char* errfile);
void child_handler(int sig);

// Client session (session.cpp): the thread body for one accepted
// connection; `arg` is the TCPSocket, owned by the session from then on.
void* HandleTCPClient(void* arg);
