// zelvan-server entry: options, help and version.
#include <getopt.h>

#include <cstdlib>

#include "common/project.h"
#include "server/server.h"

const char* szGetopt = "p:c:u:U:s:tnC:A:K:dhv";
const struct option longopts[] = {
    {"port", required_argument, nullptr, 'p'},   {"config", required_argument, nullptr, 'c'},
    {"url", required_argument, nullptr, 'u'},    {"username", required_argument, nullptr, 'U'},
    {"passwd", required_argument, nullptr, 's'}, {"tls", no_argument, nullptr, 't'},
    {"notls", no_argument, nullptr, 'n'},        {"capath", required_argument, nullptr, 'C'},
    {"cert", required_argument, nullptr, 'A'},   {"key", required_argument, nullptr, 'K'},
    {"debug", no_argument, nullptr, 'd'},        {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},      {nullptr, 0, nullptr, 0},
};

int main(int argc, char** argv) {
    setupLocale();
    const char* progname = baseName(argv[0]);
    checkWorkingDir(progname);
    int execState = 0;
    int c;
    while (execState == 0 && (c = getopt_long(argc, argv, szGetopt, longopts, nullptr)) != -1) {
        switch (c) {
            case 'h': execState = 1; break;
            case 'v': execState = 2; break;
            case '?': return 1;
            default: break;
        }
    }
    if (execState == 1) usage(progname);
    if (execState == 2) version();
    return 0;
}
