// Request rules shared by the transaction builders.
#include "runner/transact_rules.h"

#include <algorithm>
#include <ctime>

#include "common/convert.h"
#include "common/json_util.h"
#include "common/qr.h"
#include "runner/cardinfo.h"
#include "runner/runner.h"

const Json::Value& memberOf(const Json::Value& request, const char* name) {
    return request.isObject() ? request[name] : Json::Value::nullSingleton();
}

std::string memberText(const Json::Value& request, const char* name) {
    return Jval2Str(memberOf(request, name));
}

namespace {

bool textLike(const Json::Value& v) {
    return v.isNull() || v.isString() || v.isNumeric();
}

bool ofKind(const Json::Value& v, const MemberRule& rule) {
    switch (rule.kind) {
        case MemberKind::Text:
        case MemberKind::Number:
            return textLike(v);
        case MemberKind::Object:
            return v.isNull() || wellTyped(v, rule.children, rule.childCount);
        case MemberKind::Lines:
            if (v.isNull()) return true;
            if (!v.isArray()) return false;
            for (const Json::Value& line : v)
                if (!line.isNull() && !wellTyped(line, rule.children, rule.childCount))
                    return false;
            return true;
    }
    return false;
}

// The members every transaction request has.
const MemberRule kCommonMembers[] = {
    {"CardType", MemberKind::Text}, {"CardNum", MemberKind::Text},
    {"Card", MemberKind::Text},     {"Email", MemberKind::Text},
    {"TelNo", MemberKind::Text},    {"EReceiptFlag", MemberKind::Text},
    {"Offline", MemberKind::Text},  {"CheckId", MemberKind::Text},
    {"CheckNum", MemberKind::Text},
};

}  // namespace

bool transactWellTyped(const Json::Value& request, const MemberRule* rules, size_t count) {
    return wellTyped(request, kCommonMembers) && wellTyped(request, rules, count);
}

bool wellTyped(const Json::Value& request, const MemberRule* rules, size_t count) {
    if (!request.isObject()) return false;
    for (size_t i = 0; i < count; i++)
        if (!ofKind(request[rules[i].name], rules[i])) return false;
    return true;
}

int zelvanRunner::startTransactRequest(const Json::Value& request, const MemberRule* rules,
                                       size_t count, bool resetPoints) {
    cmdOffline_ = false;
    if (!master_) return -1;
    zelvanCardInfo& c = currentCard();
    if (resetPoints) c.setPoints(0);
    if (!transactWellTyped(request, rules, count)) return kBadRequest;
    const int usable = checkCardNumber(c, request);
    if (usable != 0) return usable;
    takeContactFields(c, request);
    // Asked for, or the CRM was unreachable at the last contact.
    if (isOfflineYes(memberText(request, "Offline")) || !netStatus_) cmdOffline_ = true;
    return 0;
}

bool isOfflineYes(std::string value) {
    toUpper(value);
    return value == "1" || value == "TRUE" || value.rfind("Y", 0) == 0 || value.rfind("Д", 0) == 0;
}

const char* yesNo(std::string flag) {
    toUpper(flag);
    return flag == "Y" ? "Y" : "N";
}

void takeContactFields(zelvanCardInfo& card, const Json::Value& request) {
    const std::string email = memberText(request, "Email");
    const std::string telNo = memberText(request, "TelNo");
    const std::string eReceipt = memberText(request, "EReceiptFlag");
    if (!email.empty()) {
        card.setClntEmail(email.c_str());
        card.setClntEReceipt("Y");
    }
    if (!telNo.empty()) {
        card.setClntTelNo(telNo.c_str());
        card.setClntEReceipt("Y");
    }
    if (!eReceipt.empty()) card.setClntEReceipt(yesNo(eReceipt));
}

void putContactFields(Json::Value& obj, const zelvanCardInfo* card) {
    if (card == nullptr) return;
    if (card->getClntEmail() != nullptr) obj["Email"] = card->getClntEmail();
    if (card->getClntTelNo() != nullptr) obj["TelNo"] = card->getClntTelNo();
    if (card->getClntEReceipt() != nullptr) obj["EReceiptFlag"] = card->getClntEReceipt();
}

