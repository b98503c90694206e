// zelvanRunner: the one object through which the server talks to the loyalty
// CRM. It owns the configuration values, the SOAP master context, the CRM
// session (credentials and token), the per-operation request/reply objects,
// the current card and the journal. It has no lock of its own: every caller
// holds the server lock around its use (sessions per command, the background
// worker around its calls), so no two operations overlap.
#pragma once

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "runner/cardinfo.h"
#include "runner/config.h"
#include "storage/zelvandb.h"

struct soap;
struct RunnerSlots;
struct FailureAnswer;
struct MemberRule;
class CrmCall;
namespace card {
class GetInfoInput;
class GetInfoOutput;
}  // namespace card
namespace order {
class ProcOrderOutput;
}  // namespace order
namespace hold {
class PointsOutput;
}  // namespace hold

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
    zelvanRunner();
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

    // Connection check (Connection_Check): RetryCount attempts, or exactly
    // one. Fill `out` with the check's reply; return the gSOAP result of the
    // last attempt (0: the CRM answered), -1 without a master context.
    int runConnInfo(Json::Value& out);
    int runConnInfoOnce(Json::Value& out);

    // Card information (Get_Info). mkCardRequest builds the request from the
    // "CardInfo" command and fills the current card: 0 built, -99 the card
    // number is not acceptable, -98 the QR code is not, -1 no master context.
    // runCardInfo calls the CRM and fills `out` with the reply (or the
    // offline answer); it returns the result of the last attempt, -1 when it
    // cannot start (out untouched) or when the network is marked down.
    int mkCardRequest(const Json::Value& request);
    int runCardInfo(Json::Value& out);

    // Purchase (Proc_Order). jsonOrderRequestCorrelate rewrites the member
    // "PayBonus" of the command object in place (server clock, the client's
    // card fields and times kept under other names, contact fields from the
    // current card): -1 when it is missing or not an object, else 0.
    // mkOrderRequest builds the order request and the journal record on the
    // current card: 0, -99 / -98 for an unusable card number or QR code, -1
    // without a master context. runOrderInfo sends it (or, with `offline`,
    // answers from the stored request) and fills `out`: the result of the
    // last attempt, the offline answer's code, or -1 when it cannot start.
    int jsonOrderRequestCorrelate(Json::Value& request);
    int mkOrderRequest(const Json::Value& request);
    int runOrderInfo(Json::Value& out, bool offline);

    // Holds (Hold_Points) and their release (Unhold_Points).
    // jsonHoldRequestCorrelate rewrites the member "HoldBonus" of the command
    // object in place (the server's UTC time and time value, the client's
    // card fields kept, contact fields from the current card): -1, nothing
    // changed, when it is missing, not an object or has members of wrong
    // types, else 0. mkHoldRequest builds the hold, mkUnHoldRequest the
    // release from the hold still held, overridden by its own request: 0,
    // -99 / -98 for an unusable card number or QR code, kBadRequest, -1
    // without a master context. runHoldInfo and runUnHoldInfo send them (or,
    // with `offline`, answer from the stored request) and fill `out`: the
    // result of the last attempt, the offline answer's code, or -1 when they
    // cannot start.
    int jsonHoldRequestCorrelate(Json::Value& request);
    int mkHoldRequest(const Json::Value& request);
    int runHoldInfo(Json::Value& out, bool offline);
    int mkUnHoldRequest(const Json::Value& request);
    int runUnHoldInfo(Json::Value& out, bool offline);
    // Purchase reversal (Order_Storno). mkStornRequest builds the request
    // from the "PayReturn" command and the reversal's journal record on the
    // current card: 0, -2 for members of wrong types, -1 without a master
    // context. runStornInfo sends it (or, with `offline`, answers from the
    // stored request) and fills `out`; it returns the result of the last
    // attempt, the offline answer's code, or -1 when it cannot start.
    int mkStornRequest(const Json::Value& request);
    int runStornInfo(Json::Value& out, bool offline);

    // Undo of the last operation of a cheque. mkUndoRequest finds the
    // journal's newest record and prepares the card and the execution state
    // (0, -1 without a master context); runUndo sends the reversal of that
    // purchase (journalled) or the release of held points and fills `out`:
    // 0 done, 1 nothing to undo, 2 a reversal cannot be undone, 3 not
    // registered; -1 when it cannot start.
    int mkUndoRequest(const Json::Value& request);
    int runUndo(Json::Value& out, bool offline);

    // How far the transaction in progress has got; the operations mirror it
    // into the current card.
    __ProcExecState getRunState() const { return runState_; }

    // Batch synchronisation (Batch_Order_Sync) of the offline batch and of
    // task batches. One cycle: collect the set (mkBatchRequest for "Flush";
    // the background worker: the journal's getOfflineOrders, or
    // getNextSyncTask and getDaySyncOrders, then genServiceBatchRequest),
    // runBatchInfo, on its result 0 the journal's releaseOfflineSyncTask or
    // releaseDaySyncTask, and always clearOfflineSyncTemp or
    // clearDaySyncTemp. The caller holds the server lock for the whole cycle.
    //
    // Builds the request from the set (`taskBatch`: a task's batch, else the
    // offline batch); orders without goods are left out, the others copied.
    // 0 built, 254 for a missing or empty set.
    int genServiceBatchRequest(const storage::FlushOrderList* orders, bool taskBatch);
    // "Flush": with a "Date" and/or "Shift", queues `task` for them and
    // collects its batch; with neither, collects the offline batch; then
    // builds the request. 0 built, -2 nothing to send, -1 no master context,
    // no task, a refused value or a failed collection, 254 as above.
    int mkBatchRequest(const Json::Value& request, storage::TaskSync* task);
    // "SyncTask": queues a task for the request's "Date" and/or "Shift".
    // 0 queued, -1 no master context, 16 neither given or a value refused,
    // else the journal's code.
    int mkSyncTask(const Json::Value& request);
    // Sends the built batch and fills `out` with the reply; returns the
    // result of the last attempt (0: delivered, also when the CRM answered
    // an error code), -1 when it cannot start (out untouched).
    int runBatchInfo(Json::Value& out, bool taskBatch);

    // The card of the request in progress; null when there is none.
    zelvanCardInfo* cardInfo() const { return card_.get(); }
    // Replaces the current card; a null argument or the same card does
    // nothing. The runner deletes a card on replacement and at teardown
    // unless the card reports itself self-owned at that moment.
    void setCard(zelvanCardInfo* card);

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

    // The journal.
    storage::zelvanDb& Storage() { return db_; }

    // State flags.
    bool isInitialized() const { return initialized_; }
    bool isConnected() const { return connected_; }
    bool isOnline() const { return online_; }
    bool isCmdOffline() const { return cmdOffline_; }
    bool NetStatus() const { return netStatus_; }

  private:
    friend class CrmCall;

    struct MasterDeleter {
        void operator()(struct soap* ctx) const;
    };
    struct CardDeleter {
        void operator()(zelvanCardInfo* card) const;
    };
    struct FileCloser {
        void operator()(FILE* f) const;
    };

    int connCheck(Json::Value& out, int attempts);
    void mapCardReply(Json::Value& reply, const card::GetInfoOutput& response,
                      const card::GetInfoInput& request);
    void mapOrderReply(Json::Value& reply, const order::ProcOrderOutput& response,
                       __ProcExecState entry);
    void orderAttemptFailed(Json::Value& reply, int rc, __ProcExecState entry, CrmCall& call);
    int orderOfflineAnswer(Json::Value& reply);
    // The request builders' common start: the offline flag cleared, the
    // current card (made when there is none; with `resetPoints` its points
    // total 0), the request's member types, its card number and contact
    // fields, then the offline flag set by the request or a network marked
    // down. 0, -1 without a master context, kBadRequest, -98 / -99.
    int startTransactRequest(const Json::Value& request, const MemberRule* rules, size_t count,
                             bool resetPoints);
    // A transaction's call the CRM answered: the flags, the card's QR and
    // contact fields, "err" "0" with the success text, "Status" "A",
    // "Offline" "0", and a non-empty informational message as "zvnInfoMsg".
    void transactAnswered(Json::Value& reply, const std::string& info);
    void mapHoldReply(Json::Value& reply, const hold::PointsOutput& response);
    void mapUnHoldReply(Json::Value& reply, const hold::PointsOutput& response);
    // A transaction's failed attempt with result rc: the reply marked
    // offline, the flags, the fault and the texts of `answer`; `accepted`
    // moves the execution state and says whether the transaction is accepted
    // offline.
    void transactAttemptFailed(Json::Value& reply, int rc, CrmCall& call,
                               const FailureAnswer& answer, const std::function<bool()>& accepted);
    // Sets the execution state; with `toCard` the current card's too.
    void setRunState(__ProcExecState state, bool toCard);
    // Points the current transaction spends (0 without a card).
    double cardPoints() const;
    // The current card, created (runner-owned) when there is none.
    zelvanCardInfo& currentCard();
    void setUpMessageLogs();
    void setUpTls();
    void releaseAll();

    static const char* cstr(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
    static void assign(std::string& member, const char* v) {
        member.clear();
        if (v != nullptr) member = v;
    }

    // Opens, creates or upgrades the journal; throws zelvanException.
    void openJournal();

    RunnerConfig conf_;
    storage::zelvanDb db_;
    std::unique_ptr<FILE, FileCloser> sentLog_, recvLog_;  // outlive the master
    std::unique_ptr<struct soap, MasterDeleter> master_;
    std::unique_ptr<RunnerSlots> slots_;
    std::unique_ptr<zelvanCardInfo, CardDeleter> card_;
    std::string soaplogPath_;
    std::string version_;
    std::string token_;
    int64_t tokenTime_ = 0;
    std::string sessionType_ = "Stateless";
    std::string autosyncLastDay_;
    __ProcExecState runState_ = PROC_STATE_INITIAL;

    // Written under the server lock, read without it for the sessions' log
    // lines and the worker's scheduling: atomics, so those reads are sound.
    std::atomic<bool> initialized_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> online_{false};
    std::atomic<bool> cmdOffline_{false};
    std::atomic<bool> netStatus_{false};
};
