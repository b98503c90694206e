// zelvan-cli run as a program: its texts and exit statuses, where it
// connects, what it sends for each input line (seen by a listener of the
// test's own), and how it ends; then an exchange with a real server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

const char kHelp[] =
    "zelvan-cli [OPTIONS]\n"
    "Опции программы : \n"
    " -p,--port <portnum>     Использовать номер порта для сервера (по умолчанию 54121)\n"
    "\n"
    " -H,--host <host>        Подключаться к указанному серверу (по умолчанию localhost)\n"
    "\n"
    " -c,--config <filename>  Использовать файл конфигурации filename\n"
    "\n"
    " -v,--version            Вывести информацию о версии программы\n"
    "\n"
    " -h,--help               Показать эту справочную информацию и выйти\n"
    "\n";
const char kVersion[] = "zelvan : Версия - " ZELVAN_VERSION "\n\n";

// A one-connection server of the test on 127.0.0.1.
class Listener {
  public:
    Listener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        listen(fd_, 1);
        socklen_t len = sizeof(a);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() {
        closeConnection();
        close(fd_);
    }
    unsigned short port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }

    bool accept(Millis timeout = 10000ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
        conn_ = ::accept(fd_, nullptr, nullptr);
        return conn_ >= 0;
    }
    // Everything the client sends until it shuts down its sending side.
    std::string receiveAll(Millis timeout = 10000ms) {
        std::string got;
        char buf[4096];
        pollfd p{conn_, POLLIN, 0};
        while (poll(&p, 1, static_cast<int>(timeout.count())) == 1) {
            ssize_t n = recv(conn_, buf, sizeof(buf), 0);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    void send(const std::string& bytes) { ::send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Closes with a reset instead of an orderly end.
    void reset() {
        linger l{1, 0};
        setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        closeConnection();
    }
    void closeConnection() {
        if (conn_ >= 0) close(conn_);
        conn_ = -1;
    }

  private:
    int fd_;
    int conn_ = -1;
    unsigned short port_ = 0;
};

// zelvan-cli with its output in files and its input on a pipe.
class Cli {
  public:
    explicit Cli(std::vector<std::string> args) {
        args.insert(args.begin(), binaryPath("zelvan-cli"));
        Process::Options o;
        o.args = args;
        o.stdinPipe = true;
        o.stdoutPath = dir_.file("out");
        o.stderrPath = dir_.file("err");
        process_ = std::make_unique<Process>(o);
    }
    Process& process() { return *process_; }
    std::string out() const { return readFile(dir_.file("out")); }
    std::string err() const { return readFile(dir_.file("err")); }

  private:
    TempDir dir_;
    std::unique_ptr<Process> process_;
};

RunResult runCli(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), binaryPath("zelvan-cli"));
    return run(args, input);
}

TEST(CliProgram, PrintsHelpAndVersionTextsExactly) {
    const struct {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"-h"}, kHelp},    {{"--help"}, kHelp},       {{"-p", "1", "-h", "-x"}, kHelp},
        {{"-v"}, kVersion}, {{"--version"}, kVersion}, {{"-B", "-v", "-h"}, kVersion},
    };
    for (const auto& c : cases) {
        RunResult r = runCli(c.args);
        EXPECT_EQ(0, r.status) << c.args[0];
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ("", r.err);
    }
}

TEST(CliProgram, EndsWithStatus1OnBadOptionsAndTheTimeoutOption) {
    const struct {
        std::vector<std::string> args;
        bool quiet;  // no diagnostic at all
    } cases[] = {
        {{"--timeout", "5"}, true}, {{"--timeout=5"}, true}, {{"-x"}, false}, {{"-p"}, false},
        {{"--bogus"}, false},
    };
    for (const auto& c : cases) {
        RunResult r = runCli(c.args);
        EXPECT_EQ(1, r.status) << c.args[0];
        EXPECT_EQ("", r.out);
        EXPECT_EQ(c.quiet, r.err.empty()) << r.err;
    }
}

TEST(CliProgram, EndsWithStatus255WhenTheConnectionIsRefused) {
    RunResult r = runCli({"-H", "127.0.0.1", "-p", std::to_string(freeLoopbackPort())});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("Ошибка соединения с сервером [111]\n", r.err);
    EXPECT_EQ("", r.out);
}

