// Station identity override, product code normalisation, text cleaning.
#include "runner/request_rules.h"

#include <gtest/gtest.h>

#include "runner/config.h"

TEST(StationIdent, ConfiguredValueWinsWhenEmptyOrOverridden) {
    struct Case {
        Json::Value request;
        bool override;
        const char* configured;
        const char* sent;
    } cases[] = {
        {Json::Value(""), false, "77", "77"},
        {Json::Value("12"), true, "77", "77"},
        {Json::Value("12"), false, "77", "12"},
        {Json::Value(12), false, "", "12"},
        {Json::Value(), false, "", ""},
        {Json::Value("12"), true, "", "12"},
        {Json::Value(Json::arrayValue), false, "5", "5"},
    };
    for (const auto& c : cases) {
        RunnerConfig conf;
        conf.azsIdentOverride = c.override;
        EXPECT_EQ(c.sent, stationIdent(conf, c.request, c.configured))
            << c.request << " override " << c.override;
    }
}

TEST(ProductCode, FillsThenTrimsAsConfigured) {
    struct Case {
        const char* art;
        bool zeros;
        int length;
        bool trim;
        int trimLength;
        const char* sent;
    } cases[] = {
        {"123", true, 6, false, 1, "000123"}, {"123", true, 6, true, 4, "0123"},
        {"0000", false, 0, true, 0, "0"},     {"95", true, 10, true, 6, "000095"},
        {"95", false, 10, false, 1, "95"},    {"", true, 6, true, 1, ""},
        {"00950", false, 0, true, 1, "950"},  {"123", true, 0, false, 1, "123"},
        {"007", false, 3, true, -5, "7"},
    };
    for (const auto& c : cases) {
        RunnerConfig conf;
        conf.productIdZeros = c.zeros;
        conf.productIdLength = c.length;
        conf.productTrimZeros = c.trim;
        conf.productTrimLength = c.trimLength;
        EXPECT_EQ(c.sent, productCode(conf, c.art)) << c.art;
    }
}

TEST(CleanText, TurnsApostrophesIntoSpaces) {
    EXPECT_EQ("It s the CRM s fault", cleanText("It's the CRM's fault"));
    EXPECT_EQ("Код", cleanText("Код"));
}
