// Input rules shared by every request builder, and the text cleaning applied
// to fault texts before they reach a reply.
#pragma once

#include <json/json.h>

#include <string>

struct RunnerConfig;

// The station or terminal identifier sent to the CRM: the request's value,
// replaced by the configured one when the request's is empty or the
// configured identity is set to win (AzsIdentOverride), provided one is
// configured.
std::string stationIdent(const RunnerConfig& conf, const Json::Value& requestValue,
                         const std::string& configured);

// A product code as sent to the CRM: zero-filled on the left up to
// ProductIdLength when ProductIdZeros is on, then leading zeros trimmed down
// to ProductTrimLength (at least 1) when ProductTrimZeros is on.
std::string productCode(const RunnerConfig& conf, const std::string& art);

// Every apostrophe replaced by a space.
std::string cleanText(std::string text);
