// What the benchmarks share: the CardInfo load (the simulator's Get_Info
// answer and the POS request line), percentiles of timings, and a CRM
// simulator and a gateway started for a run (real programs on loopback,
// cleaned up at the end of the run).
#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/server.h"
#include "tests/support/support.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline const char* const kCardScenario = R"({"Get_Info": {"reply": {"body": {
    "ErrorCode": "0", "MemberStatus": "01",
    "ListOfLOYMembershipCard": {"LoyMembershipCard": [
        {"LOYCardNumber": "7001000000000001", "CardStatusCode": "Active",
         "Point1Value": "1250.50"}]}}}}})";

inline const char* const kCardRequest =
    R"({"AZS": {"CardInfo": {"CardNum": "7001000000000001", "Check": [{"art": "95", "cnt": "20", "price": "52.10"}]}}})"
    "\n";

struct Stats {
    double p50, p99;
};

inline Stats stats(std::vector<double> us) {
    if (us.empty()) return {0, 0};
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * us.size()))]; };
    return {at(0.50), at(0.99)};
}

inline double microsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

// zelvan-crm-sim answering from `scenario`, and zelvan-server calling it
// (root member "AZS", one attempt per call, `members` added to its
// configuration), with a POS connection to the server.
class Gateway {
  public:
    Gateway(const std::string& scenario, const std::string& members = "");
    bool ok() const { return ok_; }
    const std::string& endpoint() const { return endpoint_; }
    testsupport::TcpClient& pos() { return pos_; }
    testsupport::ServerProcess& server() { return *server_; }

  private:
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> sim_;
    std::unique_ptr<testsupport::ServerProcess> server_;
    testsupport::TcpClient pos_;
    std::string endpoint_;
    bool ok_ = false;
};

// Sends `request` on the POS connection `calls` times after `warmUp` calls
// and returns the round-trip times in microseconds (empty when a reply did
// not come).
std::vector<double> roundTrips(testsupport::TcpClient& pos, const std::string& request, int warmUp,
                               int calls);

}  // namespace bench
