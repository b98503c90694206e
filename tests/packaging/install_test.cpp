// The zelvan package installed into a throwaway copy of this machine: the
// service user, the directories and the configuration's permissions, an
// earlier journal left alone through installation, upgrade and purge, the
// operator's configuration kept on upgrade, and the service started as
// systemd starts it (a child of process 1, as the unit's user) with its log
// rotated while it runs.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/packaging/package_support.h"
#include "tests/support/support.h"

namespace {

using namespace testsupport;

// "name=value" lines of a file the script wrote.
std::map<std::string, std::string> facts(const std::string& path) {
    std::map<std::string, std::string> out;
    for (const std::string& line : readLines(path)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

class Installed : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why = throwawayRootUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }

    // Runs `script` after a clean start (no zelvan package, no zelvan files)
    // with $DEB naming the zelvan package.
    RunResult install(const std::string& script) {
        const std::string deb = debFile("zelvan");
        const std::string prologue =
            "set -e\nexport DEBIAN_FRONTEND=noninteractive\n"
            "DEB=/packages/" +
            deb.substr(deb.rfind('/') + 1) +
            "\n"
            "dpkg --purge zelvan zelvan-crm-sim >/dev/null 2>&1 || true\n"
            "rm -rf /var/opt/zelvan /etc/opt/zelvan\n";
        return inThrowawayRoot(scratch_, prologue + script, results_.path());
    }
    std::string result(const std::string& name) const { return results_.file(name); }

    TempDir scratch_, results_;
};

TEST_F(Installed, KeepsTheJournalAndTheOperatorsConfiguration) {
    RunResult r = install(R"sh(
journal=/var/opt/zelvan/db/zelvan.db3
mkdir -p /var/opt/zelvan/db
printf 'journal of an earlier installation' >$journal
chown 4242:4242 $journal
chmod 0600 $journal
facts() {
    echo "user=$(getent passwd zelvan | cut -d: -f6,7)"
    for p in /var/opt/zelvan/db /var/opt/zelvan/log /var/opt/zelvan/run \
             /etc/opt/zelvan/zelvan.conf; do
        [ -e $p ] && echo "$p=$(stat -c '%U:%G %a' $p)"
    done
    echo "journal=$(stat -c '%u:%g %a' $journal) $(cat $journal)"
    conf=/etc/opt/zelvan/zelvan.conf
    [ -e $conf ] && echo "port=$(grep -o '"Port": [0-9]*' $conf)"
    true
}
dpkg -i $DEB >/results/install.log 2>&1
facts >/results/installed
sed -i 's/"Port": 54121,/"Port": 54199,/' /etc/opt/zelvan/zelvan.conf
dpkg -i $DEB >/results/upgrade.log 2>&1
facts >/results/upgraded
dpkg --purge zelvan >/results/purge.log 2>&1
facts >/results/purged
)sh");
    ASSERT_EQ(0, r.status) << r.out << r.err << readFile(result("install.log"))
                           << readFile(result("upgrade.log")) << readFile(result("purge.log"));
    const std::string journal = "4242:4242 600 journal of an earlier installation";
    auto installed = facts(result("installed"));
    EXPECT_EQ("/var/opt/zelvan:/usr/sbin/nologin", installed["user"]);
    EXPECT_EQ("zelvan:zelvan 750", installed["/var/opt/zelvan/db"]);
    EXPECT_EQ("zelvan:adm 2750", installed["/var/opt/zelvan/log"]);
    EXPECT_EQ("zelvan:zelvan 755", installed["/var/opt/zelvan/run"]);
    EXPECT_EQ("root:zelvan 640", installed["/etc/opt/zelvan/zelvan.conf"]);
    EXPECT_EQ(journal, installed["journal"]);
    EXPECT_EQ("\"Port\": 54121", installed["port"]);

    auto upgraded = facts(result("upgraded"));
    EXPECT_EQ("\"Port\": 54199", upgraded["port"]);  // the operator's edit survives
    EXPECT_EQ("root:zelvan 640", upgraded["/etc/opt/zelvan/zelvan.conf"]);
    EXPECT_EQ(journal, upgraded["journal"]);

    auto purged = facts(result("purged"));
    EXPECT_EQ(journal, purged["journal"]);
    EXPECT_EQ(0u, purged.count("/etc/opt/zelvan/zelvan.conf"));
    EXPECT_EQ(0u, purged.count("/var/opt/zelvan/run"));
}

// Process 1 of a fresh pid namespace stands in for systemd (unshare
// --kill-child ends the namespace, the daemon with it, should the test time
// out and kill unshare): it runs the
// unit's ExecStart as the unit's User and Group, reads the PIDFile, talks to
// the daemon, rotates its log as logrotate would at night, and stops it
// with the unit's KillSignal.
const char kServiceManager[] = R"sh(
unit=/lib/systemd/system/zelvan-server.service
value() { sed -n "s/^$1=//p" $unit; }
log=/var/opt/zelvan/log/zelvan-server.log
waitfor() {
    i=0
    until grep -qF "$1" $log 2>/dev/null; do
        i=$((i + 1)); [ $i -lt 300 ] || return 1; sleep 0.05
    done
}
out=/results/service
# ExecStart, bounded in time as TimeoutStartSec bounds it.
setpriv --reuid=$(value User) --regid=$(value Group) --init-groups $(value ExecStart) \
    >/results/start.out 2>&1 &
starter=$!
running() { [ -e /proc/$1 ] && ! grep -q '^State:.Z' /proc/$1/status 2>/dev/null; }
i=0
while running $starter && [ $i -lt 200 ]; do i=$((i + 1)); sleep 0.05; done
if running $starter; then
    echo "started=no, still in the foreground" >$out
    kill -KILL $starter
    exit 0
fi
wait $starter && echo "started=0" >$out || echo "started=$?" >$out
pid=$(cat $(value PIDFile))
echo "pid=$pid" >>$out
echo "pidfile=$(stat -c %U $(value PIDFile))" >>$out
echo "daemon=$(stat -c %U /proc/$pid)" >>$out
waitfor 'готов к принятию соединений' && echo "ready=yes" >>$out
echo '{"First": {}}' | timeout 10 zelvan-cli -p $PORT >/dev/null
waitfor '=> {"First": {}}'
logrotate -f -s /tmp/logrotate.state /etc/logrotate.d/zelvan >/results/logrotate.out 2>&1 &&
    echo "rotated=yes" >>$out
echo '{"Second": {}}' | timeout 10 zelvan-cli -p $PORT >/dev/null
waitfor '=> {"Second": {}}'
kill -$(value KillSignal | sed 's/^SIG//') $pid
i=0
while running $pid && [ $i -lt 300 ]; do i=$((i + 1)); sleep 0.05; done
running $pid || echo "stopped=yes" >>$out
cp $log $log.1 /results/
)sh";

