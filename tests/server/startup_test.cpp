// zelvan-server start-up and stop, run as a program: help and version, the
// option errors, the port it listens on, its start-up log lines, a busy
// port, a restart on the same port, and the stop signals.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

const char kHelp[] =
    "zelvan-server [OPTIONS]\n"
    "Опции программы : \n"
    " -p,--port   <portnum>   Использовать номер порта для сервера (по умолчанию 54121)\n"
    "\n"
    " -c,--config <filename>  Использовать файл конфигурации filename\n"
    "\n"
    " -u,--url    <URL>       Указать ur)l (параметр \"ConnectionString\" конфигурации)\n"
    "                         для поключенияк серверу процессингового центра. Данный\n"
    "                         параметр переопределяет значение заданное в файле конфигурации\n"
    "\n"
    " -U,--usename <USERID>   Имя пользователя для авторзации в процессинговой системе "
    "ZelvanCRM\n"
    "\n"
    " -s,--passwd <PASSWD>    Указать пароль для авторзации в процессинговой системе ZelvanCRM\n"
    "\n"
    " -t,--tls | -n, --notls  Включить/отключить шифрование TLS\n"
    "                         Можно указывать только один из параметров, который "
    "переопределяет\n"
    "                         параметр кофигурации \"UseTLS\"\n"
    "\n"
    " -A,--cert <filepath>    Указать путь к файлу центра сертификации (СA)\n"
    "\n"
    " -C,--capath <path>      Указать путь к каталогу содержащему сертификаты СА\n"
    "\n"
    " -K,--key  <filepath>    Указать путь к файлу клиентского сертификата\n"
    "\n"
    " -d,--debug              Запустить  без отключения от управляющего терминала\n"
    " -v,--version            Вывести информацию о версии программы и версии\n"
    "                         библиотеки KVL и завершить работу\n"
    "\n"
    " -h,--help               Показать эту справочную информацию и выйти\n"
    "\n";
const char kVersion[] = "zelvan : Версия - " ZELVAN_VERSION "\n\n";
const char kBanner[] = "Инициализация кассового сервера \"ZelvanCRM\"";

RunResult runServer(std::vector<std::string> args) {
    args.insert(args.begin(), binaryPath("zelvan-server"));
    return run(args);
}

TEST(ServerProgram, PrintsHelpAndVersionTextsExactly) {
    const struct {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"-h"}, kHelp},          {{"--help"}, kHelp}, {{"-h", "-p", "1"}, kHelp},
        {{"-h", "-x"}, kHelp},    {{"-v"}, kVersion},  {{"--version"}, kVersion},
        {{"-v", "-h"}, kVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = runServer(c.args);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ("", r.err);
    }
}

TEST(ServerProgram, RefusesConflictingTlsSwitchesWithStatus22) {
    const std::vector<std::vector<std::string>> cases = {
        {"-t", "-n"}, {"-n", "-n"}, {"-tt"}, {"--tls", "--notls"}, {"-d", "-t", "-p", "1", "-t"}};
    for (const auto& args : cases) {
        RunResult r = runServer(args);
        EXPECT_EQ(22, r.status);
        EXPECT_EQ(
            "Неправильно заданы аргументы : используйте либо -t(--tls) либо -n (--notls)\n"
            "Для справки вызовите <zelvan-server -h|--help >\n",
            r.err);
        EXPECT_EQ("", r.out);
    }
}

TEST(ServerProgram, EndsWithStatus1OnUnknownOptionsAndMissingArguments) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-x"}, {"--bogus"}, {"-d", "-p"}, {"-c"}}) {
        RunResult r = runServer(args);
        EXPECT_EQ(1, r.status) << args.back();
        EXPECT_EQ("", r.out);
        EXPECT_NE("", r.err);  // the option parser's own diagnostic
    }
}

