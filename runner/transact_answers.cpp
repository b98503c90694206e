// The answers the loyalty transactions share, and the steps of a call that
// the CRM answered and of a failed attempt.
#include "runner/transact_answers.h"

#include "common/json_util.h"
#include "common/log.h"
#include "runner/call.h"
#include "runner/cardinfo.h"
#include "runner/runner.h"
#include "runner/transact_rules.h"

const char kSuccessText[] = "Успешное выполнение операции";
const char kSavedOfflineText[] = "Сохранение операции (offline)";
const char kLaterInfo[] =
    "Извините за временные неудобства: Бонусы за покупку будут начислены Вам в ближайшее время";
const char kNoLinkInfo[] =
    "Извините за временные неудобства: у нас не работает связь. Бонусы за покупку будут "
    "начислены Вам в ближайшее время";
const FailureAnswer kSpendingFailure = {
    {"Обслуживание временно ограничено. Списание бонусов недоступно. Повторите попытку оплаты "
     "или отмените списание бонусов.",
     "Сохранение операции (offline), Обслуживание временно ограничено", kNoLinkInfo},
    {"Нет связи. Списание бонусов недоступно. Повторите попытку оплаты или отмените списание "
     "бонусов.",
     "Сохранение операции (offline), Нет связи", kNoLinkInfo},
};

void awaitingReply(Json::Value& reply, const char* waitingLine) {
    reply["err"] = "-1";
    reply["errMsg"] = "Отсутствует соединение";
    log(waitingLine, LOG_STREAM, logConsole());
}

void zelvanRunner::transactAnswered(Json::Value& reply, const std::string& info) {
    online_ = netStatus_ = true;
    putQrCardFields(reply, cardInfo());
    putContactFields(reply, cardInfo());
    reply["err"] = "0";
    reply["errMsg"] = kSuccessText;
    reply["Status"] = "A";
    reply["Offline"] = "0";
    if (!info.empty()) reply["zvnInfoMsg"] = info;
}

bool storedCommand(const zelvanCardInfo* card, const char* name, Json::Value& params) {
    if (card == nullptr) return false;
    Json::Value stored;
    const std::string& text = card->getQueryBuf();
    if (text.empty() || !parseJsonRequest(text, stored) || !stored.isObject() || stored.empty() ||
        stored.getMemberNames().front() != name)
        return false;
    // A stored command that is not an object cannot carry the reply.
    if (stored[name].isObject()) params = stored[name];
    return true;
}

OfflineTexts savedOfflineTexts(const char* command) {
    return {command,
            "Успешное выполнение операции (offline)",
            kNoLinkInfo,
            "Сохранение offline запроса : ",
            "Не указан номер карты",
            "Нельзя сохранить чек. Проверьте статус карты"};
}

int offlineAnswer(Json::Value& reply, const zelvanCardInfo* card, const OfflineTexts& texts) {
    int result = card != nullptr ? 4 : 1;
    if (storedCommand(card, texts.command, reply)) result = 0;
    reply["Offline"] = "1";
    reply["err"] = std::to_string(result);
    reply["Status"] = "R";
    if (result == 0) {
        reply["errMsg"] = texts.accepted;
        reply["InfoMsg"] = texts.info;
        reply["Status"] = "A";
        std::string text = card->getQueryBuf();
        if (!text.empty() && text.back() == '\n') text.pop_back();
        log(texts.logTitle + ("\"" + text + "\""), LOG_STREAM, logConsole());
    } else {
        reply["errMsg"] = result == 1 ? texts.noCard : texts.unusable;
    }
    putQrCardFields(reply, card);
    putContactFields(reply, card);
    return result;
}

void putPointsReply(Json::Value& reply, const hold::PointsOutput& r) {
    const struct {
        const char* key;
        const std::string* value;
    } members[] = {
        {"CardNum", r.LOYCardNumber},
        {"PointsBefore", r.PointsBefore},
        {"PointsAfter", r.PointsAfter},
    };
    for (const auto& m : members)
        if (!crm::text(m.value).empty()) reply[m.key] = *m.value;
}

void zelvanRunner::transactAttemptFailed(Json::Value& reply, int rc, CrmCall& call,
                                         const FailureAnswer& answer,
                                         const std::function<bool()>& accepted) {
    zelvanCardInfo* c = cardInfo();
    reply["Offline"] = "1";
    online_ = false;
    cmdOffline_ = true;
    reply["err"] = std::to_string(rc);
    auto answerWith = [&](const FailureTexts& texts) {
        reply["Status"] = "A";
        if (texts.refused != nullptr) reply["errMsg"] = texts.refused;
        if (accepted()) {
            reply["err"] = "0";
            reply["errMsg"] = texts.accepted;
            reply["InfoMsg"] = texts.info;
        }
        putContactFields(reply, c);
        netStatus_ = false;
    };
    call.putFault(reply, conf_.debugErrInfoEnable);
    answerWith(answer.service);
    call.refreshToken();
    if (crm::noConnection(rc)) answerWith(answer.noLink);
}
