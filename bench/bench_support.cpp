// The benchmarks' shared gateway and timing loop.
#include "bench/bench_support.h"

#include <cstdio>

using namespace testsupport;

namespace bench {

Gateway::Gateway(const std::string& scenario, const std::string& members) {
    writeFile(dir_.file("scenario.json"), scenario);
    Process::Options o;
    o.args = {
        binaryPath("zelvan-crm-sim"), "--port", "0", "--port-file", dir_.file("port"), "--scenario",
        dir_.file("scenario.json")};
    sim_ = std::make_unique<Process>(o);
    if (!waitUntil([&] { return !readFile(dir_.file("port")).empty(); }, 10000ms)) {
        fprintf(stderr, "the simulator did not start\n");
        return;
    }
    endpoint_ = "http://127.0.0.1:" + readFile(dir_.file("port")) + "/crm";
    ServerSpec spec;
    spec.members = "\"PmtJsonRootName\": \"AZS\", \"RetryCount\": 1, \"ConnectionString\": \"" +
                   endpoint_ + "\"" + (members.empty() ? "" : ", " + members);
    server_ = std::make_unique<ServerProcess>(spec);
    if (server_->port() == 0 || !pos_.connect(server_->port())) {
        fprintf(stderr, "zelvan-server did not start\n%s", server_->err().c_str());
        return;
    }
    ok_ = true;
}

std::vector<double> roundTrips(TcpClient& pos, const std::string& request, int warmUp, int calls) {
    std::vector<double> us;
    for (int i = 0; i < warmUp + calls; i++) {
        const auto t = Clock::now();
        pos.send(request);
        if (!pos.readLine(10000ms)) {
            fprintf(stderr, "no reply from the gateway\n");
            return {};
        }
        if (i >= warmUp) us.push_back(microsSince(t));
    }
    return us;
}

}  // namespace bench
