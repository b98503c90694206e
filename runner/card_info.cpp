// Card information: the Get_Info request built from the "CardInfo" command,
// the call, and the reply: the card's status, balance, member status,
// blocked products and discounts, or the offline answer.
#include <ctime>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/log.h"
#include "common/qr.h"
#include "runner/call.h"
#include "runner/cardinfo.h"
#include "runner/request_rules.h"
#include "runner/runner.h"
#include "runner/slots.h"
#include "runner/transact_rules.h"

namespace {

// The CRM's error codes of card information; any other code gets
// "Выявлена ошибка при выполнении операции".
const struct {
    int code;
    const char* errMsg;
    const char* status;  // null: "Status" untouched
    bool offline;
} kCardCodes[] = {
    {0, "Успешное выполнение операции", nullptr, false},
    {1, "Не указан номер карты", "R", false},
    {2, "Карта в системе не найдена", "R", false},
    {3,
     "Ошибка при получении информации о продукте: Некорректный продукт.\n Проверьте наличие "
     "продукта в системе.",
     "A", true},
    {4, "QR-код некорректен или просрочен", "R", false},
    {5, "АЗС не существует в системе", "R", false},
};
const char* const kCardGenericError = "Выявлена ошибка при выполнении операции";

// A loyalty card's status decides the reply's "Status": usable, blocked
// (left as it is) or refused.
void applyCardStatus(Json::Value& reply, std::string status) {
    if (status.empty()) return;
    toUpper(status);
    if (status == "NEW" || status == "ISSUED" || status == "ACTIVE")
        reply["Status"] = "A";
    else if (status != "BLOCKED")
        reply["Status"] = "R";
}

// A balance parsed as a decimal number; -0.1 (unknown) when it is not one.
double balanceOf(const std::string& text) {
    double value = 0;
    return _stod(text, value) == 0 ? value : -0.1;
}

void putIfSet(Json::Value& obj, const char* key, const std::string* value) {
    if (value != nullptr && !value->empty()) obj[key] = *value;
}

// The reply members of one loyalty card and of one line discount, each taken
// from its element when that is present and not empty.
template <class Element>
struct Member {
    const char* key;
    std::string* Element::*element;
};

const Member<card::MembershipCard> kCardMembers[] = {
    {"Id", &card::MembershipCard::Id},
    {"CardNum", &card::MembershipCard::LOYCardNumber},
    {"Status", &card::MembershipCard::CardStatusCode},
    {"Type", &card::MembershipCard::CardType},
    {"Discount", &card::MembershipCard::LOYCardDiscount},
    {"ReasonBlock", &card::MembershipCard::ReasonBlock},
    {"TierName", &card::MembershipCard::TierName},
    {"Points", &card::MembershipCard::Point1Value},
    {"ClientCurrency", &card::MembershipCard::ClientCurrency},
    {"ClientCurrencyPoints", &card::MembershipCard::ClientCurrencyPoint1Value},
};

const Member<card::LineItemDiscount> kDiscountMembers[] = {
    {"intid", &card::LineItemDiscount::IntegrationId},
    {"DiscountId", &card::LineItemDiscount::DiscountId},
    {"DiscountName", &card::LineItemDiscount::DiscountName},
    {"DiscountPcnt", &card::LineItemDiscount::DiscountPercent},
    {"DiscountCnt", &card::LineItemDiscount::QuantityDiscounted},
    {"DiscountNeed", &card::LineItemDiscount::QuantityRemain},
    {"SubscriptionId", &card::LineItemDiscount::SubscriptionId},
    {"SubscriptionName", &card::LineItemDiscount::SubscriptionName},
    {"SubscriptionCnt", &card::LineItemDiscount::SubscriptionQuantity},
    {"PromocodeQuantity", &card::LineItemDiscount::PromocodeQuantityRemain},
};

template <class Element, size_t N>
Json::Value membersOf(const Element& e, const Member<Element> (&members)[N]) {
    Json::Value obj(Json::objectValue);
    for (const auto& m : members) putIfSet(obj, m.key, e.*m.element);
    return obj;
}

}  // namespace

void zelvanRunner::clearCardInfo() {
    slots_->card.clear();
}

