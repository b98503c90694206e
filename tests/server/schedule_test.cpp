// The background worker's schedule: interval and tick from the three keys,
// and which wakes are full runs.
#include <gtest/gtest.h>

#include <string>

#include "server/background.h"

namespace {

// The first wakes as "<seconds slept>" with "*" for a full run.
std::string wakes(BackgroundSchedule s, int count) {
    std::string out;
    for (int i = 0; i < count; i++) {
        const int sleep = s.nextSleep();
        out += (i ? " " : "") + std::to_string(sleep) + (s.slept() ? "*" : "");
    }
    return out;
}

}  // namespace

TEST(BackgroundSchedule, TakesIntervalAndTickFromTheKeysAndRunsFullyOncePerInterval) {
    const struct {
        int flush, check;
        bool daily;
        int interval, tick;
        const char* wakes;  // the first six
    } cases[] = {
        {900, 900, true, 900, 900, "900* 900* 900* 900* 900* 900*"},
        {900, 60, true, 900, 60, "60 60 60 60 60 60"},
        {900, 600, false, 900, 600, "600 300* 600 300* 600 300*"},
        {3, 1, false, 3, 1, "1 1 1* 1 1 1*"},
        {5, 2, false, 5, 2, "2 2 1* 2 2 1*"},
        {2, 5, false, 2, 2, "2* 2* 2* 2* 2* 2*"},  // a check period above the interval
        {0, 120, false, 120, 120, "120* 120* 120* 120* 120* 120*"},
        {-1, 0, true, 300, 300, "300* 300* 300* 300* 300* 300*"},
        {0, -5, false, 0, 0, ""},  // disabled
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.flush) + "/" + std::to_string(c.check));
        const BackgroundSchedule s(c.flush, c.check, c.daily);
        EXPECT_EQ(c.interval > 0, s.enabled());
        EXPECT_EQ(c.interval, s.interval());
        EXPECT_EQ(c.tick, s.tick());
        if (s.enabled()) {
            EXPECT_EQ(c.wakes, wakes(s, 6));
        }
    }
    // 900 and 60: the fifteenth tick is the full run, and then every fifteenth.
    BackgroundSchedule s(900, 60, true);
    for (int round = 0; round < 2; round++) {
        for (int i = 1; i < 15; i++) EXPECT_FALSE(s.slept());
        EXPECT_TRUE(s.slept());
    }
}
