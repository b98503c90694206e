// zelvan-crm-sim: a SOAP server answering in the loyalty CRM's place, for
// tests, the demo and POS integrators. See usage() for the command line.
#include <signal.h>

#include <atomic>
#include <exception>
#include <string>

#include "common/log.h"
#include "tools/sim_options.h"
#include "tools/sim_record.h"
#include "tools/sim_scenario.h"
#include "tools/sim_server.h"

namespace {

std::atomic<bool> gStop{false};
sim::Scenario* gScenario = nullptr;

void onStop(int) {
    gStop = true;
}
void onHangUp(int) {
    if (gScenario != nullptr) gScenario->requestReload();
}

void installSignals() {
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = onStop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = onHangUp;
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string error;
    if (!sim::parseOptions(argc, argv, options, error)) {
        consoleLine(1, "zelvan-crm-sim: " + error + " (see --help)");
        return 2;
    }
    if (options.help) {
        consoleWrite(0, sim::usage("zelvan-crm-sim"));
        return 0;
    }
    try {
        sim::Scenario scenario(options.scenarioFile);
        sim::Recorder recorder(options.recordFile);
        gScenario = &scenario;
        installSignals();
        if (!options.server.certFile.empty()) soap_ssl_init();
        sim::Server server(options.server, scenario, recorder, gStop);
        if (!server.start(error)) {
            consoleLine(1, "zelvan-crm-sim: " + error);
            return 1;
        }
        consoleLine(0, "zelvan-crm-sim: listening on " +
                           std::string(options.server.certFile.empty() ? "http" : "https") + "://" +
                           options.server.host + ":" + std::to_string(server.port()));
        server.run();
        gScenario = nullptr;
    } catch (const std::exception& e) {
        consoleLine(1, std::string("zelvan-crm-sim: ") + e.what());
        return 1;
    }
    return 0;
}
