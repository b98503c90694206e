// Purchase reversal: the Order_Storno request built from the "PayReturn"
// command (the purchase found in the journal wins over the request's
// values), its journal record, the call with the CRM's codes mapped into the
// reply, the transport failures and the offline answers.
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
#include "storage/transactdb.h"

namespace {

using K = MemberKind;
const MemberRule kLineMembers[] = {{"intid", K::Text}, {"art", K::Text}, {"cnt", K::Text}};
const MemberRule kTransactMembers[] = {
    {"ID", K::Text},          {"TimeValue", K::Text}, {"DateTime", K::Text},
    {"DateTimeUTC", K::Text}, {"Location", K::Text},  {"shift", K::Text},
    {"operID", K::Text},      {"operFIO", K::Text},   {"Terminal", K::Text},
};
// The members of a "PayReturn" request and their types.
const MemberRule kStornoMembers[] = {
    {"Offline", K::Text},
    {"CheckNum", K::Text},
    {"StornoNum", K::Text},
    linesRule("Check", kLineMembers),
    objectRule("OrigTransact", kTransactMembers),
    objectRule("Transact", kTransactMembers),
};

// What a CRM code of a reversal does besides setting "errMsg".
enum class StornoEffect {
    Done,             // success
    None,             // the text only
    AcceptedOffline,  // "err" "0": the reversal counts as accepted, told "Offline"
    Failed            // "err" the code, told "Offline"
};

const struct StornoCode {
    int code;
    const char* errMsg;
    StornoEffect effect;
} kStornoCodes[] = {
    {0, kSuccessText, StornoEffect::Done},
    {1, "Номер чека не заполнен", StornoEffect::None},
    {2, "Чек в системе не найден", StornoEffect::AcceptedOffline},
    {3, "Заказ с указанным номером уже существует", StornoEffect::AcceptedOffline},
    {4, "Сторнирование чека в данном статусе запрещено", StornoEffect::AcceptedOffline},
    {5, "Участник заблокирован, выполняется другая транзакция.", StornoEffect::AcceptedOffline},
};
const StornoCode kOtherStornoCode = {-1, "Выявлена ошибка", StornoEffect::Failed};

// Reply members copied from the CRM's answer when not empty.
const struct {
    const char* key;
    std::string* storn::OrderStornoOutput::*element;
} kReplyMembers[] = {
    {"CardNum", &storn::OrderStornoOutput::LOYCardNumber},
    {"CheckNum", &storn::OrderStornoOutput::OrderNumber},
    {"PointsAdd", &storn::OrderStornoOutput::OrderPointQty},
    {"PointsBefore", &storn::OrderStornoOutput::PointsBefore},
    {"PointsAfter", &storn::OrderStornoOutput::PointsAfter},
    {"PointsPeriod", &storn::OrderStornoOutput::PeriodQualPoints},
    {"PointsBlock", &storn::OrderStornoOutput::PointsBlockChange},
};

bool isNumber(const std::string& text) {
    double value = 0;
    return !text.empty() && _stod(text, value) == 0;
}

void logLine(const std::string& msg) {
    log(msg, LOG_STREAM, logConsole());
}

// The station data of a gas request (purchase or reversal) from its
// transaction object, with the identity override.
template <class Gas>
void fillGas(Gas& gas, RequestSlot<storn::OrderStornoInput>& slot, const Json::Value& t,
             const RunnerConfig& conf) {
    const std::string fio = memberText(t, "operFIO"), oper = memberText(t, "operID");
    const std::string shift = memberText(t, "shift");
    if (!fio.empty()) gas.GasStationOperatorName = slot.text(fio);
    if (!oper.empty()) gas.GasStationOperId = slot.text(oper);
    if (!shift.empty()) gas.GasStationShiftNum = slot.text(shift);
    gas.GasStationId = stationIdent(conf, t["Location"], conf.location);
    gas.GasTerminalId = stationIdent(conf, t["Terminal"], conf.terminal);
}

}  // namespace

void zelvanRunner::clearStornInfo() {
    slots_->storn.clear();
}

