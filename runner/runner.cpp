// The runner's life cycle: paths, configuration, start-up and teardown.
#include "runner/runner.h"

#include <cerrno>
#include <cstring>

zelvanException::zelvanException(const std::string& message, bool incSysMsg) : message_(message) {
    if (incSysMsg) {
        message_.append(": ");
        message_.append(strerror(errno));
    }
}

zelvanRunner::~zelvanRunner() { endZvnCRM(); }

void zelvanRunner::_set_runner_version(const char* text) {
    if (version_.empty() && text != nullptr) version_ = text;
}

void zelvanRunner::set_soaplog_path(const char* path) { assign(soaplogPath_, path); }

void zelvanRunner::set_dbfile(const char* path) { assign(conf_.dbPath, path); }

bool zelvanRunner::isJsonRoot(const Json::Value& request) const {
    if (!conf_.checkPmtJsonRoot) return true;
    if (conf_.pmtJsonRootName.empty()) return false;
    return request.isObject() && request.isMember(conf_.pmtJsonRootName);
}

struct soap* zelvanRunner::initFramework() {
    return nullptr;  // the SOAP master context arrives with the SOAP layer
}

int zelvanRunner::InitZvnCRM(const Json::Value& conf) {
    if (initialized_) return 0;
    initFramework();
    readRunnerConfig(conf_, conf);
    initialized_ = true;
    return 0;
}

int zelvanRunner::endZvnCRM() {
    initialized_ = false;
    online_ = false;
    connected_ = false;
    return 0;
}

// The per-operation objects arrive with their operations; until then there is
// nothing to release.
void zelvanRunner::clearConnInfo() {}
void zelvanRunner::clearCardInfo() {}
void zelvanRunner::clearOrderInfo() {}
void zelvanRunner::clearHoldInfo() {}
void zelvanRunner::clearUnHoldInfo() {}
void zelvanRunner::clearStornInfo() {}
void zelvanRunner::clearBatchInfo() {}
void zelvanRunner::clearInfo() {}
