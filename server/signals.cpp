// Stopping the server on SIGTERM and SIGINT. The two signals are blocked in
// every thread and one thread waits for them, so the stop runs in a normal
// thread context: it logs, wakes the background worker from its sleep, waits
// for the command or batch cycle in progress (the server lock), ends the
// runner once and ends the process with status 0.
#include <signal.h>

#include <string>

#include "common/log.h"
#include "server/background.h"
#include "server/server.h"

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

void* stopWaiter(void*) {
    sigset_t set = stopSignals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    sighandler(sig);
    return nullptr;
}

}  // namespace

void sighandler(int sig) {
    force_exit = 1;
    log("Остановка сервера по сигналу : " + std::to_string(sig), LOG_STREAM, !detach);
    stopBackground();
    server_lock();
    finishProcess(0);
}

void sigpipe_handle(int) {}

void startStopHandling() {
    sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, sigpipe_handle);
    pthread_t waiter;
    if (pthread_create(&waiter, nullptr, stopWaiter, nullptr) != 0) {
        // Without the waiting thread the signals keep their default action.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    pthread_detach(waiter);
}