int zelvanRunner::mkStornRequest(const Json::Value& request) {
    const ClockReading now = readClock();
    const bool wasOffline = cmdOffline_;
    cmdOffline_ = false;
    if (!master_) return -1;
    zelvanCardInfo& c = currentCard();
    const std::string previousCheque = c.getChequeNum() ? c.getChequeNum() : "";
    clearStornInfo();
    if (!wellTyped(request, kStornoMembers)) return kBadRequest;
    RequestSlot<storn::OrderStornoInput>& slot = slots_->storn;
    storn::Order& ord = slot.create()->ListOfOrder.OrderEntryOrders;

    if (isOfflineYes(memberText(request, "Offline")) || !netStatus_) cmdOffline_ = true;
    const std::string checkNum = memberText(request, "CheckNum");
    if (!checkNum.empty()) {
        c.setChequeNum(checkNum.c_str());
        ord.NewOrderNumber = checkNum;
    }
    ord.StornoOrderNumber = memberText(request, "StornoNum");

    const Json::Value& lines = memberOf(request, "Check");
    if (!lines.isNull()) {
        ord.ListOfOrderEntryLineItems = slot.element<storn::LineItemList>();
        for (const Json::Value& line : lines) {
            if (line.isNull()) continue;
            storn::LineItem item;
            const std::string intId = memberText(line, "intid");
            if (!intId.empty()) item.IntegrationId = slot.text(intId);
            item.QuantityRequested = memberText(line, "cnt");
            item.VEKProductIntegrationId = productCode(conf_, memberText(line, "art"));
            ord.ListOfOrderEntryLineItems->OrderEntryLineItems.push_back(item);
        }
    }

    // The purchase being reversed, as the request names it...
    const Json::Value& orig = memberOf(request, "OrigTransact");
    const Json::Value& t = memberOf(request, "Transact");
    std::string cheque, purchaseTime, purchaseDateTime;
    if (orig.isObject()) {
        cheque = memberText(orig, "ID");
        if (isNumber(memberText(orig, "TimeValue"))) purchaseTime = memberText(orig, "TimeValue");
        purchaseDateTime = paddedDateTime(memberText(orig, "DateTime"));
    }
    std::string reversalTime = now.timeValue, upTo = now.local;
    if (t.isObject()) {
        if (isNumber(memberText(t, "TimeValue"))) reversalTime = memberText(t, "TimeValue");
        const std::string dt = paddedDateTime(memberText(t, "DateTime"));
        if (!dt.empty()) upTo = dt;
    }
    // ... and as the journal holds it, which wins.
    storage::TransactDBList found;
    db_.getLastPaymentRecord(&found, cheque, purchaseDateTime, upTo);
    if (!found.empty() && found[0]->OperType() == storage::OPER_PURCHASE) {
        const storage::TransactDB& p = *found[0];
        cheque = p.ChequeID() ? p.ChequeID() : "";
        purchaseDateTime = p.DateTime() ? p.DateTime() : "";
        purchaseTime = p.TimeValue() ? p.TimeValue() : "";
    }
    storage::zelvanDb::clear_TransactDB_List(&found);

    storage::TransactDB record;
    record.OperType(storage::OPER_REVERSAL);
    record.ChequeID(c.getChequeNum());
    record.Offline(cmdOffline_);
    if (orig.isObject()) {
        storn::StornoGasInfo gas;
        if (!cheque.empty()) ord.StornoOrderNumber = cheque;
        if (!purchaseDateTime.empty()) {
            gas.GasOperationDate = slot.text(crmDateTime(purchaseDateTime));
            record.ParentID(
                storage::journalKey(purchaseDateTime, purchaseTime, ord.StornoOrderNumber));
        }
        fillGas(gas, slot, orig, conf_);
        ord.StornoGasRequest.push_back(gas);
    }
    // The reversal is dated by its time value; without a transaction block by
    // the server's clock, so that its journal record has a key.
    const ClockReading at = t.isObject() ? clockAt(reversalTime) : now;
    if (t.isObject()) {
        storn::NewGasInfo gas;
        const std::string id = memberText(t, "ID");
        if (!id.empty()) {
            c.setChequeNum(id.c_str());
            ord.NewOrderNumber = id;
        }
        record.ChequeID(c.getChequeNum());
        gas.GasOperationDate = slot.text(crmDateTime(at.local));
        gas.GasOperationDateUTC = slot.text(at.utc);
        fillGas(gas, slot, t, conf_);
        if (!gas.GasStationId.empty()) record.LocationID(gas.GasStationId);
        if (gas.GasStationShiftNum != nullptr) record.Shift(*gas.GasStationShiftNum);
        record.TerminalID(gas.GasTerminalId);
        ord.NewGasRequest.push_back(gas);
    }
    record.TimeValue(at.timeValue);
    record.DateTime(at.local);
    record.DateTimeUTC(at.utc);

    // A reversal of the cheque whose operation has just gone offline follows
    // it offline.
    if (wasOffline && record.ChequeID() != nullptr && previousCheque == record.ChequeID()) {
        cmdOffline_ = true;
        record.Offline(true);
    }
    record.ID(
        storage::journalKey(at.local, at.timeValue, record.ChequeID() ? record.ChequeID() : ""));
    c.TransactDB_new(&record);
    return 0;
}

