// The journalled commands: the request is journalled before the CRM is
// called and the reply after it, so that a purchase answered as accepted
// (online or offline) is on disk before the cash register reads the reply.
#include <functional>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "runner/transact_rules.h"
#include "server/envelope.h"
#include "server/handlers.h"
#include "server/server.h"
#include "storage/status.h"

namespace {

void logStep(const std::string& msg) {
    log(threadPrefix() + msg, LOG_STREAM, !detach);
}

// The journal steps around the run operation `run` of a purchase or a
// reversal whose request was built on the current card. A request that
// cannot be journalled is not sent: nothing is accepted that the journal
// does not hold. Returns the run operation's result.
int runJournalled(Json::Value& commandObject, const std::string& name, Json::Value& reply,
                  const std::function<int(Json::Value&)>& run, bool purchase) {
    zelvanCardInfo* card = pRun->cardInfo();
    bool journalled = false;
    if (card != nullptr) {
        card->saveQueryBuf(commandObject);
        logStep("Сохранение запроса в БД");
        const int status = pRun->Storage().InsRequest(card->TransactDB(), commandObject);
        journalled = status == storage::DB_DONE;
        if (!journalled) {
            logStep("Статус сохранения : " + std::to_string(status));
            reply[name] = errorMember("-1", requestErrorText(-1));
            return -1;
        }
    }
    const int rc = run(reply[name]);
    if (card != nullptr) {
        logStep("Сохранение ответа на запрос в БД");
        const int status = pRun->Storage().UpdRespond(card->TransactDB(), reply, rc);
        logStep("Статус сохранения : " + std::to_string(status));
        if (purchase && journalled) card->setRunState(PROC_STATE_PURCHASE_COMPLETED);
    }
    return rc;
}

}  // namespace

void cmdPayBonus(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    pRun->clearOrderInfo();
    reply[name]["err"] = "-1";
    pRun->jsonOrderRequestCorrelate(commandObject);
    const int built = pRun->mkOrderRequest(commandObject[name]);
    if (built != 0) {
        reply[name]["errMsg"] = requestErrorText(built);
        return;
    }
    runJournalled(
        commandObject, name, reply,
        [](Json::Value& r) { return pRun->runOrderInfo(r, pRun->isCmdOffline()); }, true);
}

void cmdPayReturn(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    pRun->clearStornInfo();
    reply[name]["err"] = "-1";
    // A reversal without its UTC time gets the current one, also in the
    // stored request.
    Json::Value& request = commandObject[name];
    if (memberOf(request, "Transact").isObject() &&
        Jval2Str(request["Transact"]["DateTimeUTC"]).empty())
        request["Transact"]["DateTimeUTC"] = DayTimeUTC_string(nullptr);
    if (pRun->mkStornRequest(request) != 0) {
        reply[name]["errMsg"] = requestErrorText(-1);
        return;
    }
    runJournalled(
        commandObject, name, reply,
        [](Json::Value& r) { return pRun->runStornInfo(r, pRun->isCmdOffline()); }, false);
}

void cmdUndo(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    reply[name]["err"] = "-1";
    if (pRun->mkUndoRequest(commandObject[name]) != 0) {
        reply[name]["errMsg"] = requestErrorText(-1);
        return;
    }
    pRun->runUndo(reply[name], pRun->isCmdOffline());
}
