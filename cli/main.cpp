// zelvan-cli entry: options, help and version, the server's address from
// the options or the shared configuration file, the connection, and the
// exchange loop run until the server closes the connection.
#include <arpa/inet.h>
#include <getopt.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "common/project.h"

const char* szGetopt = "c:H:p:Bhv";
const struct option longopts[] = {
    {"config", required_argument, nullptr, 'c'}, {"host", required_argument, nullptr, 'H'},
    {"port", required_argument, nullptr, 'p'},   {"pretty", no_argument, nullptr, 'B'},
    {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'v'},
    {"timeout", required_argument, nullptr, 0},  {nullptr, 0, nullptr, 0},
};

const char* progname = nullptr;
const char* execfile = nullptr;
std::string config_file;
std::string crmServAddress;
unsigned short crmServPort = 0;
bool buitify = false;
bool PrettyOutput = false;

namespace {

const char* p_opt_config = nullptr;

void usage(const char* name) {
    std::string text = std::string(name) + " [OPTIONS]\n";
    text += "Опции программы : \n";
    text += " -p,--port <portnum>     Использовать номер порта для сервера (по умолчанию " +
            std::to_string(kDefaultPort) + ")\n";
    text += "\n";
    text += " -H,--host <host>        Подключаться к указанному серверу (по умолчанию localhost)\n";
    text += "\n";
    text += " -c,--config <filename>  Использовать файл конфигурации filename\n";
    text += "\n";
    text += " -v,--version            Вывести информацию о версии программы\n";
    text += "\n";
    text += " -h,--help               Показать эту справочную информацию и выйти\n";
    text += "\n";
    consoleWrite(LOG_STREAM, text);
}

// "Host" and "Port" of the configuration, where no option named them.
void takeServerFromConfig(const Json::Value& conf) {
    const Json::Value none;
    const Json::Value& host = conf.isObject() ? conf["Host"] : none;
    const Json::Value& port = conf.isObject() ? conf["Port"] : none;
    if (crmServAddress.empty())
        crmServAddress =
            host.isString() && !host.asString().empty() ? host.asString() : "127.0.0.1";
    if (crmServPort != 0) return;
    if (port.type() == Json::intValue)
        crmServPort = static_cast<unsigned short>(port.asInt64());
    else if (port.type() == Json::uintValue)
        crmServPort = static_cast<unsigned short>(port.asUInt64());
    else if (port.isString() && !port.asString().empty())
        crmServPort = leadingPort(port.asCString());
    else
        crmServPort = kDefaultPort;
}

// Owns the client socket.
class Connection {
  public:
    Connection() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {}
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

int main(int argc, char** argv) {
    setupLocale();
    execfile = argv[0];
    progname = baseName(argv[0]);
    checkWorkingDir(progname);
    // A write after the sending direction was shut down fails with its
    // message instead of ending the client.
    signal(SIGPIPE, SIG_IGN);

    int c;
    while ((c = getopt_long(argc, argv, szGetopt, longopts, nullptr)) != -1) {
        switch (c) {
            case 'c':
                p_opt_config = optarg;
                break;
            case 'H':
                crmServAddress = optarg;
                break;
            case 'p':
                crmServPort = leadingPort(optarg);
                break;
            case 'B':
                buitify = true;
                break;
            case 'h':
                usage(progname);
                return 0;
            case 'v':
                version();
                return 0;
            default:
                return 1;  // unknown options, missing arguments, --timeout
        }
    }

    config_file = findConfFile(p_opt_config);
    Json::Value conf;
    if (!config_file.empty()) readJsonConfFile(config_file.c_str(), conf);
    takeServerFromConfig(conf);
    PrettyOutput = buitify;

    Connection conn;
    if (conn.fd() < 0) {
        consoleLine(ERR_STREAM, "Ошибка инициализации сокета [" + std::to_string(errno) + "]");
        return 255;
    }
    hostent* host = gethostbyname(crmServAddress.c_str());
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) {
        consoleLine(ERR_STREAM, "Ошибка получения адреса сервера");
        return 255;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(crmServPort);
    memcpy(&addr.sin_addr, host->h_addr_list[0], sizeof(addr.sin_addr));
    if (connect(conn.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0) {
        consoleLine(ERR_STREAM, "Ошибка соединения с сервером [" + std::to_string(errno) + "]");
        return 255;
    }
    while (run_cli(STDIN_FILENO, conn.fd()) > 0) {
    }
    return 0;
}
