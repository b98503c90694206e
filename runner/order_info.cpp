// Purchase, sending side: Proc_Order with the call pattern, the CRM's codes
// and card statuses mapped into the "PayBonus" reply, the transport failures
// and the offline answers, and the offline mark of the journal record.
#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "runner/call.h"
#include "runner/cardinfo.h"
#include "runner/runner.h"
#include "runner/slots.h"
#include "runner/transact_answers.h"
#include "runner/transact_rules.h"
#include "storage/transactdb.h"

namespace {

// The apology of an accepted offline purchase: with two blanks after the
// colon for code 6, with one (kLaterInfo) for the others.
const char kLaterInfoWide[] =
    "Извините за временные неудобства:  Бонусы за покупку будут начислены Вам в ближайшее время";

// What a CRM code does besides setting "errMsg".
enum class OrderEffect {
    Accepted,         // success: "InfoMsg" from the CRM, purchase completed
    Refused,          // "Status" "R"; the card status is not looked at
    RefusedOffline,   // refused, and the runner no longer counts as online
    None,             // the text only
    HeldOrFree,       // accepted offline when it spends no points (held points become spent)
    ProductOffline,   // accepted offline when its points were held or it spends none
    SourceSystemText  // the text only for the source systems that know it
};

const struct OrderCode {
    int code;
    const char* errMsg;
    OrderEffect effect;
    const char* info;  // apology of an offline acceptance
} kOrderCodes[] = {
    {0, kSuccessText, OrderEffect::Accepted, nullptr},
    {1, "Не указан номер карты", OrderEffect::Refused, nullptr},
    {2, "Не указан хэш карты", OrderEffect::Refused, nullptr},
    {3, "Карта в системе не найдена", OrderEffect::Refused, nullptr},
    {4, "Нельзя сохранить чек. Проверьте статус карты", OrderEffect::RefusedOffline, nullptr},
    {5, "Не совпал хэш номера карты", OrderEffect::Refused, nullptr},
    {6, "Чек с данным номером уже существует", OrderEffect::HeldOrFree, kLaterInfoWide},
    {7, "АЗС с данным номером не существует", OrderEffect::Refused, nullptr},
    {8, "Участник заблокирован, выполняется другая транзакция", OrderEffect::HeldOrFree,
     kLaterInfo},
    {9, "Недостаточно балов для списания", OrderEffect::None, nullptr},
    {10, "Некорректный продукт", OrderEffect::ProductOffline, kLaterInfo},
    {11, "QR-код некорректен или просрочен", OrderEffect::Refused, nullptr},
    {12, "Скидка не применима к товару", OrderEffect::None, nullptr},
    {13, "Превышено количество по скидке", OrderEffect::None, nullptr},
    {14, "Абонемент не применим к товару", OrderEffect::SourceSystemText, nullptr},
    {15, "Превышено количество по абонементу", OrderEffect::None, nullptr},
    {16, "Некорректный абонемент (просрочен или неактивен)", OrderEffect::None, nullptr},
    {17, "Количество бонусов к списанию больше захолдированных", OrderEffect::None, nullptr},
    {18, "Списание бонусов по статичному QR запрещено", OrderEffect::Refused, nullptr},
};
// Any other code, negative ones included: treated as code 10, and the
// apology is given even when the purchase is not accepted.
const OrderCode kOtherOrderCode = {-1, "Выявлена ошибка", OrderEffect::ProductOffline, kLaterInfo};

const OfflineTexts kOrderOffline = savedOfflineTexts("PayBonus");

// Source systems whose subscriptions the CRM checks (code 14).
const char* const kSubscriptionSystems[] = {"VOSK", "VURIV"};

// Card statuses (ASCII letters upper-cased) and the "Status" they give.
const struct {
    const char* status;
    const char* reply;
} kCardStatuses[] = {
    {"NEW", "A"},     {"ISSUED", "A"},  {"ACTIVE", "A"},        {"ВЫДАНА", "A"},
    {"Выдана", "A"},  {"НОВАЯ", "A"},   {"Новая", "A"},         {"АКТИВНА", "A"},
    {"Активна", "A"}, {"BLOCKED", "R"}, {"ЗАБЛОКИРОВАНА", "R"}, {"Заблокирована", "R"},
};

void applyCardStatus(Json::Value& reply, std::string status) {
    toUpper(status);
    for (const auto& row : kCardStatuses)
        if (status == row.status) reply["Status"] = row.reply;
}

void putIfSet(Json::Value& obj, const char* key, const std::string* value) {
    if (value != nullptr && !value->empty()) obj[key] = *value;
}

// The CRM's order date MM/DD/YYYY HH:MM:SS as 14 digits, year first.
std::string orderDateTime(const std::string& d) {
    const size_t n = d.size();
    std::string out = d.substr(6, 4) + d.substr(0, 2) + d.substr(3, 2);
    if (n > 12) out += d.substr(11, 2);
    if (n > 15) out += d.substr(14, 2);
    if (n > 17) out += d.substr(17);
    if (out.size() < 14) out.resize(14, '0');
    return out;
}

// The members of a reply line, each from its element when present and not
// empty.
const struct {
    const char* key;
    std::string* order::ReplyLineItem::*element;
} kLineMembers[] = {
    {"art", &order::ReplyLineItem::VEKProductIntegrationId},
    {"intid", &order::ReplyLineItem::IntegrationId},
    {"cnt", &order::ReplyLineItem::QuantityRequested},
    {"price", &order::ReplyLineItem::BaseItemCost},
    {"points", &order::ReplyLineItem::BaseItemPointsRedemption},
    {"payinfo", &order::ReplyLineItem::PaymentTypeDetail},
    {"PointsAdd", &order::ReplyLineItem::BaseItemPointsAccrual},
};

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

}  // namespace

