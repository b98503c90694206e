// Benchmark: what POS sessions cost the running gateway. Prints the resident
// size of zelvan-server with no session and with N idle ones (default
// 1000) and the cost per session; then every tenth session makes CardInfo
// round trips against the CRM simulator while the others stay idle, and the
// answers, their p50/p99 and the resident size after are printed.
//   idle_sessions_bench [sessions] [rounds]   (defaults 1000 and 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/json_util.h"
#include "tests/runner/gateway.h"

using namespace testsupport;
using namespace bench;

namespace {

int run(size_t sessions, int rounds) {
    if (!allowOpenFiles(2 * sessions + 256)) {
        fprintf(stderr, "the open-file limit is below %zu\n", 2 * sessions + 256);
        return 1;
    }
    gatewaytest::Gateway gw(gatewaytest::json(kCardScenario), "\"RetryCount\": 1");
    const pid_t server = gw.server().process().pid();
    if (!gw.send("\"Connect\": {}").isObject()) {
        fprintf(stderr, "no answer from the gateway\n");
        return 1;
    }
    const long base = residentKiB(server);
    auto clients = gw.openSessions(sessions);
    const long idle = residentKiB(server);
    printf("zelvan-server resident, no POS session:  %8.1f MiB\n", base / 1024.0);
    printf("zelvan-server resident, %zu idle sessions: %8.1f MiB\n", sessions, idle / 1024.0);
    printf("per idle session:                        %8.1f KiB\n",
           double(idle - base) / static_cast<double>(sessions));

    // Every tenth session is active: each round, all of them send, then
    // every reply is read.
    std::vector<double> micros;
    size_t asked = 0, answered = 0;
    const auto start = Clock::now();
    for (int r = 0; r < rounds; r++) {
        std::vector<Clock::time_point> sent;
        for (size_t i = 0; i < sessions; i += 10) {
            sent.push_back(Clock::now());
            clients[i]->send(kCardRequest);
            asked++;
        }
        for (size_t i = 0, k = 0; i < sessions; i += 10, k++) {
            auto line = clients[i]->readLine(60000ms);
            Json::Value reply;
            if (!line || !parseJsonRequest(*line, reply) ||
                reply["AZS"]["CardInfo"]["err"] != Json::Value(0))
                continue;
            answered++;
            micros.push_back(microsSince(sent[k]));
        }
    }
    printf("active sessions: %zu of %zu, CardInfo answered %zu of %zu\n", (sessions + 9) / 10,
           sessions, answered, asked);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printf("CardInfo round trips: %.0f per second in all\n", double(answered) / seconds);
    const Stats st = stats(micros);
    printf("CardInfo with the others idle: p50 %8.1f us  p99 %8.1f us\n", st.p50, st.p99);
    printf("zelvan-server resident after the active rounds: %8.1f MiB\n",
           residentKiB(server) / 1024.0);
    return answered == asked ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t sessions = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    try {
        return run(sessions, rounds);
    } catch (const std::exception& e) {
        fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
