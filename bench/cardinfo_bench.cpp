// Benchmark: the round trip of "CardInfo" through the gateway (POS TCP line
// -> zelvan-server -> Get_Info to the CRM simulator -> reply line) against
// the same Get_Info sent straight to the simulator by a gSOAP proxy, in one
// run. Prints p50 and p99 of both and the ratio of the p50s.
//   cardinfo_bench [calls]   (default 3000)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runner/soap/crm_soap.h"

using namespace bench;

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(10, atoi(argv[1])) : 3000;
    const int warmUp = std::min(200, calls / 10);

    Gateway gw(kCardScenario);
    if (!gw.ok()) return 1;
    const std::vector<double> gateway = roundTrips(gw.pos(), kCardRequest, warmUp, calls);
    if (gateway.empty()) return 1;
    const std::string& endpoint = gw.endpoint();

    // The same request straight to the simulator, on one keep-alive context.
    crm::SoapPtr ctx = crm::newContext();
    card::GetInfoInput in;
    in.LOYCardType = "Lumora";
    in.LOYCardNumber = "7001000000000001";
    in.LOYCardHash = "HASH7001000000000001";
    in.SourceSystem = "VURIV";
    card::LineItem line;
    line.IntegrationId = "1";
    line.VEKProductIntegrationId = "95";
    line.QuantityRequested = "20";
    line.BaseItemCost = "52.10";
    in.ListOfOrderEntryLineItems.OrderEntryLineItems.push_back(line);
    std::vector<double> direct;
    for (int i = 0; i < warmUp + calls; i++) {
        const auto t = Clock::now();
        card::CardInfoProxy proxy(ctx.get());
        card::GetInfoOutput out;
        if (proxy.GetInfo(endpoint.c_str(), nullptr, &in, out) != SOAP_OK) {
            fprintf(stderr, "direct Get_Info failed: %s\n", crm::faultString(ctx.get()).c_str());
            return 1;
        }
        soap_destroy(ctx.get());
        soap_end(ctx.get());
        if (i >= warmUp) direct.push_back(microsSince(t));
    }

    const Stats g = stats(gateway), d = stats(direct);
    printf("calls per path: %d (after %d warm-up calls)\n", calls, warmUp);
    printf("CardInfo through the gateway: p50 %8.1f us  p99 %8.1f us\n", g.p50, g.p99);
    printf("Get_Info straight to the CRM: p50 %8.1f us  p99 %8.1f us\n", d.p50, d.p99);
    printf("ratio of the p50s (gateway / direct): %.2f\n", g.p50 / d.p50);
    return 0;
}
