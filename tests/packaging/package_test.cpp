// The .deb files of this build: what each holds, its control data, what
// lintian says, the programs run from the unpacked package, and the service
// unit and the tmpfiles rule as systemd reads them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/packaging/package_support.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

bool holds(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string field(const std::string& deb, const std::string& name) {
    std::string out = run({"/usr/bin/dpkg-deb", "-f", deb, name}).out;
    return out.substr(0, out.find('\n'));
}

std::string controlFile(const std::string& deb, const std::string& name) {
    return run({"/usr/bin/dpkg-deb", "--info", deb, name}).out;
}

TEST(Packages, HoldWhatTheyShip) {
    const struct {
        const char* package;
        std::vector<std::string> has, hasNot;
    } cases[] = {
        {"zelvan",
         {"./usr/bin/zelvan-server", "./usr/bin/zelvan-cli", "./usr/bin/zelvan-journal",
          "./usr/lib/zelvan/zelvan-server-start", "./lib/systemd/system/zelvan-server.service",
          "./usr/lib/tmpfiles.d/zelvan.conf", "./etc/opt/zelvan/zelvan.conf",
          "./etc/logrotate.d/zelvan", "./var/opt/zelvan/db/", "./var/opt/zelvan/log/",
          "./var/opt/zelvan/run/", "./usr/share/doc/zelvan/copyright",
          "./usr/share/doc/zelvan/changelog.gz"},
         {"./usr/bin/zelvan-crm-sim"}},
        {"zelvan-crm-sim",
         {"./usr/bin/zelvan-crm-sim", "./usr/share/doc/zelvan-crm-sim/copyright",
          "./usr/share/doc/zelvan-crm-sim/changelog.gz"},
         {"./usr/bin/zelvan-server", "./etc/opt/zelvan/zelvan.conf", "./var/opt/zelvan/db/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        const std::string deb = debFile(c.package);
        ASSERT_TRUE(fileExists(deb));
        auto contents = debContents(deb);
        for (const std::string& path : c.has) EXPECT_TRUE(holds(contents, path)) << path;
        for (const std::string& path : c.hasNot) EXPECT_FALSE(holds(contents, path)) << path;
        EXPECT_EQ(c.package, field(deb, "Package"));
        EXPECT_EQ(ZELVAN_VERSION, field(deb, "Version"));
        // Library dependencies come from the binaries.
        const std::string depends = field(deb, "Depends");
        for (const char* lib : {"libc6", "libstdc++6", "libjsoncpp25", "libgsoap-2.8"})
            EXPECT_NE(std::string::npos, depends.find(lib)) << depends;
    }

    const std::string deb = debFile("zelvan");
    EXPECT_NE(std::string::npos, field(deb, "Depends").find("adduser"));
    EXPECT_NE(std::string::npos, field(deb, "Depends").find("libsqlite3-0"));
    EXPECT_EQ("/etc/opt/zelvan/zelvan.conf\n/etc/logrotate.d/zelvan\n",
              controlFile(deb, "conffiles"));
    for (const char* script : {"postinst", "prerm", "postrm"})
        EXPECT_EQ(
            0, run({"/bin/sh", "-n", ZELVAN_SOURCE_DIR "/packaging/" + std::string(script)}).status)
            << script;

    // The files come as they are in the tree.
    TempDir root;
    ASSERT_TRUE(unpackDeb(deb, root.path()));
    for (const auto& [packaged, source] : {
             std::pair<const char*, const char*>{"/etc/opt/zelvan/zelvan.conf", "zelvan.conf"},
             {"/etc/logrotate.d/zelvan", "zelvan.logrotate"},
             {"/lib/systemd/system/zelvan-server.service", "zelvan-server.service"},
         })
        EXPECT_EQ(readFile(ZELVAN_SOURCE_DIR "/packaging/" + std::string(source)),
                  readFile(root.path() + packaged))
            << packaged;
}

TEST(Packages, LintianFindsNoErrors) {
    RunResult r = run({"/usr/bin/lintian", "--tag-display-limit", "0", debFile("zelvan"),
                       debFile("zelvan-crm-sim")},
                      "", {}, 120000ms);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("E: ")) << r.out;
}

TEST(Packages, ProgramsRunFromTheUnpackedPackages) {
    TempDir root;
    ASSERT_TRUE(unpackDeb(debFile("zelvan"), root.path()));
    ASSERT_TRUE(unpackDeb(debFile("zelvan-crm-sim"), root.path()));
    const struct {
        const char* program;
        const char* help;
    } cases[] = {
        {"zelvan-server", "-h"},
        {"zelvan-cli", "-h"},
        {"zelvan-journal", "-h"},
        {"zelvan-crm-sim", "--help"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const std::string path = root.path() + "/usr/bin/" + c.program;
        RunResult r = run({path, c.help});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.program)) << r.out;
        // Stripped: no debugging sections left in the packaged binary.
        EXPECT_EQ(std::string::npos, run({"/usr/bin/objdump", "-h", path}).out.find(".debug_info"));
    }
    RunResult r = run({root.path() + "/usr/bin/zelvan-server", "-v"});
    EXPECT_EQ(std::string("zelvan : Версия - ") + ZELVAN_VERSION + "\n\n", r.out);
}

TEST(Packages, ServiceUnitPassesSystemdVerification) {
    if (!fileExists("/usr/bin/systemd-analyze")) GTEST_SKIP() << "systemd-analyze is not installed";
    TempDir root, units;
    ASSERT_TRUE(unpackDeb(debFile("zelvan"), root.path()));
    // The unit, with its programs where the package was unpacked (systemd
    // checks that they exist and are executable).
    std::string unit = readFile(root.path() + "/lib/systemd/system/zelvan-server.service");
    for (const std::string dir : {"/usr/lib/zelvan/", "/usr/bin/"}) {
        for (size_t at = unit.find("=" + dir); at != std::string::npos;
             at = unit.find("=" + dir, at + 1))
            unit.insert(at + 1, root.path());
        for (size_t at = unit.find(" " + dir); at != std::string::npos;
             at = unit.find(" " + dir, at + 1))
            unit.insert(at + 1, root.path());
    }
    const std::string path = units.write("zelvan-server.service", unit);
    RunResult r = run({"/usr/bin/systemd-analyze", "verify", path}, "", {}, 60000ms);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
}

// A pid file left by a power loss may name a process of the next boot; the
// package's tmpfiles rule removes it at boot, and only then.
TEST(Packages, StalePidFileGoesAtBootOnly) {
    if (!fileExists("/usr/bin/systemd-tmpfiles")) GTEST_SKIP() << "systemd is not installed";
    TempDir root;
    ASSERT_TRUE(unpackDeb(debFile("zelvan"), root.path()));
    const std::string pidFile = root.path() + "/var/opt/zelvan/run/zelvan-server.pid";
    writeFile(pidFile, "4242");
    for (bool boot : {false, true}) {
        SCOPED_TRACE(boot ? "at boot" : "while running");
        std::vector<std::string> args = {"/usr/bin/systemd-tmpfiles", "--remove",
                                         "--root=" + root.path(), "zelvan.conf"};
        if (boot) args.insert(args.begin() + 2, "--boot");
        RunResult r = run(args);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ(!boot, fileExists(pidFile));
    }
}

}  // namespace