TEST(ServerProgram, LogsItsStartUpAndListensOnTheConfiguredPort) {
    unsigned short p = freeLoopbackPort();
    const std::string ps = std::to_string(p);
    const struct {
        std::string port;  // the "Port" member's value
        std::vector<std::string> args;
        bool systemChosen;  // "Port": "" binds a port chosen by the system
    } cases[] = {
        {ps, {}, false},
        {"\"" + ps + "\"", {}, false},
        {"\"\"", {}, true},
        {"\"\"", {"-p", ps}, false},
        {ps, {"-p", "0"}, false},
        {ps, {"-p", "abc"}, false},
        {"1", {"--port", ps}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port + (c.args.empty() ? "" : " " + c.args.back()));
        ServerSpec spec;
        spec.configText =
            "{\"DBPath\": \"@DIR@/zelvan.db3\", \"UseTLS\": false, \"Port\": " + c.port + "}";
        spec.args = c.args;
        ServerProcess server(spec);
        unsigned short listening = server.port();
        if (c.systemChosen)
            EXPECT_NE(0, listening);
        else
            EXPECT_EQ(p, listening);
        const std::string shown = c.systemChosen ? "0" : ps;
        ASSERT_TRUE(server.waitForLog(
            "Сервер инициализирован и готов к принятию соединений на порту " + shown));
        EXPECT_EQ(0, server.out().rfind(std::string(kBanner) + "\n", 0));
        EXPECT_EQ((std::vector<std::string>{
                      "Используется файл конфигурации " + server.configPath(), kBanner,
                      "Сервер инициализирован и готов к принятию соединений на порту " + shown}),
                  withoutRunnerStartup(logMessages(server.out())));
        EXPECT_EQ(0, server.stop());
    }
}

TEST(ServerProgram, StartsWithTheConfigurationReadBeforeASyntaxError) {
    unsigned short p = freeLoopbackPort();
    ServerSpec spec;
    spec.configText =
        "{\"DBPath\": \"@DIR@/zelvan.db3\", \"UseTLS\": false, \"Port\": " + std::to_string(p) +
        ", \"PmtJsonRootName\": ";
    ServerProcess server(spec);
    EXPECT_EQ(p, server.port());
    EXPECT_EQ(0, server.stop());
}

// Opens a listening socket on all addresses of port `port`, as another
// server would.
class OtherListener {
  public:
    explicit OtherListener(unsigned short port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(port);
        int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 && listen(fd_, 1) == 0;
    }
    ~OtherListener() { close(fd_); }
    bool ok() const { return ok_; }

  private:
    int fd_;
    bool ok_ = false;
};

TEST(ServerProgram, FailsWithTheBindTextWhenAnotherServerHoldsThePort) {
    unsigned short p = freeLoopbackPort();
    OtherListener other(p);
    ASSERT_TRUE(other.ok());
    ServerSpec spec;
    spec.args = {"-p", std::to_string(p)};
    ServerProcess server(spec);
    ASSERT_EQ(1, server.process().wait());
    const std::string bindPrefix = "Ошибка привязки к номеру порта: ";
    auto errors = logMessages(server.err());
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0, errors[0].rfind(bindPrefix, 0)) << errors[0];
    EXPECT_GT(errors[0].size(), bindPrefix.size());
    // After the banner; the error stream first, then the log stream.
    EXPECT_EQ((std::vector<std::string>{"Используется файл конфигурации " + server.configPath(),
                                        kBanner, errors[0]}),
              withoutRunnerStartup(logMessages(server.out())));
}

TEST(ServerProgram, RestartsAtOnceOnThePortOfAKilledServer) {
    unsigned short p = freeLoopbackPort();
    ServerSpec spec;
    spec.members = "\"CheckPmtJsonRoot\": false";
    spec.args = {"-p", std::to_string(p)};
    auto first = std::make_unique<ServerProcess>(spec);
    ASSERT_EQ(p, first->port());
    TcpClient lingering;
    ASSERT_TRUE(lingering.connect(p));
    lingering.send("{\"Zed\":{}}");
    ASSERT_TRUE(lingering.readLine());
    first->process().signal(SIGKILL);
    EXPECT_EQ(128 + SIGKILL, first->process().wait());

    ServerProcess second(spec);
    ASSERT_EQ(p, second.port());
    TcpClient client;
    ASSERT_TRUE(client.connect(p));
    client.send("{\"Zed\":{}}");
    EXPECT_EQ("{\"Zed\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}\n",
              client.readLine().value_or(""));
    EXPECT_EQ(0, second.stop());
}

TEST(ServerProgram, StopsOnSigtermAndSigintWithStatus0) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        ServerProcess server;
        unsigned short port = server.port();
        ASSERT_NE(0, port);
        TcpClient idle;  // a session waiting for its request does not hold the stop
        ASSERT_TRUE(idle.connect(port));
        ASSERT_NE("", server.waitForLogStartingWith("Online State  : ["));
        EXPECT_EQ(0, server.stop(sig));
        auto messages = logMessages(server.out());
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ("Остановка сервера по сигналу : " + std::to_string(sig), messages.back());
        EXPECT_EQ("", server.err());
    }
}

}  // namespace
