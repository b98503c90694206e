// The server's process-wide globals, the server lock and the runner's end.
#include <unistd.h>

#include <cstdio>

#include "server/server.h"

const char* execfile = nullptr;
const char* progname = nullptr;
bool detach = true;
unsigned short crmServPort = 0;
bool tlsEnable = false;
unsigned short p_opt_tls = 0;
const char* p_opt_config = nullptr;
const char* p_opt_connect = nullptr;
const char* p_opt_user = nullptr;
const char* p_opt_pass = nullptr;
const char* p_opt_crt = nullptr;
const char* p_opt_key = nullptr;
const char* p_opt_capath = nullptr;
int execState = 0;
std::atomic<int> force_exit{0};
std::string config_file;

zelvanRunner objRun;
zelvanRunner* pRun = nullptr;

pthread_mutex_t lock_conns;

int server_lock() {
    return pthread_mutex_lock(&lock_conns);
}

int server_unlock() {
    return pthread_mutex_unlock(&lock_conns);
}

int endRunner(zelvanRunner* runner) {
    return runner == nullptr ? 0 : runner->endZvnCRM();
}

void finishProcess(int status) {
    endRunner(pRun);
    fflush(stdout);
    fflush(stderr);
    _exit(status);
}