void zelvanRunner::setRunState(__ProcExecState state, bool toCard) {
    runState_ = state;
    if (toCard && card_) card_->setRunState(state);
}

double zelvanRunner::cardPoints() const {
    return card_ ? card_->Points() : 0.0;
}

int zelvanRunner::runOrderInfo(Json::Value& out, bool offline) {
    order::ProcOrderInput* in = slots_->order.get();
    if (!master_ || in == nullptr) return -1;
    const __ProcExecState entry = runState_;
    Json::Value reply(Json::objectValue);
    online_ = false;
    if (offline) {
        const int result = orderOfflineAnswer(reply);
        out = reply;
        return result;
    }

    CrmCall call(*this, interactiveSettings(conf_));
    awaitingReply(reply, "Ожидание ответа от сервера на списание/начисление бонусов");
    const int rc = call.run(
        &order::OrderProxy::ProcOrder, in, [this] { cmdOffline_ = false; },
        [&](const order::ProcOrderOutput& r) { mapOrderReply(reply, r, entry); },
        [&](int failed) { orderAttemptFailed(reply, failed, entry, call); });
    out = reply;
    return rc;
}

void zelvanRunner::mapOrderReply(Json::Value& reply, const order::ProcOrderOutput& r,
                                 __ProcExecState entry) {
    const std::string& info = crm::text(r.InfoMessage);
    transactAnswered(reply, info);
    setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
    bool refused = false;
    if (!crm::text(r.ErrorCode).empty()) {
        const int code = atoiClamp(*r.ErrorCode);
        reply["err"] = code;
        setRunState(entry, true);
        const OrderCode& row = codeRow(kOrderCodes, code, kOtherOrderCode);
        if (row.effect != OrderEffect::SourceSystemText) reply["errMsg"] = row.errMsg;
        auto acceptOffline = [&] {
            reply["err"] = "0";
            reply["errMsg"] = kSavedOfflineText;
            reply["InfoMsg"] = row.info;
            reply["Status"] = "A";
            setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
        };
        const bool free = cardPoints() == 0.0;
        switch (row.effect) {
            case OrderEffect::Accepted:
                if (!info.empty()) reply["InfoMsg"] = info;
                setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
                break;
            case OrderEffect::RefusedOffline:
                online_ = false;
                [[fallthrough]];
            case OrderEffect::Refused:
                reply["Status"] = "R";
                refused = true;
                break;
            case OrderEffect::None:
                break;
            case OrderEffect::SourceSystemText:
                for (const char* system : kSubscriptionSystems)
                    if (conf_.sourceSystem == system) reply["errMsg"] = row.errMsg;
                break;
            case OrderEffect::HeldOrFree:
                reply["Offline"] = "1";
                if (runState_ == PROC_STATE_POINTS_HELD)
                    setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
                if (free) acceptOffline();
                online_ = false;
                cmdOffline_ = true;
                break;
            case OrderEffect::ProductOffline:
                reply["Offline"] = "1";
                if (&row == &kOtherOrderCode) reply["InfoMsg"] = row.info;
                if (runState_ == PROC_STATE_POINTS_HELD || free) acceptOffline();
                online_ = false;
                cmdOffline_ = true;
                break;
        }
    }

    putIfSet(reply, "CardNum", r.LOYCardNumber);
    putIfSet(reply, "CardStatus", r.CardStatusCode);
    if (!refused) applyCardStatus(reply, crm::text(r.CardStatusCode));
    putIfSet(reply, "TierName", r.TierName);
    putIfSet(reply, "PointsAdd", r.OrderPointQty);
    putIfSet(reply, "PointsBefore", r.PointsBefore);
    putIfSet(reply, "PointsAfter", r.PointsAfter);
    putIfSet(reply, "PointsPeriod", r.PeriodQualPoints);

    if (r.ListOfOrder == nullptr || r.ListOfOrder->OrderEntryOrders == nullptr) return;
    const order::ReplyOrder& o = *r.ListOfOrder->OrderEntryOrders;
    Json::Value t(Json::objectValue);
    const std::string& number = crm::text(o.OrderNumber);
    if (!number.empty()) {
        reply["CheckNum"] = number;
        t["ID"] = number;
    }
    const std::string& date = crm::text(o.OrderDate);
    if (date.size() > 9) {
        t["DateTime"] = orderDateTime(date);
        logLine(t["DateTime"].asString());
    }
    if (o.ListOfOrderEntryLineItems != nullptr) {
        Json::Value lines(Json::arrayValue);
        for (const order::ReplyLineItem& line : o.ListOfOrderEntryLineItems->OrderEntryLineItems) {
            Json::Value obj(Json::objectValue);
            for (const auto& m : kLineMembers) putIfSet(obj, m.key, line.*m.element);
            lines.append(obj);
        }
        reply["Check"] = lines;
    }
    reply["Transact"] = t;
}