int zelvanRunner::runStornInfo(Json::Value& out, bool offline) {
    storn::OrderStornoInput* in = slots_->storn.get();
    if (!master_ || in == nullptr) return -1;
    zelvanCardInfo* c = cardInfo();
    storage::TransactDB* record = c != nullptr ? c->TransactDB() : nullptr;
    Json::Value reply(Json::objectValue);
    if (offline) {
        online_ = false;
        int result = c == nullptr ? 1 : 4;
        if (storedCommand(c, "PayReturn", reply)) result = 0;
        reply["Offline"] = "1";
        reply["err"] = std::to_string(result);
        setRunState(PROC_STATE_CANCELLED, true);
        if (result == 0) {
            reply["errMsg"] = "Успешное выполнение операции (offline)";
            reply["InfoMsg"] = kNoLinkInfo;
            std::string text = c->getQueryBuf();
            if (!text.empty() && text.back() == '\n') text.pop_back();
            logLine("Сохранение offline запроса : \"" + text + "\"");
        } else {
            reply["errMsg"] = result == 1 ? "Номер чека не заполнен"
                                          : "Сторнирование чека в данном статусе запрещено";
        }
        if (record != nullptr) record->Offline(true);
        out = reply;
        return result;
    }

    const __ProcExecState entry = runState_;
    CrmCall call(*this, interactiveSettings(conf_));
    online_ = false;
    awaitingReply(reply, "Ожидание ответа от сервера на сторнирование покупки");
    int attempt = 0;
    auto answered = [&](const storn::OrderStornoOutput& response) {
        online_ = netStatus_ = true;
        setRunState(PROC_STATE_CANCELLED, true);
        reply["err"] = "0";
        reply["errMsg"] = kSuccessText;
        reply["Offline"] = "0";
        const std::string& info = crm::text(response.InfoMessage);
        if (!info.empty()) reply["zvnInfoMsg"] = info;
        if (!crm::text(response.ErrorCode).empty()) {
            const int code = atoiClamp(*response.ErrorCode);
            const StornoCode& row = codeRow(kStornoCodes, code, kOtherStornoCode);
            reply["err"] = std::to_string(code);
            reply["errMsg"] = row.errMsg;
            setRunState(entry, true);
            if (row.effect == StornoEffect::Done) {
                if (!info.empty()) reply["InfoMsg"] = info;
                setRunState(PROC_STATE_CANCELLED, true);
            } else if (row.effect != StornoEffect::None) {
                reply["Offline"] = "1";
                if (row.effect == StornoEffect::AcceptedOffline) reply["err"] = "0";
                reply["errZvn"] = std::to_string(code);
                logLine("Сохранение запроса как offline : \"" + info + "\"");
                setRunState(PROC_STATE_CANCELLED, true);
                online_ = false;
                cmdOffline_ = true;
            }
        }
        for (const auto& m : kReplyMembers) {
            const std::string& value = crm::text(response.*m.element);
            if (!value.empty()) reply[m.key] = value;
        }
    };
    // A failed attempt: the reversal is kept for later sending.
    auto failed = [&](int rc) {
        online_ = false;
        cmdOffline_ = true;
        reply["err"] = std::to_string(rc);
        reply["errMsg"] = "Обслуживание временно ограничено";
        reply["InfoMsg"] = kNoLinkInfo;
        const std::string fault = call.faultString();
        if (!fault.empty()) reply["zvnErrMsg"] = reply["zvnErrInfo"] = fault;
        const std::string detail = call.faultDetail();
        if (conf_.debugErrInfoEnable && !detail.empty()) reply["zvnErrInfo"] = detail;
        call.refreshToken();
        netStatus_ = false;
        if (crm::noConnection(rc)) {
            reply["err"] = "0";
            reply["errMsg"] = "Нет связи";
        }
        if (++attempt == call.attempts()) {
            reply["Offline"] = "1";
            logLine("Сохранение запроса как offline : \"" + fault + "\"");
            setRunState(PROC_STATE_CANCELLED, true);
        }
        if (record != nullptr) record->Offline(cmdOffline_);
    };
    const int rc = call.run(
        &storn::OrderStornoProxy::OrderStorno, in, [] {}, answered, failed);
    out = reply;
    return rc;
}
