// The runner's life cycle: paths, configuration, journal, SOAP message logs,
// TLS, the first connection check, and teardown.
#include "runner/runner.h"

#include <cerrno>
#include <cstring>

#include "common/json_util.h"
#include "common/log.h"
#include "plugin/logging.h"
#include "runner/slots.h"
#include "runner/soap/crm_soap.h"
#include "storage/pairvalue.h"

namespace {

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

}  // namespace

zelvanException::zelvanException(const std::string& message, bool incSysMsg) : message_(message) {
    if (incSysMsg) {
        message_.append(": ");
        message_.append(strerror(errno));
    }
}

void zelvanRunner::MasterDeleter::operator()(struct soap* ctx) const {
    crm::SoapDeleter()(ctx);
}

void zelvanRunner::CardDeleter::operator()(zelvanCardInfo* card) const {
    if (!card->self_owned()) delete card;  // a self-owned card belongs to its creator
}

void zelvanRunner::FileCloser::operator()(FILE* f) const {
    fclose(f);
}

zelvanRunner::zelvanRunner() : slots_(std::make_unique<RunnerSlots>()) {}

zelvanRunner::~zelvanRunner() {
    releaseAll();
    db_.close();
}

void zelvanRunner::_set_runner_version(const char* text) {
    if (version_.empty() && text != nullptr) version_ = text;
}

void zelvanRunner::set_soaplog_path(const char* path) {
    assign(soaplogPath_, path);
}

void zelvanRunner::set_dbfile(const char* path) {
    assign(conf_.dbPath, path);
}

bool zelvanRunner::isJsonRoot(const Json::Value& request) const {
    if (!conf_.checkPmtJsonRoot) return true;
    if (conf_.pmtJsonRootName.empty()) return false;
    return request.isObject() && request.isMember(conf_.pmtJsonRootName);
}

void zelvanRunner::setCard(zelvanCardInfo* card) {
    if (card == nullptr || card == card_.get()) return;
    card_.reset(card);
}

zelvanCardInfo& zelvanRunner::currentCard() {
    if (!card_) {
        auto card = std::make_unique<zelvanCardInfo>();
        card->_change_own_state(false);
        card_.reset(card.release());  // runner-owned from here on
    }
    return *card_;
}

void zelvanRunner::clearInfo() {
    card_.reset();
}

struct soap* zelvanRunner::initFramework() {
    if (!master_) {
        master_.reset(soap_new1(crm::kClientMode));
        if (!master_) throw zelvanException("Ошибка инициализации модуля ZelvanCRM");
    }
    return master_.get();
}

int zelvanRunner::InitZvnCRM(const Json::Value& conf) {
    if (initialized_) return 0;
    if (!master_) initFramework();
    readRunnerConfig(conf_, conf);
    master_->connect_timeout = conf_.connectTimeout;
    master_->send_timeout = master_->recv_timeout = conf_.sendRecvTimeout;
    setUpMessageLogs();
    openJournal();
    setUpTls();

    Json::Value check(Json::objectValue);
    const int rc = runConnInfo(check);
    if (rc != 0 && conf_.daemonNeedConnect) {
        std::string msg = "ERROR: Ошибка инициализации модуля работы ZelvanCRM : [" +
                          Jval2Str(check["err"]) + "]";
        if (check["errMsg"].isString()) msg += " : " + check["errMsg"].asString();
        throw zelvanException(msg);
    }
    initialized_ = true;
    if (rc == -1 || rc == 28) logLine("Не удалось получить ответ от сервера ZelvanCRM");
    logLine(std::string("Статус соединения : ( Connected = ") +
            (connected_ ? " TRUE )" : " FALSE )"));
    logLine(std::string("Демон инициализирован в режиме ") + (online_ ? "ONLINE" : "OFFLINE"));
    return rc;
}

// Sent and received messages go to files of the SOAP log directory. The
// library's own trace log needs a debug build of gSOAP and is not written.
void zelvanRunner::setUpMessageLogs() {
    sentLog_.reset();
    recvLog_.reset();
    if (!conf_.debugEnable || soaplogPath_.empty()) return;
    auto open = [&](const std::string& name) -> FILE* {
        if (name.empty()) return nullptr;
        const std::string path = soaplogPath_ + "/" + name;
        FILE* f = fopen(path.c_str(), "a");
        if (f != nullptr) setvbuf(f, nullptr, _IOLBF, 0);
        return f;
    };
    recvLog_.reset(open(conf_.debugRecvFile));
    sentLog_.reset(open(conf_.debugSentFile));
    if (soap_lookup_plugin(master_.get(), logging_id) == nullptr)
        soap_register_plugin(master_.get(), logging);
    soap_set_logging_inbound(master_.get(), recvLog_.get());
    soap_set_logging_outbound(master_.get(), sentLog_.get());
}

void zelvanRunner::openJournal() {
    logLine("Инициализация локальной БД для ZelvanCRM");
    db_.setDBPath(conf_.dbPath.c_str());
    db_.setAzsIdentOverride(conf_.azsIdentOverride);
    db_.setConfigLocationId(conf_.location);
    db_.setConfigTerminalId(conf_.terminal);
    const char* path = db_.getDBPath();
    const std::string shown = std::string("[ ") + (path != nullptr ? path : " - ") + " ]";
    const bool exists = storage::zelvanDb::dbExists(path);
    if (exists) {
        logLine("Открытие БД : " + shown);
        db_.open();
    } else {
        logLine("Создание новой БД : " + shown);
        db_.initDb();
    }
    if (db_.err() != 0)
        throw zelvanException(std::string("ERROR: Ошибка инициализации БД : ") + db_.errMsg());
    if (exists && db_.UpgradeDb() != 0)
        throw zelvanException(std::string("ERROR: Ошибка обновления БД : ") + db_.errMsg());
    storage::PairValue versionPair;
    versionPair.set_name("version");
    versionPair.set_value(version_.c_str());
    db_.setStatesVal(versionPair);
    logLine("Успешно");
}

void zelvanRunner::setUpTls() {
    if (!conf_.useTLS) return;
    logLine("Инициализация SSL/TLS");
    auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    struct soap* m = master_.get();
    if (soap_ssl_client_context(m, SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION,
                                orNull(conf_.certKeyFile), orNull(conf_.certKeyPassword),
                                orNull(conf_.certFilePath), orNull(conf_.certsCAPath),
                                orNull(conf_.randomDataPath)) == SOAP_OK)
        return;
    std::string msg = "ERROR: Ошибка инициализации SSL/TLS";
    if (m->error != 0) msg += " : [" + std::to_string(m->error) + "]";
    const char* fault = soap_fault_string(m);
    if (fault != nullptr && *fault != '\0') msg += std::string(" : ") + fault;
    const char* detail = soap_fault_detail(m);
    if (detail != nullptr && *detail != '\0') msg += std::string(" : Detail :") + detail;
    throw zelvanException(msg);
}

void zelvanRunner::releaseAll() {
    card_.reset();
    slots_ = std::make_unique<RunnerSlots>();
    master_.reset();
    sentLog_.reset();
    recvLog_.reset();
}

int zelvanRunner::endZvnCRM() {
    releaseAll();
    initialized_ = online_ = connected_ = false;
    db_.close();
    return 0;
}

