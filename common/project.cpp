// Shared program identity, locale and configuration discovery.
#include "common/project.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "common/json_util.h"
#include "common/log.h"

const char* szProject = "zelvan";
const char* szVersion = ZELVAN_VERSION;  // the project version, from the build
const char* szConfFileName = "zelvan.conf";
const char* szLookPaths[] = {"/etc/opt/zelvan", "/etc/zelvan",           "/usr/etc/zelvan",
                             "/opt/zelvan/etc", "/usr/local/etc/zelvan", nullptr};
const char* szDefaultConfDir = "/etc/opt/zelvan";
const char* szDefaultDbFile = "/var/opt/zelvan/db/zelvan.db3";

void setupLocale() {
    setlocale(LC_ALL, "C");
    for (int category : {LC_CTYPE, LC_MESSAGES}) {
        if (setlocale(category, "ru_RU.UTF-8") == nullptr) setlocale(category, "C.UTF-8");
    }
}

const char* baseName(const char* argv0) {
    const char* slash = strrchr(argv0, '/');
    return slash == nullptr ? argv0 : slash + 1;
}

void version() {
    consoleWrite(LOG_STREAM, std::string(szProject) + " : Версия - " + szVersion + "\n\n");
}

void checkWorkingDir(const char* progname) {
    char buf[4096];
    if (getcwd(buf, sizeof(buf)) == nullptr) {
        int err = errno;
        consoleLine(ERR_STREAM, std::string(progname) +
                                    " : Ошибка выполнения программы : error = " +
                                    std::to_string(err) + " : " + strerror(err));
        exit(err);
    }
}

std::string findConfFile(const char* optConfig) {
    if (optConfig != nullptr) return FileExists(optConfig) ? optConfig : "";
    std::string path = std::string(szDefaultConfDir) + "/" + szConfFileName;
    if (FileExists(path.c_str())) return path;
    for (const char** dir = szLookPaths; *dir != nullptr; dir++) {
        path = std::string(*dir) + "/" + szConfFileName;
        if (FileExists(path.c_str())) return path;
    }
    return "";
}