int zelvanRunner::mkCardRequest(const Json::Value& request) {
    if (!master_) return -1;
    zelvanCardInfo& c = currentCard();
    c._change_own_state(false);
    c.setCardId(nullptr);
    c.setCardNum(nullptr);
    c.setClntEmail(nullptr);
    c.setClntTelNo(nullptr);
    c.setClntEReceipt(nullptr);
    c.setCardNumberIdent(LOY_IDENT_CARD);
    clearCardInfo();

    auto member = [&](const char* name) { return memberText(request, name); };
    std::string cardType = member("CardType");
    if (cardType.empty()) cardType = "CARD";
    c.setCardNumberIdent(cardType.c_str());
    c.setInitCardNumberIdent(c.cardNumberIdent());
    const bool qr = c.cardNumberIdent() == LOY_IDENT_QR;

    std::string cardNum = member("CardNum");
    if (!cardNum.empty()) {
        if (!isValidQRString(cardNum)) return qr ? -98 : -99;
        if (cardNum.size() > 20 && c.cardNumberIdent() == LOY_IDENT_CARD) return -99;
    }

    card::GetInfoInput* in = slots_->card.create();
    cmdOffline_ = false;

    if (cardNum.empty() && qr && c.getCardNumQR() != nullptr) cardNum = c.getCardNumQR();
    if (!cardNum.empty()) {
        c.setCardNum(cardNum.c_str());
        if (qr) {
            c.setCardNumQR(cardNum.c_str());
            const std::string extracted = extractQRCardNum(cardNum);
            if (!extracted.empty()) c.setCardNum(extracted.c_str());
        }
    }
    in->LOYCardNumber = cardNum;
    in->LOYCardType = c.getCardNumberIdent();
    in->SourceSystem = conf_.sourceSystem;

    std::string hash = member("Card");
    if (hash.empty()) hash = std::string("HASH") + (c.getCardNum() ? c.getCardNum() : "");
    c.setCardId(hash.c_str());
    in->LOYCardHash = hash;

    takeContactFields(c, request);
    const std::string checkId = member("CheckId"), checkNum = member("CheckNum");
    if (!checkId.empty()) c.setChequeId(checkId.c_str());
    if (!checkNum.empty()) c.setChequeNum(checkNum.c_str());

    const Json::Value& lines = memberOf(request, "Check");
    if (lines.isArray()) {
        for (Json::ArrayIndex i = 0; i < lines.size(); i++) {
            const Json::Value& line = lines[i];
            if (line.isNull()) continue;  // skipped, but still counted
            auto field = [&](const char* name) { return memberText(line, name); };
            card::LineItem item;
            item.IntegrationId = field("intid");
            if (item.IntegrationId.empty()) item.IntegrationId = std::to_string(i + 1);
            item.VEKProductIntegrationId = productCode(conf_, field("art"));
            item.QuantityRequested = field("cnt");
            item.BaseItemCost = field("price");
            in->ListOfOrderEntryLineItems.OrderEntryLineItems.push_back(item);
        }
    }

    card::GasRequest& gas = in->ListOfGasRequests.Request;
    gas.GasOperationDate = DayTime_string(nullptr);
    gas.GasStationId = stationIdent(conf_, memberOf(request, "Location"), conf_.location);
    const std::string shift = member("shift"), operId = member("operID");
    const std::string operFio = member("operFIO");
    if (!shift.empty()) gas.GasStationShiftNum = slots_->card.text(shift);
    if (!operId.empty()) gas.GasStationOperId = slots_->card.text(operId);
    if (!operFio.empty()) gas.GasStationOperatorName = slots_->card.text(operFio);
    gas.GasTerminalId = stationIdent(conf_, memberOf(request, "Terminal"), conf_.terminal);
    return 0;
}

namespace {

// The card the request named, as the offline answer shows it.
Json::Value requestCard(const zelvanCardInfo* c) {
    Json::Value obj(Json::objectValue);
    if (c == nullptr) return obj;
    if (c->getCardNum() != nullptr) obj["CardNum"] = c->getCardNum();
    if (c->cardNumberIdent() == LOY_IDENT_QR && c->getCardNumQR() != nullptr)
        obj["CardNumQR"] = c->getCardNumQR();
    return obj;
}

void offlineCardAnswer(Json::Value& reply, const zelvanCardInfo* c, const Json::Value& cardObj) {
    reply["Offline"] = "1";
    reply["MemberStatus"] = "00";
    reply["Status"] = "A";
    putContactFields(reply, c);
    if (!cardObj.empty()) {
        Json::Value cards(Json::arrayValue);
        cards.append(cardObj);
        reply["Cards"] = cards;
    }
}

}  // namespace

