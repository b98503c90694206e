// Purchase, request side: the "PayBonus" command rewritten with the server's
// clock, the Proc_Order request built from it on the runner, and the journal
// record of the purchase on the current card.
#include <iterator>

#include "common/convert.h"
#include "common/json_util.h"
#include "runner/cardinfo.h"
#include "runner/request_rules.h"
#include "runner/runner.h"
#include "runner/slots.h"
#include "runner/transact_rules.h"

namespace {

using K = MemberKind;
const MemberRule kLineMembers[] = {
    {"intid", K::Text},         {"art", K::Text},        {"cnt", K::Text},
    {"price", K::Text},         {"points", K::Number},   {"pay", K::Text},
    {"payinfo", K::Text},       {"DiscountId", K::Text}, {"SubscriptionId", K::Text},
    {"DiscountCnt", K::Number},
};
const MemberRule kTransactMembers[] = {
    {"ID", K::Text},        {"DateTime", K::Text}, {"DateTimeUTC", K::Text},
    {"TimeValue", K::Text}, {"Location", K::Text}, {"shift", K::Text},
    {"operID", K::Text},    {"operFIO", K::Text},  {"Terminal", K::Text},
};
// The members of a "PayBonus" request and their types besides those all
// transactions share; a request with a member of another type is refused
// before anything is sent.
const MemberRule kOrderMembers[] = {
    {"GScount", K::Text},
    linesRule("Check", kLineMembers),
    objectRule("Transact", kTransactMembers),
};

}  // namespace

void zelvanRunner::clearOrderInfo() {
    slots_->order.clear();
}

int zelvanRunner::jsonOrderRequestCorrelate(Json::Value& request) {
    // A request with members of wrong types is left as it came, so that the
    // request builder refuses it.
    if (!memberOf(request, "PayBonus").isObject()) return -1;
    Json::Value& pay = request["PayBonus"];
    if (!transactWellTyped(pay, kOrderMembers, std::size(kOrderMembers))) return -1;
    const ClockReading now = readClock();
    if (memberOf(pay, "Transact").isObject()) {
        Json::Value& t = pay["Transact"];
        t["TimeValue"] = now.timeValue;
        keepAs(t, "DateTime", "incomeDateTime");
        t["DateTime"] = now.local;
        keepAs(t, "DateTimeUTC", "incomeDateTimeUTC");
        t["DateTimeUTC"] = now.utc;
    }
    correlateCardFields(pay, cardInfo());
    return 0;
}

int zelvanRunner::mkOrderRequest(const Json::Value& request) {
    clearOrderInfo();
    const int started =
        startTransactRequest(request, kOrderMembers, std::size(kOrderMembers), true);
    if (started != 0) return started;
    zelvanCardInfo& c = *cardInfo();

    RequestSlot<order::ProcOrderInput>& slot = slots_->order;
    order::ProcOrderInput* in = slot.create();

    order::Member& member = in->ListOfLOYMember.LoyMember;
    order::Order& ord = member.ListOfOrder.OrderEntryOrders;
    member.LOYCardNumber = takeCardNumber(c, request);
    if (!member.LOYCardNumber.empty()) member.LOYCardType = slot.text(c.getCardNumberIdent());
    member.LOYCardHash = takeCardHash(c, request);

    ord.OrderNumber = takeOrderNumber(c, request);
    const std::string gsCount = memberText(request, "GScount");
    member.LOYCardGSCount = slot.text(gsCount.empty() ? "1" : gsCount);

    const Json::Value& lines = memberOf(request, "Check");
    if (lines.isArray()) {
        ord.ListOfOrderEntryLineItems = slot.element<order::LineItemList>();
        for (Json::ArrayIndex i = 0; i < lines.size(); i++) {
            const Json::Value& line = lines[i];
            if (line.isNull()) continue;  // skipped, but still counted
            order::LineItem item;
            const std::string intId = memberText(line, "intid");
            item.IntegrationId = slot.text(intId.empty() ? std::to_string(i + 1) : intId);
            item.QuantityRequested = memberText(line, "cnt");
            item.VEKProductIntegrationId = productCode(conf_, memberText(line, "art"));
            const std::string pay = memberText(line, "pay");
            item.PaymentType = pay.empty() ? "MIX" : pay;
            item.BaseItemPoints = memberText(line, "points");
            c.addPoints(JvalAsDouble(memberOf(line, "points")));
            item.BaseItemCost = memberText(line, "price");
            const std::string payInfo = memberText(line, "payinfo");
            item.PaymentTypeDetail = slot.text(payInfo.empty() ? "OTHER" : payInfo);
            const std::string discountId = memberText(line, "DiscountId");
            const std::string subscriptionId = memberText(line, "SubscriptionId");
            if (!discountId.empty()) item.DiscountId = slot.text(discountId);
            if (!subscriptionId.empty()) item.SubscriptionId = slot.text(subscriptionId);
            if (!discountId.empty() || !subscriptionId.empty())
                item.ItemDiscount =
                    slot.text(dbl2str(JvalAsDouble(memberOf(line, "DiscountCnt")), 6));
            ord.ListOfOrderEntryLineItems->OrderEntryLineItems.push_back(item);
        }
    }

    storage::TransactDB record;
    record.OperType(storage::OPER_PURCHASE);
    record.Offline(cmdOffline_);
    const Json::Value& t = memberOf(request, "Transact");
    if (t.isObject()) {
        order::GasRequest& gas =
            (ord.ListOfGasRequests = slot.element<order::GasRequestList>())->Requests;
        record.ChequeID(ord.OrderNumber);
        const std::string dateTime = paddedDateTime(memberText(t, "DateTime"));
        if (!dateTime.empty()) {
            gas.GasOperationDate = slot.text(crmDateTime(dateTime));
            record.DateTime(dateTime);
        }
        const std::string utc = memberText(t, "DateTimeUTC");
        if (!utc.empty()) {
            gas.GasOperationDateUTC = slot.text(utc);
            record.DateTimeUTC(utc);
        }
        const std::string timeValue = memberText(t, "TimeValue");
        record.TimeValue(timeValue.empty() ? dbl2str(timePoint(), 6) : timeValue);
        gas.GasStationId = stationIdent(conf_, t["Location"], conf_.location);
        if (!gas.GasStationId.empty()) record.LocationID(gas.GasStationId);
        const std::string shift = memberText(t, "shift");
        const std::string operId = memberText(t, "operID");
        const std::string operFio = memberText(t, "operFIO");
        if (!shift.empty()) {
            gas.GasStationShiftNum = slot.text(shift);
            record.Shift(shift);
        }
        if (!operId.empty()) gas.GasStationOperId = slot.text(operId);
        if (!operFio.empty()) gas.GasStationOperatorName = slot.text(operFio);
        gas.GasTerminalId = stationIdent(conf_, t["Terminal"], conf_.terminal);
        record.TerminalID(gas.GasTerminalId);
    } else {
        // Without a transaction block the purchase is dated by the server's
        // clock in the journal only, so that it has a key under which its
        // reply is stored and, offline, under which it is sent later.
        const ClockReading now = readClock();
        record.ChequeID(ord.OrderNumber);
        record.DateTime(now.local);
        record.TimeValue(now.timeValue);
    }
    if (record.DateTime() != nullptr)
        record.ID(storage::journalKey(
            record.DateTime(), record.TimeValue() ? record.TimeValue() : "", ord.OrderNumber));
    c.TransactDB_new(&record);
    ord.SourceSystem = slot.text(conf_.sourceSystem);
    return 0;
}