TEST(CliProgram, TakesHostAndPortFromOptionsOrConfiguration) {
    TempDir dir;
    Listener l;
    const std::string p = l.portText();
    const struct {
        std::string config;  // "" for no -c option
        std::vector<std::string> args;
    } cases[] = {
        {"{\"Host\": \"127.0.0.1\", \"Port\": " + p + "}", {}},
        {"{\"Port\": \"" + p + "\"}", {}},
        {"{\"Host\": \"\", \"Port\": " + p + "}", {}},
        {"{\"Host\": 5, \"Port\": " + p + "}", {}},
        {"{\"Host\": \"localhost\", \"Port\": 1}", {"-p", p}},
        {"{\"Host\": \"no-such-host.invalid\", \"Port\": 1}", {"-H", "127.0.0.1", "-p", p}},
        {"{\"Port\": " + p + "}", {"-p", "0"}},
        {"", {"-H", "localhost", "-p", p}},
        {"", {"-p", p, "-H", "127.0.0.1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        std::vector<std::string> args = c.args;
        if (!c.config.empty()) {
            args.insert(args.begin(), {"-c", dir.write("cli.conf", c.config)});
        }
        Cli cli(args);
        ASSERT_TRUE(l.accept());
        cli.process().writeStdin("{\"Connect\": {}}\n");
        cli.process().closeStdin();
        EXPECT_EQ("{\"Connect\": {}}\n", l.receiveAll());
        l.closeConnection();
        EXPECT_EQ(0, cli.process().wait());
        EXPECT_EQ("", cli.err());
    }
}

TEST(CliProgram, SendsKnownCommandsCompactAndEverythingElseAsTyped) {
    const struct {
        std::string input;
        std::string sent;
    } cases[] = {
        {"{\"CardInfo\": {\"a\": 1}}\n", "{\"CardInfo\":{\"a\":1}}\n"},
        {"{\"PayBonus\": {\"Б\": \"ж\", \"a\": [1, 2]}}\n",
         "{\"PayBonus\":{\"a\":[1,2],\"Б\":\"ж\"}}\n"},
        {"{\"Undo\": {}, \"Flush\": {}}\n", "{\"Flush\":{},\"Undo\":{}}\n"},
        {"{\"Connect\": {}}\n", "{\"Connect\": {}}\n"},
        {"{\"Undo\": {}, \"Connect\": {}}\n", "{\"Undo\": {}, \"Connect\": {}}\n"},
        {"{\"Bogus\": 1}\n", "{\"Bogus\": 1}\n"},
        {"{}\n", "{}\n"},
        {"[1, 2]\n", "[1, 2]\n"},
        {"not json\n", "not json\n"},
        {"{\"Connect\":{}}", std::string("{\"Connect\":{}}\0", 15)},
        {"{\"CardInfo\": {}}\n{\"Connect\" : 1}\n", "{\"CardInfo\":{}}\n{\"Connect\" : 1}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        Listener l;
        Cli cli({"-H", "127.0.0.1", "-p", l.portText()});
        ASSERT_TRUE(l.accept());
        cli.process().writeStdin(c.input);
        cli.process().closeStdin();
        EXPECT_EQ(c.sent, l.receiveAll());
        l.closeConnection();
        EXPECT_EQ(0, cli.process().wait());
        EXPECT_EQ("", cli.err());
    }
}

TEST(CliProgram, StopsSendingAfterEnd) {
    Listener l;
    Cli cli({"-H", "127.0.0.1", "-p", l.portText()});
    ASSERT_TRUE(l.accept());
    cli.process().writeStdin("{\"End\": {}}\n");
    EXPECT_EQ("{\"End\":{}}\n", l.receiveAll());  // then the sending side is shut down
    l.closeConnection();
    // Input is watched again after "End", so the close comes while it is open.
    EXPECT_EQ(0, cli.process().wait());
    EXPECT_EQ("server terminated prematurely\n", cli.err());
}

TEST(CliProgram, PrintsEveryReplyLineWithAnEmptyLineAfterIt) {
    Listener l;
    Cli cli({"-H", "127.0.0.1", "-p", l.portText()});
    ASSERT_TRUE(l.accept());
    l.send("{\"a\":1}\n{\"b\":2}\n");  // two lines in one segment
    EXPECT_TRUE(waitUntil([&] { return cli.out() == "{\"a\":1}\n\n{\"b\":2}\n\n"; })) << cli.out();
    cli.process().closeStdin();
    EXPECT_EQ("", l.receiveAll());
    l.closeConnection();
    EXPECT_EQ(0, cli.process().wait());
    EXPECT_EQ("", cli.err());
}

TEST(CliProgram, ReportsAServerThatEndsWhileInputIsOpen) {
    const struct {
        const char* name;
        bool reset;
        const char* err;
    } cases[] = {
        {"closed", false, "server terminated prematurely\n"},
        {"reset", true, "Ошибка считывания строки\nserver terminated prematurely\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Listener l;
        Cli cli({"-H", "127.0.0.1", "-p", l.portText()});
        ASSERT_TRUE(l.accept());
        l.send("{\"x\":1}\n");
        ASSERT_TRUE(waitUntil([&] { return !cli.out().empty(); }));
        if (c.reset)
            l.reset();
        else
            l.closeConnection();
        EXPECT_EQ(0, cli.process().wait());
        EXPECT_EQ(c.err, cli.err());
        EXPECT_EQ("{\"x\":1}\n\n", cli.out());
    }
}

TEST(CliProgram, ExchangesLinesWithTheServer) {
    ServerProcess server;
    unsigned short port = server.port();
    ASSERT_NE(0, port);
    RunResult r =
        runCli({"-p", std::to_string(port), "-H", "127.0.0.1"}, "{\"Connect\": {}}\nnonsense\n");
    EXPECT_EQ(0, r.status);
    const std::string noRoot =
        "{\"ERROR\":{\"err\":\"-2\",\"errMsg\":\"Нет определения платежной системы в "
        "запросе\"}}\n\n";
    const std::string badFormat =
        "{\"ERROR\":{\"err\":\"-1\",\"errMsg\":\"Формат запроса задан неверно\"}}\n\n";
    EXPECT_EQ(noRoot + badFormat, r.out);
    EXPECT_EQ("", r.err);
}

TEST(CliProgram, EndsItsSessionWithEnd) {
    ServerSpec spec;
    spec.members = "\"PmtJsonRootName\": \"AZS\"";
    ServerProcess server(spec);
    unsigned short port = server.port();
    ASSERT_NE(0, port);
    RunResult r =
        runCli({"-p", std::to_string(port)}, "{\"AZS\": {\"Zz\": {}}}\n{\"AZS\": {\"End\": {}}}\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("{\"AZS\":{\"Zz\":{\"err\":\"-2\",\"errMsg\":\"Тип запроса неизвестен\"}}}\n\n",
              r.out);
    EXPECT_TRUE(server.waitForLog("Инициализирована команда на закрытие сессии"));
}

}  // namespace
