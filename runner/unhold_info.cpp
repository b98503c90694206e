// Releasing held points: the Unhold_Points request built from the fields of
// the hold the runner still holds and the "HoldReturn" command (or the
// request the undo builds), the call with the CRM's codes mapped into the
// reply, and the answers without the CRM. A release is always answered as
// done when the CRM cannot be reached; it is neither journalled nor queued.
#include <iterator>

#include "common/convert.h"
#include "common/log.h"
#include "runner/call.h"
#include "runner/cardinfo.h"
#include "runner/request_rules.h"
#include "runner/runner.h"
#include "runner/slots.h"
#include "runner/transact_answers.h"
#include "runner/transact_rules.h"

namespace {

using K = MemberKind;
const MemberRule kTransactMembers[] = {{"ID", K::Text}, {"Location", K::Text}};
// The members of a release request and their types besides those all
// transactions share; a request with a member of another type is refused
// before anything is sent.
const MemberRule kReleaseMembers[] = {objectRule("Transact", kTransactMembers)};

enum class ReleaseEffect {
    Released,  // "InfoMsg" from the CRM
    Refused,   // "Status" "R"
    Other      // answered offline: the points come back later
};

const struct ReleaseCode {
    int code;
    const char* errMsg;
    ReleaseEffect effect;
} kReleaseCodes[] = {
    {0, kSuccessText, ReleaseEffect::Released},
    {1, "Не найдена запись холдирования", ReleaseEffect::Refused},
    {2, "Внутренняя ошибка", ReleaseEffect::Refused},
};
// Any other code, negative ones included.
const ReleaseCode kOtherReleaseCode = {-1, "Выявлена ошибка", ReleaseEffect::Other};

// The system's own spelling, kept as it is.
const char kReturnLaterInfo[] =
    "Извините за временные неудобства: Зарезераированные бонусы будут возвращены Вам в "
    "ближайшее время";

// A failed attempt: the release counts as done offline.
const FailureAnswer kReleaseFailure = {
    {nullptr, "Выполнение операции (offline), Обслуживание временно ограничено", kNoLinkInfo},
    {nullptr, "Выполнение операции (offline), Нет связи",
     "Извините за временные неудобства: у нас не работает связь. Заблокированные бонусы будут "
     "доступны Вам в ближайшее время"},
};

// Offline mode: answered from the stored "HoldReturn" request ("связь." is
// followed by no blank in the system's text).
const OfflineTexts kReleaseOffline = {
    "HoldReturn",
    "Операция выполнена (offline)",
    "Извините за временные неудобства: у нас не работает связь.Ранее заблокированные бонусы "
    "будут доступны Вам в ближайшее время",
    "Выполнение offline запроса : ",
    "Не найдена запись холдирования",
    "Ошибка выполнения операции отмены холдирования",
};

}  // namespace

void zelvanRunner::clearUnHoldInfo() {
    slots_->unhold.clear();
}

int zelvanRunner::mkUnHoldRequest(const Json::Value& request) {
    clearUnHoldInfo();
    // The points total is the hold's or the purchase's: left as it is.
    const int started =
        startTransactRequest(request, kReleaseMembers, std::size(kReleaseMembers), false);
    if (started != 0) return started;
    zelvanCardInfo& c = *cardInfo();

    // The hold still held gives the defaults; the request overrides them.
    hold::UnholdPointsInput* in = slots_->unhold.create();
    in->SourceSystem = conf_.sourceSystem;
    if (const hold::HoldPointsInput* held = slots_->hold.get()) {
        in->LOYCardNumber = held->LOYCardNumber;
        in->GasStationId = held->GasStationId;
        in->OrderNumber = held->OrderNumber;
        in->SourceSystem = held->SourceSystem;
    }
    // The request's or the card's number; the hold's only when neither
    // knows one, so that the release still names the card it was made for.
    const std::string cardNum = takeCardNumber(c, request);
    if (!cardNum.empty()) in->LOYCardNumber = cardNum;
    takeCardHash(c, request);  // kept on the card: the release sends no hash

    const std::string order = takeOrderNumber(c, request);
    if (!order.empty()) in->OrderNumber = order;
    const Json::Value& t = memberOf(request, "Transact");
    if (t.isObject()) {
        const std::string station = stationIdent(conf_, t["Location"], conf_.location);
        if (!station.empty()) in->GasStationId = station;
    }
    return 0;
}

int zelvanRunner::runUnHoldInfo(Json::Value& out, bool offline) {
    hold::UnholdPointsInput* in = slots_->unhold.get();
    if (!master_ || in == nullptr) return -1;
    Json::Value reply(Json::objectValue);
    online_ = false;
    if (offline) {
        const int result = offlineAnswer(reply, cardInfo(), kReleaseOffline);
        setRunState(PROC_STATE_HOLD_RELEASED, true);
        out = reply;
        return result;
    }

    CrmCall call(*this, interactiveSettings(conf_));
    awaitingReply(reply, "Ожидание ответа от сервера на резервирование бонусов");
    const int rc = call.run(
        &hold::HoldPointsProxy::UnholdPoints, in, [this] { cmdOffline_ = false; },
        [&](const hold::PointsOutput& r) { mapUnHoldReply(reply, r); },
        [&](int failed) {
            transactAttemptFailed(reply, failed, call, kReleaseFailure, [this] {
                setRunState(PROC_STATE_HOLD_RELEASED, true);
                return true;
            });
        });
    out = reply;
    return rc;
}

void zelvanRunner::mapUnHoldReply(Json::Value& reply, const hold::PointsOutput& r) {
    const std::string& info = crm::text(r.InfoMessage);
    transactAnswered(reply, info);
    const int code = atoiClamp(crm::text(r.ErrorCode));  // an empty code counts as 0
    reply["err"] = code;
    const ReleaseCode& row = codeRow(kReleaseCodes, code, kOtherReleaseCode);
    reply["errMsg"] = row.errMsg;
    switch (row.effect) {
        case ReleaseEffect::Released:
            if (!info.empty()) reply["InfoMsg"] = info;
            break;
        case ReleaseEffect::Refused:
            reply["Status"] = "R";
            break;
        case ReleaseEffect::Other:
            reply["Offline"] = "1";
            reply["InfoMsg"] = kReturnLaterInfo;
            online_ = false;
            cmdOffline_ = true;
            break;
    }
    putPointsReply(reply, r);
    setRunState(PROC_STATE_HOLD_RELEASED, true);
}
