// Holding bonus points: the "HoldBonus" command stamped with the server's
// clock, the Hold_Points request built from it on the runner, the call with
// the CRM's codes mapped into the reply, the transport failures and the
// offline answer. A hold is not journalled; its request stays on the runner
// for the release.
#include <iterator>

#include "common/convert.h"
#include "common/json_util.h"
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
const MemberRule kLineMembers[] = {{"points", K::Number}};
const MemberRule kTransactMembers[] = {
    {"ID", K::Text},        {"DateTime", K::Text}, {"DateTimeUTC", K::Text},
    {"TimeValue", K::Text}, {"Location", K::Text},
};
// The members of a "HoldBonus" request and their types besides those all
// transactions share; a request with a member of another type is refused
// before anything is sent.
const MemberRule kHoldMembers[] = {
    linesRule("Check", kLineMembers),
    objectRule("Transact", kTransactMembers),
};

// What a CRM code does besides setting "errMsg".
enum class HoldEffect {
    Held,            // the points are held
    Refused,         // "Status" "R"
    RefusedOffline,  // refused, and the runner no longer counts as online
    Busy,            // answered offline; saved when it holds no points
    Other            // answered offline with the apology
};

const struct HoldCode {
    int code;
    const char* errMsg;
    HoldEffect effect;
} kHoldCodes[] = {
    {0, kSuccessText, HoldEffect::Held},
    {1, "Не верно указаны обязательные параметры", HoldEffect::Refused},
    {2, "Карта в системе не найдена", HoldEffect::Refused},
    {3, "Карта Заблокирована", HoldEffect::Refused},
    {4, "Недостаточно бонусов на счету", HoldEffect::RefusedOffline},
    {5, "Разница между временем операции и текущим временем превышает допустимый лимит",
     HoldEffect::Refused},
    {6, "QR-код некорректен или просрочен", HoldEffect::Refused},
    {7, "Участник заблокирован, выполняется другая транзакция", HoldEffect::Busy},
    {8, "Некорректные входные данные", HoldEffect::Refused},
    {9, "АЗС с данным номером не существует", HoldEffect::Refused},
    {18, "Списание бонусов по статичному QR запрещено", HoldEffect::Refused},
};
// Any other code, negative ones included.
const HoldCode kOtherHoldCode = {-1, "Выявлена ошибка", HoldEffect::Other};

// Offline mode: answered from the stored "HoldBonus" request.
const OfflineTexts kHoldOffline = savedOfflineTexts("HoldBonus");

const char kCabinetInfo[] = "Бонусы за покупку можно узнать в личном кабинете";

}  // namespace

void zelvanRunner::clearHoldInfo() {
    slots_->hold.clear();
}

int zelvanRunner::jsonHoldRequestCorrelate(Json::Value& request) {
    // A request with members of wrong types is left as it came, so that the
    // request builder refuses it.
    if (!memberOf(request, "HoldBonus").isObject()) return -1;
    Json::Value& holdReq = request["HoldBonus"];
    if (!transactWellTyped(holdReq, kHoldMembers, std::size(kHoldMembers))) return -1;
    if (memberOf(holdReq, "Transact").isObject()) {
        // The client's "DateTime" stays: it is the operation's local time.
        const ClockReading now = readClock();
        Json::Value& t = holdReq["Transact"];
        keepAs(t, "DateTimeUTC", "incomeDateTimeUTC");
        t["TimeValue"] = now.timeValue;
        t["DateTimeUTC"] = now.utc;
    }
    correlateCardFields(holdReq, cardInfo());
    return 0;
}

