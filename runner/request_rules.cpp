// Station identity override, product code normalisation and text cleaning.
#include "runner/request_rules.h"

#include <algorithm>

#include "common/convert.h"
#include "common/json_util.h"
#include "runner/config.h"

std::string stationIdent(const RunnerConfig& conf, const Json::Value& requestValue,
                         const std::string& configured) {
    std::string value = Jval2Str(requestValue);
    if ((value.empty() || conf.azsIdentOverride) && !configured.empty()) value = configured;
    return value;
}

std::string productCode(const RunnerConfig& conf, const std::string& art) {
    if (art.empty()) return art;
    std::string code = art;
    if (conf.productIdZeros && conf.productIdLength > 0)
        code = str_left_fill(code, static_cast<size_t>(conf.productIdLength), '0');
    if (conf.productTrimZeros)
        ltrim(code, static_cast<size_t>(std::max(conf.productTrimLength, 1)), '0');
    return code;
}

std::string cleanText(std::string text) {
    std::replace(text.begin(), text.end(), '\'', ' ');
    return text;
}