int zelvanRunner::runCardInfo(Json::Value& out) {
    card::GetInfoInput* in = slots_->card.get();
    if (!master_ || in == nullptr) return -1;
    CallSettings settings;
    settings.attempts = conf_.retryCount;
    settings.connectTimeout = conf_.connectTimeout;
    settings.sendRecvTimeout = conf_.sendRecvTimeout;
    settings.tokenOnRetries = false;  // retries send user and password
    CrmCall call(*this, settings);
    zelvanCardInfo* c = cardInfo();
    const Json::Value cardObj = requestCard(c);

    online_ = false;
    Json::Value reply(Json::objectValue);
    reply["err"] = "-1";
    reply["errMsg"] = "Отсутствует соединение";
    log("Ожидание ответа от сервера по карте", LOG_STREAM, logConsole());

    if (!netStatus_) {  // the CRM was unreachable at the last contact
        online_ = false;
        offlineCardAnswer(reply, c, cardObj);
        reply["err"] = "28";
        reply["errMsg"] = "Нет связи";
        out = reply;
        return -1;
    }

    int rc = -1;
    for (int i = 0; i < call.attempts(); i++) {
        struct soap* ctx = call.begin(i);
        if (ctx == nullptr) break;
        card::CardInfoProxy proxy(ctx);
        card::GetInfoOutput response;
        rc = proxy.GetInfo(getEndPoint(), nullptr, in, response);
        if (rc == SOAP_OK) {
            call.refreshToken();
            mapCardReply(reply, response, *in);
            break;
        }
        // A failed attempt leaves the offline answer (its members do not
        // change between attempts).
        online_ = false;
        const bool down = crm::noConnection(rc);
        reply["err"] = std::to_string(rc);
        offlineCardAnswer(reply, c, cardObj);
        reply["errMsg"] = down ? "Нет связи" : "Обслуживание временно ограничено";
        call.putFault(reply, conf_.debugErrInfoEnable);
        call.refreshToken();
        if (down) netStatus_ = false;
    }
    out = reply;
    call.finish();
    return rc;
}

void zelvanRunner::mapCardReply(Json::Value& reply, const card::GetInfoOutput& r,
                                const card::GetInfoInput& in) {
    online_ = netStatus_ = true;
    reply["err"] = "0";
    reply["errMsg"] = "";
    reply["Offline"] = "0";
    const std::string& info = crm::text(r.InfoMessage);
    if (!info.empty()) reply["zvnInfoMsg"] = info;
    const std::string& code = crm::text(r.ErrorCode);
    if (!code.empty()) {
        const int value = atoiClamp(code);
        reply["err"] = value;
        reply["errMsg"] = kCardGenericError;
        for (const auto& row : kCardCodes) {
            if (row.code != value) continue;
            reply["errMsg"] = row.errMsg;
            if (row.status != nullptr) reply["Status"] = row.status;
            if (row.offline) reply["Offline"] = "1";
            if (value == 0 && !info.empty()) reply["InfoMsg"] = info;
        }
    }
    putIfSet(reply, "BlockedProducts", r.BlockedProducts);
    putIfSet(reply, "MemberStatus", r.MemberStatus);

    zelvanCardInfo* c = cardInfo();
    if (c != nullptr) {
        if (c->getClntTelNo() != nullptr) reply["TelNo"] = c->getClntTelNo();
        if (c->getClntEmail() != nullptr) reply["Email"] = c->getClntEmail();
        if (c->getClntEReceipt() != nullptr) reply["EReceiptFlag"] = yesNo(c->getClntEReceipt());
    }
    putIfSet(reply, "Email", r.Email);
    if (!crm::text(r.EReceiptFlag).empty()) reply["EReceiptFlag"] = yesNo(*r.EReceiptFlag);

    Json::Value cards(Json::arrayValue);
    if (r.ListOfLOYMembershipCard != nullptr) {
        for (const card::MembershipCard& m : r.ListOfLOYMembershipCard->LoyMembershipCard) {
            Json::Value obj = membersOf(m, kCardMembers);
            if (c != nullptr && c->cardNumberIdent() == LOY_IDENT_QR && c->getCardNumQR())
                obj["CardNumQR"] = c->getCardNumQR();
            applyCardStatus(reply, crm::text(m.CardStatusCode));
            if (!crm::text(m.Point1Value).empty()) {
                reply["Bonus"] = *m.Point1Value;
                if (c != nullptr) c->setScorePoints(balanceOf(*m.Point1Value));
            }
            if (!crm::text(m.ClientCurrency).empty()) {
                reply["Currency"] = *m.ClientCurrency;
                if (c != nullptr) c->setClntCurrency(m.ClientCurrency->c_str());
            }
            if (!crm::text(m.ClientCurrencyPoint1Value).empty()) {
                reply["CurrencyPoints"] = *m.ClientCurrencyPoint1Value;
                if (c != nullptr)
                    c->setScorePoints_ClntCurrency(balanceOf(*m.ClientCurrencyPoint1Value));
            }
            cards.append(obj);
        }
    }
    reply["Cards"] = cards;

    if (r.ListOfLineItemDiscount != nullptr) {
        Json::Value discounts(Json::arrayValue);
        for (const card::LineItemDiscount& d : r.ListOfLineItemDiscount->Discounts) {
            Json::Value obj = membersOf(d, kDiscountMembers);
            const std::string& lineId = crm::text(d.IntegrationId);
            for (const card::LineItem& line : in.ListOfOrderEntryLineItems.OrderEntryLineItems) {
                if (line.IntegrationId != lineId) continue;
                if (!line.VEKProductIntegrationId.empty())
                    obj["art"] = line.VEKProductIntegrationId;
                break;
            }
            discounts.append(obj);
        }
        reply["Discounts"] = discounts;
    }
}
