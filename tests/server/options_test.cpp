// The server's options: what they set, the configuration keys they
// override, and the "Port" rule.
#include <getopt.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/json_util.h"
#include "server/server.h"

namespace {

Json::Value parse(const std::string& text) {
    Json::Value v;
    EXPECT_TRUE(parseJsonRequest(text, v)) << text;
    return v;
}

// Starts every case from the globals' initial values.
class ServerOptions : public ::testing::Test {
  protected:
    void SetUp() override {
        detach = true;
        crmServPort = 0;
        tlsEnable = false;
        p_opt_tls = 0;
        p_opt_config = p_opt_connect = p_opt_user = p_opt_pass = nullptr;
        p_opt_crt = p_opt_key = p_opt_capath = nullptr;
        execState = 0;
        opterr = 0;
        optind = 0;  // the parser starts afresh
    }

    bool parseArgs(std::vector<std::string> args) {
        args_ = std::move(args);
        args_.insert(args_.begin(), "zelvan-server");
        std::vector<char*> argv;
        for (std::string& a : args_) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        return parseOptions(static_cast<int>(args_.size()), argv.data());
    }

    std::vector<std::string> args_;  // argv points into it
};

struct OverrideCase {
    std::vector<std::string> args;
    const char* file;      // the configuration file's document
    const char* expected;  // the document the runner receives
};

const OverrideCase overrideCases[] = {
    {{}, R"({"UseTLS": false, "UserId": "a"})", R"({"UseTLS": false, "UserId": "a"})"},
    {{"-u", "https://crm/x"},
     R"({"ConnectionString": "old"})",
     R"({"ConnectionString": "https://crm/x"})"},
    {{"-t"}, R"({"UseTLS": false})", R"({"UseTLS": true})"},
    {{"--notls"}, R"({"UseTLS": "yes"})", R"({"UseTLS": false})"},
    {{"-U", "cashier"},
     R"({"UserId": "x", "UserPass": "p"})",
     R"({"UserId": "cashier", "UserPass": "p"})"},
    {{"--username", "u", "--passwd", "s"}, "{}", R"({"UserId": "u", "UserPass": "s"})"},
    {{"-A", "/c.pem", "-K", "/k.pem", "-C", "/ca"},
     R"({"Port": 1})",
     R"({"Port": 1, "CertFilePath": "/c.pem", "CertKeyFile": "/k.pem", "CertsCAPath": "/ca"})"},
    {{"--cert=/c", "--key=/k", "--capath=/d", "--url=u"},
     "{}",
     R"({"CertFilePath": "/c", "CertKeyFile": "/k", "CertsCAPath": "/d", "ConnectionString": "u"})"},
};

TEST_F(ServerOptions, OverrideTheirConfigurationKeys) {
    for (const OverrideCase& c : overrideCases) {
        SetUp();
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(parseArgs(c.args));
        Json::Value conf = parse(c.file);
        applyConfigOverrides(conf);
        EXPECT_EQ(parse(c.expected), conf);
    }
}

TEST_F(ServerOptions, ReadThePortAsADecimalNumber) {
    const struct {
        std::vector<std::string> args;
        unsigned short port;
    } cases[] = {
        {{"-p", "6000"}, 6000}, {{"--port", "6001"}, 6001}, {{"-p", "12abc"}, 12},
        {{"-p", "abc"}, 0},     {{"-p", "0"}, 0},           {{"-d", "-p", "6000"}, 6000},
    };
    for (const auto& c : cases) {
        SetUp();
        SCOPED_TRACE(c.args.back());
        ASSERT_TRUE(parseArgs(c.args));
        EXPECT_EQ(c.port, crmServPort);
    }
}

TEST_F(ServerOptions, StopAtHelpOrVersion) {
    ASSERT_TRUE(parseArgs({"-h", "-p", "1", "-x"}));
    EXPECT_EQ(1, execState);
    EXPECT_EQ(0, crmServPort);
    SetUp();
    ASSERT_TRUE(parseArgs({"-d", "--version", "-h"}));
    EXPECT_EQ(2, execState);
    EXPECT_FALSE(detach);
}

TEST_F(ServerOptions, CountEveryTlsSwitch) {
    const struct {
        std::vector<std::string> args;
        unsigned short count;
        bool tls;
    } cases[] = {
        {{"-t"}, 1, true},
        {{"-t", "-n"}, 2, false},
        {{"-tt"}, 2, true},
        {{"-n", "-n"}, 2, false},
    };
    for (const auto& c : cases) {
        SetUp();
        ASSERT_TRUE(parseArgs(c.args));
        EXPECT_EQ(c.count, p_opt_tls);
        EXPECT_EQ(c.tls, tlsEnable);
    }
}

TEST_F(ServerOptions, RejectUnknownOptionsAndMissingArguments) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-x"}, {"--bogus"}, {"-p"}, {"-d", "-c"}}) {
        SetUp();
        EXPECT_FALSE(parseArgs(args)) << args.back();
    }
}

TEST(ServerPort, FollowsTheConfigurationsPortMember) {
    const struct {
        const char* conf;
        unsigned short port;
    } cases[] = {
        {R"({"Port": 6000})", 6000},
        {R"({"Port": "6001"})", 6001},
        {R"({"Port": "77x"})", 77},
        {R"({"Port": ""})", 0},
        {R"({"Port": "abc"})", 0},
        {R"({"Port": []})", 54121},
        {R"({"Port": {}})", 54121},
        {R"({"Port": null})", 54121},
        {R"({"Port": 6000.5})", 54121},
        {R"({"Port": true})", 54121},
        {"{}", 54121},
        {"[1, 2]", 54121},
    };
    for (const auto& c : cases) EXPECT_EQ(c.port, portFromConfig(parse(c.conf))) << c.conf;
}

}  // namespace
