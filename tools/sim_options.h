// The simulator's command line.
#pragma once

#include <string>

#include "tools/sim_server.h"

namespace sim {

struct Options {
    ServerOptions server;
    std::string scenarioFile;
    std::string recordFile;
    bool help = false;
};

// Parses argv; false with `error` set for a bad command line.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
// The --help text.
std::string usage(const char* program);

}  // namespace sim