TEST_F(Installed, ServiceStartsDetachedWithItsPidFileAndSurvivesLogRotation) {
    const unsigned short port = freeLoopbackPort();
    writeFile(results_.file("manager.sh"), kServiceManager);
    RunResult r = install(
        "dpkg -i $DEB >/results/install.log 2>&1\n"
        "sed -i 's/\"Port\": 54121,/\"Port\": " +
        std::to_string(port) +
        ",/' /etc/opt/zelvan/zelvan.conf\n"
        "export PORT=" +
        std::to_string(port) +
        "\n"
        "exec unshare --pid --fork --kill-child --mount-proc /bin/sh /results/manager.sh\n");
    ASSERT_EQ(0, r.status) << r.out << r.err << readFile(result("install.log"));
    auto service = facts(result("service"));
    EXPECT_EQ("0", service["started"]) << readFile(result("start.out"));
    EXPECT_EQ("zelvan", service["pidfile"]);
    EXPECT_EQ("zelvan", service["daemon"]);
    EXPECT_EQ("yes", service["ready"]);
    EXPECT_EQ("yes", service["rotated"]) << readFile(result("logrotate.out"));
    EXPECT_EQ("yes", service["stopped"]);
    ASSERT_GT(atoi(service["pid"].c_str()), 1) << service["pid"];

    // The first part of the log went into the rotated file; the server
    // writes on at the start of the emptied one.
    const std::string before = readFile(result("zelvan-server.log.1"));
    const std::string after = readFile(result("zelvan-server.log"));
    EXPECT_NE(std::string::npos, before.find("Демон инициализирован с PID=" + service["pid"]));
    EXPECT_NE(std::string::npos, before.find("=> {\"First\": {}}"));
    EXPECT_EQ(std::string::npos, before.find("Second"));
    EXPECT_EQ('(', after.empty() ? 0 : after[0]) << after.substr(0, 40);
    EXPECT_EQ(std::string::npos, after.find("First"));
    EXPECT_NE(std::string::npos, after.find("=> {\"Second\": {}}"));
    EXPECT_NE(std::string::npos, after.find("Остановка сервера по сигналу : 15"));
}

}  // namespace
