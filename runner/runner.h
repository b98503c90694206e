// zelvanRunner: the one object through which the server talks to the loyalty
// CRM. It owns the configuration values, the SOAP master context, the CRM
// session (credentials and token), the per-operation request/reply objects,
// the current card and the journal. It has no lock of its own: every caller
// holds the server lock around its use (sessions per command, the background
// worker around its calls), so no two operations overlap.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <exception>
#include <string>

#include "runner/config.h"

struct soap;

// Fatal start-up error of the runner; the text is the message, optionally
// followed by ": " and the system's text for the current errno.
class zelvanException : public std::exception {
public:
    zelvanException(const std::string& message, bool incSysMsg = false);
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class zelvanRunner {
public:
    zelvanRunner() = default;
    ~zelvanRunner();
    zelvanRunner(const zelvanRunner&) = delete;
    zelvanRunner& operator=(const zelvanRunner&) = delete;

    // Paths and version handed over by the server before configuration. The
    // version is stored by the first call with a non-null text only.
    void _set_runner_version(const char* text);
    void set_soaplog_path(const char* path);
    void set_dbfile(const char* path);

    // Creates the SOAP master context when there is none and returns it.
    struct soap* initFramework();
    // Reads the configuration document and starts: journal, message logs,
    // TLS, the first connection check. Returns the check's result (0 = the
    // CRM answered), 0 at once when already initialised. Throws
    // zelvanException on a fatal start-up error.
    int InitZvnCRM(const Json::Value& conf);
    // Releases everything, closes the journal; returns 0.
    int endZvnCRM();

    // Configuration, as read by InitZvnCRM. String getters return a null
    // pointer for an empty value.
    const RunnerConfig& config() const { return conf_; }
    const char* getUserID() const { return cstr(conf_.userId); }
    const char* getUserPass() const { return cstr(conf_.userPass); }
    const char* getSessionType() const { return cstr(sessionType_); }
    const char* getToken() const { return cstr(token_); }
    const char* getEndPoint() const { return cstr(conf_.connectionString); }
    void setUserID(const char* v) { assign(conf_.userId, v); }
    void setUserPass(const char* v) { assign(conf_.userPass, v); }
    void setSessionType(const char* v) { assign(sessionType_, v); }
    void setToken(const char* v) { assign(token_, v); }
    void setEndPoint(const char* v) { assign(conf_.connectionString, v); }
    void setTerminal(const char* v) { assign(conf_.terminal, v); }
    void setLocation(const char* v) { assign(conf_.location, v); }
    void setSourceSystem(const char* v) { assign(conf_.sourceSystem, v); }
    const char* getTerminal() const { return cstr(conf_.terminal); }
    const char* getLocation() const { return cstr(conf_.location); }
    const char* getSourceSystem() const { return cstr(conf_.sourceSystem); }
    const char* certfile() const { return cstr(conf_.certFilePath); }
    const char* keyfile() const { return cstr(conf_.certKeyFile); }
    const char* keypass() const { return cstr(conf_.certKeyPassword); }
    const char* capath() const { return cstr(conf_.certsCAPath); }
    const char* randfile() const { return cstr(conf_.randomDataPath); }
    const char* version() const { return cstr(version_); }
    const char* soaplogPath() const { return cstr(soaplogPath_); }
    const char* dbfile() const { return cstr(conf_.dbPath); }

    const std::string& JsonRoot() const { return conf_.pmtJsonRootName; }
    bool useJsonRoot() const { return conf_.checkPmtJsonRoot; }
    // True when the root check is off; false when the root name is empty;
    // otherwise whether the request object has a member of that name.
    bool isJsonRoot(const Json::Value& request) const;

    bool azsIdentOverride() const { return conf_.azsIdentOverride; }
    bool debugErrInfoEnabled() const { return conf_.debugErrInfoEnable; }
    int getProductIdLenght() const { return conf_.productIdLength; }
    int getProductTrimLenght() const { return conf_.productTrimLength; }
    bool isProductZeroFilled() const { return conf_.productIdZeros && conf_.productIdLength > 0; }
    bool isProductZeroTrim() const { return conf_.productTrimZeros; }
    int getFlushTimeout() const { return conf_.backgndFlushPeriod; }
    int getOfflineCheckTimeout() const { return conf_.offlineCheckPeriod; }
    bool isAutosyncDailyEnabled() const { return conf_.autosyncDailyEnable; }
    int AutosyncDelay() const { return conf_.autosyncDailyDelay % 86400; }
    const std::string& AutosyncLastDayStr() const { return autosyncLastDay_; }
    void AutosyncLastDayStr(const char* day) {
        if (day != nullptr) autosyncLastDay_ = day;
    }

    // Each clear operation deletes its operation's request, reply and proxy.
    void clearConnInfo();
    void clearCardInfo();
    void clearOrderInfo();
    void clearHoldInfo();
    void clearUnHoldInfo();
    void clearStornInfo();
    void clearBatchInfo();
    // Deletes the current card (unless it is self-owned).
    void clearInfo();

    // State flags.
    bool isInitialized() const { return initialized_; }
    bool isConnected() const { return connected_; }
    bool isOnline() const { return online_; }
    bool isCmdOffline() const { return cmdOffline_; }
    bool NetStatus() const { return netStatus_; }

private:
    static const char* cstr(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
    static void assign(std::string& member, const char* v) {
        member.clear();
        if (v != nullptr) member = v;
    }

    RunnerConfig conf_;
    std::string soaplogPath_;
    std::string version_;
    std::string token_;
    int64_t tokenTime_ = 0;
    std::string sessionType_ = "Stateless";
    std::string autosyncLastDay_;

    bool initialized_ = false;
    bool connected_ = false;
    bool online_ = false;
    bool cmdOffline_ = false;
    bool netStatus_ = false;
};
