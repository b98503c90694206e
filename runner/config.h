// The runner's configuration values: one member per configuration key, with
// the defaults the runner starts with, and the reader that takes them from
// the configuration document.
#pragma once

#include <json/json.h>

#include <string>

struct RunnerConfig {
    bool daemonNeedConnect = false;
    bool checkPmtJsonRoot = true;
    std::string pmtJsonRootName;
    bool azsIdentOverride = false;
    std::string sourceSystem = "VURIV";
    std::string terminal;
    std::string location;
    std::string connectionString;
    bool useTLS = true;
    std::string certFilePath;
    std::string certsCAPath;
    std::string certKeyFile;
    std::string certKeyPassword;
    std::string randomDataPath;
    std::string userId;
    std::string userPass;
    int connectTimeout = 5;
    int sendRecvTimeout = 10;
    int retryCount = 2;
    int backgndFlushPeriod = 900;
    int offlineCheckPeriod = 900;
    int sessionTokenTTL = 300;
    bool debugErrInfoEnable = false;
    bool debugEnable = false;
    std::string debugSentFile = "soap_SENT.log";
    std::string debugRecvFile = "soap_RECV.log";
    std::string debugTestFile = "soap_TEST.log";
    int productIdLength = 0;
    int productTrimLength = 1;
    bool productIdZeros = false;
    bool productTrimZeros = false;
    std::string dbPath;  // the server's default journal path until configured
    bool autosyncDailyEnable = true;
    bool autosyncShiftEnable = false;
    int autosyncDailyDelay = 0;
    int sendRecvTaskTimeout = 40;
    int retryTaskCount = 2;
    int sendRecvOffSyncTimeout = 0;
    int retryOffSyncCount = 2;
};

// Reads every key of the configuration document in the runner's order; a
// missing or null member keeps the current value; then applies the
// corrections of out-of-range time-outs and retry counts.
void readRunnerConfig(RunnerConfig& conf, const Json::Value& doc);

// Every key the runner reads, with the value it starts with (DebugFile, which
// only names two other keys' files, has none: null). The sample configuration
// file of the package is checked against it.
Json::Value runnerConfigDefaults();
