// Test support for the package tests: the .deb files built for this build,
// their contents, unpacking, and a throwaway copy of this machine (an
// overlay of / kept in memory, in a private mount namespace) to install them
// into without changing the machine itself.
#pragma once

#include <string>
#include <vector>

#include "tests/support/support.h"

namespace testsupport {

// The .deb file of `package` ("zelvan", "zelvan-crm-sim").
std::string debFile(const std::string& package);
// The paths a .deb holds, as dpkg-deb lists them ("./usr/bin/zelvan-cli",
// directories with their trailing "/").
std::vector<std::string> debContents(const std::string& deb);
// Unpacks a .deb into `dir` (dpkg-deb -x); true on success.
bool unpackDeb(const std::string& deb, const std::string& dir);

// Runs `script` (sh, as root) in a throwaway copy of this machine, chrooted
// into it, with the package directory at /packages and `results` (a
// directory of the test) at /results. Everything the script changes is gone
// when it ends.
RunResult inThrowawayRoot(const TempDir& scratch, const std::string& script,
                          const std::string& results, Millis timeout = 60000ms);
// Empty when such a copy can be made here; otherwise why not (it needs root).
std::string throwawayRootUnavailable();

}  // namespace testsupport
