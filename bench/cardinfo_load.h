// What the benchmarks send and measure: the CRM simulator's Get_Info answer,
// the POS CardInfo request line, and the p50/p99 of a set of times.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline const char* const kScenario = R"({"Get_Info": {"reply": {"body": {
    "ErrorCode": "0", "MemberStatus": "01",
    "ListOfLOYMembershipCard": {"LoyMembershipCard": [
        {"LOYCardNumber": "7001000000000001", "CardStatusCode": "Active",
         "Point1Value": "1250.50"}]}}}}})";

inline const char* const kRequest =
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

}  // namespace bench
