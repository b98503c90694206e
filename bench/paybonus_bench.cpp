// Benchmark: the round trip of "PayBonus" through the gateway (POS TCP line
// -> zelvan-server -> journal insert -> Proc_Order to the CRM simulator ->
// journal update -> reply line) against the same Proc_Order sent straight to
// the simulator by a gSOAP proxy on one keep-alive context, in one run.
// Prints p50 and p99 of both, the journal commits per purchase (read from
// the journal file's change counter) and what one durable commit costs on
// this machine.
//   paybonus_bench [calls]   (default 2000)
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runner/soap/crm_soap.h"

using namespace bench;

namespace {

const char* const kScenario = R"({"Proc_Order": {"reply": {"body": {
    "CardStatusCode": "ACTIVE", "ErrorCode": "0", "LOYCardNumber": "7001000000000001",
    "OrderPointQty": "15", "PointsAfter": "1115.50", "PointsBefore": "1200.50",
    "ListOfOrder": {"OrderEntry-Orders": {"OrderDate": "01/31/2024 23:59:59",
        "OrderNumber": "1001"}}}}}})";

const char* const kRequest =
    R"({"AZS": {"PayBonus": {"CardNum": "7001000000000001", "CheckNum": "1001", "Check": [{"art": "95", "cnt": "20", "price": "52.10", "points": "100"}], "Transact": {"ID": "1001", "Location": "AZS-7", "Terminal": "T1", "shift": 3}}}})"
    "\n";

// SQLite's file change counter: bytes 24 to 27 of the database header, one
// more at every committed write transaction.
long changeCounter(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char h[28] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return -1;
    return (long(h[24]) << 24) | (long(h[25]) << 16) | (long(h[26]) << 8) | long(h[27]);
}

// The p50 of one small durable commit (rollback journal, synchronous FULL)
// in `dir`.
double commitMicros(const std::string& dir, int commits) {
    sqlite3* db = nullptr;
    const std::string path = dir + "/commit-cost.db3";
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return -1;
    sqlite3_exec(db, "PRAGMA synchronous=FULL; CREATE TABLE t (v)", nullptr, nullptr, nullptr);
    std::vector<double> us;
    for (int i = 0; i < commits; i++) {
        const auto t = Clock::now();
        sqlite3_exec(db, "INSERT INTO t VALUES (1)", nullptr, nullptr, nullptr);
        us.push_back(microsSince(t));
    }
    sqlite3_close(db);
    return stats(us).p50;
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    const int warmUp = std::min(200, calls / 10);

    Gateway gw(kScenario, "\"Terminal\": \"T1\"");
    if (!gw.ok()) return 1;
    const std::string journal = gw.server().dir().file("zelvan.db3");
    const long before = changeCounter(journal);
    const std::vector<double> gateway = roundTrips(gw.pos(), kRequest, warmUp, calls);
    if (gateway.empty()) return 1;
    const long commits = changeCounter(journal) - before;

    // The same request straight to the simulator, on one keep-alive context.
    crm::SoapPtr ctx = crm::newContext();
    order::ProcOrderInput in;
    order::Member& m = in.ListOfLOYMember.LoyMember;
    std::string cardType = "Lumora", gsCount = "1", source = "VURIV", intId = "1",
                payInfo = "OTHER";
    std::string utc = "01/31/2024 12:00:00", date = "01/31/2024 15:00:00", shift = "3";
    m.LOYCardType = &cardType;
    m.LOYCardNumber = "7001000000000001";
    m.LOYCardGSCount = &gsCount;
    m.LOYCardHash = "HASH7001000000000001";
    order::Order& o = m.ListOfOrder.OrderEntryOrders;
    o.OrderNumber = "1001";
    o.SourceSystem = &source;
    order::LineItemList lines;
    order::LineItem line;
    line.IntegrationId = &intId;
    line.QuantityRequested = "20";
    line.VEKProductIntegrationId = "95";
    line.PaymentType = "MIX";
    line.BaseItemPoints = "100";
    line.BaseItemCost = "52.10";
    line.PaymentTypeDetail = &payInfo;
    lines.OrderEntryLineItems.push_back(line);
    o.ListOfOrderEntryLineItems = &lines;
    order::GasRequestList gas;
    gas.Requests.GasOperationDateUTC = &utc;
    gas.Requests.GasStationShiftNum = &shift;
    gas.Requests.GasStationId = "AZS-7";
    gas.Requests.GasTerminalId = "T1";
    gas.Requests.GasOperationDate = &date;
    o.ListOfGasRequests = &gas;
    std::vector<double> direct;
    for (int i = 0; i < warmUp + calls; i++) {
        const auto t = Clock::now();
        order::OrderProxy proxy(ctx.get());
        order::ProcOrderOutput out;
        if (proxy.ProcOrder(gw.endpoint().c_str(), nullptr, &in, out) != SOAP_OK) {
            fprintf(stderr, "direct Proc_Order failed: %s\n", crm::faultString(ctx.get()).c_str());
            return 1;
        }
        soap_destroy(ctx.get());
        soap_end(ctx.get());
        if (i >= warmUp) direct.push_back(microsSince(t));
    }

    const Stats g = stats(gateway), d = stats(direct);
    printf("calls per path: %d (after %d warm-up calls)\n", calls, warmUp);
    printf("PayBonus through the gateway:  p50 %8.1f us  p99 %8.1f us\n", g.p50, g.p99);
    printf("Proc_Order straight to the CRM: p50 %8.1f us  p99 %8.1f us\n", d.p50, d.p99);
    printf("ratio of the p50s (gateway / direct): %.2f\n", g.p50 / d.p50);
    printf("journal commits per purchase: %.2f\n",
           before < 0 ? -1.0 : double(commits) / double(warmUp + calls));
    printf("one durable journal commit on this machine: p50 %8.1f us\n",
           commitMicros(gw.server().dir().path(), 200));
    return 0;
}