int zelvanRunner::mkHoldRequest(const Json::Value& request) {
    clearHoldInfo();
    const int started = startTransactRequest(request, kHoldMembers, std::size(kHoldMembers), true);
    if (started != 0) return started;
    zelvanCardInfo& c = *cardInfo();
    const std::string utcNow = readClock().utc;

    hold::HoldPointsInput* in = slots_->hold.create();
    in->LOYCardNumber = takeCardNumber(c, request);
    if (!in->LOYCardNumber.empty()) in->LOYCardType = c.getCardNumberIdent();
    takeCardHash(c, request);  // kept on the card: the hold sends no hash

    in->OrderNumber = takeOrderNumber(c, request);
    for (const Json::Value& line : memberOf(request, "Check"))
        if (!line.isNull()) c.addPoints(JvalAsDouble(memberOf(line, "points")));

    const Json::Value& t = memberOf(request, "Transact");
    if (t.isObject()) {
        const std::string dateTime = paddedDateTime(memberText(t, "DateTime"));
        if (!dateTime.empty()) in->GasOperationDate = crmDateTime(dateTime);
        // The CRM is given the server's UTC time, not the client's.
        if (!memberText(t, "DateTimeUTC").empty()) in->GasOperationDateUTC = utcNow;
        in->GasStationId = stationIdent(conf_, t["Location"], conf_.location);
    }
    in->PointsAmount = dbl2str(c.Points(), 2);
    in->SourceSystem = conf_.sourceSystem;
    return 0;
}

int zelvanRunner::runHoldInfo(Json::Value& out, bool offline) {
    hold::HoldPointsInput* in = slots_->hold.get();
    if (!master_ || in == nullptr) return -1;
    Json::Value reply(Json::objectValue);
    online_ = false;
    setRunState(PROC_STATE_HOLD_IN_PROGRESS, false);
    if (offline) {
        // Accepted whatever it holds: the purchase is checked when it comes.
        const int result = offlineAnswer(reply, cardInfo(), kHoldOffline);
        if (result == 0) setRunState(PROC_STATE_POINTS_HELD, true);
        out = reply;
        return result;
    }

    CrmCall call(*this, interactiveSettings(conf_));
    awaitingReply(reply, "Ожидание ответа от сервера на резервирование бонусов");
    const bool free = cardPoints() == 0.0;
    const int rc = call.run(
        &hold::HoldPointsProxy::HoldPoints, in, [this] { cmdOffline_ = false; },
        [&](const hold::PointsOutput& r) { mapHoldReply(reply, r); },
        [&](int failed) {
            transactAttemptFailed(reply, failed, call, kSpendingFailure, [&] {
                if (free) setRunState(PROC_STATE_HOLD_IN_PROGRESS, true);
                return free;
            });
        });
    out = reply;
    return rc;
}

void zelvanRunner::mapHoldReply(Json::Value& reply, const hold::PointsOutput& r) {
    const std::string& info = crm::text(r.InfoMessage);
    transactAnswered(reply, info);
    double balance = cardInfo() != nullptr ? cardInfo()->ScorePoints() : -0.1;
    const int code = atoiClamp(crm::text(r.ErrorCode));  // an empty code counts as 0
    reply["err"] = std::to_string(code);
    const HoldCode& row = codeRow(kHoldCodes, code, kOtherHoldCode);
    reply["errMsg"] = row.errMsg;
    const bool free = cardPoints() == 0.0;
    switch (row.effect) {
        case HoldEffect::Held: {
            setRunState(PROC_STATE_POINTS_HELD, true);
            double before = 0;
            if (_stod(crm::text(r.PointsBefore), before) == 0) balance = before;
            if (!info.empty())
                reply["InfoMsg"] = info;
            else
                reply["InfoMsg"] =
                    (balance >= 0 ? "Бонусов на счету " + n2str(balance) + ": " : std::string()) +
                    kCabinetInfo;
            break;
        }
        case HoldEffect::RefusedOffline:
            online_ = false;
            [[fallthrough]];
        case HoldEffect::Refused:
            reply["Status"] = "R";
            break;
        case HoldEffect::Busy:
            reply["Offline"] = "1";
            if (free) {
                reply["err"] = "0";
                reply["errMsg"] = kSavedOfflineText;
                reply["InfoMsg"] = kLaterInfo;
                setRunState(PROC_STATE_HOLD_IN_PROGRESS, true);
            }
            online_ = false;
            cmdOffline_ = true;
            break;
        case HoldEffect::Other:
            reply["Offline"] = "1";
            reply["InfoMsg"] = kLaterInfo;
            setRunState(PROC_STATE_HOLD_IN_PROGRESS, true);
            online_ = false;
            cmdOffline_ = true;
            break;
    }
    putPointsReply(reply, r);
}
