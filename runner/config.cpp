// The configuration key table and its value rules.
#include "runner/config.h"

#include <algorithm>
#include <climits>
#include <variant>

#include "common/convert.h"

namespace {

// How a key's value is taken from the document.
enum class Form {
    Bool,           // boolean, integer (non-zero true) or a yes/no text
    BoolIfPresent,  // as Bool, but first true whenever the member is present
    Int,            // integer, or a non-empty text read by the atoi rule
    String,         // a JSON string, the empty one included
    NonEmpty,       // a JSON string that is not empty
    SourceSystem,   // a string, read only when AzsIdentOverride is on
    BothLogNames,   // a string naming the sent and the received message logs
    DayDelay,       // seconds after midnight, kept modulo one day
};

using Target = std::variant<bool RunnerConfig::*, int RunnerConfig::*, std::string RunnerConfig::*>;

struct ConfigKey {
    const char* name;
    Form form;
    Target target;
};

// Every key, in the order the runner reads them.
const ConfigKey configKeys[] = {
    {"DaemonNeedConnect", Form::BoolIfPresent, &RunnerConfig::daemonNeedConnect},
    {"CheckPmtJsonRoot", Form::BoolIfPresent, &RunnerConfig::checkPmtJsonRoot},
    {"PmtJsonRootName", Form::String, &RunnerConfig::pmtJsonRootName},
    {"AzsIdentOverride", Form::Bool, &RunnerConfig::azsIdentOverride},
    {"SourceSystem", Form::SourceSystem, &RunnerConfig::sourceSystem},
    {"Terminal", Form::String, &RunnerConfig::terminal},
    {"Location", Form::String, &RunnerConfig::location},
    {"ConnectionString", Form::String, &RunnerConfig::connectionString},
    {"UseTLS", Form::Bool, &RunnerConfig::useTLS},
    {"CertFilePath", Form::String, &RunnerConfig::certFilePath},
    {"CertsCAPath", Form::String, &RunnerConfig::certsCAPath},
    {"CertKeyFile", Form::String, &RunnerConfig::certKeyFile},
    {"CertKeyPassword", Form::String, &RunnerConfig::certKeyPassword},
    {"RandomDataPath", Form::String, &RunnerConfig::randomDataPath},
    {"UserId", Form::String, &RunnerConfig::userId},
    {"UserPass", Form::String, &RunnerConfig::userPass},
    {"ConnectTimeout", Form::Int, &RunnerConfig::connectTimeout},
    {"SendRecvTimeout", Form::Int, &RunnerConfig::sendRecvTimeout},
    {"RetryCount", Form::Int, &RunnerConfig::retryCount},
    {"BackgndFlushPeriod", Form::Int, &RunnerConfig::backgndFlushPeriod},
    {"OfflineCheckPeriod", Form::Int, &RunnerConfig::offlineCheckPeriod},
    {"SessionTokenTTL", Form::Int, &RunnerConfig::sessionTokenTTL},
    {"DebugErrInfoEnable", Form::Bool, &RunnerConfig::debugErrInfoEnable},
    {"DebugEnable", Form::Bool, &RunnerConfig::debugEnable},
    {"DebugFile", Form::BothLogNames, &RunnerConfig::debugSentFile},
    {"DebugSentFile", Form::String, &RunnerConfig::debugSentFile},
    {"DebugRecvFile", Form::String, &RunnerConfig::debugRecvFile},
    {"DebugTestFile", Form::String, &RunnerConfig::debugTestFile},
    {"ProductIdLength", Form::Int, &RunnerConfig::productIdLength},
    {"ProductTrimLength", Form::Int, &RunnerConfig::productTrimLength},
    {"ProductIdZeros", Form::Bool, &RunnerConfig::productIdZeros},
    {"ProductTrimZeros", Form::Bool, &RunnerConfig::productTrimZeros},
    {"DBPath", Form::NonEmpty, &RunnerConfig::dbPath},
    {"AutosyncDailyEnable", Form::Bool, &RunnerConfig::autosyncDailyEnable},
    {"AutosyncShiftEnable", Form::Bool, &RunnerConfig::autosyncShiftEnable},
    {"AutosyncDailyDelay", Form::DayDelay, &RunnerConfig::autosyncDailyDelay},
    {"SendRecvTaskTimeout", Form::Int, &RunnerConfig::sendRecvTaskTimeout},
    {"RetryTaskCount", Form::Int, &RunnerConfig::retryTaskCount},
    {"SendRecvOffSyncTimeout", Form::Int, &RunnerConfig::sendRecvOffSyncTimeout},
    {"RetryOffSyncCount", Form::Int, &RunnerConfig::retryOffSyncCount},
};

bool isJsonInteger(const Json::Value& v) {
    return v.type() == Json::intValue || v.type() == Json::uintValue;
}

void readBool(const Json::Value& v, bool& out) {
    if (v.isBool())
        out = v.asBool();
    else if (isJsonInteger(v))
        out = v.type() == Json::intValue ? v.asLargestInt() != 0 : v.asLargestUInt() != 0;
    else if (v.isString())
        out = str2bool(v.asString());
}

void readInt(const Json::Value& v, int& out) {
    if (isJsonInteger(v)) {
        if (v.isInt()) out = v.asInt();  // an integer beyond int keeps the value
    } else if (v.isString() && !v.asString().empty()) {
        out = atoiClamp(v.asString());
    }
}

void readDayDelay(const Json::Value& v, int& out) {
    int value = out;
    if (isJsonInteger(v)) {
        if (!v.isInt()) return;
        value = v.asInt();
    } else if (v.isString() && !v.asString().empty()) {
        int parsed = 0;
        if (_stoi(v.asString(), parsed) != 0 || parsed < 0) return;
        value = parsed;
    } else {
        return;
    }
    out = value % 86400;
}

void readKey(RunnerConfig& conf, const ConfigKey& key, const Json::Value& v) {
    switch (key.form) {
        case Form::BoolIfPresent:
            conf.*std::get<bool RunnerConfig::*>(key.target) = true;
            [[fallthrough]];
        case Form::Bool:
            readBool(v, conf.*std::get<bool RunnerConfig::*>(key.target));
            break;
        case Form::Int:
            readInt(v, conf.*std::get<int RunnerConfig::*>(key.target));
            break;
        case Form::DayDelay:
            readDayDelay(v, conf.*std::get<int RunnerConfig::*>(key.target));
            break;
        case Form::SourceSystem:
            if (!conf.azsIdentOverride) break;
            [[fallthrough]];
        case Form::String:
            if (v.isString())
                conf.*std::get<std::string RunnerConfig::*>(key.target) = v.asString();
            break;
        case Form::NonEmpty:
            if (v.isString() && !v.asString().empty())
                conf.*std::get<std::string RunnerConfig::*>(key.target) = v.asString();
            break;
        case Form::BothLogNames:
            if (v.isString()) conf.debugSentFile = conf.debugRecvFile = v.asString();
            break;
    }
}

void applyCorrections(RunnerConfig& c) {
    if (c.sendRecvTimeout < 0) c.sendRecvTimeout = c.connectTimeout;
    const int batchFloor = static_cast<int>(
        std::clamp<long long>(3LL * c.sendRecvTimeout, 40, INT_MAX));  // max(3 x, 40)
    if (c.sendRecvTaskTimeout < 0) c.sendRecvTaskTimeout = batchFloor;
    if (c.sendRecvOffSyncTimeout < 0) c.sendRecvOffSyncTimeout = batchFloor;
    if (c.retryCount < 1) c.retryCount = 2;
    if (c.retryTaskCount < 1) c.retryTaskCount = 2;
    if (c.retryOffSyncCount < 1) c.retryOffSyncCount = 2;
}

}  // namespace

void readRunnerConfig(RunnerConfig& conf, const Json::Value& doc) {
    conf.azsIdentOverride = false;  // reset before every reading
    if (doc.isObject()) {
        for (const ConfigKey& key : configKeys) {
            const Json::Value& v = doc[key.name];
            if (!v.isNull()) readKey(conf, key, v);
        }
    }
    applyCorrections(conf);
}

Json::Value runnerConfigDefaults() {
    const RunnerConfig defaults;
    Json::Value doc(Json::objectValue);
    for (const ConfigKey& key : configKeys) {
        Json::Value& value = doc[key.name];
        if (key.form != Form::BothLogNames)
            std::visit([&](auto member) { value = defaults.*member; }, key.target);
    }
    return doc;
}
