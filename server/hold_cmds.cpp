// The hold commands: points of a card reserved for a purchase about to be
// paid, and the reservation released. Neither is journalled; the hold's
// request stays on the runner for the release.
#include "common/log.h"
#include "server/handlers.h"
#include "server/server.h"

void cmdHoldBonus(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    pRun->clearHoldInfo();
    pRun->clearUnHoldInfo();
    reply[name]["err"] = "-1";
    pRun->jsonHoldRequestCorrelate(commandObject);
    const int built = pRun->mkHoldRequest(commandObject[name]);
    if (built != 0) {
        reply[name]["errMsg"] = requestErrorText(built);
        return;
    }
    if (zelvanCardInfo* card = pRun->cardInfo()) {
        card->saveQueryBuf(commandObject);
        log(threadPrefix() + "Сохранение данных запроса холдирования бонусов", LOG_STREAM, !detach);
    }
    pRun->runHoldInfo(reply[name], pRun->isCmdOffline());
}

void cmdHoldReturn(Json::Value& commandObject, const std::string& name, Json::Value& reply) {
    pRun->clearUnHoldInfo();
    reply[name]["err"] = "-1";
    const int built = pRun->mkUnHoldRequest(commandObject[name]);
    if (built != 0) {
        reply[name]["errMsg"] = "Ошибка создания запроса";
        return;
    }
    // Offline mode answers from the stored request: it is this command's own,
    // not the document of an earlier command.
    if (zelvanCardInfo* card = pRun->cardInfo())
        card->saveQueryBuf(commandObject[name], name.c_str());
    pRun->runUnHoldInfo(reply[name], pRun->isCmdOffline());
}
