// Where zelvan-server finds its configuration file. The five standard
// directories are fixed paths, so each server here runs in a private mount
// namespace in which directories of the test are mounted over them (and over
// /var/opt/zelvan, where a server without configuration keeps its journal).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

const std::vector<std::string> kLookPaths = {"/etc/opt/zelvan", "/etc/zelvan", "/usr/etc/zelvan",
                                             "/opt/zelvan/etc", "/usr/local/etc/zelvan"};
const char kUsed[] = "Используется файл конфигурации ";

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why = privateMountsUnavailable();
        if (!why.empty()) GTEST_SKIP() << "configuration discovery tests skipped: " << why;
    }

    // Starts a server in the foreground whose standard directories hold a
    // configuration file where `withFile` says; returns the configuration
    // file it reports using ("" for none).
    std::string fileUsed(const std::set<size_t>& withFile, std::vector<std::string> args,
                         const std::string& fileText = "") {
        TempDir dirs;
        std::vector<Mount> mounts;
        for (size_t i = 0; i < kLookPaths.size(); i++) {
            std::string source = dirs.file("look" + std::to_string(i));
            mkdir(source.c_str(), 0755);
            if (withFile.count(i))
                writeFile(source + "/zelvan.conf",
                          fileText.empty() ? serverConfig(dirs.path()) : fileText);
            mounts.push_back({kLookPaths[i], source});
        }
        mkdir(dirs.file("var").c_str(), 0755);
        mkdir(dirs.file("var/db").c_str(), 0755);  // the default journal's directory
        mounts.push_back({"/var/opt/zelvan", dirs.file("var")});
        ServerSpec spec;
        spec.configOption = false;
        args.push_back("-p");
        args.push_back(std::to_string(freeLoopbackPort()));
        spec.args = args;
        spec.launcher = privateMountsLauncher(dirs, mounts);
        ServerProcess server(spec);
        EXPECT_NE(0, server.port()) << server.out() << server.err();
        EXPECT_EQ(0, server.stop());
        for (const std::string& m : logMessages(server.out())) {
            if (m.rfind(kUsed, 0) == 0) return m.substr(sizeof(kUsed) - 1);
        }
        return "";
    }
};

TEST_F(Discovery, TakesTheFirstStandardDirectoryThatHoldsTheFile) {
    const struct {
        std::set<size_t> withFile;
        std::string used;
    } cases[] = {
        {{0, 1, 2, 3, 4}, "/etc/opt/zelvan/zelvan.conf"}, {{1, 4}, "/etc/zelvan/zelvan.conf"},
        {{2, 3}, "/usr/etc/zelvan/zelvan.conf"},          {{3, 4}, "/opt/zelvan/etc/zelvan.conf"},
        {{4}, "/usr/local/etc/zelvan/zelvan.conf"},       {{}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.used);
        EXPECT_EQ(c.used, fileUsed(c.withFile, {"-d"}));
    }
}

TEST_F(Discovery, UsesOnlyTheFileNamedByTheConfigOption) {
    TempDir own;
    std::string mine = own.write("mine.conf", serverConfig(own.path()));
    EXPECT_EQ(mine, fileUsed({0, 1}, {"-d", "-c", mine}));
    // A -c file that does not exist means no file, even with the default one present.
    EXPECT_EQ("", fileUsed({0, 1}, {"-d", "-c", own.file("missing.conf")}));
}

TEST_F(Discovery, StartsWithAnEmptyConfigurationWhenTheFileHoldsNoObject) {
    for (const char* text : {"[1, 2]\n", "5\n", "\"text\"\n", "not json at all\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ("/etc/zelvan/zelvan.conf", fileUsed({1}, {"-d"}, text));
    }
}

}  // namespace
