// Command names and codes.
#include "common/commands.h"

#include <gtest/gtest.h>

TEST(GetCmdCode, MapsEveryCommandNameToItsCode) {
    const std::pair<const char*, int> cases[] = {
        {"Connect", 1},    {"CardInfo", 2}, {"PayBonus", 3}, {"PayReturn", 4}, {"HoldBonus", 5},
        {"HoldReturn", 6}, {"Undo", 7},     {"Flush", 8},    {"End", 9},       {"SyncTask", 10},
    };
    for (const auto& [name, code] : cases) {
        EXPECT_EQ(code, getCmdCode(name)) << name;
        EXPECT_EQ(code, getCmdCode(std::string(name))) << name;
    }
}

TEST(GetCmdCode, GivesMinusOneForAnythingElse) {
    for (const char* name : {"end", "", "connect", "Connect ", " End", "Ends", "ERROR"}) {
        EXPECT_EQ(-1, getCmdCode(name)) << '"' << name << '"';
        EXPECT_EQ(-1, getCmdCode(std::string(name))) << '"' << name << '"';
    }
    EXPECT_EQ(-1, getCmdCode(static_cast<const char*>(nullptr)));
    EXPECT_EQ(-1, getCmdCode(std::string("End\0x", 5)));
}
