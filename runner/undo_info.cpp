// Undo of the last operation of a cheque: the journal's newest record and
// the execution state decide what is cancelled; a purchase is reversed (and
// the reversal journalled), held points are released.
#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "runner/cardinfo.h"
#include "runner/runner.h"
#include "runner/transact_rules.h"
#include "storage/status.h"
#include "storage/transactdb.h"

namespace {

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

// The results of an undo and their texts.
enum UndoResult { UNDO_DONE = 0, UNDO_NOTHING = 1, UNDO_REVERSAL = 2, UNDO_NOT_REGISTERED = 3 };

const struct {
    int result;
    const char* errMsg;
} kUndoTexts[] = {
    {UNDO_DONE, "Успешное завершение операции"},
    {UNDO_NOTHING, "Отсутствует операция с данным номером заказа для отмены"},
    {UNDO_REVERSAL, "К операции возврата отмену применить нельзя"},
    {UNDO_NOT_REGISTERED, "Ошибка регистрации отмены в локальной базе"},
};
const char kUndoFailed[] = "Ошибка выполнения операции отмены";

const char* undoText(int result) {
    for (const auto& t : kUndoTexts)
        if (t.result == result) return t.errMsg;
    return kUndoFailed;
}

// The undo's result from the cancelling call's: answered (or accepted
// offline) counts as done.
int fromCall(int rc) {
    return rc == 0 || rc == -1 || rc == 28 ? UNDO_DONE : UNDO_NOT_REGISTERED;
}

}  // namespace

int zelvanRunner::mkUndoRequest(const Json::Value& request) {
    cmdOffline_ = false;
    if (!master_) return -1;
    zelvanCardInfo& c = currentCard();
    c._change_own_state(false);
    c.setChequeNum(nullptr);
    c.setChequeId(nullptr);
    const std::string cheque = memberText(request, "CheckNum");
    if (!cheque.empty()) c.setChequeNum(cheque.c_str());
    takeContactFields(c, request);
    if (isOfflineYes(memberText(request, "Offline")) || !netStatus_) cmdOffline_ = true;
    logLine("Поиск последних операций начисления/списания бонусов для транзакции '" + cheque + "'");

    storage::TransactDBList latest;
    db_.get_latestSaved_record(&latest, nullptr, nowDateTime2Str(nullptr));
    const storage::TransactDB* rec = latest.empty() ? nullptr : latest[0].get();
    if (rec != nullptr && rec->OperType() != storage::OPER_PURCHASE) {
        logLine(
            "Последняя операция не является операцией начисления/списания бонусов - Отмена не "
            "будет выполнена");
        rec = nullptr;
    }
    if (rec == nullptr) {
        logLine("Отсутствуют текущие операции для отмены по транзакции '" + cheque + "'");
        setRunState(PROC_STATE_INITIAL, true);
        c.TransactDB_free();
        return 0;
    }
    if (rec->ChequeID() != nullptr) {
        const std::string found = rec->ChequeID();
        const std::string key = rec->ID() ? rec->ID() : "";
        if (found != cheque) {
            logLine("Найденная запись c операцией по транзакции '" + found +
                    "' не сответствует номеру отменяемой транзакции " + cheque +
                    " - отмена невозможна");
            setRunState(PROC_STATE_INITIAL, true);
        } else {
            setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
            logLine("Найдена запись c транзакцией " + key + " для возможной отмены");
            storage::TransactDBList queued;
            db_.get_offlineSaved_record(&queued, key);
            // A purchase that has not been sent yet is cancelled offline too.
            if (!queued.empty()) cmdOffline_ = true;
            logLine("Проверка существующей записи на состояние OFFLINE : " +
                    (queued.empty() ? std::string("отсутствует")
                                    : "Найдена offline запись c ID '" + key + "'"));
        }
    }
    if (rec->Request() != nullptr) c.saveQueryBuf(std::string(rec->Request()));
    c.TransactDB_new(rec);
    return 0;
}