void zelvanRunner::orderAttemptFailed(Json::Value& reply, int rc, __ProcExecState entry,
                                      CrmCall& call) {
    setRunState(entry, true);
    transactAttemptFailed(reply, rc, call, kSpendingFailure, [this] {
        // Points held for the purchase count as spent; a purchase that
        // spends none is accepted offline.
        const bool free = cardPoints() == 0.0;
        if (free || runState_ == PROC_STATE_POINTS_HELD)
            setRunState(PROC_STATE_PURCHASE_COMPLETED, false);
        setRunState(runState_, true);
        return free;
    });
    zelvanCardInfo* c = cardInfo();
    if (c != nullptr && c->TransactDB() != nullptr) c->TransactDB()->Offline(cmdOffline_);
}

int zelvanRunner::orderOfflineAnswer(Json::Value& reply) {
    zelvanCardInfo* c = cardInfo();
    int result = offlineAnswer(reply, c, kOrderOffline);
    if (result == 0 && cardPoints() != 0.0) {
        // Points cannot be spent without the CRM.
        result = 9;
        reply["err"] = "9";
        reply["errMsg"] = "Не работает связь.";
        reply["InfoMsg"] = kSpendingFailure.service.refused;
    }
    if (result == 0 || result == 9) setRunState(PROC_STATE_PURCHASE_COMPLETED, true);
    if (c != nullptr && c->TransactDB() != nullptr) c->TransactDB()->Offline(true);
    return result;
}
