// Test support for the package tests.
#include "tests/packaging/package_support.h"

#include <sstream>

namespace testsupport {

namespace {

std::string architecture() {
    static const std::string arch = [] {
        std::string out = run({"/usr/bin/dpkg", "--print-architecture"}).out;
        return out.substr(0, out.find('\n'));
    }();
    return arch;
}

// Sets up the copy: a tmpfs for the overlay's changes (a layer apart from
// the root it covers), the overlay of /, /dev and /proc inside it, and the
// two directories of the test; then runs the script chrooted there.
const char kThrowawayRoot[] = R"(set -e
base=$1 packages=$2 results=$3 script=$4
mount -t tmpfs tmpfs "$base"
mkdir "$base/upper" "$base/work" "$base/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$base/upper,workdir=$base/work" "$base/root"
mount --rbind /dev "$base/root/dev"
mount -t proc proc "$base/root/proc"
mkdir -p "$base/root/packages" "$base/root/results"
mount --bind "$packages" "$base/root/packages"
mount --bind "$results" "$base/root/results"
exec chroot "$base/root" /bin/sh -c "$script"
)";

}  // namespace

std::string debFile(const std::string& package) {
    return std::string(ZELVAN_PACKAGE_DIR) + "/" + package + "_" + ZELVAN_VERSION + "_" +
           architecture() + ".deb";
}

std::vector<std::string> debContents(const std::string& deb) {
    std::vector<std::string> paths;
    std::istringstream lines(run({"/usr/bin/dpkg-deb", "-c", deb}).out);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find(" ./");
        if (at != std::string::npos) paths.push_back(line.substr(at + 1));
    }
    return paths;
}

bool unpackDeb(const std::string& deb, const std::string& dir) {
    return run({"/usr/bin/dpkg-deb", "-x", deb, dir}).status == 0;
}

RunResult inThrowawayRoot(const TempDir& scratch, const std::string& script,
                          const std::string& results, Millis timeout) {
    const std::string base = scratch.file("throwaway-root");
    run({"/bin/mkdir", "-p", base});
    return run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                kThrowawayRoot, "sh", base, ZELVAN_PACKAGE_DIR, results, script},
               "", {}, timeout);
}

std::string throwawayRootUnavailable() {
    static const std::string reason = [] {
        TempDir scratch, results;
        RunResult r =
            inThrowawayRoot(scratch, "touch /etc/zelvan-probe && echo ok", results.path());
        if (r.status != 0 || r.out != "ok\n")
            return "a throwaway copy of the machine cannot be made here (status " +
                   std::to_string(r.status) + "): " + r.err;
        return std::string();
    }();
    return reason;
}

}  // namespace testsupport