void putQrCardFields(Json::Value& obj, const zelvanCardInfo* card) {
    if (card == nullptr || card->cardNumberIdent() != LOY_IDENT_QR) return;
    if (card->getCardNumQR() == nullptr) return;
    obj["CardNumQR"] = card->getCardNumQR();
    if (card->getCardNum() != nullptr) obj["CardNum"] = card->getCardNum();
}

void correlateCardFields(Json::Value& member, zelvanCardInfo* card) {
    const Json::Value& cardNum = memberOf(member, "CardNum");
    const Json::Value& cardType = memberOf(member, "CardType");
    if (!cardNum.isNull()) member["RequestCardNum"] = cardNum;
    if (!cardType.isNull()) member["RequestCardType"] = cardType;
    if (card == nullptr) return;
    takeContactFields(*card, member);
    putContactFields(member, card);
    if (card->getInitCardNumberIdentCode() == LOY_IDENT_QR && card->getCardNumQR() != nullptr) {
        member["CardNum"] = card->getCardNumQR();
        member["CardType"] = card->getCardNumberIdentJSResponse();
    }
}

int checkCardNumber(zelvanCardInfo& card, const Json::Value& request) {
    const std::string cardType = memberText(request, "CardType");
    if (!cardType.empty()) card.setCardNumberIdent(cardType.c_str());
    const std::string cardNum = memberText(request, "CardNum");
    if (cardNum.empty()) return 0;
    if (!isValidQRString(cardNum)) return card.cardNumberIdent() == LOY_IDENT_QR ? -98 : -99;
    if (cardNum.size() > 20 && card.cardNumberIdent() == LOY_IDENT_CARD) return -99;
    return 0;
}

std::string takeCardNumber(zelvanCardInfo& card, const Json::Value& request) {
    const bool qr = card.cardNumberIdent() == LOY_IDENT_QR;
    std::string n = memberText(request, "CardNum");
    if (n.empty()) {
        const char* held = qr ? card.getCardNumQR() : card.getCardNum();
        if (held != nullptr) n = held;
    }
    if (n.empty()) return n;
    card.setCardNum(n.c_str());
    if (qr) {
        card.setCardNumQR(n.c_str());
        const std::string extracted = extractQRCardNum(n);
        if (!extracted.empty()) card.setCardNum(extracted.c_str());
    }
    return n;
}

std::string takeCardHash(zelvanCardInfo& card, const Json::Value& request) {
    std::string hash = memberText(request, "Card");
    if (hash.empty() && card.getCardId() != nullptr) hash = card.getCardId();
    if (hash.empty()) hash = std::string("HASH") + (card.getCardNum() ? card.getCardNum() : "");
    card.setCardId(hash.c_str());
    return hash;
}

std::string takeOrderNumber(zelvanCardInfo& card, const Json::Value& request) {
    const std::string checkId = memberText(request, "CheckId");
    if (!checkId.empty()) card.setChequeId(checkId.c_str());
    std::string number = memberText(memberOf(request, "Transact"), "ID");
    if (number.empty()) number = memberText(request, "CheckNum");
    if (!number.empty()) card.setChequeNum(number.c_str());
    return number;
}

std::string crmDateTime(std::string dt) {
    dt.resize(std::max<size_t>(dt.size(), 14), '0');
    return dt.substr(4, 2) + "/" + dt.substr(6, 2) + "/" + dt.substr(0, 4) + " " + dt.substr(8, 2) +
           ":" + dt.substr(10, 2) + ":" + dt.substr(12, 2);
}

std::string paddedDateTime(const std::string& dateTime) {
    if (dateTime.size() <= 7) return std::string();
    std::string dt = dateTime;
    if (dt.size() < 14) dt.resize(14, '0');
    return dt.substr(0, 14);
}

ClockReading clockAt(const std::string& timeValue) {
    ClockReading r;
    r.timeValue = timeValue;
    long whole = 0;
    std::string seconds = strDoubleSplit(timeValue, false);
    if (seconds.empty()) seconds = timeValue;
    time_t t = _stol(seconds, whole) == 0 ? whole : time(nullptr);
    r.local = time2DateTimeStr(&t);
    r.utc = DayTimeUTC_string(&t);
    return r;
}

ClockReading readClock() {
    return clockAt(dbl2str(timePoint(), 6));
}

void keepAs(Json::Value& obj, const char* from, const char* to) {
    const Json::Value& value = memberOf(obj, from);
    if (!Jval2Str(value).empty()) obj[to] = value;
}