int zelvanRunner::runUndo(Json::Value& out, bool offline) {
    const ClockReading now = readClock();
    zelvanCardInfo* c = cardInfo();
    if (!master_ || c == nullptr) return -1;
    c->_change_own_state(false);
    Json::Value reply(Json::objectValue);
    int result = UNDO_NOTHING;
    bool refused = c->getChequeNum() == nullptr;
    logLine("Cостояние выполнения " + std::to_string(runState_));
    const __ProcExecState state = runState_;
    if (state != PROC_STATE_POINTS_HELD && state != PROC_STATE_PURCHASE_COMPLETED) refused = true;
    Json::Value stored, p;
    if (!refused) {
        if (c->getQueryBuf().empty() || !parseJsonRequest(c->getQueryBuf(), stored) ||
            !stored.isObject() || stored.empty()) {
            refused = true;
        } else {
            const std::string first = stored.getMemberNames().front();
            const char* wanted = state == PROC_STATE_POINTS_HELD ? "HoldBonus" : "PayBonus";
            if (first != wanted) {
                refused = true;
                if (state == PROC_STATE_PURCHASE_COMPLETED && first == "PayReturn")
                    result = UNDO_REVERSAL;
            } else {
                p = stored[first];
            }
        }
    }
    // Without a transaction number the stored request must be of this cheque.
    if (!refused && Jval2Str(memberOf(memberOf(p, "Transact"), "ID")).empty()) {
        const std::string cheque = memberText(p, "CheckNum");
        if (!cheque.empty() && cheque != c->getChequeNum()) refused = true;
    }
    if (offline) reply["Offline"] = "1";
    if (refused) {
        reply["err"] = std::to_string(result);
        reply["errMsg"] = undoText(result);
        out = reply;
        return result;
    }

    // The cancelling call's reply members the undo reply shows.
    auto takeOver = [&reply](const Json::Value& r) {
        if (r.isMember("Offline")) reply["Offline"] = r["Offline"];
        if (!Jval2Str(memberOf(r, "InfoMsg")).empty()) reply["InfoMsg"] = r["InfoMsg"];
    };
    if (state == PROC_STATE_POINTS_HELD) {
        logLine("Формирование запроса на разблокировку захолдированных бонусов");
        Json::Value doc(Json::objectValue);
        Json::Value& release = doc["HoldReturn"];
        release["CheckNum"] = c->getChequeNum();
        release["Check"] = memberOf(p, "Check");
        release["Transact"] = memberOf(p, "Transact");
        if (offline) release["Offline"] = "1";
        if (mkUnHoldRequest(release) != 0) {
            result = UNDO_NOT_REGISTERED;
        } else {
            c->saveQueryBuf(doc);
            Json::Value r(Json::objectValue);
            r["err"] = "-1";
            const int rc = runUnHoldInfo(r, offline);
            result = fromCall(rc);
            if (rc == 0) {
                setRunState(PROC_STATE_HOLD_RELEASED, true);
                takeOver(r);
            }
        }
    } else {
        logLine("Формирование запроса на сторнирование покупки");
        Json::Value doc(Json::objectValue);
        Json::Value& reversal = doc["PayReturn"];
        reversal["CheckNum"] = c->getChequeNum();
        reversal["Check"] = memberOf(p, "Check");
        reversal["OrigTransact"] = memberOf(p, "Transact");
        Json::Value t = memberOf(p, "Transact");
        if (t.isNull()) t = Json::Value(Json::objectValue);
        if (t.isObject()) {
            t["DateTime"] = now.local;
            t["DateTimeUTC"] = now.utc;
            t["TimeValue"] = now.timeValue;
        }
        reversal["Transact"] = t;
        if (offline) reversal["Offline"] = "1";
        if (mkStornRequest(reversal) != 0) {
            result = UNDO_NOT_REGISTERED;
        } else {
            c->saveQueryBuf(doc);
            logLine("Сохранение запроса в БД (Undo)");
            // A reversal the journal does not hold is not sent.
            if (db_.InsRequest(c->TransactDB(), doc) != storage::DB_DONE) {
                result = UNDO_NOT_REGISTERED;
            } else {
                Json::Value r(Json::objectValue);
                Json::Value& member = r["PayReturn"];
                member["err"] = "-1";
                const int rc = runStornInfo(member, offline);
                logLine("Сохранение ответа на запрос в БД (Undo)");
                db_.UpdRespond(c->TransactDB(), r, rc);
                result = fromCall(rc);
                if (rc == 0) takeOver(member);
            }
        }
    }
    reply["err"] = std::to_string(result);
    reply["errMsg"] = undoText(result);
    out = reply;
    return result;
}
